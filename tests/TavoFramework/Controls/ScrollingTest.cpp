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
    const double t = vertical ? w : h, l = (vertical ? h : w) - t;
    Make<LButton>(bar, u"dec", 0, 0, t, t);
    Make<LButton>(bar, u"inc", vertical ? 0 : l, vertical ? l : 0, t, t);
    Make<LButton>(vertical ? Make<LControl>(bar, u"channel", 0, t, t, l - t)
                           : Make<LControl>(bar, u"channel", t, 0, l - t, t),
                  u"thumb", 0, 0, t, t);
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
    // Parts and owners subscribe to each other.
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
    // A vertical bar with a channel 200 long between two 15-pixel buttons.
    RCPtr<LScrollbar> Bar(double fraction)
    {
        RCPtr<LScrollbar> bar = MakeBar(top, u"bar", 0, 0, 15, 230, true);
        Finish(bar);
        bar->mThumbFraction = fraction;
        bar->UpdateThumbSize();
        return bar;
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
    RCPtr<LPanel> view = MakeView();
    const std::tuple<int, int, bool, bool> cases[] = {
        {0, 300, false, true}, {100, 100, false, false}, {95, 300, true, true},
        {300, 95, true, true}, {300, 50, true, false},   {50, 50, false, false},
    };
    for (auto [x, y, h, v] : cases) {
        SCOPED_TRACE(testing::Message() << x << "x" << y);
        view->SetClientExtent({double(x), double(y)});
        EXPECT_EQ(view->IsScrollbarShown(0), h);
        EXPECT_EQ(view->IsScrollbarShown(1), v);
        EXPECT_EQ(view->GetClientRect().width, v ? 85 : 100);
        EXPECT_EQ(view->GetClientRect().height, h ? 85 : 100);
    }
}

TEST_F(Scrolling, PixelAndRowModesKeepBarAndOffsetInStepAndAutoExtentSkipsDocked)
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
    EXPECT_EQ(view->GetScrollLimits().height, 200);
    view->SetClientExtent({0, 150});
    EXPECT_EQ(view->GetScrollOffset().y, 50);
    // Rows of 20 in a 70-pixel view.
    RCPtr<LPanel> list = Make<LPanel>(top, u"list", 0, 0, 100, 70);
    MakeBar(list, u"vBar", 85, 0, 15, 70, true);
    Finish(list);
    list->SetScrollUnit(1, 1, 20);
    list->SetClientExtent({0, 200});
    LScrollbar& rows = *list->GetVerticalBar();
    EXPECT_EQ(rows.GetRangeMax(), 7);
    EXPECT_DOUBLE_EQ(rows.mLineStep, 1.0 / 7);
    EXPECT_DOUBLE_EQ(rows.mPageStep, 3.0 / 7);
    EXPECT_DOUBLE_EQ(rows.mThumbFraction, 0.3);
    rows.SetValue(rows.ValueToNormalized(2.6));
    EXPECT_EQ(list->GetScrollOffset().y, 40);
    // Fewer rows keep the first visible row where the range allows.
    list->SetClientExtent({0, 100});
    EXPECT_EQ(rows.NormalizedToValue(rows.GetValue()), 2);
    // The automatic extent ignores docked children.
    RCPtr<LPanel> autoView = Make<LPanel>(top, u"auto", 0, 0, 100, 100);
    Make<LControl>(autoView, u"a", 0, 10, 20, 40);
    RCPtr<LControl> docked = Make<LControl>(autoView, u"b", 0, 500, 20, 40);
    LLayoutDescriptor::Axis y;
    docked->GetPlacement(1, y);
    y.docked = true;
    docked->SetAxisPlacement(1, y);
    Finish(autoView);
    autoView->SetAutoClientExtent(2, 0, 5);
    EXPECT_EQ(autoView->GetClientExtent().y, 55);
}

TEST_F(Scrolling, WheelMovesTheRightBarByLineOrPage)
{
    using W = LMouseWheelParam;
    // Extent, modifiers, direction, whether the horizontal bar moves, and which way.
    const std::tuple<int, int, uint32_t, uint32_t, bool, bool> cases[] = {
        {0, 300, 0u, W::kDown, false, true},   {0, 300, 0u, W::kUp, false, false},
        {0, 300, 0x8u, W::kDown, false, true}, {300, 300, 0x40u, W::kDown, true, true},
        {300, 50, 0u, W::kDown, true, true},   {300, 300, 0u, W::kLeft, true, true},
        {0, 300, 0u, W::kRight, false, false},
    };
    for (auto [x, y, modifiers, direction, horizontal, forward] : cases) {
        SCOPED_TRACE(testing::Message() << x << " " << modifiers << " " << direction);
        RCPtr<LPanel> view = MakeView();
        view->SetClientExtent({double(x), double(y)});
        LScrollbar& bar = horizontal ? *view->GetHorizontalBar() : *view->GetVerticalBar();
        bar.SetValue(0.5);
        const double before = bar.GetValue(), step = (modifiers & 0x8) ? bar.mPageStep : bar.mLineStep;
        RCPtr<W> wheel = W::Create(5, 5, modifiers, direction);
        EXPECT_EQ(direction <= 1 ? view->OnWheel(wheel) : view->OnWheelEvent(wheel), S_OK);
        // The offset is whole pixels and the bar follows it.
        EXPECT_NEAR(bar.GetValue(), before + (forward ? step : -step), 0.5 / bar.GetRangeMax());
        Drop(view);
    }
    RCPtr<LPanel> empty = MakeView();
    EXPECT_EQ(empty->OnWheel(LMouseWheelParam::Create(0, 0, 0, 0)), S_FALSE);
}

