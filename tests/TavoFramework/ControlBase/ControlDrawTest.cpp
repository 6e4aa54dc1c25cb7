#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "RecordingRenderer.h"
#include "Renderer/Font.h"
#include "tests/Common/FakeRootWindow.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

// A frozen copy of an early product skin, built from plain controls under a
// fake window: the product may restyle its own skin without moving these.
struct ProductTree : ::testing::Test
{
    RCPtr<LControlFactory> factory =
        LControlFactory::Create(u"Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater");
    RCPtr<FakeRootWindow> window = FakeRootWindow::Create();
    RCPtr<LControl> main;

    void SetUp() override
    {
        Tavo::Test::MeasureWithFixedWidths();
        ControlEnvironment().factory = factory;
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"Arial", 10, 0); };
        ASSERT_EQ(factory->LoadSkins(
                      WString(TAVO_SOURCE_DIR "/tests/TavoFramework/ControlBase/ProductTreeSkin.xml")),
                  S_OK);
        for (const char16_t* name :
             {u"FirmwareUpdater.MainControl", u"Framework.MainMenu", u"Framework.ComboMenu",
              u"Framework.PopupMenu", u"Framework.MenuItem", u"Framework.Button", u"Framework.Label",
              u"Framework.ProgressBar", u"Framework.Panel", u"Framework.ToolTip"})
            factory->RegisterControlClass(name, &LControl::CreateT<LControl>);
        window->SetClientRect({0, 0, 420, 360});
        main = RCPtrDynamicCast<LControl>(factory->CreateControlFromDescriptor(u"mainControl", window.Get()));
        ASSERT_TRUE(main);
        // Laid out again now that it has a window to measure against.
        main->UpdateGeometry();
        window->invalidated.clear();
    }
    void TearDown() override
    {
        if (main)
            main->Detach();
        window->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    RCPtr<LControl> Find(std::initializer_list<const char16_t*> path)
    {
        RCPtr<LControl> c = main;
        for (const char16_t* name : path)
            c = c ? c->FindChildByName(name) : nullptr;
        return c;
    }
    static RectT<double> Rect(const RCPtr<LControl>& c)
    {
        return {c->GetX(), c->GetY(), c->GetWidth(), c->GetHeight()};
    }
};

}  // namespace

TEST_F(ProductTree, LaysOutByThePlacementRules)
{
    struct Case
    {
        std::initializer_list<const char16_t*> path;
        RectT<double> expected;
    } cases[] = {{{}, {200, 150, 420, 360}},  // "Screen": the top control's place on the screen
                 {{u"labelDeviceInformation"}, {20, 20, 380, 40}},
                 {{u"mainMenu"}, {0, 0, 420, 24}},                                 // parent-wide
                 {{u"mainMenu", u"templateMenu", u"popupMenu"}, {0, 24, 75, 77}},  // below its parent
                 {{u"mainMenu", u"templateMenu", u"popupMenu", u"templateItem", u"hotKeyLabel"},
                  {11, 0, 60, 20}},  // anchor 1
                 {{u"progressBar"}, {30, 244, 360, 50}},
                 {{u"progressBar", u"activeOverlay"},
                  {2, 2, 0, 42}},  // parent height less 4, measured from the outer edge
                 {{u"buttonExit"}, {300, 300, 100, 30}}};
    for (const Case& c : cases) {
        RCPtr<LControl> control = Find(c.path);
        ASSERT_TRUE(control) << &c - cases;
        EXPECT_EQ(
            (RectT<double>{control->GetX(), control->GetY(), control->GetWidth(), control->GetHeight()}),
            c.expected)
            << &c - cases;
    }
    // "Expand" widens a label for its text: 5 characters of 7 pixels plus the 4-pixel margins.
    RCPtr<LLayoutDescriptor> layout = Find({u"updaterVersionLabel"})->GetLayout();
    layout->textOverflowX = 1;
    layout->x.sizeAbs = 10;
    Find({u"updaterVersionLabel"})->SetText(u"Hello");
    EXPECT_EQ(Find({u"updaterVersionLabel"})->GetWidth(), 35);
}

TEST_F(ProductTree, DrawsPartsThenTextThenChildrenInOrder)
{
    Find({u"progressBar", u"percentCompleteLabel"})->SetText(u"42");
    Tavo::Test::RecordingRenderer r;
    r.Begin();
    RectRegion region;
    region.AddRect(RegionRect{30, 244, 390, 294});  // the progress bar only
    std::vector<RCPtr<LControl>> overlays;
    EXPECT_EQ(main->Draw(&r, region, overlays, false), S_OK);
    r.End();
    const std::vector<std::string> expected = {
        "Fill 0,0 420x360 FF1E1E22 clip 30,244 360x50",       // window background, only where dirty
        "Fill 30,244 360x50 FF2C2C32 clip 30,244 360x50",     // progress bar frame behind ...
        "Fill 32,246 358x48 FF141416 clip 30,244 360x50",     // ... its track
        "Text '42' 193,253 0x0 FFF0F0F0 clip 182,250 36x20",  // a child's label, centred
    };
    EXPECT_EQ(r.calls, expected);
    EXPECT_EQ(main->Draw(&r, region, overlays, true), E_INVALIDARG);
}

