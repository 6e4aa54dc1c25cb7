#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "Controls/Button.h"
#include "Controls/Panel.h"
#include "Controls/Scrollbar.h"
#include "Controls/ScrollView.h"
#include "Notification/NotificationParams.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

template <class T>
RCPtr<T> Make(const RCPtr<LControl>& parent, const char16_t* name, double x, double y, double w, double h)
{
    RCPtr<T> control(new T(parent, name));
    LLayoutDescriptor::Axis ax, ay;
    ax.positionRef = ay.positionRef = 1;
    ax.positionAbs = x, ay.positionAbs = y;
    ax.sizeRef = ay.sizeRef = 2;
    ax.sizeAbs = w, ay.sizeAbs = h;
    control->SetPlacement(ax, ay);
    return control;
}

// The factory's order: children first, then the control, then the flag.
void Finish(const RCPtr<LControl>& control)
{
    for (uint32_t i = 0; i < control->GetChildren().Count(); ++i)
        Finish(control->GetChildren().GetAt(i));
    control->Initialize();
    control->Finalize();
    control->SetCreated(true);
}

// A vertical bar: dec and inc at the ends, a channel between with a thumb.
RCPtr<LScrollbar> MakeBar(const RCPtr<LControl>& parent, const char16_t* name, double x, double y, double w,
                          double h, bool vertical)
{
    RCPtr<LScrollbar> bar = Make<LScrollbar>(parent, name, x, y, w, h);
    const double t = vertical ? w : h, length = vertical ? h : w;
    Make<LButton>(bar, u"dec", 0, 0, t, t);
    if (vertical) {
        Make<LButton>(bar, u"inc", 0, length - t, t, t);
        Make<LButton>(Make<LControl>(bar, u"channel", 0, t, t, length - 2 * t), u"thumb", 0, 0, t, t);
    } else {
        Make<LButton>(bar, u"inc", length - t, 0, t, t);
        Make<LButton>(Make<LControl>(bar, u"channel", t, 0, length - 2 * t, t), u"thumb", 0, 0, t, t);
    }
    return bar;
}

class Scrolling : public ::testing::Test
{
protected:
    void SetUp() override
    {
        top = Make<LPanel>(nullptr, u"top", 0, 0, 400, 300);
        top->SetRootWindow(window.Get());
        window->root = top;
    }
    void TearDown() override
    {
        ControlEnvironment().processHotKey = nullptr;
        window->ReleaseInternalReferences();
        top->SetRootWindow(nullptr);
        Drop(top);
    }
    // Parts and owners subscribe to each other: every control lets go.
    static void Drop(const RCPtr<LControl>& control)
    {
        control->SetParent(nullptr);
        std::vector<RCPtr<LControl>> all{control};
        control->CollectDescendants(all);
        for (size_t i = all.size(); i-- > 0;)
            all[i]->ReleaseInternalReferences();
    }
    // A 100 x 100 panel with both bars 15 thick and no corner.
    RCPtr<LPanel> MakeView()
    {
        RCPtr<LPanel> view = Make<LPanel>(top, u"view", 0, 0, 100, 100);
        MakeBar(view, u"vBar", 85, 0, 15, 100, true);
        MakeBar(view, u"hBar", 0, 85, 100, 15, false);
        Finish(view);
        return view;
    }
    double Thumb(LScrollbar& bar)
    {
        LLayoutDescriptor::Axis spec;
        bar.GetThumb()->GetPlacement(bar.IsVertical() ? 1 : 0, spec);
        return spec.positionAbs;
    }

    ManualAppClock clock;
    ScopedAppClock scopedClock{clock};
    RCPtr<FakeRootWindow> window = FakeRootWindow::Create();
    RCPtr<LPanel> top;
};

