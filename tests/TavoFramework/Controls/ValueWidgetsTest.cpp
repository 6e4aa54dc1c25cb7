#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/CenteredSlider.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/Knob.h"
#include "Notification/NotificationParams.h"
#include "ObjectBase/Holder.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/TavoFramework/Controls/WidgetClasses.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

class ValueWidgetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ControlEnvironment().factory = mFactory;
        RegisterWidgetClasses(*mFactory);
        ASSERT_EQ(mFactory->LoadSkins(WString(TAVO_VALUE_SKIN)), S_OK);
        mWindow->root = mMain = mFactory->CreateControlFromDescriptor(u"mainControl", mWindow.Get());
        mMain->UITarget_UpdateGeometry(320, 200);
        mRec->Listen(mMain->FindChildByName(u"slider"),
                     {u"NID_VALUE_CHANGE_KEY_DOWN", u"NID_VALUE_CHANGE_KEY_UP"});
    }
    void TearDown() override
    {
        mWindow->ReleaseInternalReferences();
        std::vector<RCPtr<LControl>> all{mMain};
        mMain->CollectDescendants(all);
        for (const RCPtr<LControl>& control : all)
            control->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    template <class T = LSlider>
    RCPtr<T> Child(const char16_t* name)
    {
        return RCPtrDynamicCast<T>(mMain->FindChildByName(name));
    }
    // The thumb's notifications of a drag held at its origin.
    static void Drag(const RCPtr<LSlider>& s, uint32_t now, uint32_t before, int32_t x, int32_t y)
    {
        const RCPtr<LButton>& thumb = s->GetThumb();
        thumb->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE",
                      LConditionsParam::Create(now, before, thumb->GetX(), thumb->GetY()));
        thumb->Notify(u"NID_MOUSE_MOVE", LPointWithModifiersParam::Create(x, y, 0));
    }
    static RCPtr<LKeyParam> Key(uint32_t code) { return LKeyParam::Create(KeyCode(code)); }

    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    RCPtr<LControlFactory> mFactory = LControlFactory::Create(u"App");
    RCPtr<FakeRootWindow> mWindow = FakeRootWindow::Create();
    RCPtr<LControl> mMain;
    RCPtr<Recorder> mRec{new Recorder()};
};

}  // namespace

TEST_F(ValueWidgetsTest, ThumbFollowsThePointerOnEveryTrackAndDragsHoldBackOutsideValues)
{
    // Slider, pointer, where the thumb goes and the value there.
    const std::tuple<const char16_t*, int32_t, int32_t, int32_t, int32_t, double> cases[] = {
        {u"vertical", 7, 40, 0, 40, 40.0 / 127}, {u"vertical", 0, 150, 0, 127, 1.0},
        {u"slanted", 40, 45, 50, 25, 0.5},       {u"slanted", 200, 0, 100, 50, 1.0},
        {u"slanted", -9, -30, 0, 0, 0.0},
    };
    for (auto [name, x, y, tx, ty, value] : cases) {
        RCPtr<LSlider> slider = Child(name);
        slider->SetValue(0);
        Drag(slider, 0x80, 0, x, y);
        slider->SetValue(0.3);
        EXPECT_EQ(slider->GetThumb()->GetX(), tx);
        EXPECT_EQ(slider->GetThumb()->GetY(), ty);
        EXPECT_DOUBLE_EQ(slider->GetValue(), value) << x << "," << y;
        Drag(slider, 0, 0x80, x, y);
        EXPECT_DOUBLE_EQ(slider->GetValue(), 0.3);
    }
    RCPtr<LSlider> slanted = Child(u"slanted");
    mRec->Listen(slanted, {u"NID_VALUE_CHANGE_CAPTURE"});
    Drag(slanted, 0x80, 0, 0, 0);
    EXPECT_TRUE(dynamic_cast<const LHolder<bool>&>(*mRec->data).Get());
    Drag(slanted, 0, 0x80, 0, 0);
    EXPECT_FALSE(dynamic_cast<const LHolder<bool>&>(*mRec->data).Get());
    EXPECT_EQ(slanted->GetThumb()->GetX(), 30);
    EXPECT_EQ(slanted->GetThumb()->GetY(), 15);
    EXPECT_FALSE(slanted->FindChildByName(u"thumbStart")->IsShown(false));
}

