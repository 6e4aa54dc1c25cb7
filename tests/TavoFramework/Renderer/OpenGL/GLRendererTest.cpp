#include "Platform/Graphics/Graphics.h"
#include "Application/AppClock.h"
#include "Renderer/Bitmap.h"
#include "Renderer/Font.h"
#include "Renderer/OpenGL/GLRenderer.h"
#include "XServer.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 30;

class SurfaceTarget : public Platform::Graphics::IWindowTarget
{
public:
    Platform::Graphics::Surface* GetWindowSurface() override { return &surface; }
    void SurfaceUpdated(const Platform::Graphics::PixelRect*, size_t count) override { updates += count; }
    Platform::Graphics::Surface surface{kWidth, kHeight};
    size_t updates = 0;
};

struct GLRenderer : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(TestXServer().Running());
        renderer = LRenderer::Create(0, {}, nullptr);
        ASSERT_EQ(renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, &target, false, context), S_OK);
    }
    void Frame(const std::function<void()>& draw)
    {
        ASSERT_EQ(renderer->RenderStart(context), S_OK);
        draw();
        ASSERT_EQ(renderer->RenderFinish(context), S_OK);
        ASSERT_EQ(glGetError(), 0u);
        pixels = static_cast<LGLRenderContextInfo&>(*context).GL().ReadFront();
    }
    uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * kWidth + x]; }

    SurfaceTarget target;
    RCPtr<LRenderer> renderer;
    RCPtr<LRenderContextInfo> context;
    std::vector<uint32_t> pixels;
};

TEST_F(GLRenderer, StartsTransparentAndFillsWithBlendOnAndOffInsideTheClip)
{
    Frame([] {});
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0u), kWidth * kHeight);

    Frame([&] {
        renderer->FillRect({0, 0, 20, 30}, ColorRGBA(1, 0, 0, 1), true);
        renderer->FillRect({0, 0, 10, 10}, ColorRGBA(0, 0, 1, 0.5f), true);
        renderer->FillRect({10, 0, 10, 10}, ColorRGBA(0, 0, 1, 0.5f), false);
        CAutoClip clip(renderer, {20, 0, 20, 30}, {20, 0, 5, 5}, {});
        renderer->FillRect({0, 0, 20, 20}, ColorRGBA(0, 1, 0, 1), false);
    });
    EXPECT_EQ(At(5, 20), 0xFFFF0000u);
    const uint32_t blended = At(5, 5);
    EXPECT_NEAR(static_cast<int>((blended >> 16) & 0xFF), 127, 2);
    EXPECT_NEAR(static_cast<int>(blended & 0xFF), 127, 2);
    EXPECT_EQ(At(15, 5) & 0x00FFFFFFu, 0x0000FFu);  // replaced, alpha and all
    EXPECT_NEAR(static_cast<int>(At(15, 5) >> 24), 127, 2);
    EXPECT_EQ(At(22, 2), 0xFF00FF00u);  // inside the clip
    EXPECT_EQ(At(26, 2), 0u);           // beside it
    EXPECT_EQ(target.surface.GetPixel(22, 2), 0xFF00FF00u);
    TestXServer().Screenshot("gl_fills");
}

TEST_F(GLRenderer, FillsLShapedAndSelfIntersectingPolygons)
{
    PolylineT<float> ell, bowtie;
    for (PointT<float> p : {PointT<float>{0, 0}, {10, 0}, {10, 20}, {20, 20}, {20, 30}, {0, 30}})
        ell.Add(p);
    for (PointT<float> p : {PointT<float>{22, 0}, {38, 20}, {38, 0}, {22, 20}})
        bowtie.Add(p);
    Frame([&] {
        renderer->FillPolygon(ell, ColorRGBA(1, 1, 1, 1), {0, 0}, {1, 1}, true);
        renderer->FillPolygon(bowtie, ColorRGBA(1, 1, 0, 1), {0, 0}, {1, 1}, true);
    });
    EXPECT_EQ(At(5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(At(15, 25), 0xFFFFFFFFu);
    EXPECT_EQ(At(15, 5), 0u);  // the notch of the L
    EXPECT_EQ(At(24, 10), 0xFFFFFF00u);
    EXPECT_EQ(At(30, 2), 0u);  // between the two triangles
}

TEST_F(GLRenderer, DrawsBitmapsStretchedTiledAndCentred)
{
    // Blue with a red top-left pixel: an image, not one colour, in every
    // mode; and the all-blue bitmap drawn as a plain fill.
    RCPtr<LBitmap> marked = LBitmap::CreateFilledBitmap(4, 4, ColorRGBA(0, 0, 1, 1));
    {
        LBitmapData data(marked, LBitmapData::kLockWrite);
        const uint8_t red[4] = {0, 0, 0xFF, 0xFF};
        std::copy(std::begin(red), std::end(red), data.GetPixelAddress(0, 0));
    }
    RCPtr<LBitmap> blue = LBitmap::CreateFilledBitmap(1, 1, ColorRGBA(0, 0, 1, 1));
    Frame([&] {
        renderer->DrawBitmap(marked, {0, 0, 12, 8}, 0);
        renderer->DrawBitmap(marked, {14, 0, 10, 6}, 1);
        renderer->DrawBitmap(marked, {26, 0, 12, 12}, 2);
        renderer->DrawBitmap(blue, {0, 20, 8, 6}, 0);
    });
    constexpr uint32_t B = 0xFF0000FFu, R = 0xFFFF0000u;
    const struct
    {
        int32_t x, y;
        uint32_t expected;
    } cases[] = {{0, 0, R},  {11, 7, B},  {12, 3, 0u}, {14, 0, R},  {15, 1, B}, {18, 0, R},
                 {22, 4, R}, {23, 5, B},  {23, 6, 0u}, {29, 5, 0u}, {30, 4, R}, {31, 5, B},
                 {33, 7, B}, {34, 7, 0u}, {31, 8, 0u}, {0, 20, B},  {7, 25, B}, {8, 25, 0u}};
    for (const auto& c : cases)
        EXPECT_EQ(At(c.x, c.y), c.expected) << c.x << "," << c.y;
}

// Where it lands beside the GDI+ renderer's text: the skinned window test.
TEST_F(GLRenderer, DrawsTextInItsColour)
{
    Frame([&] {
        renderer->DrawText(u"Hx", LFont::FindOrCreate(u"Arial", 12, 0), {4, 6}, ColorRGBA(1, 0, 0, 1));
    });
    const auto red = std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0xFFFF0000u; });
    const auto other =
        std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return (p & 0xFFFFu) != 0; });
    EXPECT_GT(red, 10);
    EXPECT_EQ(other, 0);  // coverage is alpha: the colour stays red
}

