#include "Application/AppClock.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "Notification/NotificationCenter.h"
#include "System/HotKeyMap.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr uint32_t kTab = KeyCode::PressCode(VKey::kTab);
constexpr uint32_t kShiftTab = KeyCode::PressCode(VKey::kTab, KeyCode::kShift);
constexpr uint32_t kCtrlTab = KeyCode::PressCode(VKey::kTab, KeyCode::kCtrl);

std::string Text(const WString& s)
{
    return NString(s).c_str();
}

// Geometry set by hand; hooks that record input.
class TestControl : public LControl
{
public:
    TestControl(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name)
    {
        SetCreated(true);
    }
    void Place(double x, double y, double w, double h) { mX = x, mY = y, mWidth = w, mHeight = h; }
    LLayoutDescriptor& Record() { return Layout(); }
    void SetWantsTab(bool wants) { mWantsTab = wants; }
    void Bind(const char16_t* key, const char16_t* name)
    {
        auto map = mHotKeys ? mHotKeys : std::make_shared<HotKeyMap>();
        map->AddBinding(KeyCode::FromString(key), name);
        SetHotKeyMap(map);
        SubscribeSiblingKeys();
    }

    TavoResult OnKey(const RCPtr<LKeyParam>& param) override
    {
        return keys.push_back(param->mKey.code), S_FALSE;
    }
    TavoResult OnWheel(const RCPtr<LMouseWheelParam>&) override
    {
        return ++wheels, takesWheel ? S_OK : S_FALSE;
    }
    // Stands for a control painted all over, having no look to ask.
    bool IsTransparentAt(const PointT<int32_t>&) override { return transparent; }
    bool AcceptsDrop(LControl*) override { return acceptsDrop; }
    TavoResult Drop(LControl*) override { return ++drops, S_OK; }
    uint32_t GetDropScrollEdges(LControl*) override { return dropEdges; }
    RectT<double> GetDragRect() override { return dragRect; }
    RectT<double> GetDragLimits() override { return dragLimits; }

    std::vector<uint32_t> keys;
    int wheels = 0, drops = 0;
    bool takesWheel = false, transparent = false, acceptsDrop = false;
    uint32_t dropEdges = 0;
    RectT<double> dragRect{0, 0, 1000, 1000}, dragLimits{0, 0, 1000, 1000};
};

// Hit tests through the tree, keeps the hover and wraps Tab around.
class TestRoot : public FakeRootWindow
{
public:
    RCPtr<LControl> FindControlAtPoint(const PointT<int32_t>& point, PointT<int32_t>& local,
                                       bool update) override
    {
        RCPtr<LControl> hit = root ? root->HitTestFromTop(point, local, true) : RCPtr<LControl>();
        if (update && hit != hover) {
            if (RCPtr<LControl> old = hover)
                old->UITarget_MouseLeave();
            if ((hover = hit))
                hit->UITarget_MouseEnter();
        }
        return hit;
    }
    TavoResult MoveFocusToNextWindow(const RCPtr<LKeyParam>& key) override
    {
        ++focusHandOffs;
        root->UITarget_Deactivate();
        return root->SetFocus(!key->IsShift());
    }
};

class Recorder : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        return names.push_back(Text(n->GetID())), S_OK;
    }
    int Count(const std::string& name) const { return int(std::count(names.begin(), names.end(), name)); }
    std::vector<std::string> names;
};

class ControlInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        top = Add(nullptr, u"top", 0, 0, 400, 300);
        top->SetRootWindow(window.Get());
        window->root = top;
    }
    void TearDown() override
    {
        ControlEnvironment().processHotKey = nullptr;
        ControlEnvironment().cursor = nullptr;
        for (const auto& r : recorders)
            r->UnsubscribeAll();
        window->ReleaseInternalReferences();
        top->SetRootWindow(nullptr);
        for (size_t i = made.size(); i-- > 0;)
            made[i]->ReleaseInternalReferences();
    }
    RCPtr<TestControl> Add(const RCPtr<LControl>& parent, const char16_t* name, double x, double y, double w,
                           double h, int32_t tab = 0)
    {
        RCPtr<TestControl> c(new TestControl(parent, name));
        c->Place(x, y, w, h);
        // The record says the same, so a layout pass keeps the place.
        LLayoutDescriptor& record = c->Record();
        record.x.positionAbs = x, record.y.positionAbs = y, record.x.sizeAbs = w, record.y.sizeAbs = h;
        record.tabStop = tab;
        made.push_back(named[Text(name)] = c);
        return c;
    }
    RCPtr<Recorder> Listen(const RCPtr<LControl>& control, std::initializer_list<const char16_t*> ids)
    {
        RCPtr<Recorder> r(new Recorder());
        for (const char16_t* id : ids)
            r->Subscribe(RCPtr<LNotificationDistributor>(control), id);
        recorders.push_back(r);
        return r;
    }
    std::string Focused() const { return window->focus ? Text(window->focus->GetName()) : ""; }
    void Key(uint32_t code) { window->focus->UITarget_Key(LKeyParam::Create(KeyCode(code))); }
    // As the root window routes them: to the capture holder, else to the
    // control hit (presses and moves only). kind: 0 press, 1 move, 2 release.
    void Mouse(int kind, int32_t x, int32_t y, uint32_t button = 1)
    {
        if (kind == 2 && (window->mouse.x != x || window->mouse.y != y))
            Mouse(1, x, y);
        window->buttons = kind == 0   ? window->buttons | button
                          : kind == 2 ? window->buttons & ~button
                                      : window->buttons;
        window->mouse = {x, y};
        PointT<int32_t> local;
        RCPtr<LControl> hit = kind == 2 ? RCPtr<LControl>() : window->FindControlAtPoint({x, y}, local, true);
        RCPtr<LControl> target = window->capture ? window->capture : hit;
        if (!target)
            return;
        const PointT<int32_t> at = ToIntPoint(target->GetAbsolutePosition());
        local = {x - at.x, y - at.y};
        if (kind == 1)
            target->UITarget_MouseMove(LPointWithModifiersParam::Create(local.x, local.y, 0));
        else {
            auto param = LMouseButtonParam::Create(button, local.x, local.y, 0, false, window->buttons);
            kind == 0 ? target->UITarget_MouseDown(param) : target->UITarget_MouseUp(param);
        }
    }
    void Press(int32_t x, int32_t y, uint32_t button = 1) { Mouse(0, x, y, button); }
    void Move(int32_t x, int32_t y) { Mouse(1, x, y); }
    void Release(int32_t x, int32_t y, uint32_t button = 1) { Mouse(2, x, y, button); }
    void Idle(uint32_t ms)
    {
        clock.Advance(ms);
        window->SendNotification(LNotification::Create(u"NID_IDLE"));
    }

    ManualAppClock clock;
    ScopedAppClock clockScope{clock};
    RCPtr<TestRoot> window{new TestRoot()};
    RCPtr<TestControl> top;
    std::map<std::string, RCPtr<TestControl>> named;
    std::vector<RCPtr<TestControl>> made;
    std::vector<RCPtr<Recorder>> recorders;
};

class TabOrder : public ControlInput
{
protected:
    void SetUp() override
    {
        ControlInput::SetUp();
        // Insertion order differs from tab order on purpose.
        Add(top, u"d", 0, 200, 50, 20, 4);
        Add(top, u"a", 0, 0, 50, 20, 0);
        auto box = Add(top, u"box", 0, 50, 200, 100, 1);
        Add(box, u"b2", 60, 0, 50, 20, 1)->SetEnabled(false);
        Add(box, u"b3", 120, 0, 50, 20, 2);
        Add(box, u"b1", 0, 0, 50, 20, 0);
        Add(top, u"skip", 0, 160, 50, 20, 2)->SetNotFocusable(true);
        Add(top, u"hidden", 0, 180, 50, 20, 3)->Record().visible = false;
        Add(top, u"e", 0, 240, 50, 20, 5);
    }
};

