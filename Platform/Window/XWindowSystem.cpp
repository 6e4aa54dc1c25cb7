#include "Platform/App/MessageLoop.h"
#include "Platform/Kernel/TextCoding.h"
#include "Platform/Window/ClipboardText.h"
#include "Platform/Window/KeyMap.h"
#include "Platform/Window/WindowSystem.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <algorithm>
#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

using XWin = ::Window;

namespace Tavo::Platform::Window {

namespace {

// Same button again within this time and distance: a double click.
constexpr uint32_t kDoubleClickMs = 500;
constexpr int32_t kDoubleClickDistance = 4;

// Errors of single requests (a window gone, a focus refused) are not fatal.
int g_lastErrorCode = 0;
int IgnoreError(Display*, XErrorEvent* e)
{
    g_lastErrorCode = e->error_code;
    return 0;
}

void OnIoErrorExit(Display*, void*)
{
    ConnectionLost("the connection to the X server was lost");
}

// Xlib's own handler prints and exits before the exit handler could run.
int OnIoError(Display*)
{
    ConnectionLost("the connection to the X server was lost");
}

std::mutex& ActionsLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

std::vector<std::function<void()>>& Actions()
{
    static auto* actions = new std::vector<std::function<void()>>;
    return *actions;
}

char16_t CharacterOfKeysym(KeySym keysym)
{
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<char16_t>(keysym);
    if ((keysym & 0xFF000000u) == 0x01000000u && (keysym & 0x00FFFFFFu) <= 0xFFFF)
        return static_cast<char16_t>(keysym & 0xFFFF);
    switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
        return u'\r';
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return u'\t';
    case XK_BackSpace:
        return u'\b';
    case XK_Escape:
        return 0x1B;
    default:
        return 0;
    }
}

// Cursor font shapes standing in for theme cursors.
unsigned int FontCursorShape(const std::string& name)
{
    static const std::map<std::string, unsigned int> shapes = {
        {"left_ptr", XC_left_ptr},
        {"xterm", XC_xterm},
        {"watch", XC_watch},
        {"crosshair", XC_crosshair},
        {"sb_up_arrow", XC_sb_up_arrow},
        {"fleur", XC_fleur},
        {"bottom_right_corner", XC_bottom_right_corner},
        {"bottom_left_corner", XC_bottom_left_corner},
        {"sb_h_double_arrow", XC_sb_h_double_arrow},
        {"sb_v_double_arrow", XC_sb_v_double_arrow},
        {"circle", XC_circle},
        {"hand2", XC_hand2},
        {"left_ptr_watch", XC_watch},
        {"question_arrow", XC_question_arrow},
        {"exchange", XC_exchange},
        {"dnd-move", XC_fleur},
        {"dnd-copy", XC_plus},
    };
    const auto it = shapes.find(name);
    return it == shapes.end() ? ~0u : it->second;
}

uint64_t NowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

class XWindowSystem final : public IWindowSystem
{
public:
    explicit XWindowSystem(Display* display);
    ~XWindowSystem() override;

    WindowId CreateWindow(const WindowParams& params) override;
    void DestroyWindow(WindowId window) override;
    void Show(WindowId window, bool show) override;
    bool IsShown(WindowId window) const override;
    void SetTitle(WindowId window, const std::string& utf8) override;
    void SetIcon(WindowId window, int32_t width, int32_t height, const uint32_t* argb) override;
    void SetSizeLimits(WindowId window, int32_t minWidth, int32_t minHeight, int32_t maxWidth,
                       int32_t maxHeight) override;
    void MoveResize(WindowId window, const Rect& client) override;
    Rect GetClientRect(WindowId window) const override;
    Rect GetFrameExtents(WindowId window) const override;
    Rect GetWorkArea() const override;
    Rect GetScreenRect() const override;
    double GetDpi() const override { return mDpi; }
    void Activate(WindowId window) override;
    void SetFocus(WindowId window) override;
    WindowId GetFocusWindow() const override;
    void QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons, uint32_t& modifiers) const override;
    bool IsKeyDown(uint32_t virtualKey) const override;
    bool WarpPointer(int32_t rootX, int32_t rootY) override;
    bool GrabPointer(WindowId window) override;
    void UngrabPointer() override;
    CursorId LoadCursor(const std::string& name) override;
    void SetCursor(WindowId window, CursorId cursor) override;
    void Present(WindowId window, const PixelView& image, const Rect* rects, size_t count) override;
    int GetFd() const override { return ConnectionNumber(mDisplay); }
    bool NextEvent(Event& event) override;
    bool HasBufferedEvents() const override;
    void Flush() override { XFlush(mDisplay); }
    void Sync() override { XSync(mDisplay, False); }
    bool SetClipboardText(WindowId owner, const std::u16string& text) override;
    bool SetClipboardPrivate(WindowId owner) override;
    bool OwnsClipboard() const override { return ConfirmOwnership(); }
    uint32_t GetClipboardSequence() const override
    {
        ConfirmOwnership();
        return mClipboardSequence;
    }
    bool ClipboardHasPrivate() const override { return ConfirmOwnership() && mClipboardPrivate; }
    std::optional<std::u16string> ReadClipboardText(uint32_t timeoutMs) override;

private:
    struct WindowState
    {
        XIC ic = nullptr;
        bool mapped = false;
        bool focusOnMap = false;  // asked to take the focus before it showed
        // The back buffer that dirty rectangles are copied through.
        XImage* image = nullptr;
        XShmSegmentInfo shm{};
        bool shmPending = false;
        std::vector<uint32_t> plainPixels;
    };