TEST_F(GLRenderer, PresentsFramesAndCopiesOrMovesOffscreenImages)
{
    // Without a window surface to read into, a frame is presented.
    ASSERT_EQ(renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, false, context), S_OK);
    auto& gl = static_cast<LGLRenderContextInfo&>(*context).GL();
    for (bool copy : {false, true}) {
        gl.SetPresentByCopy(copy);
        Frame([&] { renderer->FillRect({0, 0, 40, 30}, ColorRGBA(0, copy ? 1.0f : 0.0f, 1, 1), false); });
        EXPECT_EQ(At(39, 29), copy ? 0xFF00FFFFu : 0xFF0000FFu) << copy;
    }
    // Only offscreen contexts are images to copy from or move.
    RCPtr<LRenderContextInfo> image;
    renderer->InitRenderContextInfo({0, 0, 8, 8}, nullptr, true, image);
    renderer->RenderStart(image);
    renderer->FillRect({0, 0, 4, 4}, ColorRGBA(1, 0, 0, 1), false);
    renderer->RenderFinish(image);
    EXPECT_EQ(renderer->ClearAndDrawBitmap(context, {0, 0}), E_INVALIDARG);
    EXPECT_EQ(renderer->ClearAndDrawBitmap(image, {2, 0}), S_OK);  // red now at 2..5
    Frame([&] {
        EXPECT_EQ(renderer->DrawBitmapRegion(context, {0, 0}, {0, 0, 4, 4}), E_INVALIDARG);
        EXPECT_EQ(renderer->DrawBitmapRegion(image, {10, 10}, {0, 0, 8, 4}), S_OK);
    });
    EXPECT_EQ(At(11, 11), 0xFF00FFFFu);  // cleared: the last frame shows
    EXPECT_EQ(At(13, 11), 0xFFFF0000u);
}

TEST_F(GLRenderer, TexturesArePowersOfTwoRescaledOnlyToRepeatAndAlphaMasksComeOut)
{
    ASSERT_EQ(renderer->RenderStart(context), S_OK);
    uint32_t pixels[100 * 50] = {0xFF000000u, 0xFFFFFFFFu, 0u};  // black, white, all zero
    for (uint32_t flags : {0u, uint32_t(LGLTexture::kRepeat)}) {
        GLImage image;
        image.Wrap(reinterpret_cast<uint8_t*>(pixels), 400, 4, 100, 50, GLImage::kFormatBGRA,
                   GLImage::kTypeUnsignedByte);
        RCPtr<LGLTexture> texture(new LGLTexture());
        texture->LoadImage(image, flags ? GL_RGBA8 : GL_ALPHA8, flags, 1.0f);
        EXPECT_EQ(texture->GetTextureWidth() * 1000 + texture->GetTextureHeight(), 128064.0f);
        EXPECT_EQ(texture->GetImageWidth(), flags ? 128.0f : 100.0f);
        uint8_t alpha[128 * 64];
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha);
        if (!flags) {
            EXPECT_EQ(alpha[0] * 0x10000 + alpha[1] * 0x100 + alpha[2], 0xFF0000);  // opaque where dark
        }
    }
    renderer->RenderFinish(context);
}

// Which cached list a shape drew from: 0 when none.
uint32_t ListOf(const LGLRenderer& r, LGLRenderer::ShapeKind kind, const PolylineT<float>& shape)
{
    const auto& cache = r.GetListCache(kind);
    for (uint32_t i = 0; i < cache.GetIndexedCount(); ++i)
        if (cache.GetEntry(i).id == shape.GetHandle())
            return cache.GetEntry(i).value ? cache.GetEntry(i).value->GetBase() : 0;
    return 0;
}