TEST_F(TabOrder, TabAndShiftTabWalkTheTreeEnteringContainersAndWrapping)
{
    struct Case
    {
        const char* start;
        uint32_t key;
        std::vector<std::string> walk;
        int handOffs;
    } cases[] = {
        {"a", kTab, {"b1", "b3", "d", "e", "a", "b1"}, 1},
        {"b1", kShiftTab, {"a", "e", "d", "b3", "b1", "a"}, 1},
        {"b1", kCtrlTab, {"d"}, 0},  // Ctrl+Tab leaves the container at once
    };
    for (const Case& c : cases) {
        window->focusHandOffs = 0;
        named[c.start]->SetFocus(true);
        ASSERT_EQ(Focused(), c.start);
        std::vector<std::string> walk;
        for (size_t i = 0; i < c.walk.size(); ++i) {
            Key(c.key);
            walk.push_back(Focused());
        }
        EXPECT_EQ(walk, c.walk) << c.start << " " << std::hex << c.key;
        EXPECT_EQ(window->focusHandOffs, c.handOffs) << c.start;
    }
}

TEST_F(TabOrder, TabFollowsChildrenRemovedAndAddedBetweenSteps)
{
    // Tab positions kept from the last sorting must follow the list: a
    // removal shifts the later children, an added one sorts in by its stop.
    named["a"]->SetFocus(true);
    Key(kTab);
    ASSERT_EQ(Focused(), "b1");
    named["d"]->Detach();
    Add(top, u"c", 0, 220, 50, 20, 1);
    std::vector<std::string> walk;
    for (int i = 0; i < 5; ++i) {
        Key(kTab);
        walk.push_back(Focused());
    }
    EXPECT_EQ(walk, (std::vector<std::string>{"b3", "c", "e", "a", "b1"}));
}

TEST_F(TabOrder, FocusPathNotFocusableMarksAndWantsTab)
{
    auto box = named["box"], b1 = named["b1"], a = named["a"];
    EXPECT_EQ(box->SetFocus(false), 1);  // a container focuses its last leaf
    EXPECT_EQ(Focused(), "b3");
    EXPECT_TRUE(box->ContainsFocus() && top->ContainsFocus() && !box->HasFocus());

    // A tab stop of 0 turns -1 while not focusable and comes back as 1.
    a->SetNotFocusable(true);
    EXPECT_EQ(a->Record().tabStop, -1);
    a->SetNotFocusable(false);
    EXPECT_EQ(a->Record().tabStop, 1);
    // Under a not-focusable ancestor only a focus root takes the focus.
    box->SetNotFocusable(true);
    EXPECT_FALSE(b1->CanTakeFocus());
    b1->SetFocusRoot(true);

    b1->SetWantsTab(true);
    b1->SetFocus(true);
    Key(kTab);
    Key(kShiftTab);
    EXPECT_EQ(Focused(), "b1");
    EXPECT_EQ(b1->keys, (std::vector<uint32_t>{kTab, kShiftTab}));
}

TEST_F(ControlInput, DeepSkinsFocusTheirLeafAndTabThroughIt)
{
    // 200 nested containers beside "a", one leaf at the bottom.
    Add(top, u"a", 0, 0, 50, 20, 0);
    std::vector<RCPtr<TestControl>> levels{Add(top, u"level", 0, 30, 300, 200, 1)};
    while (levels.size() < 200)
        levels.push_back(Add(levels.back(), u"level", 0, 0, 300, 200));
    auto leaf = Add(levels.back(), u"leaf", 0, 0, 50, 20);
    struct Case
    {
        const char* what;
        std::function<void(bool)> mark;
        std::vector<std::string> walk;  // after SetFocus, Tab, Tab, Shift+Tab
    } cases[] = {
        {"plain", [](bool) {}, {"leaf", "a", "leaf", "a"}},
        // The container above the one kept out or disabled has nothing
        // below: it takes the focus itself.
        {"kept out halfway",
         [&](bool on) { levels[100]->SetNotFocusable(on); },
         {"level", "a", "level", "a"}},
        {"disabled halfway", [&](bool on) { levels[100]->SetEnabled(!on); }, {"level", "a", "level", "a"}},
    };
    for (const Case& c : cases) {
        c.mark(true);
        levels[0]->SetFocus(true);
        std::vector<std::string> walk{Focused()};
        for (uint32_t key : {kTab, kTab, kShiftTab}) {
            Key(key);
            walk.push_back(Focused());
        }
        EXPECT_EQ(walk, c.walk) << c.what;
        c.mark(false);
    }
    // Below a control kept out, a focus root still takes the focus asked of it.
    levels[100]->SetNotFocusable(true);
    leaf->SetFocusRoot(true);
    leaf->SetFocus(true);
    EXPECT_EQ(Focused(), "leaf");
    EXPECT_TRUE(levels[0]->ContainsFocus() && levels[150]->ContainsFocus());
}

