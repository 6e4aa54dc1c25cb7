#include "FakeRenderer.h"
#include "Renderer/TextLayout.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

// Every character is 10 wide with a left bearing of 1; lines are 15 high.
struct TenWide : Test::FakeRenderer
{
    RectT<float> MeasureString(const WString& text, const RCPtr<LFont>&) override
    {
        const float w = 10.0f * static_cast<float>(text.GetLength());
        return {1, -12, w - 1, 15};
    }
};

struct TextLayout : ::testing::Test
{
    RCPtr<TenWide> measurer{new TenWide()};
    Tavo::Test::TestRenderHost host;
    LFontText layout;

    void SetUp() override
    {
        host.measurer = measurer;
        layout.font = LFont::FindOrCreate(u"Layout Face", 10, 0);
    }
    std::vector<std::u16string> Lines(const char16_t* text, bool wrap, int32_t width)
    {
        layout.text = text;
        layout.wordWrap = wrap;
        layout.boxWidth = width;
        layout.ClearLayout();
        layout.GetLineCount();
        std::vector<std::u16string> out;
        for (const WString& line : layout.GetLines())
            out.emplace_back(line.c_str());
        return out;
    }
};

using L = std::vector<std::u16string>;

}  // namespace

TEST_F(TextLayout, LineBreaksSplitWithoutATrailingEmptyLine)
{
    EXPECT_EQ(Lines(u"", false, 100), L{u""});
    EXPECT_EQ(Lines(u"a\n\nb", false, 100), (L{u"a", u"", u"b"}));
    EXPECT_EQ(Lines(u"a\n", false, 100), L{u"a"});
    EXPECT_EQ(Lines(u"ab\r\ncd", false, 100), (L{u"ab\r", u"cd"}));
    EXPECT_EQ(layout.GetLineRects()[0].width, 30.0f);
}

TEST_F(TextLayout, WrapBreaksAtSpacesAndHyphensButNeverInsideAWord)
{
    EXPECT_EQ(Lines(u"one two three", true, 75), (L{u"one two", u"three"}));
    EXPECT_EQ(Lines(u"well-known", true, 55), (L{u"well-", u"known"}));
    EXPECT_EQ(Lines(u"unbreakable word", true, 30), (L{u"unbreakable", u"word"}));
    // The whole text must be narrower than the box; a prefix may be as wide.
    EXPECT_EQ(Lines(u"ab cd", true, 50), (L{u"ab", u"cd"}));
    EXPECT_EQ(Lines(u"ab cd", true, 51), L{u"ab cd"});
    EXPECT_EQ(Lines(u"a  b\nc", true, 15), (L{u"a", u"b", u"c"}));
    EXPECT_EQ(layout.GetHeight(1000), 30);
}

TEST_F(TextLayout, LinesArePlacedByTheAlignmentFactors)
{
    layout.horizontalAlignment = 0.5f;
    layout.verticalAlignment = 1;
    layout.boxHeight = 100;
    Lines(u"abcd\nab", false, 100);
    ASSERT_EQ(layout.GetLineRects().size(), 2u);
    EXPECT_EQ(layout.GetLineRects()[0], RectT<float>(30, 70, 40, 15));
    EXPECT_EQ(layout.GetLineRects()[1], RectT<float>(40, 85, 20, 15));
    EXPECT_EQ(layout.GetExtent(), (PointT<int32_t>{70, 100}));
}

TEST_F(TextLayout, WidthIsTheWidestLineRoundedUp)
{
    struct Fractional : TenWide
    {
        RectT<float> MeasureString(const WString& text, const RCPtr<LFont>&) override
        {
            return {0, 0, 10.005f * static_cast<float>(text.GetLength()), 15};
        }
    };
    RCPtr<Fractional> fractional(new Fractional());
    host.measurer = fractional;
    layout.text = u"ab\nabcd";
    layout.wordWrap = true;
    layout.boxWidth = 5;
    EXPECT_EQ(layout.GetWidth(), 41);
}
