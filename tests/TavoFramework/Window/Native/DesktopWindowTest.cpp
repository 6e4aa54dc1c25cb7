// The main window on a desktop: a window manager (openbox), screen changes
// through RandR and the login manager's sleep notices on a system bus of
// the test's own (dbus-daemon).

// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "tests/TavoFramework/Window/Native/WindowAppSupport.h"
#include "tests/Common/Openbox.h"
#include "tests/Common/SystemBus.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>

using namespace WindowAppTests;

namespace {

std::string ProgramFolder()
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return ".";
    return std::filesystem::path(self).parent_path().string();
}

// Started once, before the program's first window, and stopped at exit.
SystemBus& TestSystemBus()
{
    static SystemBus bus;
    if (bus.Running())
        setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.Address().c_str(), 1);
    return bus;
}

// The login manager's side of the bus: owns its name and announces sleep.
class LoginManager
{
public:
    LoginManager()
    {
        if (sd_bus_open_system(&mBus) < 0 || sd_bus_request_name(mBus, "org.freedesktop.login1", 0) < 0)
            mBus = sd_bus_flush_close_unref(mBus);
    }
    ~LoginManager() { sd_bus_flush_close_unref(mBus); }
    bool Connected() const { return mBus != nullptr; }
    void PrepareForSleep(bool sleeping)
    {
        sd_bus_emit_signal(mBus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           "PrepareForSleep", "b", int(sleeping));
        sd_bus_flush(mBus);
    }

private:
    sd_bus* mBus = nullptr;
};

Atom AtomOf(const char* name)
{
    return XInternAtom(TestXServer().Connection(), name, False);
}

std::vector<long> RootProperty(const char* name)
{
    Display* d = TestXServer().Connection();
    return LongProperty(DefaultRootWindow(d), name);
}

// Turns the loop until the condition holds; the window manager and the
// server are other processes that take their time, so the wait is by the
// clock. False after the deadline.
bool TurnWhileWaitingFor(const std::function<bool()>& done, int seconds = 10)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!TurnUntil(done, 1)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}

// The window manager's view of the active window.
bool ManagerActivated(unsigned long window)
{
    const std::vector<long> active = RootProperty("_NET_ACTIVE_WINDOW");
    return !active.empty() && (unsigned long)(active[0]) == window;
}

bool Has(const std::vector<long>& values, Atom atom)
{
    return std::find(values.begin(), values.end(), long(atom)) != values.end();
}

