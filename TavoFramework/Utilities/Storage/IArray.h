#pragma once

#include "ObjectBase/Result.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace Tavo {

template <class T>
class IIterable;

// A walk over an IIterable: a position (an element's address) and a step of
// +1 or -1. Positions are clamped by the array, never run past its ends.
template <class T>
struct IterableIterator
{
    const IIterable<T>* array = nullptr;
    T* position = nullptr;
    int32_t step = 1;

    T& operator*() const { return *array->Dereference(*this); }
    T* operator->() const { return array->Dereference(*this); }
    IterableIterator& operator++()
    {
        position = array->Advance(position, step);
        return *this;
    }
    IterableIterator& operator--()
    {
        position = array->Advance(position, -step);
        return *this;
    }
    friend bool operator==(const IterableIterator& a, const IterableIterator& b)
    {
        return a.position == b.position;
    }
};

// Walking, searching and swapping any framework sequence. Every family keeps
// its elements contiguous, so positions are element addresses.
template <class T>
class IIterable
{
public:
    using ValueType = T;
    using Iterator = IterableIterator<T>;

    virtual ~IIterable() = default;

    virtual uint32_t GetCount() const = 0;
    virtual uint32_t GetMaxCount() const { return 0x7FFFFFFF; }

    virtual Iterator Begin() { return {this, GetFirst(), 1}; }
    virtual Iterator Begin() const { return {this, GetFirst(), 1}; }
    virtual Iterator End() { return {this, GetEnd(), 1}; }
    virtual Iterator End() const { return {this, GetEnd(), 1}; }
    virtual Iterator ReverseBegin() { return {this, GetLast(), -1}; }
    virtual Iterator ReverseBegin() const { return {this, GetLast(), -1}; }
    virtual Iterator ReverseEnd() { return {this, GetBeforeFirst(), -1}; }
    virtual Iterator ReverseEnd() const { return {this, GetBeforeFirst(), -1}; }

    virtual T* Dereference(const Iterator& it) const { return const_cast<IIterable*>(this)->Dereference(it); }
    virtual T* Dereference(const Iterator& it) { return it.position; }

    // Buffer-backed arrays leave the test of index < count to the caller;
    // Array<T> throws.
    virtual T* GetItemPtr(uint32_t index)
    {
        Iterator it = Begin();
        for (uint32_t i = 0; i < index; ++i)
            ++it;
        return Dereference(it);
    }
    virtual const T* GetItemPtr(uint32_t index) const
    {
        return const_cast<IIterable*>(this)->GetItemPtr(index);
    }

    // E_INVALIDARG, changing nothing, when either index is not below the count.
    virtual TavoResult Swap(uint32_t i, uint32_t j)
    {
        if (i >= GetCount() || j >= GetCount())
            return E_INVALIDARG;
        T temp = *GetItemPtr(i);
        *GetItemPtr(i) = *GetItemPtr(j);
        *GetItemPtr(j) = temp;
        return S_OK;
    }

    // position + k, clamped to GetBeforeFirst() and GetEnd().
    virtual T* Advance(T* position, int32_t k) const
    {
        T* first = GetFirst();
        if (first == nullptr)
            return position;
        const int64_t count = GetCount();
        // Computed on addresses: the position may be the one before the first.
        const auto offset =
            static_cast<int64_t>(reinterpret_cast<uintptr_t>(position) - reinterpret_cast<uintptr_t>(first));
        int64_t index = offset / static_cast<int64_t>(sizeof(T)) + k;
        if (index < -1)
            index = -1;
        if (index > count)
            index = count;
        return index < 0 ? GetBeforeFirst() : first + index;
    }

    // Null when the array is empty.
    virtual T* GetFirst() const = 0;
    virtual T* GetEnd() const
    {
        T* first = GetFirst();
        return first ? first + GetCount() : nullptr;
    }
    virtual T* GetLast() const
    {
        T* first = GetFirst();
        return first ? first + (GetCount() - 1) : nullptr;
    }
    virtual T* GetBeforeFirst() const
    {
        T* first = GetFirst();
        // One before the first element is only compared, never read.
        return first ? reinterpret_cast<T*>(reinterpret_cast<uintptr_t>(first) - sizeof(T)) : nullptr;
    }

