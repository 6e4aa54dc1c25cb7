#include "ObjectBase/Exception.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/ArrayUtils.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

std::vector<int> Items(const Array<int>& a)
{
    return {a.begin(), a.end()};
}

std::string ThrownText(const std::function<void()>& f)
{
    try
    {
        f();
    }
    catch (const Exception<std::out_of_range>& e)
    {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(ArrayUtilsSort, SortsOnlyTheRange)
{
    Array<int> a{9, 5, 3, 8, 1, 0};
    ArrayUtils::Sort(a, 1, 4, [](int x, int y) { return x < y; });
    EXPECT_EQ(Items(a), (std::vector<int>{9, 1, 3, 5, 8, 0}));
    ArrayUtils::Sort(a, 0, 6, [](int x, int y) { return x > y; });
    EXPECT_EQ(Items(a), (std::vector<int>{9, 8, 5, 3, 1, 0}));
}

TEST(ArrayUtilsSort, RangePastTheEndThrowsAndChangesNothing)
{
    Array<int> a{3, 2, 1};
    auto less = [](int x, int y) { return x < y; };
    // Fewer than two elements is no sort at all, wherever it starts.
    ArrayUtils::Sort(a, 10, 1, less);
    ArrayUtils::Sort(a, 100, 0, less);
    EXPECT_EQ(ThrownText([&] { ArrayUtils::Sort(a, 2, 2, less); }),
              "Out of Range : Tavo::ArrayUtils::Sort : utilities\\Storage/ArrayUtils : Line 254");
    EXPECT_EQ(ThrownText([&] { ArrayUtils::Sort(a, 0xFFFFFFFFu, 2, less); }),
              "Out of Range : Tavo::ArrayUtils::Sort : utilities\\Storage/ArrayUtils : Line 254");
    EXPECT_EQ(Items(a), (std::vector<int>{3, 2, 1}));
}

TEST(ArrayUtilsSortIndecies, OrdersIndicesAndKeepsTiesAscending)
{
    // Many equal keys: an unstable sort would scramble them.
    Array<int> data;
    for (int i = 0; i < 100; ++i)
        data.Add(i % 3 == 0 ? 1 : 0);
    Array<uint32_t> indices;
    indices.Add(77);  // replaced
    ArrayUtils::SortIndecies(indices, data, 0, 100,
                             [&](uint32_t x, uint32_t y) { return data[x] < data[y]; });
    ASSERT_EQ(indices.GetCount(), 100u);
    for (uint32_t i = 1; i < 100; ++i)
    {
        const uint32_t a = indices[i - 1], b = indices[i];
        EXPECT_TRUE(data[a] < data[b] || (data[a] == data[b] && a < b)) << i;
    }
    EXPECT_EQ(Items(data)[0], 1);  // data is untouched

    ArrayUtils::SortIndecies(indices, data, 98, 2, [&](uint32_t x, uint32_t y) { return data[x] > data[y]; });
    EXPECT_EQ(indices.GetCount(), 2u);
    EXPECT_EQ(indices[0], 99u);  // 99 % 3 == 0 sorts first
    EXPECT_EQ(indices[1], 98u);

    EXPECT_EQ(ThrownText([&] {
                  ArrayUtils::SortIndecies(indices, data, 99, 2, [](uint32_t, uint32_t) { return false; });
              }),
              "Out of Range : Tavo::ArrayUtils::SortIndecies : utilities\\Storage/ArrayUtils : Line 266");
}
