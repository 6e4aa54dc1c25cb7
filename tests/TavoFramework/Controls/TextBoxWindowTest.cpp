// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/FrameworkControlClasses.h"
#include "Controls/TextBox.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <filesystem>
#include <poll.h>
#include <thread>

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

// Another client holding CLIPBOARD with a text, answering requests for it
// from its own thread until it is destroyed.
class ClipboardOwner
{
public:
    explicit ClipboardOwner(const std::string& utf8) : mText(utf8)
    {
        mDisplay = XOpenDisplay(TestXServer().Name().c_str());
        mWindow = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 1, 1, 0, 0, 0);
        mClipboard = XInternAtom(mDisplay, "CLIPBOARD", False);
        mUtf8 = XInternAtom(mDisplay, "UTF8_STRING", False);
        mTargets = XInternAtom(mDisplay, "TARGETS", False);
        XSetSelectionOwner(mDisplay, mClipboard, mWindow, CurrentTime);
        XSync(mDisplay, False);
        mThread = std::thread([this] { Serve(); });
    }
    ~ClipboardOwner()
    {
        mStop = true;
        mThread.join();
        XDestroyWindow(mDisplay, mWindow);
        XCloseDisplay(mDisplay);
    }
    bool Owns() { return XGetSelectionOwner(mDisplay, mClipboard) == mWindow; }

private:
    void Serve()
    {
        pollfd fd{ConnectionNumber(mDisplay), POLLIN, 0};
        while (!mStop) {
            poll(&fd, 1, 20);
            while (XPending(mDisplay) > 0) {
                XEvent e;
                XNextEvent(mDisplay, &e);
                if (e.type == SelectionRequest)
                    Answer(e.xselectionrequest);
            }
        }
    }
    void Answer(const XSelectionRequestEvent& request)
    {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        reply.property = request.property ? request.property : request.target;
        if (request.target == mTargets) {
            const Atom offered[] = {mTargets, mUtf8};
            XChangeProperty(mDisplay, request.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 2);
        } else if (request.target == mUtf8) {
            XChangeProperty(mDisplay, request.requestor, reply.property, mUtf8, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(mText.data()), int(mText.size()));
        } else {
            reply.property = None;
        }
        XSendEvent(mDisplay, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(mDisplay);
    }

    std::string mText;
    Display* mDisplay = nullptr;
    Window mWindow = 0;
    Atom mClipboard = 0, mUtf8 = 0, mTargets = 0;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

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
        ClipboardOwner owner(" pasted \xc3\xbc");
        ASSERT_TRUE(owner.Owns());
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_EDIT_PASTE_REQ"));
        TurnUntil([&] {
            app.ProcessNotifications(true);
            return box->GetTextLength() > int32_t(kTypedText.size());
        });
        shown = box->GetText().c_str();
        TurnUntil([] { return false; }, 5);
        TestXServer().Screenshot("text-box");
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    };
    EXPECT_EQ(WidgetWindow::Run(TAVO_SOURCE_DIR "/tests/TavoFramework/Controls/TextWidgetsSkin.xml",
                                FrameworkControlClasses(), script),
              0);
    EXPECT_EQ(shown, kTypedText + u" pasted \u00fc");
}
