#include "Renderer/FontRenderer/FontFileInfo.h"
#include "Renderer/FontRenderer/FontRenderer.h"
#include "Renderer/Renderer.h"

#include "tests/Common/TempFolder.h"
#include "../TestRenderHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

using Record = LGlyphProcessor::SGlyphRecord;

// Records every call; answers QueryGlyph with a fixed need, or fills a
// cached glyph itself when need is 0.
class RecordingProcessor : public LGlyphProcessor
{
public:
    explicit RecordingProcessor(uint16_t need) : mNeed(need) {}
    void BeginText(const RCPtr<LFont>&, uint32_t flags) override
    {
        calls.push_back("begin");
        beginFlags = flags;
        added.clear();
    }
    void EndText() override { calls.push_back("end"); }
    uint16_t QueryGlyph(Record& record) override
    {
        calls.push_back("query");
        if (mNeed == 0) {
            record.glyphIndex = 7;
            record.advanceX = 10 * 64;
            record.right = 9;
            record.bottom = 2;
            record.top = -8;
        }
        return mNeed;
    }
    void AddGlyph(const Record& record) override
    {
        calls.push_back("add");
        added.push_back(record);
    }
    void GetBounds(float& left, float& top, float& right, float& bottom) override
    {
        left = top = right = bottom = 0;
        for (const Record& r : added) {
            left = std::min(left, r.penX + r.left);
            top = std::min(top, r.penY + r.top);
            right = std::max(right, r.penX + r.right);
            bottom = std::max(bottom, r.penY + r.bottom);
        }
    }

    std::vector<std::string> calls;
    std::vector<Record> added;
    uint32_t beginFlags = 0;

private:
    uint16_t mNeed;
};

// Lets fonts measure their cached metrics through the renderer under test.
class Measurer : public LMeasurementRenderer
{
public:
    int32_t GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                           int32_t& descent) override
    {
        return gRenderer->GetFontMetrics(font, lineHeight, top, descent);
    }
    RectT<float> MeasureString(const WString&, const RCPtr<LFont>&) override { return {}; }
    static LFreetypeFontRenderer* gRenderer;
};
LFreetypeFontRenderer* Measurer::gRenderer = nullptr;

class FreetypeWalk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* f : {"DejaVuSans.ttf", "DejaVuSerif.ttf", "DejaVuSansMono.ttf"})
            std::filesystem::copy_file(std::string("/usr/share/fonts/truetype/dejavu/") + f, dir.Join(f));
        setenv("TAVO_FONTS_DIR", dir.Path().c_str(), 1);
        processor = RCPtr<RecordingProcessor>(new RecordingProcessor(0x7));
        renderer = RCPtr<LFreetypeFontRenderer>(new LFreetypeFontRenderer(processor, processor));
        Measurer::gRenderer = renderer.Get();
        host.measurer = RCPtr<LMeasurementRenderer>(new Measurer);
    }
    void TearDown() override
    {
        renderer = nullptr;
        unsetenv("TAVO_FONTS_DIR");
    }
    uint32_t Walk(const std::u16string& text, const RCPtr<LFont>& font, float maxWidth = 0,
                  uint32_t start = 0)
    {
        processor->calls.clear();
        RCPtr<LGlyphProcessor> p(processor);
        return renderer->ProcessGlyphs(WString(text.c_str()), font, p, start, maxWidth, 15);
    }
    static RCPtr<LFont> Font(const char16_t* face, float size, int32_t style = 0)
    {
        return LFont::FindOrCreate(WString(face), size, style);
    }

    TempFolder dir;
    Tavo::Test::TestRenderHost host;
    RCPtr<RecordingProcessor> processor;
    RCPtr<LFreetypeFontRenderer> renderer;
};

TEST_F(FreetypeWalk, GlyphsArriveInOrderWithBoxesAdvancesAndBitmaps)
{
    const uint32_t n = Walk(u"Hxy", Font(u"DejaVu Sans", 12), 0, 5);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(processor->calls,
              (std::vector<std::string>{"begin", "query", "add", "query", "add", "query", "add", "end"}));
    ASSERT_EQ(processor->added.size(), 3u);
    float pen = processor->added[0].penX;
    for (uint32_t i = 0; i < 3; ++i) {
        const Record& r = processor->added[i];
        EXPECT_EQ(r.position, i == 0 ? 5u : i);  // the start index, then the text index
        EXPECT_EQ(r.character, uint32_t(u"Hxy"[i]));
        EXPECT_NEAR(r.penX, pen, 2.0f);  // only kerning moves it off the advances
        pen = r.penX + r.advanceX / 64.0f;
        ASSERT_TRUE(r.bitmap);
        EXPECT_EQ(int32_t(r.bitmap->GetWidth()), r.right - r.left);
        EXPECT_EQ(int32_t(r.bitmap->GetHeight()), r.bottom - r.top);
    }
    // 'y' descends below the baseline, 'H' does not.
    EXPECT_LT(processor->added[0].top, 0);
    EXPECT_GT(processor->added[2].bottom, 0);
}

