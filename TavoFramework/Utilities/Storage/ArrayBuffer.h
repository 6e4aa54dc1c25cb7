#pragma once

#include "Utilities/Storage/Buffer.h"

#include <cstring>

namespace Tavo {

// Storage of an array of plain elements: the count is the buffer size in
// elements, Step the growth step and SlackCount the tolerated spare elements.
template <class T, uint32_t Step, uint32_t SlackCount, uint32_t One = 1, uint32_t Alignment = 8,
          AllocatorFunction Allocator = GetSystemAllocator>
class ArrayBuffer : public BufferT<Step * sizeof(T), SlackCount * sizeof(T), Alignment, T*, Allocator>
{
    using Base = BufferT<Step * sizeof(T), SlackCount * sizeof(T), Alignment, T*, Allocator>;

public:
    ArrayBuffer() = default;

    uint32_t GetCount() const { return this->mSize / sizeof(T); }

    // New elements are zero bytes; the block moves only beyond the keep bound.
    TavoResult SetCount(uint32_t count)
    {
        uint32_t old = GetCount();
        this->Resize(count * uint32_t(sizeof(T)));
        if (count > old)
            std::memset(static_cast<void*>(this->mData + old), 0, (count - old) * sizeof(T));
        return S_OK;
    }

    T* GetElements() { return this->mData; }
    const T* GetElements() const { return this->mData; }
};

// The same storage with room for M elements inside the object, so short
// arrays need no heap block.
template <class T, uint32_t M, uint32_t Step, uint32_t SlackCount, uint32_t One = 1, uint32_t Alignment = 8,
          AllocatorFunction Allocator = GetSystemAllocator>
class ArrayBufferM
{
public:
    ArrayBufferM() = default;
    ArrayBufferM(const ArrayBufferM& other) { CopyFrom(other); }
    ArrayBufferM& operator=(const ArrayBufferM& other)
    {
        if (this != &other)
            CopyFrom(other);
        return *this;
    }

    uint32_t GetCount() const { return mInlineCount ? mInlineCount : mHeap.GetCount(); }

    TavoResult SetCount(uint32_t count)
    {
        uint32_t old = GetCount();
        bool onHeap = old > M;
        if (onHeap && count <= M) {
            std::memcpy(static_cast<void*>(mInline), mHeap.GetElements(), count * sizeof(T));
            mInlineCount = count;
            mHeap.SetSize(0);
        } else if (onHeap) {
            mHeap.SetCount(count);
        } else if (count > M) {
            mHeap.SetSize(count * uint32_t(sizeof(T)));
            std::memcpy(static_cast<void*>(mHeap.GetElements()), mInline, old * sizeof(T));
            std::memset(static_cast<void*>(mHeap.GetElements() + old), 0, (count - old) * sizeof(T));
            mInlineCount = 0;
        } else {
            if (count > old)
                std::memset(static_cast<void*>(mInline + old), 0, (count - old) * sizeof(T));
            mInlineCount = count;
        }
        return S_OK;
    }

    T* GetElements() { return GetCount() > M ? mHeap.GetElements() : mInline; }
    const T* GetElements() const { return GetCount() > M ? mHeap.GetElements() : mInline; }
    bool IsInline() const { return GetCount() <= M; }

private:
    void CopyFrom(const ArrayBufferM& other)
    {
        SetCount(0);
        SetCount(other.GetCount());
        if (other.GetCount())
            std::memcpy(static_cast<void*>(GetElements()), other.GetElements(), other.GetCount() * sizeof(T));
    }

    uint32_t mInlineCount = 0;
    T mInline[M] = {};
    ArrayBuffer<T, Step, SlackCount, One, Alignment, Allocator> mHeap;
};

}  // namespace Tavo
