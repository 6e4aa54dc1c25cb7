// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Platform/App/MessageLoop.h"
#include "Platform/Window/WindowSystem.h"
#include "tests/Common/CleanEnvironment.h"
#include "tests/Common/XServer.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <atomic>
#include <future>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

using namespace Tavo::Platform::Window;

namespace {

class XWindowSystemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestXServer().Running()) << "Xvfb did not start";
        sys = OpenXWindowSystem(TestXServer().Name().c_str());
        ASSERT_TRUE(sys);
    }
    void TearDown() override
    {
        if (HasFailure())
            TestXServer().Screenshot(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    WindowId Open(WindowParams params = {})
    {
        params.rect = Rect{100, 80, 200, 150};
        const WindowId w = sys->CreateWindow(params);
        sys->Show(w, true);
        Drain();
        sys->SetFocus(w);
        Drain();
        return w;
    }
    // A 200x150 window first presented blue, then red over its left half only.
    void ExpectRedLeftHalfOnBlue(WindowId w)
    {
        sys->Sync();
        const auto pixels = TestXServer().ReadPixels(w, {0, 0, 200, 150});
        ASSERT_EQ(pixels.size(), 200u * 150u);
        EXPECT_EQ(pixels[10 * 200 + 5], 0xFF0000u);
        EXPECT_EQ(pixels[140 * 200 + 99], 0xFF0000u);
        EXPECT_EQ(pixels[10 * 200 + 100], 0x0000FFu);
        EXPECT_EQ(pixels[149 * 200 + 199], 0x0000FFu);
    }
    std::vector<Event> Drain()
    {
        sys->Sync();
        std::vector<Event> out;
        Event e;
        while (sys->NextEvent(e))
            out.push_back(e);
        return out;
    }
    std::vector<Event> DrainOf(std::initializer_list<EventType> types)
    {
        std::vector<Event> out;
        for (const Event& e : Drain()) {
            for (EventType t : types) {
                if (e.type == t)
                    out.push_back(e);
            }
        }
        return out;
    }

    std::unique_ptr<IWindowSystem> sys;
    XInput input;
};

std::string Property(Display* d, Window w, const char* name)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 20, False, AnyPropertyType, &type, &format,
                       &count, &after, &data);
    std::string out;
    if (data && format == 8)
        out.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    return out;
}

TEST_F(XWindowSystemTest, WindowCarriesUtf8TitleClassSizeAndCloseProtocol)
{
    WindowParams params;
    params.title = "Zenta \xe2\x80\x93 \xc3\x9c";
    params.className = "FirmwareUpdater";
    params.resizable = false;
    const WindowId w = Open(params);
    Display* d = TestXServer().Connection();
    EXPECT_EQ(Property(d, w, "_NET_WM_NAME"), params.title);
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(d, w, &hint));
    EXPECT_STREQ(hint.res_class, "FirmwareUpdater");
    XFree(hint.res_name);
    XFree(hint.res_class);
    XSizeHints size{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(d, w, &size, &supplied));
    EXPECT_EQ(size.min_width, 200);
    EXPECT_EQ(size.max_height, 150);
    EXPECT_EQ(sys->GetClientRect(w), (Rect{100, 80, 200, 150}));

    // The window manager's close request is reported, never acted on.
    SendCloseRequest(d, w);
    XSync(d, False);
    const auto events = DrainOf({EventType::CloseRequest});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].window, w);
    EXPECT_TRUE(sys->IsShown(w));
}

