#include "Utilities/Geometry/RectRegion.h"
#include "Utilities/Storage/Array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <thread>
#include <vector>

using namespace Tavo;

namespace {

std::vector<RegionRect> Rects(const RectRegion& region)
{
    return {region.begin(), region.end()};
}

std::vector<RegionRect> Sorted(std::vector<RegionRect> v)
{
    std::sort(v.begin(), v.end(), [](const RegionRect& a, const RegionRect& b) {
        return std::tie(a.top, a.left, a.bottom, a.right) < std::tie(b.top, b.left, b.bottom, b.right);
    });
    return v;
}

// A pixel model of a region on a small grid.
constexpr int kGrid = 48;
using Cover = std::array<std::array<int, kGrid>, kGrid>;

// Adds 1 to (value < 0) or sets to value every pixel of r.
void Fill(Cover& c, const RegionRect& r, int value)
{
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            c[y][x] = value < 0 ? c[y][x] + 1 : value;
}

Cover Paint(const RectRegion& region)
{
    Cover c{};
    for (const RegionRect& r : region)
        Fill(c, r, -1);
    return c;
}

}  // namespace

TEST(RectRegion, AddedRectStaysWholeAndOlderOnesGiveWay)
{
    RectRegion region;
    region.AddRect(0, 0, 10, 10);
    region.AddRect(5, 5, 15, 15);
    EXPECT_EQ(Sorted(Rects(region)), Sorted({{5, 5, 15, 15}, {0, 0, 10, 5}, {0, 5, 5, 10}}));
    RegionRect bounds;
    ASSERT_TRUE(region.GetBounds(bounds));
    EXPECT_EQ(bounds, (RegionRect{0, 0, 15, 15}));

    region.AddRect(3, 3, 3, 8);  // zero width
    region.AddRect(3, 8, 9, 8);  // zero height
    EXPECT_EQ(region.GetRectCount(), 3u);
}

// Area arithmetic as such is checked against the pixel model below; these
// are the edges it does not reach.
TEST(RectRegion, TouchingEdgesAndRegionsWithThemselves)
{
    RectRegion region;
    region.AddRect(0, 0, 10, 10);
    region.SubtractRect({10, 0, 20, 10});  // touches the right edge
    region.SubtractRect({0, -5, 10, 0});   // touches the top edge
    EXPECT_EQ(Rects(region), (std::vector<RegionRect>{{0, 0, 10, 10}}));
    RectRegion removed;
    region.SubtractRect({2, 2, 8, 8}, &removed);
    EXPECT_EQ(Rects(removed), (std::vector<RegionRect>{{2, 2, 8, 8}}));
    EXPECT_EQ(region.GetRectCount(), 4u);

    region.IntersectWith(region);
    EXPECT_EQ(region.GetRectCount(), 4u);
    region.Subtract(region);
    EXPECT_TRUE(region.IsEmpty());
    RegionRect bounds{1, 2, 3, 4};
    EXPECT_FALSE(region.GetBounds(bounds));
    EXPECT_EQ(bounds, RegionRect{});
}

TEST(RectRegion, FloatingIntersectionClampsRoundsAndRejectsSlivers)
{
    RectRegion region;
    region.AddRect(0, 0, 10, 10);
    EXPECT_FALSE(region.IntersectsRect(RectT<double>(-5, -5, 4, 4), {0, 0}));
    EXPECT_TRUE(region.IntersectsRect(RectT<double>(20, 20, 2, 2), {-15, -15}));
    // 9.6 rounds up to 10, which only touches.
    EXPECT_FALSE(region.IntersectsRect(RectT<double>(9.6, 0, 5, 5), {0, 0}));
    EXPECT_TRUE(region.IntersectsRect(RectT<double>(9.4, 0, 5, 5), {0, 0}));
    EXPECT_FALSE(region.IntersectsRect(RectT<double>(5, 5, 1e-17, 3), {0, 0}));
    EXPECT_FALSE(region.IntersectsRect(RectT<double>(std::nan(""), 0, 5, 5), {0, 0}));
    EXPECT_FALSE(region.IntersectsRect(RegionRect{10, 0, 11, 11}));
}

TEST(RectRegion, NormalizeMergesIntoSortedBands)
{
    // Listed (0-2), (3-4), (2-3): joining the last two widens a node to the
    // left until it touches the first, which must be joined as well.
    RectRegion widened;
    widened.AddRect(2, 0, 3, 1);
    widened.AddRect(3, 0, 4, 1);
    widened.AddRect(0, 0, 2, 1);
    widened.Normalize();
    EXPECT_EQ(Rects(widened), (std::vector<RegionRect>{{0, 0, 4, 1}}));

    // An L shape: the tall rectangle is split at the short one's bottom.
    RectRegion ell;
    ell.AddRect(0, 0, 10, 10);
    ell.AddRect(10, 0, 20, 5);
    ell.Normalize();
    EXPECT_EQ(Rects(ell), (std::vector<RegionRect>{{0, 0, 20, 5}, {0, 5, 10, 10}}));
}