TEST_F(Scrolling, BarsShowOnlyWhileTheContentDoesNotFit)
{
    struct Case
    {
        double x, y;
        bool h, v;
    } cases[] = {
        {0, 300, false, true}, {100, 100, false, false}, {95, 300, true, true},
        {300, 95, true, true}, {300, 50, true, false},   {50, 50, false, false},
    };
    RCPtr<LPanel> view = MakeView();
    for (const Case& c : cases) {
        view->SetClientExtent({c.x, c.y});
        EXPECT_EQ(view->IsScrollbarShown(0), c.h) << c.x << "x" << c.y;
        EXPECT_EQ(view->IsScrollbarShown(1), c.v) << c.x << "x" << c.y;
        const RectT<double> client = view->GetClientRect();
        EXPECT_EQ(client.width, c.v ? 85 : 100);
        EXPECT_EQ(client.height, c.h ? 85 : 100);
    }
}

TEST_F(Scrolling, PixelModeKeepsBarAndOffsetInStep)
{
    RCPtr<LPanel> view = MakeView();
    view->SetClientExtent({0, 300});
    LScrollbar& bar = *view->GetVerticalBar();
    EXPECT_FLOAT_EQ(bar.mThumbFraction, 1.0 / 3);
    EXPECT_DOUBLE_EQ(bar.mPageStep, 0.5);
    EXPECT_DOUBLE_EQ(bar.mLineStep, 0.05);
    EXPECT_EQ(bar.GetRangeMax(), 200);
    bar.SetValue(0.5);
    EXPECT_EQ(view->GetScrollOffset().y, 100);
    view->SetScrollOffset({0, 50});
    EXPECT_DOUBLE_EQ(bar.GetValue(), 0.25);
    EXPECT_EQ(view->GetScrollOffset().y, 50);
    EXPECT_EQ(view->GetScrollLimits().height, 200);
    // Less content pulls the offset back into range.
    view->SetClientExtent({0, 150});
    EXPECT_EQ(view->GetScrollOffset().y, 50);
}

TEST_F(Scrolling, RowModeCountsWholeRows)
{
    RCPtr<LPanel> view = Make<LPanel>(top, u"list", 0, 0, 100, 70);
    MakeBar(view, u"vBar", 85, 0, 15, 70, true);
    Finish(view);
    view->SetScrollUnit(1, 1, 20);
    view->SetClientExtent({0, 200});
    LScrollbar& bar = *view->GetVerticalBar();
    EXPECT_EQ(bar.GetRangeMax(), 7);
    EXPECT_DOUBLE_EQ(bar.mLineStep, 1.0 / 7);
    EXPECT_DOUBLE_EQ(bar.mPageStep, 3.0 / 7);
    EXPECT_DOUBLE_EQ(bar.mThumbFraction, 0.3);
    bar.SetValue(bar.ValueToNormalized(2.6));
    EXPECT_EQ(view->GetScrollOffset().y, 40);
    // Fewer rows keep the first visible row where the range allows.
    view->SetClientExtent({0, 100});
    EXPECT_EQ(bar.NormalizedToValue(bar.GetValue()), 2);
}

TEST_F(Scrolling, AutoExtentIgnoresDockedChildren)
{
    RCPtr<LPanel> view = Make<LPanel>(top, u"auto", 0, 0, 100, 100);
    Make<LControl>(view, u"a", 0, 10, 20, 40);
    RCPtr<LControl> docked = Make<LControl>(view, u"b", 0, 500, 20, 40);
    LLayoutDescriptor::Axis y;
    docked->GetPlacement(1, y);
    y.docked = true;
    docked->SetAxisPlacement(1, y);
    Finish(view);
    view->SetAutoClientExtent(2, 0, 5);
    EXPECT_EQ(view->GetClientExtent().y, 55);
    EXPECT_EQ(view->GetClientExtent().x, 0);
}