// What the frame may offer, and the wish to stay above before the window
// shows (no window manager runs here: the property itself carries it).
TEST_F(XWindowSystemTest, FrameHintsAndKeepAboveBeforeTheWindowShows)
{
    Display* d = TestXServer().Connection();
    const struct
    {
        bool resizable, maximizable;
        bool hints;
        long functions, decorations;  // bits that must be set
    } cases[] = {
        {true, true, false, 0, 0},
        {true, false, true, 2 | 4 | 8 | 32, 2 | 4 | 8 | 16 | 32},  // resizes, no maximize
        {false, false, true, 4 | 8 | 32, 2 | 8 | 16 | 32},         // neither
        {false, true, true, 4 | 8 | 32, 2 | 8 | 16 | 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.resizable) + std::to_string(c.maximizable));
        WindowParams params;
        params.resizable = c.resizable;
        params.maximizable = c.maximizable;
        const WindowId w = sys->CreateWindow(params);
        sys->Sync();
        const std::vector<long> motif = WindowProperty(d, w, "_MOTIF_WM_HINTS");
        if (!c.hints) {
            EXPECT_TRUE(motif.empty());
        } else {
            ASSERT_EQ(motif.size(), 5u);
            EXPECT_EQ(motif[0], 3);
            EXPECT_EQ(motif[1], c.functions);
            EXPECT_EQ(motif[2], c.decorations);
        }
        const long above = long(XInternAtom(d, "_NET_WM_STATE_ABOVE", False));
        sys->SetKeepAbove(w, true);
        sys->SetKeepAbove(w, true);
        sys->Sync();
        const std::vector<long> kept = WindowProperty(d, w, "_NET_WM_STATE");
        EXPECT_EQ(std::count(kept.begin(), kept.end(), above), 1);  // asked twice, held once
        sys->SetKeepAbove(w, false);
        sys->Sync();
        const std::vector<long> states = WindowProperty(d, w, "_NET_WM_STATE");
        EXPECT_EQ(std::count(states.begin(), states.end(), above), 0);
        sys->DestroyWindow(w);
    }
}

TEST_F(XWindowSystemTest, ClicksDoubleClicksButtonsHeldAndWheel)
{
    const WindowId w = Open();
    input.MoveTo(110, 90);
    Drain();
    input.Click(1);
    input.Click(1);  // second press in time: a double click
    input.Click(1);  // a third starts over
    input.Press(1);
    input.Click(3);
    input.Release(1);
    for (unsigned b : {4u, 5u, 6u, 7u})
        input.Click(b);
    const auto events = DrainOf({EventType::ButtonDown, EventType::ButtonUp, EventType::Wheel});
    const struct
    {
        EventType type;
        uint32_t button, buttons;
        bool dbl;
        int32_t delta;
        bool horizontal;
    } expected[] = {
        {EventType::ButtonDown, 1, 1, false, 0, false}, {EventType::ButtonUp, 1, 0, false, 0, false},
        {EventType::ButtonDown, 1, 1, true, 0, false},  {EventType::ButtonUp, 1, 0, false, 0, false},
        {EventType::ButtonDown, 1, 1, false, 0, false}, {EventType::ButtonUp, 1, 0, false, 0, false},
        {EventType::ButtonDown, 1, 1, true, 0, false},  {EventType::ButtonDown, 4, 5, false, 0, false},
        {EventType::ButtonUp, 4, 1, false, 0, false},   {EventType::ButtonUp, 1, 0, false, 0, false},
        {EventType::Wheel, 0, 0, false, 120, false},    {EventType::Wheel, 0, 0, false, -120, false},
        {EventType::Wheel, 0, 0, false, -120, true},    {EventType::Wheel, 0, 0, false, 120, true},
    };
    ASSERT_EQ(events.size(), std::size(expected));
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].type, expected[i].type);
        EXPECT_EQ(events[i].window, w);
        EXPECT_EQ(events[i].button, expected[i].button);
        EXPECT_EQ(events[i].buttons, expected[i].buttons);
        EXPECT_EQ(events[i].doubleClick, expected[i].dbl);
        EXPECT_EQ(events[i].wheelDelta, expected[i].delta);
        EXPECT_EQ(events[i].horizontal, expected[i].horizontal);
        EXPECT_EQ(events[i].x, 10);
        EXPECT_EQ(events[i].y, 10);
    }
}

struct KeyCase
{
    const char* name;
    std::vector<unsigned long> modifiers;
    unsigned long key;
    // Key records as "D|U vk mods prev" and characters as "C code mods".
    std::vector<std::string> expected;
};

std::string Describe(const Event& e)
{
    char buffer[64];
    if (e.type == EventType::Character)
        std::snprintf(buffer, sizeof buffer, "C %x %x", unsigned(e.text[0]), e.modifiers);
    else
        std::snprintf(buffer, sizeof buffer, "%c %x %x %d", e.type == EventType::KeyDown ? 'D' : 'U',
                      e.virtualKey, e.modifiers, int(e.previousDown));
    return buffer;
}

