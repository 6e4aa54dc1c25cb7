#pragma once

// A root window without a native window, for headless control tests. It
// records what the controls ask of it.

#include "ControlBase/Control.h"
#include "System/HotKeyMap.h"
#include "System/KeyCode.h"
#include "Window/RootWindow.h"

#include <vector>

namespace Tavo {

class FakeRootWindow : public LRootWindow
{
public:
    static RCPtr<FakeRootWindow> Create() { return RCPtr<FakeRootWindow>(new FakeRootWindow()); }

    void InvalidateRect(const RectT<double>& rect) override { invalidated.push_back(rect); }
    CursorHandle SetCursor(CursorHandle c) override
    {
        const CursorHandle old = cursor;
        cursor = c;
        cursorHistory.push_back(c);
        return old;
    }
    RCPtr<LControl> FindControlAtPoint(const PointT<int32_t>& point, PointT<int32_t>& local, bool) override
    {
        ++hitTests;
        local = point;
        return nullptr;
    }
    PointT<int32_t> GetMousePosition() override { return mouse; }
    uint32_t GetMouseButtons() override { return buttons; }
    uint32_t GetAppModifierFlags() override { return modifiers; }

    TavoResult SetCaptureControl(const RCPtr<LControl>& control) override
    {
        if (!control)
            return E_INVALIDARG;
        capture = control;
        return S_OK;
    }
    TavoResult ReleaseCaptureControl() override
    {
        capture = nullptr;
        return S_OK;
    }
    RCPtr<LControl> GetCaptureControl() const override { return capture; }
    void SetHoverControl(const RCPtr<LControl>& control) override { hover = control; }
    RCPtr<LControl> GetHoverControl() const override { return hover; }
    void SetFocusControl(const RCPtr<LControl>& control) override { focus = control; }
    RCPtr<LControl> GetFocusControl() const override { return focus; }
    void SaveFocus() override { savedFocus = focus, focus = nullptr; }
    void RestoreFocus() override {}
    TavoResult MoveFocusToNextWindow(const RCPtr<LKeyParam>&) override
    {
        ++focusHandOffs;
        return S_OK;
    }

    TavoResult ProcessHotKey(const KeyCode& key) override
    {
        return hotKeys.FindBinding(key).IsEmpty() ? S_FALSE : S_OK;
    }
    HotKeyMap* GetHotKeyMap() override { return &hotKeys; }
    RCPtr<LNotificationReceiver> GetMenuListener() override { return nullptr; }

    RectT<int32_t> GetBounds() override { return clientRect; }
    PointT<int32_t> GetClientSize() override { return {clientRect.width, clientRect.height}; }
    void SetClientRect(const RectT<int32_t>& rect) override { clientRect = rect; }
    void SetTitle(const WString& text) override { titles.push_back(text); }
    IWindowOSServices* GetOSServices() override { return nullptr; }
    RCPtr<LControl> GetRootControl() const override { return root; }
    TavoResult RequestEndModal(int32_t result) override
    {
        endModal = result;
        return E_FAIL;
    }
    void SetTextEntryState(bool, const RCPtr<LControl>&, const WString&) override {}

    // Drops the control holders so that no cycle outlives a test.
    TavoResult ReleaseInternalReferences() override
    {
        capture = hover = focus = savedFocus = root = nullptr;
        return LNotificationDistributor::ReleaseInternalReferences();
    }

    std::vector<RectT<double>> invalidated;
    CursorHandle cursor = 0;
    std::vector<CursorHandle> cursorHistory;
    std::vector<WString> titles;
    PointT<int32_t> mouse;
    uint32_t buttons = 0;
    uint32_t modifiers = 0;
    RectT<int32_t> clientRect{0, 0, 1024, 768};
    RCPtr<LControl> capture, hover, focus, savedFocus, root;
    HotKeyMap hotKeys;
    int32_t hitTests = 0;
    int32_t focusHandOffs = 0;
    int32_t endModal = 0;

protected:
    FakeRootWindow() = default;
};

}  // namespace Tavo
