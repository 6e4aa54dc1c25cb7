#pragma once

#include "Application/AppInterfaces.h"
#include "Platform/Graphics/Graphics.h"
#include "Platform/Window/WindowSystem.h"
#include "Renderer/Renderer.h"
#include "System/KeyCode.h"
#include "Utilities/Geometry/RectRegion.h"
#include "Window/WindowOSServices.h"

#include <functional>
#include <memory>

namespace Tavo {

// What a native window feeds its root window.
class INativeWindowClient
{
public:
    virtual ~INativeWindowClient() = default;
    // action 0 press, 1 release, 2 double click; button 1, 2 or 4.
    virtual void OnMouseButton(int32_t action, uint32_t button, uint32_t modifiers,
                               const PointT<int32_t>& point, uint32_t pointerId) = 0;
    virtual void OnMouseMove(const PointT<int32_t>& point, uint32_t modifiers, uint32_t pointerId) = 0;
    // direction 0 towards the user, 1 away, 2 left, 3 right.
    virtual void OnMouseWheel(const PointT<int32_t>& point, uint32_t modifiers, int32_t direction) = 0;
    virtual void OnKey(const KeyCode& key) = 0;
    virtual void OnSize(int32_t width, int32_t height) = 0;
    virtual void SetRepaintAll() = 0;
    virtual void RestoreFocus() = 0;
    virtual void OnKillFocus() = 0;
    virtual void OnCaptureLost() = 0;
    virtual void TakeDirtyRegion(RectRegion& region) = 0;
    // Between the renderer's frame start and finish.
    virtual void Paint(const RectRegion& region) = 0;
    // 1 when the size was changed to one the root control accepts.
    virtual int32_t ConstrainClientSize(PointT<int32_t>& size) = 0;
    // The close command on a window that is not the main one.
    virtual void CloseDialog() = 0;
    virtual bool HasFocusControl() = 0;
};

// The key record of a key going down or up: the virtual key in bits 16-23,
// 0x20000000 going down, Ctrl, Shift, Alt and the Windows key as code bits,
// the sides of the held modifiers, and the previous state (auto-repeat for
// a key going down, always true going up).
KeyCode KeyRecord(uint32_t virtualKey, bool down, uint32_t modifiers, bool previousDown);
// The wheel direction for a delta, keeping what is left below one notch;
// -1 when no whole notch has gathered yet.
int32_t TakeWheelDirection(int32_t& remainder, int32_t delta, bool horizontal);

// A root window object that hands out its native-window client separately.
class INativeWindowClientProvider
{
public:
    virtual ~INativeWindowClientProvider() = default;
    virtual INativeWindowClient* GetNativeClient() = 0;
    // The native window goes: the root window lets go of it.
    virtual void NativeWindowDestroyed() = 0;
};

class OSWindow;

// Makes the root window of a native window once it has its renderer; the
// root window code installs it.
using RootWindowFactory =
    std::function<RCPtr<IAppRootWindow>(const RCPtr<LRenderer>& renderer, OSWindow& window)>;
void SetRootWindowFactory(RootWindowFactory factory);

// A top-level window on the display behind a framework window: turns the
// window system's events into root-window calls, owns the renderer and
// render context, paints the dirty area, ticks every 33 ms so that idle
// processing keeps turning, runs modal loops, turns the close request into
// "NID_APP_EXIT_REQ" for the main window, and keeps the main window's
// placement.
class OSWindow final : public IWindowOSServices, public IMainWindow, public Platform::Graphics::IWindowTarget
{
public:
    // Null system: the process's display connection (WindowHost).
    explicit OSWindow(Platform::Window::IWindowSystem* system = nullptr);
    ~OSWindow() override;
    OSWindow(const OSWindow&) = delete;
    OSWindow& operator=(const OSWindow&) = delete;

    // IMainWindow
    TavoResult Create(const MainWindowParams& params) override;
    TavoResult CreateRenderer(int32_t rendererType) override;
    void SetPlacement(const uint8_t* placement, size_t size) override;
    WindowRect GetWindowRect() const override;
    WindowRect FitToSizeLimits(const WindowRect& rect) const override;
    void MoveWindow(const WindowRect& rect) override;
    void Show() override;
    void Close() override;
    void BringToFront() override;
    bool IsEnabled() const override;
    // _NET_WM_ICON; an empty icon changes nothing.
    void SetIcon(const AppIcon& icon) override;
    RCPtr<IAppRootWindow> GetAppRootWindow() const override { return mRoot; }
    bool IsOpen() const override { return mWindow != 0; }

