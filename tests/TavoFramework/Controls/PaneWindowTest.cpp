// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/FrameworkControlClasses.h"
#include "Controls/LevelMeter.h"
#include "Controls/TabControl.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

using namespace Tavo;
using WidgetWindow::TurnUntil;

namespace {

void Script(WidgetWindow::App& app, OSWindow& window)
{
    const unsigned long id = window.GetWindowId();
    const RCPtr<LControl> root = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
    auto pixel = [&](int32_t x, int32_t y) { return TestXServer().ReadPixels(id, {x, y, 1, 1}).at(0); };
    // Paints run on the loop: wait for the colour rather than for a count.
    auto shows = [&](int32_t x, int32_t y, uint32_t rgb) {
        return TurnUntil([&] { return pixel(x, y) == rgb; });
    };
    ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() > 0; }));
    const Platform::Window::Rect client = WindowHost::System()->GetClientRect(id);
    XInput input;

    EXPECT_TRUE(shows(100, 60, 0x20A0A0)) << "the first tab in tab order shows its page";
    input.MoveTo(client.x + 70, client.y + 10);
    input.Click(1);
    EXPECT_TRUE(shows(100, 60, 0xE08020)) << "a click on the third tab shows the third page";
    EXPECT_EQ(RCPtrDynamicCast<LTabControl>(root->FindChildByName(u"tabs"))->GetSelectedTabName(), u"c");

    // Pressed at a window point, moved a few pixels to start the drag, released at another.
    auto drag = [&](int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t toX, int32_t toY) {
        input.MoveTo(client.x + x, client.y + y);
        input.Press(1);
        input.MoveTo(client.x + x + dx, client.y + y + dy);
        input.MoveTo(client.x + toX, client.y + toY);
        input.Release(1);
    };
    // The bar at 200 in its area goes to 120; left of it the pane on its right shows.
    EXPECT_TRUE(shows(340, 50, 0xC03020));
    drag(402, 50, -6, 0, 322, 50);
    EXPECT_TRUE(shows(340, 50, 0x2060A0));
    RCPtr<LControl> bar = root->FindChildByName(u"split")->FindChildByName(u"bar");
    EXPECT_EQ(bar->GetX(), 120);
    EXPECT_EQ(bar->GetActiveLookIndex(), 4) << "under the pointer, with the focus the press gave it";
    bar->SetEnabled(false);
    EXPECT_EQ(bar->GetActiveLookIndex(), 6);
    // The pane sized to the horizontal bar stops it at that pane's largest size.
    drag(250, 202, 0, 6, 250, 395);
    EXPECT_TRUE(shows(250, 240, 0xC03020));
    EXPECT_EQ(root->FindChildByName(u"splitH")->FindChildByName(u"hbar")->GetY(), 150);

    RCPtrDynamicCast<LLevelMeter>(root->FindChildByName(u"meterH"))->SetMeter(1.5, 0.5, 1);
    EXPECT_TRUE(shows(99, 305, 0x30C030)) << "a level past the top fills the meter";
    EXPECT_EQ(pixel(45, 305), 0xE0C020u) << "the peak marker half way";
    EXPECT_EQ(pixel(321, 50), 0x808080u) << "the bar's own look";
    EXPECT_EQ(pixel(155, 305), 0xE0C020u) << "the file dropper's look";
    TestXServer().Screenshot("pane-widgets");
    GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
}

}  // namespace

TEST(PaneWindow, ClicksAndDragsChangeTabsSplittersAndMeterOnScreen)
{
    ASSERT_TRUE(TestXServer().Running());
    // The framework's widgets and a plain control for the skin's panes.
    std::vector<ControlClassRow> classes(FrameworkControlClasses().begin(), FrameworkControlClasses().end());
    classes.push_back({u"Test.Panel", &LControl::CreateT<LControl>, 1});
    EXPECT_EQ(WidgetWindow::Run(TAVO_PANE_SKIN, classes, &Script), 0);
}