// The screen's size through RandR: the output goes off while the size
// changes, then shows a mode of the new size.
bool SetScreenSize(int32_t width, int32_t height)
{
    Display* d = TestXServer().Connection();
    const Window root = DefaultRootWindow(d);
    XRRScreenResources* res = XRRGetScreenResources(d, root);
    if (!res || res->ncrtc < 1 || res->noutput < 1)
        return false;
    RRMode mode = 0;
    for (int i = 0; i < res->nmode; ++i) {
        if (int32_t(res->modes[i].width) == width && int32_t(res->modes[i].height) == height)
            mode = res->modes[i].id;
    }
    if (!mode) {
        const std::string name = std::to_string(width) + "x" + std::to_string(height);
        XRRModeInfo* info = XRRAllocModeInfo(name.c_str(), int(name.size()));
        info->width = unsigned(width);
        info->height = unsigned(height);
        mode = XRRCreateMode(d, root, info);
        XRRFreeModeInfo(info);
        XRRAddOutputMode(d, res->outputs[0], mode);
    }
    XRRSetCrtcConfig(d, res, res->crtcs[0], CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
    XRRSetScreenSize(d, root, width, height, width * 254 / 960, height * 254 / 960);
    XSync(d, False);
    XRRScreenResources* now = XRRGetScreenResources(d, root);
    const Status set =
        XRRSetCrtcConfig(d, now, now->crtcs[0], CurrentTime, 0, 0, mode, RR_Rotate_0, now->outputs, 1);
    XRRFreeScreenResources(now);
    XRRFreeScreenResources(res);
    XSync(d, False);
    return set == RRSetConfigSuccess;
}

class DesktopWindowTest : public WindowAppTest
{
protected:
    void SetUp() override
    {
        // Before the first window: the program finds the bus when it connects.
        ASSERT_TRUE(TestSystemBus().Running());
        WindowAppTest::SetUp();
        PaintingControl::colour = 0x2060A0;
    }
};

TEST_F(DesktopWindowTest, AScreenThatShrinksRepaintsTheWholeWindowAndKeepsItOnTheScreen)
{
    Run([](WindowApp&, OSWindow& window) {
        const unsigned long id = window.GetWindowId();
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() >= 1; }));
        window.MoveWindow(WindowRect{900, 700, 300, 200});
        ASSERT_TRUE(TurnUntil([&] { return WindowHost::System()->GetClientRect(id).x == 900; }));
        ASSERT_TRUE(TurnUntil([&] { return PixelAt(id, 150, 100) == 0x2060A0u; }));

        PaintingControl::colour = 0x30B050;
        const uint32_t before = window.GetPaintCount();
        ASSERT_TRUE(SetScreenSize(1024, 768));
        ASSERT_TRUE(TurnUntil([&] {
            const Platform::Window::Rect r = WindowHost::System()->GetClientRect(id);
            return window.GetPaintCount() > before && r.x + r.width <= 1024 && r.y + r.height <= 768;
        }));
        const Platform::Window::Rect moved = WindowHost::System()->GetClientRect(id);
        EXPECT_EQ(moved.x, 1024 - 300);
        EXPECT_EQ(moved.y, 768 - 200);
        TurnUntil([&] { return PixelAt(id, 299, 199) == 0x30B050u; });
        for (const auto& [x, y] : {std::pair{0, 0}, {299, 0}, {0, 199}, {299, 199}, {150, 100}})
            EXPECT_EQ(PixelAt(id, x, y), 0x30B050u) << x << "," << y;

        // Growing again repaints as well, and leaves the window where it is.
        PaintingControl::colour = 0xA04080;
        const uint32_t grown = window.GetPaintCount();
        ASSERT_TRUE(SetScreenSize(1280, 1024));
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() > grown; }));
        TurnUntil([&] { return PixelAt(id, 150, 100) == 0xA04080u; });
        EXPECT_EQ(PixelAt(id, 0, 0), 0xA04080u);
        EXPECT_EQ(WindowHost::System()->GetClientRect(id).x, 1024 - 300);
        TestXServer().Screenshot("desktop-screen-changed");
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