TEST_F(FreetypeWalk, MissingGlyphIsSkippedWithoutMovingPenOrPosition)
{
    RCPtr<LFont> font = Font(u"DejaVu Sans", 14);
    Walk(u"AV", font);
    const std::vector<Record> plain = processor->added;
    EXPECT_EQ(Walk(u"A\uE000V", font), 3u);
    ASSERT_EQ(processor->added.size(), 2u);
    // The same placement: kerning is against the last added glyph.
    EXPECT_EQ(processor->added[1].penX, plain[1].penX);
    EXPECT_EQ(processor->added[1].position, 1u);
}

// CJK and emoji come from the faces fontconfig offers for them; a surrogate
// pair is one character.
TEST_F(FreetypeWalk, CharactersTheFaceLacksComeFromFallbackFacesAndPairsWalkAsOne)
{
    EXPECT_EQ(Walk(u"A\u4e2d\U0001F600B", Font(u"DejaVu Sans Mono", 14)), 5u);
    ASSERT_EQ(processor->added.size(), 4u);
    const uint32_t expected[][2] = {{'A', 0}, {0x4E2D, 1}, {0x1F600, 2}, {'B', 4}};
    for (uint32_t i = 0; i < 4; ++i) {
        const Record& r = processor->added[i];
        EXPECT_EQ(r.character, expected[i][0]);
        EXPECT_EQ(r.position, expected[i][1]);
        EXPECT_NE(r.glyphIndex, 0u);
        ASSERT_TRUE(r.bitmap);
        EXPECT_GT(r.bitmap->GetWidth(), 4u) << std::hex << r.character;
        EXPECT_GT(r.penX, i ? processor->added[i - 1].penX : -1.0f);
    }
}

// Past the bytes of the box and the 16 bits of the advance, the wide
// fields carry a glyph of a large font, and the pen moves by them.
TEST_F(FreetypeWalk, LargeGlyphsCarryTheirFullBoxAndAdvance)
{
    Walk(u"WW", Font(u"DejaVu Sans", 600));
    ASSERT_EQ(processor->added.size(), 2u);
    const Record& w = processor->added[0];
    ASSERT_TRUE(w.wide && w.bitmap);
    EXPECT_EQ(int32_t(w.bitmap->GetWidth()), w.wideRight - w.wideLeft);
    EXPECT_EQ(int32_t(w.bitmap->GetHeight()), w.wideBottom - w.wideTop);
    EXPECT_GT(w.wideRight - w.wideLeft, 127);
    EXPECT_GT(w.wideAdvanceX, 32767);
    EXPECT_NEAR(processor->added[1].penX - w.penX, w.wideAdvanceX / 64.0f, 2.0f);
    EXPECT_EQ(w.bitmapScale, 1);

    // Thousands of pixels across, it is rasterised smaller, and says so.
    Walk(u"W", Font(u"DejaVu Sans", 4000));
    ASSERT_EQ(processor->added.size(), 1u);
    const Record& huge = processor->added[0];
    ASSERT_TRUE(huge.bitmap);
    EXPECT_EQ(huge.bitmapScale, 2);
    EXPECT_LE(huge.bitmap->GetWidth(), 4096u);
    EXPECT_NEAR(int32_t(huge.bitmap->GetWidth()) * 2, huge.wideRight - huge.wideLeft, 4);
}

TEST_F(FreetypeWalk, SmallSizesRenderMonoLargerOnesAntiAliased)
{
    auto levels = [&](float size) {
        Walk(u"Ag", Font(u"DejaVu Serif", size));
        bool grey = false;
        for (const Record& r : processor->added) {
            const unsigned char* p = r.bitmap->GetPixels();
            for (uint32_t k = 0; k < uint32_t(r.bitmap->GetStride()) * r.bitmap->GetHeight(); ++k)
                grey = grey || (p[k] != 0 && p[k] != 255);
        }
        return grey;
    };
    EXPECT_FALSE(levels(7.5f));
    EXPECT_TRUE(levels(8.0f));
}

