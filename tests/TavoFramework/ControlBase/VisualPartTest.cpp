#include "ControlBase/VisualPart.h"
#include "RecordingRenderer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Tavo;

namespace {

constexpr uint32_t kNone = LVisualPart::kTransparent;

RCPtr<LColorizer> Solid(uint32_t argb)
{
    ColorRGBA c;
    c.FromARGB(argb);
    return LColorizer::Create(u"c", LColorizer::kSolid, c, c, 0, 0, 0, 0);
}

// A transparent w x h image with opaque red pixels at the given points.
RCPtr<LBitmap> Sparse(int32_t w, int32_t h, std::initializer_list<PointT<int32_t>> opaque)
{
    RCPtr<LBitmap> b = LBitmap::CreateFilledBitmap(w, h, {1, 1, 1, 0});
    RCPtr<LBitmapData> data(new LBitmapData(b, LBitmapData::kLockRead | LBitmapData::kLockWrite));
    for (const auto& p : opaque) {
        uint8_t* px = data->GetPixelAddress(p.x, p.y);
        px[0] = 0, px[1] = 0, px[2] = 0xFF, px[3] = 0xFF;
    }
    return b;
}

}  // namespace

TEST(VisualPart, ColourPartsFillTheirRectangleUnlessInvisible)
{
    struct Case
    {
        int32_t resize;
        uint32_t colour;
        float alphaMod;
        float w, h;
        const char* expected;  // empty: nothing drawn
    } cases[] = {{LVisualPart::kTile, 0x80102030, 0.5f, 9.5f, 4.4f, "Fill 0,0 10x4 40102030"},
                 // Larger than the target: starts left of and above the origin.
                 {LVisualPart::kCenter, 0xFF000000, 1.0f, 2, 3, "Fill -4,-3 10x10 FF000000"},
                 {LVisualPart::kStretch, 0xFF000000, 0.0f, 5, 5, ""},
                 // A size that is no number or infinite has nowhere to draw.
                 {LVisualPart::kStretch, 0xFF000000, 1.0f, 5, NAN, ""},
                 {LVisualPart::kCenter, 0xFF000000, 1.0f, NAN, 5, ""},
                 {LVisualPart::kTile, 0xFF000000, 1.0f, INFINITY, 5, ""},
                 {LVisualPart::kStretch, 0xFF000000, 1.0f, 5, -INFINITY, ""}};
    for (const Case& c : cases) {
        Tavo::Test::RecordingRenderer r;
        r.Begin();
        auto part =
            LVisualPart::CreateColorPart(u"p", Solid(c.colour), 10, 10, c.resize, c.alphaMod, nullptr);
        EXPECT_EQ(part->Draw(r, c.w, c.h), S_OK);
        std::string got = r.calls.empty() ? "" : r.calls[0].substr(0, r.calls[0].find(" clip"));
        EXPECT_EQ(got, c.expected);
        r.End();
    }
    EXPECT_FALSE(LVisualPart::CreateColorPart(u"none", nullptr, 1, 1, 0, 1, nullptr));
    // An image part too.
    Tavo::Test::RecordingRenderer r;
    r.Begin();
    auto image = LVisualPart::CreateImagePart(u"i", Sparse(4, 4, {{0, 0}}), LVisualPart::kStretch, nullptr, 1,
                                              nullptr);
    EXPECT_EQ(image->Draw(r, NAN, 4), S_OK);
    EXPECT_EQ(image->Draw(r, 4, INFINITY), S_OK);
    EXPECT_TRUE(r.calls.empty()) << r.calls[0];
    EXPECT_EQ(image->Draw(r, 4, 4), S_OK);
    EXPECT_EQ(r.calls.size(), 1u);
    r.End();
}

