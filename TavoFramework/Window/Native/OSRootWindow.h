#pragma once

#include "Application/AppInterfaces.h"
#include "Notification/NotificationQueue.h"
#include "System/HotKeyMap.h"
#include "Threading/Mutex.h"
#include "Utilities/Storage/RCPtrQueue.h"
#include "Window/InputParams.h"
#include "Window/Native/OSWindow.h"
#include "Window/RootWindow.h"

#include <memory>

namespace Tavo {

class LControl;

// The framework half of a top-level window on the display: owns the root
// control, routes the native window's input to the control under the
// pointer, the capture holder or the focus holder, keeps the hover, tooltip,
// focus and capture holders, gathers the dirty area and paints the tree in
// Z order. It is the window's notification distributor and queue.
class LOSRootWindow final : public LRootWindow, public INativeWindowClient
{
public:
    static RCPtr<LOSRootWindow> Create(const RCPtr<LRenderer>& renderer, IWindowOSServices* os);
    // Makes every native window's root window one of these.
    static void InstallAsFactory();
    ~LOSRootWindow() override;

    TavoResult SetRootControl(const RCPtr<LControl>& control);
    TavoResult SetRootControlByName(const WString& name);
    void RequestCloseDialog();
    // Drops the root control and the native window; the queue stops.
    void Shutdown();

    // LRootWindow
    void InvalidateRect(const RectT<double>& rect) override;
    CursorHandle SetCursor(CursorHandle cursor) override;
    RCPtr<LControl> FindControlAtPoint(const PointT<int32_t>& point, PointT<int32_t>& local,
                                       bool updateHover) override;
    PointT<int32_t> GetMousePosition() override;
    uint32_t GetMouseButtons() override;
    uint32_t GetAppModifierFlags() override;
    TavoResult SetCaptureControl(const RCPtr<LControl>& control) override;
    TavoResult ReleaseCaptureControl() override;
    RCPtr<LControl> GetCaptureControl() const override { return mCapture; }
    void SetHoverControl(const RCPtr<LControl>& control) override;
    RCPtr<LControl> GetHoverControl() const override { return mHover; }
    void SetFocusControl(const RCPtr<LControl>& control) override { mFocus = control; }
    RCPtr<LControl> GetFocusControl() const override { return mFocus; }
    void SaveFocus() override;
    void RestoreFocus() override;
    TavoResult MoveFocusToNextWindow(const RCPtr<LKeyParam>& key) override;
    TavoResult ProcessHotKey(const KeyCode& key) override;
    HotKeyMap* GetHotKeyMap() override { return &mHotKeys; }
    RCPtr<LNotificationReceiver> GetMenuListener() override;
    RectT<int32_t> GetBounds() override;
    PointT<int32_t> GetClientSize() override;
    void SetClientRect(const RectT<int32_t>& rect) override;
    void SetTitle(const WString& text) override;
    IWindowOSServices* GetOSServices() override { return mOS; }
    RCPtr<LControl> GetRootControl() const override { return mRootControl; }
    TavoResult RequestEndModal(int32_t result) override;
    void SetTextEntryState(bool active, const RCPtr<LControl>& control, const WString& value) override;

    bool IsActive() const { return mOS && mOS->IsActive(); }
    RCPtr<LRenderer> GetRenderer() const { return mRenderer; }
    // The window as the application's list holds it.
    RCPtr<IAppRootWindow> GetAppWindow() const;

    // INativeWindowClient
    void OnMouseButton(int32_t action, uint32_t button, uint32_t modifiers, const PointT<int32_t>& point,
                       uint32_t pointerId) override;
    void OnMouseMove(const PointT<int32_t>& point, uint32_t modifiers, uint32_t pointerId) override;
    void OnMouseWheel(const PointT<int32_t>& point, uint32_t modifiers, int32_t direction) override;
    void OnKey(const KeyCode& key) override;
    void OnSize(int32_t width, int32_t height) override;
    void SetRepaintAll() override { mRepaintAll = true; }
    void OnKillFocus() override;
    void OnCaptureLost() override;
    void TakeDirtyRegion(RectRegion& region) override;
    void Paint(const RectRegion& region) override;
    int32_t ConstrainClientSize(PointT<int32_t>& size) override;
    void CloseDialog() override { RequestCloseDialog(); }
    bool HasFocusControl() override { return mFocus != nullptr; }

    // Drains the key queue, delivers the window's queued notifications and
    // ends a modal loop when asked; true when notifications remain.
    bool ProcessQueues(bool firstTurn);
    void RedrawAll() override;
    // Keys for the next idle turn (no part of the program posts any).
    void QueueKey(const RCPtr<LKeyParam>& key);

private:
    // The control that takes the pointer at `point`: the capturing one, else
    // the one under it; `local` is the point in its coordinates.
    RCPtr<LControl> PointerTarget(const PointT<int32_t>& point, PointT<int32_t>& local);
    LOSRootWindow(const RCPtr<LRenderer>& renderer, IWindowOSServices* os);
    RectT<int32_t> ClientRect();
    void HideToolTip();
    void DeliverKey(const RCPtr<LKeyParam>& key);
    // Draws the control in the pass its layout belongs to, then the floating
    // controls it leaves for the unclipped pass, each over it.
    void DrawTree(const RCPtr<LControl>& control, const RectRegion& region, bool unclippedPass);

    RCPtr<LRenderer> mRenderer;
    IWindowOSServices* mOS;
    RectT<int32_t> mClientRect{0, 0, 1024, 768};
    RCPtr<LControl> mRootControl;
    RectRegion mDirty;
    Mutex mDirtyLock;
    bool mRepaintAll = false;
    uint32_t mDoubleClickBits = 0;
    HotKeyMap mHotKeys;
    RCPtr<LControl> mFocus, mSavedFocus, mHover, mToolTip, mCapture;
    bool mEndModalRequested = false;
    int32_t mEndModalResult = 0;
    Mutex mKeyLock;
    std::unique_ptr<RCPtrQueue<LKeyParam, 256>> mKeys;
    uint32_t mPressed[10] = {};
    // The Tab, Return or Escape whose press moved the focus (or was Ctrl+Tab):
    // its character and release are dropped.
    uint32_t mPressMovedFocus = 0;
    RCPtr<LNotificationQueue> mQueue;
    IAppRootWindow* mAppWindow = nullptr;  // owns this root window
};

// The root window of an entry in the application's list of windows.
LOSRootWindow* GetOSRootWindow(const RCPtr<IAppRootWindow>& window);

}  // namespace Tavo
