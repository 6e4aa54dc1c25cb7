#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/ArrayBuffer.h"
#include "Utilities/Storage/Map.h"
#include "Utilities/Storage/StringT.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Tavo;

namespace {

template <class T>
std::vector<T> Items(const IArray<T>& a)
{
    return {a.begin(), a.end()};
}

}  // namespace

TEST(ArrayBuffer, RangeOperationsAndResults)
{
    ArrayBuffer<uint32_t> a;
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetFirst(), nullptr);
    EXPECT_EQ(a.Add(1), 1);  // the new count, not the index
    EXPECT_EQ(a.InsertAt(0, 0), 2);
    EXPECT_EQ(a.InsertAt(3, 5), E_INVALIDARG);
    const uint32_t n = a.GetCount();
    EXPECT_EQ(a.InsertSpace(n, 3), static_cast<TavoResult>(n + 3));
    EXPECT_EQ(Items<uint32_t>(a), (std::vector<uint32_t>{0, 1, 0, 0, 0}));
    EXPECT_EQ(a.InsertSpace(6, 1), E_INVALIDARG);
    EXPECT_EQ(a.InsertSpace(1, 0), 5);
    a[4] = 4;
    EXPECT_EQ(a.InsertSpace(1, 2), 7);
    EXPECT_EQ(Items<uint32_t>(a), (std::vector<uint32_t>{0, 0, 0, 1, 0, 0, 4}));

    // An empty range at the end is accepted, unlike Array<T>.
    EXPECT_EQ(a.RemoveRange(7, 0), 7);
    EXPECT_EQ(a.RemoveRange(6, 2), E_INVALIDARG);
    EXPECT_EQ(a.RemoveRange(1, 2), 5);
    uint32_t out = 9;
    EXPECT_EQ(a.RemoveItem(5, out), E_INVALIDARG);
    EXPECT_EQ(out, 9u);
    EXPECT_EQ(a.RemoveItem(1, out), 4);
    EXPECT_EQ(out, 1u);
    EXPECT_EQ(a.RemoveLast(out), 3);
    EXPECT_EQ(out, 4u);

    // Inserting an element of the array itself survives the block moving.
    ArrayBuffer<double> d;
    d.Add(2.5);
    for (int i = 0; i < 20; ++i)
        d.InsertAt(0, d[d.GetCount() - 1]);
    EXPECT_EQ(d[0], 2.5);

    Array<uint32_t> fromVector{7, 8};
    EXPECT_EQ(a.AppendAll(fromVector), 5);
    EXPECT_EQ(a.AppendArray(a), 10);
    EXPECT_EQ(a.Assign(fromVector), 2);
    EXPECT_EQ(Items<uint32_t>(a), (std::vector<uint32_t>{7, 8}));
}

TEST(ArrayBuffer, GrowsInStepsAndZeroesNewElements)
{
    ArrayBuffer<bool> flags;
    flags.SetCount(3);
    flags[1] = true;
    EXPECT_EQ(flags.Fill(0, 1, -1), S_OK);  // zero from element 1 to the end
    EXPECT_FALSE(flags[1]);
    EXPECT_EQ(flags.Fill(0, 4, -1), E_INVALIDARG);

    ArrayBuffer<uint32_t, 4, 4> stepped;
    stepped.SetCount(1);
    EXPECT_EQ(stepped.GetCapacity(), 16u);
    stepped.SetCount(5);
    EXPECT_EQ(stepped.GetCapacity(), 32u);
    stepped.SetCount(4);  // four spare elements are within the slack
    EXPECT_EQ(stepped.GetCapacity(), 32u);
    stepped.SetCount(1);
    EXPECT_EQ(stepped.GetCapacity(), 16u);

    // Shrinking and growing again within the keep bound shows zeros, not the
    // old values.
    ArrayBuffer<uint32_t, 4, 4> reuse;
    reuse.SetCount(4);
    reuse[3] = 77;
    reuse.SetCount(2);
    reuse.SetCount(4);
    EXPECT_EQ(reuse[3], 0u);
}

TEST(ArrayBufferM, ArrayOperationsAcrossTheInlineLimit)
{
    ArrayBufferM<signed char, 4, 1, 0> bytes;
    EXPECT_EQ(bytes.GetData(), nullptr);
    EXPECT_NE(bytes.GetElements(), nullptr);
    for (signed char c = 1; c <= 4; ++c)
        bytes.Add(c);
    EXPECT_TRUE(bytes.IsInline());
    EXPECT_EQ(bytes.InsertAt(0, 0), 5);
    EXPECT_FALSE(bytes.IsInline());
    EXPECT_EQ(Items<signed char>(bytes), (std::vector<signed char>{0, 1, 2, 3, 4}));
    EXPECT_EQ(bytes.RemoveRange(0, 2), 3);
    EXPECT_TRUE(bytes.IsInline());
    EXPECT_EQ(Items<signed char>(bytes), (std::vector<signed char>{2, 3, 4}));

    ArrayBufferM<signed char, 4, 1, 0> copy(bytes);
    EXPECT_EQ(copy.AppendArray(bytes), 6);
    EXPECT_EQ(Items<signed char>(copy), (std::vector<signed char>{2, 3, 4, 2, 3, 4}));
}

TEST(Map, ContainsOnlyTheExactKey)
{
    Map<WString, int> table;
    table[WString(u"LABEL")] = 1;
    table[WString(u"LABELS")] = 2;
    table[WString(u"KNOB")] = 3;
    EXPECT_TRUE(table.Contains(u"LABEL"));
    EXPECT_FALSE(table.Contains(u"LABE"));
    EXPECT_FALSE(table.Contains(u"label"));
    EXPECT_FALSE(table.Contains(u"ZZZ"));
    EXPECT_FALSE((Map<WString, int>().Contains(u"LABEL")));
}
