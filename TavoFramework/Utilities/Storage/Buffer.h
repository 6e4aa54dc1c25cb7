#pragma once

#include "ObjectBase/RefCountedCore.h"
#include "Utilities/Storage/Allocator.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Tavo {

// A growable byte block.
class IBuffer
{
public:
    virtual uint32_t GetSize() const = 0;
    // Contents are lost when the rounded capacity changes.
    virtual uint32_t SetSize(uint32_t size) = 0;
    // Contents are kept up to the smaller size.
    virtual uint32_t Resize(uint32_t size) = 0;
    // A negative count runs to the end; a range outside the buffer gives E_INVALIDARG.
    virtual TavoResult Fill(int8_t value, uint32_t offset, int32_t count) = 0;
    // Offset in bytes, count in 16-bit words.
    virtual TavoResult Fill16(uint16_t value, uint32_t offset, int32_t count) = 0;
    virtual uint32_t GetCapacity() const = 0;
    virtual void* GetData() const = 0;
    virtual ~IBuffer() = default;
};

// Capacity grows in steps of Granularity bytes; a shrinking buffer keeps its
// block while no more than max(Slack, Granularity - 1) bytes would lie spare.
template <uint32_t Granularity, uint32_t Slack, uint32_t Alignment, class TPtr, AllocatorFunction Allocator>
class BufferT : public virtual IBuffer
{
    static_assert(Granularity > 0, "granularity must be positive");

public:
    static constexpr uint32_t kKeepBound = std::max(Slack, Granularity - 1);

    explicit BufferT(uint32_t size = 0, uint32_t capacity = 0, bool zero = false)
    {
        if (capacity > size) {
            mBlock = Allocator()->Alloc(capacity);
            mCapacity = capacity;
            mData = static_cast<TPtr>(mBlock);
        }
        Resize(size);
        if (zero && mSize != 0)
            std::memset(mBlock, 0, mSize);
    }

    BufferT(const BufferT& other) : BufferT(other.mSize)
    {
        if (mSize)
            std::memcpy(mBlock, other.mBlock, mSize);
    }

    BufferT& operator=(const BufferT& other)
    {
        if (this != &other) {
            SetSize(other.mSize);
            if (mSize)
                std::memcpy(mBlock, other.mBlock, mSize);
        }
        return *this;
    }

    ~BufferT() override { Release(); }

    uint32_t GetSize() const override { return mSize; }
    uint32_t GetCapacity() const override { return mCapacity; }
    void* GetData() const override { return mBlock; }
    TPtr Data() const { return mData; }

    uint32_t SetSize(uint32_t size) override
    {
        if (size == 0) {
            Release();
            return 0;
        }
        uint32_t rounded = RoundUp(size);
        if (rounded != mCapacity) {
            if (mBlock)
                Allocator()->Free(mBlock);
            mCapacity = rounded;
            mBlock = Allocator()->Alloc(rounded);
            mData = static_cast<TPtr>(mBlock);
        }
        mSize = size;
        return size;
    }

    uint32_t Resize(uint32_t size) override
    {
        if (mCapacity == 0)
            return SetSize(size);
        if (mCapacity >= size && mCapacity - size <= kKeepBound) {
            mSize = size;
            return size;
        }
        mCapacity = RoundUp(size);
        mBlock = Allocator()->Realloc(mBlock, mCapacity);
        mData = static_cast<TPtr>(mBlock);
        mSize = mBlock ? size : 0;
        if (!mBlock)
            mCapacity = 0;
        return size;
    }

    TavoResult Fill(int8_t value, uint32_t offset, int32_t count) override
    {
        uint32_t bytes;
        if (!ByteRange(offset, count, 1, bytes))
            return E_INVALIDARG;
        if (bytes)
            std::memset(static_cast<char*>(mBlock) + offset, static_cast<unsigned char>(value), bytes);
        return S_OK;
    }

