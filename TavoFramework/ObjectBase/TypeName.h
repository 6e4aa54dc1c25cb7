#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace Tavo {

// Messages spell types as "class Tavo::LHolder<int>", "struct ...", "enum ..."
// and pointers as "class X *", with no blank after a comma.
enum class TypeKeyword { Class, Struct, Enum, Union };

// The keyword a type is spelled with; specialise (TAVO_STRUCT_TYPE_NAME) for
// structs, since the language cannot tell them from classes.
template <class T>
struct TypeKeywordOf
{
    static constexpr TypeKeyword value = std::is_enum_v<T>    ? TypeKeyword::Enum
                                         : std::is_union_v<T> ? TypeKeyword::Union
                                                              : TypeKeyword::Class;
};

// Records the keyword of a type for the run-time spelling; classes need none.
void DeclareTypeKeyword(const std::type_info& type, TypeKeyword keyword);

// The compiler's qualified name of a type, e.g. "Tavo::LHolder<int>".
std::string QualifiedTypeName(const std::type_info& type);

// Turns a qualified name as QualifiedTypeName gives it into the message form.
std::string DecorateTypeName(std::string_view qualified);

// The message form of a dynamic type, e.g. of typeid(*this).
std::string RuntimeTypeName(const std::type_info& type);

namespace Detail {

template <class T>
struct KeywordRegistrar
{
    static void Run()
    {
        using U = std::remove_cv_t<T>;
        if constexpr ((std::is_class_v<U> || std::is_enum_v<U> ||
                       std::is_union_v<U>)&&TypeKeywordOf<U>::value != TypeKeyword::Class)
            DeclareTypeKeyword(typeid(U), TypeKeywordOf<U>::value);
    }
};

template <class T>
struct KeywordRegistrar<T*>
{
    static void Run() { KeywordRegistrar<T>::Run(); }
};

template <template <class...> class Tmpl, class... Args>
struct KeywordRegistrar<Tmpl<Args...>>
{
    static void Run()
    {
        using U = Tmpl<Args...>;
        if constexpr (TypeKeywordOf<U>::value != TypeKeyword::Class)
            DeclareTypeKeyword(typeid(U), TypeKeywordOf<U>::value);
        (KeywordRegistrar<Args>::Run(), ...);
    }
};

// Element type with sizes, as in pointer arrays and queues: without this the
// element's keyword would depend on whether it had been named before.
template <template <class, auto, auto...> class Tmpl, class A, auto V, auto... Vs>
struct KeywordRegistrar<Tmpl<A, V, Vs...>>
{
    static void Run()
    {
        using U = Tmpl<A, V, Vs...>;
        if constexpr (TypeKeywordOf<U>::value != TypeKeyword::Class)
            DeclareTypeKeyword(typeid(U), TypeKeywordOf<U>::value);
        KeywordRegistrar<A>::Run();
    }
};

}  // namespace Detail

// Makes the keywords of T and of its type arguments known to RuntimeTypeName.
template <class T>
void RegisterTypeKeywords()
{
    static const bool done = (Detail::KeywordRegistrar<T>::Run(), true);
    (void)done;
}

// The message form of a static type.
template <class T>
const std::string& TypeName()
{
    static const std::string name = (RegisterTypeKeywords<T>(), RuntimeTypeName(typeid(T)));
    return name;
}

}  // namespace Tavo

#define TAVO_STRUCT_TYPE_NAME(T)                                                                             \
    template <>                                                                                              \
    struct Tavo::TypeKeywordOf<T>                                                                            \
    {                                                                                                        \
        static constexpr ::Tavo::TypeKeyword value = ::Tavo::TypeKeyword::Struct;                            \
    }
