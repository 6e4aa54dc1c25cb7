#include "ControlBase/Look.h"
#include "RecordingRenderer.h"
#include "Renderer/Font.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

RCPtr<LVisualPartDescriptor> ColourRecord(uint32_t argb, int32_t w = 1, int32_t h = 1)
{
    ColorRGBA c;
    c.FromARGB(argb);
    return LVisualPartDescriptor::CreateColorPart(u"p", LColorizer::Create(u"c", 0, c, c, 0, 0, 0, 0), w, h,
                                                  0, 1, WString(), SourceRect());
}

RCPtr<LDockedPart> Docked(const RCPtr<LVisualPartDescriptor>& part, int32_t mask, int32_t l, int32_t t,
                          int32_t r, int32_t b, int32_t fixedW = 0)
{
    return LDockedPart::Create(part, mask, l, t, r, b, fixedW > 0, fixedW, false, 0);
}

// A red strip along the top, a green client inset by 10 and a text box inset by 4.
RCPtr<LLookDescriptor> FramedLook()
{
    auto d = LLookDescriptor::Create(u"framed");
    d->dockedParts.push_back(Docked(ColourRecord(0xFFFF0000, 1, 5), 1 | 2 | 4, 0, 0, 0, 0));
    d->SetClientPart(Docked(ColourRecord(0xFF00FF00), 15, 10, 10, -10, -10));
    TextProperties t{0, 4, 1, -4, 0, 0, 0, 1, 0, 0};
    d->SetTextProperties(t, ColourRecord(0xFFF0F0F0));
    return d;
}

}  // namespace

TEST(Look, DockedPartsAndClientAreaFollowTheirOffsets)
{
    using D = LDockedPart;
    struct Case
    {
        int32_t mask, l, t, r, b, fixedW;
        RectT<int32_t> expected;
    } cases[] = {{0, 0, 0, 0, 0, 0, {45, 22, 10, 6}},                     // no offsets: centred both ways
                 {D::kLeft | D::kRight, 5, 0, -5, 0, 0, {5, 22, 90, 6}},  // spans, ignoring its width
                 {D::kRight | D::kBottom, 0, 0, -2, -3, 0, {88, 41, 10, 6}},
                 {D::kLeft | D::kTop, 3, 4, 0, 0, 20, {3, 4, 20, 6}},  // fixed width wins
                 // Offsets past the integer range are held there instead of wrapping.
                 {D::kLeft | D::kRight, INT32_MAX, 0, INT32_MAX, 0, 0, {INT32_MAX, 22, 100, 6}}};
    for (const Case& c : cases) {
        auto d = LLookDescriptor::Create(u"l");
        d->dockedParts.push_back(
            Docked(ColourRecord(0xFF000000, 10, 6), c.mask, c.l, c.t, c.r, c.b, c.fixedW));
        auto look = LLook::Create(d);
        look->SetSize(100, 50);
        EXPECT_EQ(look->GetPartRect(0), c.expected) << c.mask;
    }
}

TEST(Look, DrawsEachPassOnlyWhereTheRegionMeetsIt)
{
    Tavo::Test::MeasureWithFixedWidths();
    auto look = LLook::Create(FramedLook());
    look->SetSize(100, 50);
    look->SetText(u"Hi");
    EXPECT_EQ(look->SetFont(LFont::FindOrCreate(u"Arial", 10, 0)), 1);

    Tavo::Test::RecordingRenderer r;
    r.Begin();
    r.PushClip({20, 30, 100, 50}, {20, 30, 100, 50}, nullptr, true);
    RectRegion region;
    region.AddRect(RegionRect{0, 0, 70, 200});
    EXPECT_EQ(look->DrawNonClientParts(r, region), S_OK);
    EXPECT_EQ(look->DrawClientPart(r, region), S_OK);
    EXPECT_EQ(look->DrawLabelText(r, region, {0, 0}), S_OK);
    const std::vector<std::string> expected = {
        "Fill 20,30 100x5 FFFF0000 clip 20,30 50x5",
        "Fill 30,40 80x30 FF00FF00 clip 30,40 40x30",
        "Text 'Hi' 24,30 0x0 FFF0F0F0 clip 24,30 46x50",
    };
    EXPECT_EQ(r.calls, expected);

    // A region that only touches the look's right edge draws nothing.
    r.calls.clear();
    RectRegion edge;
    edge.AddRect(RegionRect{120, 0, 200, 200});
    look->DrawNonClientParts(r, edge);
    look->DrawClientPart(r, edge);
    look->DrawLabelText(r, edge, {0, 0});
    EXPECT_TRUE(r.calls.empty());
    r.PopState();
    r.End();
}

TEST(Look, ColourAtAPointAsksDockedPartsBeforeTheClient)
{
    auto look = LLook::Create(FramedLook());
    look->SetSize(100, 50);
    EXPECT_EQ(look->GetColorAtPoint(50, 2), 0xFFFF0000u);
    EXPECT_EQ(look->GetColorAtPoint(50, 25), 0xFF00FF00u);
    EXPECT_EQ(look->GetColorAtPoint(5, 45), LVisualPart::kTransparent);
}
