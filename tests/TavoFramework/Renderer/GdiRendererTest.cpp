#include "Application/AppClock.h"
#include "Renderer/Bitmap.h"
#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

using namespace Tavo;

// Fontconfig keeps process-wide pattern caches alive to the end.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
const ColorRGBA kRedColour{1, 0, 0, 1};
const ColorRGBA kBlueColour{0, 0, 1, 1};

struct GdiRenderer : ::testing::Test
{
    RCPtr<LGDIRenderer> renderer{new LGDIRenderer()};
    RCPtr<LRenderContextInfo> context;

    void SetUp() override
    {
        ASSERT_EQ(renderer->InitRenderContextInfo({0, 0, 40, 30}, nullptr, true, context), S_OK);
    }
    void TearDown() override
    {
        while (renderer->GetContextDepth())
            renderer->RenderFinish(RCPtr<LRenderContextInfo>(renderer->GetCurrentContext()));
    }
    LGDIRenderContextInfo& Gdi() { return static_cast<LGDIRenderContextInfo&>(*context); }
    uint32_t Pixel(int32_t x, int32_t y) { return Gdi().GetSurface()->GetBitmap()->GetPixel(x, y); }
    // Counts the pixels of one colour in a rectangle of the surface.
    int Count(uint32_t argb, int32_t x0 = 0, int32_t y0 = 0, int32_t x1 = 40, int32_t y1 = 30)
    {
        int n = 0;
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x)
                n += Pixel(x, y) == argb;
        return n;
    }
};

}  // namespace

TEST_F(GdiRenderer, SurfacesFollowTheViewportAndAFullRepaint)
{
    RCPtr<LRenderContextInfo> empty;
    renderer->InitRenderContextInfo({0, 0, 0, 0}, nullptr, true, empty);
    auto& tiny = static_cast<LGDIRenderContextInfo&>(*empty);
    EXPECT_EQ(tiny.GetSurface()->GetSize(), (PointT<int32_t>{1, 1}));

    // Fresh surfaces are transparent, so a marked pixel tells whether they were remade.
    Gdi().GetSurface()->GetBitmap()->SetPixel(0, 0, kRed);
    Gdi().dirtyRegion.AddRect(RectT<int32_t>{0, 0, 20, 30});
    Gdi().dirtyRegion.AddRect(RectT<int32_t>{20, 0, 20, 30});
    Gdi().PrepareSurfaces();
    EXPECT_EQ(Pixel(0, 0), kRed);

    Gdi().dirtyRegion = RectRegion();
    Gdi().dirtyRegion.AddRect(RectT<int32_t>{0, 0, 40, 30});
    Gdi().PrepareSurfaces();
    EXPECT_EQ(Pixel(0, 0), 0u);

    Gdi().dirtyRegion = RectRegion();
    Gdi().viewport.width = 41;
    Gdi().PrepareSurfaces();
    EXPECT_EQ(Gdi().GetSurface()->GetSize(), (PointT<int32_t>{41, 30}));
}

TEST_F(GdiRenderer, FillsAndFramesHitExactPixels)
{
    renderer->RenderStart(context);
    renderer->FillRect({2, 3, 4, 5}, kRedColour, true);
    EXPECT_EQ(Count(kRed), 20);
    EXPECT_EQ(Pixel(5, 7), kRed);

    // A one-pixel frame covers columns x..x+width and rows y..y+height.
    renderer->DrawRect({10, 10, 5, 5}, kBlueColour, 1);
    EXPECT_EQ(Count(kBlue), 20);
    EXPECT_EQ(Pixel(15, 15), kBlue);

    renderer->DrawLine({20, 2}, {29, 2}, kRedColour, 1);
    EXPECT_EQ(Pixel(20, 2), kRed);
    EXPECT_EQ(Pixel(30, 2), 0u);
}

