// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "tests/Common/NotificationRecorder.h"
#include "tests/TavoFramework/Window/Native/WindowAppSupport.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

using namespace WindowAppTests;

namespace {

// Sides of the modifiers held (the sides field of a key).
constexpr uint32_t kLeftShiftSide = 0x1, kRightShiftSide = 0x2, kRightCtrlSide = 0x8, kLeftAltSide = 0x10;

// A key record as the test control writes it down.
std::string KeyLine(uint32_t code, uint32_t sides, bool previous)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "key %08x %x %d", code, sides, int(previous));
    return buffer;
}

uint32_t ReleaseCode(uint32_t virtualKey, uint32_t modifierBits = 0)
{
    return Tavo::KeyCode::PressCode(virtualKey, modifierBits) & ~Tavo::KeyCode::kKeyDown;
}

TEST_F(WindowAppTest, OpensWithTitleSizeClassPaintsAndRepaintsOnlyWhatIsDirty)
{
    Run([](WindowApp& app, OSWindow& window) {
        Display* d = TestXServer().Connection();
        const unsigned long id = window.GetWindowId();
        XClassHint hint{};
        ASSERT_TRUE(XGetClassHint(d, id, &hint));
        EXPECT_STREQ(hint.res_class, "TestApp");
        XFree(hint.res_name);
        XFree(hint.res_class);
        GetOSRootWindow(app.GetRootWindows().front())->SetTitle(u"Zenta \u00dc");
        WindowHost::System()->Sync();
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* title = nullptr;
        XGetWindowProperty(d, id, XInternAtom(d, "_NET_WM_NAME", False), 0, 64, False, AnyPropertyType, &type,
                           &format, &count, &after, &title);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(title), count), "Zenta \xc3\x9c");
        XFree(title);
        const Platform::Window::Rect client = WindowHost::System()->GetClientRect(id);
        EXPECT_EQ(client.width, 300);
        EXPECT_EQ(client.height, 200);

        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() >= 1; }));
        EXPECT_EQ(PixelAt(id, 150, 100), 0x2060A0u);

        // An invalidated rectangle is drawn and copied; the rest stays.
        PaintingControl::colour = 0xC03020;
        const uint32_t before = window.GetPaintCount();
        const RCPtr<LControl> root = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
        root->InvalidateLocalRect(RectT<double>{10, 10, 20, 20}, true);
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() > before; }));
        EXPECT_EQ(PixelAt(id, 15, 15), 0xC03020u);
        EXPECT_EQ(PixelAt(id, 150, 100), 0x2060A0u);

        // Uncovered parts come back from the window surface without a paint.
        const Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 400, 0, 0, 0xFFFFFF);
        XMapRaised(d, cover);
        XSync(d, False);
        XDestroyWindow(d, cover);
        XSync(d, False);
        const uint32_t painted = window.GetPaintCount();
        TurnUntil([&] { return PixelAt(id, 150, 100) == 0x2060A0u; });
        EXPECT_EQ(PixelAt(id, 150, 100), 0x2060A0u);
        EXPECT_EQ(PixelAt(id, 15, 15), 0xC03020u);
        EXPECT_EQ(window.GetPaintCount(), painted);
        TestXServer().Screenshot("window-app");
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_TRUE(Rec().Has("can-exit:yes"));
}

