#pragma once

// What the application object asks of the windows, widgets and desktop. The
// window and widget code implements these; tests use fakes.

#include "ControlBase/Control.h"
#include "ControlBase/ControlClasses.h"
#include "ObjectBase/RefCountedObject.h"
#include "Renderer/Renderer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace Tavo {

class LRootWindow;

// A cursor by the standard cursor id of the platform the framework was
// designed for (32512 the arrow); the window code maps it to its own cursor.
using CursorHandle = uintptr_t;

// A top-level window's root as the application sees it.
class IAppRootWindow : public virtual LRefCountedObject
{
public:
    // Drains the key queue, delivers the window's own queued notifications,
    // carries out a pending end-modal request; true when work remains.
    virtual bool FlushKeyQueue(bool firstTurn) = 0;
    // E_FAIL without a native window.
    virtual TavoResult RequestEndModalLoop(int32_t result) = 0;
    // Re-reads the client area from the native window and repaints it all.
    virtual void RefreshAndRedraw() = 0;
    virtual bool HasNativeWindow() const = 0;
    virtual bool IsActive() const = 0;
    virtual void OnKillFocus() = 0;
    virtual void OnSetFocus() = 0;
    virtual RCPtr<LControl> GetRootControl() const = 0;
    virtual TavoResult CreateRootControl(const WString& descriptorName) = 0;
    // 0 without a native window.
    virtual uintptr_t GetNativeHandle() const = 0;
    // Returns the cursor replaced; 0 means the arrow.
    virtual CursorHandle SetCursor(CursorHandle cursor) = 0;
    // Screen coordinates.
    virtual void GetMousePosition(int32_t& x, int32_t& y) const = 0;
    // Bits 1 left, 2 middle, 4 right.
    virtual uint32_t GetMouseButtons() const = 0;
    // The window's renderer, which text is measured with; null before it has one.
    virtual RCPtr<LRenderer> GetRenderer() const { return nullptr; }
    // Makes an existing control the window's root control.
    virtual TavoResult SetRootControl(const RCPtr<LControl>&) { return E_NOTIMPL; }
    // The window as its controls reach it; null when it has none.
    virtual LRootWindow* GetControlsWindow() const { return nullptr; }
};

