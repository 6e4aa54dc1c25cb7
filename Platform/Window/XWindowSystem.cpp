// IWindowSystem on Xlib: top-level windows with the window manager's hints,
// activation and keep-above, pointer and cursors, presenting ARGB pixels
// through MIT-SHM images, and the translation of X events into records.
// One file because every part shares the one display connection and its atoms.
#include "Platform/App/ChildProcess.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/App/SingleInstance.h"
#include "Platform/Kernel/TextCoding.h"
#include "Platform/Window/WindowSystem.h"
#include "Platform/Window/XClipboard.h"
#include "Platform/Window/XInputTranslator.h"
#include "Platform/Window/XSettings.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

using XWin = ::Window;

namespace Tavo::Platform::Window {

namespace {

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

// Owns the selection and receives transfers.
XWin MakeUtilityWindow(Display* display, XWin root)
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    return XCreateWindow(display, root, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent,
                         CWEventMask, &attributes);
}

// Motif window-manager hints: the buttons and actions a frame offers.
constexpr long kMwmHintsFunctions = 1, kMwmHintsDecorations = 2;
constexpr long kMwmFuncResize = 2, kMwmFuncMove = 4, kMwmFuncMinimize = 8, kMwmFuncClose = 32;
constexpr long kMwmDecorBorder = 2, kMwmDecorResizeH = 4, kMwmDecorTitle = 8, kMwmDecorMenu = 16,
               kMwmDecorMinimize = 32;
// _NET_WM_STATE requests.
constexpr long kNetWmStateRemove = 0, kNetWmStateAdd = 1;
// Who asks the window manager: an application, or a pager acting for the user.
constexpr long kSourceApplication = 1, kSourcePager = 2;
// WM_STATE as the window manager writes it.
constexpr long kIconicState = 3;

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
    std::optional<std::string> GetDesktopSetting(const std::string& name) const override
    {
        return ReadXSettingString(mDisplay, mScreen, name);
    }
    void Activate(WindowId window) override;
    void SetFocus(WindowId window) override;
    WindowId GetFocusWindow() const override;
    void SetKeepAbove(WindowId window, bool above) override;
    void QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons, uint32_t& modifiers) const override;
    bool IsKeyDown(uint32_t virtualKey) const override { return mInput.IsKeyDown(virtualKey); }
    bool WarpPointer(int32_t rootX, int32_t rootY) override;
    bool GrabPointer(WindowId window) override;
    void UngrabPointer() override;
    CursorId LoadCursor(const std::string& name) override;
    void SetCursor(WindowId window, CursorId cursor) override;
    void Present(WindowId window, const PixelView& image, const Rect* rects, size_t count) override;
    PixelBuffer MapImage(WindowId window, int32_t width, int32_t height) override;
    void FinishPresents(WindowId window) override;
    int GetFd() const override { return ConnectionNumber(mDisplay); }
    bool NextEvent(Event& event) override;
    bool HasBufferedEvents() const override;
    void Flush() override { XFlush(mDisplay); }
    void Sync() override { XSync(mDisplay, False); }
    uint64_t MarkArrivedEvents() override;
    std::vector<WindowId> TakeCloseRequestsSince(uint64_t mark) override;
    bool SetClipboardText(WindowId, const std::u16string& text) override
    {
        return mClipboard.SetText(text, mInput.LastTime());
    }
    bool SetClipboardPrivate(WindowId) override { return mClipboard.SetPrivate(mInput.LastTime()); }
    bool OwnsClipboard() const override { return mClipboard.Owns(); }
    uint32_t GetClipboardSequence() const override { return mClipboard.Sequence(); }
    bool ClipboardHasPrivate() const override { return mClipboard.HasPrivate(); }
    std::optional<std::u16string> ReadClipboardText(uint32_t timeoutMs) override
    {
        return mClipboard.ReadText(timeoutMs, mInput.LastTime());
    }