TEST_F(WindowAppTest, InjectedInputArrivesAsTheNativeWindowsSequences)
{
    Run([](WindowApp&, OSWindow& window) {
        const unsigned long id = window.GetWindowId();
        ASSERT_TRUE(TurnUntil([&] { return window.IsActive(); }));
        const Platform::Window::Rect client = WindowHost::System()->GetClientRect(id);
        XInput input;
        input.MoveTo(client.x + 40, client.y + 50);
        Settle();
        Log().clear();
        input.Click(1);
        input.Click(1);                               // a double click: a second press
        input.Press(1);                               // a drag with the button held
        input.MoveTo(client.x + 400, client.y + 60);  // out of the window: the capture holds
        input.Release(1);
        input.MoveTo(client.x + 40, client.y + 50);
        input.Click(4);
        input.Click(7);
        input.Key(XK_x, {XK_Alt_L});
        input.Key(XK_a, {XK_Shift_R});
        Settle();
        const std::vector<std::string> expected = {
            "down 1 40,50 0 0 held 1",
            "up 1 40,50 0 0 held 0",
            "down 1 40,50 0 1 held 1",
            "up 1 40,50 0 1 held 0",
            "down 1 40,50 0 0 held 1",
            "move 400,60",
            "up 1 400,60 0 0 held 0",
            "wheel 1",
            "wheel 3",
            // Alt and Shift arrive as the generic keys with their side.
            KeyLine(Tavo::KeyCode::PressCode(VKey::kMenu, Tavo::KeyCode::kAlt), kLeftAltSide, false),
            KeyLine(Tavo::KeyCode::PressCode('X', Tavo::KeyCode::kAlt), kLeftAltSide, false),
            KeyLine(ReleaseCode('X', Tavo::KeyCode::kAlt), kLeftAltSide, true),
            KeyLine(ReleaseCode(VKey::kMenu), 0, true),
            KeyLine(Tavo::KeyCode::PressCode(VKey::kShift, Tavo::KeyCode::kShift), kRightShiftSide, false),
            KeyLine(Tavo::KeyCode::PressCode('A', Tavo::KeyCode::kShift), kRightShiftSide, false),
            KeyLine(Tavo::KeyCode::kShift | 'A', 0, false),  // the character
            KeyLine(ReleaseCode('A', Tavo::KeyCode::kShift), kRightShiftSide, true),
            KeyLine(ReleaseCode(VKey::kShift), 0, true),
        };
        EXPECT_EQ(Log(), expected);

        // Tab past the last control goes round within the only window.
        Log().clear();
        input.Key(XK_Tab);
        Settle();
        EXPECT_EQ(Log().at(1), "focus first");
        // Alt+F4 is the close command: the application is asked to end.
        input.Key(XK_F4, {XK_Alt_L});
    });
    EXPECT_TRUE(Rec().Has("can-exit:yes"));
}

// A key bound in the main control's string table reaches the window's own
// listeners; one bound in the application's table the main center, both
// with the key as their data.
TEST_F(WindowAppTest, ModifierKeysFireTheirHotKeysAtTheirLevel)
{
    std::ofstream(mDir / "res/StringTables.xml")
        << "<Root><Application Name=\"TestApp\">"
        << "<StringTable ID=\"|TestApp\"><String ID=\"GHK.NID_APP_CTRL\">"
        << "<Locale LCID=\"0x0009\">Ctrl+VKEY_CONTROL</Locale></String></StringTable>"
        << "<StringTable ID=\"TestApp|mainControl\"><String ID=\"GHK.NID_SHIFT_KEY\">"
        << "<Locale LCID=\"0x0009\">VKEY_SHIFT</Locale></String></StringTable>"
        << "</Application></Root>";
    Run([](WindowApp& app, OSWindow& window) {
        ASSERT_TRUE(TurnUntil([&] { return window.IsActive(); }));
        LOSRootWindow* root = GetOSRootWindow(app.GetRootWindows().front());
        RCPtr<Tavo::Recorder> windowListener(new Tavo::Recorder), centerListener(new Tavo::Recorder);
        windowListener->Listen(RCPtr<LOSRootWindow>(root), {u"NID_SHIFT_KEY", u"NID_APP_CTRL"});
        centerListener->Listen(GetMainNotificationCenter(), {u"NID_SHIFT_KEY", u"NID_APP_CTRL"});
        Log().clear();
        XInput input;
        input.Key(XK_Shift_L);
        input.Key(XK_Control_R);
        ASSERT_TRUE(TurnUntil([&] {
            app.ProcessNotifications(true);
            return windowListener->names.size() + centerListener->names.size() >= 2;
        }));
        EXPECT_EQ(windowListener->names, std::vector<std::u16string>{u"NID_SHIFT_KEY"});
        EXPECT_EQ(centerListener->names, std::vector<std::u16string>{u"NID_APP_CTRL"});
        const auto* key = dynamic_cast<const LKeyParam*>(centerListener->data.Get());
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->mKey.code, Tavo::KeyCode::PressCode(VKey::kControl, Tavo::KeyCode::kCtrl));
        const std::vector<std::string> expected = {
            KeyLine(Tavo::KeyCode::PressCode(VKey::kShift, Tavo::KeyCode::kShift), kLeftShiftSide, false),
            KeyLine(ReleaseCode(VKey::kShift), 0, true),
            KeyLine(Tavo::KeyCode::PressCode(VKey::kControl, Tavo::KeyCode::kCtrl), kRightCtrlSide, false),
            KeyLine(ReleaseCode(VKey::kControl), 0, true),
        };
        std::vector<std::string> keys;
        std::copy_if(Log().begin(), Log().end(), std::back_inserter(keys),
                     [](const std::string& line) { return line.rfind("key ", 0) == 0; });
        EXPECT_EQ(keys, expected);
        windowListener->RemoveAllHandlers();
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_TRUE(Rec().Has("can-exit:yes"));
}

// A frame drawn while the renderer marks its state for a whole redraw
// draws nothing and asks for the whole window instead.
TEST_F(WindowAppTest, APaintUnderTheRedrawAllMarkOnlyInvalidatesTheWindow)
{
    PaintingControl::colour = 0x2060A0;
    Run([](WindowApp& app, OSWindow& window) {
        const unsigned long id = window.GetWindowId();
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() >= 1; }));
        ASSERT_EQ(PixelAt(id, 200, 150), 0x2060A0u);
        PaintingControl::colour = 0xE0C010;
        window.GetRenderContext()->state.redrawAll = true;
        const uint32_t before = window.GetPaintCount();
        const RCPtr<LControl> root = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
        root->InvalidateLocalRect(RectT<double>{10, 10, 20, 20}, true);
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() > before; }));
        EXPECT_EQ(PixelAt(id, 15, 15), 0x2060A0u);  // nothing drawn
        window.GetRenderContext()->state.redrawAll = false;
        const uint32_t marked = window.GetPaintCount();
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() > marked; }));
        EXPECT_EQ(PixelAt(id, 15, 15), 0xE0C010u);
        EXPECT_EQ(PixelAt(id, 290, 190), 0xE0C010u);  // the whole window, not only the rectangle
        PaintingControl::colour = 0x2060A0;
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