TEST_F(GdiRenderer, UnblendedFillReplacesSurfacePixelsIgnoringTranslationAndClip)
{
    renderer->RenderStart(context);
    renderer->FillRect({0, 0, 40, 30}, kRedColour, true);
    renderer->PushClip({10, 10, 5, 5}, {0, 0, 5, 5}, nullptr, true);
    renderer->FillRect({0, 0, 2, 2}, {0, 0, 1, 0.5f}, false);
    EXPECT_EQ(Pixel(0, 0) >> 24, 0x80u);
    EXPECT_EQ(Pixel(10, 10), kRed);
    renderer->PopState();
}

TEST_F(GdiRenderer, ClipAndTranslationFollowTheStateStack)
{
    renderer->RenderStart(context);
    renderer->PushState();
    renderer->PushClip({5, 5, 10, 10}, {5, 5, 4, 4}, nullptr, true);
    renderer->FillRect({0, 0, 40, 30}, kRedColour, true);
    EXPECT_EQ(Count(kRed), 16);

    renderer->PopState();
    renderer->PushTranslation({20, 0});
    renderer->FillRect({0, 20, 2, 2}, kBlueColour, true);
    EXPECT_EQ(Pixel(20, 20), kBlue);
    renderer->PopState();
    renderer->FillRect({0, 25, 1, 1}, kBlueColour, true);
    EXPECT_EQ(Pixel(0, 25), kBlue);
}

TEST_F(GdiRenderer, PolygonsDrawScaledAndCachedPathsFollowEdits)
{
    renderer->RenderStart(context);
    PolylineT<float> square, lines;
    for (PointT<float> p : {PointT<float>{0, 0}, {4, 0}, {4, 4}, {0, 4}})
        square.Add(p);
    renderer->FillPolygon(square, kRedColour, {1, 1}, {1, 1}, true);
    EXPECT_EQ(Count(kRed), 16);
    EXPECT_EQ(renderer->GetPathCacheCount(), 1u);

    // A scale draws a scaled copy; the cached path keeps its points.
    renderer->FillPolygon(square, kBlueColour, {20, 0}, {2, 2}, true);
    EXPECT_EQ(Count(kBlue, 20, 0, 40, 30), 64);
    renderer->FillPolygon(square, kBlueColour, {10, 20}, {1, 1}, true);
    EXPECT_EQ(Count(kBlue, 10, 20, 20, 30), 16);

    // Edited points are rebuilt rather than drawn from the stale path.
    square[2] = {8, 8};
    square.SetChanged(true);
    renderer->FillPolygon(square, kRedColour, {30, 0}, {1, 1}, true);
    EXPECT_GT(Count(kRed, 30, 0, 40, 10), 16);
    for (PointT<float> p : {PointT<float>{0, 28}, {3, 28}, {7, 28}})
        lines.Add(p);
    renderer->DrawLines(lines, kRedColour, {0, 0}, {1, 1}, false);
    // Segments (0,28)-(3,28) only: a lone last point makes no segment.
    EXPECT_EQ(Count(kRed, 0, 28, 40, 29), 3);
    EXPECT_FALSE(lines.IsChanged());
}

TEST_F(GdiRenderer, OffscreenContextsScrollAndFeedOtherDraws)
{
    renderer->RenderStart(context);
    renderer->FillRect({0, 0, 2, 2}, kRedColour, true);
    renderer->RenderFinish(context);

    EXPECT_EQ(renderer->ClearAndDrawBitmap(context, {5, 6}), S_OK);
    EXPECT_EQ(Pixel(5, 6), kRed);
    EXPECT_EQ(Pixel(0, 0), 0u);

    RCPtr<LRenderContextInfo> target;
    renderer->InitRenderContextInfo({0, 0, 10, 10}, nullptr, false, target);
    EXPECT_EQ(renderer->ClearAndDrawBitmap(target, {0, 0}), E_INVALIDARG);
    renderer->RenderStart(target);
    EXPECT_EQ(renderer->DrawBitmapRegion(target, {0, 0}, {0, 0, 1, 1}), E_INVALIDARG);
    EXPECT_EQ(renderer->DrawBitmapRegion(context, {1, 1}, {5, 6, 2, 2}), S_OK);
    auto* drawn = static_cast<LGDIRenderContextInfo&>(*target).GetSurface()->GetBitmap();
    EXPECT_EQ(drawn->GetPixel(1, 1), kRed);
    renderer->RenderFinish(target);
}

