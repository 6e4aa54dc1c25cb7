#pragma once

#include "ObjectBase/Exception.h"
#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/TypeName.h"
#include "Utilities/Storage/Buffer.h"
#include "Utilities/Storage/IArray.h"

#include <cstring>
#include <string>
#include <vector>

namespace Tavo {

namespace Detail {

// The storage of the pointer arrays: one pointer-sized slot per element,
// holding a counted reference or null. Both ConstRCPtr<T> and RCPtr<T> are one
// pointer wide, so the slots are seen as either; moving a slot's bytes moves
// its reference without touching the count.
template <class T, uint32_t Step, uint32_t SlackCount>
class RCPtrSlots
{
    static_assert(sizeof(ConstRCPtr<T>) == sizeof(T*) && sizeof(RCPtr<T>) == sizeof(T*));

public:
    static constexpr uint32_t kSlotSize = sizeof(T*);
    static constexpr uint32_t kMaxCount = 0x7FFFFFFF / kSlotSize;

    RCPtrSlots(uint32_t count, uint32_t capacity)
        : mBuffer(Bytes(count), Bytes(std::max(count, capacity)), true)
    {
    }

    uint32_t Count() const { return mBuffer.GetSize() / kSlotSize; }

    template <class P>
    P* Slots() const
    {
        return Count() ? reinterpret_cast<P*>(mBuffer.Data()) : nullptr;
    }

    // New slots are null; removed slots must have been emptied or moved out.
    bool ResizeRaw(uint32_t count)
    {
        const uint32_t old = Count();
        if (count > kMaxCount)
            return false;
        mBuffer.Resize(Bytes(count));
        if (Count() != count)
            return false;
        if (count > old)
            std::memset(static_cast<void*>(mBuffer.Data() + old), 0, Bytes(count - old));
        return true;
    }

    // Opens k null slots before index.
    bool OpenGap(uint32_t index, uint32_t k)
    {
        const uint32_t n = Count();
        if (k > kMaxCount - n || !ResizeRaw(n + k))
            return false;
        T** slots = mBuffer.Data();
        std::memmove(static_cast<void*>(slots + index + k), slots + index, Bytes(n - index));
        std::memset(static_cast<void*>(slots + index), 0, Bytes(k));
        return true;
    }

    // Takes slots index .. index + k - 1 out, closing the gap; the references
    // they held are appended to taken.
    void CloseGap(uint32_t index, uint32_t k, std::vector<T*>& taken)
    {
        const uint32_t n = Count();
        T** slots = mBuffer.Data();
        taken.insert(taken.end(), slots + index, slots + index + k);
        std::memmove(static_cast<void*>(slots + index), slots + index + k, Bytes(n - index - k));
        mBuffer.Resize(Bytes(n - k));
    }

    void SwapSlots(uint32_t i, uint32_t j)
    {
        T** slots = mBuffer.Data();
        std::swap(slots[i], slots[j]);
    }

private:
    static uint32_t Bytes(uint32_t count) { return std::min(count, kMaxCount) * kSlotSize; }

    BufferT<kSlotSize * Step, kSlotSize * SlackCount, 8, T**, GetSystemAllocator> mBuffer;
};

// Releases references that were taken out of an array, in order, after the
// array is consistent again (a released object may reach back into it).
template <class T>
void ReleaseTaken(const std::vector<T*>& taken)
{
    for (T* object : taken) {
        if (object != nullptr)
            static_cast<LRefCountedObject*>(const_cast<std::remove_const_t<T>*>(object))->Release();
    }
}

// "Tavo::ConstRCPtrArray<class Tavo::LControl,1,0>::RemoveItem"
template <class T, uint32_t Step, uint32_t SlackCount>
std::string PointerArrayFunction(const char* family, const char* operation)
{
    return std::string(family) + "<" + TypeName<T>() + "," + std::to_string(Step) + "," +
           std::to_string(SlackCount) + ">::" + operation;
}

}  // namespace Detail

// An array of owning pointers; it holds one reference to each element. Step
// is the growth step and SlackCount the spare slots kept when shrinking.
// Removing past the end throws; other range errors return E_INVALIDARG.
template <class T, uint32_t Step = 1, uint32_t SlackCount = 0>
class ConstRCPtrArray : public IArray<ConstRCPtr<T>>
{
public:
    using Element = ConstRCPtr<T>;

    // count null slots, with room reserved for capacity.
    explicit ConstRCPtrArray(uint32_t count = 0, uint32_t capacity = 0) : mSlots(count, capacity) {}

    ConstRCPtrArray(const ConstRCPtrArray& other) : mSlots(0, 0) { this->AppendArray(other); }

    ConstRCPtrArray& operator=(const ConstRCPtrArray& other)
    {
        if (this != &other) {
            ConstRCPtrArray copy(other);
            SwapStorage(copy);
        }
        return *this;
    }

    ~ConstRCPtrArray() override { DropRange(0, mSlots.Count()); }

    uint32_t GetCount() const override { return mSlots.Count(); }

