// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/FrameworkControlClasses.h"
#include "Controls/TextBox.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cmath>

using namespace Tavo;
using WidgetWindow::TurnUntil;

namespace {

// Keysyms the test types: one of Latin-1, one of the basic plane beyond it
// and one beyond the basic plane.
constexpr unsigned long kTyped[] = {XK_eacute, 0x1004E2D, 0x101F600};
const std::u16string kTypedText = u"\u00e9\u4e2d\U0001F600";

// Puts the typed keysyms on keycodes nothing uses, before any client reads
// the keyboard map.
void MapTypedKeysyms()
{
    Display* d = XOpenDisplay(TestXServer().Name().c_str());
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(d, &low, &high);
    KeySym* map = XGetKeyboardMapping(d, ::KeyCode(low), high - low + 1, &perCode);
    size_t next = 0;
    for (int code = high; code >= low && next < std::size(kTyped); --code) {
        bool unused = true;
        for (int i = 0; i < perCode; ++i)
            unused = unused && map[(code - low) * perCode + i] == NoSymbol;
        if (!unused)
            continue;
        KeySym sym = kTyped[next++];
        XChangeKeyboardMapping(d, code, 1, &sym, 1);
    }
    XFree(map);
    XSync(d, False);
    XCloseDisplay(d);
}

}  // namespace

TEST(TextBoxWindowTest, TakesTypedTextThroughTheInputMethodAndAPasteFromAnotherClient)
{
    ASSERT_TRUE(TestXServer().Running());
    MapTypedKeysyms();
    std::u16string shown;
    auto script = [&](WidgetWindow::App& app, OSWindow& window) {
        const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
        const RCPtr<LTextBox> box = RCPtrDynamicCast<LTextBox>(main->FindChildByName(u"text"));
        ASSERT_TRUE(box);
        ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
        const Platform::Window::Rect client = WindowHost::System()->GetClientRect(window.GetWindowId());
        XInput input;
        input.MoveTo(client.x + 20, client.y + 20);
        input.Click(1);
        ASSERT_TRUE(TurnUntil([&] { return box->HasFocus(); }));
        for (unsigned long keysym : kTyped)
            input.Key(keysym);
        TurnUntil([&] { return box->GetTextLength() >= int32_t(kTypedText.size()); });
        XClipboardOwner owner(" pasted \xc3\xbc ", true);
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_EDIT_PASTE_REQ"));
        TurnUntil([&] {
            app.ProcessNotifications(true);
            return box->GetTextLength() > int32_t(kTypedText.size());
        });
        shown = box->GetText().c_str();
        // The caret, after a space, is white on the dark focused look.
        const PointT<double> at = box->GetAbsolutePosition();
        const RectT<float>& caret = box->GetCaretRect();
        const int32_t x = int32_t(std::lround(at.x + caret.x - box->GetScrollOffset().x));
        // It blinks: wait for a shown phase rather than for a moment.
        EXPECT_TRUE(TurnUntil(
            [&] {
                return TestXServer()
                           .ReadPixels(window.GetWindowId(), {x, int32_t(at.y + caret.y) + 4, 1, 1})
                           .at(0) == 0xFFFFFFu;
            },
            20000));
        TestXServer().Screenshot("text-box");
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    };
    EXPECT_EQ(WidgetWindow::Run(TAVO_SOURCE_DIR "/tests/TavoFramework/Controls/TextWidgetsSkin.xml",
                                FrameworkControlClasses(), script),
              0);
    EXPECT_EQ(shown, kTypedText + u" pasted \u00fc ");
}