TEST_F(XWindowSystemTest, KeysArriveAsVirtualKeysWithSideBitsAndCharacters)
{
    const KeyCase cases[] = {
        {"plain", {}, XK_a, {"D 41 0 0", "C 61 0", "U 41 0 1"}},
        // Shift, Ctrl and Alt arrive as their generic keys, the side in the mask.
        {"left shift", {XK_Shift_L}, XK_a, {"D 10 18 0", "D 41 18 0", "C 41 18", "U 41 18 1", "U 10 0 1"}},
        {"right shift", {XK_Shift_R}, XK_1, {"D 10 28 0", "D 31 28 0", "C 21 28", "U 31 28 1", "U 10 0 1"}},
        {"right ctrl", {XK_Control_R}, XK_c, {"D 11 5 0", "D 43 5 0", "C 3 5", "U 43 5 1", "U 11 0 1"}},
        {"alt gives no character", {XK_Alt_L}, XK_x, {"D 12 c0 0", "D 58 c0 0", "U 58 c0 1", "U 12 0 1"}},
        {"alt f4", {XK_Alt_L}, XK_F4, {"D 12 c0 0", "D 73 c0 0", "U 73 c0 1", "U 12 0 1"}},
        {"return", {}, XK_Return, {"D d 0 0", "C d 0", "U d 0 1"}},
        {"tab with shift", {XK_Shift_L}, XK_Tab, {"D 10 18 0", "D 9 18 0", "C 9 18", "U 9 18 1", "U 10 0 1"}},
        // The Windows keys keep their own codes.
        {"left windows key", {}, XK_Super_L, {"D 5b 600 0", "U 5b 0 1"}},
    };
    Open();
    Drain();
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        input.Key(c.key, c.modifiers);
        std::vector<std::string> got;
        for (const Event& e : DrainOf({EventType::KeyDown, EventType::KeyUp, EventType::Character}))
            got.push_back(Describe(e));
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(XWindowSystemTest, PresentCopiesOnlyTheRectanglesGiven)
{
    const WindowId w = Open();
    std::vector<uint32_t> image(200 * 150, 0xFF0000FF);
    const PixelView view{image.data(), 200, 150, 200};
    const Rect all{0, 0, 200, 150};
    sys->Present(w, view, &all, 1);
    std::fill(image.begin(), image.end(), 0xFFFF0000);
    const Rect left{0, 0, 100, 150};
    sys->Present(w, view, &left, 1);
    ExpectRedLeftHalfOnBlue(w);
    TestXServer().Screenshot("present");
}

TEST_F(XWindowSystemTest, MappedPixelsAreShownAsTheyAreOnlyInTheRectanglesGiven)
{
    const WindowId w = Open();
    // The server's depth-24 visual takes the surfaces' words as they are.
    const PixelBuffer mapped = sys->MapImage(w, 200, 150);
    ASSERT_NE(mapped.pixels, nullptr);
    ASSERT_GE(mapped.stride, 200);
    const auto fill = [&](uint32_t argb) {
        for (int32_t y = 0; y < 150; ++y)
            std::fill_n(mapped.pixels + size_t(y) * size_t(mapped.stride), 200, argb);
    };
    const PixelView view{mapped.pixels, 200, 150, mapped.stride};
    fill(0xFF0000FF);
    const Rect all{0, 0, 200, 150};
    sys->Present(w, view, &all, 1);
    sys->FinishPresents(w);
    fill(0xFFFF0000);
    const Rect left{0, 0, 100, 150};
    sys->Present(w, view, &left, 1);
    ExpectRedLeftHalfOnBlue(w);
}

TEST_F(XWindowSystemTest, CursorsByThemeNameWithFontFallback)
{
    const CursorId arrow = sys->LoadCursor("left_ptr");
    EXPECT_NE(arrow, 0u);
    EXPECT_EQ(sys->LoadCursor("left_ptr"), arrow);
    for (const char* name : {"xterm", "watch", "sb_h_double_arrow", "hand2", "fleur"})
        EXPECT_NE(sys->LoadCursor(name), 0u) << name;
    EXPECT_EQ(sys->LoadCursor("no-such-cursor-anywhere"), 0u);
}

// Asks for our clipboard as a second client would.
std::optional<std::string> RequestClipboard(IWindowSystem& sys, const char* target, Atom* type = nullptr)
{
    Display* d = TestXServer().Connection();
    static const Window requestor = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = XInternAtom(d, "TEST_CLIP", False);
    XConvertSelection(d, XInternAtom(d, "CLIPBOARD", False), XInternAtom(d, target, False), property,
                      requestor, CurrentTime);
    XSync(d, False);
    sys.Sync();
    Event e;
    while (sys.NextEvent(e)) {
    }
    sys.Sync();  // our answer is on the server
    XSync(d, False);
    XEvent reply;
    if (!XCheckTypedWindowEvent(d, requestor, SelectionNotify, &reply))
        return std::string("<no answer>");
    if (reply.xselection.property == None)
        return std::nullopt;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, requestor, property, 0, 1 << 20, True, AnyPropertyType, &actual, &format, &count,
                       &after, &data);
    std::string out;
    if (format == 32) {
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(d, Atom(reinterpret_cast<long*>(data)[i]));
            out += std::string(name) + " ";
            XFree(name);
        }
    } else if (data) {
        out.assign(reinterpret_cast<char*>(data), count);
    }
    if (data)
        XFree(data);
    if (type)
        *type = actual;
    return out;
}

