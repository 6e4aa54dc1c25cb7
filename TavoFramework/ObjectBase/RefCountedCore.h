#pragma once

// The counted base and its owning pointers without the string type, for the
// headers that the string type itself needs. Others include RefCountedObject.h.

#include "ObjectBase/Exception.h"
#include "ObjectBase/Result.h"
#include "ObjectBase/TypeName.h"

#include <atomic>
#include <cstdint>

namespace Tavo {

template <class C, class O>
class StringT;
template <class T, class TPtr>
class ConstRCPtr;
template <class T, class TPtr>
class RCPtr;
class LRefCountedObject;

class IStringable
{
public:
    virtual StringT<char16_t, char> ToString() const = 0;
    virtual ~IStringable() = default;
};

class IUndoable : public IStringable
{
public:
    virtual void Undo() = 0;
};

// Intrusive reference counting. Counts start at 0; the first owning pointer
// takes the object to 1 and the last release destroys it.
class LRefCountedObject : public IUndoable
{
public:
    LRefCountedObject() noexcept { mReleaseGuard.exchange(0); }
    // A copy is a new object: it never inherits the source's counters.
    LRefCountedObject(const LRefCountedObject&) noexcept : LRefCountedObject() {}
    LRefCountedObject& operator=(const LRefCountedObject&) noexcept { return *this; }

    StringT<char16_t, char> ToString() const override;
    void Undo() override;
    virtual int32_t AddRef();
    virtual int32_t Release();
    virtual TavoResult ReleaseInternalReferences();
    virtual RCPtr<LRefCountedObject, LRefCountedObject*> CreateCopy() const;
    ~LRefCountedObject() override = default;

    // Counts references held by objects this one owns or is registered with,
    // so that the last outside release can break the cycle.
    void AddInternalReferences(int32_t delta) { mInternalRefCount.fetch_add(delta); }

    // true marks the object private to its single holder (throws when it is
    // already shared); false makes it shareable again.
    void SetUnshareable(bool unshareable);

    int32_t GetRefCount() const { return mRefCount.load(); }
    int32_t GetInternalRefCount() const { return mInternalRefCount.load(); }
    uint32_t GetReleaseGuard() const { return mReleaseGuard.load(); }
    bool IsShareable() const { return mShareable; }

private:
    std::atomic<int32_t> mRefCount{0};
    std::atomic<int32_t> mInternalRefCount{0};
    std::atomic<uint32_t> mReleaseGuard{0};
    bool mShareable = true;
};

}  // namespace Tavo

#include "ObjectBase/OwningPointers.h"
