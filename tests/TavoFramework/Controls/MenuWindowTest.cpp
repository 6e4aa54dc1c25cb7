// The product's skin with its File menu shown and a status bar, in a window
// on the test X server: menus open sized to their entries, their texts stand
// out from the panel, the band lies under the row the pointer is on, a hint
// reaches the status bar and a press outside closes the menu; a disabled
// entry shows dimmed text and never takes the band.
// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Application/FrameworkApp.h"
#include "Controls/Button.h"
#include "Controls/ComboMenu.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MainMenu.h"
#include "Controls/PopupMenu.h"
#include "Controls/StatusBar.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"
#include "tests/Common/Contrast.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/Common/TestScope.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <X11/keysym.h>

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

// Buttons that keep the names of what they hear: their keys, their clicks
// and the entries chosen in their context menus, which are sent to them
// directly.
class RecordingButton : public LButton
{
public:
    using LButton::LButton;
    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<RecordingButton>(result, parent, descriptor);
    }
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& n) override
    {
        if (n)
            heard.push_back(std::u16string(n->GetID()));
        return LButton::ReceiveNotification(sender, n);
    }
    TavoResult OnLeftClick(const RCPtr<LMouseButtonParam>& param) override
    {
        heard.push_back(u"click");
        return LButton::OnLeftClick(param);
    }
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override
    {
        heard.push_back(u"key");
        return LButton::OnKey(param);
    }
    int Count(const std::u16string& name) const { return int(std::count(heard.begin(), heard.end(), name)); }

    std::vector<std::u16string> heard;
};