// Random adds, subtractions, intersections and normalisations checked against
// a pixel model: the covered area, no overlap, and after Normalize no two
// rectangles that could be joined.
TEST(RectRegion, RandomOperationsMatchPixelModel)
{
    std::mt19937 rng(1234);
    auto randomRect = [&] {
        std::uniform_int_distribution<int> pos(0, kGrid - 1);
        int l = pos(rng), r = pos(rng), t = pos(rng), b = pos(rng);
        return RegionRect{std::min(l, r), std::min(t, b), std::max(l, r) + 1, std::max(t, b) + 1};
    };
    for (int round = 0; round < 200; ++round) {
        RectRegion region;
        Cover model{};
        for (int step = 0; step < 12; ++step) {
            const RegionRect r = randomRect();
            switch (rng() % 4) {
            case 0:
            case 1:
                region.AddRect(r);
                Fill(model, r, 1);
                break;
            case 2:
                region.SubtractRect(r);
                Fill(model, r, 0);
                break;
            default: {
                RectRegion other;
                other.AddRect(r);
                other.AddRect(randomRect());
                const Cover otherCover = Paint(other);
                region.IntersectWith(other);
                for (int y = 0; y < kGrid; ++y)
                    for (int x = 0; x < kGrid; ++x)
                        model[y][x] &= otherCover[y][x] != 0;
                break;
            }
            }
            if (rng() % 3 == 0) {
                region.Normalize();
                const std::vector<RegionRect> rects = Rects(region);
                for (const RegionRect& a : rects)
                    for (const RegionRect& b : rects)
                        EXPECT_FALSE((a.top == b.top && a.bottom == b.bottom && a.right == b.left) ||
                                     (a.left == b.left && a.right == b.right && a.bottom == b.top))
                            << "unmerged neighbours, round " << round;
            }
            for (const RegionRect& rect : region)
                ASSERT_FALSE(rect.IsEmpty());
            ASSERT_EQ(Paint(region), model) << "round " << round << " step " << step;
        }
    }
}

TEST(RectRegion, AppendToItselfAndSaturatingOffset)
{
    RectRegion a;
    a.AddRect(0, 0, 4, 4);
    RectRegion b(a);
    b.AddRect(10, 10, 12, 12);
    b.Append(b);  // keeps overlap
    EXPECT_EQ(b.GetRectCount(), 4u);

    Array<RectT<int32_t>> list{{1, 1, 1, 1}};
    a.CopyToArray(list);
    EXPECT_EQ(list, (Array<RectT<int32_t>>{{0, 0, 4, 4}}));

    // A rectangle pushed flat against the int32_t limit leaves the region.
    RectRegion edge;
    edge.AddRect(INT32_MAX - 4, 0, INT32_MAX - 2, 2);
    edge.AddRect(0, 0, 2, 2);
    edge.Offset(10, -5);
    EXPECT_EQ(Rects(edge), (std::vector<RegionRect>{{10, -5, 12, -3}}));
}

TEST(RectRegionNodePool, HeapServesOverflowAndTakesItBack)
{
    RectRegionNodePool pool;
    std::vector<RectRegionNode*> nodes;
    for (uint32_t i = 0; i < RectRegionNodePool::kBlockEntries; ++i) {
        nodes.push_back(pool.Take());
        ASSERT_TRUE(pool.IsInBlock(nodes.back()));
    }

    RectRegionNode* extra = pool.Take();
    EXPECT_FALSE(pool.IsInBlock(extra));

    // Even with room in the ring, a heap node goes back to the heap; taken
    // nodes come back zeroed.
    pool.Return(extra);
    nodes.front()->left = 7;
    pool.Return(nodes.front());
    nodes.front() = pool.Take();
    EXPECT_TRUE(pool.IsInBlock(nodes.front()));
    EXPECT_EQ(static_cast<RegionRect&>(*nodes.front()), RegionRect{});

    for (RectRegionNode* n : nodes)
        pool.Return(n);
    EXPECT_EQ(pool.GetLiveCount(), 0u);
    EXPECT_EQ(pool.GetFreeCount(), RectRegionNodePool::kBlockEntries);
}

TEST(RectRegionNodePool, RegionsOnSeveralThreadsShareThePool)
{
    const uint32_t before = RectRegionNodePool::Get().GetLiveCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                RectRegion region;
                for (int k = 0; k < 20; ++k)
                    region.AddRect(k * 3 + t, k, k * 3 + t + 5, k + 7);
                region.Normalize();
                RectRegion copy(region);
                copy.IntersectWith(region);
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(RectRegionNodePool::Get().GetLiveCount(), before);
}