TEST_F(GLRenderer, ShapesReplayTheirListsUntilChangedAndBitmapsUploadOnce)
{
    auto& gl = static_cast<LGLRenderer&>(*renderer);
    PolylineT<float> square;
    for (PointT<float> p : {PointT<float>{2, 2}, {12, 2}, {12, 12}, {2, 12}})
        square.Add(p);
    RCPtr<LBitmap> red = LBitmap::CreateFilledBitmap(4, 4, ColorRGBA(1, 0, 0, 1));
    const auto fill = [&](bool cached) {
        gl.FillPolygon(square, ColorRGBA(0, 1, 0, 1), {0, 0}, {1, 1}, cached);
    };
    const auto outline = [&] { gl.DrawPolygon(square, ColorRGBA(0, 0, 1, 1), {0, 0}, {1, 1}, true); };

    Frame([&] { fill(true), outline(), gl.DrawBitmap(red, {20, 0, 4, 4}, 0); });
    const uint32_t first = ListOf(gl, LGLRenderer::kFill, square);
    const uint32_t texture = gl.GetTextureCache().GetEntry(0).value->GetName();
    ASSERT_NE(first, 0u);
    Frame([&] { fill(true), gl.DrawBitmap(red, {20, 0, 4, 4}, 0); });
    EXPECT_EQ(ListOf(gl, LGLRenderer::kFill, square), first);  // replayed
    EXPECT_EQ(gl.GetTextureCache().GetIndexedCount(), 1u);
    // The second texture cache is kept beside the first; nothing draws from it.
    EXPECT_EQ(gl.GetSecondTextureCache().GetCapacity(), 64u);
    EXPECT_EQ(gl.GetSecondTextureCache().GetIndexedCount(), 0u);
    EXPECT_EQ(gl.GetTextureCache().GetEntry(0).value->GetName(), texture);
    EXPECT_EQ(At(7, 7), 0xFF00FF00u);

    // A moved corner: recorded again, and the outline's list is dropped.
    *square.GetItemPtr(2) = {30, 20};
    square.SetChanged(true);
    Frame([&] { fill(true); });
    EXPECT_EQ(ListOf(gl, LGLRenderer::kOutline, square), 0u);
    EXPECT_NE(ListOf(gl, LGLRenderer::kFill, square), 0u);
    EXPECT_EQ(At(25, 16), 0xFF00FF00u);
    Frame([&] { fill(false); });
    EXPECT_EQ(ListOf(gl, LGLRenderer::kFill, square), 0u);
    EXPECT_EQ(At(25, 16), 0xFF00FF00u);  // drawn all the same
}

TEST(GLRendererPurge, DropsWhatWentUnusedForFiveMinutesOnlyWhenTheOutermostFrameEnds)
{
    ASSERT_TRUE(TestXServer().Running());
    ManualAppClock clock;
    clock.Set(1000);
    ScopedAppClock installed(clock);
    RCPtr<LRenderer> renderer = LRenderer::Create(0, {}, nullptr);
    auto& gl = static_cast<LGLRenderer&>(*renderer);
    RCPtr<LRenderContextInfo> outer, inner;
    gl.InitRenderContextInfo({0, 0, 8, 8}, nullptr, true, outer);
    gl.InitRenderContextInfo({0, 0, 8, 8}, nullptr, true, inner);
    PolylineT<float> a, b;
    for (PolylineT<float>* shape : {&a, &b})
        for (PointT<float> p : {PointT<float>{0, 0}, {4, 0}, {4, 4}})
            shape->Add(p);
    const struct
    {
        uint32_t at;
        bool drawA, aKept;
        uint32_t lastPurge;
    } steps[] = {
        {1000, true, true, 1000},
        {301000, false, true, 1000},     // 300000 ms is not above the period
        {301001, false, true, 301001},   // the first purge only sets the mark
        {601002, false, false, 601002},  // a went unused since the mark
    };
    uint32_t previous = 1000;
    for (const auto& step : steps) {
        clock.Set(step.at);
        gl.RenderStart(outer);
        for (PolylineT<float>* shape : {&a, &b})
            if (shape == &b || step.drawA)
                gl.DrawPolyline(*shape, ColorRGBA(1, 1, 1, 1), {0, 0}, {1, 1}, true);
        gl.RenderStart(inner);
        gl.RenderFinish(inner);
        EXPECT_EQ(gl.GetLastPurgeTime(), previous) << "a nested frame's end purged at " << step.at;
        gl.RenderFinish(outer);
        EXPECT_EQ(ListOf(gl, LGLRenderer::kPolyline, a) != 0, step.aKept) << step.at;
        EXPECT_NE(ListOf(gl, LGLRenderer::kPolyline, b), 0u) << step.at;
        EXPECT_EQ(previous = gl.GetLastPurgeTime(), step.lastPurge) << step.at;
    }
}

}  // namespace