    Atom A(const char* name) const { return XInternAtom(mDisplay, name, False); }
    void Translate(XEvent& xe);
    void TranslateKey(XKeyEvent& ke, bool press);
    void TranslateButton(const XButtonEvent& be, bool press);
    uint32_t Modifiers(unsigned int state) const;
    static uint32_t ButtonsOfState(unsigned int state);
    void RefreshHeldKeys();
    void ServeSelection(const XSelectionRequestEvent& request);
    bool WaitForSelection(Atom target, uint32_t deadlineMs, std::optional<std::string>& bytes);
    bool EnsureImage(WindowId window, WindowState& state, int32_t width, int32_t height);
    void FreeImage(WindowState& state);
    void OwnClipboard();
    // Asks the server: the notice of a lost selection may still be on its way.
    bool ConfirmOwnership() const;
    void LoseClipboard() const;

    Display* mDisplay;
    int mScreen;
    XWin mRoot;
    XWin mUtility;  // owns the selection and receives transfers
    XIM mIm = nullptr;
    bool mShmAvailable = false;
    double mDpi = 96.0;
    std::map<WindowId, WindowState> mWindows;
    std::deque<Event> mQueue;
    std::bitset<256> mHeld;
    std::map<std::string, CursorId> mCursors;
    Time mLastTime = CurrentTime;

    // Last press, for double clicks.
    uint32_t mLastPressButton = 0;
    Time mLastPressTime = 0;
    int32_t mLastPressX = 0, mLastPressY = 0;
    WindowId mLastPressWindow = 0;
    bool mLastPressWasDouble = false;

    mutable bool mOwnsClipboard = false;
    mutable bool mClipboardPrivate = false;
    mutable std::u16string mClipboardText;
    mutable uint32_t mClipboardSequence = 1;
    mutable std::deque<Event> mLostNotices;

    Atom mProtocols, mDeleteWindow, mPing, mNetWmName, mUtf8, mNetWmIcon, mWorkArea, mActiveWindow,
        mFrameExtents, mWmPid, mClipboard, mTargets, mPrivate, mTransfer, mIncr, mWindowType,
        mWindowTypeSplash, mWmState, mSkipTaskbar;
};

XWindowSystem::XWindowSystem(Display* display)
    : mDisplay(display), mScreen(DefaultScreen(display)), mRoot(RootWindow(display, mScreen))
{
    XSetIOErrorExitHandler(mDisplay, OnIoErrorExit, nullptr);
    mProtocols = A("WM_PROTOCOLS");
    mDeleteWindow = A("WM_DELETE_WINDOW");
    mPing = A("_NET_WM_PING");
    mNetWmName = A("_NET_WM_NAME");
    mUtf8 = A("UTF8_STRING");
    mNetWmIcon = A("_NET_WM_ICON");
    mWorkArea = A("_NET_WORKAREA");
    mActiveWindow = A("_NET_ACTIVE_WINDOW");
    mFrameExtents = A("_NET_FRAME_EXTENTS");
    mWmPid = A("_NET_WM_PID");
    mClipboard = A("CLIPBOARD");
    mTargets = A("TARGETS");
    mPrivate = A("_TAVO_FRAMEWORK_OBJECT");
    mTransfer = A("_TAVO_SELECTION");
    mIncr = A("INCR");
    mWindowType = A("_NET_WM_WINDOW_TYPE");
    mWindowTypeSplash = A("_NET_WM_WINDOW_TYPE_SPLASH");
    mWmState = A("_NET_WM_STATE");
    mSkipTaskbar = A("_NET_WM_STATE_SKIP_TASKBAR");

    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    mUtility = XCreateWindow(mDisplay, mRoot, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent,
                             CWEventMask, &attributes);

    Bool detectable = False;
    XkbSetDetectableAutoRepeat(mDisplay, True, &detectable);

    XSetLocaleModifiers("");
    mIm = XOpenIM(mDisplay, nullptr, nullptr, nullptr);

    int major = 0, minor = 0;
    Bool pixmaps = False;
    // Shared memory only helps a server on this machine.
    const char* name = DisplayString(mDisplay);
    const bool local = name && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0);
    mShmAvailable = local && XShmQueryVersion(mDisplay, &major, &minor, &pixmaps);

    if (const char* resources = XResourceManagerString(mDisplay)) {
        XrmInitialize();
        if (XrmDatabase db = XrmGetStringDatabase(resources)) {
            char* type = nullptr;
            XrmValue value{};
            if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
                const double dpi = std::atof(value.addr);
                if (dpi >= 24.0 && dpi <= 960.0)
                    mDpi = dpi;
            }
            XrmDestroyDatabase(db);
        }
    }
}

XWindowSystem::~XWindowSystem()
{
    for (auto& [id, state] : mWindows) {
        FreeImage(state);
        if (state.ic)
            XDestroyIC(state.ic);
        XDestroyWindow(mDisplay, XWin(id));
    }
    for (auto& [name, cursor] : mCursors) {
        if (cursor)
            XFreeCursor(mDisplay, Cursor(cursor));
    }
    if (mIm)
        XCloseIM(mIm);
    XDestroyWindow(mDisplay, mUtility);
    XCloseDisplay(mDisplay);
}