    // IWindowOSServices
    TavoResult SetTitle(const WString& text) override;
    TavoResult Invalidate() override;
    TavoResult InvalidateRect(const RectT<int32_t>& rect) override;
    TavoResult GetClientRect(RectT<int32_t>& rect) override;
    PointT<int32_t> ScreenToClient(const PointT<int32_t>& point) override;
    PointT<int32_t> ClientToScreen(const PointT<int32_t>& point) override;
    TavoResult SetWindowRect(const RectT<int32_t>& rect) override;
    bool Show(int32_t command) override;
    TavoResult Redraw() override;
    TavoResult BringToTop() override;
    TavoResult SetTopMost(bool topMost) override;
    TavoResult EndModalLoop(int32_t result) override;
    int32_t RunModalLoop() override;
    bool IsInModalLoop() override { return mInModalLoop; }
    bool IsActive() override;
    bool HasFocus() override;
    TavoResult SetFocus() override;
    CursorHandle SetCursor(CursorHandle cursor) override;
    PointT<int32_t> GetMousePosition() override;
    uint32_t GetMouseButtons() override;
    uintptr_t GetNativeHandle() override { return uintptr_t(mWindow); }
    void SetTextEntryState(bool, const WString&) override {}
    uint64_t MarkArrivedInput() override;
    void HandleCloseRequestsSince(uint64_t mark) override;

    // IWindowTarget: the renderer copies finished frames into this surface.
    Platform::Graphics::Surface* GetWindowSurface() override { return mSurface.get(); }
    void SurfaceUpdated(const Platform::Graphics::PixelRect* rects, size_t count) override;

    TavoResult AttachRenderer(const RCPtr<LRenderer>& renderer);
    // Destroys the window; the main window's placement is saved first.
    void Destroy();
    // Paints what is due now instead of on the next turn of the loop.
    void PaintNow();
    // Handles one event of the window system (the loop calls it).
    void HandleEvent(const Platform::Window::Event& event);

    Platform::Window::WindowId GetWindowId() const { return mWindow; }
    const RCPtr<IAppRootWindow>& GetRootWindow() const { return mRoot; }
    const RCPtr<LRenderer>& GetRenderer() const { return mRenderer; }
    const RCPtr<LRenderContextInfo>& GetRenderContext() const { return mContext; }
    bool IsMainWindow() const;
    // Frames painted and presents made, for tests and measurements.
    uint32_t GetPaintCount() const { return mPaintCount; }
    // The 44-byte placement record of the window as it stands.
    std::vector<uint8_t> GetPlacement() const;

private:
    Platform::Window::IWindowSystem& System() const { return *mSystem; }
    void SchedulePaint();
    // The surface the window keeps its picture in, transparent.
    void MakeSurface(int32_t width, int32_t height);
    void OnConfigure(const Platform::Window::Rect& client);
    void OnButton(const Platform::Window::Event& event);
    void OnCloseRequest();
    // The screen changed size: repaint all and stay within the work area.
    void OnDisplayChange();
    // Moves the window into the work area (within the screen) when it is
    // not inside it.
    void KeepInWorkArea();
    // The machine goes to sleep or woke up: the application hears of it as
    // the power message, then everything is repainted.
    void OnPowerChange(bool suspending);
    void SavePlacement();
    void ReleaseMouseCapture();
    // Another window went modal: nothing here stays pressed, captured or
    // under the pointer meanwhile.
    void OnInputBlocked();
    // The control under the pointer where it is now, as a move there would
    // make it.
    void FollowPointer();
    Platform::Window::Rect FrameOf(const Platform::Window::Rect& client) const;

    Platform::Window::IWindowSystem* mSystem;
    Platform::Window::WindowId mWindow = 0;
    RCPtr<IAppRootWindow> mRoot;
    INativeWindowClient* mClient = nullptr;
    RCPtr<LRenderer> mRenderer;
    RCPtr<LRenderContextInfo> mContext;
    std::unique_ptr<Platform::Graphics::Surface> mSurface;
    Platform::Window::Rect mClientRect;  // screen origin and size
    Platform::Window::Rect mUpdate;      // area the display asked to repaint
    bool mPaintPending = false;
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
    PointT<int32_t> mLastMouse{0, 0};
    uint32_t mButtonsDown = 0;
    int32_t mPressCount = 0;
    int32_t mWheelRemainder[2] = {0, 0};
    bool mMouseCaptured = false;
    // Input came back while another window had the focus: the pointer is
    // followed once the focus is back.
    bool mFollowPointerOnFocus = false;
    bool mInModalLoop = false;
    bool mModalEnded = false;
    int32_t mModalResult = 0;
    bool mWasOffScreen = false;
    // The screen changed and the window manager has not yet published the
    // work area that goes with it.
    bool mAwaitingWorkArea = false;
    bool mShown = false;
    uint32_t mTimerId = 0;
    uint32_t mPaintCount = 0;
};

}  // namespace Tavo
