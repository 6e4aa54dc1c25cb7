#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/CenteredSlider.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/Slider.h"
#include "Notification/NotificationParams.h"
#include "ObjectBase/Holder.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

// Markers: the thumb's origin at the lowest and at the highest value.
#define TRACK(name, cls, ex, ey, extra)                                                                      \
    "<SubControl Class=\"" cls "\" Name=\"" name "\" XSizeAbs=\"200\" YSizeAbs=\"150\"><Skin Name=\"k\" "    \
    "LookList=\"three\"><SubControl Class=\"Framework.Button\" Name=\"thumbStart\" XSizeAbs=\"10\" "         \
    "YSizeAbs=\"20\"/><SubControl Class=\"Framework.Button\" Name=\"thumbEnd\" XPositionAbs=\"" ex           \
    "\" YPositionAbs=\"" ey "\" XSizeAbs=\"10\" YSizeAbs=\"20\"/>" extra "</Skin></SubControl>"
#define BOUNDS(name)                                                                                         \
    "<SubControl Class=\"Framework.CenteredSliderBounds\" Name=\"" name "\" XSizeAbs=\"4\" YSizeAbs=\"9\" "  \
    "YPositionAbs=\"30\"><Skin Name=\"b\"><SubControl Class=\"Framework.Panel\" Name=\"fill\" "              \
    "XSizeAbs=\"4\" YSizeAbs=\"9\"/></Skin></SubControl>"

const char* kSkin =
    "<R><Application Name=\"App\"/><Colorizers><Colorizer Name=\"c\" ColorType=\"SolidFill\" "
    "Color=\"0xFF808080\"/></Colorizers><Parts><Part Name=\"p\" Width=\"1\" Height=\"1\" "
    "ResizeType=\"Stretch\" "
    "ColorizerName=\"c\"/></Parts><Looks><Look Name=\"l\"><ClientPart Name=\"p\" "
    "OffsetLeft=\"0\" OffsetTop=\"0\" OffsetRight=\"0\" OffsetBottom=\"0\"/></Look></Looks>"
    "<LookLists><LookList Name=\"three\" NumLooks=\"3\"><Look Name=\"l\" Index=\"0\"/>"
    "<Look Name=\"l\" Index=\"1\"/><Look Name=\"l\" Index=\"2\"/></LookList></LookLists>"
    "<Skin Name=\"S\"><SubControl Class=\"Framework.Panel\" Name=\"main\" XSizeAbs=\"800\" "
    "YSizeAbs=\"600\"><Skin Name=\"s\">" TRACK("horizontal", "Framework.Slider", "100", "0", "") TRACK(
        "vertical", "Framework.Slider", "0", "100", "") TRACK("slanted", "Framework.Slider", "100", "50", "")
        TRACK("centered", "Framework.CenteredSlider", "100", "0",
              BOUNDS("lowRangeBounds") BOUNDS("highRangeBounds"))
            TRACK("slantedCentered", "Framework.CenteredSlider", "100", "50",
                  BOUNDS("lowRangeBounds")) "<SubControl Class=\"Framework.CenteredSlider\" Name=\"bare\"/>"
                                            "</Skin></SubControl></Skin></R>";

class ValueWidgetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        ControlEnvironment().factory = mFactory;
        for (const ControlClassRow& row : FrameworkControlClasses())
            if (row.create)
                mFactory->RegisterControlClass(row.name, row.create);
        ASSERT_EQ(mFactory->ParseXML(kSkin, 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mWindow->SetClientRect({0, 0, 800, 600});
        mMain = mFactory->CreateControlFromDescriptor(u"main", mWindow.Get());
        ASSERT_TRUE(mMain);
        mWindow->root = mMain;
        mMain->UITarget_UpdateGeometry(800, 600);
    }
    void TearDown() override
    {
        mWindow->ReleaseInternalReferences();
        std::vector<RCPtr<LControl>> all{mMain};
        mMain->CollectDescendants(all);
        for (size_t i = all.size(); i-- > 0;)
            all[i]->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    template <class T = LSlider>
    RCPtr<T> Child(const char16_t* name)
    {
        return RCPtrDynamicCast<T>(mMain->FindChildByName(name));
    }
    static PointT<double> At(const RCPtr<LControl>& c) { return {c->GetX(), c->GetY()}; }
    static void Drag(const RCPtr<LSlider>& s, bool on)
    {
        s->GetThumb()->Notify(u"NID_LEFT_DRAG_CONDITION_CHANGE",
                              LConditionsParam::Create(on ? 0x80 : 0, on ? 0 : 0x80, s->GetThumb()->GetX(),
                                                       s->GetThumb()->GetY()));
    }
    static void MoveThumbBy(const RCPtr<LSlider>& s, int32_t x, int32_t y)
    {
        s->GetThumb()->Notify(u"NID_MOUSE_MOVE", LPointWithModifiersParam::Create(x, y, 0));
    }
    static RCPtr<LKeyParam> Key(uint32_t code) { return LKeyParam::Create(KeyCode(code)); }

    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    RCPtr<LControlFactory> mFactory;
    RCPtr<FakeRootWindow> mWindow = FakeRootWindow::Create();
    RCPtr<LControl> mMain;
};

}  // namespace

