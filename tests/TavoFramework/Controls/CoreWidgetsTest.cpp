#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/Button.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/Label.h"
#include "Controls/ProgressBar.h"
#include "Controls/StatusBar.h"
#include "Controls/ToolTip.h"
#include "Notification/NotificationParams.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/TavoFramework/Controls/WidgetClasses.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Tavo;

namespace {

// A button whose pointer and focus state a test sets directly.
class ProbeButton : public LButton
{
public:
    using LButton::LButton;
    void Set(bool hover, bool capture, bool leftDrag, bool focus, bool leftPressed = false)
    {
        mHover = hover, mCapture = capture, mLeftDrag = leftDrag, mHasFocus = focus;
        mLeftPressed = leftPressed;
    }
    void SetTip(const WString& text) { mToolTipText = text; }
};

class CoreWidgetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        ControlEnvironment().factory = mFactory;
        RegisterWidgetClasses(*mFactory);
        mFactory->RegisterControlClass(u"Test.Button", &LControl::CreateT<ProbeButton>);
        ASSERT_EQ(mFactory->LoadStringTables(u"", TAVO_CORE_DIR u"/CoreWidgetsStrings.xml", 0x0409), S_OK);
        ASSERT_EQ(mFactory->LoadSkins(TAVO_CORE_DIR u"/CoreWidgetsSkin.xml"), S_OK);
        mWindow = FakeRootWindow::Create();
        mWindow->SetClientRect({0, 0, 400, 300});
        mMain = mFactory->CreateControlFromDescriptor(u"main", mWindow.Get());
        ASSERT_TRUE(mMain);
    }
    void TearDown() override
    {
        if (mMain)
            mMain->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    template <class T>
    RCPtr<T> Child(const char16_t* name)
    {
        return RCPtrDynamicCast<T>(mMain->FindChildByName(name));
    }

    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    RCPtr<LControlFactory> mFactory;
    RCPtr<FakeRootWindow> mWindow;
    RCPtr<LControl> mMain;
};

}  // namespace

TEST_F(CoreWidgetsTest, ButtonClicksToggleAndRadioRules)
{
    auto push = Child<LButton>(u"push"), toggle = Child<LButton>(u"toggle");
    auto radioA = Child<LButton>(u"radioA"), radioB = Child<LButton>(u"radioB");
    // The property is compared exactly.
    EXPECT_FALSE(Child<LButton>(u"shouting")->IsAutoValueSet());

    RCPtr<Recorder> rec(new Recorder());
    for (auto& b : {push, toggle, radioA, radioB})
        rec->Listen(RCPtr<LControl>(b.Get()), {u"NID_LEFT_CLICK", u"NID_VALUE_CHANGE"});
    auto click = [](const RCPtr<LButton>& b) { b->OnLeftClick(LMouseButtonParam::Create(1, 0, 0, 0)); };

    click(push);
    EXPECT_EQ(push->GetValue(), 0.0);
    EXPECT_EQ(rec->names, std::vector<std::u16string>({u"NID_LEFT_CLICK"}));

    rec->names.clear();
    click(toggle);
    click(toggle);
    EXPECT_EQ(toggle->GetValue(), 0.0);
    EXPECT_EQ(rec->names, std::vector<std::u16string>({u"NID_VALUE_CHANGE", u"NID_LEFT_CLICK",
                                                       u"NID_VALUE_CHANGE", u"NID_LEFT_CLICK"}));

    click(radioA);
    click(toggle);
    rec->names.clear();
    click(radioB);
    EXPECT_EQ(radioA->GetValue(), 0.0);
    EXPECT_EQ(radioB->GetValue(), 1.0);
    EXPECT_EQ(toggle->GetValue(), 1.0) << "a non-radio sibling is left alone";
    // The sibling turned off reports first.
    EXPECT_EQ(rec->names,
              std::vector<std::u16string>({u"NID_VALUE_CHANGE", u"NID_VALUE_CHANGE", u"NID_LEFT_CLICK"}));
    rec->names.clear();
    click(radioB);
    EXPECT_EQ(rec->names, std::vector<std::u16string>({u"NID_LEFT_CLICK"})) << "a radio already on stays on";
}