    TavoResult Fill16(uint16_t value, uint32_t offset, int32_t count) override
    {
        uint32_t bytes;
        if (!ByteRange(offset, count, 2, bytes))
            return E_INVALIDARG;
        char* at = static_cast<char*>(mBlock) + offset;
        for (uint32_t i = 0; i + 2 <= bytes; i += 2)
            std::memcpy(at + i, &value, 2);
        return S_OK;
    }

protected:
    static uint32_t RoundUp(uint32_t size)
    {
        uint64_t rounded = (uint64_t(size) + Granularity - 1) / Granularity * Granularity;
        return rounded > UINT32_MAX ? UINT32_MAX / Granularity * Granularity : static_cast<uint32_t>(rounded);
    }

    // The byte count of a fill of `count` units of `unit` bytes at `offset`.
    bool ByteRange(uint32_t offset, int32_t count, uint32_t unit, uint32_t& bytes) const
    {
        if (offset > mSize)
            return false;
        if (count < 0) {
            bytes = (mSize - offset) / unit * unit;
            return true;
        }
        uint64_t end = uint64_t(offset) + uint64_t(count) * unit;
        if (end > mSize)
            return false;
        bytes = uint32_t(count) * unit;
        return true;
    }

    void Release()
    {
        if (mBlock)
            Allocator()->Free(mBlock);
        mData = nullptr;
        mSize = 0;
        mBlock = nullptr;
        mCapacity = 0;
    }

    TPtr mData = nullptr;
    uint32_t mSize = 0;
    void* mBlock = nullptr;
    uint32_t mCapacity = 0;
};

// A reference-counted buffer: the shared representation of strings.
class LIBuffer : public virtual IBuffer, public virtual LRefCountedObject
{
public:
    // A new zeroed buffer of newSize bytes holding this one's bytes from offset.
    virtual RCPtr<LIBuffer> CopyRange(uint32_t newSize, uint32_t offset) const = 0;
    RCPtr<LRefCountedObject> CreateCopy() const override = 0;
};

template <uint32_t Granularity, uint32_t Slack, uint32_t Alignment, class TPtr, AllocatorFunction Allocator>
class LBufferT final : public BufferT<Granularity, Slack, Alignment, TPtr, Allocator>, public LIBuffer
{
    using Base = BufferT<Granularity, Slack, Alignment, TPtr, Allocator>;

public:
    static RCPtr<LIBuffer> Create(uint32_t size, uint32_t capacity = 0, bool zero = true)
    {
        return RCPtr<LIBuffer>(new LBufferT(size, capacity, zero));
    }

    RCPtr<LIBuffer> CopyRange(uint32_t newSize, uint32_t offset) const override
    {
        RCPtr<LIBuffer> copy = Create(newSize, 0, true);
        if (offset < this->mSize) {
            uint32_t n = std::min(newSize, this->mSize - offset);
            if (n)
                std::memcpy(copy->GetData(), static_cast<const char*>(this->mBlock) + offset, n);
        }
        return copy;
    }

    RCPtr<LRefCountedObject> CreateCopy() const override
    {
        RCPtr<LIBuffer> copy = Create(this->mSize, 0, false);
        if (this->mSize)
            std::memcpy(copy->GetData(), this->mBlock, this->mSize);
        return RCPtr<LRefCountedObject>(copy.Get());
    }

    uint32_t GetSize() const override { return this->mSize; }
    uint32_t GetCapacity() const override { return this->mCapacity; }
    void* GetData() const override { return this->mBlock; }
    uint32_t SetSize(uint32_t size) override { return Base::SetSize(size); }
    uint32_t Resize(uint32_t size) override { return Base::Resize(size); }
    TavoResult Fill(int8_t value, uint32_t offset, int32_t count) override
    {
        return Base::Fill(value, offset, count);
    }
    TavoResult Fill16(uint16_t value, uint32_t offset, int32_t count) override
    {
        return Base::Fill16(value, offset, count);
    }

private:
    LBufferT(uint32_t size, uint32_t capacity, bool zero) : Base(size, capacity, zero) {}
};

// The representation of wide and narrow strings.
using StringBuffer = LBufferT<1, 128, 8, char*, GetSystemAllocator>;

}  // namespace Tavo

// Users of buffers get the text type of LRefCountedObject::ToString too.
#include "Utilities/Storage/StringT.h"
