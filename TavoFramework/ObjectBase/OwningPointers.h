// Needs LRefCountedObject complete, and RefCountedCore.h includes this file
// at its end; a guard (not #pragma once) keeps either inclusion order working.
#include "ObjectBase/RefCountedCore.h"

#ifndef TAVO_OBJECTBASE_OWNINGPOINTERS_H
#define TAVO_OBJECTBASE_OWNINGPOINTERS_H

#include <cstddef>
#include <type_traits>
#include <utility>

namespace Tavo {

// Owns one reference of a reference-counted object. Taking an object that is
// marked unshareable replaces it by a private copy (copy-on-write).
template <class T, class TPtr = T*>
class ConstRCPtr
{
public:
    using element_type = T;

    ConstRCPtr() noexcept : mPtr(nullptr) {}
    ConstRCPtr(std::nullptr_t) noexcept : mPtr(nullptr) {}
    ConstRCPtr(TPtr object) : mPtr(object) { Acquire(); }
    ConstRCPtr(const ConstRCPtr& other) : mPtr(other.mPtr) { Acquire(); }
    ConstRCPtr(ConstRCPtr&& other) noexcept : mPtr(other.mPtr) { other.mPtr = nullptr; }

    template <class U, class UPtr>
    requires(std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>)
        ConstRCPtr(const ConstRCPtr<U, UPtr>& other)
        : mPtr(other.mPtr)
    {
        Acquire();
    }

    ~ConstRCPtr()
    {
        if (mPtr)
            Base(mPtr)->Release();
    }

    ConstRCPtr& operator=(const ConstRCPtr& other)
    {
        Reset(other.mPtr);
        return *this;
    }

    ConstRCPtr& operator=(ConstRCPtr&& other) noexcept
    {
        if (this != &other) {
            TPtr old = mPtr;
            mPtr = other.mPtr;
            other.mPtr = nullptr;
            if (old)
                Base(old)->Release();
        }
        return *this;
    }

    template <class U, class UPtr>
    requires(std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>) ConstRCPtr& operator=(
        const ConstRCPtr<U, UPtr>& other)
    {
        Reset(other.mPtr);
        return *this;
    }

    ConstRCPtr& operator=(TPtr object)
    {
        Reset(object);
        return *this;
    }

    const T* Get() const noexcept { return mPtr; }
    const T* operator->() const noexcept { return mPtr; }
    const T& operator*() const noexcept { return *mPtr; }
    explicit operator bool() const noexcept { return mPtr != nullptr; }
    bool IsNull() const noexcept { return mPtr == nullptr; }

    template <class U, class UPtr>
    bool operator==(const ConstRCPtr<U, UPtr>& other) const noexcept
    {
        return static_cast<const void*>(Base(mPtr)) == static_cast<const void*>(Base(other.mPtr));
    }
    bool operator==(const T* other) const noexcept { return mPtr == other; }
    bool operator==(std::nullptr_t) const noexcept { return mPtr == nullptr; }

    // Replaces a shared object by a private copy; see Acquire.
    void Unshare();

protected:
    template <class U, class UPtr>
    friend class ConstRCPtr;

    static LRefCountedObject* Base(T* object) noexcept { return object; }

    void Reset(TPtr object)
    {
        if (object == mPtr)
            return;
        TPtr old = mPtr;
        mPtr = object;
        // Take the new reference first: the new object may live only through the old one.
        Acquire();
        if (old)
            Base(old)->Release();
    }

    void Acquire()
    {
        if (!mPtr)
            return;
        Base(mPtr)->AddRef();
        if (!Base(mPtr)->IsShareable())
            Unshare();
    }

    TPtr mPtr;
};

template <class T, class TPtr = T*>
class RCPtr : public ConstRCPtr<T, TPtr>
{
    using Const = ConstRCPtr<T, TPtr>;

public:
    RCPtr() noexcept = default;
    RCPtr(std::nullptr_t) noexcept {}
    RCPtr(TPtr object) : Const(object) {}
    RCPtr(const RCPtr& other) : Const(other) {}
    RCPtr(RCPtr&& other) noexcept : Const(std::move(other)) {}

    template <class U, class UPtr>
    requires(std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>) RCPtr(const RCPtr<U, UPtr>& other)
        : Const(other)
    {
    }

    RCPtr& operator=(const RCPtr& other)
    {
        Const::operator=(other);
        return *this;
    }
    RCPtr& operator=(RCPtr&& other) noexcept
    {
        Const::operator=(std::move(other));
        return *this;
    }
    template <class U, class UPtr>
    requires(std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>) RCPtr& operator=(
        const RCPtr<U, UPtr>& other)
    {
        Const::operator=(other);
        return *this;
    }
    RCPtr& operator=(TPtr object)
    {
        Const::operator=(object);
        return *this;
    }

    T* Get() const noexcept { return this->mPtr; }
    T* operator->() const noexcept { return this->mPtr; }
    T& operator*() const noexcept { return *this->mPtr; }
};

// An owning pointer to T when the object is a T, else an empty one; never throws.
template <class T, class U, class UPtr>
RCPtr<T> RCPtrDynamicCast(const ConstRCPtr<U, UPtr>& source)
{
    U* object = const_cast<U*>(source.Get());
    if constexpr (std::is_same_v<T, U>)
        return RCPtr<T>(object);
    else
        return RCPtr<T>(object ? dynamic_cast<T*>(object) : nullptr);
}

template <class T, class TPtr>
void ConstRCPtr<T, TPtr>::Unshare()
{
    if (!mPtr || Base(mPtr)->GetRefCount() < 2)
        return;
    {
        RCPtr<LRefCountedObject> copy = Base(mPtr)->CreateCopy();
        RCPtr<T> cast = RCPtrDynamicCast<T>(copy);
        if (cast.Get() != mPtr) {
            TPtr shared = mPtr;
            mPtr = cast.Get();
            Acquire();
            Base(shared)->Release();
        }
    }
    if (!mPtr) {
        const std::string& name = TypeName<T>();
        throw Exception<std::logic_error>(std::string("Logic Error : ") + name + " : Tavo::ConstRCPtr<" +
                                          name + "," + TypeName<TPtr>() +
                                          ">::Unshare : objectbase\\RefCountedObject : Line 423");
    }
}

}  // namespace Tavo

#endif  // TAVO_OBJECTBASE_OWNINGPOINTERS_H
