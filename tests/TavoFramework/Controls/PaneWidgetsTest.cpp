#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/Button.h"
#include "Controls/FileDropper.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/LevelMeter.h"
#include "Controls/SplitterH.h"
#include "Controls/SplitterV.h"
#include "Controls/TabControl.h"
#include "System/CursorNames.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/TavoFramework/Controls/WidgetClasses.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

// Writes down what a control sends, with the data it carried.
struct Listener : LNotificationClient
{
    using Heard = std::pair<std::u16string, const LRefCountedObject*>;
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        heard.push_back({std::u16string(n->GetID()), n->GetData().Get()});
        return S_OK;
    }
    std::vector<Heard> heard;
};

class PaneWidgetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ControlEnvironment().factory = mFactory;
        ControlEnvironment().cursor = [](const WString& name) -> CursorHandle {
            return name == UI_CURSOR_SIZE_NS() ? 7 : name == UI_CURSOR_SIZE_WE() ? 8 : 0;
        };
        RegisterWidgetClasses(*mFactory);
        ASSERT_EQ(mFactory->LoadSkins(WString(TAVO_PANE_SKIN)), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mMain = mFactory->CreateControlFromDescriptor(u"mainControl", mWindow.Get());
        mMain->UITarget_UpdateGeometry(600, 400);  // as the window does when it shows
    }
    void TearDown() override
    {
        std::vector<RCPtr<LControl>> all{mMain};
        mMain->CollectDescendants(all);
        for (size_t i = all.size(); i-- > 0;)
            all[i]->ReleaseInternalReferences();
        mWindow->ReleaseInternalReferences();
        ControlEnvironment() = {};
    }
    // A control below main by a path of names.
    template <class T = LControl>
    RCPtr<T> Find(std::initializer_list<const char16_t*> path)
    {
        RCPtr<LControl> c = mMain;
        for (const char16_t* name : path)
            c = c ? c->FindChildByName(name) : nullptr;
        return RCPtrDynamicCast<T>(c);
    }
    // Presses at a window point, moves through the others, releases at the last.
    void Drag(LControl& c, PointT<int32_t> from, std::initializer_list<PointT<int32_t>> to)
    {
        auto local = [&](PointT<int32_t> p) {
            const PointT<double> o = c.GetAbsolutePosition();
            return PointT<int32_t>{p.x - RoundToInt32(o.x), p.y - RoundToInt32(o.y)};
        };
        PointT<int32_t> at = local(from);
        mWindow->buttons = MouseButton::kLeft;
        c.UITarget_MouseDown(LMouseButtonParam::Create(MouseButton::kLeft, at.x, at.y, 0, false, 1));
        for (PointT<int32_t> p : to) {
            at = local(p);
            c.UITarget_MouseMove(LPointWithModifiersParam::Create(at.x, at.y, 0));
        }
        mWindow->buttons = 0;
        c.UITarget_MouseUp(LMouseButtonParam::Create(MouseButton::kLeft, at.x, at.y, 0, false, 0));
    }
    static void Click(const RCPtr<LControl>& c) { c->OnLeftClick(LMouseButtonParam::Create(1, 0, 0, 0)); }

    RCPtr<LControlFactory> mFactory = LControlFactory::Create(u"App");
    RCPtr<FakeRootWindow> mWindow = FakeRootWindow::Create();
    RCPtr<LControl> mMain;
};

}  // namespace