WindowId XWindowSystem::CreateWindow(const WindowParams& params)
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask |
                            ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask | FocusChangeMask | PropertyChangeMask;
    attributes.background_pixmap = None;  // no flash of a background before the first paint
    attributes.bit_gravity = NorthWestGravity;
    attributes.override_redirect = params.splash ? True : False;
    const int32_t width = std::max(1, params.rect.width);
    const int32_t height = std::max(1, params.rect.height);
    const XWin window =
        XCreateWindow(mDisplay, mRoot, params.rect.x, params.rect.y, unsigned(width), unsigned(height), 0,
                      CopyFromParent, InputOutput, CopyFromParent,
                      CWEventMask | CWBackPixmap | CWBitGravity | CWOverrideRedirect, &attributes);
    if (!window)
        return 0;
    WindowState& state = mWindows[WindowId(window)];

    XClassHint classHint{};
    std::string instance = params.instanceName, className = params.className;
    classHint.res_name = instance.data();
    classHint.res_class = className.data();
    XSetClassHint(mDisplay, window, &classHint);

    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = params.splash ? False : True;
    wmHints.initial_state = NormalState;
    XSetWMHints(mDisplay, window, &wmHints);

    Atom protocols[] = {mDeleteWindow, mPing};
    XSetWMProtocols(mDisplay, window, protocols, 2);
    const long pid = long(getpid());
    XChangeProperty(mDisplay, window, mWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    if (params.splash) {
        XChangeProperty(mDisplay, window, mWindowType, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&mWindowTypeSplash), 1);
        XChangeProperty(mDisplay, window, mWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&mSkipTaskbar), 1);
    }
    if (params.transientFor)
        XSetTransientForHint(mDisplay, window, XWin(params.transientFor));
    SetTitle(WindowId(window), params.title);
    if (params.resizable)
        SetSizeLimits(WindowId(window), params.minWidth, params.minHeight, params.maxWidth, params.maxHeight);
    else
        SetSizeLimits(WindowId(window), width, height, width, height);

    if (mIm) {
        state.ic = XCreateIC(mIm, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window,
                             XNFocusWindow, window, nullptr);
    }
    return WindowId(window);
}

void XWindowSystem::FreeImage(WindowState& state)
{
    if (!state.image)
        return;
    if (state.shm.shmaddr) {
        XShmDetach(mDisplay, &state.shm);
        XSync(mDisplay, False);
        shmdt(state.shm.shmaddr);
        state.shm = {};
        state.image->data = nullptr;
    } else {
        state.image->data = nullptr;  // the vector owns the pixels
    }
    XDestroyImage(state.image);
    state.image = nullptr;
    state.plainPixels.clear();
    state.shmPending = false;
}

void XWindowSystem::DestroyWindow(WindowId window)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end())
        return;
    FreeImage(it->second);
    if (it->second.ic)
        XDestroyIC(it->second.ic);
    mWindows.erase(it);
    XDestroyWindow(mDisplay, XWin(window));
    XFlush(mDisplay);
    // Events still queued for it are of no use to anybody.
    std::erase_if(mQueue, [window](const Event& e) { return e.window == window; });
}

void XWindowSystem::Show(WindowId window, bool show)
{
    if (show)
        XMapRaised(mDisplay, XWin(window));
    else
        XUnmapWindow(mDisplay, XWin(window));
    XFlush(mDisplay);
}

bool XWindowSystem::IsShown(WindowId window) const
{
    auto it = mWindows.find(window);
    return it != mWindows.end() && it->second.mapped;
}

void XWindowSystem::SetTitle(WindowId window, const std::string& utf8)
{
    XChangeProperty(mDisplay, XWin(window), mNetWmName, mUtf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
    // The legacy name for window managers that read only WM_NAME.
    std::string latin;
    for (char16_t c : FromUtf8(utf8))
        latin.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    XStoreName(mDisplay, XWin(window), latin.c_str());
    XFlush(mDisplay);
}

void XWindowSystem::SetIcon(WindowId window, int32_t width, int32_t height, const uint32_t* argb)
{
    if (width <= 0 || height <= 0 || !argb)
        return;
    // Format-32 properties travel as longs on the client side.
    std::vector<long> data;
    data.reserve(2 + size_t(width) * size_t(height));
    data.push_back(width);
    data.push_back(height);
    for (int64_t i = 0; i < int64_t(width) * height; ++i)
        data.push_back(long(argb[i]));
    XChangeProperty(mDisplay, XWin(window), mNetWmIcon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
}

void XWindowSystem::SetSizeLimits(WindowId window, int32_t minWidth, int32_t minHeight, int32_t maxWidth,
                                  int32_t maxHeight)
{
    XSizeHints hints{};
    hints.flags = PPosition | USPosition;
    if (minWidth > 0 || minHeight > 0) {
        hints.flags |= PMinSize;
        hints.min_width = std::max(1, minWidth);
        hints.min_height = std::max(1, minHeight);
    }
    if (maxWidth > 0 || maxHeight > 0) {
        hints.flags |= PMaxSize;
        hints.max_width = maxWidth > 0 ? maxWidth : 32767;
        hints.max_height = maxHeight > 0 ? maxHeight : 32767;
    }
    XSetWMNormalHints(mDisplay, XWin(window), &hints);
}

void XWindowSystem::MoveResize(WindowId window, const Rect& client)
{
    XMoveResizeWindow(mDisplay, XWin(window), client.x, client.y, unsigned(std::max(1, client.width)),
                      unsigned(std::max(1, client.height)));
    XFlush(mDisplay);
}

Rect XWindowSystem::GetClientRect(WindowId window) const
{
    XWin root = 0, child = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(mDisplay, XWin(window), &root, &x, &y, &width, &height, &border, &depth))
        return {};
    int rootX = 0, rootY = 0;
    XTranslateCoordinates(mDisplay, XWin(window), mRoot, 0, 0, &rootX, &rootY, &child);
    return Rect{rootX, rootY, int32_t(width), int32_t(height)};
}

Rect XWindowSystem::GetFrameExtents(WindowId window) const
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Rect extents;
    if (XGetWindowProperty(mDisplay, XWin(window), mFrameExtents, 0, 4, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && count == 4) {
        const long* v = reinterpret_cast<const long*>(data);
        extents = Rect{int32_t(v[0]), int32_t(v[2]), int32_t(v[1]), int32_t(v[3])};
    }
    if (data)
        XFree(data);
    return extents;
}

Rect XWindowSystem::GetScreenRect() const
{
    return Rect{0, 0, DisplayWidth(mDisplay, mScreen), DisplayHeight(mDisplay, mScreen)};
}

Rect XWindowSystem::GetWorkArea() const
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Rect area = GetScreenRect();
    if (XGetWindowProperty(mDisplay, mRoot, mWorkArea, 0, 4, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data) == Success &&
        data && format == 32 && count >= 4) {
        const long* v = reinterpret_cast<const long*>(data);
        if (v[2] > 0 && v[3] > 0)
            area = Rect{int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
    }
    if (data)
        XFree(data);
    return area;
}

void XWindowSystem::Activate(WindowId window)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = XWin(window);
    e.xclient.message_type = mActiveWindow;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // from an application
    e.xclient.data.l[1] = long(mLastTime);
    XSendEvent(mDisplay, mRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XRaiseWindow(mDisplay, XWin(window));
    // Without a window manager nobody answers the message: focus it directly.
    SetFocus(window);
}

void XWindowSystem::SetFocus(WindowId window)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end())
        return;
    if (!it->second.mapped) {
        it->second.focusOnMap = true;
        return;
    }
    XSetInputFocus(mDisplay, XWin(window), RevertToParent, CurrentTime);
    XFlush(mDisplay);
}