TEST_F(ValueWidgetsTest, ThumbFollowsThePointerAlongEachKindOfTrack)
{
    struct Case
    {
        const char16_t* slider;
        int32_t x, y;
        PointT<int32_t> thumb;
        double value;
    } cases[] = {
        {u"horizontal", 50, 7, {50, 0}, 0.5}, {u"horizontal", -20, 0, {0, 0}, 0},
        {u"horizontal", 300, 9, {100, 0}, 1}, {u"vertical", 7, 40, {0, 40}, 0.4},
        {u"vertical", 0, 150, {0, 100}, 1},   {u"slanted", 40, 45, {50, 25}, 0.5},
        {u"slanted", 200, 0, {100, 50}, 1},   {u"slanted", -9, -30, {0, 0}, 0},
    };
    for (const Case& c : cases) {
        RCPtr<LSlider> slider = Child(c.slider);
        ASSERT_TRUE(slider && slider->GetThumb());
        EXPECT_EQ(slider->ConstrainThumbPosition(c.x, c.y), c.thumb) << NString(WString(c.slider)).c_str();
        // Dragged there with the grab at the thumb's origin.
        slider->SetValue(0);
        Drag(slider, true);
        MoveThumbBy(slider, c.x, c.y);
        Drag(slider, false);
        EXPECT_DOUBLE_EQ(slider->GetValue(), c.value) << c.x << "," << c.y;
        EXPECT_EQ(At(slider->GetThumb()), (PointT<double>{double(c.thumb.x), double(c.thumb.y)}));
    }
    // The value places the thumb: the markers are hidden, the thumb is not.
    RCPtr<LSlider> slanted = Child(u"slanted");
    slanted->SetValue(0.3);
    EXPECT_EQ(At(slanted->GetThumb()), (PointT<double>{30, 15}));
    EXPECT_FALSE(slanted->FindChildByName(u"thumbStart")->IsShown(false));
    EXPECT_TRUE(slanted->GetThumb()->IsShown(false));
    EXPECT_EQ(slanted->GetRangeMax(), 127);
    EXPECT_EQ(slanted->GetHotSpot(), (PointT<int32_t>{5, 10}));
}

TEST_F(ValueWidgetsTest, DragHoldsBackOutsideValuesAndBracketsWithCapture)
{
    RCPtr<LSlider> slider = Child(u"horizontal");
    RCPtr<NotificationRecorder> rec(new NotificationRecorder());
    rec->Listen(slider, {u"NID_VALUE_CHANGE_CAPTURE", u"NID_VALUE_CHANGE"});
    Drag(slider, true);
    EXPECT_TRUE(dynamic_cast<const LHolder<bool>&>(*rec->data).Get());
    slider->SetValue(0.3);
    EXPECT_EQ(slider->GetValue(), 0);
    MoveThumbBy(slider, 20, 0);
    EXPECT_DOUBLE_EQ(slider->GetValue(), 0.2);
    Drag(slider, false);
    EXPECT_FALSE(dynamic_cast<const LHolder<bool>&>(*rec->data).Get());
    EXPECT_DOUBLE_EQ(slider->GetValue(), 0.3);
    EXPECT_EQ(slider->GetPendingValue(), -1);
    EXPECT_EQ(rec->names, (std::vector<std::u16string>{u"NID_VALUE_CHANGE_CAPTURE", u"NID_VALUE_CHANGE",
                                                       u"NID_VALUE_CHANGE", u"NID_VALUE_CHANGE_CAPTURE"}));
}

TEST_F(ValueWidgetsTest, PageStepsStopAtThePointerAndRepeatWhileHeld)
{
    RCPtr<LSlider> slider = Child(u"horizontal");
    // Hot spot (5, 10): a click at x 55 aims the thumb's origin at 50, value 0.5.
    struct Case
    {
        double from, to;
    } cases[] = {{0, 0.1}, {0.45, 0.5}, {0.52, 0.5}, {0.9, 0.8}, {0.5, 0.5}};
    for (const Case& c : cases) {
        slider->SetValue(c.from);
        slider->OnLeftClick(LMouseButtonParam::Create(1, 55, 10, 0));
        EXPECT_DOUBLE_EQ(slider->GetValue(), c.to) << c.from;
    }
    // Held on the track: a step after 0.3 s, then one every 0.1 s, while hovered.
    slider->SetValue(0);
    mWindow->mouse = {195, 10};
    slider->SetConditionFlag(true);
    slider->ConditionsChanged(LConditionsParam::Create(kConditionLeftPressed, 0));
    const struct
    {
        uint32_t ms;
        double value;
    } steps[] = {{290, 0}, {300, 0.1}, {390, 0.1}, {400, 0.2}, {500, 0.3}};
    for (const auto& step : steps) {
        mClock.Set(step.ms);
        slider->OnIdle();
        EXPECT_NEAR(slider->GetValue(), step.value, 1e-9) << step.ms;
    }
    slider->SetConditionFlag(false);
    mClock.Set(900);
    slider->OnIdle();
    EXPECT_NEAR(slider->GetValue(), 0.3, 1e-9);
    slider->ConditionsChanged(LConditionsParam::Create(0, kConditionLeftPressed));
    EXPECT_FALSE(slider->IsPaging());
    EXPECT_EQ(slider->GetIdleRequests(), 0);
}