TEST_F(WindowAppTest, AnApplicationThatRefusesToEndKeepsItsWindowAndThePlacementIsKept)
{
    const int32_t code = Run(
        [](WindowApp& app, OSWindow& window) {
            Display* d = TestXServer().Connection();
            XEvent close{};
            close.xclient.type = ClientMessage;
            close.xclient.window = window.GetWindowId();
            close.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            close.xclient.format = 32;
            close.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
            XSendEvent(d, window.GetWindowId(), False, NoEventMask, &close);
            XSync(d, False);
            TurnUntil([] { return Rec().Has("can-exit:no"); });
            app.ProcessNotifications(true);
            EXPECT_TRUE(Rec().Has("can-exit:no"));
            EXPECT_TRUE(WindowHost::System()->IsShown(window.GetWindowId()));
            window.MoveWindow(WindowRect{60, 70, 300, 200});
            app.canExit = true;
            XSendEvent(d, window.GetWindowId(), False, NoEventMask, &close);
            XSync(d, False);
        },
        false);
    EXPECT_EQ(code, 0);
    const auto placement = Platform::App::ReadWindowPlacement(*mProfile, "TestApp");
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->at(28), 60);  // the frame's left edge, as stored at the close
    EXPECT_EQ(placement->at(32), 70);
    // The next run starts where the last one ended.
    Run([](WindowApp&, OSWindow& window) {
        EXPECT_EQ(WindowHost::System()->GetClientRect(window.GetWindowId()).x, 60);
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

TEST_F(WindowAppTest, SplashUntilTheWindowShowsIconRedrawNowAndFurtherWindows)
{
    WritePng(mDir / "res/Splash.png", 120, 0xFF336699);
    WritePng(mDir / "res/Icon.png", 16, 0xFFE8A317);
    // Further windows: a dialog, and a control whose own limits bound its window.
    std::ofstream(mDir / "res/Skins.xml")
        << "<R><Skins><Skin Name=\"S0\" FontName=\"Face0\" FontSize=\"8.25\" FontStyle=\"0\">"
        << "<SubControl Class=\"Test.Main\" Name=\"mainControl\" XPositionAbs=\"10\" YPositionAbs=\"20\""
        << " XSizeAbs=\"300\" YSizeAbs=\"200\"/>"
        << "<SubControl Class=\"Test.Main\" Name=\"dialog\" XPositionAbs=\"-50\" YPositionAbs=\"40\""
        << " XSizeAbs=\"160\" YSizeAbs=\"120\"/>"
        << "<SubControl Class=\"Test.Main\" Name=\"limited\" XSizeAbs=\"300\" YSizeAbs=\"200\""
        << " XMinSizeToControl=\"Self\" XMinSizeAbs=\"200\" YMinSizeToControl=\"Self\" YMinSizeAbs=\"100\""
        << " XMaxSizeToControl=\"Self\" XMaxSizeAbs=\"400\" YMaxSizeToControl=\"Self\" YMaxSizeAbs=\"300\"/>"
        << "</Skin></Skins></R>";
    bool splashWhileStarting = false;
    mOnCreate = [&](FrameworkAppShell& shell) { splashWhileStarting = shell.HasSplashScreen(); };
    Run([](WindowApp& app, OSWindow& window) {
        EXPECT_FALSE(app.GetShell().HasSplashScreen());
        const std::vector<long> icon = LongProperty(window.GetWindowId(), "_NET_WM_ICON");
        ASSERT_EQ(icon.size(), 2u + 16u * 16u);
        EXPECT_EQ(icon[0], 16);
        EXPECT_EQ(uint32_t(icon[2 + 16 * 8 + 8]), 0xFFE8A317u);

        // Redrawn and on the display before the call returns: no loop turn.
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() >= 1; }));
        PaintingControl::colour = 0x10C020;
        LOSRootWindow* root = GetOSRootWindow(app.GetRootWindows().front());
        root->RedrawAll();
        EXPECT_EQ(PixelAt(window.GetWindowId(), 290, 190), 0x10C020u);

        EXPECT_EQ(app.CreateTopLevelWindow(nullptr, {u"dialog", false}), 1);
        ASSERT_EQ(app.GetRootWindows().size(), 2u);
        const unsigned long dialog = app.GetRootWindows()[1]->GetNativeHandle();
        Window owner = 0;
        XGetTransientForHint(TestXServer().Connection(), dialog, &owner);
        EXPECT_EQ(owner, window.GetWindowId());
        EXPECT_EQ(WindowHost::System()->GetClientRect(dialog).x, 0);  // moved into the work area
        EXPECT_EQ(ThrownText([&] {
                      app.CreateTopLevelWindow(nullptr, {u"nothing", false});
                  }),
                  "Runtime Error : Null Pointer : Invalid Control Name : "
                  "Tavo::LApplicationBase<class LApplication>::CreateRootWindow : "
                  "Application/ApplicationBaseWin : Line 1001");

        // The client size while the frame is dragged: the root control's own limits.
        LOSRootWindow* dialogRoot = GetOSRootWindow(app.GetRootWindows()[1]);
        dialogRoot->SetRootControl(app.CreateControl(u"limited"));
        const struct
        {
            PointT<int32_t> proposed, accepted;
            int32_t changed;
        } rows[] = {{{100, 50}, {200, 100}, 1}, {{500, 900}, {400, 300}, 1}, {{250, 150}, {250, 150}, 0}};
        for (const auto& row : rows) {
            PointT<int32_t> size = row.proposed;
            EXPECT_EQ(dialogRoot->ConstrainClientSize(size), row.changed);
            EXPECT_EQ(size, row.accepted);
        }

        // A modal window ends with the result its root window asks for and goes.
        Platform::App::MainMessageLoop().Post(
            [&app] { app.GetRootWindows().back()->RequestEndModalLoop(7); });
        EXPECT_EQ(app.RunModalWindow(nullptr, {u"dialog", true}), 7);
        EXPECT_EQ(app.GetRootWindows().size(), 2u);
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_TRUE(splashWhileStarting);
}

// A second copy of the program hands its command line to the first, whose
// window comes to the front through the window manager's activation request.
TEST_F(WindowAppTest, SecondCopyBringsTheFirstWindowToTheFront)
{
    RunAsTestProgram();
    Run([](WindowApp&, OSWindow& window) {
        Display* d = TestXServer().Connection();
        // On the server: the window counts the focus as its own once it asked.
        ASSERT_TRUE(TurnUntil([&] { return FocusOnServer() == window.GetWindowId(); }));
        // Another program's window takes the focus.
        const Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 500, 400, 0, 0, 0);
        XMapRaised(d, other);
        XSetInputFocus(d, other, RevertToParent, CurrentTime);
        XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
        XSync(d, False);
        ASSERT_TRUE(TurnUntil([&] { return !window.IsActive(); }));

        char self[4096] = {};
        ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
        const std::string program = std::filesystem::path(self).parent_path() / "tavo_test_app";
        const char* argv[] = {program.c_str(), "-SECOND", nullptr};
        pid_t pid = 0;
        std::vector<std::string> env = CleanEnvironment(CopyEnvironment());
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv),
                              CStrings(env).data()),
                  0);
        int status = -1;
        // The other process starts at its own pace: wait for it by the clock.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        bool received = false;
        while (!received && std::chrono::steady_clock::now() < deadline)
            received = TurnUntil([&] { return !Rec().secondCommandLines.empty(); }, 1);
        if (!received)
            kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        ASSERT_TRUE(received);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(Rec().secondCommandLines.at(0), program + " -SECOND");

        // The request went out before the focus: once the server reports the
        // focus over this connection, the request is in its queue too.
        ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && FocusOnServer() == window.GetWindowId(); }));
        XEvent e;
        bool asked = false;
        while (XCheckTypedEvent(d, ClientMessage, &e))
            asked |= e.xclient.message_type == XInternAtom(d, "_NET_ACTIVE_WINDOW", False) &&
                     e.xclient.window == window.GetWindowId();
        EXPECT_TRUE(asked);
        XSelectInput(d, DefaultRootWindow(d), NoEventMask);
        XDestroyWindow(d, other);
        XSync(d, False);
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

}  // namespace
