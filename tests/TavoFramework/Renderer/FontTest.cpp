#include "FakeRenderer.h"

#include <gtest/gtest.h>

using namespace Tavo;
using Tavo::Test::FakeRenderer;

namespace {

struct Fonts : ::testing::Test
{
    RCPtr<FakeRenderer> measurer{new FakeRenderer()};
    Tavo::Test::TestRenderHost host;
    void SetUp() override { host.measurer = measurer; }
};

}  // namespace

TEST_F(Fonts, SameTripleIgnoringFaceCaseSharesOneFont)
{
    RCPtr<LFont> a = LFont::FindOrCreate(u"Arial", 12, 0);
    RCPtr<LFont> b = LFont::FindOrCreate(u"ARIAL", 12, 0);
    EXPECT_EQ(a.Get(), b.Get());
    RCPtr<LFont> bold = LFont::FindOrCreate(u"Arial", 12, LFont::kBold);
    RCPtr<LFont> larger = LFont::FindOrCreate(u"arial", 12.5f, 0);
    EXPECT_NE(bold.Get(), a.Get());
    EXPECT_NE(larger.Get(), a.Get());
    EXPECT_GT(bold->GetId(), a->GetId());
    EXPECT_GT(larger->GetId(), bold->GetId());
    EXPECT_EQ(LFont::Find(u"Arialx", 12, 0), -1);
}

TEST_F(Fonts, MetricsAreMeasuredOnceOnFirstUse)
{
    RCPtr<LFont> font = LFont::FindOrCreate(u"Metrics Face", 10, 0);
    EXPECT_EQ(font->GetLineHeightIfKnown(), -1);
    EXPECT_EQ(measurer->metricsCalls, 0);
    EXPECT_EQ(font->GetTop(), -12);
    EXPECT_EQ(font->GetDescent(), 3);
    EXPECT_EQ(font->ComputeMetrics(), 15);
    EXPECT_EQ(measurer->metricsCalls, 1);
}

TEST_F(Fonts, BeforeAnyWindowTheProcessRendererMeasures)
{
    host.measurer = nullptr;
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", 20, 0);
    // The process renderer's own metrics, not the fake's.
    EXPECT_EQ(font->ComputeMetrics(), 31);
    EXPECT_EQ(font->GetTop(), -25);
    EXPECT_EQ(measurer->metricsCalls, 0);
}

TEST_F(Fonts, LastOutsideReleaseRemovesTheFontFromTheList)
{
    const uint32_t before = LFont::GetFontListCount();
    RCPtr<LFont> font = LFont::FindOrCreate(u"Transient", 9, 0);
    RCPtr<LFont> again = font;
    const uint32_t id = font->GetId();
    EXPECT_EQ(LFont::GetFontListCount(), before + 1);
    font = nullptr;
    EXPECT_NE(LFont::Find(u"Transient", 9, 0), -1);
    again = nullptr;
    EXPECT_EQ(LFont::Find(u"Transient", 9, 0), -1);
    EXPECT_EQ(LFont::GetFontListCount(), before);
    EXPECT_GT(LFont::FindOrCreate(u"Transient", 9, 0)->GetId(), id);
}
