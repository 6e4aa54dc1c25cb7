#include "ObjectBase/Exception.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/ArrayBuffer.h"
#include "Utilities/Storage/ArrayUtils.h"
#include "Utilities/Storage/Map.h"
#include "Utilities/Storage/SimpleFixedArray.h"
#include "Utilities/Storage/StringT.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <functional>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

template <class T>
std::vector<T> Items(const IArray<T>& a)
{
    return {a.begin(), a.end()};
}

}  // namespace

// The families answer alike requests differently: Array returns the index and
// refuses an empty range at the end, the buffer-backed ones return the count.
TEST(Array, ResultsOfEachFamily)
{
    Array<std::string> a;
    EXPECT_EQ(a.Add("b"), 0);
    EXPECT_EQ(a.InsertAt(0, "a"), 0);
    EXPECT_EQ(a.InsertAt(3, "x"), E_INVALIDARG);
    EXPECT_EQ(a.InsertSpace(2, 2), 4);
    EXPECT_EQ(a.RemoveRange(4, 0), E_INVALIDARG);
    EXPECT_EQ(a.RemoveRange(2, 2), 2);
    EXPECT_EQ(a.Swap(0, 2), E_INVALIDARG);
    EXPECT_EQ(Items<std::string>(a), (std::vector<std::string>{"a", "b"}));

    ArrayBuffer<uint32_t> b;
    EXPECT_EQ(b.Add(1), 1);
    EXPECT_EQ(b.InsertAt(0, 0), 2);
    EXPECT_EQ(b.InsertAt(3, 5), E_INVALIDARG);
    EXPECT_EQ(b.RemoveRange(2, 0), 2);
    uint32_t out = 9;
    EXPECT_EQ(b.RemoveItem(5, out), E_INVALIDARG);
    EXPECT_EQ(out, 9u);
    EXPECT_EQ(b.RemoveLast(out), 1);

    // A full fixed array refuses instead of dropping.
    SimpleFixedArray<signed char, 3> f{1, 2, 3};
    EXPECT_EQ(f.SetCount(9), 3);
    EXPECT_EQ(f.Add(4), E_FAIL);
    signed char c = 0;
    EXPECT_EQ(f.RemoveItem(0, c), 2);
    EXPECT_EQ(f.InsertAt(2, 7), 3);
    EXPECT_EQ(Items<signed char>(f), (std::vector<signed char>{2, 3, 7}));
}

TEST(Array, AccessPastTheCountThrowsTheVectorError)
{
    Array<int> a{7};
    EXPECT_EQ(ThrownText<std::out_of_range>([&] { (void)a[1]; }), "invalid vector<T> subscript");
    int out = 0;
    EXPECT_THROW(a.RemoveItem(1, out), std::out_of_range);
    EXPECT_THROW(Array<int>().RemoveLast(out), std::out_of_range);
    EXPECT_EQ(a.Advance(a.GetFirst(), 1000000), a.GetEnd());
    EXPECT_EQ(a.Advance(a.GetLast(), -1000000), a.GetBeforeFirst());
}

// Inserting, appending or assigning an array's own element survives the
// storage moving underneath.
TEST(Array, OwnElementsAsArguments)
{
    Array<std::string> self{"first element long enough to live on the heap"};
    for (int i = 0; i < 10; ++i)
        self.InsertAt(0, self[self.GetCount() - 1]);
    EXPECT_EQ(self[0], self[10]);

    ArrayBuffer<double> d;
    d.Add(2.5);
    for (int i = 0; i < 20; ++i)
        d.InsertAt(0, d[d.GetCount() - 1]);
    EXPECT_EQ(d[0], 2.5);

    Array<int> b{9, 3};
    EXPECT_EQ(b.AppendArray(b), 4);
    EXPECT_EQ(Items<int>(b), (std::vector<int>{9, 3, 9, 3}));
    ArrayBuffer<uint32_t> u;
    u.Add(7);
    EXPECT_EQ(u.AppendArray(u), 2);
    EXPECT_EQ(Items<uint32_t>(u), (std::vector<uint32_t>{7, 7}));
}