TEST_F(Scrolling, WheelMovesTheRightBarByLineOrPage)
{
    struct Case
    {
        double x, y;
        uint32_t modifiers, direction;
        bool horizontalBar;
        double delta;
    } cases[] = {
        {0, 300, 0, LMouseWheelParam::kDown, false, 0.05},
        {0, 300, 0, LMouseWheelParam::kUp, false, -0.05},
        {0, 300, 0x8, LMouseWheelParam::kDown, false, 0.5},
        {300, 300, 0x40, LMouseWheelParam::kDown, true, 0.05},
        {300, 50, 0, LMouseWheelParam::kDown, true, 0.05},
        {300, 300, 0, LMouseWheelParam::kLeft, true, 0.05},
        {0, 300, 0, LMouseWheelParam::kRight, false, -0.05},
    };
    for (const Case& c : cases) {
        RCPtr<LPanel> view = MakeView();
        view->SetClientExtent({c.x, c.y});
        LScrollbar& bar = c.horizontalBar ? *view->GetHorizontalBar() : *view->GetVerticalBar();
        bar.SetValue(0.5);
        const double before = bar.GetValue();
        const double step = (c.modifiers & 0x8) ? bar.mPageStep : bar.mLineStep;
        RCPtr<LMouseWheelParam> wheel = LMouseWheelParam::Create(5, 5, c.modifiers, c.direction);
        const TavoResult r = c.direction <= 1 ? view->OnWheel(wheel) : view->OnWheelEvent(wheel);
        EXPECT_EQ(r, S_OK);
        // The offset is whole pixels and the bar follows it.
        EXPECT_NEAR(bar.GetValue(), before + (c.delta > 0 ? step : -step), 0.5 / bar.GetRangeMax())
            << c.x << " " << c.modifiers;
        Drop(view);
    }
    RCPtr<LPanel> empty = MakeView();
    EXPECT_EQ(empty->OnWheel(LMouseWheelParam::Create(0, 0, 0, 0)), S_FALSE);
}

TEST_F(Scrolling, ThumbFollowsValueAndHasAFloor)
{
    // Channel 200 long between two 15-pixel buttons.
    RCPtr<LScrollbar> bar = MakeBar(top, u"bar", 0, 0, 15, 230, true);
    Finish(bar);
    EXPECT_EQ(bar->GetTrackEnd(), 200);
    bar->mThumbFraction = 0.2;
    bar->UpdateThumbSize();
    bar->SetValue(0.5);
    EXPECT_EQ(bar->GetThumbLength(), 40);
    EXPECT_EQ(Thumb(*bar), 80);
    bar->mThumbFraction = 0.01;
    bar->UpdateThumbSize();
    EXPECT_EQ(bar->GetThumbLength(), 15);
    EXPECT_EQ(bar->SetValueRange(10, 1000, 1), S_OK);
    bar->SetValue(0.5);
    EXPECT_NEAR(bar->NormalizedToValue(bar->GetValue()), 100, 1e-9);
    EXPECT_EQ(bar->SetValueRange(0, 10, 1), E_INVALIDARG);
    EXPECT_NEAR(bar->NormalizedToValue(bar->GetValue()), 100, 1e-9);

    // The step buttons repeat: a press on "inc" steps at once.
    auto inc = RCPtrDynamicCast<LButton>(bar->FindChildByName(u"inc"));
    ASSERT_TRUE(inc);
    const double before = bar->GetValue();
    inc->ConditionsChanged(LConditionsParam::Create(kConditionLeftPressed | kConditionCapture, 0));
    EXPECT_GT(bar->GetValue(), before);
}