private:
    struct WindowState
    {
        XIC ic = nullptr;
        bool mapped = false;
        bool focusOnMap = false;     // asked to take the focus before it showed
        bool activateOnMap = false;  // asked to come to the front before it showed
        // The back buffer that dirty rectangles are copied through.
        XImage* image = nullptr;
        XShmSegmentInfo shm{};
        // Shared-memory copies the server has not reported done.
        uint32_t shmPending = 0;
        std::vector<uint32_t> plainPixels;
    };

    Atom A(const char* name) const { return XInternAtom(mDisplay, name, False); }
    void Translate(XEvent& xe);
    // Reads one event from the connection into the queue, numbered.
    void ReadOne();
    // Opens the input method and gives each window its context, once, at
    // the first focus or key: loading it costs more than the first frame's
    // drawing, and nothing needs it before the keyboard does.
    void OpenInputMethod();
    XIC CreateInputContext(XWin window);
    bool EnsureImage(WindowId window, WindowState& state, int32_t width, int32_t height);
    void FreeImage(WindowState& state);
    // Waits only when the server may still read the image about to be overwritten.
    void FinishPendingCopies(WindowId window, WindowState& state);
    bool IsIconic(WindowId window) const;
    void SendToRoot(WindowId window, Atom type, long l0, long l1, long l2, long l3);

    Display* mDisplay;
    int mScreen;
    XWin mRoot;
    XWin mUtility;  // owns the selection and receives transfers
    XIM mIm = nullptr;
    bool mImOpened = false;
    bool mShmAvailable = false;
    int mShmCompletion = -1;  // the completion event's type
    int mRandrEventBase = -1;
    double mDpi = 96.0;
    std::map<WindowId, WindowState> mWindows;
    // Ours that holds the input focus, as its focus events report: asking
    // the server would be a round trip at every pointer move.
    WindowId mFocusWindow = 0;
    std::deque<Event> mQueue;
    uint64_t mSerial = 0;
    std::map<std::string, CursorId> mCursors;
    XInputTranslator mInput;
    XClipboard mClipboard;

    Atom mProtocols, mDeleteWindow, mPing, mNetWmName, mUtf8, mNetWmIcon, mWorkArea, mActiveWindow,
        mFrameExtents, mWmPid, mWindowType, mWindowTypeSplash, mWmState, mSkipTaskbar, mStateAbove,
        mMotifHints, mIcccmState;
};

XWindowSystem::XWindowSystem(Display* display)
    : mDisplay(display), mScreen(DefaultScreen(display)), mRoot(RootWindow(display, mScreen)),
      mUtility(MakeUtilityWindow(display, mRoot)), mInput(display, mQueue),
      mClipboard(display, mUtility, [this](XEvent& xe) { Translate(xe); })
{
    XSetIOErrorExitHandler(mDisplay, OnIoErrorExit, nullptr);
    // One round trip for all of them.
    {
        const char* names[] = {"WM_PROTOCOLS",
                               "WM_DELETE_WINDOW",
                               "_NET_WM_PING",
                               "_NET_WM_NAME",
                               "UTF8_STRING",
                               "_NET_WM_ICON",
                               "_NET_WORKAREA",
                               "_NET_ACTIVE_WINDOW",
                               "_NET_FRAME_EXTENTS",
                               "_NET_WM_PID",
                               "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_TYPE_SPLASH",
                               "_NET_WM_STATE",
                               "_NET_WM_STATE_SKIP_TASKBAR",
                               "_NET_WM_STATE_ABOVE",
                               "_MOTIF_WM_HINTS",
                               "WM_STATE"};
        Atom* atoms[] = {&mProtocols,  &mDeleteWindow,     &mPing,         &mNetWmName,    &mUtf8,
                         &mNetWmIcon,  &mWorkArea,         &mActiveWindow, &mFrameExtents, &mWmPid,
                         &mWindowType, &mWindowTypeSplash, &mWmState,      &mSkipTaskbar,  &mStateAbove,
                         &mMotifHints, &mIcccmState};
        static_assert(std::size(names) == std::size(atoms));
        Atom interned[std::size(names)] = {};
        XInternAtoms(mDisplay, const_cast<char**>(names), int(std::size(names)), False, interned);
        for (size_t i = 0; i < std::size(names); ++i)
            *atoms[i] = interned[i];
    }

    Bool detectable = False;
    XkbSetDetectableAutoRepeat(mDisplay, True, &detectable);

    int major = 0, minor = 0;
    Bool pixmaps = False;
    // Shared memory only helps a server on this machine.
    const char* name = DisplayString(mDisplay);
    const bool local = name && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0);
    mShmAvailable = local && XShmQueryVersion(mDisplay, &major, &minor, &pixmaps);
    if (mShmAvailable)
        mShmCompletion = XShmGetEventBase(mDisplay) + ShmCompletion;

    // Changes of the screen's size, the display-change notice.
    int randrErrorBase = 0;
    if (XRRQueryExtension(mDisplay, &mRandrEventBase, &randrErrorBase))
        XRRSelectInput(mDisplay, mRoot, RRScreenChangeNotifyMask);
    else
        mRandrEventBase = -1;
    // The window manager's work area as it changes; nothing else of ours
    // selects on the root, so this is the whole mask (and no round trip).
    XSelectInput(mDisplay, mRoot, PropertyChangeMask);

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
    if (!params.splash && (!params.resizable || !params.maximizable)) {
        // No maximize button, and no resizing frame for a fixed size.
        long hints[5] = {kMwmHintsFunctions | kMwmHintsDecorations,
                         kMwmFuncMove | kMwmFuncMinimize | kMwmFuncClose,
                         kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu | kMwmDecorMinimize, 0, 0};
        if (params.resizable) {
            hints[1] |= kMwmFuncResize;
            hints[2] |= kMwmDecorResizeH;
        }
        XChangeProperty(mDisplay, window, mMotifHints, mMotifHints, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(hints), 5);
    }
    if (params.transientFor)
        XSetTransientForHint(mDisplay, window, XWin(params.transientFor));
    SetTitle(WindowId(window), params.title);
    if (params.resizable)
        SetSizeLimits(WindowId(window), params.minWidth, params.minHeight, params.maxWidth, params.maxHeight);
    else
        SetSizeLimits(WindowId(window), width, height, width, height);

    if (mIm)
        state.ic = CreateInputContext(window);
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
    state.shmPending = 0;
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
    if (mFocusWindow == window)
        mFocusWindow = 0;
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