TEST_F(ValueWidgetsTest, PageStepsArrowKeysCenteredBoundsAndKnobs)
{
    RCPtr<LSlider> slider = Child(u"slider");
    // Hot spot (10, 10): a click at x 60 aims the thumb's origin at 50.
    for (auto [from, to] : {std::pair{0.0, 0.1}, {0.35, 50.0 / 127}, {0.45, 50.0 / 127}, {0.9, 0.8}}) {
        slider->SetValue(from);
        slider->OnLeftClick(LMouseButtonParam::Create(1, 60, 10, 0));
        EXPECT_DOUBLE_EQ(slider->GetValue(), to) << from;
    }
    slider->SetValue(0);
    mWindow->mouse = {20 + 140, 30};
    slider->SetConditionFlag(true);
    slider->ConditionsChanged(LConditionsParam::Create(kConditionLeftPressed, 0));
    for (auto [ms, value] : {std::pair{290u, 0.0}, {300u, 0.1}, {390u, 0.1}, {400u, 0.2}, {500u, 0.3}}) {
        mClock.Set(ms);
        slider->OnIdle();
        EXPECT_NEAR(slider->GetValue(), value, 1e-9) << ms;
    }
    slider->SetConditionFlag(false);  // only while hovered
    mClock.Set(900);
    slider->OnIdle();
    EXPECT_NEAR(slider->GetValue(), 0.3, 1e-9);
    slider->ConditionsChanged(LConditionsParam::Create(0, kConditionLeftPressed));
    EXPECT_EQ(slider->GetIdleRequests(), 0);
    // Arrow keys step one unit and the hold ends once.
    slider->SetValue(0);
    for (int i = 0; i < 127; ++i)
        EXPECT_EQ(slider->RouteUnhandledKey(Key(KeyCode::PressCode(VKey::kRight))), S_OK);
    EXPECT_EQ(slider->GetValue(), 1.0);
    const uint32_t shiftRight = KeyCode::PressCode(VKey::kRight, KeyCode::kShift);
    slider->RouteUnhandledKey(Key(shiftRight));  // Shift+Right is the panel's ...
    EXPECT_EQ(slider->GetValue(), 1.0);
    slider->RouteUnhandledKey(Key(shiftRight & ~KeyCode::kKeyDown));  // ... but its release ends the hold
    EXPECT_TRUE(mRec->data);
    slider->GetThumb()->SetFocus(true);
    slider->RouteUnhandledKey(Key(KeyCode::PressCode(VKey::kDown)));
    Child(u"vertical")->GetThumb()->SetFocus(true);
    EXPECT_FALSE(mRec->data) << "focus lost while held: no key data";
    EXPECT_EQ(mRec->names,
              (std::vector<std::u16string>{u"NID_VALUE_CHANGE_KEY_DOWN", u"NID_VALUE_CHANGE_KEY_UP",
                                           u"NID_VALUE_CHANGE_KEY_DOWN", u"NID_VALUE_CHANGE_KEY_UP"}));
    EXPECT_DOUBLE_EQ(slider->GetValue(), 126.0 / 127);
    // Centered bounds follow only straight tracks and let clicks through.
    RCPtr<LCenteredSlider> slanted = Child<LCenteredSlider>(u"slantedCentered");
    slanted->SetValue(0.8);
    EXPECT_EQ(slanted->FindChildByName(u"lowRangeBounds")->GetX(), 0);
    RCPtr<LCenteredSlider> centered = Child<LCenteredSlider>(u"centered");
    centered->SetValue(0.8);
    EXPECT_EQ(centered->FindChildByName(u"highRangeBounds")->GetX(), 102 + 10);
    PointT<int32_t> local;
    EXPECT_EQ(centered->HitTest({113, 24}, local, true), RCPtr<LControl>(centered));
    // Without markers there is no thumb, which neither throws nor moves.
    EXPECT_FALSE(Child(u"bare")->GetThumb());
    EXPECT_EQ(Child(u"bare")->SetValue(0.7), 0.7);

    // Knob, radial, full range, start and end angles, frames.
    const std::tuple<const char16_t*, bool, int32_t, double, double, uint32_t> cases[] = {
        {u"knob", false, 130, 0.0, 0.0, 5u},
        {u"radial", true, 2, 225.0, 135.0, 5u},
        {u"bareKnob", true, 2, 315.0, 45.0, 0u},
        {u"flatKnob", false, 128, 0.0, 0.0, 0u},
    };
    for (auto [name, radial, range, start, end, frames] : cases) {
        RCPtr<LKnob> knob = Child<LKnob>(name);
        EXPECT_EQ(std::tuple(knob->IsRadial(), knob->GetFullRange(), knob->GetStartAngle(),
                             knob->GetEndAngle(), knob->GetFrameCount(), knob->GetFineMultiplier()),
                  std::tuple(radial, range, start, end, frames, 0.25));
        EXPECT_EQ(knob->SetValue(0.375), 0.375);
    }
    // Linear with a fine adjustment, radial with a dead zone.
    mWindow->buttons = 1;
    // Knob, start value, move, Ctrl, value during the drag (from 20, 20).
    const std::tuple<const char16_t*, double, int32_t, int32_t, uint32_t, double> moves[] = {
        {u"knob", 0.0, 0, -10, 0u, 10.0 / 129}, {u"knob", 10.0 / 129, 0, 10, 0u, 0.0},
        {u"knob", 0.0, 5, -5, 0u, 10.0 / 129},  {u"knob", 0.0, 0, -10, 1u, 10.0 / 519},
        {u"flatKnob", 1.0, 0, -10, 0u, 1.0},
    };
    for (auto [name, from, dx, dy, ctrl, to] : moves) {
        RCPtr<LKnob> knob = Child<LKnob>(name);
        knob->SetValue(from);
        mWindow->modifiers = ctrl;
        knob->UITarget_MouseDown(LMouseButtonParam::Create(1, 20, 20, 0, false, 1));
        knob->UITarget_MouseMove(LPointWithModifiersParam::Create(20 + dx, 20 + dy, 0));
        knob->SetValue(0.5);
        EXPECT_NEAR(knob->GetValue(), to, 1e-12) << dx << "," << dy << " " << ctrl;
        knob->UITarget_MouseUp(LMouseButtonParam::Create(1, 20 + dx, 20 + dy, 0, false, 0));
        EXPECT_EQ(knob->GetValue(), 0.5);
    }
    // Centre (20, 20), 0 degrees up and clockwise; 225 -> 135 over the top.
    RCPtr<LKnob> knob = Child<LKnob>(u"radial");
    const std::tuple<int32_t, int32_t, double> points[] = {
        {20, 0, 0.5},    {20, 40, 1.0},         {3, 1020, 0.0},
        {37, 1020, 1.0}, {60, 20, 225.0 / 270}, {20, 20, 225.0 / 270},
    };
    for (auto [x, y, value] : points) {
        knob->ConditionsChanged(
            LConditionsParam::Create(kConditionLeftDrag, 0, x + knob->GetX(), y + knob->GetY()));
        knob->ConditionsChanged(LConditionsParam::Create(0, kConditionLeftDrag));
        EXPECT_NEAR(knob->GetValue(), value, 1e-12) << x << "," << y;
    }
    EXPECT_EQ(LKnob::NormalizeAngle(-1e-20), 0);
}