TEST_F(XWindowSystemTest, OurClipboardServesUtf8LatinOneOnlyAndThePrivateTarget)
{
    const WindowId w = Open();
    ASSERT_TRUE(sys->SetClipboardText(w, u"Gr\u00fc\u00dfe \u20ac"));
    EXPECT_TRUE(sys->OwnsClipboard());
    EXPECT_EQ(RequestClipboard(*sys, "UTF8_STRING"), "Gr\xc3\xbc\xc3\x9f"
                                                     "e \xe2\x82\xac");
    EXPECT_EQ(RequestClipboard(*sys, "STRING"), std::nullopt);  // not Latin-1: refused, not mangled
    EXPECT_EQ(RequestClipboard(*sys, "TARGETS"), "TARGETS UTF8_STRING ");

    ASSERT_TRUE(sys->SetClipboardText(w, u"caf\u00e9"));
    EXPECT_EQ(RequestClipboard(*sys, "STRING"), "caf\xe9");
    EXPECT_EQ(RequestClipboard(*sys, "TARGETS"), "TARGETS UTF8_STRING STRING ");

    const uint32_t before = sys->GetClipboardSequence();
    ASSERT_TRUE(sys->SetClipboardPrivate(w));
    EXPECT_GT(sys->GetClipboardSequence(), before);
    EXPECT_TRUE(sys->ClipboardHasPrivate());
    EXPECT_EQ(RequestClipboard(*sys, "TARGETS"), "TARGETS _TAVO_FRAMEWORK_OBJECT ");
    EXPECT_EQ(RequestClipboard(*sys, "UTF8_STRING"), std::nullopt);
}

TEST_F(XWindowSystemTest, ReadsAnotherClientsTextUtf8FirstThenLatinOneAndBoundsIt)
{
    const WindowId w = Open();
    ASSERT_TRUE(sys->SetClipboardText(w, u"ours"));
    {
        XClipboardOwner owner("\xc3\x9cn\xc3\xaf \xe2\x99\xab", true);
        EXPECT_EQ(sys->ReadClipboardText(5000), std::optional<std::u16string>(u"\u00dcn\u00ef \u266b"));
        EXPECT_FALSE(sys->OwnsClipboard());
        EXPECT_EQ(DrainOf({EventType::ClipboardLost}).size(), 1u);
    }
    {
        XClipboardOwner owner("caf\xe9", false);
        EXPECT_EQ(sys->ReadClipboardText(5000), std::optional<std::u16string>(u"caf\u00e9"));
    }
    {
        XClipboardOwner owner("big", true, kMaxForeignClipboardBytes + 1);
        EXPECT_EQ(sys->ReadClipboardText(5000), std::nullopt);
    }
}

