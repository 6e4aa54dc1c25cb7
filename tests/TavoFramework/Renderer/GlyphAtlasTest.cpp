#include "Renderer/OpenGL/GLGlyphRenderer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

struct Recorder
{
    std::vector<int32_t> uploads;  // heights uploaded
    std::vector<int32_t> widths;   // and their widths
    std::vector<std::vector<float>> draws;
};

class FakeTexture : public IGlyphTexture
{
public:
    explicit FakeTexture(Recorder& recorder) : mRecorder(recorder) {}
    void Upload(const uint8_t*, int32_t width, int32_t height) override
    {
        mRecorder.widths.push_back(width);
        mRecorder.uploads.push_back(height);
    }
    void Draw(const float source[4], const float target[4]) override
    {
        mRecorder.draws.push_back(
            {source[0], source[1], source[2], source[3], target[0], target[1], target[2], target[3]});
    }

private:
    Recorder& mRecorder;
};

RCPtr<LPixelBuffer<unsigned char>> Coverage(uint32_t width, uint32_t height)
{
    std::vector<unsigned char> bits(width * height, 200);
    return RCPtr<LPixelBuffer<unsigned char>>(
        new LPixelBuffer<unsigned char>(width, height, static_cast<int32_t>(width), bits.data()));
}

TEST(GlyphAtlas, PacksShelvesAndGrowsInPowersOfTwoUpToTheLimit)
{
    GlyphAtlas atlas(12, 64);
    EXPECT_EQ(atlas.GetHeight(), 16);
    EXPECT_TRUE(atlas.TakeDirty());

    std::vector<uint8_t> bits(501 * 40, 255);
    uint16_t x = 0, y = 0;
    ASSERT_TRUE(atlas.Place(bits.data(), 501, 8, 501, x, y));
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
    ASSERT_TRUE(atlas.Place(nullptr, 0, 0, 0, x, y));  // a space: border only
    EXPECT_EQ(atlas.GetCursorX(), 505);
    EXPECT_TRUE(atlas.TakeDirty());

    // 505 + 12 passes the right edge: the next shelf starts below the first.
    ASSERT_TRUE(atlas.Place(bits.data(), 10, 5, 10, x, y));
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 13);
    EXPECT_EQ(atlas.GetHeight(), 32);
    EXPECT_EQ(atlas.GetPixels()[13 * 512 + 1], 255);

    // Refused: wider than a shelf, or taller than the limit leaves room for.
    const struct
    {
        int32_t width, height;
    } refused[] = {{511, 2}, {10, 60}};
    for (const auto& r : refused) {
        EXPECT_FALSE(atlas.Place(bits.data(), r.width, r.height, r.width, x, y)) << r.width;
        EXPECT_EQ(atlas.GetCursorY(), 12);
    }
    ASSERT_TRUE(atlas.Place(bits.data(), 10, 30, 10, x, y));
    EXPECT_EQ(atlas.GetHeight(), 64);
}

struct GlyphRun : ::testing::Test
{
    Recorder recorder;
    RCPtr<LGLGlyphRenderer> glyphs =
        LGLGlyphRenderer::Create([this] { return std::make_unique<FakeTexture>(recorder); }, 16384);
    RCPtr<LFont> font = LFont::FindOrCreate(u"Glyph Run Sans", 12.0f, 0);

    // Queries and adds one character the way the font renderer does.
    uint16_t Walk(uint32_t character, RCPtr<LPixelBuffer<unsigned char>> bitmap, int8_t top = -8,
                  float penX = 0)
    {
        LGlyphProcessor::SGlyphRecord record;
        record.character = character;
        record.penX = penX;
        const uint16_t need = glyphs->QueryGlyph(record);
        if (need) {
            record.glyphIndex = 7;
            record.advanceX = 6 * 64;
            record.left = 1;
            record.top = top;
            record.right = static_cast<int8_t>(1 + (bitmap ? bitmap->GetWidth() : 0));
            record.bottom =
                static_cast<int8_t>(top + (bitmap ? static_cast<int32_t>(bitmap->GetHeight()) : 0));
            record.bitmap = bitmap;
        }
        glyphs->AddGlyph(record);
        return need;
    }
};

TEST_F(GlyphRun, CachesEachCharacterOnceAndDrawsFromTheStoredPlace)
{
    glyphs->BeginText(font, 15);
    EXPECT_EQ(recorder.uploads, (std::vector<int32_t>{16}));  // the new, empty atlas
    EXPECT_EQ(Walk('A', Coverage(4, 8)), 7);
    EXPECT_EQ(Walk('A', Coverage(4, 8), -8, 6), 0);
    glyphs->EndText();
    EXPECT_EQ(recorder.uploads.size(), 2u);  // only after the new glyph
    ASSERT_EQ(recorder.draws.size(), 2u);
    // The origin is the top of the line: the baseline lies the ascent below.
    const float baseline = -static_cast<float>(font->GetTop());
    EXPECT_EQ(recorder.draws[0], (std::vector<float>{1, 1, 5, 9, 1, baseline - 8, 5, baseline}));
    EXPECT_EQ(recorder.draws[1], (std::vector<float>{1, 1, 5, 9, 7, baseline - 8, 11, baseline}));

    float l, t, r, b;
    glyphs->GetBounds(l, t, r, b);
    EXPECT_EQ(std::vector<float>({l, t, r, b}), (std::vector<float>{0, -8, 12, 0}));
}