void XWindowSystem::SendToRoot(WindowId window, Atom type, long l0, long l1, long l2, long l3)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = XWin(window);
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    XSendEvent(mDisplay, mRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

bool XWindowSystem::IsIconic(WindowId window) const
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool iconic = false;
    if (XGetWindowProperty(mDisplay, XWin(window), mIcccmState, 0, 2, False, mIcccmState, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && count >= 1)
        iconic = reinterpret_cast<const long*>(data)[0] == kIconicState;
    if (data)
        XFree(data);
    return iconic;
}

void XWindowSystem::Activate(WindowId window)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end())
        return;
    it->second.activateOnMap = !it->second.mapped;
    // A minimised window is mapped again: the window manager restores it.
    if (IsIconic(window))
        XMapWindow(mDisplay, XWin(window));
    // Every activation this program asks for is the user's doing (its window
    // shown at start, a second start handing over): it speaks as a pager
    // does, so that focus-stealing prevention does not turn it down.
    SendToRoot(window, mActiveWindow, kSourcePager, long(mInput.LastTime()), 0, 0);
    XRaiseWindow(mDisplay, XWin(window));
    // Without a window manager nobody answers the message: focus it directly.
    SetFocus(window);
    // Nothing else may be on its way out while the program idles.
    XFlush(mDisplay);
}

void XWindowSystem::SetKeepAbove(WindowId window, bool above)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end())
        return;
    if (it->second.mapped) {
        SendToRoot(window, mWmState, above ? kNetWmStateAdd : kNetWmStateRemove, long(mStateAbove), 0,
                   kSourceApplication);
    } else {
        // A window not yet shown states its wishes in the property itself.
        std::vector<Atom> states;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(mDisplay, XWin(window), mWmState, 0, 64, False, XA_ATOM, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32)
            states.assign(reinterpret_cast<const Atom*>(data), reinterpret_cast<const Atom*>(data) + count);
        if (data)
            XFree(data);
        std::erase(states, mStateAbove);
        if (above)
            states.push_back(mStateAbove);
        XChangeProperty(mDisplay, XWin(window), mWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states.data()), int(states.size()));
    }
    XFlush(mDisplay);
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
    // The server hands the focus over before it handles anything later, so
    // the press that asked for it already counts as the window's; a focus
    // event that says otherwise corrects it.
    mFocusWindow = window;
}

WindowId XWindowSystem::GetFocusWindow() const
{
    return mFocusWindow;
}

void XWindowSystem::QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons, uint32_t& modifiers) const
{
    XWin root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(mDisplay, mRoot, &root, &child, &rx, &ry, &wx, &wy, &mask);
    rootX = rx;
    rootY = ry;
    buttons = XInputTranslator::ButtonsOfState(mask);
    modifiers = mInput.Modifiers(mask);
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

void XWindowSystem::FinishPendingCopies(WindowId window, WindowState& state)
{
    // The completion of the last copy has usually arrived long before the
    // next frame: only a frame that follows at once waits for the server.
    XEvent done;
    while (state.shmPending > 0 && XCheckTypedWindowEvent(mDisplay, XWin(window), mShmCompletion, &done))
        --state.shmPending;
    if (state.shmPending == 0)
        return;
    XSync(mDisplay, False);
    while (XCheckTypedWindowEvent(mDisplay, XWin(window), mShmCompletion, &done)) {
    }
    state.shmPending = 0;
}

namespace {

// Whether the image's pixels are 0x??RRGGBB words as the surfaces keep them.
bool IsDirect(const XImage* image)
{
    return image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
           image->blue_mask == 0xFF && image->byte_order == LSBFirst;
}

}  // namespace

PixelBuffer XWindowSystem::MapImage(WindowId window, int32_t width, int32_t height)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end() || width < 1 || height < 1)
        return {};
    WindowState& state = it->second;
    if (!EnsureImage(window, state, width, height) || !IsDirect(state.image))
        return {};
    FinishPendingCopies(window, state);
    return {reinterpret_cast<uint32_t*>(state.image->data), width, height, state.image->bytes_per_line / 4};
}