TEST_F(ControlInput, KeysGoToOwnHotKeysThenSiblingsThenWindowThenApplication)
{
    auto a = Add(top, u"a", 0, 0, 50, 20, 0), b = Add(top, u"b", 60, 0, 50, 20, 1),
         c = Add(top, u"c", 0, 30, 50, 20, 2);
    a->Bind(u"Ctrl+VKEY_S", u"NID_SAVE");
    b->Bind(u"VKEY_F5", u"NID_REFRESH");
    c->Bind(u"VKEY_F6", u"NID_REFRESH");
    window->hotKeys.AddBinding(KeyCode::FromString(u"VKEY_F7"), u"NID_WINDOW");
    std::vector<uint32_t> application;
    ControlEnvironment().processHotKey = [&](const KeyCode& key) {
        return application.push_back(key.code), S_OK;
    };
    auto heardA = Listen(a, {u"NID_SAVE"}), heardB = Listen(b, {u"NID_REFRESH"});
    a->SetFocus(true);

    const uint32_t f5 = KeyCode::PressCode(VKey::F(5)), f7 = KeyCode::PressCode(VKey::F(7)),
                   f8 = KeyCode::PressCode(VKey::F(8));
    Key(KeyCode::PressCode('S', KeyCode::kCtrl));  // a's own hot key, never offered to OnKey
    EXPECT_EQ(heardA->names.size(), 1u);
    Key(f5);  // a sibling's hot key
    EXPECT_EQ(heardB->names.size(), 1u);
    Key(f7);  // the window's
    Key(f8);  // only the application is left
    EXPECT_EQ(a->keys, (std::vector<uint32_t>{f5, f7, f8}));
    EXPECT_EQ(application, std::vector<uint32_t>{f8});
}

// The siblings' order is kept between key presses: a new client, a changed
// tab order and a changed focusable flag each count at the next press.
TEST_F(ControlInput, SiblingKeyOrderFollowsNewClientsTabOrderAndFocusability)
{
    auto a = Add(top, u"a", 0, 0, 50, 20, 0), b = Add(top, u"b", 60, 0, 50, 20, 1),
         c = Add(top, u"c", 0, 30, 50, 20, 2);
    b->Bind(u"VKEY_F5", u"NID_B");
    c->Bind(u"VKEY_F5", u"NID_C");
    RCPtr<TestControl> d;
    auto heard = Listen(b, {u"NID_B"});
    heard->Subscribe(RCPtr<LNotificationDistributor>(c), u"NID_C");
    a->SetFocus(true);
    const struct
    {
        std::function<void()> change;
        const char* taker;
    } steps[] = {
        {[] {}, "NID_C"},  // the last after the sender first
        {[&] {
             d = Add(top, u"d", 60, 30, 50, 20, 3);
             d->Bind(u"VKEY_F5", u"NID_D");
             heard->Subscribe(RCPtr<LNotificationDistributor>(d), u"NID_D");
         },
         "NID_D"},
        {[&] {
             // Before every other and not focusable: offered last.
             d->Record().tabStop = -1;
             d->SetNotFocusable(true);
             top->GetChildren().Changed();
         },
         "NID_C"},
        {[&] {
             // Focusable again and last in the tab order.
             d->SetNotFocusable(false);
             d->Record().tabStop = 9;
             top->GetChildren().Changed();
         },
         "NID_D"},
    };
    for (const auto& step : steps) {
        step.change();
        heard->names.clear();
        Key(KeyCode::PressCode(VKey::F(5)));
        EXPECT_EQ(heard->names, std::vector<std::string>{step.taker}) << &step - steps;
    }
}

