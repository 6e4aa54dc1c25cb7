#include "Window/Native/WindowHost.h"

#include "Application/FrameworkApp.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/Window/PowerNotices.h"

#include <map>
#include <vector>

namespace Tavo {

namespace Win = Platform::Window;

namespace {

struct HostState
{
    bool tried = false;
    std::unique_ptr<Win::IWindowSystem> owned;
    Win::IWindowSystem* system = nullptr;
    Platform::App::IMessageLoop* loop = nullptr;
    std::map<Win::WindowId, WindowHost::Handler> handlers;
    std::function<void()> clipboardLost;
    std::unique_ptr<Win::PowerNotices> power;
    Win::WindowId modal = 0;
};

// What a user does to a window, as opposed to what the display tells it.
bool IsInput(Win::EventType type)
{
    switch (type) {
    case Win::EventType::CloseRequest:
    case Win::EventType::KeyDown:
    case Win::EventType::KeyUp:
    case Win::EventType::Character:
    case Win::EventType::ButtonDown:
    case Win::EventType::ButtonUp:
    case Win::EventType::Motion:
    case Win::EventType::Wheel:
        return true;
    default:
        return false;
    }
}

HostState& State()
{
    static auto* state = new HostState;
    return *state;
}

}  // namespace

namespace WindowHost {

Win::IWindowSystem* System()
{
    HostState& s = State();
    if (!s.system && !s.tried) {
        s.tried = true;
        s.owned = Win::OpenXWindowSystem();
        if (s.owned) {
            s.system = s.owned.get();
            Win::AttachToLoop(*s.system, Loop(), Dispatch);
            // Sleep and wake-up reach the windows as the display's events do.
            s.power = Win::PowerNotices::Watch(Loop(), [](bool suspending) {
                Win::Event e;
                e.type = Win::EventType::PowerChanged;
                e.suspending = suspending;
                Dispatch(e);
            });
        }
    }
    return s.system;
}

Win::IWindowSystem* Connected()
{
    return State().system;
}

Platform::App::IMessageLoop& Loop()
{
    HostState& s = State();
    return s.loop ? *s.loop : Platform::App::MainMessageLoop();
}

void Use(Win::IWindowSystem* system, Platform::App::IMessageLoop* loop)
{
    HostState& s = State();
    s.system = system;
    s.loop = loop;
    s.tried = system != nullptr;
}

void Register(Win::WindowId window, Handler handler)
{
    State().handlers[window] = std::move(handler);
}

void Unregister(Win::WindowId window)
{
    State().handlers.erase(window);
}

void Dispatch(const Win::Event& event)
{
    HostState& s = State();
    if (event.type == Win::EventType::ClipboardLost) {
        if (s.clipboardLost)
            s.clipboardLost();
        return;
    }
    if (event.window == 0) {
        // For every window; a handler may close windows.
        std::vector<Win::WindowId> windows;
        for (const auto& [window, handler] : s.handlers)
            windows.push_back(window);
        for (Win::WindowId window : windows) {
            auto it = s.handlers.find(window);
            if (it != s.handlers.end()) {
                const Handler handler = it->second;
                handler(event);
            }
        }
        return;
    }
    if (s.modal != 0 && event.window != s.modal && IsInput(event.type)) {
        // The server holds the pointer for the window pressed until the
        // release: let it go to the modal window at once.
        if (event.type == Win::EventType::ButtonDown && s.system)
            s.system->UngrabPointer();
        return;
    }
    auto it = s.handlers.find(event.window);
    if (it == s.handlers.end())
        return;
    // The handler may unregister its window.
    const Handler handler = it->second;
    handler(event);
}

bool HearsPowerChanges()
{
    return State().power && State().power->IsListening();
}

void SetModalWindow(Win::WindowId window)
{
    HostState& s = State();
    const Win::WindowId before = s.modal;
    s.modal = window;
    const auto takes = [](Win::WindowId modal, Win::WindowId w) { return modal == 0 || modal == w; };
    std::vector<Win::Event> changes;
    for (const auto& [w, handler] : s.handlers) {
        if (takes(before, w) == takes(window, w))
            continue;
        Win::Event e;
        e.type = takes(window, w) ? Win::EventType::InputResumed : Win::EventType::InputBlocked;
        e.window = w;
        changes.push_back(e);
    }
    // A handler may close windows.
    for (const Win::Event& e : changes) {
        auto it = s.handlers.find(e.window);
        if (it != s.handlers.end()) {
            const WindowHost::Handler handler = it->second;
            handler(e);
        }
    }
}

Win::WindowId ModalWindow()
{
    return State().modal;
}

void SetClipboardLostHandler(std::function<void()> handler)
{
    State().clipboardLost = std::move(handler);
}

const char* CursorThemeName(CursorHandle cursor)
{
    switch (cursor) {
    case IDC_ARROW:
        return "left_ptr";
    case IDC_IBEAM:
        return "xterm";
    case IDC_WAIT:
        return "watch";
    case IDC_CROSS:
        return "crosshair";
    case IDC_UPARROW:
        return "sb_up_arrow";
    case IDC_SIZENWSE:
        return "bottom_right_corner";
    case IDC_SIZENESW:
        return "bottom_left_corner";
    case IDC_SIZEWE:
        return "sb_h_double_arrow";
    case IDC_SIZENS:
        return "sb_v_double_arrow";
    case IDC_SIZEALL:
        return "fleur";
    case IDC_NO:
        return "circle";
    case IDC_HAND:
        return "hand2";
    case IDC_APPSTARTING:
        return "left_ptr_watch";
    case IDC_HELP:
        return "question_arrow";
    case 102:
        return "dnd-move";  // the program's own drop cursors
    case 103:
        return "dnd-copy";
    default:
        return "";
    }
}

Win::CursorId NativeCursor(CursorHandle cursor)
{
    const char* name = CursorThemeName(cursor);
    Win::IWindowSystem* system = System();
    if (!*name || !system)
        return 0;
    return system->LoadCursor(name);
}

}  // namespace WindowHost

WindowRect DesktopServices::Ask(std::optional<WindowRect>& held,
                                Win::Rect (Win::IWindowSystem::*question)() const) const
{
    if (mHolds > 0 && held)
        return *held;
    Win::IWindowSystem* system = WindowHost::System();
    Win::Rect r{0, 0, 1024, 768};
    if (system)
        r = (system->*question)();
    const WindowRect rect{r.x, r.y, r.width, r.height};
    if (mHolds > 0)
        held = rect;
    return rect;
}

WindowRect DesktopServices::GetDesktopRect() const
{
    return Ask(mDesktopRect, &Win::IWindowSystem::GetScreenRect);
}

WindowRect DesktopServices::GetWorkArea() const
{
    return Ask(mWorkArea, &Win::IWindowSystem::GetWorkArea);
}

void DesktopServices::HoldAnswers(bool hold)
{
    mHolds += hold ? 1 : -1;
    if (mHolds <= 0) {
        mHolds = 0;
        mDesktopRect.reset();
        mWorkArea.reset();
        mPointer.reset();
    }
}

bool DesktopServices::GetKeyState(uint32_t virtualKey, bool& down, bool& toggled) const
{
    Win::IWindowSystem* system = WindowHost::System();
    down = system && system->IsKeyDown(virtualKey);
    toggled = false;
    return system != nullptr;
}

void DesktopServices::GetCursorPosition(int32_t& x, int32_t& y) const
{
    if (mHolds > 0 && mPointer) {
        x = mPointer->first;
        y = mPointer->second;
        return;
    }
    x = y = 0;
    uint32_t buttons = 0, modifiers = 0;
    if (Win::IWindowSystem* system = WindowHost::System())
        system->QueryPointer(x, y, buttons, modifiers);
    if (mHolds > 0)
        mPointer.emplace(x, y);
}

bool DesktopServices::SetCursorPosition(int32_t x, int32_t y)
{
    mPointer.reset();
    Win::IWindowSystem* system = WindowHost::System();
    return system && system->WarpPointer(x, y);
}

bool DesktopServices::GetFontName(std::string& name) const
{
    // A display that never answers would hold a run up that draws nothing.
    Win::IWindowSystem* system = WindowHost::Connected();
    const std::optional<std::string> setting =
        system ? system->GetDesktopSetting("Gtk/FontName") : std::optional<std::string>();
    if (setting)
        name = *setting;
    return setting.has_value();
}

int32_t DesktopServices::ShowCursor(bool show)
{
    // A display counter as the framework expects; the pointer stays visible.
    return show ? ++mCursorCount : --mCursorCount;
}

}  // namespace Tavo