TEST_F(CoreWidgetsTest, ButtonLookFollowsValueAndConditions)
{
    // Enabled, on, hover, capture, left drag, focus, keep pressed; the look.
    const std::tuple<bool, bool, bool, bool, bool, bool, bool, int32_t> cases[] = {
        {1, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 1, 0, 0, 0, 0, 1},  {1, 0, 1, 1, 1, 0, 0, 2},
        {1, 0, 0, 1, 1, 0, 0, 1}, {1, 0, 0, 1, 1, 0, 1, 2},  {1, 0, 1, 1, 0, 0, 0, 0},
        {1, 1, 0, 0, 0, 0, 0, 7}, {1, 1, 1, 0, 0, 1, 0, 11}, {1, 1, 1, 1, 1, 1, 0, 12},
        {1, 0, 0, 0, 0, 1, 0, 3}, {0, 0, 1, 1, 1, 1, 0, 6},  {0, 1, 0, 0, 0, 0, 0, 13},
    };
    auto b = Child<ProbeButton>(u"push");
    for (auto [enabled, on, hover, capture, leftDrag, focus, keepPressed, look] : cases) {
        b->SetKeepPressedLook(keepPressed);
        b->SetValue(on ? 1.0 : 0.0);
        b->Set(hover, capture, leftDrag, focus);
        b->SetEnabled(enabled);
        b->UpdateLook();
        EXPECT_EQ(b->GetActiveLookIndex(), look) << enabled << on << hover << capture << leftDrag << focus;
    }
    // Held but not yet dragged: down at once, not only past the drag threshold.
    const std::tuple<bool, bool, bool, int32_t> held[] = {
        {1, 0, 0, 2},
        {0, 0, 0, 1},
        {0, 0, 1, 2},
        {1, 1, 0, 12},
    };
    b->SetEnabled(true);
    for (auto [hover, on, keepPressed, look] : held) {
        b->SetKeepPressedLook(keepPressed);
        b->SetValue(on ? 1.0 : 0.0);
        b->Set(hover, true, false, on, true);
        b->UpdateLook();
        EXPECT_EQ(b->GetActiveLookIndex(), look) << hover << on << keepPressed;
    }
    b->Set(false, false, false, false);
    b->SetKeepPressedLook(false);
    b->SetValue(1.0);
    b->SetEnabled(false);
    // A passive button keeps its look and is never hit.
    b->SetPassive(true);
    b->SetEnabled(true);
    EXPECT_EQ(b->GetActiveLookIndex(), 13);
    EXPECT_FALSE(b->HitTestPoint({1, 1}));
}

TEST_F(CoreWidgetsTest, ReturnShowsThePressedLookThenClicksOnIdle)
{
    auto push = Child<LButton>(u"push");
    RCPtr<Recorder> rec(new Recorder());
    rec->Listen(RCPtr<LControl>(push.Get()), {u"NID_LEFT_CLICK"});
    auto ret = LKeyParam::Create(KeyCode(KeyCode::PressCode(VKey::kReturn)));
    EXPECT_EQ(push->OnKey(ret), S_OK);
    EXPECT_EQ(push->OnKey(LKeyParam::Create(KeyCode(KeyCode::PressCode(VKey::kReturn, KeyCode::kShift)))),
              S_FALSE);
    EXPECT_EQ(push->GetActiveLookIndex(), 2);
    mClock.Advance(149);
    push->OnIdle();
    EXPECT_EQ(rec->names.size(), 0u);
    // A second press inside the pending time clicks the first at once.
    push->OnKey(ret);
    EXPECT_EQ(rec->names.size(), 1u);
    mClock.Advance(150);
    push->OnIdle();
    EXPECT_EQ(rec->names.size(), 2u);
    EXPECT_FALSE(push->IsSimulatedClickPending());
    EXPECT_EQ(push->GetIdleRequests(), 0);
    // "NID_SIMULATE_CLICK" does nothing on a disabled button.
    push->SetEnabled(false);
    push->ReceiveNotification(nullptr, LNotification::Create(u"NID_SIMULATE_CLICK"));
    EXPECT_FALSE(push->IsSimulatedClickPending());
    EXPECT_EQ(push->GetActiveLookIndex(), 6);
}

