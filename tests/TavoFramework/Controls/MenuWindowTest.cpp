// The product's skin with its File menu shown and a status bar, in a window
// on the test X server: menus open sized to their entries, their texts stand
// out from the panel, the band lies under the row the pointer is on, a hint
// reaches the status bar and a press outside closes the menu; a disabled
// entry shows dimmed text and never takes the band.
// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Application/FrameworkApp.h"
#include "Controls/ComboMenu.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MainMenu.h"
#include "Controls/PopupMenu.h"
#include "Controls/StatusBar.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"
#include "tests/Common/Contrast.h"
#include "tests/Common/TestScope.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace Tavo;
using WidgetWindow::Settle;
using WidgetWindow::TurnUntil;

namespace {

constexpr uint32_t kPanel = 0x26262B, kBand = 0x3C5A8C;

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

// The product skin with the menu in the top right corner, above the header,
// and a status bar over the version line.
void WriteSkin(const std::string& path)
{
    std::ifstream in(TAVO_PRODUCT_SKIN);
    std::stringstream all;
    all << in.rdbuf();
    std::string skin = all.str();
    Replace(
        skin,
        R"(Name="mainMenu" IsVisible="False" LayoutOrder="0" XSizeToControl="Parent" XSizeRel="1" XSizeAbs="0" YSizeAbs="24")",
        R"(Name="mainMenu" Z_Order="100" LayoutOrder="0" XPositionAbs="480" YPositionAbs="10" XSizeAbs="60" YSizeAbs="24")");
    Replace(
        skin, R"(<SubControl Class="Framework.Label" Name="updaterVersionLabel")",
        R"(<SubControl Class="Framework.StatusBar" Name="statusBar" XPositionAbs="20" YPositionAbs="360" XSizeAbs="520" YSizeAbs="20">
            <Skin Name="statusBarSkin" LookList="listPanel">
              <SubControl Class="Framework.Label" Name="label1" XSizeToControl="Parent" XSizeRel="1" XSizeAbs="0" YSizeAbs="20">
                <Skin Name="statusLabelSkin" LookList="listLabel"/>
              </SubControl>
            </Skin>
          </SubControl>
          <SubControl Class="Framework.Label" Name="updaterVersionLabel")");
    std::ofstream(path) << skin;
}

void WriteStrings(const std::string& path)
{
    const auto string = [](const char* id, const char* text) {
        return std::string("<String ID=\"") + id + "\"><Locale LCID=\"0x0009\">" + text +
               "</Locale></String>";
    };
    std::ofstream(path) << "<Root><Application Name=\"TestApp\"><StringTable ID=\"|TestApp\">"
                        << string("X", "x") << "</StringTable>"
                        << "<StringTable ID=\"FirmwareUpdater.MainControl|mainMenu\">"
                        << string("MENU_LABEL.00", "File")
                        << string("CONTEXT_MENU0.00.NID_MENU_FILE_ITEM_1",
                                  "Select Firmware File|Choose the firmware image to send")
                        << string("CONTEXT_MENU0.01.NID_MENU_FILE_ITEM_2", "Reload")
                        << string("CONTEXT_MENU0.02.-", "")
                        << string("CONTEXT_MENU0.03.NID_MENU_FILE_ITEM_3", "Exit") << "</StringTable>"
                        << "<StringTable ID=\"FirmwareUpdater.MainControl|labelDeviceInformation\">"
                        << string("LABEL", "K620 ZENTA device not found.") << "</StringTable>"
                        << "<StringTable ID=\"FirmwareUpdater.MainControl|buttonExit\">"
                        << string("LABEL", "EXIT")
                        << string("CONTEXT_MENU.00.NID_COPY", "Copy Device Information")
                        << string("CONTEXT_MENU.01.NID_SELECT_ALL", "Select All") << "</StringTable>"
                        << "</Application></Root>";
}

std::vector<ControlClassRow> Classes()
{
    std::vector<ControlClassRow> rows(FrameworkControlClasses().begin(), FrameworkControlClasses().end());
    rows.push_back({u"FirmwareUpdater.MainControl", &LControl::CreateT<LControl>, 0});
    return rows;
}

// The test skin's window once active and painted, with its File menu: what
// each script below starts from.
struct MenuScene
{
    RCPtr<LControl> main;
    RCPtr<LComboMenu> file;
    LPopupMenu* popup = nullptr;
    unsigned long id = 0;
    Platform::Window::Rect client;
    XInput input;