TEST_F(Scrolling, ThumbFollowsValueAndHasAFloor)
{
    RCPtr<LScrollbar> bar = Bar(0.2);
    EXPECT_EQ(bar->GetTrackEnd(), 200);
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
    // A press on "inc" steps at once.
    const double before = bar->GetValue();
    RCPtrDynamicCast<LButton>(bar->FindChildByName(u"inc"))
        ->ConditionsChanged(LConditionsParam::Create(kConditionLeftPressed | kConditionCapture, 0));
    EXPECT_GT(bar->GetValue(), before);
    Drop(bar);
}

TEST_F(Scrolling, DragDefersProgramValuesAndStopsAtTheTrackEnd)
{
    RCPtr<LScrollbar> bar = Bar(0.2);
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
    Drop(bar);
    // A thumb as long as its track (or longer) does not move.
    for (double fraction : {1.0, 1.5}) {
        RCPtr<LScrollbar> full = Bar(fraction);
        RCPtr<LControl> fullThumb = full->GetThumb();
        fullThumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0x90, 0x10, 5, 5));
        for (int y : {-50, 3, 120, 900})
            fullThumb->Notify(u"NID_MOUSE_MOVE", LPointWithModifiersParam::Create(5, y, 0));
        EXPECT_EQ(full->GetValue(), 0) << fraction;
        EXPECT_EQ(Thumb(*full), 0) << fraction;
        fullThumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0, 0x90, 5, 5));
        Drop(full);
    }
}

TEST_F(Scrolling, ChannelPagesAtOnceThenAfterDelayThenAtInterval)
{
    RCPtr<LScrollbar> bar = Bar(0.1);
    bar->mPageStep = 0.1;
    RCPtr<LControl> channel = bar->FindChildByName(u"channel");
    window->mouse = {5, 15 + 190};
    channel->UITarget_MouseEnter();
    // The record's press point is in the bar's coordinates.
    channel->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0x18, 0, 5, 15 + 190));
    EXPECT_EQ(bar->GetPagingSide(), 2);
    EXPECT_NEAR(bar->GetValue(), 0.1, 1e-9);
    // Milliseconds after the press, and the pages done by then.
    for (auto [ms, value] : {std::pair{390u, 0.1}, {400u, 0.2}, {590u, 0.2}, {600u, 0.3}, {800u, 0.4}}) {
        clock.Set(ms);
        bar->OnIdle();
        EXPECT_NEAR(bar->GetValue(), value, 1e-9) << ms;
    }
    // Leaving the thumb's far side pauses the paging.
    window->mouse = {5, 15 + 2};
    clock.Set(1500);
    bar->OnIdle();
    EXPECT_NEAR(bar->GetValue(), 0.4, 1e-9);
    channel->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE", LConditionsParam::Create(0, 0x18, 5, 15 + 190));
    EXPECT_EQ(bar->GetPagingSide(), 0);
}

// Initialize starts the step buttons from rest: one held down stops
// repeating and gives back its idle request.
TEST_F(Scrolling, InitializeStopsAHeldStepButtonRepeating)
{
    RCPtr<LScrollbar> bar = Bar(0.1);
    bar->SetValue(0.5);
    auto dec = RCPtrDynamicCast<LButton>(bar->FindChildByName(u"dec"));
    ASSERT_TRUE(dec);
    window->buttons = 1;
    dec->UITarget_MouseEnter();
    ASSERT_EQ(dec->UITarget_MouseDown(LMouseButtonParam::Create(1, 5, 5, 0, false, 1)), S_OK);
    EXPECT_NEAR(bar->GetValue(), 0.48, 1e-9) << "a step at the press";
    clock.Advance(300);
    dec->OnIdle();
    EXPECT_NEAR(bar->GetValue(), 0.46, 1e-9) << "and one 0.3 s later";
    ASSERT_EQ(bar->Initialize(), S_OK);
    EXPECT_EQ(dec->GetIdleRequests(), 0);
    for (int i = 0; i < 10; ++i) {
        clock.Advance(100);
        dec->OnIdle();
    }
    EXPECT_NEAR(bar->GetValue(), 0.46, 1e-9);
}