WindowId XWindowSystem::GetFocusWindow() const
{
    XWin focus = 0;
    int revert = 0;
    XGetInputFocus(mDisplay, &focus, &revert);
    return mWindows.count(WindowId(focus)) ? WindowId(focus) : 0;
}

uint32_t XWindowSystem::ButtonsOfState(unsigned int state)
{
    return ((state & Button1Mask) ? kButtonLeft : 0) | ((state & Button2Mask) ? kButtonMiddle : 0) |
           ((state & Button3Mask) ? kButtonRight : 0);
}

void XWindowSystem::QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons, uint32_t& modifiers) const
{
    XWin root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(mDisplay, mRoot, &root, &child, &rx, &ry, &wx, &wy, &mask);
    rootX = rx;
    rootY = ry;
    buttons = ButtonsOfState(mask);
    modifiers = Modifiers(mask);
}

bool XWindowSystem::IsKeyDown(uint32_t virtualKey) const
{
    char keys[32] = {};
    XQueryKeymap(mDisplay, keys);
    for (int code = 8; code < 256; ++code) {
        if (!(keys[code / 8] & (1 << (code % 8))))
            continue;
        const uint32_t vk = VirtualKeyFromKeysym(uint32_t(XkbKeycodeToKeysym(mDisplay, KeyCode(code), 0, 0)));
        // The generic modifier keys match either side.
        if (vk == virtualKey || (virtualKey == 0x10 && (vk == 0xA0 || vk == 0xA1)) ||
            (virtualKey == 0x11 && (vk == 0xA2 || vk == 0xA3)) ||
            (virtualKey == 0x12 && (vk == 0xA4 || vk == 0xA5)))
            return true;
    }
    return false;
}

bool XWindowSystem::WarpPointer(int32_t rootX, int32_t rootY)
{
    XWarpPointer(mDisplay, None, mRoot, 0, 0, 0, 0, rootX, rootY);
    XFlush(mDisplay);
    return true;
}

