#pragma once

// The object base first: the buffer header is reached through it.
#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Storage/Buffer.h"
#include "Utilities/Storage/IArray.h"

#include <cstring>
#include <type_traits>

namespace Tavo {

namespace Detail {

// The array operations shared by the arrays of plain elements: elements are
// bytes, moved in blocks and zeroed when they appear.
template <class T>
class PlainArray : public IArray<T>
{
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved and zeroed as bytes");

public:
    using IArray<T>::GetCount;

    // Sets the number of elements without touching their bytes. Returns the
    // new count, or E_FAIL when the storage cannot hold it.
    virtual TavoResult SetCountRaw(uint32_t count) = 0;

    // The element storage; may be set while the array is empty.
    virtual T* GetElements() = 0;
    const T* GetElements() const { return const_cast<PlainArray*>(this)->GetElements(); }

    T* GetData() override { return GetCount() ? GetElements() : nullptr; }
    const T* GetData() const override { return GetCount() ? GetElements() : nullptr; }

    // Unchecked: the caller tests index < count.
    T* GetItemPtr(uint32_t index) override { return GetElements() + index; }
    const T* GetItemPtr(uint32_t index) const override { return GetElements() + index; }

    TavoResult Swap(uint32_t i, uint32_t j) override
    {
        if (i >= GetCount() || j >= GetCount())
            return E_INVALIDARG;
        std::swap(GetElements()[i], GetElements()[j]);
        return S_OK;
    }

    // New elements are zero. Returns the new count.
    TavoResult SetCount(uint32_t count) override
    {
        const uint32_t old = GetCount();
        const TavoResult r = SetCountRaw(count);
        if (r >= 0 && count > old)
            std::memset(static_cast<void*>(GetElements() + old), 0, (count - old) * sizeof(T));
        return r;
    }

    // Opens count zeroed elements before index. Returns the new count.
    TavoResult InsertSpace(uint32_t index, uint32_t count) override
    {
        const uint32_t n = GetCount();
        if (count == 0)
            return static_cast<TavoResult>(n);
        if (index > n)
            return E_INVALIDARG;
        if (count > 0x7FFFFFFFu - n)
            return E_FAIL;
        if (index == n)
            return SetCount(n + count);
        const TavoResult r = SetCountRaw(n + count);
        if (r < 0)
            return r;
        T* e = GetElements();
        std::memmove(static_cast<void*>(e + index + count), e + index, (n - index) * sizeof(T));
        std::memset(static_cast<void*>(e + index), 0, count * sizeof(T));
        return static_cast<TavoResult>(n + count);
    }

    // An empty range, also at the end, is fine. Returns the new count.
    TavoResult RemoveRange(uint32_t index, uint32_t count) override
    {
        const uint32_t n = GetCount();
        if (count == 0)
            return static_cast<TavoResult>(n);
        if (index > n || count > n - index)
            return E_INVALIDARG;
        T* e = GetElements();
        std::memmove(static_cast<void*>(e + index), e + index + count, (n - index - count) * sizeof(T));
        return SetCountRaw(n - count);
    }

    // Returns the new count.
    TavoResult InsertAt(uint32_t index, const T& item) override
    {
        const T copy = item;  // item may live in the storage, which may move
        const TavoResult r = InsertSpace(index, 1);
        if (r >= 0)
            GetElements()[index] = copy;
        return r;
    }

    TavoResult RemoveItem(uint32_t index, T& out) override
    {
        if (index >= GetCount())
            return E_INVALIDARG;
        out = GetElements()[index];
        return RemoveRange(index, 1);
    }

protected:
    static bool Fits(uint32_t count) { return count <= 0xFFFFFFFFu / sizeof(T); }
};

}  // namespace Detail

// An array of plain elements (numbers, flags, raw pointers) in a buffer: the
// count is the buffer size in elements, Step the growth step and SlackCount
// the spare elements kept when shrinking.
template <class T, uint32_t Step = 1, uint32_t SlackCount = 0, uint32_t One = 1, uint32_t Alignment = 8,
          AllocatorFunction Allocator = GetSystemAllocator>
class ArrayBuffer : public Detail::PlainArray<T>
{
public:
    using Buffer = BufferT<Step * sizeof(T), SlackCount * sizeof(T), Alignment, T*, Allocator>;

