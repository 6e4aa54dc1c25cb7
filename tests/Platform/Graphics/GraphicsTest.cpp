#include "Platform/Graphics/FontFolders.h"
#include "Platform/Graphics/Graphics.h"
#include "Platform/Graphics/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Tavo::Platform::Graphics;
using Tavo::Platform::MatchFontFamily;

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
// What the renderer passes for "no clip" (single-precision -5e15 and 1e16).
constexpr double kNoClipOrigin = -5000000136282112.0;
constexpr double kNoClipSize = 10000000272564224.0;

int CountInk(const Surface& s)
{
    int n = 0;
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x)
            n += s.GetPixel(x, y) != 0;
    return n;
}

}  // namespace

TEST(PlatformGraphics, NoClipAndHugeShapesDrawAtEveryTranslationHugeSurfacesThrow)
{
    for (auto [w, h] : {std::pair{40000, 1}, {1, 40000}, {32768, 32768}})
        EXPECT_THROW(Surface(w, h), SurfaceError) << w << "x" << h;
    Surface s(1040, 1040);
    Graphics g(s);
    for (double t : {0.0, 1.0, 10.0, 37.0, 250.0, 1000.0}) {
        s.Clear();
        g.Reset();
        g.TranslateWorld(t, t);
        // The renderer keeps the clip where it was on the target as it translates.
        g.SetClip(kNoClipOrigin - t, kNoClipOrigin - t, kNoClipSize, kNoClipSize);
        g.FillRect(kRed, 0, 0, 8, 8);
        EXPECT_EQ(CountInk(s), 64) << t;
        EXPECT_EQ(s.GetPixel(int32_t(t), int32_t(t)), kRed) << t;
        // A frame around everything shows none of its edges; a line across everything shows its visible part.
        g.DrawRect(kRed, 1, kNoClipOrigin, kNoClipOrigin, kNoClipSize, kNoClipSize);
        EXPECT_EQ(CountInk(s), 64) << t;
        g.DrawLine(kRed, 1, -1e12, 20, 1e12, 20);
        EXPECT_EQ(CountInk(s), 64 + 1040) << t;
    }
    // An empty clip hides everything.
    g.SetClip(0, 0, 0, 5);
    g.FillRect(0xFF00FF00, -10, -10, 2000, 2000);
    EXPECT_EQ(CountInk(s), 64 + 1040);
}

TEST(PlatformText, FallbackFacesDrawWhatTheFaceLacksAndControlsDrawNothing)
{
    EXPECT_EQ(MatchFontFamily("Arial", 3), "Liberation Sans");
    TextFont arial({"Arial", 16, 0});
    EXPECT_EQ(arial.GetFaceMetrics().lineSpacing, 2355);
    for (const char* text : {"残り 5 分", "남은 시간 5분", "Ünïcödé ÄÖÜ"})
        EXPECT_EQ(arial.CountMissingGlyphs(text), 0) << text;

    const double ab = arial.MeasureWidth("ab");
    EXPECT_GT(arial.MeasureWidth("ab  "), ab);
    Surface plain(60, 30);
    Graphics(plain).DrawText(arial, "ab", kRed, 2, 20);
    for (const char* text : {"ab\r", "a\tb", "\rab\n"}) {
        EXPECT_EQ(arial.MeasureWidth(text), ab) << text;
        Surface drawn(60, 30);
        Graphics(drawn).DrawText(arial, text, kRed, 2, 20);
        int differing = 0;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 60; ++x)
                differing += drawn.GetPixel(x, y) != plain.GetPixel(x, y);
        EXPECT_EQ(differing, 0) << text;
    }
    EXPECT_GT(CountInk(plain), 20);
}

// Lines are kept laid out per font: more texts than it keeps, in turns,
// measure as on a font that never saw the others.
TEST(PlatformText, KeptLayoutsGiveWhatAFreshFontGives)
{
    const std::vector<std::string> texts = {"0",    "1",    "%",    "10", "100",  "0 Seconds Remaining",
                                            "NEXT", "EXIT", "a\tb", "ab", "Wait", ""};
    TextFont shared({"Arial", 13, 1});
    for (int round = 0; round < 2; ++round)
        for (const std::string& text : texts)
            EXPECT_EQ(shared.MeasureWidth(text.c_str()),
                      TextFont({"Arial", 13, 1}).MeasureWidth(text.c_str()))
                << text;
}