bool XWindowSystem::GrabPointer(WindowId window)
{
    const int result = XGrabPointer(mDisplay, XWin(window), False,
                                    ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                        EnterWindowMask | LeaveWindowMask,
                                    GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    return result == GrabSuccess;
}

void XWindowSystem::UngrabPointer()
{
    XUngrabPointer(mDisplay, CurrentTime);
    XFlush(mDisplay);
}

CursorId XWindowSystem::LoadCursor(const std::string& name)
{
    if (auto it = mCursors.find(name); it != mCursors.end())
        return it->second;
    Cursor cursor = XcursorLibraryLoadCursor(mDisplay, name.c_str());
    if (!cursor) {
        const unsigned int shape = FontCursorShape(name);
        if (shape != ~0u)
            cursor = XCreateFontCursor(mDisplay, shape);
    }
    mCursors[name] = CursorId(cursor);
    return CursorId(cursor);
}

void XWindowSystem::SetCursor(WindowId window, CursorId cursor)
{
    if (cursor)
        XDefineCursor(mDisplay, XWin(window), Cursor(cursor));
    else
        XUndefineCursor(mDisplay, XWin(window));
    XFlush(mDisplay);
}

bool XWindowSystem::EnsureImage(WindowId window, WindowState& state, int32_t width, int32_t height)
{
    if (state.image && state.image->width >= width && state.image->height >= height)
        return true;
    FreeImage(state);
    (void)window;
    XWindowAttributes attributes{};
    XGetWindowAttributes(mDisplay, XWin(window), &attributes);
    Visual* visual = attributes.visual;
    const int depth = attributes.depth;
    if (mShmAvailable) {
        state.image = XShmCreateImage(mDisplay, visual, unsigned(depth), ZPixmap, nullptr, &state.shm,
                                      unsigned(width), unsigned(height));
        if (state.image) {
            state.shm.shmid =
                shmget(IPC_PRIVATE, size_t(state.image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
            if (state.shm.shmid >= 0) {
                state.shm.shmaddr = static_cast<char*>(shmat(state.shm.shmid, nullptr, 0));
                state.shm.readOnly = False;
                state.image->data = state.shm.shmaddr;
                auto previous = XSetErrorHandler(IgnoreError);
                g_lastErrorCode = 0;
                const Status attached = XShmAttach(mDisplay, &state.shm);
                XSync(mDisplay, False);
                XSetErrorHandler(previous);
                // Marked for removal now; it lives until both sides detach.
                shmctl(state.shm.shmid, IPC_RMID, nullptr);
                if (attached && g_lastErrorCode == 0)
                    return true;
                shmdt(state.shm.shmaddr);
            }
            state.shm = {};
            state.image->data = nullptr;
            XDestroyImage(state.image);
            state.image = nullptr;
        }
        mShmAvailable = false;
    }
    state.plainPixels.assign(size_t(width) * size_t(height), 0);
    state.image = XCreateImage(mDisplay, visual, unsigned(depth), ZPixmap, 0,
                               reinterpret_cast<char*>(state.plainPixels.data()), unsigned(width),
                               unsigned(height), 32, width * 4);
    return state.image != nullptr;
}

void XWindowSystem::Present(WindowId window, const PixelView& image, const Rect* rects, size_t count)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end() || !image.pixels || count == 0)
        return;
    WindowState& state = it->second;
    if (!EnsureImage(window, state, image.width, image.height))
        return;
    if (state.shmPending) {
        // The server may still be reading the previous frame.
        XSync(mDisplay, False);
        state.shmPending = false;
    }
    XImage* target = state.image;
    const bool direct = target->bits_per_pixel == 32 && target->red_mask == 0xFF0000 &&
                        target->green_mask == 0xFF00 && target->blue_mask == 0xFF &&
                        target->byte_order == LSBFirst;
    GC gc = DefaultGC(mDisplay, mScreen);
    for (size_t i = 0; i < count; ++i) {
        Rect r = rects[i];
        const int32_t x0 = std::max(0, r.x), y0 = std::max(0, r.y);
        const int32_t x1 = std::min(image.width, r.x + r.width), y1 = std::min(image.height, r.y + r.height);
        if (x1 <= x0 || y1 <= y0)
            continue;
        for (int32_t y = y0; y < y1; ++y) {
            const uint32_t* src = image.pixels + size_t(y) * size_t(image.stride) + size_t(x0);
            if (direct) {
                std::memcpy(target->data + size_t(y) * size_t(target->bytes_per_line) + size_t(x0) * 4, src,
                            size_t(x1 - x0) * 4);
            } else {
                for (int32_t x = x0; x < x1; ++x)
                    XPutPixel(target, x, y, src[x - x0] & 0xFFFFFF);
            }
        }
        if (state.shm.shmaddr) {
            XShmPutImage(mDisplay, XWin(window), gc, target, x0, y0, x0, y0, unsigned(x1 - x0),
                         unsigned(y1 - y0), False);
            state.shmPending = true;
        } else {
            XPutImage(mDisplay, XWin(window), gc, target, x0, y0, x0, y0, unsigned(x1 - x0),
                      unsigned(y1 - y0));
        }
    }
    XFlush(mDisplay);
}

uint32_t XWindowSystem::Modifiers(unsigned int state) const
{
    uint32_t mods = 0;
    for (uint32_t vk : {0xA0u, 0xA1u, 0xA2u, 0xA3u, 0xA4u, 0xA5u, 0x5Bu, 0x5Cu}) {
        if (mHeld[vk])
            mods |= ModifierBitsOfVirtualKey(vk);
    }
    // Keys pressed before the window had the focus show only in the state.
    if ((state & ShiftMask) && !(mods & kModShift))
        mods |= kModShift;
    if ((state & ControlMask) && !(mods & kModCtrl))
        mods |= kModCtrl;
    if ((state & Mod1Mask) && !(mods & kModAlt))
        mods |= kModAlt;
    return mods;
}

void XWindowSystem::RefreshHeldKeys()
{
    mHeld.reset();
    char keys[32] = {};
    XQueryKeymap(mDisplay, keys);
    for (int code = 8; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8))) {
            const uint32_t vk =
                VirtualKeyFromKeysym(uint32_t(XkbKeycodeToKeysym(mDisplay, KeyCode(code), 0, 0)));
            if (vk)
                mHeld.set(vk);
        }
    }
}

void XWindowSystem::TranslateKey(XKeyEvent& ke, bool press)
{
    const WindowId window = WindowId(ke.window);
    // The unshifted keysym names the key; the shifted one is the character.
    const KeySym base = XkbKeycodeToKeysym(mDisplay, KeyCode(ke.keycode), 0, 0);
    const uint32_t vk = VirtualKeyFromKeysym(uint32_t(base));
    const bool wasDown = vk && mHeld[vk];
    if (vk)
        mHeld.set(vk, press);

    Event e;
    e.window = window;
    e.time = uint32_t(ke.time);
    e.x = ke.x;
    e.y = ke.y;
    e.rootX = ke.x_root;
    e.rootY = ke.y_root;
    e.virtualKey = vk;
    e.modifiers = Modifiers(ke.state);
    if (!press) {
        // A modifier going up no longer counts as held.
        e.modifiers = Modifiers(ke.state & ~(vk == 0xA0 || vk == 0xA1   ? ShiftMask
                                             : vk == 0xA2 || vk == 0xA3 ? ControlMask
                                             : vk == 0xA4 || vk == 0xA5 ? Mod1Mask
                                                                        : 0u));
        e.type = EventType::KeyUp;
        e.previousDown = true;
        mQueue.push_back(std::move(e));
        return;
    }
    e.type = EventType::KeyDown;
    e.previousDown = wasDown;
    const uint32_t mods = e.modifiers;
    mQueue.push_back(e);

    // Characters: none while Alt or the Windows key is held.
    if (mods & (kModAlt | kModWin))
        return;
    std::u16string text;
    auto it = mWindows.find(window);
    KeySym keysym = NoSymbol;
    if (it != mWindows.end() && it->second.ic) {
        char buffer[64];
        Status status = 0;
        const int n = Xutf8LookupString(it->second.ic, &ke, buffer, sizeof buffer - 1, &keysym, &status);
        if ((status == XLookupChars || status == XLookupBoth) && n > 0)
            text = FromUtf8(std::string_view(buffer, size_t(n)));
    } else {
        char buffer[16];
        XLookupString(&ke, buffer, sizeof buffer, &keysym, nullptr);
    }
    if (text.empty() || text == u"?") {
        // A locale that cannot spell the character: take it from the keysym.
        KeySym shifted = keysym;
        if (shifted == NoSymbol)
            XLookupString(&ke, nullptr, 0, &shifted, nullptr);
        if (const char16_t c = CharacterOfKeysym(shifted))
            text = std::u16string(1, c);
    }
    if ((mods & kModCtrl) && text.size() == 1 && text[0] >= 0x20) {
        // Ctrl with a letter gives its control character, as the framework expects.
        const char16_t c = text[0];
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            text[0] = char16_t((c & 0x1F));
    }
    for (char16_t c : text) {
        Event ce;
        ce.type = EventType::Character;
        ce.window = window;
        ce.time = uint32_t(ke.time);
        ce.modifiers = mods;
        ce.text = std::u16string(1, c);
        mQueue.push_back(std::move(ce));
    }
}

