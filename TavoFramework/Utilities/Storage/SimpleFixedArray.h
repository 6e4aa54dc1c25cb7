#pragma once

#include "Utilities/Storage/IArray.h"

#include <algorithm>
#include <initializer_list>
#include <type_traits>

namespace Tavo {

// At most N plain elements held inside the object; short byte messages need
// no heap block. The data pointer is the inline storage, never null.
template <class T, uint32_t N>
class SimpleFixedArray : public IArray<T>
{
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");

public:
    SimpleFixedArray() = default;
    SimpleFixedArray(std::initializer_list<T> items)
    {
        SetCount(static_cast<uint32_t>(items.size()));
        std::copy_n(items.begin(), mCount, mItems);
    }

    uint32_t GetCount() const override { return mCount; }
    uint32_t GetMaxCount() const override { return N; }

    T* GetItemPtr(uint32_t index) override { return mItems + index; }
    const T* GetItemPtr(uint32_t index) const override { return mItems + index; }
    T* GetData() override { return mItems; }
    const T* GetData() const override { return mItems; }

    // Clamped to N; new elements are zero. Returns the new count.
    TavoResult SetCount(uint32_t count) override
    {
        count = std::min(count, N);
        if (count > mCount)
            std::fill(mItems + mCount, mItems + count, T());
        mCount = count;
        return static_cast<TavoResult>(count);
    }

    // E_FAIL when the elements would not fit. Returns the new count.
    TavoResult InsertSpace(uint32_t index, uint32_t count) override
    {
        if (count == 0)
            return static_cast<TavoResult>(mCount);
        if (index > mCount)
            return E_INVALIDARG;
        if (count > N - mCount)
            return E_FAIL;
        std::copy_backward(mItems + index, mItems + mCount, mItems + mCount + count);
        std::fill(mItems + index, mItems + index + count, T());
        mCount += count;
        return static_cast<TavoResult>(mCount);
    }

    // Returns the new count.
    TavoResult RemoveRange(uint32_t index, uint32_t count) override
    {
        if (count == 0)
            return static_cast<TavoResult>(mCount);
        if (index > mCount || count > mCount - index)
            return E_INVALIDARG;
        std::copy(mItems + index + count, mItems + mCount, mItems + index);
        mCount -= count;
        return static_cast<TavoResult>(mCount);
    }

private:
    uint32_t mCount = 0;
    T mItems[N] = {};
};

}  // namespace Tavo
