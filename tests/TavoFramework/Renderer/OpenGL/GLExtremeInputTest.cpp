// Extreme input through both renderers on Mesa under the program's own
// Xvfb: each case ends with what the renderer promises, never a crash.
#include "Platform/App/MessageBox.h"
#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderContext.h"
#include "Renderer/OpenGL/GLRenderer.h"
#include "ThrownText.h"
#include "XServer.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 120, kHeight = 60;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct Offscreen
{
    explicit Offscreen(int32_t type, int32_t width = kWidth, int32_t height = kHeight)
        : renderer(LRenderer::Create(type, {}, nullptr))
    {
        renderer->InitRenderContextInfo({0, 0, width, height}, nullptr, true, context);
    }
    // Pixels that are not transparent after one frame of the drawing.
    int32_t Ink(const std::function<void(LRenderer&)>& draw)
    {
        renderer->RenderStart(context);
        draw(*renderer);
        renderer->RenderFinish(context);
        int32_t ink = 0;
        if (auto* gl = dynamic_cast<LGLRenderContextInfo*>(context.Get())) {
            for (uint32_t p : gl->GL().ReadFront())
                ink += p != 0;
        } else if (auto* gdi = dynamic_cast<LGDIRenderContextInfo*>(context.Get())) {
            const Platform::Graphics::Surface* s = gdi->GetSurface()->GetBitmap();
            for (int32_t y = 0; s && y < s->Height(); ++y)
                for (int32_t x = 0; x < s->Width(); ++x)
                    ink += s->GetPixel(x, y) != 0;
        }
        return ink;
    }
    RCPtr<LRenderer> renderer;
    RCPtr<LRenderContextInfo> context;
};

// A 20 x 20 square with one point that is not a number or not finite
// between its corners: the square is filled, the bad point left out.
std::string SquareWith(int32_t type, float bad)
{
    PolylineT<float> square;
    for (PointT<float> p : {PointT<float>{10, 10}, {30, 10}, {bad, 20}, {30, 30}, {10, 30}})
        square.Add(p);
    PolylineT<float> allBad;
    for (int i = 0; i < 4; ++i)
        allBad.Add({bad, static_cast<float>(i)});
    const int32_t ink = Offscreen(type).Ink([&](LRenderer& r) {
        r.FillPolygon(square, ColorRGBA(1, 1, 1, 1), {0, 0}, {1, 1}, true);
        r.FillPolygon(allBad, ColorRGBA(1, 1, 1, 1), {0, 0}, {1, 1}, false);
    });
    return ink >= 20 * 20 ? "filled" : "ink " + std::to_string(ink);
}

std::string Arial12Ink(int32_t type)
{
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", 12, 0);
    const int32_t ink = Offscreen(type).Ink([&](LRenderer& r) {
        r.DrawText(u"Hello", font, {4, 10}, ColorRGBA(1, 1, 1, 1));
    });
    return ink > 50 ? "ink" : "blank";
}

// The frame as white on black, beside the test results.
void SavePicture(const std::string& name, const std::vector<uint32_t>& pixels, int32_t width, int32_t height)
{
    const std::filesystem::path folder = std::filesystem::path(TAVO_TEST_OUTPUT_DIR) / "screenshots";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int32_t y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(out) +
                                        static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(out));
        for (int32_t x = 0; x < width; ++x)
            row[x] = (pixels[static_cast<size_t>(y) * width + x] >> 24) * 0x010101u;
    }
    cairo_surface_mark_dirty(out);
    cairo_surface_write_to_png(out, (folder / (name + ".png")).string().c_str());
    cairo_surface_destroy(out);
}

// Text through OpenGL: its ink and its measured width.
std::string GLText(const char* name, const char16_t* text, float size, int32_t height, int32_t y = 2)
{
    Offscreen target(0, 400, height);
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", size, 0);
    const int32_t ink = target.Ink([&](LRenderer& r) {
        r.DrawText(text, font, {2, y}, ColorRGBA(1, 1, 1, 1));
    });
    SavePicture(name, static_cast<LGLRenderContextInfo&>(*target.context).GL().ReadFront(), 400, height);
    const RectT<float> measured = target.renderer->MeasureString(text, font);
    return std::string(ink > size * 2 ? "ink" : "blank") + ", " +
           (measured.width > size ? "measured wide" : "measured " + std::to_string(measured.width));
}