TEST_F(CoreWidgetsTest, AutoRepeatPressAtOnceThenAfterDelayThenEveryInterval)
{
    auto push = Child<LButton>(u"push");
    push->SetAutoRepeat(true);
    RCPtr<Recorder> rec(new Recorder());
    rec->Listen(RCPtr<LControl>(push.Get()), {u"NID_BUTTON_AUTOREPEAT"});
    const uint32_t held = kConditionLeftPressed | kConditionCapture | kConditionHover;
    RCPtrDynamicCast<ProbeButton>(push)->Set(true, true, true, false);
    push->ConditionsChanged(LConditionsParam::Create(held, kConditionHover));
    EXPECT_EQ(rec->names.size(), 1u);
    // Idle turns every 20 ms up to 0.55 s: repeats at 0.3, 0.4 and 0.5 s.
    for (int t = 20; t <= 550; t += 20) {
        mClock.Advance(20);
        push->OnIdle();
    }
    EXPECT_EQ(rec->names.size(), 4u);
    push->ConditionsChanged(LConditionsParam::Create(kConditionHover, held));
    EXPECT_EQ(push->GetIdleRequests(), 0);
    mClock.Advance(500);
    push->OnIdle();
    EXPECT_EQ(rec->names.size(), 4u);
}

TEST_F(CoreWidgetsTest, ProgressBarOverlayPercentAndTimeTexts)
{
    auto bar = Child<LProgressBar>(u"bar");
    bar->SetBounds({0, 0}, {360, 50});
    const std::pair<int32_t, const char16_t*> times[] = {
        {3605, u"1 Hour 0 Minutes 5 Seconds Remaining"},
        {7322, u"2 Hours 2 Minutes 2 Seconds Remaining"},
        {61, u"1 Minute 1 Second Remaining"},
        {59, u"59 Seconds Remaining"},
        {1, u"1 Second Remaining"},
        {120, u"2 Minutes 0 Seconds Remaining"},
        {0, u"0 Seconds Remaining"},
        {-5, u"0 Seconds Remaining"},
    };
    for (auto [seconds, text] : times)
        EXPECT_EQ(bar->FormatTimeRemaining(seconds), text) << seconds;

    auto overlay = bar->FindChildByName(u"activeOverlay");
    auto percent = bar->FindChildByName(u"percentCompleteLabel");
    auto remaining = bar->FindChildByName(u"timeRemainingLabel");
    EXPECT_FALSE(remaining->GetLayout()->visible);
    // The overlay at x 2 of the 360-pixel bar has 356 pixels between equal insets.
    const std::tuple<double, bool, double, const char16_t*> widths[] = {
        {0.001, false, 0, u"0"}, {0.002, true, 1, u"0"}, {0.5, true, 178, u"50"}, {1.0, true, 356, u"100"}};
    for (auto [value, shown, width, text] : widths) {
        bar->SetValue(value);
        LLayoutDescriptor::Axis axis;
        overlay->GetPlacement(0, axis);
        EXPECT_EQ(overlay->GetLayout()->visible, shown) << value;
        EXPECT_EQ(shown ? axis.sizeAbs : 0, width) << value;
        EXPECT_EQ(axis.positionAbs, 2) << "the left edge stays";
        EXPECT_EQ(percent->GetText(), text) << value;
    }
}

TEST_F(CoreWidgetsTest, ProgressBarEstimatesFromTheAverageSpeed)
{
    auto bar = Child<LProgressBar>(u"bar");
    auto remaining = bar->FindChildByName(u"timeRemainingLabel");
    bar->SetValue(0.1);
    bar->SetEstimateTimeRemaining(true);
    mClock.Advance(500);
    bar->SetEstimateTimeRemaining(true);  // a second switch-on keeps the start
    bar->SetValue(0.2);
    // 0.1 in 0.5 s: 0.8 left takes 4 s.
    EXPECT_EQ(remaining->GetText(), u"4 Seconds Remaining");
    mClock.Advance(3500);
    bar->SetValue(1.0);
    EXPECT_EQ(remaining->GetText(), u"0 Seconds Remaining");
    EXPECT_FALSE(bar->IsEstimating());
    bar->SetValue(0.0);
    EXPECT_TRUE(remaining->GetLayout()->visible) << "once shown, the label stays";
}

