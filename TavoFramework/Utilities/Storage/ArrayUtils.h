#pragma once

#include "ObjectBase/Exception.h"
#include "Utilities/Storage/IArray.h"

#include <algorithm>
#include <cstdint>

namespace Tavo::ArrayUtils {

// Sorts elements start .. start + count - 1 of an array in place with an
// unstable sort; less is a less-than on two elements. Elements are moved, so
// pointer arrays keep their reference counts. Fewer than two elements are left
// alone; a range past the end throws and changes nothing.
template <class A, class Less>
void Sort(A& array, uint32_t start, uint32_t count, Less less)
{
    if (count < 2)
        return;
    if (static_cast<uint64_t>(start) + count > array.GetCount())
        TAVO_THROW(std::out_of_range, "", "Tavo::ArrayUtils::Sort", "utilities\\Storage/ArrayUtils", 254);
    auto* first = array.GetData() + start;
    std::sort(first, first + count, less);
}

// Fills indices with start .. start + count - 1 and orders them by the
// elements of data they name; less compares two indices (it holds data
// itself). Equal elements keep their indices ascending. data is unchanged.
template <class A, class Less>
void SortIndecies(IArray<uint32_t>& indices, const A& data, uint32_t start, uint32_t count, Less less)
{
    if (static_cast<uint64_t>(start) + count > data.GetCount())
        TAVO_THROW(std::out_of_range, "", "Tavo::ArrayUtils::SortIndecies", "utilities\\Storage/ArrayUtils",
                   266);
    if (indices.SetCount(count) != static_cast<TavoResult>(count))
        return;
    uint32_t* slots = indices.GetData();
    for (uint32_t i = 0; i < count; ++i)
        slots[i] = start + i;
    if (count >= 2)
        std::stable_sort(slots, slots + count, less);
}

}  // namespace Tavo::ArrayUtils