void XWindowSystem::TranslateButton(const XButtonEvent& be, bool press)
{
    Event e;
    e.window = WindowId(be.window);
    e.time = uint32_t(be.time);
    e.x = be.x;
    e.y = be.y;
    e.rootX = be.x_root;
    e.rootY = be.y_root;
    e.modifiers = Modifiers(be.state);
    if (be.button >= 4 && be.button <= 7) {
        if (!press)
            return;
        e.type = EventType::Wheel;
        e.horizontal = be.button >= 6;
        e.wheelDelta = (be.button == 4 || be.button == 7) ? kWheelStep : -kWheelStep;
        mQueue.push_back(std::move(e));
        return;
    }
    const uint32_t button = be.button == 1   ? kButtonLeft
                            : be.button == 2 ? kButtonMiddle
                            : be.button == 3 ? kButtonRight
                                             : 0;
    if (!button)
        return;
    e.button = button;
    const uint32_t before = ButtonsOfState(be.state);
    e.buttons = press ? (before | button) : (before & ~button);
    if (press) {
        e.type = EventType::ButtonDown;
        const bool near = std::abs(be.x - mLastPressX) <= kDoubleClickDistance &&
                          std::abs(be.y - mLastPressY) <= kDoubleClickDistance;
        e.doubleClick = !mLastPressWasDouble && button == mLastPressButton && e.window == mLastPressWindow &&
                        near && Time(be.time - mLastPressTime) <= kDoubleClickMs;
        mLastPressButton = button;
        mLastPressTime = be.time;
        mLastPressX = be.x;
        mLastPressY = be.y;
        mLastPressWindow = e.window;
        mLastPressWasDouble = e.doubleClick;
    } else {
        e.type = EventType::ButtonUp;
    }
    mQueue.push_back(std::move(e));
}

