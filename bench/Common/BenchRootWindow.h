#pragma once

// A root window that answers only what layout asks of it: its client size.
// Benchmarks use it to host a control tree without a display.

#include "ControlBase/Control.h"
#include "Window/RootWindow.h"

namespace Tavo {

class BenchRootWindow : public LRootWindow
{
public:
    BenchRootWindow(int32_t width, int32_t height) : mWidth(width), mHeight(height) {}

    void InvalidateRect(const RectT<double>&) override {}
    CursorHandle SetCursor(CursorHandle) override { return 0; }
    RCPtr<LControl> FindControlAtPoint(const PointT<int32_t>&, PointT<int32_t>&, bool) override
    {
        return nullptr;
    }
    PointT<int32_t> GetMousePosition() override { return {}; }
    uint32_t GetMouseButtons() override { return 0; }
    uint32_t GetAppModifierFlags() override { return 0; }
    TavoResult SetCaptureControl(const RCPtr<LControl>&) override { return S_OK; }
    TavoResult ReleaseCaptureControl() override { return S_OK; }
    RCPtr<LControl> GetCaptureControl() const override { return nullptr; }
    void SetHoverControl(const RCPtr<LControl>&) override {}
    RCPtr<LControl> GetHoverControl() const override { return nullptr; }
    void SetFocusControl(const RCPtr<LControl>&) override {}
    RCPtr<LControl> GetFocusControl() const override { return nullptr; }
    void SaveFocus() override {}
    void RestoreFocus() override {}
    TavoResult MoveFocusToNextWindow(const RCPtr<LKeyParam>&) override { return S_OK; }
    TavoResult ProcessHotKey(const KeyCode&) override { return S_FALSE; }
    HotKeyMap* GetHotKeyMap() override { return nullptr; }
    RCPtr<LNotificationReceiver> GetMenuListener() override { return nullptr; }
    RectT<int32_t> GetBounds() override { return {0, 0, mWidth, mHeight}; }
    PointT<int32_t> GetClientSize() override { return {mWidth, mHeight}; }
    void SetClientRect(const RectT<int32_t>&) override {}
    void SetTitle(const WString&) override {}
    IWindowOSServices* GetOSServices() override { return nullptr; }
    RCPtr<LControl> GetRootControl() const override { return nullptr; }
    TavoResult RequestEndModal(int32_t) override { return E_FAIL; }
    void SetTextEntryState(bool, const RCPtr<LControl>&, const WString&) override {}

private:
    int32_t mWidth, mHeight;
};

}  // namespace Tavo
