#include "Utilities/Geometry/Rect.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/Pair.h"
#include "Utilities/Storage/SimpleFixedArray.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

template <class T>
std::vector<T> Items(const IArray<T>& a)
{
    return {a.begin(), a.end()};
}

template <class T>
std::vector<T> Walk(const IIterable<T>& a)
{
    std::vector<T> out;
    for (auto it = a.Begin(); it != a.End(); ++it)
        out.push_back(*it);
    return out;
}

template <class T>
std::vector<T> WalkBack(const IIterable<T>& a)
{
    std::vector<T> out;
    for (auto it = a.ReverseBegin(); it != a.ReverseEnd(); ++it)
        out.push_back(*it);
    return out;
}

}  // namespace

TEST(Array, EmptyArrayHasNoPositionsAndWalksNothing)
{
    Array<int> a;
    EXPECT_EQ(a.GetFirst(), nullptr);
    EXPECT_EQ(a.GetEnd(), nullptr);
    EXPECT_EQ(a.GetLast(), nullptr);
    EXPECT_EQ(a.GetBeforeFirst(), nullptr);
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_TRUE(Walk<int>(a).empty());
    EXPECT_TRUE(WalkBack<int>(a).empty());
    EXPECT_EQ(a.GetMaxCount(), 0x7FFFFFFFu);
}

TEST(Array, WalksBothWaysAndAdvanceStopsAtTheEnds)
{
    Array<int> a{1, 2, 3, 4};
    EXPECT_EQ(Walk<int>(a), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(WalkBack<int>(a), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(a.Advance(a.GetFirst(), 1000000), a.GetEnd());
    EXPECT_EQ(a.Advance(a.GetLast(), -1000000), a.GetBeforeFirst());
    EXPECT_EQ(a.Advance(a.GetFirst(), 2), a.GetFirst() + 2);
    EXPECT_EQ(a.Advance(a.GetBeforeFirst(), 1), a.GetFirst());
}

TEST(Array, AccessPastTheCountThrowsTheVectorError)
{
    Array<int> a{7};
    EXPECT_EQ(a[0], 7);
    try
    {
        (void)a[1];
        FAIL() << "no throw";
    }
    catch (const std::out_of_range& e)
    {
        EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
    }
    int out = 0;
    EXPECT_THROW(a.RemoveItem(1, out), std::out_of_range);
    EXPECT_EQ(a.GetCount(), 1u);
    Array<int> empty;
    EXPECT_THROW(empty.RemoveLast(out), std::out_of_range);
}

TEST(Array, InsertRemoveAndCountResults)
{
    Array<std::string> a;
    EXPECT_EQ(a.Add("b"), 0);
    EXPECT_EQ(a.InsertAt(0, "a"), 0);  // the index, not the count
    EXPECT_EQ(a.InsertAt(2, "d"), 2);
    EXPECT_EQ(a.InsertAt(4, "x"), E_INVALIDARG);
    EXPECT_EQ(a.InsertSpace(2, 1), 4);
    a[2] = "c";
    EXPECT_EQ(Items<std::string>(a), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(a.InsertSpace(5, 1), E_INVALIDARG);

    // An empty range at the end is refused, unlike the buffer-backed arrays.
    EXPECT_EQ(a.RemoveRange(4, 0), E_INVALIDARG);
    EXPECT_EQ(a.RemoveRange(3, 2), E_INVALIDARG);
    EXPECT_EQ(a.RemoveRange(1, 2), 2);
    std::string out;
    EXPECT_EQ(a.RemoveItem(0, out), 1);
    EXPECT_EQ(out, "a");
    EXPECT_EQ(a.RemoveLast(out), 0);
    EXPECT_EQ(out, "d");

    // Growing value-initialises.
    Array<RectT<int32_t>> rects;
    EXPECT_EQ(rects.SetCount(2), 2);
    EXPECT_EQ(rects[1], RectT<int32_t>());
    EXPECT_EQ(rects.Clear(), S_OK);
    EXPECT_EQ(rects.GetData(), nullptr);

    // Inserting an element of the array itself survives the storage moving.
    Array<std::string> self{"first element long enough to live on the heap"};
    for (int i = 0; i < 10; ++i)
        self.InsertAt(0, self[self.GetCount() - 1]);
    EXPECT_EQ(self[0], self[10]);
}

TEST(Array, SwapAppendAndAssign)
{
    Array<int> a{1, 2, 3};
    EXPECT_EQ(a.Swap(0, 2), S_OK);
    EXPECT_EQ(a.Swap(0, 3), E_INVALIDARG);
    EXPECT_EQ(Items<int>(a), (std::vector<int>{3, 2, 1}));

    Array<int> b{9};
    EXPECT_EQ(b.AppendAll(a), 4);
    EXPECT_EQ(b.AppendArray(Array<int>()), 4);
    EXPECT_EQ(Items<int>(b), (std::vector<int>{9, 3, 2, 1}));
    EXPECT_EQ(b.AppendArray(b), 8);
    EXPECT_EQ(Items<int>(b), (std::vector<int>{9, 3, 2, 1, 9, 3, 2, 1}));
    EXPECT_EQ(b.Assign(a), 3);
    EXPECT_EQ(b, a);
    EXPECT_EQ(b.Assign(b), 3);
    EXPECT_EQ(b, a);

    Array<Pair<std::string, std::string>> pairs;
    pairs.Add({"Ctrl+O", "NID_OPEN"});
    Array<Pair<std::string, std::string>> copy;
    copy.AppendAll(pairs);
    EXPECT_EQ(copy[0].first, "Ctrl+O");
    EXPECT_EQ(copy[0].second, "NID_OPEN");
}

TEST(SimpleFixedArray, HoldsAtMostNElementsInline)
{
    SimpleFixedArray<signed char, 6> a{
        static_cast<signed char>(0xF0), 0x7E, 0x7F, 0x06, 0x01, static_cast<signed char>(0xF7)};
    EXPECT_EQ(a.GetCount(), 6u);
    EXPECT_EQ(a.GetMaxCount(), 6u);
    EXPECT_EQ(a[5], static_cast<signed char>(0xF7));
    EXPECT_EQ(a.SetCount(9), 6);
    EXPECT_EQ(a.Add(1), E_FAIL);  // nothing is dropped silently
    EXPECT_EQ(a.GetCount(), 6u);

    EXPECT_EQ(a.SetCount(0), 0);
    EXPECT_NE(a.GetData(), nullptr);
    EXPECT_EQ(a.GetFirst(), nullptr);

    EXPECT_EQ(a.Add(3), 1);
    EXPECT_EQ(a.InsertAt(0, 1), 2);
    EXPECT_EQ(a.InsertSpace(1, 1), 3);
    EXPECT_EQ(Items<signed char>(a), (std::vector<signed char>{1, 0, 3}));
    EXPECT_EQ(a.RemoveRange(3, 0), 3);
    EXPECT_EQ(a.RemoveRange(2, 2), E_INVALIDARG);
    signed char out = 0;
    EXPECT_EQ(a.RemoveItem(3, out), E_INVALIDARG);
    EXPECT_EQ(a.RemoveItem(0, out), 2);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(Items<signed char>(a), (std::vector<signed char>{0, 3}));
}