TEST_F(GdiRenderer, ColourRectListsAreScaledAndOffset)
{
    renderer->RenderStart(context);
    ColorRectListT<float> list;
    list.AddRect({0, 0, 1, 1}, kRed);
    list.AddRect({1.25f, 0, 1, 1}, kBlue);
    list.SetScale(2, 2);
    renderer->FillColorRectList(list, {10, 10}, false);
    EXPECT_EQ(Count(kRed), 4);
    EXPECT_EQ(Pixel(10, 10), kRed);
    EXPECT_EQ(Count(kBlue), 4);
    EXPECT_EQ(context->state.translation.x, 0.0);
}

TEST_F(GdiRenderer, TextMeasuresFromTheFontsOwnMetrics)
{
    // The face's design metrics at the font's size; "Arial" is served by its metric-compatible stand-in.
    const struct
    {
        float size;
        int32_t lineHeight, top, descent;
    } cases[] = {{8.25f, 13, -10, 3}, {12, 19, -15, 4}, {20, 31, -25, 6}};
    for (const auto& c : cases) {
        int32_t lineHeight = 0, top = 0, descent = 0;
        renderer->GetFontMetrics(LFont::FindOrCreate(u"Arial", c.size, 0), lineHeight, top, descent);
        EXPECT_EQ(lineHeight, c.lineHeight) << c.size;
        EXPECT_EQ(top, c.top) << c.size;
        EXPECT_EQ(descent, c.descent) << c.size;
    }
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", 12, 0);
    EXPECT_EQ(renderer->GetTextFont(*font).GetFaceMetrics().family, "Liberation Sans");
    int32_t lineHeight = 0, top = 0, descent = 0;
    renderer->GetFontMetrics(font, lineHeight, top, descent);
    EXPECT_EQ(renderer->MeasureString(u"", font), RectT<float>(0, 0, 0, 0));
    const RectT<float> word = renderer->MeasureString(u"Hello", font);
    EXPECT_EQ(word.y, static_cast<float>(top));
    EXPECT_EQ(word.height, static_cast<float>(lineHeight));
    EXPECT_GT(word.width, 3 + 5 * 4.0f);
    EXPECT_GT(renderer->MeasureString(u"Hello  ", font).width, word.width);
    EXPECT_EQ(renderer->MeasureString(u"Hello\r", font), word);

    renderer->RenderStart(context);
    renderer->DrawText(u"W", font, {2, 1}, kBlueColour);
    // Ink lands below the given top, inside one line.
    EXPECT_LT(Count(0, 0, 0, 40, 30), 40 * 30);
    EXPECT_EQ(Count(0, 0, lineHeight + 1, 40, 30), 40 * (30 - lineHeight - 1));
}

TEST_F(GdiRenderer, InkOfAnHEndsOnTheBaselineTheMetricsReportAtEverySize)
{
    RCPtr<LRenderContextInfo> tall;
    renderer->InitRenderContextInfo({0, 0, 40, 80}, nullptr, true, tall);
    auto* surface = static_cast<LGDIRenderContextInfo&>(*tall).GetSurface()->GetBitmap();
    for (int size = 6; size <= 30; ++size) {
        RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", static_cast<float>(size), 0);
        int32_t lineHeight = 0, top = 0, descent = 0;
        renderer->GetFontMetrics(font, lineHeight, top, descent);
        EXPECT_GE(lineHeight, descent - top) << size;
        renderer->RenderStart(tall);
        renderer->FillRect({0, 0, 40, 80}, {0, 0, 0, 0}, false);
        renderer->DrawText(u"H", font, {2, 40}, kBlueColour);
        renderer->RenderFinish(tall);
        int32_t last = -1;
        for (int32_t y = 0; y < 80; ++y)
            for (int32_t x = 0; x < 40; ++x)
                if (surface->GetPixel(x, y) != 0)
                    last = y;
        // The cell's top is one above y; the baseline lies -top below it.
        EXPECT_EQ(last, 40 - 1 - top - 1) << size;
    }
}

