#include "ObjectBase/Exception.h"
#include "ObjectBase/TypeName.h"

#include <gtest/gtest.h>

#include <string>

namespace Tavo {
struct PlainRecord
{
};
struct SizedRecord
{
};
enum class Colour { Red };
template <class A, class B>
class Pairing
{
};
template <class A, int N, int M>
class Sized
{
};
}  // namespace Tavo

TAVO_STRUCT_TYPE_NAME(Tavo::PlainRecord);
TAVO_STRUCT_TYPE_NAME(Tavo::SizedRecord);

namespace {

using namespace Tavo;

template <class E>
std::string CaughtAsStd(TavoResult r)
{
    try {
        if constexpr (std::is_same_v<E, FailedResultException>)
            ThrowIfFailed(r, "Tavo::F", "A\\B", 7);
        else
            TAVO_THROW(E, "Detail", "Tavo::F", "A\\B", 7);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "not thrown";
}

template <class E>
std::string CaughtAsBase()
{
    try {
        TAVO_THROW(E, "", "Tavo::StringT<wchar_t,char>::Lock", "utilities\\Storage/StringT", 760);
    } catch (const ExceptionBase& e) {
        return e.What();
    }
    return "not thrown";
}

TEST(ExceptionTest, EveryKindComposesTheSameForm)
{
    EXPECT_EQ(CaughtAsStd<std::logic_error>(0), "Logic Error : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(CaughtAsStd<std::runtime_error>(0), "Runtime Error : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(CaughtAsStd<std::out_of_range>(0), "Out of Range : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(CaughtAsStd<std::domain_error>(0), "Domain Error : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(CaughtAsStd<std::invalid_argument>(0), "Invalid Argument : Detail : Tavo::F : A\\B : Line 7");
    // No detail: exactly one separator between kind and function.
    EXPECT_EQ(CaughtAsBase<std::runtime_error>(),
              "Runtime Error : Tavo::StringT<wchar_t,char>::Lock : utilities\\Storage/StringT : Line 760");
}

TEST(ExceptionTest, FailedResultsThrowOnlyWhenNegative)
{
    EXPECT_EQ(CaughtAsStd<FailedResultException>(E_FAIL),
              "Failed Result : TAVORESULT = 80004005 : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(CaughtAsStd<FailedResultException>(S_OK), "not thrown");
    EXPECT_EQ(CaughtAsStd<FailedResultException>(S_FALSE), "not thrown");
    EXPECT_EQ(FormatResultCode(E_INVALIDARG), "TAVORESULT = 80070057");
    EXPECT_EQ(FormatResultCode(0x123), "TAVORESULT = 123");

    try {
        ThrowIfFailed(E_ABORT, "LUpdateProcessor::Initialize", "Engine\\UpdateProcessor", 53);
        FAIL();
    } catch (const FailedResultException& e) {
        const ExceptionBase* base = dynamic_cast<const ExceptionBase*>(&e);
        ASSERT_NE(base, nullptr);
        EXPECT_STREQ(base->What(), e.what());
        EXPECT_STREQ(e.what(), "Failed Result : TAVORESULT = 80004004 : LUpdateProcessor::Initialize : "
                               "Engine\\UpdateProcessor : Line 53");
    }
}

TEST(ExceptionTest, CopiesKeepTheTextAndCatchByStandardBase)
{
    Exception<std::out_of_range> original("Out of Range : x : Line 1");
    Exception<std::out_of_range> copy(original);
    EXPECT_STREQ(copy.what(), original.what());
    EXPECT_STREQ(copy.What(), "Out of Range : x : Line 1");
    try {
        throw copy;
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Out of Range : x : Line 1");
    }
    Exception<std::bad_alloc> alloc("ignored");
    EXPECT_STREQ(alloc.What(), "bad allocation");
    EXPECT_STREQ(static_cast<const std::exception&>(alloc).what(), "bad allocation");
}

TEST(TypeNameTest, SpellsTypesTheMessageWay)
{
    EXPECT_EQ(TypeName<int>(), "int");
    EXPECT_EQ((TypeName<Pairing<int, PlainRecord>>()), "class Tavo::Pairing<int,struct Tavo::PlainRecord>");
    EXPECT_EQ((TypeName<Pairing<Colour, Pairing<int, int>*>>()),
              "class Tavo::Pairing<enum Tavo::Colour,class Tavo::Pairing<int,int> *>");
    EXPECT_EQ((TypeName<Sized<Pairing<char16_t, char>, 1, 0>>()),
              "class Tavo::Sized<class Tavo::Pairing<wchar_t,char>,1,0>");
    // A struct first named inside a sized template still gets its keyword.
    EXPECT_EQ((TypeName<Sized<SizedRecord, 256, 256>>()),
              "class Tavo::Sized<struct Tavo::SizedRecord,256,256>");
    EXPECT_EQ(TypeName<unsigned int>(), "unsigned int");
    EXPECT_EQ(TypeName<const char*>(), "char const *");
}

TEST(TypeNameTest, UnusualSpellingsPassThroughWithoutLoss)
{
    EXPECT_EQ(DecorateTypeName("Tavo::LBufferT<1u, 128u, 8u, char*, &Tavo::GetSystemAllocator>"),
              "class Tavo::LBufferT<1,128,8,char *,Tavo::GetSystemAllocator>");
    EXPECT_EQ(DecorateTypeName("(anonymous namespace)::Probe"), "class (anonymous namespace)::Probe");
    EXPECT_EQ(DecorateTypeName("Tavo::X<-3, true>::Inner"), "class Tavo::X<-3,true>::Inner");
    // Malformed input must not hang or crash.
    EXPECT_FALSE(DecorateTypeName("Tavo::X<int, ").empty());
    EXPECT_FALSE(DecorateTypeName("void (*)(int)").empty());
}

}  // namespace