TEST(ArrayBuffer, RegrownElementsAreZeroAcrossTheInlineLimit)
{
    // Shrinking and growing within the keep bound shows zeros, not old values.
    ArrayBuffer<uint32_t, 4, 4> reuse;
    reuse.SetCount(4);
    reuse[3] = 77;
    reuse.SetCount(2);
    reuse.SetCount(4);
    EXPECT_EQ(reuse[3], 0u);
    reuse[3] = 77;
    EXPECT_EQ(reuse.Fill(0, 1, -1), S_OK);  // zero from element 1 to the end
    EXPECT_EQ(reuse[3], 0u);

    ArrayBufferM<signed char, 4, 1, 0> bytes;
    for (signed char c = 1; c <= 4; ++c)
        bytes.Add(c);
    EXPECT_TRUE(bytes.IsInline());
    EXPECT_EQ(bytes.InsertAt(0, 0), 5);
    EXPECT_FALSE(bytes.IsInline());
    EXPECT_EQ(bytes.RemoveRange(0, 2), 3);
    EXPECT_TRUE(bytes.IsInline());
    ArrayBufferM<signed char, 4, 1, 0> copy(bytes);
    EXPECT_EQ(copy.AppendArray(bytes), 6);
    copy.SetCount(8);
    EXPECT_EQ(copy[7], 0);
}

TEST(Map, ContainsOnlyTheExactKey)
{
    Map<WString, int> table;
    table[WString(u"LABEL")] = 1;
    table[WString(u"LABELS")] = 2;
    for (const char16_t* absent : {u"LABE", u"label", u"ZZZ"})
        EXPECT_FALSE(table.Contains(absent));
    EXPECT_TRUE(table.Contains(u"LABEL"));
}

TEST(ArrayUtils, SortsOnlyTheRangeAndRefusesOneBeyondTheEnd)
{
    auto less = [](int x, int y) { return x < y; };
    Array<int> a{9, 5, 3, 8, 1, 0};
    ArrayUtils::Sort(a, 1, 4, less);
    EXPECT_EQ(Items<int>(a), (std::vector<int>{9, 1, 3, 5, 8, 0}));
    ArrayUtils::Sort(a, 100, 1, less);  // fewer than two is no sort, wherever it starts
    for (uint32_t start : {5u, 0xFFFFFFFFu})
        EXPECT_EQ(ThrownText<std::out_of_range>([&] { ArrayUtils::Sort(a, start, 2, less); }),
                  "Out of Range : Tavo::ArrayUtils::Sort : utilities\\Storage/ArrayUtils : Line 254");
    EXPECT_EQ(Items<int>(a), (std::vector<int>{9, 1, 3, 5, 8, 0}));
}

TEST(ArrayUtils, SortIndeciesKeepsTiesAscending)
{
    // Many equal keys: an unstable sort would scramble them.
    Array<int> data;
    for (int i = 0; i < 100; ++i)
        data.Add(i % 3 == 0 ? 1 : 0);
    Array<uint32_t> indices{77};
    ArrayUtils::SortIndecies(indices, data, 0, 100,
                             [&](uint32_t x, uint32_t y) { return data[x] < data[y]; });
    ASSERT_EQ(indices.GetCount(), 100u);
    for (uint32_t i = 1; i < 100; ++i) {
        const uint32_t a = indices[i - 1], b = indices[i];
        EXPECT_TRUE(data[a] < data[b] || (data[a] == data[b] && a < b)) << i;
    }
    EXPECT_EQ(ThrownText<std::out_of_range>([&] {
                  ArrayUtils::SortIndecies(indices, data, 99, 2, [](uint32_t, uint32_t) { return false; });
              }),
              "Out of Range : Tavo::ArrayUtils::SortIndecies : utilities\\Storage/ArrayUtils : Line 266");
}