// Ink of a fill under a clip set with a pushed clip and directly.
std::string ClipInk(int32_t type, const RectT<double>& clip)
{
    Offscreen target(type);
    const int32_t pushed = target.Ink([&](LRenderer& r) {
        r.PushClip({0, 0, 0, 0}, clip, nullptr, false);
        r.FillRect({0, 0, kWidth, kHeight}, ColorRGBA(1, 1, 1, 1), true);
        r.PopState();
    });
    const int32_t set = target.Ink([&](LRenderer& r) {
        r.PushState();
        r.SetClipRect(clip);
        r.FillRect({0, 0, kWidth, kHeight}, ColorRGBA(1, 1, 1, 1), true);
        r.PopState();
    });
    return std::to_string(pushed) + ", " + std::to_string(set);
}

// The width measured at a size, over the width at a tenth of it.
std::string TenfoldWidth(int32_t type, float size)
{
    Offscreen target(type);
    const float large =
        target.renderer->MeasureString(u"Hello", LFont::FindOrCreate(u"Arial", size, 0)).width;
    const float small =
        target.renderer->MeasureString(u"Hello", LFont::FindOrCreate(u"Arial", size / 10, 0)).width;
    return std::abs(large / small - 10) < 0.2f ? "ten times"
                                               : std::to_string(large) + " / " + std::to_string(small);
}