TEST_F(ProductTree, InvalidationsReachTheWindowInItsCoordinates)
{
    RCPtr<LControl> label = Find({u"progressBar", u"percentCompleteLabel"});
    struct Case
    {
        RectT<double> local;
        PointT<double> scroll;
        RectT<double> expected;  // empty: nothing reaches the window
    } cases[] = {
        {{0, 0, 36, 20}, {0, 0}, {182, 250, 36, 20}},  // bar at 30, client corner 2, label at 150
        {{0.4, 0.6, 10.4, 10.5}, {0, 0}, {182, 251, 10, 11}},
        {{0, 0, 36, 20}, {10, 0}, {172, 250, 36, 20}},  // scrolled bar
        {{0, 0, 36, 20}, {200, 0}, {}},                 // scrolled out of the bar's client area
    };
    for (const Case& c : cases) {
        Find({u"progressBar"})->SetScrollOffset(c.scroll);
        window->invalidated.clear();
        label->InvalidateRect(c.local, true);
        EXPECT_EQ(window->invalidated.empty() ? RectT<double>() : window->invalidated.back(), c.expected);
    }
    Find({u"progressBar"})->SetScrollOffset({0, 0});
    // A floating label is repainted whole, even outside its parent's client area.
    label->SetClipToParent(false);
    label->SetBounds({350, 4}, {36, 20});
    window->invalidated.clear();
    Find({u"progressBar"})->RefreshUnclipped();
    EXPECT_EQ(window->invalidated, (std::vector<RectT<double>>{{382, 250, 36, 20}}));
    label->SetVisible(false);
    window->invalidated.clear();
    label->InvalidateRect({0, 0, 36, 20}, true);
    EXPECT_TRUE(window->invalidated.empty());
}

// A floating label, half outside its bar, is left by the normal pass for the
// unclipped one, which draws it whole from its parent's origin.
TEST_F(ProductTree, AFloatingControlIsDrawnOnlyInTheUnclippedPass)
{
    RCPtr<LControl> label = Find({u"progressBar", u"percentCompleteLabel"});
    label->SetText(u"42");
    label->SetClipToParent(false);
    label->SetBounds({350, 4}, {36, 20});
    Tavo::Test::RecordingRenderer r;
    r.Begin();
    RectRegion region;
    region.AddRect(RegionRect{0, 0, 420, 360});
    std::vector<RCPtr<LControl>> overlays;
    EXPECT_EQ(main->Draw(&r, region, overlays, false), S_OK);
    EXPECT_EQ(overlays, std::vector<RCPtr<LControl>>{label});
    for (const std::string& call : r.calls)
        EXPECT_EQ(call.find("'42'"), std::string::npos) << call;

    r.calls.clear();
    EXPECT_EQ(label->Draw(&r, region, overlays, false), E_INVALIDARG);
    EXPECT_TRUE(r.calls.empty());
    // The bar's client corner is at 32,246 in the window.
    r.PushClip({32, 246, 0, 0}, {350, 4, 36, 20}, nullptr, false);
    EXPECT_EQ(label->Draw(&r, region, overlays, true), S_OK);
    r.PopState();
    r.End();
    EXPECT_EQ(r.calls, std::vector<std::string>{"Text '42' 393,253 0x0 FFF0F0F0 clip 382,250 36x20"});
}

TEST_F(ProductTree, TextIsClippedWhenWiderThanTheLooksTextArea)
{
    // Seven pixels a character; the button's text area is its width less 8.
    struct Case
    {
        const char16_t* control;
        double width;
        const char16_t* text;
        bool clipped;
    } cases[] = {
        {u"buttonExit", 100, u"", false},
        {u"buttonExit", 99, u"Thirteen char", false},  // 91 pixels in 91
        {u"buttonExit", 98, u"Thirteen char", true},
        {u"buttonExit", 100, u"Fourteen chars", true},
        {u"buttonExit", 100, u"Thirteen char\nThirteen char", false},  // the widest line counts
        {u"progressBar", 360, u"42", true},                            // a look without a text area
        {u"progressBar", 360, u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << &c - cases);
        RCPtr<LControl> control = Find({c.control});
        control->GetLayout()->x.sizeAbs = c.width;
        control->SetText(c.text);
        control->UpdateGeometry();
        ASSERT_EQ(control->GetWidth(), c.width);
        EXPECT_EQ(control->IsTextClipped(), c.clipped);
    }
}

TEST_F(ProductTree, ALooksRegionLimitsWhereItDraws)
{
    RCPtr<LControl> bar = Find({u"progressBar"});
    RectRegion part;
    part.AddRect(RegionRect{10, 0, 30, 50});
    ASSERT_EQ(bar->SetLookRegion(bar->GetActiveLookIndex(), part), S_OK);
    Tavo::Test::RecordingRenderer r;
    r.Begin();
    RectRegion region;
    region.AddRect(RegionRect{30, 244, 390, 294});
    std::vector<RCPtr<LControl>> overlays;
    EXPECT_EQ(main->Draw(&r, region, overlays, false), S_OK);
    r.End();
    const std::vector<std::string> expected = {
        "Fill 0,0 420x360 FF1E1E22 clip 30,244 360x50",
        "Fill 30,244 360x50 FF2C2C32 clip 40,244 20x50",
        "Fill 32,246 358x48 FF141416 clip 40,246 20x48",
    };
    EXPECT_EQ(r.calls, expected);
}
