#pragma once

#include "Application/AppInterfaces.h"
#include "Platform/Window/WindowSystem.h"

#include <functional>
#include <optional>
#include <utility>

namespace Tavo::Platform::App {
class IMessageLoop;
}

namespace Tavo {

// The program's one display connection for its windows, opened when the
// first window wants it (runs without a window never need a display), joined
// to the interface thread's loop, and the routing of its events to windows.
namespace WindowHost {

using Handler = std::function<void(const Platform::Window::Event&)>;

// Null when no display can be reached.
Platform::Window::IWindowSystem* System();
// The connection when the windows already hold one, else null; never
// connects, so what only asks the desktop costs a windowless run nothing.
Platform::Window::IWindowSystem* Connected();
Platform::App::IMessageLoop& Loop();
// Tests: use this system and loop (not owned) instead of connecting; null
// goes back to connecting on demand.
void Use(Platform::Window::IWindowSystem* system, Platform::App::IMessageLoop* loop);
void Register(Platform::Window::WindowId window, Handler handler);
void Unregister(Platform::Window::WindowId window);
// Hands one event to its window, or to the clipboard handler. While a modal
// window is set, input for the other windows is dropped.
void Dispatch(const Platform::Window::Event& event);
// The modal window that is none of the program's own (another program's
// dialog over them): input reaches none of its windows.
inline constexpr Platform::Window::WindowId kOtherProgramsWindow = ~Platform::Window::WindowId(0);
// Windows that stop taking input hear InputBlocked, those that take it
// again InputResumed.
void SetModalWindow(Platform::Window::WindowId window);
Platform::Window::WindowId ModalWindow();
void SetClipboardLostHandler(std::function<void()> handler);
// True once the system bus reports sleep and wake-up to the windows.
bool HearsPowerChanges();

// The theme name of a platform cursor id, empty for none or unknown.
const char* CursorThemeName(CursorHandle cursor);
// The window system's cursor for a platform cursor id; null stays null.
Platform::Window::CursorId NativeCursor(CursorHandle cursor);

}  // namespace WindowHost

// Desktop state through the window system; without a display the answers
// of a 1024 x 768 desktop with nothing pressed.
class DesktopServices final : public IDesktopServices
{
public:
    WindowRect GetDesktopRect() const override;
    WindowRect GetWorkArea() const override;
    bool GetKeyState(uint32_t virtualKey, bool& down, bool& toggled) const override;
    void GetCursorPosition(int32_t& x, int32_t& y) const override;
    bool SetCursorPosition(int32_t x, int32_t y) override;
    int32_t ShowCursor(bool show) override;
    bool GetFontName(std::string& name) const override;
    void HoldAnswers(bool hold) override;

private:
    // The window system's answer, or while answers are held the one asked
    // first.
    WindowRect Ask(std::optional<WindowRect>& held,
                   Platform::Window::Rect (Platform::Window::IWindowSystem::*question)() const) const;

    int32_t mCursorCount = 0;
    int32_t mHolds = 0;
    mutable std::optional<WindowRect> mDesktopRect, mWorkArea;
    mutable std::optional<std::pair<int32_t, int32_t>> mPointer;
};

}  // namespace Tavo