    void To(double x, double y)
    {
        input.MoveTo(client.x + int32_t(x), client.y + int32_t(y));
        Settle();
    }
    std::vector<uint32_t> Pixels(double x, double y, double w, double h) const
    {
        return TestXServer().ReadPixels(id, {int32_t(x), int32_t(y), int32_t(w), int32_t(h)});
    }
};

// The run's exit code.
int32_t RunMenuWindow(const std::function<void(MenuScene&)>& script)
{
    TestFolder dir;
    WriteSkin(dir / "skin.xml");
    WriteStrings(dir / "strings.xml");
    static const std::vector<ControlClassRow> classes = Classes();
    return WidgetWindow::Run(
        dir / "skin.xml", classes,
        [&](WidgetWindow::App& app, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            MenuScene scene;
            scene.main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto bar = RCPtrDynamicCast<LMainMenu>(scene.main->FindChildByName(u"mainMenu"));
            ASSERT_TRUE(bar && bar->GetMenuCount() == 1);
            scene.file = bar->GetMenuAt(0);
            scene.popup = dynamic_cast<LPopupMenu*>(scene.file->GetPopupControl().Get());
            ASSERT_TRUE(scene.popup);
            scene.id = window.GetWindowId();
            scene.client = WindowHost::System()->GetClientRect(scene.id);
            script(scene);
        },
        dir / "strings.xml");
}

}  // namespace