void XWindowSystem::Translate(XEvent& xe)
{
    if (XFilterEvent(&xe, None))
        return;
    switch (xe.type) {
    case KeyPress:
    case KeyRelease:
        mLastTime = xe.xkey.time;
        TranslateKey(xe.xkey, xe.type == KeyPress);
        break;
    case ButtonPress:
    case ButtonRelease:
        mLastTime = xe.xbutton.time;
        TranslateButton(xe.xbutton, xe.type == ButtonPress);
        break;
    case MotionNotify: {
        // Only the newest position of a burst matters; a burst ends at any
        // other event, so that moves never pass a press or release.
        while (XEventsQueued(mDisplay, QueuedAlready) > 0) {
            XEvent next;
            XPeekEvent(mDisplay, &next);
            if (next.type != MotionNotify || next.xmotion.window != xe.xmotion.window)
                break;
            XNextEvent(mDisplay, &xe);
        }
        mLastTime = xe.xmotion.time;
        Event e;
        e.type = EventType::Motion;
        e.window = WindowId(xe.xmotion.window);
        e.x = xe.xmotion.x;
        e.y = xe.xmotion.y;
        e.rootX = xe.xmotion.x_root;
        e.rootY = xe.xmotion.y_root;
        e.modifiers = Modifiers(xe.xmotion.state);
        e.buttons = ButtonsOfState(xe.xmotion.state);
        e.time = uint32_t(xe.xmotion.time);
        mQueue.push_back(std::move(e));
        break;
    }
    case EnterNotify:
    case LeaveNotify: {
        if (xe.xcrossing.mode != NotifyNormal)
            break;
        Event e;
        e.type = xe.type == EnterNotify ? EventType::Enter : EventType::Leave;
        e.window = WindowId(xe.xcrossing.window);
        e.x = xe.xcrossing.x;
        e.y = xe.xcrossing.y;
        e.rootX = xe.xcrossing.x_root;
        e.rootY = xe.xcrossing.y_root;
        mQueue.push_back(std::move(e));
        break;
    }
    case Expose: {
        Event e;
        e.type = EventType::Exposed;
        e.window = WindowId(xe.xexpose.window);
        e.rect = Rect{xe.xexpose.x, xe.xexpose.y, xe.xexpose.width, xe.xexpose.height};
        mQueue.push_back(std::move(e));
        break;
    }
    case ConfigureNotify: {
        if (!mWindows.count(WindowId(xe.xconfigure.window)))
            break;
        Event e;
        e.type = EventType::Configure;
        e.window = WindowId(xe.xconfigure.window);
        XWin child = 0;
        int rootX = 0, rootY = 0;
        // A reparenting window manager reports the position in its frame.
        XTranslateCoordinates(mDisplay, xe.xconfigure.window, mRoot, 0, 0, &rootX, &rootY, &child);
        e.rect = Rect{rootX, rootY, xe.xconfigure.width, xe.xconfigure.height};
        mQueue.push_back(std::move(e));
        break;
    }
    case MapNotify:
    case UnmapNotify: {
        auto it = mWindows.find(WindowId(xe.xmap.window));
        if (it == mWindows.end())
            break;
        it->second.mapped = xe.type == MapNotify;
        if (it->second.mapped && it->second.focusOnMap) {
            it->second.focusOnMap = false;
            XSetInputFocus(mDisplay, XWin(it->first), RevertToParent, CurrentTime);
        }
        Event e;
        e.type = xe.type == MapNotify ? EventType::Map : EventType::Unmap;
        e.window = it->first;
        mQueue.push_back(std::move(e));
        break;
    }
    case FocusIn:
    case FocusOut: {
        if (xe.xfocus.mode == NotifyGrab || xe.xfocus.mode == NotifyUngrab ||
            xe.xfocus.detail == NotifyPointer)
            break;
        auto it = mWindows.find(WindowId(xe.xfocus.window));
        if (it == mWindows.end())
            break;
        if (xe.type == FocusIn) {
            RefreshHeldKeys();
            if (it->second.ic)
                XSetICFocus(it->second.ic);
        } else if (it->second.ic) {
            XUnsetICFocus(it->second.ic);
        }
        Event e;
        e.type = xe.type == FocusIn ? EventType::FocusGained : EventType::FocusLost;
        e.window = it->first;
        mQueue.push_back(std::move(e));
        break;
    }
    case ClientMessage: {
        if (xe.xclient.message_type != mProtocols || xe.xclient.format != 32)
            break;
        const Atom protocol = Atom(xe.xclient.data.l[0]);
        if (protocol == mDeleteWindow) {
            Event e;
            e.type = EventType::CloseRequest;
            e.window = WindowId(xe.xclient.window);
            mQueue.push_back(std::move(e));
        } else if (protocol == mPing) {
            XEvent reply = xe;
            reply.xclient.window = mRoot;
            XSendEvent(mDisplay, mRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &reply);
        }
        break;
    }
    case SelectionRequest:
        ServeSelection(xe.xselectionrequest);
        break;
    case SelectionClear:
        if (xe.xselectionclear.selection == mClipboard && mOwnsClipboard)
            LoseClipboard();
        break;
    default:
        break;
    }
}

bool XWindowSystem::NextEvent(Event& event)
{
    while (!mLostNotices.empty()) {
        mQueue.push_back(std::move(mLostNotices.front()));
        mLostNotices.pop_front();
    }
    while (mQueue.empty() && XPending(mDisplay) > 0) {
        XEvent xe;
        XNextEvent(mDisplay, &xe);
        Translate(xe);
    }
    if (mQueue.empty())
        return false;
    event = std::move(mQueue.front());
    mQueue.pop_front();
    return true;
}

bool XWindowSystem::HasBufferedEvents() const
{
    return !mQueue.empty() || !mLostNotices.empty() || XEventsQueued(mDisplay, QueuedAlready) > 0;
}

void XWindowSystem::LoseClipboard() const
{
    mOwnsClipboard = false;
    mClipboardPrivate = false;
    mClipboardText.clear();
    ++mClipboardSequence;
    Event e;
    e.type = EventType::ClipboardLost;
    mLostNotices.push_back(std::move(e));
}

bool XWindowSystem::ConfirmOwnership() const
{
    if (mOwnsClipboard && XGetSelectionOwner(mDisplay, mClipboard) != mUtility)
        LoseClipboard();
    return mOwnsClipboard;
}

void XWindowSystem::OwnClipboard()
{
    XSetSelectionOwner(mDisplay, mClipboard, mUtility, mLastTime);
    mOwnsClipboard = XGetSelectionOwner(mDisplay, mClipboard) == mUtility;
    ++mClipboardSequence;
}

bool XWindowSystem::SetClipboardText(WindowId, const std::u16string& text)
{
    mClipboardText = text;
    mClipboardPrivate = false;
    OwnClipboard();
    return mOwnsClipboard;
}

bool XWindowSystem::SetClipboardPrivate(WindowId)
{
    mClipboardText.clear();
    mClipboardPrivate = true;
    OwnClipboard();
    return mOwnsClipboard;
}

