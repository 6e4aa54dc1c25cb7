#pragma once

// A small interface over the window system: top-level windows with the
// window manager's conventions, input translated to neutral records, dirty
// rectangles presented from 32-bit ARGB pixels, cursors by theme name and the
// clipboard. XWindowSystem talks to an X server; FakeWindowSystem keeps
// everything in memory for tests without a display.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Tavo::Platform::App {
class IMessageLoop;
}

namespace Tavo::Platform::Window {

// 0 is no window.
using WindowId = uint64_t;
// 0 is no cursor: the window shows its parent's.
using CursorId = uint64_t;

struct Rect
{
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
    bool IsEmpty() const { return width <= 0 || height <= 0; }
};

// Modifier mask of input records: the framework's raw bits.
inline constexpr uint32_t kModCtrl = 0x1, kModLeftCtrl = 0x2, kModRightCtrl = 0x4;
inline constexpr uint32_t kModShift = 0x8, kModLeftShift = 0x10, kModRightShift = 0x20;
inline constexpr uint32_t kModAlt = 0x40, kModLeftAlt = 0x80, kModRightAlt = 0x100;
inline constexpr uint32_t kModWin = 0x200, kModLeftWin = 0x400, kModRightWin = 0x800;

// Buttons: 1 left, 2 middle, 4 right.
inline constexpr uint32_t kButtonLeft = 1, kButtonMiddle = 2, kButtonRight = 4;

// One wheel notch.
inline constexpr int32_t kWheelStep = 120;

enum class EventType : uint8_t {
    Exposed,       // rect: area to repaint, client coordinates
    Configure,     // rect: client origin on the screen and client size
    CloseRequest,  // the window manager asks the window to close
    FocusGained,
    FocusLost,
    KeyDown,     // virtualKey, modifiers, previousDown (auto-repeat)
    KeyUp,       // virtualKey, modifiers; previousDown is always true
    Character,   // text (one character, UTF-16), modifiers
    ButtonDown,  // button, x, y, modifiers, buttons held after, doubleClick
    ButtonUp,
    Motion,  // x, y, modifiers, buttons
    Wheel,   // wheelDelta (+120 away from the user / right), horizontal
    Enter,
    Leave,
    Map,
    Unmap,
    ClipboardLost,  // another client took the clipboard
    Destroyed,      // another client destroyed the window
    // For every window (window 0):
    DisplayChanged,   // rect: the screen's new size
    WorkAreaChanged,  // the window manager published another work area
    PowerChanged,     // suspending: the machine goes to sleep (true) or woke up
    // From the program itself: a modal window elsewhere takes the input from
    // now on, or no longer.
    InputBlocked,
    InputResumed,
};

struct Event
{
    EventType type = EventType::Exposed;
    WindowId window = 0;
    int32_t x = 0, y = 0;          // client coordinates
    int32_t rootX = 0, rootY = 0;  // screen coordinates
    Rect rect;
    uint32_t modifiers = 0;
    uint32_t button = 0;
    uint32_t buttons = 0;
    bool doubleClick = false;
    uint32_t virtualKey = 0;
    bool previousDown = false;
    std::u16string text;
    int32_t wheelDelta = 0;
    bool horizontal = false;
    uint32_t time = 0;  // server milliseconds
    bool suspending = false;
    // The order the window system read it in, from 1; 0 for its own notices.
    uint64_t serial = 0;
};

struct WindowParams
{
    std::string title;  // UTF-8
    std::string className = "Tavo";
    std::string instanceName = "tavo";
    Rect rect{0, 0, 640, 480};  // client area; x and y on the screen
    bool resizable = true;
    // A frame without a maximize button when false.
    bool maximizable = true;
    int32_t minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;  // 0: none
    // A borderless splash: no decoration, not in the task bar, never focused.
    bool splash = false;
    WindowId transientFor = 0;
};

// Image rows of 32-bit ARGB (premultiplied is fine: alpha is not shown).
struct PixelView
{
    const uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0;
    int32_t stride = 0;  // in pixels
};

// Writable image rows as PixelView.
struct PixelBuffer
{
    uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0;
    int32_t stride = 0;  // in pixels
};

class IWindowSystem
{
public:
    virtual ~IWindowSystem() = default;

    virtual WindowId CreateWindow(const WindowParams& params) = 0;
    virtual void DestroyWindow(WindowId window) = 0;
    virtual void Show(WindowId window, bool show) = 0;
    virtual bool IsShown(WindowId window) const = 0;
    virtual void SetTitle(WindowId window, const std::string& utf8) = 0;
    // ARGB, non-premultiplied; width x height pixels.
    virtual void SetIcon(WindowId window, int32_t width, int32_t height, const uint32_t* argb) = 0;
    virtual void SetSizeLimits(WindowId window, int32_t minWidth, int32_t minHeight, int32_t maxWidth,
                               int32_t maxHeight) = 0;
    // The client area's screen position and size.
    virtual void MoveResize(WindowId window, const Rect& client) = 0;
    virtual Rect GetClientRect(WindowId window) const = 0;
    // The frame's extents around the client area: left, top, right, bottom.
    virtual Rect GetFrameExtents(WindowId window) const = 0;
    virtual Rect GetWorkArea() const = 0;
    virtual Rect GetScreenRect() const = 0;
    virtual double GetDpi() const = 0;
    // A string the desktop's settings manager publishes (XSETTINGS), such
    // as "Gtk/FontName"; nothing when none runs or it has no such setting.
    virtual std::optional<std::string> GetDesktopSetting(const std::string&) const { return std::nullopt; }