TEST_F(ControlInput, OneClickPerStillPressAndNoneAfterADragOrOutside)
{
    auto button = Add(top, u"button", 100, 100, 80, 30);
    auto heard = Listen(button, {u"NID_LEFT_CLICK", u"NID_MOUSE_UP"});
    struct Case
    {
        const char* what;
        int32_t dragMode;
        PointT<int32_t> release;
        int clicks;
    } cases[] = {{"still", 0, {110, 110}, 1},
                 {"moved without a drag mode", 0, {130, 110}, 1},
                 {"moved one pixel with a drag mode", 2, {111, 110}, 0},
                 {"released outside, still to the capture holder", 0, {300, 250}, 0}};
    for (const Case& c : cases) {
        button->SetDragMode(c.dragMode, 3);
        heard->names.clear();
        Press(110, 110);
        EXPECT_TRUE(button->HasCapture()) << c.what;
        Release(c.release.x, c.release.y);
        EXPECT_EQ(heard->Count("NID_LEFT_CLICK"), c.clicks) << c.what;
        EXPECT_EQ(heard->Count("NID_MOUSE_UP"), 1) << c.what;
        EXPECT_FALSE(button->HasCapture() || window->capture) << c.what;
    }
}

TEST_F(ControlInput, HitTestSeesThroughTransparencyAndLetsFloatingChildrenWinByZ)
{
    auto panel = Add(top, u"panel", 0, 0, 200, 200);
    Add(top, u"under", 150, 150, 200, 100);
    Add(top, u"glass", 0, 0, 100, 100)->transparent = true;
    auto pop = Add(panel, u"pop", 180, 180, 100, 60);
    struct Case
    {
        PointT<int32_t> at;
        bool popFloats;
        const char* expected;
        PointT<int32_t> local;
    } cases[] = {{{50, 50}, false, "panel", {50, 50}},     // through the transparent glass
                 {{250, 200}, false, "under", {100, 50}},  // pop clipped by its parent
                 {{250, 200}, true, "pop", {70, 20}},      // floating outside its parent, above by z
                 {{380, 280}, true, "top", {380, 280}}};
    for (const Case& c : cases) {
        pop->SetClipToParent(!c.popFloats);
        pop->Record().zOrder = 5;
        PointT<int32_t> local;
        RCPtr<LControl> hit = top->HitTestFromTop(c.at, local, true);
        ASSERT_TRUE(hit) << c.expected;
        EXPECT_EQ(Text(hit->GetName()), c.expected);
        EXPECT_EQ(local.x, c.local.x) << c.expected;
        EXPECT_EQ(local.y, c.local.y) << c.expected;
    }
}

TEST_F(ControlInput, WheelBubblesToTheFirstTakerAndStopsBetweenRefusingFloaters)
{
    auto outer = Add(top, u"outer", 0, 0, 300, 300);
    auto inner = Add(outer, u"inner", 10, 10, 100, 100);
    outer->takesWheel = true;
    EXPECT_EQ(inner->WheelEvent(LMouseWheelParam::Create(5, 5, 0, LMouseWheelParam::kUp)), S_OK);
    EXPECT_EQ(inner->wheels + outer->wheels, 2);

    // Two overlapping floating pop-ups that both refuse.
    auto p1 = Add(top, u"p1", 50, 50, 100, 100), p2 = Add(top, u"p2", 60, 60, 100, 100);
    for (auto p : {p1, p2}) {
        p->SetClipToParent(false);
        p->Record().zOrder = 1;
    }
    outer->takesWheel = false;
    EXPECT_EQ(p2->WheelEvent(LMouseWheelParam::Create(10, 10, 0, LMouseWheelParam::kDown)), S_FALSE);
    EXPECT_EQ(p1->wheels + p2->wheels, 2);
    EXPECT_EQ(outer->wheels, 2);
}

TEST_F(ControlInput, MoveAndResizeStayInsideTheParentsDragRect)
{
    auto area = Add(top, u"area", 0, 0, 400, 300);
    area->dragRect = {0, 0, 200, 100};
    struct Case
    {
        const char* what;
        int32_t mode, axes, toX;
        double x, w;
        int32_t at = 10;
    } cases[] = {// Pressed 5 pixels into a control at 10 (or at) of width 20.
                 {"move", 2, 1, 65, 60, 20},
                 {"move past the right edge", 2, 1, 400, 195, 20},
                 {"move past the left edge", 2, 1, -50, -5, 20},
                 {"right edge outward", 4, 8, 200, 10, 39},
                 {"right edge inward", 4, 8, 5, 10, 10},
                 {"left edge outward", 4, 4, -50, -5, 35},
                 // An edge stops a pixel short of the opposite one.
                 {"left edge past the right edge", 4, 4, 100, 29, 1},
                 {"right edge past the left edge", 4, 8, 0, 100, 1, 100}};
    for (const Case& c : cases) {
        auto d = Add(area, u"d", c.at, 10, 20, 20);
        d->Record().x.positionAbs = c.at;
        d->Record().x.sizeAbs = 20;
        d->SetDragMode(c.mode, c.axes);
        Press(c.at + 5, 15);
        Move(c.toX, 15);
        EXPECT_EQ(d->GetLayout()->x.positionAbs, c.x) << c.what;
        EXPECT_EQ(d->GetLayout()->x.sizeAbs, c.w) << c.what;
        Release(c.toX, 15);
        d->SetParent(nullptr);
    }
}

