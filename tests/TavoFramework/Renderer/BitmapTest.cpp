#include "Renderer/Bitmap.h"
#include "Renderer/Gdi/GDIRenderer.h"
#include "tests/Common/TestScope.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cctype>
#include <functional>

using namespace Tavo;

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;

// A PNG whose pixel colour is chosen per position.
std::string WritePng(const TestFolder& folder, const std::string& name, int w, int h,
                     const std::function<uint32_t(int, int)>& colour)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<uint32_t*>(data + y * stride)[x] = colour(x, y);
    cairo_surface_mark_dirty(s);
    const std::string path = folder / name;
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return path;
}

struct Bitmaps : ::testing::Test
{
    TestFolder folder;
    // Left half red, right half blue, bottom-right pixel green.
    std::string path = WritePng(folder, "quad.png", 10, 10, [](int x, int y) {
        if (x == 9 && y == 9)
            return kGreen;
        return x < 5 ? kRed : kBlue;
    });
    WString Name() { return WString(NString(path.c_str())); }
};

struct BitmapDrawing : Bitmaps
{
    RCPtr<LGDIRenderer> renderer{new LGDIRenderer()};
    RCPtr<LRenderContextInfo> context;
    void SetUp() override
    {
        renderer->InitRenderContextInfo({0, 0, 40, 40}, nullptr, true, context);
        renderer->RenderStart(context);
    }
    void TearDown() override { renderer->RenderFinish(context); }
    uint32_t Pixel(int32_t x, int32_t y)
    {
        return static_cast<LGDIRenderContextInfo&>(*context).GetSurface()->GetBitmap()->GetPixel(x, y);
    }
};

}  // namespace

TEST_F(Bitmaps, CacheSharesByCanonicalPathWhileHeld)
{
    const uint32_t before = LBitmap::GetCacheCount();
    RCPtr<LBitmap> a = LBitmap::LoadCached(Name());
    ASSERT_TRUE(a);
    // Another spelling of the same file shares it; a file whose name differs in case is another image.
    RCPtr<LBitmap> upper = LBitmap::LoadCached(WString(NString((folder / "./quad.png").c_str())));
    EXPECT_EQ(upper.Get(), a.Get());
    const std::string other = WritePng(folder, "QUAD.png", 3, 3, [](int, int) { return kGreen; });
    RCPtr<LBitmap> shouted = LBitmap::LoadCached(WString(NString(other.c_str())));
    EXPECT_NE(shouted.Get(), a.Get());
    EXPECT_EQ(LBitmap::GetCacheCount(), before + 2);
    shouted = nullptr;
    EXPECT_EQ(LBitmap::GetCacheCount(), before + 1);

    EXPECT_FALSE(LBitmap::LoadCached(u"::NoSuchImage.png"));
    EXPECT_FALSE(LBitmap::LoadCached(WString(NString((folder / "missing.png").c_str()))));
    EXPECT_EQ(LBitmap::GetCacheCount(), before + 1);

    // A sub-bitmap keeps the root alive after the outside holders go.
    RCPtr<LBitmap> sub = a->CreateSubBitmap(5, 0, 5, 10);
    upper = nullptr;
    a = nullptr;
    EXPECT_EQ(LBitmap::GetCacheCount(), before + 1);
    sub = nullptr;
    EXPECT_EQ(LBitmap::GetCacheCount(), before);
    EXPECT_TRUE(LBitmap::LoadCached(Name()));
}

TEST_F(Bitmaps, EmbeddedImagesAreFoundByTheirResourceName)
{
    // "::My Swatch.png" is the resource "MY_SWATCH_PNG", cached under its upper-cased name.
    RCPtr<LBitmap> swatch = LBitmap::LoadCached(u"::My Swatch.png");
    ASSERT_TRUE(swatch);
    EXPECT_EQ(swatch->GetCacheKey(), WString(u"::MY SWATCH.PNG"));
    EXPECT_EQ(swatch->GetPixelColor(2, 1).ToARGB(), 0xFF0080FFu);
    EXPECT_EQ(LBitmap::LoadCached(u"::my swatch.PNG").Get(), swatch.Get());
}