TEST_F(ValueWidgetsTest, ArrowKeysAndWheelStepOneUnit)
{
    RCPtr<LSlider> slider = Child(u"vertical");
    RCPtr<NotificationRecorder> rec(new NotificationRecorder());
    rec->Listen(slider, {u"NID_VALUE_CHANGE_KEY_DOWN", u"NID_VALUE_CHANGE_KEY_UP"});
    for (int i = 0; i < 127; ++i)
        EXPECT_EQ(slider->RouteUnhandledKey(Key(0x20270000)), S_OK);
    EXPECT_EQ(slider->GetValue(), 1.0);
    EXPECT_EQ(rec->names, std::vector<std::u16string>{u"NID_VALUE_CHANGE_KEY_DOWN"});
    slider->RouteUnhandledKey(Key(0x20280000));
    EXPECT_DOUBLE_EQ(slider->GetValue(), 126.0 / 127);
    // Shift+Right is the panel's, but its release ends the hold.
    slider->RouteUnhandledKey(Key(0x22270000));
    EXPECT_DOUBLE_EQ(slider->GetValue(), 126.0 / 127);
    slider->RouteUnhandledKey(Key(0x02270000));
    EXPECT_EQ(rec->Count(u"NID_VALUE_CHANGE_KEY_UP"), 1);
    EXPECT_TRUE(rec->data);
    // Losing the focus while held ends the hold without key data.
    slider->GetThumb()->SetFocus(true);
    EXPECT_EQ(slider->GetActiveLookIndex(), 1);
    slider->RouteUnhandledKey(Key(0x20250000));
    Child(u"horizontal")->GetThumb()->SetFocus(true);
    EXPECT_EQ(rec->Count(u"NID_VALUE_CHANGE_KEY_UP"), 2);
    EXPECT_FALSE(rec->data);
    EXPECT_EQ(slider->GetActiveLookIndex(), 0);

    struct Wheel
    {
        uint32_t direction;
        double units;
    } wheels[] = {{LMouseWheelParam::kUp, 1},
                  {LMouseWheelParam::kDown, -1},
                  {LMouseWheelParam::kRight, 1},
                  {LMouseWheelParam::kLeft, -1}};
    for (const Wheel& w : wheels) {
        slider->SetValue(0.5);
        auto param = LMouseWheelParam::Create(0, 0, 0, w.direction);
        EXPECT_EQ(w.direction <= 1 ? slider->OnWheel(param) : slider->OnWheelEvent(param), S_OK);
        EXPECT_DOUBLE_EQ(slider->GetValue(), slider->ValueToNormalized(63.5 + w.units)) << w.direction;
    }
    EXPECT_EQ(rec->names.size(), 4u);
}

TEST_F(ValueWidgetsTest, CenteredBoundsStandAtTheThumbCentreOnStraightTracks)
{
    for (const char16_t* name : {u"centered", u"slantedCentered"}) {
        RCPtr<LCenteredSlider> slider = Child<LCenteredSlider>(name);
        ASSERT_TRUE(slider);
        const bool straight = name == std::u16string(u"centered");
        for (double value : {0.25, 0.8}) {
            slider->SetValue(value);
            for (const char16_t* bounds : {u"lowRangeBounds", u"highRangeBounds"}) {
                RCPtr<LControl> b = slider->FindChildByName(bounds);
                if (!b)
                    continue;
                LLayoutDescriptor::Axis x, y;
                b->GetPlacement(0, x);
                b->GetPlacement(1, y);
                EXPECT_EQ(x.positionAbs, straight ? value * 100 + 5 : 0) << value;
                EXPECT_EQ(y.positionAbs, 30);
            }
        }
        // Clicks on a panel or its fill land on the track.
        PointT<int32_t> local;
        EXPECT_EQ(slider->HitTest({straight ? 87 : 2, 33}, local, true), RCPtr<LControl>(slider));
    }
    // Without markers there is no thumb, which neither throws nor moves.
    RCPtr<LCenteredSlider> bare = Child<LCenteredSlider>(u"bare");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->GetThumb());
    EXPECT_EQ(bare->SetValue(0.7), 0.7);
}