    // Unchecked, as for every buffer-backed array.
    Element* GetItemPtr(uint32_t index) override { return Slots<Element>() + index; }
    const Element* GetItemPtr(uint32_t index) const override { return Slots<Element>() + index; }

    // Exchanges the slots; counts do not change.
    TavoResult Swap(uint32_t i, uint32_t j) override
    {
        if (i >= GetCount() || j >= GetCount())
            return E_INVALIDARG;
        mSlots.SwapSlots(i, j);
        return S_OK;
    }

    Element* GetData() override { return Slots<Element>(); }
    const Element* GetData() const override { return Slots<Element>(); }

    // Fewer slots release the removed elements; more are null. Returns count.
    TavoResult SetCount(uint32_t count) override
    {
        const uint32_t n = GetCount();
        if (count < n) {
            DropRange(count, n - count);
            return static_cast<TavoResult>(count);
        }
        return mSlots.ResizeRaw(count) ? static_cast<TavoResult>(count) : E_FAIL;
    }

    // Opens count null slots before index. Returns the new count.
    TavoResult InsertSpace(uint32_t index, uint32_t count) override
    {
        const uint32_t n = GetCount();
        if (count == 0)
            return static_cast<TavoResult>(n);
        if (index > n)
            return E_INVALIDARG;
        return mSlots.OpenGap(index, count) ? static_cast<TavoResult>(n + count) : E_FAIL;
    }

    // Releases the elements. A range past the end throws before anything is
    // removed. Returns the new count.
    TavoResult RemoveRange(uint32_t index, uint32_t count) override
    {
        if (count == 0)
            return static_cast<TavoResult>(GetCount());
        if (index >= GetCount() || count > GetCount() - index)
            ThrowRemoveItemOutOfRange();
        DropRange(index, count);
        return static_cast<TavoResult>(GetCount());
    }

    // Takes a new reference to item's object. Returns index.
    TavoResult InsertAt(uint32_t index, const Element& item) override { return InsertPointer(index, item); }

    // Moves the element's reference into out, which first lets go of what it
    // held. Throws past the end. Returns the new count.
    TavoResult RemoveItem(uint32_t index, Element& out) override { return TakePointer(index, out); }

    // E_FAIL, with out emptied, when there is nothing to take.
    TavoResult RemoveLast(Element& out) override { return TakeLast(out); }

    TavoResult PopBack(Element& out) { return RemoveLast(out); }
    TavoResult RemoveItems(uint32_t index, uint32_t count) { return RemoveRange(index, count); }
    TavoResult RemoveAll() { return SetCount(0); }

    // Replaces one slot: the new object gains a reference, the old loses one.
    TavoResult SetAt(uint32_t index, const Element& item)
    {
        if (index >= GetCount())
            return E_INVALIDARG;
        Element copy(item);
        std::swap(*reinterpret_cast<T**>(GetItemPtr(index)), *reinterpret_cast<T**>(&copy));
        return S_OK;
    }

protected:
    template <class P>
    P* Slots() const
    {
        return mSlots.template Slots<P>();
    }

    template <class P>
    TavoResult InsertPointer(uint32_t index, const P& item)
    {
        P copy(item);  // item may live in this array's storage, which may move
        const TavoResult r = InsertSpace(index, 1);
        if (r < 0)
            return r;
        *GetItemPtr(index) = std::move(copy);
        return static_cast<TavoResult>(index);
    }

    template <class P>
    TavoResult TakePointer(uint32_t index, P& out)
    {
        if (index >= GetCount())
            ThrowRemoveItemOutOfRange();
        std::vector<T*> taken;
        mSlots.CloseGap(index, 1, taken);
        Adopt(out, taken.front());
        return static_cast<TavoResult>(GetCount());
    }

    template <class P>
    TavoResult TakeLast(P& out)
    {
        out = nullptr;
        if (GetCount() == 0)
            return E_FAIL;
        std::vector<T*> taken;
        mSlots.CloseGap(GetCount() - 1, 1, taken);
        Adopt(out, taken.front());
        return static_cast<TavoResult>(GetCount());
    }

    // Hands a reference that left the array to out without a new count.
    template <class P>
    static void Adopt(P& out, T* object)
    {
        P holder;
        *reinterpret_cast<T**>(&holder) = object;
        out = std::move(holder);
    }

    void DropRange(uint32_t index, uint32_t count)
    {
        if (count == 0)
            return;
        std::vector<T*> taken;
        mSlots.CloseGap(index, count, taken);
        Detail::ReleaseTaken(taken);
    }

    void SwapStorage(ConstRCPtrArray& other) { std::swap(mSlots, other.mSlots); }

    [[noreturn]] virtual void ThrowRemoveItemOutOfRange() const
    {
        TAVO_THROW(std::out_of_range, "",
                   (Detail::PointerArrayFunction<T, Step, SlackCount>("Tavo::ConstRCPtrArray", "RemoveItem")),
                   "utilities\\Storage/ConstRCPtrArray", 217);
    }

private:
    Detail::RCPtrSlots<T, Step, SlackCount> mSlots;
};

}  // namespace Tavo