TEST_F(Scrolling, KeysFollowTheBarsOrientationAndMask)
{
    for (auto [vertical, key, value] : {std::tuple{true, u"VKEY_DOWN", 0.52},
                                        {true, u"VKEY_UP", 0.48},
                                        {true, u"VKEY_PAGEDN", 0.7},
                                        {true, u"VKEY_PAGEUP", 0.3},
                                        {true, u"VKEY_LEFT", 0.5},
                                        {false, u"VKEY_RIGHT", 0.52},
                                        {false, u"VKEY_PAGEUP", 0.5},
                                        {false, u"VKEY_HOME", 0.0},
                                        {true, u"VKEY_END", 1.0},
                                        {true, u"Ctrl+VKEY_END", 0.5}}) {
        SCOPED_TRACE(NString(WString(key)).c_str());
        RCPtr<LScrollbar> bar =
            vertical ? MakeBar(top, u"bar", 0, 0, 15, 230, true) : MakeBar(top, u"bar", 0, 0, 230, 15, false);
        Finish(bar);
        bar->SetValue(0.5);
        RCPtr<LSiblingKeyParam> record = LSiblingKeyParam::Create(KeyCode::FromString(key), nullptr);
        bar->ReceiveNotification(RCPtr<LNotificationDistributor>(top.Get()),
                                 LNotification::Create(u"NID_SIBLING_KEY", record));
        EXPECT_NEAR(bar->GetValue(), value, 1e-9);
        EXPECT_EQ(record->mResult == 0, value != 0.5);
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
    RCPtr<LControl> a, p1, p2, b;
    RCPtr<LPanel> panel;
};

TEST_F(PanelKeys, TabLeavesThePanelAtEitherEnd)
{
    for (auto [from, modifiers, to] : {std::tuple{&p1, 0u, &p2},
                                       {&p2, 0u, &b},
                                       {&p1, KeyCode::kShift, &a},
                                       {&p2, KeyCode::kShift, &p1},
                                       {&p1, KeyCode::kCtrl, &b},
                                       {&b, 0u, &a},
                                       {&a, 0u, &p1}}) {
        SCOPED_TRACE(testing::Message() << NString((*from)->GetName()).c_str() << " " << modifiers);
        (*from)->SetFocus(true);
        (*from)->UITarget_Key(LKeyParam::Create(KeyCode(KeyCode::PressCode(VKey::kTab, modifiers) | u'\t')));
        EXPECT_EQ(window->focus, *to);
    }
}

TEST_F(PanelKeys, UnusedKeysClimbToTheBarThenToTheGlobalHotKeys)
{
    std::vector<uint32_t> seen;
    ControlEnvironment().processHotKey = [&](const KeyCode& key) { return seen.push_back(key.code), S_OK; };
    p1->UITarget_Key(LKeyParam::Create(KeyCode::FromString(u"Alt+VKEY_F4")));
    EXPECT_EQ(seen, std::vector<uint32_t>{KeyCode::FromString(u"Alt+VKEY_F4").code});
    EXPECT_TRUE(panel->HasPanelHandler());
    EXPECT_FALSE(top->HasPanelHandler());
    // A scroll bar in the panel takes the keys its siblings leave.
    RCPtr<LPanel> view = Make<LPanel>(top, u"view", 200, 0, 100, 100);
    MakeBar(view, u"vBar", 85, 0, 15, 100, true);
    Finish(view);
    view->SetClientExtent({0, 300});
    b->UITarget_Key(LKeyParam::Create(KeyCode::FromString(u"VKEY_DOWN")));
    EXPECT_DOUBLE_EQ(view->GetVerticalBar()->GetValue(), 0.05);
    EXPECT_EQ(view->GetScrollOffset().y, 10);
}

}  // namespace

TEST_F(Scrolling, DockedChildrenKeepTheirPlaceInViewWhileTheContentScrolls)
{
    RCPtr<LPanel> view = Make<LPanel>(top, u"view", 0, 0, 100, 100);
    // Docked on x, on y, on both, on neither; each at (10, 20) in view before scrolling.
    const std::pair<bool, bool> docks[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    std::vector<RCPtr<LControl>> children;
    const char16_t* names[] = {u"x", u"y", u"xy", u"none"};
    for (auto [x, y] : docks) {
        RCPtr<LControl> child = Make<LControl>(view, names[children.size()], 10, 20, 5, 5);
        LLayoutDescriptor::Axis ax, ay;
        child->GetPlacement(0, ax);
        child->GetPlacement(1, ay);
        ax.docked = x, ay.docked = y;
        child->SetPlacement(ax, ay);
        children.push_back(child);
    }
    Finish(view);
    view->SetClientExtent({400, 400});
    for (const PointT<double> offset :
         {PointT<double>{30, 50}, PointT<double>{0, 120}, PointT<double>{0, 0}}) {
        view->SetScrollOffset(offset);
        for (size_t i = 0; i < children.size(); ++i) {
            SCOPED_TRACE(testing::Message() << offset.x << "," << offset.y << " child " << i);
            const PointT<double> seen = children[i]->GetPositionInParent();
            EXPECT_EQ(seen.x, docks[i].first ? 10 : 10 - offset.x);
            EXPECT_EQ(seen.y, docks[i].second ? 20 : 20 - offset.y);
        }
    }
}