// The cache tells a cached character 0 from an absent one: it is placed in
// the atlas once and drawn from there like any other.
TEST_F(GlyphRun, CodeZeroIsPlacedOnceAndDrawnLikeAnyOther)
{
    glyphs->BeginText(font, 15);
    EXPECT_EQ(Walk(0, Coverage(4, 8)), 7);
    EXPECT_EQ(Walk(0, Coverage(4, 8), -8, 6), 0);
    EXPECT_EQ(glyphs->GetCurrentFont()->atlas.GetCursorX(), 6);
    glyphs->EndText();
    EXPECT_EQ(recorder.uploads.size(), 2u);
    const float baseline = -static_cast<float>(font->GetTop());
    EXPECT_EQ(recorder.draws, (std::vector<std::vector<float>>{{1, 1, 5, 9, 1, baseline - 8, 5, baseline},
                                                               {1, 1, 5, 9, 7, baseline - 8, 11, baseline}}));
    float l, t, r, b;
    glyphs->GetBounds(l, t, r, b);
    EXPECT_EQ(std::vector<float>({l, t, r, b}), (std::vector<float>{0, -8, 12, 0}));
}

// Glyphs the atlas cannot hold are drawn whole from a texture of their own,
// shrunk where a texture that large cannot be had, and kept as such by a run
// that draws; a measuring run, which may have no GL context, keeps nothing.
TEST(LargeGlyphs, AreDrawnFromTheirOwnTextureAtTheirFullBox)
{
    const struct
    {
        uint32_t width, height;
        int32_t top, maxTexture, bitmapScale;
        std::vector<int32_t> texture;  // width, height uploaded
    } cases[] = {
        {300, 8, -8, 16384, 1, {300, 8}},      // a box past the bytes
        {20, 200, -190, 16384, 1, {20, 200}},  // a box past the bytes above the baseline
        {600, 4, -4, 16384, 1, {600, 4}},      // wider than an atlas row
        {300, 8, -8, 100, 1, {100, 3}},        // a third of its size in a texture of 100
        {150, 4, -8, 16384, 2, {150, 4}},      // rasterised at half its size
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width * 1000 + c.height);
        Recorder recorder;
        RCPtr<LGLGlyphRenderer> glyphs = LGLGlyphRenderer::Create(
            [&recorder] { return std::make_unique<FakeTexture>(recorder); }, c.maxTexture);
        RCPtr<LFont> font = LFont::FindOrCreate(u"Glyph Run Sans", 200.0f, 0);
        const float baseline = -static_cast<float>(font->GetTop());
        const auto walk = [&](float penX) {
            LGlyphProcessor::SGlyphRecord record;
            record.character = 'W';
            record.penX = penX;
            const uint16_t need = glyphs->QueryGlyph(record);
            if (need) {
                record.wide = true;
                record.wideLeft = 1;
                record.wideTop = c.top;
                record.wideRight = 1 + static_cast<int32_t>(c.width) * c.bitmapScale;
                record.wideBottom = c.top + static_cast<int32_t>(c.height) * c.bitmapScale;
                record.wideAdvanceX = 700 * 64;
                record.bitmap = Coverage(c.width, c.height);
                record.bitmapScale = c.bitmapScale;
            } else {
                EXPECT_EQ(record.wideAdvanceX, 700 * 64);  // from its cache
            }
            glyphs->AddGlyph(record);
            return need;
        };
        glyphs->BeginText(font, 3);
        EXPECT_NE(walk(0), 0);
        glyphs->EndText();
        EXPECT_TRUE(recorder.widths.empty());
        glyphs->BeginText(font, 15);
        EXPECT_NE(walk(0), 0);
        EXPECT_EQ(walk(400), 0);
        glyphs->EndText();
        ASSERT_EQ(recorder.widths.size(), 2u);  // the atlas, then the glyph's own, once
        EXPECT_EQ((std::vector<int32_t>{recorder.widths[1], recorder.uploads[1]}), c.texture);
        ASSERT_EQ(recorder.draws.size(), 2u);
        const auto w = static_cast<float>(c.width * c.bitmapScale),
                   h = static_cast<float>(c.height * c.bitmapScale);
        const auto tw = static_cast<float>(c.texture[0]), th = static_cast<float>(c.texture[1]);
        const float y = baseline + static_cast<float>(c.top);
        EXPECT_EQ(recorder.draws[1], (std::vector<float>{0, 0, tw, th, 401, y, 401 + w, y + h}));
        float l, t, r, b;
        glyphs->GetBounds(l, t, r, b);
        EXPECT_EQ(std::vector<float>({l, t, r}), (std::vector<float>{0, static_cast<float>(c.top), 1100}));
    }
}

TEST_F(GlyphRun, MeasuringPlacesWithoutDrawingAndTheNextDrawUploads)
{
    glyphs->BeginText(font, 3);
    Walk('m', Coverage(5, 5));
    glyphs->EndText();
    EXPECT_TRUE(recorder.uploads.empty());
    EXPECT_TRUE(recorder.draws.empty());
    glyphs->BeginText(font, 15);
    EXPECT_EQ(recorder.uploads.size(), 1u);
    EXPECT_EQ(Walk('m', Coverage(5, 5)), 0);
    glyphs->EndText();
    EXPECT_EQ(recorder.uploads.size(), 1u);
    EXPECT_EQ(glyphs->GetCurrentFont(), nullptr);
}

}  // namespace
