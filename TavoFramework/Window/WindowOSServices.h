#pragma once

#include "ObjectBase/Result.h"
#include "Utilities/Geometry/Rect.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

// A cursor by its platform id (0 means the arrow); the window code maps it
// to its own cursor.
using CursorHandle = uintptr_t;

// What the root window and the controls ask of the native window. Operations
// that need a real window answer E_FAIL when there is none.
class IWindowOSServices
{
public:
    virtual ~IWindowOSServices() = default;

    virtual TavoResult SetTitle(const WString& text) = 0;
    virtual TavoResult Invalidate() = 0;
    virtual TavoResult InvalidateRect(const RectT<int32_t>& rect) = 0;
    // x, y, width, height; left untouched for an inverted rectangle.
    virtual TavoResult GetClientRect(RectT<int32_t>& rect) = 0;
    virtual PointT<int32_t> ScreenToClient(const PointT<int32_t>& point) = 0;
    virtual PointT<int32_t> ClientToScreen(const PointT<int32_t>& point) = 0;
    // The client area gets this screen rectangle.
    virtual TavoResult SetWindowRect(const RectT<int32_t>& rect) = 0;
    virtual bool Show(int32_t command) = 0;
    virtual TavoResult Redraw() = 0;
    virtual TavoResult BringToTop() = 0;
    virtual TavoResult SetTopMost(bool topMost) = 0;
    virtual TavoResult EndModalLoop(int32_t result) = 0;
    // The modal result, -1 when the loop met the end of the program.
    virtual int32_t RunModalLoop() = 0;
    virtual bool IsInModalLoop() = 0;
    virtual bool IsActive() = 0;
    virtual bool HasFocus() = 0;
    virtual TavoResult SetFocus() = 0;
    // Returns the cursor shown before.
    virtual CursorHandle SetCursor(CursorHandle cursor) = 0;
    // Client coordinates.
    virtual PointT<int32_t> GetMousePosition() = 0;
    // Bits 1 left, 2 middle, 4 right.
    virtual uint32_t GetMouseButtons() = 0;
    virtual uintptr_t GetNativeHandle() = 0;
    virtual void SetTextEntryState(bool active, const WString& value) = 0;
    // A handler about to wait (the loop reads nothing meanwhile) marks what
    // has arrived; after the wait the close requests that came during it
    // are handled at once, ahead of input that arrived before them, so a
    // close the user asked for while the program waited is decided before
    // what the handler does next.
    virtual uint64_t MarkArrivedInput() { return 0; }
    virtual void HandleCloseRequestsSince(uint64_t /*mark*/) {}
};

}  // namespace Tavo
