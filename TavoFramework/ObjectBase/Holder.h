#pragma once

#include "ObjectBase/RefCountedObject.h"

namespace Tavo {

// A reference-counted box for one plain value; shared, never copied.
template <class T>
class LHolder : public virtual LRefCountedObject
{
public:
    LHolder() : mValue(new T()) { RegisterTypeKeywords<LHolder>(); }
    explicit LHolder(const T& value) : mValue(new T(value)) { RegisterTypeKeywords<LHolder>(); }
    LHolder(const LHolder&) = delete;
    LHolder& operator=(const LHolder&) = delete;
    ~LHolder() override { delete mValue; }

    const T& Get() const { return *mValue; }
    T& Get() { return *mValue; }
    void Set(const T& value) { *mValue = value; }

private:
    T* mValue;
};

// Makes a plain class reference counted.
template <class T, class Base = LRefCountedObject>
class LWrapper : public T, public virtual Base
{
public:
    LWrapper() : T() { RegisterTypeKeywords<LWrapper>(); }
};

// A wrapped value whose text form is ToStringFunction applied to it.
template <class T, class ToStringFunction, class Base>
class LWrapperStringable : public T, public Base
{
public:
    LWrapperStringable() = default;
    explicit LWrapperStringable(const T& value) : T(value) {}

    StringT<char16_t, char> ToString() const override
    {
        return ToStringFunction()(static_cast<const T&>(*this));
    }
};

// The text form of a string is the string itself.
struct StringToString
{
    StringT<char16_t, char> operator()(const StringT<char16_t, char>& text) const { return text; }
};

}  // namespace Tavo

TAVO_STRUCT_TYPE_NAME(Tavo::StringToString);