    ArrayBuffer() = default;

    uint32_t GetCount() const override { return mBuffer.GetSize() / sizeof(T); }

    TavoResult SetCountRaw(uint32_t count) override
    {
        if (!this->Fits(count))
            return E_FAIL;
        mBuffer.Resize(count * uint32_t(sizeof(T)));
        return GetCount() == count ? static_cast<TavoResult>(count) : E_FAIL;
    }

    using Detail::PlainArray<T>::GetElements;
    T* GetElements() override { return mBuffer.Data(); }

    // The byte buffer underneath.
    uint32_t GetSize() const { return mBuffer.GetSize(); }
    uint32_t GetCapacity() const { return mBuffer.GetCapacity(); }
    uint32_t SetSize(uint32_t bytes) { return mBuffer.SetSize(bytes); }
    uint32_t Resize(uint32_t bytes) { return mBuffer.Resize(bytes); }
    // Bytes from offset; a negative count runs to the end.
    TavoResult Fill(int8_t value, uint32_t offset, int32_t count)
    {
        return mBuffer.Fill(value, offset, count);
    }
    TavoResult Fill16(uint16_t value, uint32_t offset, int32_t count)
    {
        return mBuffer.Fill16(value, offset, count);
    }

private:
    Buffer mBuffer;
};

// The same array with room for M elements inside the object, so short arrays
// (a short MIDI message) need no heap block.
template <class T, uint32_t M, uint32_t Step = 1, uint32_t SlackCount = 0, uint32_t One = 1,
          uint32_t Alignment = 8, AllocatorFunction Allocator = GetSystemAllocator>
class ArrayBufferM : public Detail::PlainArray<T>
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

    uint32_t GetCount() const override
    {
        return mInlineCount ? mInlineCount : mHeap.GetSize() / uint32_t(sizeof(T));
    }

    // Elements move between the object and the heap as the count crosses M.
    TavoResult SetCountRaw(uint32_t count) override
    {
        if (!this->Fits(count))
            return E_FAIL;
        const uint32_t old = GetCount();
        const uint32_t bytes = count * uint32_t(sizeof(T));
        if (old > M && count <= M) {
            std::memcpy(static_cast<void*>(mInline), mHeap.Data(), count * sizeof(T));
            mInlineCount = count;
            mHeap.SetSize(0);
        } else if (old > M) {
            mHeap.Resize(bytes);
            if (mHeap.GetSize() != bytes)
                return E_FAIL;
        } else if (count > M) {
            mHeap.SetSize(bytes);
            if (mHeap.GetSize() != bytes)
                return E_FAIL;
            std::memcpy(static_cast<void*>(mHeap.Data()), mInline, old * sizeof(T));
            mInlineCount = 0;
        } else {
            mInlineCount = count;
        }
        return static_cast<TavoResult>(count);
    }

    using Detail::PlainArray<T>::GetElements;
    // The inline storage while the count is at most M, also when it is 0.
    T* GetElements() override { return GetCount() > M ? mHeap.Data() : mInline; }
    bool IsInline() const { return GetCount() <= M; }

private:
    void CopyFrom(const ArrayBufferM& other)
    {
        this->SetCount(0);
        this->SetCount(other.GetCount());
        if (other.GetCount())
            std::memcpy(static_cast<void*>(GetElements()), other.GetElements(), other.GetCount() * sizeof(T));
    }

    uint32_t mInlineCount = 0;
    T mInline[M] = {};
    BufferT<Step * sizeof(T), SlackCount * sizeof(T), Alignment, T*, Allocator> mHeap;
};

}  // namespace Tavo
