// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Application/AppClock.h"
#include "Controls/Button.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/Label.h"
#include "Controls/ListBox.h"
#include "Controls/ProgressBar.h"
#include "Controls/Scrollbar.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <X11/keysym.h>

#include <algorithm>
#include <span>
#include <vector>

using namespace Tavo;
using WidgetWindow::Settle;
using WidgetWindow::TurnUntil;

namespace {

// A plain control whose right edge follows a drag.
class Sizer : public LControl
{
public:
    using LControl::LControl;
    TavoResult Initialize() override
    {
        const TavoResult result = LControl::Initialize();
        SetDragMode(4, 8);
        return result;
    }
};

// The framework's widgets and the sizer.
std::span<const ControlClassRow> Classes()
{
    static const auto* rows = [] {
        auto* all = new std::vector<ControlClassRow>(FrameworkControlClasses().begin(),
                                                     FrameworkControlClasses().end());
        all->push_back({u"Test.Sizer", &LControl::CreateT<Sizer>, 1});
        return all;
    }();
    return *rows;
}

}  // namespace

TEST(CoreWidgetsWindow, ClicksKeysAndWheelFromTheDisplayDriveTheWidgets)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code =
        WidgetWindow::Run(TAVO_CORE_SKIN, Classes(), [](WidgetWindow::App& app, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto push = RCPtrDynamicCast<LButton>(main->FindChildByName(u"push"));
            auto list = RCPtrDynamicCast<LListBox>(main->FindChildByName(u"list"));
            auto progress = RCPtrDynamicCast<LProgressBar>(main->FindChildByName(u"progress"));
            ASSERT_TRUE(push && list && progress && main->FindChildByName(u"status"));
            ASSERT_TRUE(list->GetVerticalBar() && list->IsScrollbarShown(1));
            WidgetWindow::Screen screen(window);
            RCPtr<Recorder> rec(new Recorder());
            rec->Listen(push, {u"NID_LEFT_CLICK"});

            EXPECT_TRUE(screen.Shows(12, 12, 0x505058)) << "the button's idle look";
            screen.To(40, 20);
            screen.input.Press(1);
            screen.To(46, 20);
            EXPECT_TRUE(screen.Shows(12, 12, 0xE8A317))
                << "held and moved past the drag threshold, the pressed look";
            EXPECT_EQ(rec->Count(u"NID_LEFT_CLICK"), 0) << "no click before the release";
            screen.input.Release(1);
            EXPECT_TRUE(TurnUntil([&] { return rec->Count(u"NID_LEFT_CLICK") == 1; }));
            EXPECT_TRUE(screen.Shows(12, 12, 0x505058));

            // Row 1 clicked, then Down twice: the selection moves to row 3.
            screen.To(40, 70);
            screen.input.Click(1);
            Settle();
            EXPECT_EQ(list->GetSelectedIndices(), std::vector<uint32_t>{1});
            for (int i = 0; i < 2; ++i)
                screen.input.Key(XK_Down);
            Settle();
            EXPECT_EQ(list->GetSelectedIndices(), std::vector<uint32_t>{3});
            EXPECT_TRUE(screen.Shows(12, 85, 0xE8A317)) << "scrolled a row to show the third, selected";
            EXPECT_EQ(screen.Pixel(12, 45), 0x505058u);
            LScrollbar& bar = *list->GetVerticalBar();
            // Scrolled a row already: two notches down over the rows reach the end, one up comes back a row.
            const struct
            {
                unsigned button;
                double value;
            } notches[] = {{5, 2.0 / 3}, {5, 1.0}, {5, 1.0}, {4, 2.0 / 3}};
            for (const auto& n : notches) {
                screen.input.Click(n.button);
                Settle();
                EXPECT_NEAR(bar.GetValue(), n.value, 1e-9) << n.button;
            }

            // A quarter fills 50 of the bar's 200 pixels.
            progress->SetValue(0.25);
            EXPECT_TRUE(screen.Shows(10 + 49, 125, 0x30C030));
            const std::vector<uint32_t> row = TestXServer().ReadPixels(screen.id, {10, 125, 200, 1});
            EXPECT_EQ(std::count(row.begin(), row.end(), 0x30C030u), 50);
            TestXServer().Screenshot("core-widgets");
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}

// A press in the channel beside the thumb pages at once and again while held,
// on the application's clock: 0.4 s to the second page, then every 0.2 s,
// until the thumb reaches the pointer. The channel's 130 pixels hold a
// 15-pixel thumb, so a page of 0.2 moves it 23 pixels.
TEST(CoreWidgetsWindow, HoldingTheChannelPagesTheThumbTowardsThePointer)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code =
        WidgetWindow::Run(TAVO_CORE_SKIN, Classes(), [](WidgetWindow::App& app, OSWindow& window) {
            ManualAppClock clock;
            clock.Set(100000);
            ScopedAppClock useClock(clock);
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto bar = RCPtrDynamicCast<LScrollbar>(main->FindChildByName(u"pager"));
            ASSERT_TRUE(bar);
            WidgetWindow::Screen screen(window);
            constexpr int32_t kColumn = 257, kChannelTop = 25, kThumb = 0x30C030;
            // The thumb's first row below the channel's top, or -1.
            const auto thumbAt = [&] {
                const std::vector<uint32_t> column =
                    TestXServer().ReadPixels(screen.id, {kColumn, kChannelTop, 1, 130});
                const auto first = std::find(column.begin(), column.end(), uint32_t(kThumb));
                return first == column.end() ? -1 : int32_t(first - column.begin());
            };
            const auto showsThumbAt = [&](int32_t row) {
                return TurnUntil([&] { return thumbAt() == row; });
            };
            const auto idleTurn = [&](uint32_t ms) {
                clock.Advance(ms);
                app.ProcessNotifications(true);
                Settle();
            };
            EXPECT_TRUE(showsThumbAt(0)) << "the thumb at the top";

            // Held 5 pixels above the channel's far end.
            screen.To(kColumn, kChannelTop + 125);
            screen.input.Press(1);
            Settle();
            EXPECT_TRUE(showsThumbAt(23)) << "a page at the press";
            EXPECT_NEAR(bar->GetValue(), 0.2, 1e-9);
            TestXServer().Screenshot("core-widgets-channel-page");
            idleTurn(399);
            EXPECT_EQ(thumbAt(), 23) << "nothing before 0.4 s";
            idleTurn(1);
            EXPECT_TRUE(showsThumbAt(46)) << "the second page after 0.4 s";
            idleTurn(199);
            EXPECT_EQ(thumbAt(), 46);
            for (int32_t row : {69, 92, 115}) {
                idleTurn(200);
                EXPECT_TRUE(showsThumbAt(row)) << "then every 0.2 s";
            }
            idleTurn(200);
            EXPECT_EQ(thumbAt(), 115) << "the thumb under the pointer stops the paging";
            EXPECT_EQ(bar->GetValue(), 1.0);
            screen.input.Release(1);
            Settle();

            // Above the thumb: a page back towards the start.
            screen.To(kColumn, kChannelTop + 100);
            screen.input.Click(1);
            EXPECT_TRUE(showsThumbAt(92));
            EXPECT_NEAR(bar->GetValue(), 0.8, 1e-9);
            idleTurn(1000);
            EXPECT_EQ(thumbAt(), 92) << "released: no more pages";
            TestXServer().Screenshot("core-widgets-channel-page-back");
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}

// The right edge dragged past the left one leaves a pixel-wide control, which
// the pointer still finds and widens again.
TEST(CoreWidgetsWindow, AnEdgeDraggedToTheOtherSideCanBeGrabbedAgain)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code =
        WidgetWindow::Run(TAVO_CORE_SKIN, Classes(), [](WidgetWindow::App&, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            WidgetWindow::Screen screen(window);
            constexpr int32_t kRow = 155, kLeft = 130, kFill = 0x30C030;
            // The sizer's columns on its middle row.
            const auto filled = [&] {
                const std::vector<uint32_t> row = TestXServer().ReadPixels(screen.id, {100, kRow, 140, 1});
                return int32_t(std::count(row.begin(), row.end(), uint32_t(kFill)));
            };
            const auto shows = [&](int32_t width) { return TurnUntil([&] { return filled() == width; }); };
            const auto drag = [&](int32_t from, int32_t to) {
                screen.To(from, kRow);
                screen.input.Press(1);
                screen.To(from + (to < from ? -2 : 2), kRow);
                screen.To(to, kRow);
                screen.input.Release(1);
                Settle();
            };
            EXPECT_TRUE(shows(60));
            drag(kLeft + 58, 100);
            EXPECT_TRUE(shows(1)) << "the edge stops a pixel short of the other";
            EXPECT_EQ(screen.Pixel(kLeft, kRow), uint32_t(kFill));
            TestXServer().Screenshot("core-widgets-sizer-narrow");
            drag(kLeft, kLeft + 50);
            EXPECT_TRUE(shows(51)) << "grabbed again and widened to the pointer";
            EXPECT_EQ(screen.Pixel(kLeft + 50, kRow), uint32_t(kFill));
            TestXServer().Screenshot("core-widgets-sizer-widened");
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}

// A panel whose every look is faded out shows neither itself nor its child,
// and a click there reaches the button beneath.
TEST(CoreWidgetsWindow, APanelWithEveryLookFadedOutShowsNothingAndLetsClicksThrough)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code =
        WidgetWindow::Run(TAVO_CORE_SKIN, Classes(), [](WidgetWindow::App& app, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            RCPtr<LControl> under = main->FindChildByName(u"under"), veil = main->FindChildByName(u"veil");
            ASSERT_TRUE(under && veil);
            WidgetWindow::Screen screen(window);
            RCPtr<Recorder> rec(new Recorder());
            rec->Listen(under, {u"NID_LEFT_CLICK"});
            constexpr uint32_t kVeil = 0xF0F0F0, kChild = 0x30C030, kUnder = 0x505058;

            EXPECT_TRUE(screen.Shows(135, 15, kVeil));
            EXPECT_TRUE(screen.Shows(150, 25, kChild));
            screen.To(150, 25);
            screen.input.Click(1);
            Settle();
            EXPECT_EQ(rec->Count(u"NID_LEFT_CLICK"), 0) << "the panel's child takes the click";

            ASSERT_EQ(veil->SetLookWeight(0, 0.0f, true), S_OK);
            ASSERT_EQ(veil->GetLookWeight(1), 0.0f);
            EXPECT_TRUE(screen.Shows(150, 25, kUnder)) << "no look shown: no child either";
            EXPECT_EQ(screen.Pixel(135, 15), kUnder);
            TestXServer().Screenshot("core-widgets-faded-panel");
            screen.To(150, 26);
            screen.input.Click(1);
            EXPECT_TRUE(TurnUntil([&] { return rec->Count(u"NID_LEFT_CLICK") == 1; }))
                << "the click falls through to the button";
            screen.To(220, 60);
            screen.input.Click(1);
            EXPECT_TRUE(TurnUntil([&] { return rec->Count(u"NID_LEFT_CLICK") == 2; }));

            ASSERT_EQ(veil->SetLookWeight(1, 1.0f, true), S_OK);
            EXPECT_TRUE(screen.Shows(150, 25, kChild)) << "a look shown again brings the child back";
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}

// Panels where a bar's thumb and step buttons belong are no parts of it: the
// panel thumb stays where the skin put it when dragged, and the bar, having
// no step buttons to tell its direction by, is vertical.
TEST(CoreWidgetsWindow, ABarIgnoresPartsThatAreNoButtons)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code =
        WidgetWindow::Run(TAVO_CORE_SKIN, Classes(), [](WidgetWindow::App& app, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto bar = RCPtrDynamicCast<LScrollbar>(main->FindChildByName(u"panelBar"));
            ASSERT_TRUE(bar);
            EXPECT_FALSE(bar->GetThumb());
            EXPECT_TRUE(bar->IsVertical());
            WidgetWindow::Screen screen(window);
            constexpr uint32_t kThumb = 0x30C030, kChannel = 0x202028;
            EXPECT_TRUE(screen.Shows(140, 87, kThumb));
            screen.To(140, 87);
            screen.input.Press(1);
            for (int32_t x = 150; x <= 190; x += 10)
                screen.To(x, 87);
            screen.input.Release(1);
            Settle();
            TestXServer().Screenshot("core-widgets-panel-bar");
            EXPECT_EQ(screen.Pixel(140, 87), kThumb) << "the panel thumb did not move";
            EXPECT_EQ(screen.Pixel(185, 87), kChannel);
            EXPECT_EQ(bar->GetValue(), 0.0);
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}
