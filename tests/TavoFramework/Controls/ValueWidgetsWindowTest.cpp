// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/CenteredSlider.h"
#include "Controls/ComboSlider.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/Knob.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <X11/keysym.h>

using namespace Tavo;
using WidgetWindow::Settle;
using WidgetWindow::TurnUntil;

TEST(ValueWidgetsWindow, DragsWheelAndKeysFromTheDisplaySetTheValues)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = WidgetWindow::Run(
        TAVO_VALUE_SKIN, FrameworkControlClasses(), [](WidgetWindow::App& app, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto slider = RCPtrDynamicCast<LSlider>(main->FindChildByName(u"slider"));
            auto centered = RCPtrDynamicCast<LCenteredSlider>(main->FindChildByName(u"centered"));
            auto knob = RCPtrDynamicCast<LKnob>(main->FindChildByName(u"knob"));
            auto combo = RCPtrDynamicCast<LComboSlider>(main->FindChildByName(u"combo"));
            ASSERT_TRUE(slider && centered && knob && combo);
            WidgetWindow::Screen screen(window);
            auto drag = [&](int32_t x, int32_t y, int32_t dx, int32_t dy) {
                screen.To(x, y);
                screen.input.Press(1);
                screen.To(x + dx / 2, y + dy / 2);
                screen.To(x + dx, y + dy);
                screen.input.Release(1);
                Settle();
            };

            drag(30, 30, 64, 5);
            EXPECT_NEAR(slider->GetValue(), 64.0 / 127, 1e-12);
            EXPECT_EQ(slider->GetThumb()->GetX(), 64);
            // The focused thumb passes the arrow keys on to its slider.
            screen.To(30, 70);
            screen.input.Click(1);
            for (int i = 0; i < 3; ++i)
                screen.input.Key(XK_Right);
            Settle();
            EXPECT_NEAR(centered->GetValue(), 3.0 / 127, 1e-12);
            EXPECT_EQ(centered->GetActiveLookIndex(), 1) << "focused";
            EXPECT_EQ(centered->FindChildByName(u"lowRangeBounds")->GetX(), 13);
            // Up 20 pixels of the 130 that five frames give, then two notches away.
            drag(220, 40, 0, -20);
            EXPECT_NEAR(knob->GetValue(), 20.0 / 129, 1e-12);
            screen.input.Click(4);
            screen.input.Click(4);
            Settle();
            EXPECT_NEAR(knob->GetValue(), (127 * 20.0 / 129 + 2) / 127, 1e-12);
            EXPECT_EQ(knob->GetActiveLookIndex(), 1);
            // Pressed, the knob took the focus: its look shows over the frame.
            EXPECT_TRUE(screen.Shows(220, 40, 0xFF0000));

            // Opened near the right edge, the panel moves left to end at it.
            combo->SetValueRange(0, 127, 0);
            screen.To(230, 110);
            screen.input.Click(1);
            Settle();
            ASSERT_TRUE(combo->IsDroppedDown());
            EXPECT_EQ(combo->GetActiveLookIndex(), 5) << "open and hovered";
            EXPECT_TRUE(screen.Shows(220, 40, 0x40C040)) << "the knob's frame without focus";
            EXPECT_EQ(combo->GetPanel()->GetAbsolutePosition().x, 160);
            drag(175, 135, 64, 0);
            EXPECT_EQ(combo->GetText(), u"64");
            // The thumb moved inside the unclipped panel is painted where it went.
            EXPECT_TRUE(screen.Shows(165 + 64 + 10, 135, 0xE8A317));
            EXPECT_TRUE(screen.Shows(165 + 10, 135, 0x505058));
            TestXServer().Screenshot("value-widgets");
            combo->SetEnabled(false);
            knob->SetEnabled(false);
            EXPECT_EQ(combo->GetActiveLookIndex(), 6);
            EXPECT_TRUE(screen.Shows(220, 40, 0x0000FF));
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}