TEST_F(PaneWidgetsTest, TabClicksReportThenSwitchPagesAndMissingPagesGiveEmptyAnswers)
{
    auto tabs = Find<LTabControl>({u"tabs"});
    RCPtr<LControl> pages[4], c = Find({u"tabs", u"buttonHolder", u"c"});
    for (uint32_t i = 0; i < 4; ++i)
        pages[i] = Find({u"tabs", u"pageHolder"})->GetChildren().GetAt(i);
    auto look = [&] {
        std::string shown;
        for (const auto& page : pages)
            shown += page->IsShown(false) ? '1' : '0';
        return shown;
    };
    // A second button of a name never joins; the first in tab order is selected.
    EXPECT_EQ(tabs->GetTabCount(), 3u);
    EXPECT_EQ(tabs->GetSelectedTabName(), u"b");
    EXPECT_EQ(look(), "0101") << "the page without a button is left alone";

    RCPtr<Listener> listener(new Listener());
    for (auto id : {u"NID_TAB_BUTTON_CLICKED", u"NID_TAB_BECOMING_UNSELECTED", u"NID_TAB_SELECTED"})
        listener->Subscribe(RCPtr<LNotificationDistributor>(tabs.Get()), id);
    const std::u16string clicked = u"NID_TAB_BUTTON_CLICKED", leaving = u"NID_TAB_BECOMING_UNSELECTED",
                         selected = u"NID_TAB_SELECTED";
    // A click on the button of that name when it has one; what the tabs send; the pages shown.
    const std::tuple<const char16_t*, std::vector<Listener::Heard>, const char*> steps[] = {
        {u"c", {{clicked, c.Get()}, {leaving, pages[1].Get()}, {selected, pages[2].Get()}}, "0011"},
        {u"c", {{clicked, c.Get()}, {selected, pages[2].Get()}}, "0011"},
        {u"none", {{leaving, pages[2].Get()}, {selected, nullptr}}, "0001"},
    };
    for (const auto& [select, heard, shown] : steps) {
        listener->heard.clear();
        if (RCPtr<LControl> button = tabs->GetTabButtonByName(select))
            Click(button);
        else
            EXPECT_EQ(tabs->SelectTab(select), S_OK);
        EXPECT_EQ(listener->heard, heard);
        EXPECT_EQ(look(), shown);
        EXPECT_EQ(tabs->GetSelectedTabName(), select);
        EXPECT_TRUE(&select != &std::get<0>(steps[0]) || mWindow->focus == pages[2])
            << "the page takes the focus";
    }
    EXPECT_EQ(tabs->GetSelectedIndex(), -1);
    EXPECT_FALSE(tabs->GetSelectedPage());
    EXPECT_EQ(tabs->SelectTabAt(3), E_FAIL);
    EXPECT_FALSE(tabs->GetPageAt(3)) << "past the last button";

    // More buttons than pages: lookups past the last page find nothing.
    auto fewer = Find<LTabControl>({u"short"});
    listener->heard.clear();
    listener->Subscribe(RCPtr<LNotificationDistributor>(fewer.Get()), u"NID_TAB_SELECTED");
    Click(Find({u"short", u"buttonHolder", u"z"}));
    EXPECT_EQ(fewer->GetSelectedTabName(), u"z");
    EXPECT_FALSE(fewer->GetPageByName(u"z"));
    EXPECT_FALSE(Find({u"short", u"pageHolder", u"q0"})->IsShown(false));
    EXPECT_EQ(listener->heard, (std::vector<Listener::Heard>{{u"NID_TAB_SELECTED", nullptr}}));
    // A child that is no button counts as a tab but takes no clicks.
    EXPECT_EQ(fewer->IndexOfTab(u"y"), 1);
    Click(Find({u"short", u"buttonHolder", u"y"}));
    EXPECT_EQ(fewer->GetSelectedTabName(), u"z");

    auto pageless = Find<LTabControl>({u"pageless"});
    EXPECT_EQ(pageless->Initialize(), E_FAIL);
    EXPECT_EQ(pageless->SelectTab(u"a"), E_FAIL);
    EXPECT_FALSE(pageless->GetPageAt(0));
}

TEST_F(PaneWidgetsTest, SplitterStopsAtThePanesLimitsThenHangsOnItsPane)
{
    // Dragged to a window point on its axis, with the later pane's layout order (one laid out earlier
    // does not count) and the reference pane's largest size; where the bar ends, which is also the
    // reference pane's new size: held by either pane's smallest or largest size, or by the largest
    // size of a pane sized to the bar.
    const std::tuple<bool, int32_t, int32_t, double, double> cases[] = {
        {true, 210, 3, 0, 50},   {true, 320, 3, 0, 120},    {true, 590, 3, 0, 296},
        {true, 590, 1, 0, 390},  {true, 590, 3, 250, 250},  {false, 105, 3, 0, 46},
        {false, 390, 3, 0, 150}, {false, 390, 3, 130, 130}, {false, 220, 3, 0, 120},
    };
    for (auto [vertical, to, laterOrder, referenceMax, end] : cases) {
        SCOPED_TRACE(testing::Message() << vertical << " to " << to);
        TearDown();
        SetUp();
        const char16_t* area = vertical ? u"split" : u"splitH";
        RCPtr<LControl> bar = vertical ? RCPtr<LControl>(Find<LSplitterV>({area, u"bar"}))
                                       : RCPtr<LControl>(Find<LSplitterH>({area, u"hbar"}));
        RCPtr<LControl> pane = Find({area, vertical ? u"left" : u"top"});
        RCPtr<LControl> later = Find({area, vertical ? u"right" : u"bottom"});
        EXPECT_EQ(bar->GetCursor(), vertical ? 8 : 7);
        later->GetLayout()->layoutOrder = laterOrder;
        pane->GetLayout()->x.maxAbs = pane->GetLayout()->y.maxAbs = referenceMax;
        LLayoutDescriptor::Axis before, after;
        bar->GetPlacement(vertical ? 0 : 1, before);
        const PointT<int32_t> from = vertical ? PointT<int32_t>{402, 50} : PointT<int32_t>{250, 202};
        Drag(*bar, from,
             {{from.x + 3, from.y + 3},
              vertical ? PointT<int32_t>{to + 2, 50} : PointT<int32_t>{250, to + 2}});
        EXPECT_EQ(vertical ? bar->GetX() : bar->GetY(), end);
        EXPECT_EQ(vertical ? pane->GetWidth() : pane->GetHeight(), end);
        EXPECT_EQ(vertical ? later->GetX() : later->GetY(), end + 4);
        bar->GetPlacement(vertical ? 0 : 1, after);
        EXPECT_TRUE(after.positionRef == 2 && after.positionRefName == before.positionRefName &&
                    after.positionAbs == before.positionAbs && after.positionRel == before.positionRel);
    }
    // A parent shrinking below the later pane's smallest size moves the bar.
    RCPtr<LControl> split = Find({u"split"}), bar = Find({u"split", u"bar"}),
                    right = Find({u"split", u"right"});
    LLayoutDescriptor::Axis spec;
    split->GetPlacement(0, spec);
    spec.sizeAbs = 250;
    split->SetAxisPlacement(0, spec);
    EXPECT_EQ(bar->GetX(), 146);
    EXPECT_EQ(Find({u"split", u"left"})->GetWidth(), 146);
    EXPECT_EQ(right->GetX(), 150);
    EXPECT_EQ(right->GetWidth(), 100);
}

