#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// What the value widgets share of keys and wheel: one unit of the range per
// arrow press or wheel notch, "NID_VALUE_CHANGE_KEY_DOWN" once per hold and
// "NID_VALUE_CHANGE_KEY_UP" at the release or when the focus goes.
class ValueKeys
{
public:
    // S_OK when the key was an arrow key it took; S_FALSE otherwise.
    TavoResult HandleKey(LControl& control, const RCPtr<LKeyParam>& param);
    // Ends a hold the release of which will not arrive.
    void FocusLost(LControl& control);
    bool IsHeld() const { return mHeld; }

    // Up for the wheel turned away from the user or to the right.
    static TavoResult Wheel(LControl& control, const RCPtr<LMouseWheelParam>& param);
    // Moves the value by units of its range, through the control's SetValue.
    static void Step(LControl& control, double units);

private:
    bool mHeld = false;
};

}  // namespace Tavo