TEST_F(CoreWidgetsTest, StatusBarShowsPostedTextsOnIdleAndFlushesAtOnce)
{
    auto status = Child<LStatusBar>(u"status");
    auto label = status->FindChildByName(u"label1");
    EXPECT_EQ(status->GetDefaultText(), u"Ready");
    std::thread worker([&] {
        status->PostStatusText(u"one");
        status->PostStatusText(u"two");
    });
    worker.join();
    EXPECT_NE(label->GetText(), u"two");
    status->OnIdle();
    EXPECT_EQ(label->GetText(), u"two");
    status->PostStatusText(u"queued");
    status->FlushStatusText(u"now");
    EXPECT_EQ(label->GetText(), u"now");
    EXPECT_FALSE(mWindow->invalidated.empty());
    EXPECT_EQ(status->GetDefaultText(), u"Ready");
}

TEST_F(CoreWidgetsTest, AToolTipIsNotClippedByTheControlItBelongsTo)
{
    auto push = Child<ProbeButton>(u"push");
    push->SetTip(u"Starts the update");
    const int32_t before = mMain->GetUnclippedDescendants();
    ASSERT_EQ(push->ShowToolTip(true), S_OK);
    RCPtr<LControl> tip = push->GetToolTip();
    ASSERT_TRUE(tip);
    EXPECT_FALSE(tip->GetLayout()->clipToParent) << "it stands below the pointer, outside the button";
    EXPECT_EQ(mMain->GetUnclippedDescendants(), before + 1);
    push->ShowToolTip(false);
    EXPECT_FALSE(push->GetToolTip());
    EXPECT_EQ(mMain->GetUnclippedDescendants(), before);
}

TEST_F(CoreWidgetsTest, ToolTipDelayLifeChainAndPlacement)
{
    auto push = Child<LButton>(u"push");
    push->SetBounds({10, 10}, {80, 20});
    mWindow->mouse = {390, 290};
    auto make = [&] {
        RCPtr<LToolTip> tip(new LToolTip(RCPtr<LControl>(push.Get()), u"toolTip"));
        tip->SetDescriptor(mFactory->FindDescriptorByName(u"toolTip"));
        tip->SetBounds({0, 0}, {100, 22});
        tip->SetVisible(false);
        return tip;
    };
    mClock.Set(10000);
    auto tip = make();
    tip->Open();
    EXPECT_EQ(tip->GetState(), LToolTip::kWaiting);
    mClock.Advance(500);
    tip->OnIdle();
    EXPECT_EQ(tip->GetState(), LToolTip::kWaiting) << "shows only after more than 500 ms";
    mClock.Advance(1);
    tip->OnIdle();
    EXPECT_EQ(tip->GetState(), LToolTip::kShown);
    // Pushed back inside the window's right and bottom edges.
    LLayoutDescriptor::Axis x, y;
    tip->GetPlacement(0, x);
    tip->GetPlacement(1, y);
    const PointT<int32_t> parent = push->ToWindowPoint({0, 0});
    EXPECT_EQ(x.positionAbs + parent.x, 300);
    EXPECT_EQ(y.positionAbs + parent.y, 278);
    EXPECT_EQ(x.maxAbs, 392) << "wraps at the client width - 8";
    mClock.Advance(5000);
    tip->OnIdle();
    EXPECT_EQ(tip->GetState(), LToolTip::kShown);
    mClock.Advance(1);
    tip->OnIdle();
    EXPECT_EQ(tip->GetState(), LToolTip::kInactive) << "closes itself after more than 5 s";
    EXPECT_EQ(tip->GetParent(), nullptr);
    EXPECT_EQ(push->GetIdleRequests(), 0);
    // The next tooltip within 50 ms of a visible one closing shows at once.
    mClock.Advance(49);
    auto next = make();
    next->Open();
    EXPECT_EQ(next->GetState(), LToolTip::kShown);
    next->Close();
    mClock.Advance(100);
    auto late = make();
    late->Open();
    EXPECT_EQ(late->GetState(), LToolTip::kWaiting);
    late->Close();
}