TEST_F(ControlInput, AnEdgeDraggedToTheOtherCanBeGrabbedAgainToWiden)
{
    auto area = Add(top, u"area", 0, 0, 400, 300);
    area->dragRect = {0, 0, 400, 300};
    auto d = Add(area, u"d", 100, 10, 20, 20);
    d->SetDragMode(4, 8);
    Press(118, 15);
    Move(10, 15);
    Release(10, 15);
    ASSERT_EQ(d->GetWidth(), 1);
    // The sliver left is under the pointer and widens as far as the pointer goes.
    PointT<int32_t> local;
    EXPECT_EQ(top->HitTestFromTop({100, 15}, local, true).Get(), d.Get());
    Press(100, 15);
    Move(160, 15);
    Release(160, 15);
    EXPECT_EQ(d->GetLayout()->x.sizeAbs, 61);
}

TEST_F(ControlInput, ARebasedDragGoesOnFromWhereThePointerIs)
{
    auto area = Add(top, u"area", 0, 0, 400, 300);
    for (int32_t mode : {2, 4}) {
        auto d = Add(area, u"d", 100, 10, 20, 20);
        d->SetDragMode(mode, mode == 2 ? 1 : 8);
        const int32_t grab = mode == 2 ? 105 : 119;
        Press(grab, 15);
        Move(grab + 30, 15);
        EXPECT_EQ(d->RebaseDrag(), S_OK);
        // Moving: the position; the right edge: the width.
        const auto value = [&] {
            return mode == 2 ? d->GetLayout()->x.positionAbs : d->GetLayout()->x.sizeAbs;
        };
        Move(grab + 31, 15);
        EXPECT_EQ(value(), mode == 2 ? 131 : 51) << "31 in all";
        Move(grab - 9, 15);
        EXPECT_EQ(value(), mode == 2 ? 91 : 11) << "9 back from the press";
        Release(grab - 9, 15);
        EXPECT_EQ(d->RebaseDrag(), S_FALSE) << "no drag to rebase";
        d->SetParent(nullptr);
    }
}

// Carried by drag and drop, a control is placed absolutely: it stays under
// the pointer while the content below it scrolls, and goes back to a
// placement in the content where it is dropped.
TEST_F(ControlInput, ACarriedControlIsPlacedAbsolutelyUntilDropped)
{
    auto list = Add(top, u"list", 0, 0, 200, 200);
    list->SetScrollOffset({0, 40});
    auto item = Add(list, u"item", 10, 60, 50, 20);  // shown at 20 in the list
    item->SetDragMode(1, 2);
    Press(20, 25);
    Move(20, 45);
    ASSERT_TRUE(item->GetLayout()->y.docked);
    EXPECT_EQ(item->GetAbsolutePosition().y, 40);
    list->SetScrollOffset({0, 100});  // as an edge scroll does
    Move(20, 46);
    EXPECT_EQ(item->GetAbsolutePosition().y, 41) << "still 5 pixels above the pointer";
    Release(20, 46);
    EXPECT_FALSE(item->GetLayout()->y.docked);
    EXPECT_FALSE(item->GetLayout()->x.docked);
    EXPECT_EQ(item->GetLayout()->y.positionAbs, 141) << "in the content, where it was let go";
    EXPECT_EQ(item->GetAbsolutePosition().y, 41);
}