void XWindowSystem::ServeSelection(const XSelectionRequestEvent& request)
{
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // Old clients name no property: the target stands for it.
    const Atom property = request.property != None ? request.property : request.target;
    const bool ours = request.selection == mClipboard && mOwnsClipboard && request.owner == mUtility;
    const bool hasText = ours && !mClipboardPrivate;
    const long maxBytes = std::max(XExtendedMaxRequestSize(mDisplay), XMaxRequestSize(mDisplay)) * 4 - 1024;

    auto put = [&](Atom type, int format, const void* data, int count) {
        XChangeProperty(mDisplay, request.requestor, property, type, format, PropModeReplace,
                        static_cast<const unsigned char*>(data), count);
        reply.property = property;
    };
    if (ours && request.target == mTargets) {
        std::vector<long> targets{long(mTargets)};
        if (mClipboardPrivate)
            targets.push_back(long(mPrivate));
        if (hasText) {
            targets.push_back(long(mUtf8));
            if (ToLatin1(mClipboardText))
                targets.push_back(long(XA_STRING));
        }
        put(XA_ATOM, 32, targets.data(), int(targets.size()));
    } else if (hasText && request.target == mUtf8) {
        const std::string bytes = ToUtf8(mClipboardText);
        if (long(bytes.size()) <= maxBytes)
            put(mUtf8, 8, bytes.data(), int(bytes.size()));
    } else if (hasText && request.target == XA_STRING) {
        // Latin-1 only: a text it cannot carry is refused, never mangled.
        if (auto latin = ToLatin1(mClipboardText); latin && long(latin->size()) <= maxBytes)
            put(XA_STRING, 8, latin->data(), int(latin->size()));
    } else if (ours && mClipboardPrivate && request.target == mPrivate) {
        // The object itself never leaves the program.
        put(mPrivate, 8, "", 0);
    }
    XSendEvent(mDisplay, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(mDisplay);
}

bool XWindowSystem::WaitForSelection(Atom target, uint32_t deadlineMs, std::optional<std::string>& bytes)
{
    XDeleteProperty(mDisplay, mUtility, mTransfer);
    XConvertSelection(mDisplay, mClipboard, target, mTransfer, mUtility, mLastTime);
    XFlush(mDisplay);
    for (;;) {
        XEvent xe;
        if (XCheckTypedWindowEvent(mDisplay, mUtility, SelectionNotify, &xe)) {
            if (xe.xselection.selection != mClipboard || xe.xselection.target != target)
                continue;
            if (xe.xselection.property == None)
                return true;  // the owner has no such target
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            const long maxLongs = long(kMaxForeignClipboardBytes / 4) + 1;
            if (XGetWindowProperty(mDisplay, mUtility, mTransfer, 0, maxLongs, True, AnyPropertyType, &type,
                                   &format, &count, &after, &data) == Success) {
                // Incremental transfers are only used for huge data: refused.
                if (data && type != mIncr && format == 8 && after == 0 && count <= kMaxForeignClipboardBytes)
                    bytes = std::string(reinterpret_cast<const char*>(data), count);
            }
            if (data)
                XFree(data);
            XDeleteProperty(mDisplay, mUtility, mTransfer);
            return true;
        }
        // Other traffic meanwhile is kept for the loop; requests for our own
        // selection are answered so that two copies cannot wait on each other.
        while (XPending(mDisplay) > 0) {
            XEvent other;
            XPeekEvent(mDisplay, &other);
            if (other.type == SelectionNotify && other.xselection.requestor == mUtility)
                break;
            XNextEvent(mDisplay, &other);
            Translate(other);
        }
        if (XCheckTypedWindowEvent(mDisplay, mUtility, SelectionNotify, &xe)) {
            XPutBackEvent(mDisplay, &xe);
            continue;
        }
        const uint64_t now = NowMs();
        if (now >= deadlineMs)
            return false;
        pollfd p{ConnectionNumber(mDisplay), POLLIN, 0};
        poll(&p, 1, int(deadlineMs - now));
    }
}

std::optional<std::u16string> XWindowSystem::ReadClipboardText(uint32_t timeoutMs)
{
    if (ConfirmOwnership())
        return mClipboardPrivate ? std::nullopt : std::optional<std::u16string>(mClipboardText);
    if (XGetSelectionOwner(mDisplay, mClipboard) == None)
        return std::nullopt;
    const uint64_t deadline = NowMs() + timeoutMs;
    std::optional<std::string> bytes;
    if (!WaitForSelection(mUtf8, uint32_t(deadline), bytes))
        return std::nullopt;
    if (bytes)
        return DecodeForeignUtf8(*bytes, kMaxForeignClipboardBytes);
    if (!WaitForSelection(XA_STRING, uint32_t(deadline), bytes) || !bytes)
        return std::nullopt;
    return FromLatin1(*bytes);
}

}  // namespace

std::unique_ptr<IWindowSystem> OpenXWindowSystem(const char* displayName)
{
    static const bool threads = XInitThreads() != 0;
    (void)threads;
    static const bool handler = (XSetErrorHandler(IgnoreError), XSetIOErrorHandler(OnIoError), true);
    (void)handler;
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return nullptr;
    return std::make_unique<XWindowSystem>(display);
}

bool AttachToLoop(IWindowSystem& system, App::IMessageLoop& loop, std::function<void(const Event&)> handler)
{
    const int fd = system.GetFd();
    IWindowSystem* target = &system;
    auto shared = std::make_shared<std::function<void(const Event&)>>(std::move(handler));
    if (!loop.AddFd(fd, POLLIN, [target, shared](int, short) {
            Event e;
            while (target->NextEvent(e))
                (*shared)(e);
        }))
        return false;
    return loop.SetFdBufferedProbe(fd, [target] { return target->HasBufferedEvents(); });
}

void DetachFromLoop(IWindowSystem& system, App::IMessageLoop& loop)
{
    loop.RemoveFd(system.GetFd());
}

void AddConnectionLostAction(std::function<void()> action)
{
    std::lock_guard lock(ActionsLock());
    Actions().push_back(std::move(action));
}

void ConnectionLost(const char* why)
{
    static std::atomic<bool> running{false};
    if (!running.exchange(true)) {
        std::vector<std::function<void()>> actions;
        {
            std::lock_guard lock(ActionsLock());
            actions = Actions();
        }
        for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
            try {
                (*it)();
            } catch (...) {
            }
        }
        std::fprintf(stderr, "Display lost: %s; the program ends.\n", why);
        std::fflush(stderr);
        _exit(1);
    }
    // A second thread losing its own connection waits for the first to exit.
    for (;;)
        pause();
}

}  // namespace Tavo::Platform::Window