TEST_F(FreetypeWalk, CachedGlyphsSkipFreetype)
{
    processor = RCPtr<RecordingProcessor>(new RecordingProcessor(0));
    EXPECT_EQ(Walk(u"\uE000\uE001", Font(u"DejaVu Sans", 12)), 2u);
    ASSERT_EQ(processor->added.size(), 2u);
    EXPECT_EQ(processor->added[1].penX - processor->added[0].penX, 10.0f);
    EXPECT_FALSE(processor->added[1].bitmap);
}

TEST_F(FreetypeWalk, WidthLimitEndsTheWalk)
{
    RCPtr<LFont> font = Font(u"DejaVu Sans Mono", 12);
    Walk(u"MMMMMMMM", font);
    const float right = processor->added[2].penX + processor->added[2].right;
    EXPECT_EQ(Walk(u"MMMMMMMM", font, right + 0.5f), 4u);
    EXPECT_EQ(processor->added.size(), 3u);
}

TEST_F(FreetypeWalk, MetricsAndMeasuring)
{
    RCPtr<LFont> font = Font(u"DejaVu Sans", 12);
    int32_t lineHeight = 0, top = 0, descent = 0;
    ASSERT_EQ(renderer->GetFontMetrics(font, lineHeight, top, descent), S_OK);
    EXPECT_LT(top, 0);
    EXPECT_GT(descent, 0);
    EXPECT_GE(lineHeight, descent - top);

    RectT<float> box;
    renderer->MeasureString(box, WString(u""), font);
    EXPECT_EQ(processor->beginFlags, 3u);
    EXPECT_EQ(box.width, 1.0f);
    EXPECT_EQ(box.y, float(top));
    EXPECT_EQ(box.height, float(descent - top));

    renderer->MeasureString(box, WString(u"Hello"), font);
    EXPECT_GT(box.width, 20.0f);
    EXPECT_EQ(box.y, float(top));
}

TEST_F(FreetypeWalk, UnopenableFaceFailsQuietly)
{
    std::filesystem::remove(dir.Join("DejaVuSerif.ttf"));
    RCPtr<LFont> font = Font(u"DejaVu Serif", 11);
    EXPECT_EQ(Walk(u"abc", font), 0u);
    EXPECT_TRUE(processor->calls.empty());
    int32_t lineHeight = -5, top = -5, descent = -5;
    EXPECT_EQ(renderer->GetFontMetrics(font, lineHeight, top, descent), E_FAIL);
}

TEST_F(FreetypeWalk, ManyFacesAndSizesStayConsistentPastTheCacheLimits)
{
    // More sizes and faces than the cache keeps: evicted ones reopen alike.
    std::vector<int32_t> first;
    for (int pass = 0; pass < 2; ++pass) {
        size_t k = 0;
        for (const char16_t* face : {u"DejaVu Sans", u"DejaVu Serif", u"DejaVu Sans Mono"}) {
            for (int32_t style = 0; style < 4; ++style) {
                for (int size = 6; size < 30; size += 2) {
                    int32_t lineHeight = 0, top = 0, descent = 0;
                    ASSERT_EQ(
                        renderer->GetFontMetrics(Font(face, float(size), style), lineHeight, top, descent),
                        S_OK);
                    if (pass == 0)
                        first.push_back(lineHeight);
                    else
                        EXPECT_EQ(first[k], lineHeight);
                    ++k;
                }
            }
        }
    }
}

}  // namespace

TEST_F(FreetypeWalk, KerningMovesTheNextGlyphAndANegativeFirstBearingTheFirst)
{
    // Face, text, kerning of the pair in pixels (the face's "AV" pair: -64/64 at 12 points), first moved.
    const struct
    {
        const char16_t* face;
        const char16_t* text;
        float kerning;
        bool firstMoved;
    } cases[] = {
        {u"DejaVu Sans", u"AV", -1.0f, false},
        {u"DejaVu Sans", u"jA", 0, true},
        {u"DejaVu Sans Mono", u"AV", 0, false},  // no kerning at all
    };
    for (const auto& c : cases) {
        Walk(c.text, Font(c.face, 12));
        ASSERT_EQ(processor->added.size(), 2u);
        const Record& first = processor->added[0];
        EXPECT_EQ(processor->added[1].penX - first.penX - float(first.advanceX) / 64, c.kerning)
            << c.firstMoved;
        EXPECT_EQ(first.penX, c.firstMoved ? float(-first.left) : 0.0f) << c.kerning;
        EXPECT_TRUE(!c.firstMoved || first.left < 0);
    }
}
