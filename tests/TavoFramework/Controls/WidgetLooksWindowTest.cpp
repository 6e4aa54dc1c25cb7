// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Application/AppClock.h"
#include "Controls/Button.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/ListBox.h"
#include "Controls/Scrollbar.h"
#include "Controls/TextBox.h"
#include "Controls/ToolTip.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <algorithm>
#include <cmath>

using namespace Tavo;
using WidgetWindow::Settle;
using WidgetWindow::TurnUntil;

namespace {

constexpr uint32_t kPanel = 0x2C2C32, kButton = 0x4A4A52, kPressed = 0x2A2A30, kHover = 0x5E5E68;
constexpr uint32_t kAccent = 0xE8A317, kHot = 0x3C5A8C, kToolTip = 0xFFFFE1;

}  // namespace

// What a user sees, read back from the screen: a tooltip after the hover
// delay (on the application's clock), the full text of a clipped button as
// its tooltip, a docked scrollbar that stays put while the list scrolls, a
// selection highlight over the selected characters only, and a button that
// looks pressed as soon as it is held.
TEST(WidgetLooksWindow, TooltipsDockedBarSelectionAndHeldButtonAsSeenOnScreen)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = WidgetWindow::Run(
        TAVO_WIDGET_LOOKS_SKIN, FrameworkControlClasses(), [](WidgetWindow::App& app, OSWindow& window) {
            ManualAppClock clock;
            // Well past the start, so that no earlier tooltip counts as just closed.
            clock.Set(100000);
            ScopedAppClock useClock(clock);
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto clipped = RCPtrDynamicCast<LButton>(main->FindChildByName(u"clipped"));
            auto held = RCPtrDynamicCast<LButton>(main->FindChildByName(u"held"));
            auto text = RCPtrDynamicCast<LTextBox>(main->FindChildByName(u"text"));
            auto list = RCPtrDynamicCast<LListBox>(main->FindChildByName(u"list"));
            ASSERT_TRUE(clipped && held && text && list && list->GetVerticalBar());
            clipped->SetText(u"UPDATE FIRMWARE");
            held->SetText(u"HOLD");
            text->SetText(u"hello world");

            WidgetWindow::Screen screen(window);
            EXPECT_TRUE(screen.Shows(12, 12, kButton)) << "the first paint";
            Settle();
            TestXServer().Screenshot("widget-looks-1-start");

            // Resting on the clipped button: nothing before the delay, then
            // the tooltip below the pointer, outside the button.
            screen.To(40, 22);
            Settle();
            // What the loop runs when it has nothing else to do, timed
            // things included.
            auto idleTurn = [&] { app.ProcessNotifications(true); };
            idleTurn();
            Settle();
            EXPECT_EQ(screen.Pixel(42, 44), kPanel) << "no tooltip before the hover delay";
            RCPtr<LControl> tip = clipped->GetToolTip();
            ASSERT_TRUE(tip) << "the text does not fit: the button offers a tooltip";
            EXPECT_EQ(tip->GetText(), u"UPDATE FIRMWARE") << "the whole text";
            clock.Advance(500);
            idleTurn();
            Settle();
            EXPECT_EQ(screen.Pixel(42, 44), kPanel) << "not at 500 ms";
            clock.Advance(1);
            idleTurn();
            EXPECT_TRUE(screen.Shows(42, 44, kToolTip)) << "shown after the delay";
            const int32_t right = 40 + int32_t(tip->GetWidth()) - 3;
            EXPECT_GT(right, 70) << "wider than the button";
            EXPECT_EQ(screen.Pixel(right, 60), kToolTip) << "beyond the button's right edge too";
            TestXServer().Screenshot("widget-looks-2-tooltip");

            // Three wheel steps down the list: the docked bar stays where it
            // was, its thumb now at the channel's end.
            screen.To(170, 90);
            EXPECT_TRUE(screen.Shows(42, 44, kPanel)) << "the tooltip went with the pointer";
            EXPECT_TRUE(screen.Shows(222, 67, kButton));
            EXPECT_EQ(screen.Pixel(222, 82), kAccent) << "the thumb at the top";
            for (int i = 0; i < 3; ++i) {
                screen.input.Click(5);
                Settle();
            }
            EXPECT_DOUBLE_EQ(list->GetVerticalBar()->GetValue(), 1.0);
            EXPECT_EQ(list->GetScrollOffset().y, 60);
            EXPECT_TRUE(screen.Shows(222, 97, kAccent)) << "the thumb at the bottom, in view";
            EXPECT_EQ(screen.Pixel(222, 67), kButton) << "the bar's top button where it was";
            EXPECT_EQ(screen.Pixel(222, 112), kButton) << "and its bottom one";
            EXPECT_EQ(screen.Pixel(222, 82), 0x141416u) << "the channel above the thumb";
            TestXServer().Screenshot("widget-looks-3-docked-bar");

            // "world" selected in "hello world": the highlight spans those
            // five characters and nothing else of the field.
            text->SetFocus(true);
            text->SelectRange(6, 10);
            const RectT<float> area = text->GetTextRect();
            const float origin = area.x + text->GetLineOrigin().x;
            const int32_t from = 130 + int32_t(std::lround(origin + text->MeasurePrefix(6)));
            const int32_t to5 = 130 + int32_t(std::lround(origin + text->MeasurePrefix(11)));
            EXPECT_TRUE(screen.Shows(from + 1, 12, kHot));
            const std::vector<uint32_t> row = TestXServer().ReadPixels(screen.id, {130, 12, 200, 1});
            const auto first = std::find(row.begin(), row.end(), kHot);
            const auto last = std::find(row.rbegin(), row.rend(), kHot);
            ASSERT_NE(first, row.end());
            const int32_t left = 130 + int32_t(first - row.begin());
            const int32_t end = 130 + int32_t(row.rend() - last);
            EXPECT_NEAR(left, from, 1);
            EXPECT_NEAR(end, to5, 1);
            EXPECT_EQ(std::count(row.begin(), row.end(), kHot), end - left) << "one run";
            EXPECT_EQ(std::count(row.begin(), row.end(), 0x141416u), 200 - (end - left))
                << "the rest of the field is not highlighted";
            TestXServer().Screenshot("widget-looks-4-selection");

            // Held without moving: pressed at once.
            screen.To(50, 162);
            EXPECT_TRUE(screen.Shows(12, 152, kHover));
            screen.input.Press(1);
            EXPECT_TRUE(screen.Shows(12, 152, kPressed)) << "down as soon as it is held";
            TestXServer().Screenshot("widget-looks-5-held");
            screen.input.Release(1);
            EXPECT_TRUE(screen.Shows(12, 152, kHover));
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}