TEST_F(Bitmaps, SubBitmapsAddOffsetsAndShareTheRootsPixels)
{
    RCPtr<LBitmap> root = LBitmap::LoadCached(Name());
    RCPtr<LBitmap> whole = root->CreateSubBitmap(3, 3, 0, 5);
    EXPECT_EQ(whole->GetWidth(), 10);
    RCPtr<LBitmap> right = root->CreateSubBitmap(4, 2, 6, 8);
    RCPtr<LBitmap> inner = right->CreateSubBitmap(1, 1, 5, 7);
    EXPECT_EQ(inner->GetParent().Get(), root.Get());
    EXPECT_EQ(inner->GetX(), 5);
    EXPECT_EQ(inner->GetPixelColor(0, 0).ToARGB(), kBlue);
    EXPECT_EQ(right->GetPixelColor(0, 0).ToARGB(), kRed);
    EXPECT_EQ(inner->GetPixelColor(4, 6).ToARGB(), kGreen);

    RCPtr<LBitmap> copy = inner->Duplicate();
    EXPECT_FALSE(copy->GetParent());
    EXPECT_EQ(copy->GetPixelColor(4, 6).ToARGB(), kGreen);
}

TEST_F(Bitmaps, PixelDataCoversTheWholeRootAndWritesBackOnlyWhenAskedTo)
{
    RCPtr<LBitmap> root = LBitmap::LoadCached(Name());
    RCPtr<LBitmapData> data = root->CreateSubBitmap(5, 5, 2, 2)->GetBitmapData();
    ASSERT_EQ(data->GetWidth(), 10);
    EXPECT_EQ(data->GetStride(), 40);
    const uint8_t* green = data->GetPixelAddress(9, 9);
    EXPECT_EQ(green[1], 0xFF);
    EXPECT_EQ(data->GetPixelAddress(10, 0), nullptr);

    RCPtr<LBitmap> copy = root->Duplicate();
    {
        RCPtr<LBitmapData> writable(new LBitmapData(copy, LBitmapData::kLockRead | LBitmapData::kLockWrite));
        writable->GetPixelAddress(0, 0)[0] = 0xFF;
    }
    EXPECT_EQ(copy->GetPixelColor(0, 0).ToARGB(), 0xFFFF00FFu);
    EXPECT_EQ(root->GetPixelColor(0, 0).ToARGB(), kRed);
}

TEST_F(Bitmaps, ColorizingBlendsTowardsTheColorizersColours)
{
    LColorizer green;
    green.color = {0, 1, 0, 1};
    RCPtr<LBitmap> root = LBitmap::LoadCached(Name());

    // Amount 0 keeps the colours; half blends halfway; only the sub-rectangle changes.
    RCPtr<LBitmap> same = LBitmap::GetColorizedBitmap(&green, 0, 0, 0, root, nullptr);
    EXPECT_EQ(same->GetPixelColor(0, 0).ToARGB(), kRed);
    RCPtr<LBitmap> half =
        LBitmap::GetColorizedBitmap(&green, 0.5f, 0, 0, nullptr, root->CreateSubBitmap(0, 0, 5, 5));
    EXPECT_EQ(half->GetPixelColor(4, 4).ToARGB(), 0xFF808000u);
    EXPECT_EQ(root->GetPixelColor(4, 4).ToARGB(), kRed);

    RCPtr<LBitmap> filled = LBitmap::GetColorizedBitmap(&green, 0.5f, 2, 2, nullptr, nullptr);
    EXPECT_EQ(filled->GetPixelColor(1, 1).ToARGB(), 0x8000FF00u);

    // A vertical gradient from green to blue: the top row leans green, the bottom blue.
    RCPtr<LColorizer> gradient =
        LColorizer::Create(u"g", LColorizer::kLinearGradient, {0, 1, 0, 1}, {0, 0, 1, 1}, 0, 0, 0, 1);
    RCPtr<LBitmap> ramp = LBitmap::GetColorizedBitmap(gradient.Get(), 1, 1, 4, nullptr, nullptr);
    EXPECT_EQ(ramp->GetPixelColor(0, 0).ToARGB(), 0xFF00DF20u);
    EXPECT_EQ(ramp->GetPixelColor(0, 3).ToARGB(), 0xFF0020DFu);
    RCPtr<LBitmap> tinted =
        LBitmap::GetColorizedBitmap(gradient.Get(), 1, 0, 0, nullptr, root->CreateSubBitmap(0, 0, 1, 4));
    EXPECT_EQ(tinted->GetPixelColor(0, 3).ToARGB(), 0xFF0020DFu);
    EXPECT_THROW(LBitmap::GetColorizedBitmap(&green, 1, 2, 2, root, root), std::domain_error);
    EXPECT_THROW(LBitmap::ApplyColorizer(root, nullptr, 1), std::runtime_error);
}