// Positions and scroll offsets anywhere in the +-2^52 the setters allow: the
// hit lands where the pixels are, without an integer overflow on the way.
TEST_F(ControlInput, HitTestHoldsForFarPositionsAndScrollOffsets)
{
    const double big = 4503599627370496.0;
    constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
    struct Case
    {
        double scrollX, scrollY, childX, childY;
        PointT<int32_t> at;
        const char* expected;  // null: nothing
        PointT<int32_t> local;
    } cases[] = {
        {big, big, big, big, {10, 10}, "far", {10, 10}},
        {-big, -big, -big, -big, {10, 10}, "far", {10, 10}},
        {big - 100, 0, big, 0, {10, 10}, "box", {10, 10}},
        {big - 100, 0, big, 0, {110, 10}, "far", {10, 10}},
        {0, -big, 0, -big + 30, {20, 50}, "far", {20, 20}},
        {0, 0, big, big, {10, 10}, "box", {10, 10}},
        {0, 0, -big, big, {10, 10}, "box", {10, 10}},
        {big, -big, 0, 0, {10, 10}, "box", {10, 10}},
        {big, big, big, big, {kMax, kMin}, nullptr, {}},
        {-big, big, -big, big, {kMin, kMax}, nullptr, {}},
        {big, big, -big, -big, {kMax, kMax}, nullptr, {}},
    };
    auto box = Add(top, u"box", 0, 0, 200, 200);
    auto far = Add(box, u"far", 0, 0, 50, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << &c - cases);
        box->SetScrollOffset({c.scrollX, c.scrollY});
        far->Place(c.childX, c.childY, 50, 50);
        PointT<int32_t> local;
        RCPtr<LControl> hit = top->HitTestFromTop(c.at, local, true);
        if (!c.expected) {
            EXPECT_FALSE(hit);
            continue;
        }
        ASSERT_TRUE(hit);
        EXPECT_EQ(Text(hit->GetName()), c.expected);
        EXPECT_EQ(local.x, c.local.x);
        EXPECT_EQ(local.y, c.local.y);
        // A far control in a far scrolled parent, as the window's pointer finds it.
        if (hit == far) {
            EXPECT_EQ(window->FindControlAtPoint(c.at, local, true).Get(), far.Get());
        }
    }
}

TEST_F(ControlInput, ScrollOffsetsTakeNoNumberAsZeroAndStopAtTwoToThe52)
{
    auto r = Listen(top, {u"NID_SCROLL_OFFSET_CHANGE"});
    const double nan = std::nan(""), big = 4503599627370496.0;
    struct Case
    {
        PointT<double> offset, kept;
        int reports;
    } cases[] = {
        {{5, 5}, {5, 5}, 1},
        {{nan, 3}, {0, 3}, 1},
        {{nan, 3}, {0, 3}, 0},
        {{nan, nan}, {0, 0}, 1},
        {{1e300, -1e300}, {big, -big}, 1},
        {{HUGE_VAL, -HUGE_VAL}, {big, -big}, 0},
    };
    for (const Case& c : cases) {
        r->names.clear();
        EXPECT_EQ(top->SetScrollOffset(c.offset), S_OK);
        EXPECT_EQ(top->GetScrollOffset().x, c.kept.x) << &c - cases;
        EXPECT_EQ(top->GetScrollOffset().y, c.kept.y) << &c - cases;
        EXPECT_EQ(r->Count("NID_SCROLL_OFFSET_CHANGE"), c.reports) << &c - cases;
    }
}

// The drop hit test is not strict: it finds floating controls and what lies
// in them, and beneath them; an ordinary control of the tree takes no drop.
TEST_F(ControlInput, DropTargetIsTheNearestAcceptingAncestorAlsoBeneathAFloater)
{
    auto shelf = Add(top, u"shelf", 200, 0, 200, 200);
    shelf->SetClipToParent(false);
    shelf->Record().zOrder = 1;
    Add(shelf, u"slot", 10, 10, 50, 50);
    shelf->acceptsDrop = true;
    Add(top, u"plain", 0, 200, 100, 100)->acceptsDrop = true;
    auto popup = Add(top, u"popup", 150, 100, 100, 100);
    popup->SetClipToParent(false);
    popup->Record().zOrder = 3;
    auto item = Add(top, u"item", 0, 0, 40, 40);
    item->SetDragMode(1, 3);
    ControlEnvironment().cursor = [](const WString& name) {
        return name == u"UI_CURSOR_DROP_MOVE" ? 77 : 78;
    };
    Press(10, 10);
    Move(150, 250);
    EXPECT_FALSE(item->GetDropTarget());
    Move(50, 250);  // over an ordinary control
    EXPECT_FALSE(item->GetDropTarget());
    Move(220, 20);  // over the slot, which refuses
    EXPECT_EQ(item->GetDropTarget().Get(), shelf.Get());
    EXPECT_EQ(window->cursor, 77u);
    Move(230, 150);  // over the floating pop-up
    EXPECT_EQ(item->GetDropTarget().Get(), shelf.Get());
    Release(230, 150);
    EXPECT_EQ(shelf->drops, 1);
    EXPECT_FALSE(item->GetDropTarget());
    EXPECT_EQ(window->cursor, 0u);
}