std::vector<ControlClassRow> Classes()
{
    std::vector<ControlClassRow> rows(FrameworkControlClasses().begin(), FrameworkControlClasses().end());
    for (ControlClassRow& row : rows)
        if (std::u16string_view(row.name) == u"Framework.Button")
            row.create = &RecordingButton::Create;
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

// With the File menu open its keys are the menu's: Down, Up, Home and End
// move the band, Return chooses the entry under it, Escape is taken (a
// title's menu stays open for it). The button that had the focus before
// hears none of them and has the focus again once the menu is closed.
TEST(MenuWindow, TheOpenFileMenuTakesTheKeysFromTheFocusedButton)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = RunMenuWindow([](MenuScene& scene) {
        auto update = RCPtrDynamicCast<RecordingButton>(scene.main->FindChildByName(u"buttonUpdateFirmware"));
        ASSERT_TRUE(update);
        LRootWindow* root = scene.main->GetRootWindow();
        RCPtr<Recorder> chosen{new Recorder()};
        chosen->Subscribe(RCPtr<LNotificationDistributor>(static_cast<LNotificationDistributor*>(root)),
                          u"NID_MENU_FILE_ITEM_1");
        const RCPtr<LComboMenu>& file = scene.file;
        LPopupMenu* popup = scene.popup;
        XInput& input = scene.input;
        auto key = [&](unsigned long keysym) {
            input.Key(keysym);
            Settle();
        };

        // Keys reach the focused button.
        scene.To(300, 200);
        update->SetFocus(true);
        key(XK_Return);
        ASSERT_TRUE(TurnUntil([&] { return update->Count(u"key") > 0; }));
        const int keys = update->Count(u"key");

        const PointT<double> title = file->GetAbsolutePosition();
        auto open = [&] {
            scene.To(title.x + 20, title.y + 12);
            input.Click(1);
            ASSERT_TRUE(TurnUntil([&] { return file->IsDroppedDown(); }));
            // The pointer rests on the title, away from the rows.
            Settle();
        };
        open();
        const PointT<double> at = popup->GetAbsolutePosition();
        const double column = at.x + popup->GetWidth() - 2;
        // The one row the band lies under, -1 for none.
        auto banded = [&] {
            const std::vector<uint32_t> down = scene.Pixels(column, at.y, 1, popup->GetHeight());
            int32_t found = -1;
            for (uint32_t r = 0; r < popup->GetItemCount(); ++r) {
                const double y = popup->GetRow(r)->GetY() + 10;
                if (down.at(size_t(y)) == kBand)
                    found = found < 0 ? int32_t(r) : -2;
            }
            return found;
        };
        EXPECT_EQ(banded(), -1) << "no band before a key";
        // Rows: Select Firmware File, Reload, separator, Exit.
        const struct
        {
            unsigned long keysym;
            int32_t row;
        } moves[] = {{XK_Down, 0}, {XK_Down, 1}, {XK_Down, 3}, {XK_Up, 1},
                     {XK_Home, 0}, {XK_End, 3},  {XK_Home, 0}};
        for (const auto& move : moves) {
            key(move.keysym);
            EXPECT_TRUE(TurnUntil([&] { return banded() == move.row; }))
                << "key " << std::hex << move.keysym << " row " << std::dec << banded();
            TestXServer().Screenshot("menu-keys-row" + std::to_string(move.row));
        }

        // Escape is the menu's too; a title's menu stays open for it.
        key(XK_Escape);
        EXPECT_TRUE(file->IsDroppedDown());
        EXPECT_EQ(update->Count(u"key"), keys);
        // Closed by its title, the menu gives the button the focus back.
        scene.To(title.x + 20, title.y + 12);
        input.Click(1);
        EXPECT_TRUE(TurnUntil([&] { return !file->IsDroppedDown(); }));
        EXPECT_EQ(root->GetFocusControl().Get(), update.Get());

        // Return chooses the entry under the band and closes the menu.
        open();
        EXPECT_EQ(banded(), -1) << "opened again, no entry is hot";
        key(XK_Down);
        ASSERT_TRUE(TurnUntil([&] { return banded() == 0; }));
        TestXServer().Screenshot("menu-keys-before-return");
        key(XK_Return);
        // The window's queue hands the entry on at the program's next idle turn.
        auto* window = dynamic_cast<LOSRootWindow*>(root);
        ASSERT_TRUE(window);
        EXPECT_TRUE(TurnUntil([&] {
            window->ProcessQueues(false);
            return chosen->Count(u"NID_MENU_FILE_ITEM_1") == 1;
        }));
        EXPECT_TRUE(TurnUntil([&] { return !file->IsDroppedDown(); }));
        Settle();
        TestXServer().Screenshot("menu-keys-chosen");
        EXPECT_EQ(update->Count(u"key"), keys) << "the button behind heard no key";
        EXPECT_EQ(root->GetFocusControl().Get(), update.Get());
        chosen->UnsubscribeAll();
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_EQ(code, 0);
}

// A context menu's entry chosen by a click reaches the control whose menu it
// is and closes the menu: for a menu opened by a right press and for one
// opened at the pointer by the program.
TEST(MenuWindow, AClickOnAContextMenuEntryChoosesIt)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = RunMenuWindow([](MenuScene& scene) {
        auto exit = RCPtrDynamicCast<RecordingButton>(scene.main->FindChildByName(u"buttonExit"));
        ASSERT_TRUE(exit);
        XInput& input = scene.input;
        const PointT<double> button = exit->GetAbsolutePosition();
        struct Way
        {
            const char* name;
            uint32_t row;
            const char16_t* entry;
        };
        for (const Way& way : {Way{"right press", 1, u"NID_SELECT_ALL"}, Way{"program", 0, u"NID_COPY"}}) {
            SCOPED_TRACE(way.name);
            scene.To(button.x + 40, button.y + 8);
            if (std::string(way.name) == "right press") {
                input.Click(3);
            } else {
                RCPtr<LMenuDescriptor>* menu = exit->GetContextMenu();
                ASSERT_TRUE(menu && *menu);
                exit->OpenContextMenu(*menu);
            }
            ASSERT_TRUE(TurnUntil([&] { return bool(exit->FindChildByName(u"contextMenu")); }));
            auto context = RCPtrDynamicCast<LPopupMenu>(exit->FindChildByName(u"contextMenu"));
            Settle();
            const PointT<double> at = context->GetAbsolutePosition();
            const double top = at.y + context->GetRow(way.row)->GetY();
            scene.To(at.x + 30, top + 10);
            ASSERT_TRUE(TurnUntil(
                [&] { return scene.Pixels(at.x + context->GetWidth() - 2, top + 10, 1, 1).at(0) == kBand; }));
            TestXServer().Screenshot(std::string("menu-context-click-") + (way.row ? "right" : "program"));
            const size_t before = exit->heard.size();
            input.Click(1);
            EXPECT_TRUE(TurnUntil([&] { return exit->Count(way.entry) == 1; }));
            EXPECT_TRUE(TurnUntil([&] { return !bool(exit->FindChildByName(u"contextMenu")); }));
            Settle();
            EXPECT_EQ(exit->Count(u"click"), 0) << "the button under the menu was not clicked";
            EXPECT_GT(exit->heard.size(), before);
            TestXServer().Screenshot(std::string("menu-context-chosen-") + (way.row ? "right" : "program"));
        }
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_EQ(code, 0);
}

// A checked entry's mark stands clear of its label: no column of the mark
// holds ink of the label's first letters, in the File menu and in a
// context menu.
TEST(MenuWindow, ACheckMarkLeavesTheLabelUncovered)
{
    ASSERT_TRUE(TestXServer().Running());
    const int32_t code = RunMenuWindow([](MenuScene& scene) {
        constexpr uint32_t kMark = 0xE8A317;
        auto grey = [](uint32_t c) {
            const int r = int(c >> 16 & 0xFF), g = int(c >> 8 & 0xFF), b = int(c & 0xFF);
            return std::abs(r - g) < 24 && std::abs(g - b) < 24;
        };
        // Columns of the mark's colour and of the label's light ink in a row.
        auto columns = [&](LPopupMenu& menu, uint32_t r, bool mark) {
            const PointT<double> at = menu.GetAbsolutePosition();
            const double top = at.y + menu.GetRow(r)->GetY();
            const uint32_t behind = scene.Pixels(at.x + menu.GetWidth() - 2, top + 10, 1, 1).at(0);
            const int32_t width = int32_t(menu.GetWidth());
            const std::vector<uint32_t> area = scene.Pixels(at.x, top, width, 20);
            std::vector<int32_t> found;
            for (size_t i = 0; i < area.size(); ++i) {
                const bool hit = mark ? area[i] == kMark : grey(area[i]) && Contrast(area[i], behind) > 1.5;
                if (hit)
                    found.push_back(int32_t(i % size_t(width)));
            }
            std::sort(found.begin(), found.end());
            return found;
        };
        auto check = [&](LPopupMenu& menu, uint32_t r, const WString& label, const std::string& name) {
            SCOPED_TRACE(name);
            const std::vector<int32_t> ink = columns(menu, r, false);
            ASSERT_FALSE(ink.empty()) << "the label is drawn";
            ASSERT_EQ(menu.ApplyItemInfo(int32_t(r), {true, true, label}), S_OK);
            ASSERT_TRUE(TurnUntil([&] { return !columns(menu, r, true).empty(); })) << "the mark is drawn";
            TestXServer().Screenshot("menu-check-" + name);
            const std::vector<int32_t> mark = columns(menu, r, true);
            EXPECT_LT(mark.back(), ink.front()) << "the mark ends left of the label's first letter";
            EXPECT_EQ(columns(menu, r, false), ink) << "the label's ink is all still there";
        };

        const PointT<double> title = scene.file->GetAbsolutePosition();
        scene.To(title.x + 20, title.y + 12);
        scene.input.Click(1);
        ASSERT_TRUE(TurnUntil([&] { return scene.file->IsDroppedDown(); }));
        scene.To(300, 200);  // off the rows
        check(*scene.popup, 1, WString(u"Reload"), "file");
        scene.input.Click(1);
        ASSERT_TRUE(TurnUntil([&] { return !scene.file->IsDroppedDown(); }));

        RCPtr<LControl> exit = scene.main->FindChildByName(u"buttonExit");
        scene.To(exit->GetAbsolutePosition().x + 40, exit->GetAbsolutePosition().y + 8);
        scene.input.Click(3);
        ASSERT_TRUE(TurnUntil([&] { return bool(exit->FindChildByName(u"contextMenu")); }));
        auto context = RCPtrDynamicCast<LPopupMenu>(exit->FindChildByName(u"contextMenu"));
        scene.To(300, 200);
        Settle();
        check(*context, 0, WString(u"Copy Device Information"), "context");
        scene.input.Click(1);
        EXPECT_TRUE(TurnUntil([&] { return !bool(exit->FindChildByName(u"contextMenu")); }));
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_EQ(code, 0);
}