struct WindowRect
{
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

// The style bits the main window is created with.
inline constexpr uint32_t kWindowStyleFixed = 0x00CA0000;     // caption, system menu, minimize box
inline constexpr uint32_t kWindowStyleSizing = 0x00CE0000;    // ... and a sizing frame
inline constexpr uint32_t kWindowStyleMaximize = 0x00CF0000;  // ... and a maximize box

struct MainWindowParams
{
    WString className;
    WString title;
    uint32_t style = kWindowStyleFixed;
    WindowRect rect;
    // The native handle of the window this one belongs to; 0 for none.
    uintptr_t owner = 0;
};

// The program's icon: rows of unpremultiplied 0xAARRGGBB pixels; empty when
// the program has none.
struct AppIcon
{
    int32_t width = 0, height = 0;
    std::vector<uint32_t> argb;
};

// The program's main native window.
class IMainWindow
{
public:
    virtual ~IMainWindow() = default;
    virtual TavoResult Create(const MainWindowParams& params) = 0;
    // Makes the renderer of that type, the root window (which the window
    // adds to the application) and starts the window's 33 ms tick.
    virtual TavoResult CreateRenderer(int32_t rendererType) = 0;
    // The stored placement record, 44 bytes; ignored when it does not apply.
    virtual void SetPlacement(const uint8_t* placement, size_t size) = 0;
    virtual WindowRect GetWindowRect() const = 0;
    // Fits the rectangle's client area to the root window's size limits,
    // keeping the frame.
    virtual WindowRect FitToSizeLimits(const WindowRect& rect) const = 0;
    virtual void MoveWindow(const WindowRect& rect) = 0;
    virtual void Show() = 0;
    // Asks the window to close, as the close button would.
    virtual void Close() = 0;
    virtual void BringToFront() = 0;
    virtual bool IsEnabled() const = 0;
    virtual void SetIcon(const AppIcon&) {}
    // The root window made with the renderer; null before.
    virtual RCPtr<IAppRootWindow> GetAppRootWindow() const { return nullptr; }
    // Runs the window's modal loop and returns its result; the window is
    // gone afterwards. -1 when the loop met the end of the program.
    virtual int32_t RunModalLoop() { return -1; }
    // False once the window has been destroyed.
    virtual bool IsOpen() const { return true; }
};

// The start-up picture with its progress bar.
class ISplashWindow
{
public:
    virtual ~ISplashWindow() = default;
    virtual bool SetImageFromFile(const std::string& path) = 0;
    // False when it could not be shown.
    virtual bool Start() = 0;
    virtual void PostProgress(int32_t start, int32_t end, int32_t seconds) = 0;
    virtual void PostPosition(int32_t position) = 0;
    virtual void Stop() = 0;
};

// The status bar widget as the application uses it.
class IAppStatusBar : public virtual LRefCountedObject
{
public:
    virtual TavoResult PostStatusText(const WString& text) = 0;
    virtual TavoResult FlushStatusText(const WString& text) = 0;
    virtual WString GetStatusText() const = 0;
};

// The clipboard service; Initialize subscribes it to the edit requests.
class IClipboardService
{
public:
    virtual ~IClipboardService() = default;
    virtual TavoResult Initialize() = 0;
};

// Desktop state that needs a display; without one the defaults below apply.
class IDesktopServices
{
public:
    virtual ~IDesktopServices() = default;
    virtual WindowRect GetDesktopRect() const = 0;
    virtual WindowRect GetWorkArea() const = 0;
    virtual bool GetKeyState(uint32_t virtualKey, bool& down, bool& toggled) const = 0;
    virtual void GetCursorPosition(int32_t& x, int32_t& y) const = 0;
    virtual bool SetCursorPosition(int32_t x, int32_t y) = 0;
    virtual int32_t ShowCursor(bool show) = 0;
    // The desktop's interface font name as its settings give it ("Family
    // [styles] size"); false when no settings manager says, or when no
    // window holds a display yet (it never connects for this).
    virtual bool GetFontName(std::string&) const { return false; }
    // While held (holds nest), the desktop, its work area and the pointer
    // are read once and then answered from memory: a window being made
    // places its controls many times in one go, and every reading is a
    // round trip to the display.
    virtual void HoldAnswers(bool /*hold*/) {}
};

// Holds the desktop's answers for a scope (see HoldAnswers).
class DesktopAnswersHold
{
public:
    explicit DesktopAnswersHold(IDesktopServices* desktop) : mDesktop(desktop)
    {
        if (mDesktop)
            mDesktop->HoldAnswers(true);
    }
    ~DesktopAnswersHold()
    {
        if (mDesktop)
            mDesktop->HoldAnswers(false);
    }
    DesktopAnswersHold(const DesktopAnswersHold&) = delete;
    DesktopAnswersHold& operator=(const DesktopAnswersHold&) = delete;

private:
    IDesktopServices* mDesktop;
};

// What the window code plugs in; everything may stay empty (no display).
struct AppPlatformHooks
{
    // The main window and every further top-level window.
    std::function<std::unique_ptr<IMainWindow>()> createMainWindow;
    std::function<std::unique_ptr<ISplashWindow>()> createSplash;
    std::function<std::unique_ptr<IClipboardService>()> createClipboard;
    std::shared_ptr<IDesktopServices> desktop;
    // Called before the application's own start-up of a run that will show
    // a window (not for one the shell's mayEndWithoutWindow names): slow
    // set-up of what a window will need starts here and runs alongside it.
    std::function<void()> prepareWindowServices;
    // The widget classes to register; the widgets live above the
    // application library, so the program hands their table over.
    std::span<const ControlClassRow> controlClasses;
};

}  // namespace Tavo