TEST_F(GdiRenderer, TheDefaultClipComesBackAndDrawsAtEveryTranslation)
{
    renderer->RenderStart(context);
    const RectT<double> noClip = context->state.clip;
    renderer->PushState();
    renderer->PushClip({5, 5, 10, 10}, {5, 5, 4, 4}, nullptr, true);
    renderer->PopState();
    EXPECT_EQ(context->state.clip, noClip);
    for (double t : {1.0, 10.0, 37.0, 250.0, 1000.0}) {
        renderer->FillRect({0, 0, 40, 30}, {0, 0, 0, 0}, false);
        renderer->PushTranslation({t, t});
        const auto back = static_cast<int32_t>(-t);
        renderer->FillRect({back + 1, back + 2, 3, 3}, kRedColour, true);
        renderer->PopState();
        EXPECT_EQ(Count(kRed), 9) << t;
        EXPECT_EQ(Pixel(1, 2), kRed) << t;
    }
}

TEST_F(GdiRenderer, IdleBitmapsArePurgedOnTheApplicationClockAfterFiveMinutes)
{
    ManualAppClock clock;
    ScopedAppClock installed(clock);
    renderer = RCPtr<LGDIRenderer>(new LGDIRenderer());  // made at 0 on this clock
    RCPtr<LBitmap> idle = LBitmap::CreateFilledBitmap(4, 4, kRedColour);
    RCPtr<LBitmap> busy = LBitmap::CreateFilledBitmap(4, 4, kBlueColour);
    // Paint at a time, drawing a bitmap; then the last purge and the bitmaps still prepared.
    const struct
    {
        uint32_t now;
        LBitmap* drawn;
        uint32_t lastPurge, prepared;
    } paints[] = {{0, idle.Get(), 0, 1},
                  {300000, busy.Get(), 0, 2},
                  {300001, busy.Get(), 300001, 2},
                  {450000, busy.Get(), 300001, 2},
                  {600002, nullptr, 600002, 1}};
    for (const auto& p : paints) {
        clock.Set(p.now);
        renderer->RenderStart(context);
        if (p.drawn)
            renderer->DrawBitmap(RCPtr<LBitmap>(p.drawn), {0, 0, 8, 8}, LGDIRenderer::Stretch);
        renderer->RenderFinish(context);
        EXPECT_EQ(renderer->GetLastPurgeTime(), p.lastPurge) << p.now;
        EXPECT_EQ(renderer->GetPreparedBitmapCount(), p.prepared) << p.now;
    }
}

namespace {

// A window that keeps its pixels in a surface and records what was shown.
struct FakeWindow : Platform::Graphics::IWindowTarget
{
    Platform::Graphics::Surface surface{20, 20};
    size_t updates = 0;
    size_t rects = 0;
    Platform::Graphics::Surface* GetWindowSurface() override { return &surface; }
    void SurfaceUpdated(const Platform::Graphics::PixelRect*, size_t count) override
    {
        ++updates;
        rects += count;
    }
};

}  // namespace

