#include "Platform/Graphics/SystemFont.h"

#include <gtest/gtest.h>

namespace {

using Tavo::Platform::ParseFontName;
using Tavo::Platform::SystemFont;

TEST(SystemFontTest, DesktopFontNamesGiveFaceSizeAndStyle)
{
    struct Case
    {
        const char* text;
        bool ok;
        const char* face;
        double points;
        int32_t style;
    };
    const Case cases[] = {
        {"DejaVu Serif Bold 11", true, "DejaVu Serif", 11, 1},
        {"Cantarell 11", true, "Cantarell", 11, 0},
        {"  Sans   Italic  9.5 ", true, "Sans", 9.5, 2},
        {"DejaVu Sans Bold Oblique 10", true, "DejaVu Sans", 10, 3},
        {"Ubuntu Semi-Bold 11", true, "Ubuntu", 11, 0},  // below bold
        {"Noto Sans Ultra-Bold Condensed 8", true, "Noto Sans", 8, 1},
        {"Noto Sans,Sans 12px", true, "Noto Sans", 9, 0},
        // The first word names the family even when it is a style word.
        {"Bold 11", true, "Bold", 11, 0},
        {"Sans", false, "", 0, 0},  // no size
        {"Sans 0", false, "", 0, 0},
        {"12", false, "", 0, 0},
        {"", false, "", 0, 0},
        {"Sans 1e400", false, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SystemFont font;
        ASSERT_EQ(ParseFontName(c.text, font), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(font.face, c.face);
        EXPECT_EQ(font.points, c.points);
        EXPECT_EQ(font.style, c.style);
    }
}

}  // namespace