TEST_F(XWindowSystemTest, WorkAreaAndDpiComeFromTheRootWindow)
{
    Display* d = TestXServer().Connection();
    const Window root = DefaultRootWindow(d);
    const long area[4] = {0, 30, 1280, 960};
    XChangeProperty(d, root, XInternAtom(d, "_NET_WORKAREA", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(area), 4);
    const char resources[] = "Xft.dpi:\t120\n";
    XChangeProperty(d, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), int(sizeof resources - 1));
    XSync(d, False);
    auto fresh = OpenXWindowSystem(TestXServer().Name().c_str());
    EXPECT_EQ(fresh->GetWorkArea(), (Rect{0, 30, 1280, 960}));
    EXPECT_DOUBLE_EQ(fresh->GetDpi(), 120.0);
    XDeleteProperty(d, root, XInternAtom(d, "_NET_WORKAREA", False));
    XDeleteProperty(d, root, XA_RESOURCE_MANAGER);
    XSync(d, False);
    fresh = OpenXWindowSystem(TestXServer().Name().c_str());
    EXPECT_EQ(fresh->GetWorkArea(), (Rect{0, 0, 1280, 1024}));
    EXPECT_DOUBLE_EQ(fresh->GetDpi(), 96.0);
}

// The focus as the window layer tells it without asking the server: taken
// at once when the program asks (a press that activates the window counts
// as the window's), lost when another client moves it or the window goes.
TEST_F(XWindowSystemTest, FocusFollowsRequestsFocusEventsAndDestruction)
{
    const WindowId a = Open(), b = Open();
    EXPECT_EQ(sys->GetFocusWindow(), b);
    sys->SetFocus(a);
    EXPECT_EQ(sys->GetFocusWindow(), a) << "before any event is read";
    Drain();
    EXPECT_EQ(sys->GetFocusWindow(), a);

    Display* other = TestXServer().Connection();
    XSetInputFocus(other, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(other, False);
    Drain();
    EXPECT_EQ(sys->GetFocusWindow(), 0u) << "another client took the focus";

    sys->SetFocus(b);
    Drain();
    sys->DestroyWindow(b);
    EXPECT_EQ(sys->GetFocusWindow(), 0u);
    sys->DestroyWindow(a);
}

TEST_F(XWindowSystemTest, LoopDrainsEventsAlreadyBufferedBeforeItWaits)
{
    Tavo::Platform::App::MessageLoop loop;
    Open();
    input.MoveTo(120, 100);
    input.Click(1);
    sys->Sync();  // the events now sit in the client buffer; the socket is quiet
    int presses = 0;
    ASSERT_TRUE(AttachToLoop(*sys, loop, [&](const Event& e) {
        if (e.type == EventType::ButtonDown && ++presses == 1)
            loop.PostQuit(0);
    }));
    loop.SetTimer(1, 5000, [&](uint32_t) { loop.PostQuit(-1); });
    EXPECT_EQ(loop.Run(), 0);
    DetachFromLoop(*sys, loop);
}

TEST(DisplayLoss, TheProgramReleasesWhatItMustAndEndsWithAReason)
{
    const std::string shared = TestXServer().Name();
    XServer own;  // a server of its own, to pull from under the child
    ASSERT_TRUE(own.Running());
    int out[2], err[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = 0;
    const char* argv[] = {DISPLAY_LOSS_CHILD, nullptr};
    std::vector<std::string> env = CleanEnvironment({"DISPLAY=" + own.Name()});
    ASSERT_EQ(posix_spawn(&pid, DISPLAY_LOSS_CHILD, &actions, nullptr, const_cast<char**>(argv),
                          CStrings(env).data()),
              0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    setenv("DISPLAY", shared.c_str(), 1);
    char ready[16] = {};
    ASSERT_GT(read(out[0], ready, sizeof ready - 1), 0);
    EXPECT_STREQ(ready, "ready\n");
    own.Kill();
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, size_t(n));
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    close(err[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(message.find("device released"), std::string::npos) << message;
    EXPECT_NE(message.find("Display lost"), std::string::npos) << message;
}

}  // namespace
