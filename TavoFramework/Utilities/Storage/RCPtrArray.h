#pragma once

#include "Utilities/Storage/ConstRCPtrArray.h"

namespace Tavo {

// The same storage as ConstRCPtrArray, seen as writable pointers. It is both
// an IArray<RCPtr<T>> and an IArray<ConstRCPtr<T>>; Begin/End and their
// reverse forms exist once per view, so walk it with begin()/end() or indices.
template <class T, uint32_t Step = 1, uint32_t SlackCount = 0>
class RCPtrArray : public ConstRCPtrArray<T, Step, SlackCount>, public IArray<RCPtr<T>>
{
    using Const = ConstRCPtrArray<T, Step, SlackCount>;
    using Writable = IArray<RCPtr<T>>;

public:
    using Element = RCPtr<T>;

    explicit RCPtrArray(uint32_t count = 0, uint32_t capacity = 0) : Const(count, capacity) {}
    RCPtrArray(const RCPtrArray& other) : Const(other) {}
    RCPtrArray& operator=(const RCPtrArray& other)
    {
        Const::operator=(other);
        return *this;
    }
    ~RCPtrArray() override = default;

    // Operations with one signature in both views.
    uint32_t GetCount() const override { return Const::GetCount(); }
    uint32_t GetMaxCount() const override { return Const::GetMaxCount(); }
    Element* GetItemPtr(uint32_t index) override { return this->template Slots<Element>() + index; }
    const Element* GetItemPtr(uint32_t index) const override
    {
        return this->template Slots<Element>() + index;
    }
    TavoResult Swap(uint32_t i, uint32_t j) override { return Const::Swap(i, j); }
    Element* GetFirst() const override { return GetCount() ? this->template Slots<Element>() : nullptr; }
    Element* GetEnd() const override { return GetCount() ? GetFirst() + GetCount() : nullptr; }
    Element* GetLast() const override { return GetCount() ? GetFirst() + (GetCount() - 1) : nullptr; }
    Element* GetBeforeFirst() const override
    {
        // Only compared, never read.
        return GetCount()
                   ? reinterpret_cast<Element*>(reinterpret_cast<uintptr_t>(GetFirst()) - sizeof(Element))
                   : nullptr;
    }
    TavoResult Clear() override { return Const::Clear(); }
    TavoResult SetCount(uint32_t count) override { return Const::SetCount(count); }
    TavoResult InsertSpace(uint32_t index, uint32_t count) override
    {
        return Const::InsertSpace(index, count);
    }
    TavoResult RemoveRange(uint32_t index, uint32_t count) override
    {
        return Const::RemoveRange(index, count);
    }
    Element* GetData() override { return this->template Slots<Element>(); }
    const Element* GetData() const override { return this->template Slots<Element>(); }

    // Operations on elements, once per view.
    using Const::InsertAt;
    TavoResult InsertAt(uint32_t index, const Element& item) override
    {
        return this->InsertPointer(index, item);
    }
    using Const::RemoveItem;
    TavoResult RemoveItem(uint32_t index, Element& out) override { return this->TakePointer(index, out); }
    using Const::Add;
    TavoResult Add(const Element& item) override { return InsertAt(GetCount(), item); }
    using Const::RemoveLast;
    TavoResult RemoveLast(Element& out) override { return this->TakeLast(out); }
    // A new object would convert to either view's element; these take it as
    // writable.
    TavoResult Add(T* object) { return Add(Element(object)); }
    TavoResult InsertAt(uint32_t index, T* object) { return InsertAt(index, Element(object)); }
    using Const::PopBack;
    TavoResult PopBack(Element& out) { return RemoveLast(out); }
    using Const::AppendAll;
    using Const::AppendArray;
    using Const::Assign;
    using Writable::AppendAll;
    using Writable::AppendArray;
    using Writable::Assign;
    // Another RCPtrArray would fit either view; these pick one.
    TavoResult AppendAll(const RCPtrArray& other) { return Writable::AppendAll(other); }
    TavoResult Assign(const RCPtrArray& other) { return Writable::Assign(other); }
    TavoResult AppendArray(const RCPtrArray& other) { return Writable::AppendArray(other); }
    using Const::Advance;
    using Const::Dereference;
    using Writable::Advance;
    using Writable::Dereference;

    Element& operator[](uint32_t index) { return *GetItemPtr(index); }
    const Element& operator[](uint32_t index) const { return *GetItemPtr(index); }
    bool IsEmpty() const { return GetCount() == 0; }
    Element* begin() { return GetFirst(); }
    Element* end() { return GetEnd(); }
    const Element* begin() const { return GetFirst(); }
    const Element* end() const { return GetEnd(); }

protected:
    [[noreturn]] void ThrowRemoveItemOutOfRange() const override
    {
        TAVO_THROW(std::out_of_range, "",
                   (Detail::PointerArrayFunction<T, Step, SlackCount>("Tavo::RCPtrArray", "RemoveItem")),
                   "utilities\\Storage/RCPtrArray", 175);
    }
};

}  // namespace Tavo
