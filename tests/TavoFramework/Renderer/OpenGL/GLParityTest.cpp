// One scene drawn through the OpenGL renderer (type 0) and the GDI+ renderer
// (type 1) into window surfaces, compared pixel by pixel as the window shows
// them (premultiplied): outside the text every channel within 2 levels.
#include "Platform/Graphics/Graphics.h"
#include "Renderer/Bitmap.h"
#include "Renderer/Font.h"
#include "Renderer/OpenGL/GLRenderer.h"
#include "Contrast.h"
#include "XServer.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

using namespace Tavo;
namespace Gfx = Tavo::Platform::Graphics;

namespace {

class WindowSurface : public Gfx::IWindowTarget
{
public:
    WindowSurface(int32_t width, int32_t height) : surface(std::make_unique<Gfx::Surface>(width, height)) {}
    Gfx::Surface* GetWindowSurface() override { return surface.get(); }
    void SurfaceUpdated(const Gfx::PixelRect*, size_t) override {}
    // What the window shows: the surface's own premultiplied pixels.
    uint32_t Shown(int32_t x, int32_t y) const
    {
        cairo_surface_t* native = surface->Native();
        cairo_surface_flush(native);
        const uint8_t* row = cairo_image_surface_get_data(native) +
                             static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(native);
        return reinterpret_cast<const uint32_t*>(row)[x];
    }
    std::unique_ptr<Gfx::Surface> surface;
};

struct Painter
{
    Painter(int32_t type, int32_t width, int32_t height) : window(width, height)
    {
        renderer = LRenderer::Create(type, {}, nullptr);
        renderer->InitRenderContextInfo({0, 0, width, height}, &window, false, context);
    }
    void Paint(const std::function<void(LRenderer&)>& draw)
    {
        context->dirtyRegion.FreeNodes();
        context->dirtyRegion.AddRect(context->viewport);
        ASSERT_EQ(renderer->RenderStart(context), S_OK);
        draw(*renderer);
        ASSERT_EQ(renderer->RenderFinish(context), S_OK);
    }
    // A window grown to a new size, as the native window grows it.
    void Grow(int32_t width, int32_t height)
    {
        window.surface = std::make_unique<Gfx::Surface>(width, height);
        context->viewport = {0, 0, width, height};
    }
    WindowSurface window;
    RCPtr<LRenderer> renderer;
    RCPtr<LRenderContextInfo> context;
};

struct Compared
{
    int32_t differing = 0;
    std::string first;
};

// The pixels that differ by more than 2 levels outside `excluded`; both
// pictures and their difference, the differing pixels red, go side by side
// into the screenshot `name`.
Compared Compare(const std::string& name, const WindowSurface& gl, const WindowSurface& gdi, int32_t width,
                 int32_t height, const std::vector<RectT<int32_t>>& excluded = {})
{
    const std::filesystem::path folder = std::filesystem::path(TAVO_TEST_OUTPUT_DIR) / "screenshots";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    constexpr int32_t kGap = 4;
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width * 3 + kGap * 2, height);
    Compared result;
    for (int32_t y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(out) +
                                        static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(out));
        std::fill(row, row + width * 3 + kGap * 2, 0x808080u);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t a = gl.Shown(x, y), b = gdi.Shown(x, y);
            const int32_t d = ChannelDifference(a, b);
            row[x] = a & 0xFFFFFFu;
            row[width + kGap + x] = b & 0xFFFFFFu;
            row[2 * (width + kGap) + x] = d > 2 ? 0xFF0000u : d > 0 ? 0x606060u : 0x202020u;
            if (d <= 2 || std::any_of(excluded.begin(), excluded.end(), [&](const RectT<int32_t>& r) {
                    return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
                }))
                continue;
            if (result.differing++ < 12) {
                char text[64];
                std::snprintf(text, sizeof text, "\n at %d,%d: OpenGL %08X, GDI+ %08X", x, y, a, b);
                result.first += text;
            }
        }
    }
    cairo_surface_mark_dirty(out);
    cairo_surface_write_to_png(out, (folder / (name + ".png")).string().c_str());
    cairo_surface_destroy(out);
    return result;
}

RCPtr<LBitmap> Checker(int32_t size, uint32_t a, uint32_t b)
{
    RCPtr<LBitmap> bitmap = LBitmap::CreateFilledBitmap(size, size, ColorRGBA(0, 0, 0, 1));
    LBitmapData data(bitmap, LBitmapData::kLockWrite);
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x) {
            const uint32_t argb = ((x / 2 + y / 2) % 2) ? a : b;
            uint8_t* p = data.GetPixelAddress(x, y);
            p[0] = argb & 0xFF, p[1] = (argb >> 8) & 0xFF, p[2] = (argb >> 16) & 0xFF, p[3] = argb >> 24;
        }
    return bitmap;
}