TEST(MenuWindow, MenusFitTheirEntriesShowThemLegiblyAndCloseOnAPressOutside)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = RunMenuWindow([](MenuScene& scene) {
        auto status = RCPtrDynamicCast<LStatusBar>(scene.main->FindChildByName(u"statusBar"));
        ASSERT_TRUE(status);
        StatusBarCache() = RCPtr<IAppStatusBar>(status.Get());
        const RCPtr<LControl>& main = scene.main;
        const RCPtr<LComboMenu>& file = scene.file;
        LPopupMenu* popup = scene.popup;
        XInput& input = scene.input;
        auto to = [&](double x, double y) { scene.To(x, y); };
        auto pixels = [&](double x, double y, double w, double h) { return scene.Pixels(x, y, w, h); };
        auto measure = [&](const LControl& row, const char16_t* text) {
            return GetMeasurementRenderer()->MeasureString(WString(text), row.GetFont()).width;
        };
        // Every entry's text, on the row's own colour, reads well.
        auto checkRows = [&](LPopupMenu& menu, const char* which) {
            const PointT<double> at = menu.GetAbsolutePosition();
            for (uint32_t r = 0; r < menu.GetItemCount(); ++r) {
                LListBoxItem* row = menu.GetRow(r);
                ASSERT_TRUE(row);
                if (row->IsSeparator())
                    continue;
                EXPECT_FALSE(row->IsTextClipped()) << which << " row " << r;
                const double y = at.y + row->GetY();
                const uint32_t behind = pixels(at.x + menu.GetWidth() - 2, y + 10, 1, 1).at(0);
                const std::vector<uint32_t> area = pixels(at.x, y, menu.GetWidth(), row->GetHeight());
                // The glyphs' cores stand out, whatever their smoothed
                // edges, and their ink spans the whole text: nothing
                // covers its end.
                double best = 1;
                int32_t left = INT32_MAX, right = -1;
                for (size_t i = 0; i < area.size(); ++i) {
                    best = std::max(best, Contrast(area[i], behind));
                    if (Contrast(area[i], behind) > 2) {
                        const int32_t x = int32_t(i % size_t(menu.GetWidth()));
                        left = std::min(left, x), right = std::max(right, x);
                    }
                }
                EXPECT_GE(best, 4.5) << which << " row " << r << " on " << std::hex << behind;
                EXPECT_GE(right - left + 1, measure(*row, row->GetText().c_str()) - 6)
                    << which << " row " << r;
            }
        };

        // The File title opens its menu below it, as wide as its widest entry.
        const PointT<double> title = file->GetAbsolutePosition();
        to(title.x + 20, title.y + 12);
        input.Click(1);
        ASSERT_TRUE(TurnUntil([&] { return file->IsDroppedDown(); }));
        Settle();
        const LListBoxItem& first = *popup->GetRow(0);
        EXPECT_GE(popup->GetWidth(), 40 + measure(first, u"Select Firmware File"));
        EXPECT_EQ(popup->GetHeight(), 3 * 20 + popup->GetSeparatorHeight());
        EXPECT_LE(popup->GetAbsolutePosition().x + popup->GetWidth(), 560.0) << "inside the window";
        TestXServer().Screenshot("menu-file-open");

        // The band follows the pointer: first, middle and last row; the
        // texts read well on it and beside it.
        const PointT<double> at = popup->GetAbsolutePosition();
        const double column = at.x + popup->GetWidth() - 2;
        for (uint32_t r : {0u, 1u, 3u}) {
            SCOPED_TRACE("row " + std::to_string(r));
            const double top = at.y + popup->GetRow(r)->GetY();
            to(at.x + 30, top + 10);
            ASSERT_TRUE(TurnUntil([&] { return pixels(column, top + 10, 1, 1).at(0) == kBand; }));
            const std::vector<uint32_t> down = pixels(column, at.y, 1, popup->GetHeight());
            for (size_t y = 0; y < down.size(); ++y) {
                const bool under = at.y + double(y) >= top && at.y + double(y) < top + 20;
                EXPECT_EQ(down[y], under ? kBand : kPanel) << "y " << y;
            }
            TestXServer().Screenshot("menu-file-row" + std::to_string(r));
            checkRows(*popup, "hovered");
            if (r == 0) {
                EXPECT_TRUE(TurnUntil([&] {
                    return status->FindChildByName(u"label1")->GetText() ==
                           WString(u"Choose the firmware image to send");
                })) << "the hint in the status bar";
            }
        }

        // A press outside closes it.
        to(300, 200);
        input.Click(1);
        EXPECT_TRUE(TurnUntil([&] { return !file->IsDroppedDown(); }));

        // A button's context menu opens at the pointer, sized to its entries.
        RCPtr<LControl> label = main->FindChildByName(u"buttonExit");
        to(label->GetAbsolutePosition().x + 40, label->GetAbsolutePosition().y + 8);
        input.Click(3);
        ASSERT_TRUE(TurnUntil([&] { return bool(label->FindChildByName(u"contextMenu")); }));
        auto context = RCPtrDynamicCast<LPopupMenu>(label->FindChildByName(u"contextMenu"));
        Settle();
        EXPECT_GE(context->GetWidth(), 40 + measure(*context->GetRow(0), u"Copy Device Information"));
        EXPECT_EQ(context->GetHeight(), 2 * 20.0);
        TestXServer().Screenshot("menu-context-open");
        checkRows(*context, "context");
        to(300, 300);
        input.Click(1);
        EXPECT_TRUE(TurnUntil([&] { return !bool(label->FindChildByName(u"contextMenu")); }));
        Settle();
        TestXServer().Screenshot("menu-closed");
        StatusBarCache() = nullptr;
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_EQ(code, 0);
}

// An entry switched off while the menu is open: its text is still drawn but
// reads clearly dimmer than an enabled entry's on the same ground, and the
// pointer resting on it gives it no band.
TEST(MenuWindow, ADisabledEntryIsDimmedAndTakesNoBand)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = RunMenuWindow([](MenuScene& scene) {
        const RCPtr<LComboMenu>& file = scene.file;
        LPopupMenu* popup = scene.popup;
        XInput& input = scene.input;
        auto to = [&](double x, double y) { scene.To(x, y); };
        auto pixels = [&](double x, double y, double w, double h) { return scene.Pixels(x, y, w, h); };
        const PointT<double> title = file->GetAbsolutePosition();
        to(title.x + 20, title.y + 12);
        input.Click(1);
        ASSERT_TRUE(TurnUntil([&] { return file->IsDroppedDown(); }));
        Settle();
        // "Reload" off.
        ASSERT_EQ(popup->ApplyItemInfo(1, {false, false, WString(u"Reload")}), S_OK);
        Settle();

        const PointT<double> at = popup->GetAbsolutePosition();
        const double column = at.x + popup->GetWidth() - 2;
        auto top = [&](uint32_t r) { return at.y + popup->GetRow(r)->GetY(); };
        // The best contrast of a row's ink against the row's ground, and
        // how many pixels stand out from it at all.
        struct Ink
        {
            double contrast = 1;
            int count = 0;
        };
        auto ink = [&](uint32_t r) {
            const uint32_t behind = pixels(column, top(r) + 10, 1, 1).at(0);
            Ink found;
            for (const uint32_t c : pixels(at.x, top(r), popup->GetWidth(), 20)) {
                found.contrast = std::max(found.contrast, Contrast(c, behind));
                found.count += Contrast(c, behind) > 1.5;
            }
            return found;
        };
        to(at.x + 200, at.y + 200);  // off the menu: no row hovered
        ASSERT_TRUE(TurnUntil([&] { return pixels(column, top(0) + 10, 1, 1).at(0) == kPanel; }));
        TestXServer().Screenshot("menu-file-disabled");
        const Ink off = ink(1), on = ink(3);
        EXPECT_GT(off.count, 20) << "the disabled text is drawn";
        EXPECT_GE(on.contrast, 4.5);
        EXPECT_LT(off.contrast, on.contrast * 0.6) << "dimmer than an enabled entry";
        EXPECT_GE(off.contrast, 2.0) << "but still readable";

        // The pointer on it: no band there, nor anywhere else.
        to(at.x + 30, top(1) + 10);
        Settle();
        TestXServer().Screenshot("menu-file-disabled-hovered");
        for (const uint32_t c : pixels(column, at.y, 1, popup->GetHeight()))
            EXPECT_EQ(c, kPanel);
        EXPECT_LT(ink(1).contrast, on.contrast * 0.6) << "still dimmed under the pointer";

        to(300, 200);
        input.Click(1);
        EXPECT_TRUE(TurnUntil([&] { return !file->IsDroppedDown(); }));
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_EQ(code, 0);
}
