// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "ControlBase/Control.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/App/SingleInstance.h"
#include "Platform/Graphics/Graphics.h"
#include "Window/InputParams.h"
#include "Window/Native/DesktopHooks.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"
#include "Window/RootWindow.h"
#include "tests/Common/TestScope.h"
#include "tests/Common/XServer.h"
#include "tests/TavoFramework/Application/AppTestSupport.h"

#include "tests/Common/ThrownText.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <chrono>
#include <fstream>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace Tavo;
using namespace AppTest;

namespace {

std::vector<std::string>& Log()
{
    static auto* log = new std::vector<std::string>;
    return *log;
}

// A control that fills itself with one colour and writes down its input.
class PaintingControl : public LControl
{
public:
    using LControl::LControl;
    static uint32_t colour;

    TavoResult Draw(LRenderer* renderer, const RectRegion&, std::vector<RCPtr<LControl>>&, bool) override
    {
        const float r = float((colour >> 16) & 0xFF) / 255.0f, g = float((colour >> 8) & 0xFF) / 255.0f,
                    b = float(colour & 0xFF) / 255.0f;
        renderer->FillRect(RectT<int32_t>{0, 0, 4096, 4096}, ColorRGBA(r, g, b, 1.0f), false);
        return S_OK;
    }
    RCPtr<LControl> HitTest(const PointT<int32_t>& point, PointT<int32_t>& local, bool, int32_t&) override
    {
        local = point;
        return RCPtr<LControl>(this);
    }
    TavoResult SetFocus(bool first) override
    {
        Log().push_back(first ? "focus first" : "focus last");
        if (LRootWindow* root = GetRootWindow())
            root->SetFocusControl(RCPtr<LControl>(this));
        return S_OK;
    }
    TavoResult UITarget_MouseDown(const RCPtr<LMouseButtonParam>& p) override
    {
        Add("down %u %d,%d %u %d held %u", p->mButton, p->mX, p->mY, p->mModifiers, int(p->mDoubleClick),
            p->mButtonsHeld);
        // Presses take the capture, as the control base does.
        if (LRootWindow* root = GetRootWindow())
            root->SetCaptureControl(RCPtr<LControl>(this));
        return S_OK;
    }
    TavoResult UITarget_MouseUp(const RCPtr<LMouseButtonParam>& p) override
    {
        Add("up %u %d,%d %u %d held %u", p->mButton, p->mX, p->mY, p->mModifiers, int(p->mDoubleClick),
            p->mButtonsHeld);
        if (p->mButtonsHeld == 0)
            UITarget_ReleaseCapture();
        return S_OK;
    }
    TavoResult UITarget_MouseMove(const RCPtr<LPointWithModifiersParam>& p) override
    {
        if (p->mX >= 300)  // only the drag out of the window
            Add("move %d,%d", p->mX, p->mY);
        return S_OK;
    }
    TavoResult UITarget_WheelVertical(const RCPtr<LMouseWheelParam>& p) override
    {
        Add("wheel %u", p->mDirection);
        return S_OK;
    }
    TavoResult UITarget_WheelHorizontal(const RCPtr<LMouseWheelParam>& p) override
    {
        Add("wheel %u", p->mDirection);
        return S_OK;
    }
    TavoResult UITarget_Key(const RCPtr<LKeyParam>& key) override
    {
        Add("key %08x %x %d", key->mKey.code, key->mKey.sides, int(key->mKey.previousState));
        LRootWindow* root = GetRootWindow();
        if (key->IsKeyPress(0x09) && root)
            return root->MoveFocusToNextWindow(key);
        // Unhandled: the window's hot keys, then the program's.
        if (root && root->ProcessHotKey(key->mKey) == S_FALSE)
            GetFrameworkApp()->DispatchGlobalHotKey(key->mKey);
        return S_FALSE;
    }

    template <typename... A>
    static void Add(const char* format, A... args)
    {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, format, args...);
        Log().push_back(buffer);
    }
};
uint32_t PaintingControl::colour = 0x2060A0;

const ControlClassRow kWindowClasses[] = {{u"Test.Main", &LControl::CreateT<PaintingControl>, 11}};

class WindowApp : public TestApp
{
public:
    using TestApp::TestApp;
    std::span<const ControlClassRow> GetControlClassTable() override { return kWindowClasses; }
};

class WindowAppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestXServer().Running());
        Rec() = Recorder();
        Log().clear();
        WriteResources(mDir / "res", false, 1);
        mUserData = std::make_unique<ScopedEnv>("TAVO_USER_APPDATA_DIR", mDir / "user");
        mCommonData = std::make_unique<ScopedEnv>("TAVO_COMMON_APPDATA_DIR", mDir / "common");
    }

    // Runs the application; script runs on the loop once the window shows.
    int32_t Run(std::function<void(WindowApp&, OSWindow&)> script, bool canExit = true)
    {
        AppShellOptions options;
        options.applicationName = u"TestApp";
        options.profile = mProfile;
        options.createSingleInstance = [](const std::string& name) {
            return std::make_unique<Platform::App::FakeSingleInstance>(name);
        };
        options.hooks = DesktopPlatformHooks();
        if (mCustomize)
            mCustomize(options);
        options.createApplication = [&](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                        const RCPtr<LStringTable>& strings, const WString& line) {
            auto* app = new WindowApp(shell, factory, strings, line);
            app->canExit = canExit;
            if (mOnCreate)
                mOnCreate(shell);
            app->onLoop = [app, script] {
                Platform::App::MainMessageLoop().Post(
                    [app, script] { script(*app, *static_cast<OSWindow*>(app->GetMainWindow())); });
            };
            return RCPtr<LApplicationBase>(app);
        };
        TestShell shell(std::move(options), "TestApp", mDir / "res");
        // Nothing may hang the test program: the loop ends after 20 s at most.
        Platform::App::MainMessageLoop().SetTimer(
            0x5E5E, 20000, [](uint32_t) { Platform::App::MainMessageLoop().PostQuit(99); });
        const int32_t code = shell.Main(9);
        Platform::App::MainMessageLoop().KillTimer(0x5E5E);
        return code;
    }

    TestFolder mDir;
    std::unique_ptr<ScopedEnv> mUserData, mCommonData;
    std::function<void(AppShellOptions&)> mCustomize;
    std::function<void(FrameworkAppShell&)> mOnCreate;
    std::shared_ptr<Platform::App::MemoryProfileStore> mProfile =
        std::make_shared<Platform::App::MemoryProfileStore>();
};

// Turns the loop until the condition holds; false after many turns.
bool TurnUntil(const std::function<bool()>& done, int turns = 400)
{
    Platform::Window::IWindowSystem* system = WindowHost::System();
    for (int i = 0; i < turns && !done(); ++i) {
        system->Sync();
        Platform::Window::Event e;
        while (system->NextEvent(e))
            WindowHost::Dispatch(e);
        // The loop's own posted work (paints) runs in a nested turn.
        Platform::App::MainMessageLoop().Post([] { Platform::App::MainMessageLoop().PostQuit(0); });
        Platform::App::MainMessageLoop().Run();
    }
    return done();
}

void Settle()
{
    TurnUntil([] { return false; }, 3);
}

uint32_t PixelAt(unsigned long window, int32_t x, int32_t y)
{
    return TestXServer().ReadPixels(window, {x, y, 1, 1}).at(0);
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
            "key 24a40000 10 0",
            "key 24580000 10 0",
            "key 04580000 10 1",
            "key 00a40000 0 1",
            "key 22a10000 2 0",
            "key 22410000 2 0",
            "key 02000041 0 0",
            "key 02410000 2 1",
            "key 00a10000 0 1",
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

void WritePng(const std::filesystem::path& path, int32_t size, uint32_t argb)
{
    Platform::Graphics::Surface surface(size, size);
    surface.Fill(0, 0, size, size, argb);
    cairo_surface_write_to_png(surface.Native(), path.c_str());
}

std::vector<long> LongProperty(unsigned long window, const char* name)
{
    Display* d = TestXServer().Connection();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, window, XInternAtom(d, name, False), 0, 4096, False, AnyPropertyType, &type,
                       &format, &count, &after, &data);
    std::vector<long> values;
    if (data)
        values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    XFree(data);
    return values;
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
    ScopedEnv runtime("TAVO_RUNTIME_DIR", mDir / "run");
    ScopedEnv resources("TAVO_TEST_RESOURCES", mDir / "res");
    mCustomize = [](AppShellOptions& options) {
        // The name the test program's copies use.
        options.applicationName = u"TavoTestApp";
        options.createSingleInstance = [](const std::string& name) {
            return std::make_unique<Platform::App::SingleInstance>(name);
        };
    };
    Run([](WindowApp&, OSWindow& window) {
        Display* d = TestXServer().Connection();
        ASSERT_TRUE(TurnUntil([&] { return window.IsActive(); }));
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
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
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

        ASSERT_TRUE(TurnUntil([&] { return window.IsActive(); }));
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
