#pragma once

#include "Notification/NotificationDistributor.h"
#include "Utilities/Geometry/Rect.h"
#include "Window/WindowOSServices.h"

#include <cstdint>

namespace Tavo {

class LControl;
class LKeyParam;
class HotKeyMap;
struct KeyCode;

// The framework side of a top-level window as its controls reach it. Controls
// subscribe to it (it is the sender of "NID_IDLE") and call the operations
// below; the window code supplies the concrete window.
class LRootWindow : public LNotificationDistributor
{
public:
    // Adds a rectangle of client pixels to the dirty area.
    virtual void InvalidateRect(const RectT<double>& rect) = 0;
    // Returns the cursor replaced; 0 means the arrow.
    virtual CursorHandle SetCursor(CursorHandle cursor) = 0;
    // The control under a client point and the point in its coordinates.
    virtual RCPtr<LControl> FindControlAtPoint(const PointT<int32_t>& point, PointT<int32_t>& local,
                                               bool updateHover) = 0;
    virtual PointT<int32_t> GetMousePosition() = 0;
    virtual uint32_t GetMouseButtons() = 0;
    virtual uint32_t GetAppModifierFlags() = 0;

    // E_INVALIDARG for an empty control.
    virtual TavoResult SetCaptureControl(const RCPtr<LControl>& control) = 0;
    virtual TavoResult ReleaseCaptureControl() = 0;
    virtual RCPtr<LControl> GetCaptureControl() const = 0;
    virtual void SetHoverControl(const RCPtr<LControl>& control) = 0;
    virtual RCPtr<LControl> GetHoverControl() const = 0;
    // Stores the control that holds the focus.
    virtual void SetFocusControl(const RCPtr<LControl>& control) = 0;
    virtual RCPtr<LControl> GetFocusControl() const = 0;
    virtual void SaveFocus() = 0;
    virtual void RestoreFocus() = 0;
    // Tab past the last control of the tree: on to the next window.
    virtual TavoResult MoveFocusToNextWindow(const RCPtr<LKeyParam>& key) = 0;

    // The window's hot keys: 1 when the key has no binding.
    virtual TavoResult ProcessHotKey(const KeyCode& key) = 0;
    virtual HotKeyMap* GetHotKeyMap() = 0;
    // Receives the menu commands of the window's menus (posted to its queue).
    virtual RCPtr<LNotificationReceiver> GetMenuListener() = 0;

    // Screen position of the client origin and the client size.
    virtual RectT<int32_t> GetBounds() = 0;
    virtual PointT<int32_t> GetClientSize() = 0;
    virtual void SetClientRect(const RectT<int32_t>& rect) = 0;
    virtual void SetTitle(const WString& text) = 0;
    // Null without a native window.
    virtual IWindowOSServices* GetOSServices() = 0;
    virtual RCPtr<LControl> GetRootControl() const = 0;
    // E_FAIL without a native window.
    virtual TavoResult RequestEndModal(int32_t result) = 0;
    virtual void SetTextEntryState(bool active, const RCPtr<LControl>& control, const WString& value) = 0;
    // Adds the whole client area to the dirty area and paints it before
    // returning, sent to the display: the window is up to date when a
    // blocking call follows.
    virtual void RedrawAll()
    {
        const PointT<int32_t> size = GetClientSize();
        InvalidateRect(RectT<double>{0, 0, double(size.x), double(size.y)});
        if (IWindowOSServices* os = GetOSServices())
            os->Redraw();
    }
};

}  // namespace Tavo