TEST(GdiPresent, OnlyDirtyRectanglesReachTheWindowAndOffscreenNeverDoes)
{
    FakeWindow handle;
    Platform::Graphics::Surface& window = handle.surface;
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> onWindow;
    RCPtr<LRenderContextInfo> offscreen;
    renderer->InitRenderContextInfo({0, 0, 20, 20}, &handle, false, onWindow);
    renderer->InitRenderContextInfo({0, 0, 20, 20}, &handle, true, offscreen);

    onWindow->dirtyRegion.AddRect(RectT<int32_t>{0, 0, 5, 5});
    onWindow->dirtyRegion.AddRect(RectT<int32_t>{10, 10, 2, 2});
    renderer->RenderStart(onWindow);
    renderer->FillRect({0, 0, 20, 20}, kRedColour, true);
    renderer->RenderFinish(onWindow);
    EXPECT_EQ(window.GetPixel(4, 4), kRed);
    EXPECT_EQ(window.GetPixel(7, 7), 0u);
    EXPECT_EQ(handle.rects, 2u);

    offscreen->dirtyRegion.AddRect(RectT<int32_t>{0, 0, 20, 20});
    renderer->RenderStart(offscreen);
    renderer->FillRect({0, 0, 20, 20}, kBlueColour, true);
    renderer->RenderFinish(offscreen);
    EXPECT_EQ(window.GetPixel(4, 4), kRed);
    EXPECT_EQ(window.GetPixel(7, 7), 0u);
    EXPECT_EQ(handle.updates, 1u);
}

TEST(GdiPresent, AWindowContextDrawsInTheWindowsSurfaceOnlyWhereDirtyOrCopiesWhenSizesDiffer)
{
    FakeWindow handle;
    Platform::Graphics::Surface& window = handle.surface;
    window.Fill(0, 0, 20, 20, kBlue);  // what the window shows
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> onWindow;
    renderer->InitRenderContextInfo({0, 0, 20, 20}, &handle, false, onWindow);

    // Neither a clip set while painting nor a fill that replaces pixels
    // reaches outside the dirty rectangles.
    onWindow->dirtyRegion.AddRect(RectT<int32_t>{2, 2, 4, 4});
    onWindow->dirtyRegion.AddRect(RectT<int32_t>{14, 14, 2, 2});
    renderer->RenderStart(onWindow);
    renderer->SetClipRect(RectT<double>{0, 0, 20, 20});
    renderer->FillRect({0, 0, 20, 10}, kRedColour, true);
    renderer->FillRect({0, 10, 20, 10}, kRedColour, false);
    renderer->RenderFinish(onWindow);
    EXPECT_EQ(handle.rects, 2u);
    for (const auto& [x, y, colour] : std::vector<std::tuple<int, int, uint32_t>>{
             {3, 3, kRed}, {5, 5, kRed}, {6, 6, kBlue}, {10, 3, kBlue}, {15, 15, kRed}, {10, 15, kBlue}})
        EXPECT_EQ(window.GetPixel(x, y), colour) << x << "," << y;

    // A viewport the window's surface does not match is drawn offscreen and
    // its dirty rectangles copied.
    RCPtr<LRenderContextInfo> larger;
    renderer->InitRenderContextInfo({0, 0, 30, 30}, &handle, false, larger);
    larger->dirtyRegion.AddRect(RectT<int32_t>{0, 0, 10, 10});
    renderer->RenderStart(larger);
    renderer->FillRect({0, 0, 30, 30}, kBlueColour, true);
    renderer->RenderFinish(larger);
    EXPECT_EQ(window.GetPixel(3, 3), kBlue);
    EXPECT_EQ(window.GetPixel(15, 15), kRed);
}

namespace {

// A size x size bitmap whose every pixel tells its own column and row.
RCPtr<LBitmap> Numbered(int32_t size)
{
    RCPtr<LBitmap> bitmap = LBitmap::CreateFilledBitmap(size, size, ColorRGBA(0, 0, 0, 1));
    LBitmapData data(bitmap, LBitmapData::kLockWrite);
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x) {
            uint8_t* p = data.GetPixelAddress(x, y);
            p[0] = static_cast<uint8_t>(20 * y), p[1] = static_cast<uint8_t>(20 * x), p[2] = 0x40,
            p[3] = 0xFF;
        }
    return bitmap;
}

uint32_t NumberedAt(int32_t x, int32_t y)
{
    return 0xFF400000u | static_cast<uint32_t>(20 * x) << 8 | static_cast<uint32_t>(20 * y);
}

}  // namespace