TEST_F(Scrolling, DragDefersProgramValuesAndStopsAtTheTrackEnd)
{
    RCPtr<LScrollbar> bar = MakeBar(top, u"bar", 0, 0, 15, 230, true);
    Finish(bar);
    bar->mThumbFraction = 0.2;
    bar->UpdateThumbSize();
    RCPtr<LControl> thumb = bar->GetThumb();
    thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0x90, 0x10, 5, 5));
    bar->SetValue(0.3);
    EXPECT_EQ(bar->GetValue(), 0);
    thumb->Notify(u"NID_MOUSE_MOVE", LPointWithModifiersParam::Create(5, 85, 0));
    EXPECT_EQ(Thumb(*bar), 80);
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.5);
    thumb->Notify(u"NID_MOUSE_MOVE", LPointWithModifiersParam::Create(5, 900, 0));
    EXPECT_EQ(Thumb(*bar), 160);
    EXPECT_EQ(bar->GetValue(), 1);
    thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0, 0x90, 5, 5));
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.3);
    EXPECT_EQ(Thumb(*bar), 48);
    // Out of range while dragging: dropped when the drag ends.
    thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0x90, 0x10, 5, 5));
    bar->SetValue(7);
    thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0, 0x90, 5, 5));
    EXPECT_DOUBLE_EQ(bar->GetValue(), 0.3);
}

TEST_F(Scrolling, ThumbFillingTheTrackCannotBeDragged)
{
    RCPtr<LScrollbar> bar = MakeBar(top, u"bar", 0, 0, 15, 230, true);
    Finish(bar);
    for (double fraction : {1.0, 1.5}) {
        bar->mThumbFraction = fraction;
        bar->UpdateThumbSize();
        RCPtr<LControl> thumb = bar->GetThumb();
        thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0x90, 0x10, 5, 5));
        for (int y : {-50, 3, 120, 900})
            thumb->Notify(u"NID_MOUSE_MOVE", LPointWithModifiersParam::Create(5, y, 0));
        EXPECT_EQ(bar->GetValue(), 0) << fraction;
        EXPECT_EQ(Thumb(*bar), 0) << fraction;
        thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0, 0x90, 5, 5));
    }
}

TEST_F(Scrolling, ChannelPagesAtOnceThenAfterDelayThenAtInterval)
{
    RCPtr<LScrollbar> bar = MakeBar(top, u"bar", 0, 0, 15, 230, true);
    Finish(bar);
    bar->mThumbFraction = 0.1;
    bar->mPageStep = 0.1;
    bar->UpdateThumbSize();
    RCPtr<LControl> channel = bar->FindChildByName(u"channel");
    window->mouse = {5, 15 + 190};
    channel->UITarget_MouseEnter();
    channel->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0x18, 0, 5, 190));
    EXPECT_EQ(bar->GetPagingSide(), 2);
    EXPECT_NEAR(bar->GetValue(), 0.1, 1e-9);
    // Milliseconds after the press, and the pages done by then.
    const struct
    {
        uint32_t ms;
        double value;
    } steps[] = {{390, 0.1}, {400, 0.2}, {590, 0.2}, {600, 0.3}, {800, 0.4}};
    for (const auto& step : steps) {
        clock.Set(step.ms);
        bar->OnIdle();
        EXPECT_NEAR(bar->GetValue(), step.value, 1e-9) << step.ms;
    }
    // Leaving the thumb's far side pauses the paging.
    window->mouse = {5, 15 + 2};
    clock.Set(1500);
    bar->OnIdle();
    EXPECT_NEAR(bar->GetValue(), 0.4, 1e-9);
    channel->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0, 0x18, 5, 190));
    EXPECT_EQ(bar->GetPagingSide(), 0);
}

TEST_F(Scrolling, KeysFollowTheBarsOrientationAndMask)
{
    struct Case
    {
        bool vertical;
        const char16_t* key;
        double value;
    } cases[] = {
        {true, u"VKEY_DOWN", 0.52},    {true, u"VKEY_UP", 0.48},   {true, u"VKEY_PAGEDN", 0.7},
        {true, u"VKEY_PAGEUP", 0.3},   {true, u"VKEY_LEFT", 0.5},  {false, u"VKEY_RIGHT", 0.52},
        {false, u"VKEY_PAGEUP", 0.5},  {false, u"VKEY_HOME", 0.0}, {true, u"VKEY_END", 1.0},
        {true, u"Ctrl+VKEY_END", 0.5},
    };
    for (const Case& c : cases) {
        RCPtr<LScrollbar> bar = c.vertical ? MakeBar(top, u"bar", 0, 0, 15, 230, true)
                                           : MakeBar(top, u"bar", 0, 0, 230, 15, false);
        Finish(bar);
        bar->SetValue(0.5);
        RCPtr<LSiblingKeyParam> record = LSiblingKeyParam::Create(KeyCode::FromString(c.key), nullptr);
        bar->ReceiveNotification(RCPtr<LNotificationDistributor>(top.Get()),
                                 LNotification::Create(u"NID_SIBLING_KEY", record));
        EXPECT_NEAR(bar->GetValue(), c.value, 1e-9) << NString(WString(c.key)).c_str();
        EXPECT_EQ(record->mResult == 0, c.value != 0.5) << NString(WString(c.key)).c_str();
        Drop(bar);
    }
}