constexpr int32_t kWidth = 320, kHeight = 240;
const RectT<int32_t> kTextArea{8, 200, 304, 34};

void Scene(LRenderer& r)
{
    static const RCPtr<LBitmap> checker = Checker(8, 0xFF2060C0u, 0xFFE0E040u);
    static const RCPtr<LBitmap> translucent = Checker(4, 0x80FF0000u, 0xFF00A000u);
    r.FillRect({0, 0, kWidth, kHeight}, ColorRGBA(1, 1, 1, 1), false);
    // Fills, and translucent fills over opaque ones.
    r.FillRect({8, 8, 60, 40}, ColorRGBA(0.1f, 0.3f, 0.8f, 1), true);
    r.FillRect({20, 20, 60, 40}, ColorRGBA(0, 0, 0, 0.5f), true);
    r.FillRect({40, 30, 40, 20}, ColorRGBA(1, 0, 0, 0.3f), true);
    r.FillRect({90, 8, 30, 30}, ColorRGBA(0.9f, 0.5f, 0.1f, 0.75f), true);
    // Frames, a filled and framed cell, lines.
    r.DrawRect({130, 8, 40, 30}, ColorRGBA(0, 0, 0, 1), 1);
    r.DrawRect({176, 8, 1, 1}, ColorRGBA(0.8f, 0, 0.4f, 1), 1);
    r.FillAndFrameRect({184, 8, 50, 30}, ColorRGBA(0.2f, 0.8f, 0.2f, 0.6f), ColorRGBA(0, 0, 0.5f, 1), 1);
    r.DrawLine({244, 10}, {310, 10}, ColorRGBA(0, 0, 0, 1), 1);
    r.DrawLine({250, 14}, {250, 40}, ColorRGBA(0.5f, 0, 0, 1), 1);
    // A slanted line of one pixel whose slope brings pixel centres within a
    // 256th of a pixel of its edges (26 in 40, say) may differ there with
    // the two rasterisers' rounding; this slope brings none so close.
    r.DrawLine({260, 14}, {300, 34}, ColorRGBA(0, 0, 0.6f, 1), 1);
    r.DrawLine({260, 44}, {300, 54}, ColorRGBA(0, 0.4f, 0, 1), 2);
    // Separate shapes: the GDI+ renderer keeps one path per shape, whichever
    // operation drew it first.
    PolylineT<float> zigzag, pairs;
    for (PointT<float> p : {PointT<float>{130, 44}, {150, 44}, {150, 54}, {170, 54}, {190, 46}}) {
        zigzag.Add(p);
        pairs.Add({p.x + 80, p.y});
    }
    r.DrawPolyline(zigzag, ColorRGBA(0.3f, 0, 0.3f, 1), {0, 0}, {1, 1}, true);
    r.DrawLines(pairs, ColorRGBA(0, 0.3f, 0.3f, 1), {0, 0}, {1, 1}, true);
    // Polygons: filled, outlined, an L and a triangle.
    PolylineT<float> ell, triangle;
    for (PointT<float> p : {PointT<float>{8, 60}, {28, 60}, {28, 90}, {48, 90}, {48, 100}, {8, 100}})
        ell.Add(p);
    for (PointT<float> p : {PointT<float>{60, 100}, {100, 60}, {100, 100}})
        triangle.Add(p);
    r.FillPolygon(ell, ColorRGBA(0.6f, 0.2f, 0.6f, 1), {0, 0}, {1, 1}, true);
    r.FillPolygon(triangle, ColorRGBA(0, 0.5f, 0.5f, 0.5f), {10, 0}, {1, 1}, true);
    r.DrawPolygon(ell, ColorRGBA(0, 0, 0, 1), {100, 0}, {1, 1}, true);
    // Bitmaps: stretched, tiled, centred, and one with translucent pixels.
    r.DrawBitmap(checker, {170, 60, 8, 8}, 0);
    r.DrawBitmap(checker, {182, 60, 30, 21}, 1);
    r.DrawBitmap(checker, {216, 60, 20, 20}, 2);
    r.DrawBitmap(translucent, {240, 60, 10, 10}, 1);
    r.DrawBitmap(checker, {256, 60, 16, 16}, 0);
    r.DrawBitmap(checker, {276, 60, 12, 30}, 0);
    // Colour-rectangle lists: overlapping, the first on top.
    ColorRectListT<float> list;
    list.AddRect({0, 0, 20, 20}, 0xFFC02020u);
    list.AddRect({10, 10, 20, 20}, 0xFF2020C0u);
    list.AddRect({5, 25, 30, 10}, 0x8000FF00u);
    list.SetScale(1.5f, 1.0f);
    r.FillColorRectList(list, {8, 120}, true);
    // Inside a clip and a translation.
    {
        CAutoClip clip(RCPtr<LRenderer>(&r), {100, 120, 60, 40}, {100, 120, 30, 30}, {});
        r.FillRect({0, 0, 60, 40}, ColorRGBA(0.3f, 0.3f, 0.3f, 1), true);
        r.FillRect({10, 10, 60, 40}, ColorRGBA(1, 1, 0, 0.5f), true);
    }
    // Frames of even width have edges on pixel centres; a bitmap centred
    // with an odd number of pixels to spare.
    r.DrawRect({8, 166, 30, 20}, ColorRGBA(0, 0, 0, 1), 2);
    r.DrawRect({50, 166, 30, 20}, ColorRGBA(0.6f, 0, 0, 1), 4);
    r.DrawRect({92, 166, 30, 20}, ColorRGBA(0, 0, 0.6f, 1), 3);
    r.FillAndFrameRect({134, 166, 20, 20}, ColorRGBA(0.9f, 0.9f, 0.2f, 1), ColorRGBA(0, 0.4f, 0, 1), 2);
    r.DrawBitmap(checker, {166, 166, 13, 13}, 2);
    r.DrawText(u"Firmware 1.04 \u4e2d\u6587", LFont::FindOrCreate(u"Arial", 14, 0),
               {kTextArea.x + 2, kTextArea.y + 6}, ColorRGBA(0, 0, 0, 1));
}