    // Raises and focuses the window through the window manager.
    virtual void Activate(WindowId window) = 0;
    virtual void SetFocus(WindowId window) = 0;
    virtual WindowId GetFocusWindow() const = 0;
    // Asks the window manager to keep the window above the others
    // (_NET_WM_STATE_ABOVE), or no longer.
    virtual void SetKeepAbove(WindowId window, bool above) = 0;
    // The pointer's screen position, buttons and modifiers.
    virtual void QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons,
                              uint32_t& modifiers) const = 0;
    // The virtual key's state from the server: down.
    virtual bool IsKeyDown(uint32_t virtualKey) const = 0;
    virtual bool WarpPointer(int32_t rootX, int32_t rootY) = 0;
    virtual bool GrabPointer(WindowId window) = 0;
    virtual void UngrabPointer() = 0;

    // A cursor of the theme by name ("left_ptr", "xterm", "watch", ...);
    // the server's own cursor font stands in; 0 when neither knows the name.
    virtual CursorId LoadCursor(const std::string& name) = 0;
    virtual void SetCursor(WindowId window, CursorId cursor) = 0;

    // Copies the rectangles of the image to the same place in the window.
    virtual void Present(WindowId window, const PixelView& image, const Rect* rects, size_t count) = 0;
    // The pixels the window is shown from, width x height at their stride,
    // for the caller to draw into and Present without a copy; their
    // content is undefined. Valid until the next call for the window or
    // its end; null pixels where the display cannot show them as they are.
    virtual PixelBuffer MapImage(WindowId, int32_t, int32_t) { return {}; }
    // Waits until the server is done reading the mapped pixels, before they
    // are drawn into again.
    virtual void FinishPresents(WindowId) {}

    // The connection's descriptor, -1 when there is none.
    virtual int GetFd() const = 0;
    // Reads what the server sent without waiting; true when an event came.
    virtual bool NextEvent(Event& event) = 0;
    // Whether events wait in the client-side buffer (poll would not see them).
    virtual bool HasBufferedEvents() const = 0;
    virtual void Flush() = 0;
    // A round trip: every event the server produced before is then buffered.
    virtual void Sync() = 0;
    // Reads in all the server has sent so far (a round trip) and returns
    // where it ends. A handler that keeps the loop waiting (a device probe)
    // takes a mark first: what arrives during the wait comes after it.
    virtual uint64_t MarkArrivedEvents() { return 0; }
    // The close requests that arrived after `mark`, read in now and taken
    // out of the queue; everything else stays in order.
    virtual std::vector<WindowId> TakeCloseRequestsSince(uint64_t) { return {}; }

    // Clipboard: this client offers the text (or only its private target)
    // until another client takes the selection. owner: any window of ours.
    virtual bool SetClipboardText(WindowId owner, const std::u16string& text) = 0;
    virtual bool SetClipboardPrivate(WindowId owner) = 0;
    virtual bool OwnsClipboard() const = 0;
    // Grows whenever the clipboard changes hands or content, ours or not.
    virtual uint32_t GetClipboardSequence() const = 0;
    // True while our private target is on offer.
    virtual bool ClipboardHasPrivate() const = 0;
    // Another client's text: UTF8_STRING first, then STRING; nothing when
    // there is none, it is too large or the owner does not answer in time.
    virtual std::optional<std::u16string> ReadClipboardText(uint32_t timeoutMs) = 0;
};

// Largest clipboard text accepted from another client, in bytes.
inline constexpr size_t kMaxForeignClipboardBytes = 4 * 1024 * 1024;

// Connects to $DISPLAY; null when no server can be reached.
std::unique_ptr<IWindowSystem> OpenXWindowSystem(const char* displayName = nullptr);

// Drains the connection's events into handler whenever the loop turns,
// including events already buffered before a wait.
bool AttachToLoop(IWindowSystem& system, App::IMessageLoop& loop, std::function<void(const Event&)> handler);
void DetachFromLoop(IWindowSystem& system, App::IMessageLoop& loop);

// What the program does when the display goes away; runs once, then the
// process exits with code 1 after printing why. Actions registered later
// run first.
void AddConnectionLostAction(std::function<void()> action);
// Runs the actions and exits; the X layer calls it on a fatal I/O error.
[[noreturn]] void ConnectionLost(const char* why);

}  // namespace Tavo::Platform::Window
