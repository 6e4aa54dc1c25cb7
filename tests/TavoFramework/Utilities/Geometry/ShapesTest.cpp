#include "Utilities/Geometry/Shapes.h"

#include <gtest/gtest.h>

using namespace Tavo;

// Renderer caches tell shapes apart by handle and rebuild on the changed flag.
TEST(Shapes, EveryShapeAndCopyHasItsOwnHandleAndStartsChanged)
{
    PolylineT<float> a;
    a.Add({1.f, 2.f});
    a.SetChanged(false);
    PolylineT<float> b(a);
    EXPECT_NE(a.GetHandle(), b.GetHandle());
    EXPECT_TRUE(b.IsChanged());
    EXPECT_FALSE(a.IsChanged());
    EXPECT_EQ(b[0], PointT<float>(1.f, 2.f));
    // Consecutive handles differ in the bits a cache hashes on (4 to 11).
    EXPECT_NE((a.GetHandle() >> 4) & 0xFF, (b.GetHandle() >> 4) & 0xFF);

    ColorRectListT<float> list;
    EXPECT_TRUE(list.IsChanged());
    EXPECT_EQ(list.AddRect({0, 0, 2, 2}, 0xFF102030u), 0);
    EXPECT_EQ(list.AddRect({2, 0, 2, 2}, 0x80FFFFFFu), 1);
    ASSERT_EQ(list.GetColors().GetCount(), 2u);
    EXPECT_EQ(list.GetColors()[1], 0x80FFFFFFu);
    list.SetChanged(false);
    list.SetScale(2.f, 0.5f);
    EXPECT_TRUE(list.IsChanged());
    EXPECT_NE(list.GetHandle(), ColorRectListT<float>(list).GetHandle());
}