TEST_F(PaneWidgetsTest, LevelMeterBarAndPeakStayOnTheMeterAndTheClipLightLatches)
{
    // The bar's size along the meter and the marker's position, 0 when hidden.
    const std::tuple<const char16_t*, double, double, double, double> cases[] = {
        {u"meterH", 0.5, 0.5, 50, 45}, {u"meterH", 0.004, 0, 0, 0},  {u"meterH", 0.005, 1, 1, 90},
        {u"meterH", 1.7, 3, 100, 90},  {u"meterH", -0.3, -1, 0, 0},  {u"meterV", 0.25, 0.5, 75, -40},
        {u"meterV", 1, 0, 0, 0},       {u"meterV", -2, 2, 100, -80},
    };
    for (auto [name, level, peak, size, position] : cases) {
        SCOPED_TRACE(testing::Message() << level << " " << peak);
        auto meter = Find<LLevelMeter>({name});
        const int32_t axis = meter->IsVertical() ? 1 : 0;
        meter->SetLevelAndPeak(level, peak);
        RCPtr<LControl> overlay = Find({name, u"activeOverlay"}), marker = Find({name, u"peakLo"});
        LLayoutDescriptor::Axis spec;
        marker->GetPlacement(axis, spec);
        EXPECT_EQ(marker->IsShown(false) ? spec.positionAbs : 0, position);
        EXPECT_EQ(overlay->IsShown(false) ? (axis ? overlay->GetHeight() : overlay->GetWidth()) : 0, size);
    }
    // A value from outside draws the bar without a peak.
    auto meter = Find<LLevelMeter>({u"meterH"});
    meter->SetLevelAndPeak(0.2, 0.5);
    meter->SetValue(0.75);
    EXPECT_FALSE(Find({u"meterH", u"peakLo"})->IsShown(false));
    EXPECT_EQ(Find({u"meterH", u"activeOverlay"})->GetWidth(), 75);
    EXPECT_EQ(Find<LLevelMeter>({u"meterV"})->SetClipLatch(true), E_FAIL) << "no clip button";
    // The clip light follows the count or latches until clicked.
    RCPtr<Listener> listener(new Listener());
    listener->Subscribe(RCPtr<LNotificationDistributor>(meter.Get()), u"NID_CLIPLIGHT_UNLATCHED");
    // A count of -1 updates level and peak only, -2 clicks the light.
    // Latched, lit, the count and the unlatch notifications so far.
    const std::tuple<bool, bool, int32_t, size_t> steps[] = {
        {false, true, 1, 0},   {false, false, 1, 0}, {false, true, 2, 0}, {false, false, -1, 0},
        {true, false, 2, 0},   {true, true, 3, 0},   {true, true, 3, 0},  {true, true, -1, 0},
        {true, false, -2, 1},  {true, false, -2, 1}, {true, true, 4, 1},  {false, false, 4, 1},
        {false, false, -2, 1},
    };
    for (auto [latch, lit, count, unlatched] : steps) {
        SCOPED_TRACE(testing::Message() << latch << " " << count);
        if (latch != meter->IsClipLatched())
            meter->SetClipLatch(latch);
        if (count >= 0)
            meter->SetMeter(0.5, 0.5, count);
        else if (count == -1)
            meter->SetLevelAndPeak(0.5, 0.5);
        else
            Click(Find({u"meterH", u"clipButton"}));
        EXPECT_EQ(meter->IsClipLit(), lit);
        EXPECT_EQ(listener->heard.size(), unlatched);
    }
}

TEST_F(PaneWidgetsTest, DropperLeavesItsParentOnlyAfterARealDrag)
{
    RCPtr<LControl> dropper = Find<LFileDropper>({u"dropper"});
    Drag(*dropper, {155, 305}, {});
    EXPECT_EQ(Find({u"dropper"}), dropper) << "a press and release without a drag";
    LControl* raw = dropper.Get();
    dropper = nullptr;  // the parent holds the last reference
    Drag(*raw, {155, 305}, {{165, 315}, {175, 325}});
    EXPECT_FALSE(Find({u"dropper"}));
}