TEST(GLParity, OneSceneMatchesTheGdiPlusRendererOutsideTheText)
{
    ASSERT_TRUE(TestXServer().Running());
    Painter gl(0, kWidth, kHeight), gdi(1, kWidth, kHeight);
    gl.Paint(Scene);
    gdi.Paint(Scene);
    const Compared c = Compare("gl_gdi_scene", gl.window, gdi.window, kWidth, kHeight, {kTextArea});
    EXPECT_EQ(c.differing, 0) << c.first;
}

// The whole scene at half opacity: everything but the unblended fill fades,
// alike in both.
TEST(GLParity, AtHalfOpacityTheSceneFadesAlike)
{
    ASSERT_TRUE(TestXServer().Running());
    Painter gl(0, kWidth, kHeight), gdi(1, kWidth, kHeight);
    const auto faded = [](LRenderer& r) {
        r.PushState();
        r.GetCurrentContext()->state.opacity = 0.5f;
        Scene(r);
        r.PopState();
    };
    gl.Paint(faded);
    gdi.Paint(faded);
    const Compared c = Compare("gl_gdi_scene_half", gl.window, gdi.window, kWidth, kHeight, {kTextArea});
    EXPECT_EQ(c.differing, 0) << c.first;
    // (0.1, 0.3, 0.8) over white at half alpha; a stretched checker pixel
    // (0xE0E040) likewise.
    for (const WindowSurface* w : {&gl.window, &gdi.window}) {
        EXPECT_LE(ChannelDifference(w->Shown(10, 10), 0xFF8CA5E6u), 2) << std::hex << w->Shown(10, 10);
        EXPECT_LE(ChannelDifference(w->Shown(170, 60), 0xFFEFEF9Fu), 2) << std::hex << w->Shown(170, 60);
    }
}

TEST(GLParity, AGrownWindowIsPaintedWhole)
{
    ASSERT_TRUE(TestXServer().Running());
    Painter gl(0, 50, 50), gdi(1, 50, 50);
    const auto draw = [](LRenderer& r) {
        r.FillRect({0, 0, 120, 120}, ColorRGBA(0.2f, 0.4f, 0.6f, 1), false);
        r.FillRect({100, 100, 20, 20}, ColorRGBA(1, 0.5f, 0, 1), true);
        r.DrawRect({60, 60, 59, 59}, ColorRGBA(0, 0, 0, 1), 1);
    };
    for (Painter* p : {&gl, &gdi}) {
        p->Paint(draw);
        p->Grow(120, 120);
        p->Paint(draw);
    }
    // The new part is drawn, and alike in both.
    EXPECT_EQ(gl.window.Shown(119, 119), 0xFF000000u);
    EXPECT_EQ(gl.window.Shown(110, 105), 0xFFFF8000u);
    const Compared c = Compare("gl_gdi_grown", gl.window, gdi.window, 120, 120);
    EXPECT_EQ(c.differing, 0) << c.first;
}

}  // namespace