void XWindowSystem::FinishPresents(WindowId window)
{
    auto it = mWindows.find(window);
    if (it != mWindows.end() && it->second.shmPending)
        FinishPendingCopies(window, it->second);
}

void XWindowSystem::Present(WindowId window, const PixelView& image, const Rect* rects, size_t count)
{
    auto it = mWindows.find(window);
    if (it == mWindows.end() || !image.pixels || count == 0)
        return;
    WindowState& state = it->second;
    if (!EnsureImage(window, state, image.width, image.height))
        return;
    if (state.shmPending)
        FinishPendingCopies(window, state);
    std::vector<Rect> clipped;
    clipped.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const Rect& r = rects[i];
        const int32_t x0 = std::max(0, r.x), y0 = std::max(0, r.y);
        const int32_t x1 = std::min(image.width, r.x + r.width), y1 = std::min(image.height, r.y + r.height);
        if (x1 > x0 && y1 > y0)
            clipped.push_back(Rect{x0, y0, x1 - x0, y1 - y0});
    }
    XImage* target = state.image;
    const bool direct = IsDirect(target);
    // Pixels drawn in the mapped image itself are sent as they are.
    const bool inPlace = direct && image.pixels == reinterpret_cast<const uint32_t*>(target->data) &&
                         size_t(image.stride) * 4 == size_t(target->bytes_per_line);
    GC gc = DefaultGC(mDisplay, mScreen);
    for (size_t i = 0; i < clipped.size(); ++i) {
        const Rect& r = clipped[i];
        for (int32_t y = r.y; y < r.y + r.height && !inPlace; ++y) {
            const uint32_t* src = image.pixels + size_t(y) * size_t(image.stride) + size_t(r.x);
            if (direct) {
                std::memcpy(target->data + size_t(y) * size_t(target->bytes_per_line) + size_t(r.x) * 4, src,
                            size_t(r.width) * 4);
            } else {
                for (int32_t x = 0; x < r.width; ++x)
                    XPutPixel(target, r.x + x, y, src[x] & 0xFFFFFF);
            }
        }
        if (state.shm.shmaddr) {
            // Copies are done in order: the last one's completion covers all.
            const bool last = i + 1 == clipped.size();
            XShmPutImage(mDisplay, XWin(window), gc, target, r.x, r.y, r.x, r.y, unsigned(r.width),
                         unsigned(r.height), last ? True : False);
            if (last)
                ++state.shmPending;
        } else {
            XPutImage(mDisplay, XWin(window), gc, target, r.x, r.y, r.x, r.y, unsigned(r.width),
                      unsigned(r.height));
        }
    }
    XFlush(mDisplay);
}

XIC XWindowSystem::CreateInputContext(XWin window)
{
    return XCreateIC(mIm, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window,
                     XNFocusWindow, window, nullptr);
}

void XWindowSystem::OpenInputMethod()
{
    if (mImOpened)
        return;
    mImOpened = true;
    XSetLocaleModifiers("");
    mIm = XOpenIM(mDisplay, nullptr, nullptr, nullptr);
    if (!mIm)
        return;
    for (auto& [id, state] : mWindows)
        if (!state.ic)
            state.ic = CreateInputContext(XWin(id));
}

