#include "Utilities/Geometry/Rect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Tavo;

TEST(RectConversion, IntegerRuleRoundsHalfAwayFromZeroAndSaturates)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        double in;
        int32_t out;
    } cases[] = {{2.5, 3},
                 {-2.5, -3},
                 {2.49, 2},
                 {-2.49, -2},
                 {0.0, 0},
                 {-0.4, 0},
                 {1e10, INT32_MAX},
                 {-1e10, INT32_MIN},
                 {nan, INT32_MIN},
                 {2147483647.4, INT32_MAX},
                 {-2147483648.4, INT32_MIN},
                 {-2147483647.6, INT32_MIN}};
    for (const Case& c : cases)
        EXPECT_EQ(RoundToInt32(c.in), c.out) << c.in;
}

TEST(RectConversion, PointsAndRectsConvertEachValueAndClamp)
{
    EXPECT_EQ(ToIntPoint(PointT<double>(2.5, -2.5)), PointT<int32_t>(3, -3));
    EXPECT_EQ(ToIntPoint(PointT<double>(1e10, std::nan(""))), PointT<int32_t>(INT32_MAX, INT32_MIN));
    EXPECT_EQ(ToIntPoint(PointT<float>(1.5f, -0.5f)), PointT<int32_t>(2, -1));
    EXPECT_EQ(ToIntRect(RectT<double>(0.5, -0.5, 10.49, 3e9)), RectT<int32_t>(1, -1, 10, INT32_MAX));
    EXPECT_EQ(ToIntRect(RectT<float>(-1.5f, 2.5f, 0.f, -3e10f)), RectT<int32_t>(-2, 3, 0, INT32_MIN));
    // Region rectangles round the far edges, not the sizes.
    EXPECT_EQ(LRect::ToIntRect(RectT<double>{1.4, 1.6, 2.5, 1e12}), (RegionRect{1, 2, 4, 2147483647}));
    EXPECT_EQ(LPoint::FromIntPoint({INT32_MAX, INT32_MIN}), (PointT<double>{2147483647.0, -2147483648.0}));
    // Floats clamp to the range they hold exactly.
    EXPECT_EQ(ToFloatPoint(PointT<double>(1e7, -1e7)), PointT<float>(8388608.f, -8388608.f));
    EXPECT_EQ(ToFloatPoint(PointT<double>(std::nan(""), 0.25)), PointT<float>(-8388608.f, 0.25f));
}

TEST(LRectNormalize, FlipsNegativeSizeAndSnapsEdgesDown)
{
    RectT<double> r(10.2, 5.0, -3.0, 2.7);
    LRect::Normalize(r);
    EXPECT_EQ(r, RectT<double>(7, 5, 3, 2));

    // An edge a rounding error below an integer lands on it.
    RectT<double> nearly(0.0, 0.0, 2.9999999999999996, 1.0);
    LRect::Normalize(nearly);
    EXPECT_EQ(nearly, RectT<double>(0, 0, 3, 1));

    // Negative edges snap towards minus infinity; exact integers stay.
    RectT<double> negative(-0.5, -2.0, -1.0, 1.5);
    LRect::Normalize(negative);
    EXPECT_EQ(negative, RectT<double>(-2, -2, 1, 1));
}