    // Unchecked for buffer-backed arrays; Array<T> throws past the count.
    T& operator[](uint32_t index) { return *GetItemPtr(index); }
    const T& operator[](uint32_t index) const { return *GetItemPtr(index); }
    bool IsEmpty() const { return GetCount() == 0; }
};

// Adds filling, inserting and removing. Operations return a non-negative value
// on success (which one each family documents) and E_INVALIDARG or E_FAIL on
// failure.
template <class T>
class IIterableModifiable : public IIterable<T>
{
public:
    using IIterable<T>::GetCount;
    using IIterable<T>::GetItemPtr;

    virtual TavoResult Clear() { return SetCount(0) == 0 ? S_OK : E_FAIL; }

    // index == count appends.
    virtual TavoResult InsertAt(uint32_t index, const T& item)
    {
        T copy = item;  // item may live in this array's storage, which may move
        const TavoResult r = InsertSpace(index, 1);
        if (r >= 0)
            *GetItemPtr(index) = std::move(copy);
        return r;
    }

    // Hands the element to the caller through out.
    virtual TavoResult RemoveItem(uint32_t index, T& out)
    {
        if (index >= GetCount())
            return E_INVALIDARG;
        out = *GetItemPtr(index);
        return RemoveRange(index, 1);
    }

    // Appends every element of other in its iteration order; E_FAIL, copying
    // nothing, when the storage cannot grow. Returns the new count.
    virtual TavoResult AppendAll(const IIterable<T>& other)
    {
        const uint32_t n = GetCount();
        const uint32_t m = other.GetCount();
        if (m == 0)
            return static_cast<TavoResult>(n);
        if (SetCount(n + m) != static_cast<TavoResult>(n + m))
            return E_FAIL;
        // other may be this array: it is walked only over its first m elements.
        auto it = other.Begin();
        for (uint32_t i = 0; i < m; ++i, ++it)
            *GetItemPtr(n + i) = *it;
        return static_cast<TavoResult>(n + m);
    }

    virtual TavoResult Add(const T& item) { return InsertAt(GetCount(), item); }

    virtual TavoResult RemoveLast(T& out) { return RemoveItem(GetCount() - 1, out); }

    virtual TavoResult Assign(const IIterable<T>& other)
    {
        if (&other == this)
            return static_cast<TavoResult>(GetCount());
        SetCount(0);
        return AppendAll(other);
    }

    virtual TavoResult SetCount(uint32_t count) = 0;
    // Opens count slots before index; index == count appends.
    virtual TavoResult InsertSpace(uint32_t index, uint32_t count) = 0;
    virtual TavoResult RemoveRange(uint32_t index, uint32_t count) = 0;
};

// A sequence whose elements are contiguous in memory.
template <class T>
class IArray : public IIterableModifiable<T>
{
public:
    using IIterable<T>::GetCount;

    virtual const T* GetData() const { return const_cast<IArray*>(this)->GetData(); }
    // Null when empty.
    virtual T* GetData() = 0;

    // Appends every element of another array, writing straight into this
    // array's storage. Returns the new count, or E_FAIL when the storage
    // cannot grow.
    virtual TavoResult AppendArray(const IArray<T>& other)
    {
        const uint32_t n = GetCount();
        const uint32_t m = other.GetCount();
        if (m == 0)
            return static_cast<TavoResult>(n);
        if (this->SetCount(n + m) != static_cast<TavoResult>(n + m))
            return E_FAIL;
        // Read after growing: other may be this array, whose storage moved.
        const T* src = other.GetData();
        T* dst = GetData() + n;
        for (uint32_t i = 0; i < m; ++i)
            dst[i] = src[i];
        return static_cast<TavoResult>(n + m);
    }

    T* GetFirst() const override { return GetCount() ? const_cast<T*>(GetData()) : nullptr; }

    // Lets range-for walk the elements.
    T* begin() { return GetCount() ? GetData() : nullptr; }
    T* end() { return GetCount() ? GetData() + GetCount() : nullptr; }
    const T* begin() const { return GetCount() ? GetData() : nullptr; }
    const T* end() const { return GetCount() ? GetData() + GetCount() : nullptr; }
};

}  // namespace Tavo