TEST_F(ControlInput, EdgeAutoScrollSpeedGrowsIntoTheZone)
{
    auto target = Add(top, u"target", 200, 0, 200, 200);
    target->SetClipToParent(false);
    target->acceptsDrop = true;
    target->dropEdges = 0x20 | 0x10;
    target->dragLimits = {0, 0, 0, 500};
    auto item = Add(top, u"item", 0, 0, 40, 40);
    item->SetDragMode(1, 3);
    Press(10, 10);
    const std::pair<int32_t, double> cases[] = {{100, 0},  {190, 315}, {199, 450},
                                                {5, -390}, {100, 0},   {199, 450}};
    for (auto [y, speed] : cases) {
        Move(250, y);
        EXPECT_EQ(target->GetAutoScrollSpeed(1), speed) << y;
    }
    Idle(100);  // 450 px/s for 0.1 s
    EXPECT_EQ(target->GetScrollOffset().y, 45);
    Release(250, 199);
    EXPECT_FALSE(target->IsAutoScrolling(1));
    EXPECT_EQ(target->GetIdleRequests(), 0);
}

TEST_F(ControlInput, FlingNeedsAFastLateMoveAndSlowsDownAfterASecond)
{
    struct Case
    {
        uint32_t releaseAfterMs;
        int32_t pixelsPer10Ms;
        bool flings;
    } cases[] = {{50, 20, true}, {100, 20, false}, {50, 9, false}, {99, 10, true}};
    for (const Case& c : cases) {
        auto list = Add(top, u"list", 0, 0, 200, 200);
        list->dragLimits = {0, 0, 0, 100000};
        list->SetDragMode(6, 2);
        Press(100, 150);
        for (int i = 1; i <= 5; ++i) {
            clock.Advance(10);
            Move(100, 150 - i * c.pixelsPer10Ms);
        }
        clock.Advance(c.releaseAfterMs);
        Release(100, 150 - 5 * c.pixelsPer10Ms);
        ASSERT_EQ(list->IsAutoScrolling(1), c.flings) << c.releaseAfterMs << " " << c.pixelsPer10Ms;
        if (c.flings) {
            const double speed = list->GetAutoScrollSpeed(1);
            Idle(1000);
            EXPECT_EQ(list->GetAutoScrollSpeed(1), speed);
            Idle(100);  // 1000 px/s per second for 0.1 s
            EXPECT_EQ(list->GetAutoScrollSpeed(1), speed - 100);
            for (int i = 0; i < 40 && list->IsAutoScrolling(1); ++i)
                Idle(100);
            EXPECT_EQ(list->GetIdleRequests(), 0);
        }
        list->SetParent(nullptr);
    }
}

TEST_F(ControlInput, InterceptingParentReplaysAStillPressOnTheChildAfter100Ms)
{
    auto scroller = Add(top, u"scroller", 0, 0, 200, 200);
    scroller->SetInterceptChildren(true);
    auto row = Add(scroller, u"row", 0, 20, 200, 20);
    auto heard = Listen(row, {u"NID_MOUSE_DOWN"});
    Press(30, 25);
    EXPECT_EQ(window->capture.Get(), scroller.Get());
    Idle(100);
    EXPECT_TRUE(heard->names.empty());
    Idle(1);
    EXPECT_EQ(heard->names.size(), 1u);
    EXPECT_EQ(window->capture.Get(), row.Get());
    Release(30, 25);
}

}  // namespace
