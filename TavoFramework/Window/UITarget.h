#pragma once

#include "ObjectBase/RefCountedObject.h"

#include <cstdint>

namespace Tavo {

class LPointWithModifiersParam;
class LMouseButtonParam;
class LMouseWheelParam;
class LKeyParam;

// The input operations the root window calls on a control. Results: 0
// handled or taken, 1 not handled.
class UITarget
{
public:
    virtual ~UITarget() = default;

    virtual TavoResult UITarget_MouseEnter() = 0;
    virtual TavoResult UITarget_MouseMove(const RCPtr<LPointWithModifiersParam>& param) = 0;
    virtual TavoResult UITarget_MouseDown(const RCPtr<LMouseButtonParam>& param) = 0;
    virtual TavoResult UITarget_MouseUp(const RCPtr<LMouseButtonParam>& param) = 0;
    virtual TavoResult UITarget_MouseLeave() = 0;
    // Takes the capture for a press of button (1, 2, 4; 0 none) at x, y in
    // the control's coordinates.
    virtual TavoResult UITarget_OnMouseDown(uint32_t button, int32_t x, int32_t y) = 0;
    virtual TavoResult UITarget_ReleaseCapture() = 0;
    virtual TavoResult UITarget_Key(const RCPtr<LKeyParam>& param) = 0;
    virtual TavoResult UITarget_WheelVertical(const RCPtr<LMouseWheelParam>& param) = 0;
    virtual TavoResult UITarget_WheelHorizontal(const RCPtr<LMouseWheelParam>& param) = 0;
    virtual TavoResult UITarget_UpdateGeometry(int32_t width, int32_t height) = 0;
    virtual bool UITarget_IsTarget() = 0;
    virtual TavoResult UITarget_Deactivate() = 0;
};

}  // namespace Tavo