// Sets the desktop's work area on the root window as a window manager with
// a panel would; an empty list removes it.
void SetWorkArea(const std::vector<long>& area)
{
    Display* d = TestXServer().Connection();
    if (area.empty())
        XDeleteProperty(d, DefaultRootWindow(d), AtomOf("_NET_WORKAREA"));
    else
        XChangeProperty(d, DefaultRootWindow(d), AtomOf("_NET_WORKAREA"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(area.data()), int(area.size()));
    XSync(d, False);
}

TEST_F(DesktopWindowTest, ATopControlIsPlacedOnTheWorkAreaTheClientAreaAndThePointer)
{
    // Placed against the screen (the work area), the client area and the
    // pointer (any name stands for it at the top).
    std::ofstream(mDir / "res/Skins.xml")
        << "<R><Skins><Skin Name=\"S0\" FontName=\"Face0\" FontSize=\"8.25\" FontStyle=\"0\">"
        << "<SubControl Class=\"Test.Main\" Name=\"mainControl\" XPositionAbs=\"10\" YPositionAbs=\"20\""
        << " XSizeAbs=\"300\" YSizeAbs=\"200\"/>"
        << "<SubControl Class=\"Test.Main\" Name=\"onScreen\" XPositionToControl=\"Screen\" "
           "XPositionAbs=\"5\""
        << " YPositionToControl=\"Screen\" YPositionAbs=\"6\" XSizeToControl=\"Client\" XSizeRel=\"0.5\""
        << " XSizeAbs=\"0\" YSizeToControl=\"Screen\" YSizeRel=\"1\" YSizeAbs=\"0\"/>"
        << "<SubControl Class=\"Test.Main\" Name=\"atPointer\" XPositionToControl=\"pointer\" "
           "XPositionAbs=\"1\""
        << " YPositionToControl=\"pointer\" YPositionAbs=\"2\" XSizeAbs=\"40\" YSizeAbs=\"30\"/>"
        << "</Skin></Skins></R>";
    Run([](WindowApp& app, OSWindow& window) {
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() >= 1; }));
        const Platform::Window::Rect client = WindowHost::System()->GetClientRect(window.GetWindowId());
        XInput input;
        struct Case
        {
            std::vector<long> workArea;  // empty: the screen
            int32_t areaX, areaY, areaHeight, pointerX, pointerY;
        };
        Display* d = TestXServer().Connection();
        const int32_t screenHeight = DisplayHeight(d, DefaultScreen(d));
        for (const Case& c :
             {Case{{40, 30, 1000, 900}, 40, 30, 900, 37, 23}, Case{{}, 0, 0, screenHeight, -8, 150}}) {
            SCOPED_TRACE(c.areaX);
            SetWorkArea(c.workArea);
            input.MoveTo(client.x + c.pointerX, client.y + c.pointerY);
            input.Sync();
            const RCPtr<LControl> onScreen = app.CreateControl(u"onScreen");
            ASSERT_TRUE(onScreen);
            EXPECT_EQ(onScreen->GetX(), c.areaX + 5);
            EXPECT_EQ(onScreen->GetY(), c.areaY + 6);
            // Sizes give the far edge: half the client width, and the work area's bottom.
            EXPECT_EQ(onScreen->GetWidth(), 150 - (c.areaX + 5));
            EXPECT_EQ(onScreen->GetHeight(), c.areaHeight - 6);
            const RCPtr<LControl> atPointer = app.CreateControl(u"atPointer");
            ASSERT_TRUE(atPointer);
            EXPECT_EQ(atPointer->GetX(), c.pointerX + 1);
            EXPECT_EQ(atPointer->GetY(), c.pointerY + 2);
            EXPECT_EQ(atPointer->GetWidth(), 40);
        }
        TestXServer().Screenshot("desktop-top-control-placement");
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

// A settings manager as a desktop runs one: owns the screen's settings
// selection and publishes one string setting, until destroyed.
class SettingsManager
{
public:
    SettingsManager(const std::string& name, const std::string& value)
    {
        Display* d = TestXServer().Connection();
        mWindow = XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
        auto pad = [](std::vector<unsigned char>& out) {
            while (out.size() % 4)
                out.push_back(0);
        };
        auto card = [](std::vector<unsigned char>& out, uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                out.push_back(uint8_t(v >> (8 * i)));
        };
        // Least significant byte first; serial 1; an integer setting before the string.
        std::vector<unsigned char> bytes{0, 0, 0, 0};
        card(bytes, 1, 4);
        card(bytes, 2, 4);
        const std::string other = "Net/DoubleClickTime";
        bytes.insert(bytes.end(), {0, 0});
        card(bytes, uint32_t(other.size()), 2);
        bytes.insert(bytes.end(), other.begin(), other.end());
        pad(bytes);
        card(bytes, 0, 4);
        card(bytes, 400, 4);
        bytes.insert(bytes.end(), {1, 0});
        card(bytes, uint32_t(name.size()), 2);
        bytes.insert(bytes.end(), name.begin(), name.end());
        pad(bytes);
        card(bytes, 0, 4);
        card(bytes, uint32_t(value.size()), 4);
        bytes.insert(bytes.end(), value.begin(), value.end());
        pad(bytes);
        const Atom settings = AtomOf("_XSETTINGS_SETTINGS");
        XChangeProperty(d, mWindow, settings, settings, 8, PropModeReplace, bytes.data(), int(bytes.size()));
        XSetSelectionOwner(d, AtomOf("_XSETTINGS_S0"), mWindow, CurrentTime);
        XSync(d, False);
    }
    ~SettingsManager()
    {
        Display* d = TestXServer().Connection();
        XDestroyWindow(d, mWindow);
        XSync(d, False);
    }

private:
    Window mWindow = 0;
};

// What fontconfig's own tool answers for the default sans-serif face.
std::string FontconfigAnswer()
{
    std::string out;
    if (FILE* pipe = popen("fc-match -f '%{family[0]}|%{size}' sans-serif", "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

TEST_F(DesktopWindowTest, TheSystemFontIsTheSettingsManagersElseFontconfigsDefault)
{
    Run([](WindowApp& app, OSWindow&) {
        WString face;
        float size = 0;
        int32_t style = -1;
        {
            SettingsManager manager("Gtk/FontName", "DejaVu Serif Bold 11");
            EXPECT_EQ(app.GetSystemFont(face, size, style), S_OK);
            EXPECT_EQ(Utf8(face), "DejaVu Serif");
            EXPECT_EQ(size, 11.0f);
            EXPECT_EQ(style, 1);
        }
        {
            SettingsManager manager("Gtk/FontName", "Noto Sans,Sans Semi-Bold Italic 12px");
            EXPECT_EQ(app.GetSystemFont(face, size, style), S_OK);
            EXPECT_EQ(Utf8(face), "Noto Sans");
            EXPECT_EQ(size, 9.0f);
            EXPECT_EQ(style, 2);
        }
        // No manager any more: fontconfig's default face and size.
        const std::string expected = FontconfigAnswer();
        ASSERT_NE(expected.find('|'), std::string::npos);
        EXPECT_EQ(app.GetSystemFont(face, size, style), S_OK);
        char answer[256];
        std::snprintf(answer, sizeof answer, "%s|%g", Utf8(face).c_str(), double(size));
        EXPECT_EQ(answer, expected);
        EXPECT_EQ(style, 0);
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

TEST_F(DesktopWindowTest, SleepAndWakeReachThePowerEventAndRepaintTheWindow)
{
    LoginManager login;
    ASSERT_TRUE(login.Connected());
    Run([&login](WindowApp& app, OSWindow& window) {
        const unsigned long id = window.GetWindowId();
        ASSERT_TRUE(TurnUntil([&] { return window.GetPaintCount() >= 1; }));
        // The match is asked for without waiting: the bus sets it up meanwhile.
        ASSERT_TRUE(TurnWhileWaitingFor([] { return WindowHost::HearsPowerChanges(); }));
        using Events = std::vector<std::pair<uint32_t, uintptr_t>>;

        PaintingControl::colour = 0x4070D0;
        login.PrepareForSleep(true);
        ASSERT_TRUE(TurnWhileWaitingFor([&] { return !app.powerEvents.empty(); }));
        EXPECT_EQ(app.powerEvents, (Events{{kPowerSuspend, 0}}));
        ASSERT_TRUE(TurnUntil([&] { return PixelAt(id, 299, 199) == 0x4070D0u; }));
        EXPECT_EQ(PixelAt(id, 0, 0), 0x4070D0u);

        PaintingControl::colour = 0xD07040;
        login.PrepareForSleep(false);
        ASSERT_TRUE(TurnWhileWaitingFor([&] { return app.powerEvents.size() >= 3; }));
        EXPECT_EQ(app.powerEvents,
                  (Events{{kPowerSuspend, 0}, {kPowerResumeAutomatic, 0}, {kPowerResumeSuspend, 0}}));
        ASSERT_TRUE(TurnUntil([&] { return PixelAt(id, 299, 199) == 0xD07040u; }));
        EXPECT_EQ(PixelAt(id, 0, 0), 0xD07040u);
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

TEST_F(DesktopWindowTest, TheWindowManagerKeepsTheWindowAboveAndOffersNoMaximizeForAFixedSize)
{
    Openbox wm;
    ASSERT_TRUE(wm.Running());
    // Equal least and largest sizes: a window of one size.
    std::ofstream(mDir / "res/Skins.xml")
        << "<R><Skins><Skin Name=\"S0\" FontName=\"Face0\" FontSize=\"8.25\" FontStyle=\"0\">"
        << "<SubControl Class=\"Test.Main\" Name=\"mainControl\" XPositionAbs=\"10\" YPositionAbs=\"20\""
        << " XSizeAbs=\"300\" YSizeAbs=\"200\" XMinSizeAbs=\"300\" YMinSizeAbs=\"200\" XMaxSizeAbs=\"300\""
        << " YMaxSizeAbs=\"200\"/></Skin></Skins></R>";
    Run([](WindowApp& app, OSWindow& window) {
        const unsigned long id = window.GetWindowId();
        // Shown at start, it comes to the front in the manager's eyes too.
        ASSERT_TRUE(TurnWhileWaitingFor([&] { return window.IsActive() && ManagerActivated(id); }));
        const std::vector<long> motif = LongProperty(id, "_MOTIF_WM_HINTS");
        ASSERT_EQ(motif.size(), 5u);
        EXPECT_EQ(motif[1] & 0x12, 0);  // functions: neither resize nor maximize
        EXPECT_EQ(motif[2] & 0x44, 0);  // decorations: neither resize handles nor maximize
        const std::vector<long> actions = LongProperty(id, "_NET_WM_ALLOWED_ACTIONS");
        EXPECT_TRUE(Has(actions, AtomOf("_NET_WM_ACTION_MINIMIZE")));
        EXPECT_FALSE(Has(actions, AtomOf("_NET_WM_ACTION_MAXIMIZE_HORZ")));
        EXPECT_FALSE(Has(actions, AtomOf("_NET_WM_ACTION_MAXIMIZE_VERT")));

        IWindowOSServices* os = GetOSRootWindow(app.GetRootWindows().front())->GetOSServices();
        const Atom above = AtomOf("_NET_WM_STATE_ABOVE");
        EXPECT_EQ(os->SetTopMost(true), S_OK);
        EXPECT_TRUE(TurnWhileWaitingFor([&] { return Has(LongProperty(id, "_NET_WM_STATE"), above); }));
        EXPECT_EQ(os->SetTopMost(false), S_OK);
        EXPECT_TRUE(TurnWhileWaitingFor([&] { return !Has(LongProperty(id, "_NET_WM_STATE"), above); }));
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

// A panel along the top or the bottom of the screen that reserves its rows
// from the window manager's work area, as a task bar does.
class Panel
{
public:
    Panel(bool top, int32_t height)
    {
        Display* d = TestXServer().Connection();
        mWindow = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, unsigned(height), 0, 0, 0x808080);
        const Atom dock = AtomOf("_NET_WM_WINDOW_TYPE_DOCK");
        XChangeProperty(d, mWindow, AtomOf("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&dock), 1);
        // Left, right, top, bottom, then the spans along each edge.
        long strut[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        strut[top ? 2 : 3] = height;
        strut[top ? 9 : 11] = 4095;
        XChangeProperty(d, mWindow, AtomOf("_NET_WM_STRUT_PARTIAL"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(strut), 12);
        XChangeProperty(d, mWindow, AtomOf("_NET_WM_STRUT"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(strut), 4);
        XMapWindow(d, mWindow);
        XSync(d, False);
    }
    ~Panel()
    {
        Display* d = TestXServer().Connection();
        XDestroyWindow(d, mWindow);
        XSync(d, False);
    }

private:
    Window mWindow = 0;
};

// The work area as the window manager publishes it.
WindowRect PublishedWorkArea()
{
    const std::vector<long> area = RootProperty("_NET_WORKAREA");
    if (area.size() < 4)
        return {};
    return WindowRect{int32_t(area[0]), int32_t(area[1]), int32_t(area[2]), int32_t(area[3])};
}

bool Inside(const WindowRect& frame, const WindowRect& area)
{
    return frame.left >= area.left && frame.top >= area.top &&
           frame.left + frame.width <= area.left + area.width &&
           frame.top + frame.height <= area.top + area.height;
}

TEST_F(DesktopWindowTest, AfterAScreenChangeTheWindowManagerPlacesTheWindowIsMovedIntoTheWorkAreaOnce)
{
    Openbox wm;
    ASSERT_TRUE(wm.Running());
    Run([&wm](WindowApp&, OSWindow& window) {
        const unsigned long id = window.GetWindowId();
        ASSERT_TRUE(TurnWhileWaitingFor([&] { return window.IsActive() && ManagerActivated(id); }));
        // Framed by the manager: the frame is what must fit.
        ASSERT_TRUE(TurnWhileWaitingFor([&] { return window.GetWindowRect().width > 300; }));
        const WindowRect frame = window.GetWindowRect();
        // A panel on top, where the old area cut to the new screen is
        // already right; one at the bottom, where only the area the
        // manager publishes later is.
        for (const bool top : {true, false}) {
            SCOPED_TRACE(top ? "top panel" : "bottom panel");
            Panel panel(top, 30);
            const WindowRect large{0, top ? 30 : 0, 1280, 994}, small{0, top ? 30 : 0, 1024, 738};
            ASSERT_TRUE(TurnWhileWaitingFor([&] { return PublishedWorkArea() == large; }));
            const WindowRect corner{1280 - frame.width - 20, 994 - frame.height - 20, frame.width,
                                    frame.height};
            window.MoveWindow(corner);
            ASSERT_TRUE(TurnWhileWaitingFor([&] { return window.GetWindowRect() == corner; }));

            // The program hears of the change before the manager has dealt
            // with it, and the manager places the window afterwards.
            uint32_t painted = window.GetPaintCount();
            wm.Pause();
            ASSERT_TRUE(SetScreenSize(1024, 768));
            EXPECT_TRUE(TurnUntil([&] { return window.GetPaintCount() > painted; }));
            wm.Resume();
            ASSERT_TRUE(TurnWhileWaitingFor([&] { return PublishedWorkArea() == small; }));
            EXPECT_TRUE(TurnWhileWaitingFor([&] { return Inside(window.GetWindowRect(), small); }))
                << window.GetWindowRect().left << "," << window.GetWindowRect().top;
            Settle();
            const WindowRect shrunk = window.GetWindowRect();
            EXPECT_TRUE(Inside(shrunk, small));
            TestXServer().Screenshot(std::string("desktop-screen-shrunk-") + (top ? "top" : "bottom") +
                                     "-panel");

            // Growing again leaves it where it is: it is inside the larger area.
            painted = window.GetPaintCount();
            wm.Pause();
            ASSERT_TRUE(SetScreenSize(1280, 1024));
            EXPECT_TRUE(TurnUntil([&] { return window.GetPaintCount() > painted; }));
            wm.Resume();
            ASSERT_TRUE(TurnWhileWaitingFor([&] { return PublishedWorkArea() == large; }));
            Settle();
            EXPECT_EQ(window.GetWindowRect(), shrunk);
            TestXServer().Screenshot(std::string("desktop-screen-grown-") + (top ? "top" : "bottom") +
                                     "-panel");
        }
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

// Runs the loop without touching the window's display connection, as an
// idle program does, until the condition holds; false after the deadline.
bool IdleUntil(const std::function<bool()>& done, int seconds = 15)
{
    Platform::App::IMessageLoop& loop = Platform::App::MainMessageLoop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool reached = false;
    loop.SetTimer(0x1D1E, 20, [&](uint32_t) {
        reached = done();
        if (reached || std::chrono::steady_clock::now() >= deadline)
            loop.PostQuit(0);
    });
    loop.Run();
    loop.KillTimer(0x1D1E);
    return reached;
}

TEST_F(DesktopWindowTest, ASecondCopyRestoresTheMinimisedIdleWindowEveryTime)
{
    Openbox wm;
    ASSERT_TRUE(wm.Running());
    RunAsTestProgram();
    Run([](WindowApp&, OSWindow& window) {
        Display* d = TestXServer().Connection();
        const unsigned long id = window.GetWindowId();
        ASSERT_TRUE(TurnWhileWaitingFor([&] { return window.IsActive() && ManagerActivated(id); }));
        // The focus is read from the server, so the window's own map notice
        // may still wait in the queue; the activation it sends must go out
        // before the test minimises, or the manager restores the window.
        Settle();
        auto state = [&] {
            const std::vector<long> wmState = LongProperty(id, "WM_STATE");
            return wmState.empty() ? 0L : wmState[0];
        };
        auto active = [&] { return ManagerActivated(id); };
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            // Minimised the way a task bar does it.
            XEvent iconify{};
            iconify.xclient.type = ClientMessage;
            iconify.xclient.window = id;
            iconify.xclient.message_type = AtomOf("WM_CHANGE_STATE");
            iconify.xclient.format = 32;
            iconify.xclient.data.l[0] = IconicState;
            XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
                       &iconify);
            XSync(d, False);
            ASSERT_TRUE(TurnWhileWaitingFor([&] { return state() == IconicState && !active(); }));
            Settle();

            const pid_t pid = SpawnQuiet({ProgramFolder() + "/tavo_test_app", "-SECOND"}, CopyEnvironment());
            ASSERT_GT(pid, 0);
            int status = -1;
            bool exited = false;
            const bool restored = IdleUntil([&] {
                exited = exited || waitpid(pid, &status, WNOHANG) == pid;
                return exited && state() == NormalState && active();
            });
            if (!exited) {
                kill(pid, SIGTERM);
                waitpid(pid, &status, 0);
            }
            EXPECT_TRUE(exited && WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_TRUE(restored) << "state " << state() << " active " << active();
            if (!restored)
                break;
            ASSERT_TRUE(TurnWhileWaitingFor([&] { return window.IsActive(); }));
            // The user sees the window's picture again.
            EXPECT_TRUE(TurnWhileWaitingFor([&] { return PixelAt(id, 150, 100) == 0x2060A0u; }));
        }
        TestXServer().Screenshot("desktop-restored-by-second-copy");
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
}

}  // namespace