TEST_F(GdiRenderer, ACentredBitmapShowsEachOfItsRowsAndColumnsOnce)
{
    renderer->RenderStart(context);
    // Five pixels to spare: it starts at pixel 2 on both axes.
    renderer->DrawBitmap(Numbered(10), {0, 0, 15, 15}, LGDIRenderer::Center);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(Pixel(2 + x, 2 + y), NumberedAt(x, y)) << x << "," << y;
    for (int32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(Pixel(1, i), 0u);
        EXPECT_EQ(Pixel(12, i), 0u);
        EXPECT_EQ(Pixel(i, 1), 0u);
        EXPECT_EQ(Pixel(i, 12), 0u);
    }
}

// Every drawing operation fades with the render state's opacity; the state
// stack brings the opacity back.
TEST_F(GdiRenderer, TheStatesOpacityScalesTheAlphaOfWhatIsDrawn)
{
    const RCPtr<LBitmap> plain = LBitmap::CreateFilledBitmap(4, 4, kRedColour);
    const RCPtr<LBitmap> numbered = Numbered(6);
    PolylineT<float> triangle;
    for (PointT<float> p : {PointT<float>{2, 2}, {30, 2}, {2, 25}})
        triangle.Add(p);
    ColorRectListT<float> list;
    list.AddRect({1, 1, 10, 10}, 0xFF00FF00u);
    const struct
    {
        const char* name;
        std::function<void()> draw;
    } cases[] = {
        {"fill",
         [&] {
             renderer->FillRect({2, 2, 10, 10}, kRedColour, true);
         }},
        {"frame",
         [&] {
             renderer->DrawRect({2, 2, 10, 10}, kRedColour, 1);
         }},
        {"line",
         [&] {
             renderer->DrawLine({2, 2}, {20, 2}, kRedColour, 1);
         }},
        {"polygon",
         [&] {
             renderer->FillPolygon(triangle, kBlueColour, {0, 0}, {1, 1}, true);
         }},
        {"outline",
         [&] {
             renderer->DrawPolygon(triangle, kBlueColour, {0, 0}, {1, 1}, false);
         }},
        {"rectangle list",
         [&] {
             renderer->FillColorRectList(list, {0, 0}, true);
         }},
        {"bitmap",
         [&] {
             renderer->DrawBitmap(plain, {3, 3, 4, 4}, LGDIRenderer::Stretch);
         }},
        {"stretched bitmap",
         [&] {
             renderer->DrawBitmap(numbered, {3, 3, 12, 12}, LGDIRenderer::Stretch);
         }},
        {"tiled bitmap",
         [&] {
             renderer->DrawBitmap(numbered, {3, 3, 24, 24}, LGDIRenderer::Tile);
         }},
        {"text",
         [&] {
             renderer->DrawText(u"MW", LFont::FindOrCreate(u"Arial", 16, 1), {2, 2}, kBlueColour);
         }},
    };
    renderer->RenderStart(context);
    const auto mostAlpha = [&] {
        uint32_t most = 0;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x)
                most = std::max(most, Pixel(x, y) >> 24);
        return most;
    };
    for (const auto& c : cases) {
        for (const float opacity : {1.0f, 0.5f, 0.0f}) {
            renderer->FillRect({0, 0, 40, 30}, {0, 0, 0, 0}, false);
            renderer->PushState();
            renderer->GetCurrentContext()->state.opacity = opacity;
            c.draw();
            renderer->PopState();
            const uint32_t most = mostAlpha();
            EXPECT_NEAR(static_cast<float>(most), 255 * opacity, 1.0f) << c.name << " at " << opacity;
        }
        // Back at full opacity once the state is popped.
        renderer->FillRect({0, 0, 40, 30}, {0, 0, 0, 0}, false);
        c.draw();
        EXPECT_EQ(mostAlpha(), 255u) << c.name;
    }
}