TEST(VisualPart, ColourAtAScaledPointFollowsTheResizeType)
{
    // Opaque pixels at (1, 0) and (3, 3) of a 4 x 4 image.
    RCPtr<LBitmap> image = Sparse(4, 4, {{1, 0}, {3, 3}});
    struct Case
    {
        int32_t resize;
        float x, y, w, h;
        uint32_t expected;
    } cases[] = {
        {LVisualPart::kStretch, 1.4f, 0.4f, 4.0000005f, 4, 0xFFFF0000},  // natural size: rounded point
        {LVisualPart::kStretch, 2, 0, 8, 8, 0xFFFF0000},                 // (1, 0)
        {LVisualPart::kStretch, 8, 0, 8, 8, kNone},                      // on the right edge: outside
        {LVisualPart::kStretch, 0, 0, 2, 2, 0xFFFF0000},                 // box 2 x 2 holds (1, 0)
        {LVisualPart::kStretch, 0, 1, 2, 2, kNone},                      // box of (0..1, 2..3)
        {LVisualPart::kStretch, NAN, 0, 8, 8, kNone},
        {LVisualPart::kTile, 5, 4, 10, 10, 0xFFFF0000},    // (1, 0) of the second tile
        {LVisualPart::kCenter, 4, 3, 10, 10, 0xFFFF0000},  // moved by 3: (1, 0)
        {LVisualPart::kCenter, 1, 1, 10, 10, kNone},       // left of the image
    };
    for (const Case& c : cases) {
        auto part = LVisualPart::CreateImagePart(u"i", image, c.resize, nullptr, 1, nullptr);
        // Clear pixels of an image read back with any colour; only their alpha counts.
        const uint32_t got = part->GetColorAtPoint(c.x, c.y, c.w, c.h);
        EXPECT_EQ(c.expected == kNone ? got >> 24 : got, c.expected == kNone ? 0u : c.expected)
            << c.resize << " " << c.x;
    }
    // A colour part too thin to be a whole pixel tiles to nothing, without dividing by zero.
    RCPtr<LVisualPart> sliver(
        new LVisualPart(u"s", nullptr, LVisualPart::kTile, Solid(0xFF00FF00), 0, 5, 1, nullptr));
    EXPECT_EQ(sliver->GetColorAtPoint(3.0f, 2.0f, 10.0f, 10.0f), kNone);
    auto bad = LVisualPart::CreateImagePart(u"i", image, 7, nullptr, 1, nullptr);
    EXPECT_THROW(bad->GetColorAtPoint(1.0f, 1.0f, 9.0f, 9.0f), std::runtime_error);
}

TEST(VisualPart, ColorizersTurnPartsIntoImagesOnlyWhenNeeded)
{
    EXPECT_FALSE(LVisualPart::CreateColorPart(u"s", Solid(0x80FF0000), 3, 3, 0, 0.5f, nullptr)->GetBitmap());
    RCPtr<LColorizer> ramp =
        LColorizer::Create(u"r", LColorizer::kLinearGradient, {0, 0, 0, 1}, {1, 1, 1, 1}, 0, 0, 1, 0);
    EXPECT_TRUE(LVisualPart::CreateColorPart(u"g", ramp, 4, 1, 0, 1, nullptr)->GetBitmap());

    // Absurd or empty sizes make no part rather than a huge or failing image.
    for (int32_t side : {0, -5, 1 << 20, INT32_MAX})
        EXPECT_FALSE(LVisualPart::CreateColorPart(u"x", ramp, side, side, 0, 1, nullptr)) << side;
}

TEST(VisualPart, TheRecordCachesItsPartOnlyWhileALookHoldsIt)
{
    RCPtr<LVisualPartDescriptor> record =
        LVisualPartDescriptor::CreateColorPart(u"p", Solid(0xFF00FF00), 2, 2, 0, 1, WString(), SourceRect());
    RCPtr<LVisualPart> part = record->GetVisualPart();
    EXPECT_EQ(record->GetRefCount(), 2);
    part = nullptr;
    // The last outside holder broke the cycle: the part is gone and the record free.
    EXPECT_FALSE(record->cachedPart);
    EXPECT_EQ(record->GetRefCount(), 1);
}
