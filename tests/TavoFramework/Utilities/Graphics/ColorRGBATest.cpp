#include "Utilities/Graphics/ColorRGBA.h"

#include <gtest/gtest.h>

using Tavo::ColorRGBA;

TEST(ColorRGBA, HexTextByLength)
{
    EXPECT_EQ(ColorRGBA().FromHexString("0xFFECE9D8"), ColorRGBA().FromHexString("FFECE9D8"));
    EXPECT_EQ(ColorRGBA().FromHexString("0XFF000000").ToARGB(), 0xFF000000u);

    // Two digits touch alpha only, six digits the colour only.
    ColorRGBA c(0.25f, 0.5f, 0.75f, 1.0f);
    c.FromHexString("0x80");
    EXPECT_EQ(c.a, 128 * 0.003921569f);
    EXPECT_EQ(c.r, 0.25f);
    c.FromHexString("FF0000");
    EXPECT_EQ(c.r, 1.0f * 255 * 0.003921569f);
    EXPECT_EQ(c.g, 0.0f);
    EXPECT_EQ(c.a, 128 * 0.003921569f);

    // Other lengths change nothing; non-digits read as 0.
    const ColorRGBA before = c;
    c.FromHexString("FFF");
    c.FromHexString("");
    c.FromHexString(nullptr);
    EXPECT_EQ(c, before);
    c.FromHexString("zz");
    EXPECT_EQ(c.a, 0.0f);
}

TEST(ColorRGBA, PackingClampsAndRoundsHalfAway)
{
    EXPECT_EQ(ColorRGBA(1.2f, -0.1f, 0.5f, 1.0f).ToARGB(), 0xFFFF0080u);
    for (uint32_t x : {0u, 0x01020304u, 0x80808080u, 0xFFFFFFFFu, 0x7F00FF01u, 0xDEADBEEFu})
        EXPECT_EQ(ColorRGBA().FromARGB(x).ToARGB(), x);
    for (uint32_t v = 0; v < 256; ++v)
        EXPECT_EQ(ColorRGBA().FromARGB(v * 0x01010101u).ToARGB(), v * 0x01010101u);
}