// top: a, panel (p1, p2), b; every leaf focusable.
class PanelKeys : public Scrolling
{
protected:
    void SetUp() override
    {
        Scrolling::SetUp();
        a = Make<LControl>(top, u"a", 0, 0, 10, 10);
        panel = Make<LPanel>(top, u"panel", 0, 20, 100, 50);
        p1 = Make<LControl>(panel, u"p1", 0, 0, 10, 10);
        p2 = Make<LControl>(panel, u"p2", 20, 0, 10, 10);
        b = Make<LControl>(top, u"b", 0, 80, 10, 10);
        Finish(top);
    }
    void Tab(const RCPtr<LControl>& from, uint32_t modifiers)
    {
        from->UITarget_Key(LKeyParam::Create(KeyCode(0x20090009u | modifiers)));
    }
    RCPtr<LControl> a, p1, p2, b;
    RCPtr<LPanel> panel;
};

TEST_F(PanelKeys, TabLeavesThePanelAtEitherEnd)
{
    struct Case
    {
        const char* from;
        uint32_t modifiers;
        const char* to;
    } cases[] = {
        {"p1", 0, "p2"},
        {"p2", 0, "b"},
        {"p1", KeyCode::kShift, "a"},
        {"p2", KeyCode::kShift, "p1"},
        {"p1", KeyCode::kCtrl, "b"},
        {"b", 0, "a"},
        {"a", 0, "p1"},
    };
    for (const Case& c : cases) {
        RCPtr<LControl> from = top->FindChildByName(WString(NString(c.from)));
        if (!from)
            from = panel->FindChildByName(WString(NString(c.from)));
        from->SetFocus(true);
        Tab(from, c.modifiers);
        ASSERT_TRUE(window->focus) << c.from;
        EXPECT_STREQ(NString(window->focus->GetName()).c_str(), c.to) << c.from << " " << c.modifiers;
    }
}

TEST_F(PanelKeys, UnusedKeysClimbToTheGlobalHotKeys)
{
    std::vector<uint32_t> seen;
    ControlEnvironment().processHotKey = [&](const KeyCode& key) { return seen.push_back(key.code), S_OK; };
    p1->UITarget_Key(LKeyParam::Create(KeyCode::FromString(u"Alt+VKEY_F4")));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], KeyCode::FromString(u"Alt+VKEY_F4").code);
    EXPECT_TRUE(panel->HasPanelHandler());
    EXPECT_FALSE(top->HasPanelHandler());
}

TEST_F(PanelKeys, ScrollbarInAPanelTakesKeysItsSiblingsLeave)
{
    RCPtr<LPanel> view = Make<LPanel>(top, u"view", 200, 0, 100, 100);
    MakeBar(view, u"vBar", 85, 0, 15, 100, true);
    Finish(view);
    view->SetClientExtent({0, 300});
    b->UITarget_Key(LKeyParam::Create(KeyCode::FromString(u"VKEY_DOWN")));
    EXPECT_DOUBLE_EQ(view->GetVerticalBar()->GetValue(), 0.05);
    EXPECT_EQ(view->GetScrollOffset().y, 10);
}

}  // namespace
