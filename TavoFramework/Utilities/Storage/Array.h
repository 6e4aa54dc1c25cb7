#pragma once

#include "Utilities/Storage/IArray.h"

#include <initializer_list>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace Tavo {

// A growable array of records with members of their own (strings,
// rectangles, key codes, pairs), copied with their own copy operations.
// Access past the count throws std::out_of_range.
template <class T>
class Array : public IArray<T>
{
    static_assert(!std::is_same_v<T, bool>, "a vector of bool has no element storage");

public:
    Array() = default;
    Array(std::initializer_list<T> items) : mItems(items) {}
    Array(const Array&) = default;
    Array(Array&&) noexcept = default;
    Array& operator=(const Array&) = default;
    Array& operator=(Array&&) noexcept = default;
    ~Array() override = default;

    uint32_t GetCount() const override { return static_cast<uint32_t>(mItems.size()); }

    T* GetItemPtr(uint32_t index) override { return &At(index); }
    const T* GetItemPtr(uint32_t index) const override { return &const_cast<Array*>(this)->At(index); }

    TavoResult Swap(uint32_t i, uint32_t j) override
    {
        if (i >= GetCount() || j >= GetCount())
            return E_INVALIDARG;
        std::swap(mItems[i], mItems[j]);
        return S_OK;
    }

    T* GetData() override { return mItems.empty() ? nullptr : mItems.data(); }
    const T* GetData() const override { return mItems.empty() ? nullptr : mItems.data(); }

    // New elements are value-initialised. Returns the new count.
    TavoResult SetCount(uint32_t count) override
    {
        mItems.resize(count);
        return static_cast<TavoResult>(count);
    }

    // Returns the index.
    TavoResult InsertAt(uint32_t index, const T& item) override
    {
        if (index > GetCount())
            return E_INVALIDARG;
        mItems.insert(mItems.begin() + index, item);
        return static_cast<TavoResult>(index);
    }

    // Returns the new count.
    TavoResult InsertSpace(uint32_t index, uint32_t count) override
    {
        if (index > GetCount())
            return E_INVALIDARG;
        mItems.insert(mItems.begin() + index, count, T());
        return static_cast<TavoResult>(GetCount());
    }

    // Also refuses an empty range at the end. Returns the new count.
    TavoResult RemoveRange(uint32_t index, uint32_t count) override
    {
        const uint32_t n = GetCount();
        if (index >= n || static_cast<uint64_t>(index) + count > n)
            return E_INVALIDARG;
        mItems.erase(mItems.begin() + index, mItems.begin() + index + count);
        return static_cast<TavoResult>(GetCount());
    }

    // Throws past the count, as any access does.
    TavoResult RemoveItem(uint32_t index, T& out) override
    {
        out = At(index);
        return RemoveRange(index, 1);
    }

    // Bounds-tested access.
    T& At(uint32_t index)
    {
        if (index >= mItems.size())
            throw std::out_of_range("invalid vector<T> subscript");
        return mItems[index];
    }
    const T& At(uint32_t index) const { return const_cast<Array*>(this)->At(index); }

    friend bool operator==(const Array& a, const Array& b) { return a.mItems == b.mItems; }

private:
    std::vector<T> mItems;
};

}  // namespace Tavo