TEST_F(BitmapDrawing, StretchTileAndCenterPlaceThePixels)
{
    RCPtr<LBitmap> bitmap = LBitmap::LoadCached(Name());
    RCPtr<LBitmap> left = bitmap->CreateSubBitmap(0, 0, 5, 5);
    RCPtr<LBitmap> right = bitmap->CreateSubBitmap(5, 5, 5, 5);

    // Stretched bilinearly: the halves blend where they meet, the edges keep their colour.
    renderer->DrawBitmap(bitmap, {0, 0, 20, 20}, LGDIRenderer::Stretch);
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_EQ(Pixel(11, 0), kBlue);
    EXPECT_EQ(Pixel(19, 19), kGreen);
    const uint32_t seam = Pixel(9, 0);
    EXPECT_GT((seam >> 16) & 0xFF, 0x20u);
    EXPECT_GT(seam & 0xFF, 0x20u);

    // 12 wide is under three tiles: single draws; 15 is three: the texture fill.
    renderer->DrawBitmap(right, {20, 0, 12, 12}, LGDIRenderer::Tile);
    EXPECT_EQ(Pixel(24, 4), kGreen);
    EXPECT_EQ(Pixel(30, 10), kBlue);
    EXPECT_EQ(Pixel(32, 0), 0u);
    renderer->DrawBitmap(right, {20, 20, 15, 15}, LGDIRenderer::Tile);
    EXPECT_EQ(Pixel(34, 34), kGreen);

    renderer->DrawBitmap(left, {0, 25, 9, 9}, LGDIRenderer::Center);
    EXPECT_EQ(Pixel(1, 27), 0u);
    EXPECT_EQ(Pixel(2, 27), kRed);
    EXPECT_EQ(Pixel(7, 32), 0u);
}

TEST_F(BitmapDrawing, PreparedSizeIsCachedWhateverTheTypeAndBadTypesThrowOnAMiss)
{
    RCPtr<LBitmap> bitmap = LBitmap::LoadCached(Name());
    renderer->DrawBitmap(bitmap, {0, 0, 10, 10}, 7);
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_THROW(renderer->DrawBitmap(bitmap, {0, 0, 20, 20}, 7), std::invalid_argument);
    // The failed preparation left nothing to draw from: a valid type prepares it.
    renderer->DrawBitmap(bitmap, {0, 0, 20, 20}, LGDIRenderer::Center);
    EXPECT_EQ(Pixel(14, 14), kGreen);
    renderer->DrawBitmap(bitmap, {20, 20, 20, 20}, LGDIRenderer::Center);
    // The centred preparation serves a later stretch request of the same size.
    renderer->DrawBitmap(bitmap, {20, 0, 20, 20}, LGDIRenderer::Stretch);
    EXPECT_EQ(Pixel(20, 0), 0u);
    EXPECT_EQ(Pixel(25, 5), kRed);

    RCPtr<LGDIRenderer> idle(new LGDIRenderer());
    EXPECT_THROW(idle->DrawBitmap(bitmap, {0, 0, 1, 1}, 0), std::runtime_error);
}

TEST_F(BitmapDrawing, NoSizeCrashesLargeOnesAreRefused)
{
    const ColorRGBA red{1, 0, 0, 1};
    const struct
    {
        int32_t width, height;
        bool made;
    } cases[] = {{40000, 1, false}, {1, 40000, false}, {0, 5, false}, {-3, 2, false},
                 {1, 1, true},      {300, 2, true},    {3, 2, true}};
    for (const auto& c : cases) {
        if (c.made)
            EXPECT_EQ(
                LBitmap::CreateFilledBitmap(c.width, c.height, red)->GetPixelColor(c.width - 1, 0).ToARGB(),
                kRed);
        else
            EXPECT_THROW(LBitmap::CreateFilledBitmap(c.width, c.height, red), std::runtime_error) << c.width;
    }
    // A target too large to prepare draws nothing; a copy too large to make is none.
    RCPtr<LBitmap> small = LBitmap::CreateFilledBitmap(2, 2, red);
    renderer->DrawBitmap(small, {0, 0, 40000, 2}, LGDIRenderer::Stretch);
    EXPECT_EQ(Pixel(0, 0), 0u);
    EXPECT_FALSE(small->CreateSubBitmap(0, 0, 40000, 1)->Duplicate());
    // Pixel data of a sub-bitmap reaching past its root covers what the root has.
    RCPtr<LBitmapData> data(
        new LBitmapData(small->CreateSubBitmap(1, 0, 40000, 40000), LBitmapData::kLockRead));
    EXPECT_EQ(data->GetWidth() * data->GetHeight(), 2);

    RCPtr<LPixelBuffer<int32_t>> buffer(new LPixelBuffer<int32_t>(2, 2, 2));
    EXPECT_THROW(LBitmapData(small, LBitmapData::kLockRead, buffer), std::domain_error);
}