TEST(ExtremeInput, EndsWithTheRenderersOwnResultNeverACrash)
{
    ASSERT_TRUE(TestXServer().Running());
    std::vector<std::string> boxes;
    Platform::App::SetMessageBoxHook([&](uintptr_t, const std::string& text, const std::string& caption,
                                         uint32_t) -> std::optional<int32_t> {
        boxes.push_back(caption + ": " + text);
        return 1;
    });
    const struct
    {
        const char* name;
        std::function<std::string()> run;
        std::string expected;
        std::vector<std::string> told = {};  // message boxes shown
    } cases[] = {
        {"OpenGL polygon, a point not a number", [] { return SquareWith(0, kNaN); }, "filled"},
        {"OpenGL polygon, an infinite point", [] { return SquareWith(0, kInfinity); }, "filled"},
        {"OpenGL polygon, a point infinitely far left", [] { return SquareWith(0, -kInfinity); }, "filled"},
        {"GDI+ polygon, a point not a number", [] { return SquareWith(1, kNaN); }, "filled"},
        {"OpenGL context of 40000 x 40000",
         [] {
             RCPtr<LRenderer> r = LRenderer::Create(0, {}, nullptr);
             RCPtr<LRenderContextInfo> context;
             return ThrownText([&] {
                 r->InitRenderContextInfo({0, 0, 40000, 40000}, nullptr, false, context);
             });
         },
         "Runtime Error : Tavo::LGLRenderer::InitRenderContextInfo : Renderer\\OpenGL\\GLRenderer : Line "
         "336",
         {"OpenGL Error: SetPixelFormat failed.Updating your video card driver, with the latest driver from "
          "the "
          "manufacturer of your video card, may solve this issue."}},
        {"OpenGL window grown past the largest drawable",
         [] {
             Offscreen target(0, 20, 20);
             target.context->viewport = {0, 0, 40000, 20};
             const TavoResult start = target.renderer->RenderStart(target.context);
             target.renderer->RenderFinish(target.context);
             target.context->viewport = {0, 0, 30, 20};
             const int32_t ink = target.Ink([](LRenderer& r) {
                 r.FillRect({0, 0, 30, 20}, {1, 1, 1, 1}, false);
             });
             return std::to_string(start) + ", then " + std::to_string(ink);
         },
         std::to_string(E_FAIL) + ", then 600"},
        {"GDI+ context 32768 wide",
         [] {
             Offscreen target(1, 32768, 10);
             const TavoResult start = target.renderer->RenderStart(target.context);
             target.renderer->FillRect({0, 0, 10, 10}, ColorRGBA(1, 1, 1, 1), true);
             target.renderer->RenderFinish(target.context);
             auto& gdi = static_cast<LGDIRenderContextInfo&>(*target.context);
             const bool none = gdi.GetGraphics() == nullptr;
             target.context->viewport = {0, 0, 100, 10};
             const int32_t ink = target.Ink([](LRenderer& r) {
                 r.FillRect({0, 0, 10, 10}, {1, 1, 1, 1}, true);
             });
             return std::to_string(start) + (none ? ", no surface" : ", a surface") + ", then " +
                    std::to_string(ink);
         },
         "0, no surface, then 100"},
        {"GDI+ context 32768 high",
         [] {
             Offscreen target(1, 10, 32768);
             return ThrownText([&] {
                 target.renderer->RenderStart(target.context);
                 target.renderer->DrawText(u"x", LFont::FindOrCreate(u"Arial", 12, 0), {0, 0}, {1, 1, 1, 1});
                 target.renderer->RenderFinish(target.context);
             });
         },
         "nothing thrown"},
        {"50000 pt measured, then Arial 12 drawn",
         [] {
             const std::string before = Arial12Ink(1);
             RCPtr<LFont> huge = LFont::FindOrCreate(u"Arial", 50000, 0);
             for (int32_t type : {1, 0}) {
                 Offscreen target(type);
                 target.renderer->MeasureString(u"Hello", huge);
                 target.Ink([&](LRenderer& r) { r.DrawText(u"H", huge, {-9000, -40000}, {1, 1, 1, 1}); });
             }
             return before + ", " + Arial12Ink(1) + ", " + Arial12Ink(0);
         },
         "ink, ink, ink"},
        {"OpenGL clip with a left edge not a number",
         [] {
             return ClipInk(0, {kNaN, 0, 50, 50});
         },
         "0, 0"},
        {"OpenGL clip with a height not a number",
         [] {
             return ClipInk(0, {0, 0, 50, kNaN});
         },
         "0, 0"},
        {"OpenGL clip from infinitely far left",
         [] {
             return ClipInk(0, {-kInfinity, 0, kInfinity, 50});
         },
         "0, 0"},
        {"OpenGL clip infinitely wide",
         [] {
             return ClipInk(0, {0, 0, kInfinity, 10});
         },
         "0, 0"},
        {"OpenGL clip from -1e300",
         [] {
             return ClipInk(0, {-1e300, -1e300, 2e300, 2e300});
         },
         "7200, 7200"},
        {"GDI+ clip with a left edge not a number",
         [] {
             return ClipInk(1, {kNaN, 0, 50, 50});
         },
         "0, 0"},
        {"GDI+ clip infinitely wide",
         [] {
             return ClipInk(1, {0, 0, kInfinity, 10});
         },
         "0, 0"},
        {"GDI+ clip from -1e300",
         [] {
             return ClipInk(1, {-1e300, -1e300, 2e300, 2e300});
         },
         "7200, 7200"},
        {"OpenGL 50000 pt measured", [] { return TenfoldWidth(0, 50000); }, "ten times"},
        {"OpenGL 1e30 pt measured",
         [] {
             Offscreen target(0);
             const RectT<float> r =
                 target.renderer->MeasureString(u"Hello", LFont::FindOrCreate(u"Arial", 1e30f, 0));
             return std::isfinite(r.width) && r.width > 1e6f ? "wide, finite" : std::to_string(r.width);
         },
         "wide, finite"},
        {"GDI+ 50000 pt measured", [] { return TenfoldWidth(1, 50000); }, "ten times"},
        {"200 pt OpenGL text", [] { return GLText("gl_text_200pt", u"Wg", 200, 400); }, "ink, measured wide"},
        // Its glyph is some 18000 pixels high, its top some 5800 below the line's:
        // the top of it shows.
        {"20000 pt OpenGL text", [] { return GLText("gl_text_20000pt", u"W", 20000, 400, -5900); },
         "ink, measured wide"},
        {"CJK line through OpenGL", [] { return GLText("gl_text_cjk", u"\u4e2d\u6587\u5b57\u9ad4", 16, 40); },
         "ink, measured wide"},
        {"emoji line through OpenGL",
         [] { return GLText("gl_text_emoji", u"\U0001F600\U0001F642\u2764", 16, 40); }, "ink, measured wide"},
    };
    for (const auto& c : cases) {
        boxes.clear();
        EXPECT_EQ(c.run(), c.expected) << c.name;
        EXPECT_EQ(boxes, c.told) << c.name;
    }
    Platform::App::SetMessageBoxHook(nullptr);
}

}  // namespace