void XWindowSystem::Translate(XEvent& xe)
{
    if (xe.type == KeyPress || xe.type == KeyRelease || xe.type == FocusIn)
        OpenInputMethod();
    if (XFilterEvent(&xe, None))
        return;
    switch (xe.type) {
    case KeyPress:
    case KeyRelease: {
        auto it = mWindows.find(WindowId(xe.xkey.window));
        mInput.Key(xe.xkey, xe.type == KeyPress, it != mWindows.end() ? it->second.ic : nullptr);
        break;
    }
    case ButtonPress:
    case ButtonRelease:
        mInput.Button(xe.xbutton, xe.type == ButtonPress);
        break;
    case MotionNotify:
        mInput.Motion(xe);
        break;
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
        if (it->second.mapped && it->second.activateOnMap) {
            // A window manager ignores the request for a window it does not
            // manage yet: asked again now that it does.
            it->second.activateOnMap = false;
            SendToRoot(it->first, mActiveWindow, kSourcePager, long(mInput.LastTime()), 0, 0);
            XFlush(mDisplay);
        }
        if (it->second.mapped && it->second.focusOnMap) {
            it->second.focusOnMap = false;
            XSetInputFocus(mDisplay, XWin(it->first), RevertToParent, CurrentTime);
            mFocusWindow = it->first;
        }
        Event e;
        e.type = xe.type == MapNotify ? EventType::Map : EventType::Unmap;
        e.window = it->first;
        mQueue.push_back(std::move(e));
        break;
    }
    case DestroyNotify: {
        // Ours are forgotten before they are destroyed: this one went by
        // another client's hand.
        if (xe.xdestroywindow.window != xe.xdestroywindow.event ||
            !mWindows.count(WindowId(xe.xdestroywindow.window)))
            break;
        Event e;
        e.type = EventType::Destroyed;
        e.window = WindowId(xe.xdestroywindow.window);
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
        // The window itself has the focus only for these; the others
        // (virtual) put it in a window inside it.
        const bool itself = xe.xfocus.detail == NotifyAncestor || xe.xfocus.detail == NotifyInferior ||
                            xe.xfocus.detail == NotifyNonlinear;
        if (xe.type == FocusIn && itself)
            mFocusWindow = it->first;
        else if (mFocusWindow == it->first)
            mFocusWindow = 0;
        if (xe.type == FocusIn) {
            mInput.RefreshHeldKeys();
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
        mClipboard.OnSelectionRequest(xe.xselectionrequest);
        break;
    case SelectionClear:
        mClipboard.OnSelectionClear(xe.xselectionclear);
        break;
    default:
        if (xe.type == mShmCompletion) {
            auto it = mWindows.find(WindowId(xe.xany.window));
            if (it != mWindows.end() && it->second.shmPending > 0)
                --it->second.shmPending;
        } else if (xe.type == PropertyNotify && xe.xproperty.window == mRoot &&
                   xe.xproperty.atom == mWorkArea) {
            Event e;
            e.type = EventType::WorkAreaChanged;
            mQueue.push_back(std::move(e));
        } else if (mRandrEventBase >= 0 && xe.type == mRandrEventBase + RRScreenChangeNotify) {
            XRRUpdateConfiguration(&xe);
            Event e;
            e.type = EventType::DisplayChanged;
            e.rect = GetScreenRect();
            mQueue.push_back(std::move(e));
        }
        break;
    }
}

bool XWindowSystem::NextEvent(Event& event)
{
    std::deque<Event>& lost = mClipboard.LostNotices();
    while (!lost.empty()) {
        mQueue.push_back(std::move(lost.front()));
        lost.pop_front();
    }
    while (mQueue.empty() && XPending(mDisplay) > 0)
        ReadOne();
    if (mQueue.empty())
        return false;
    event = std::move(mQueue.front());
    mQueue.pop_front();
    return true;
}

void XWindowSystem::ReadOne()
{
    XEvent xe;
    XNextEvent(mDisplay, &xe);
    const size_t before = mQueue.size();
    Translate(xe);
    for (size_t i = before; i < mQueue.size(); ++i)
        mQueue[i].serial = ++mSerial;
}

uint64_t XWindowSystem::MarkArrivedEvents()
{
    XSync(mDisplay, False);
    while (XPending(mDisplay) > 0)
        ReadOne();
    return mSerial;
}

std::vector<WindowId> XWindowSystem::TakeCloseRequestsSince(uint64_t mark)
{
    MarkArrivedEvents();
    std::vector<WindowId> windows;
    std::erase_if(mQueue, [&](const Event& e) {
        const bool take = e.type == EventType::CloseRequest && e.serial > mark;
        if (take)
            windows.push_back(e.window);
        return take;
    });
    return windows;
}

bool XWindowSystem::HasBufferedEvents() const
{
    return !mQueue.empty() || !mClipboard.LostNotices().empty() || XEventsQueued(mDisplay, QueuedAlready) > 0;
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
        App::RemoveHandOverSockets();
        // A helper window (the file chooser) goes with the program.
        App::EndChildProcesses();
        std::fprintf(stderr, "Display lost: %s; the program ends.\n", why);
        std::fflush(stderr);
        _exit(1);
    }
    // A second thread losing its own connection waits for the first to exit.
    for (;;)
        pause();
}

}  // namespace Tavo::Platform::Window
