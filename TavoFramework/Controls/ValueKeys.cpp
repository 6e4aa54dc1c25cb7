#include "Controls/ValueKeys.h"

#include "System/KeyCode.h"
#include "Window/InputParams.h"

namespace Tavo {

TavoResult ValueKeys::HandleKey(LControl& control, const RCPtr<LKeyParam>& param)
{
    if (!param)
        return S_FALSE;
    const uint32_t code = param->mKey.code;
    const uint32_t key = param->mKey.VirtualKey();
    // A release counts with any modifiers: the hold ends either way.
    if (!(code & (KeyCode::kKeyDown | KeyCode::kNoKey)) && key >= VKey::kLeft && key <= VKey::kDown) {
        mHeld = false;
        control.Notify(u"NID_VALUE_CHANGE_KEY_UP", param);
        return S_OK;
    }
    double units = 0;
    if (code == KeyCode::PressCode(VKey::kRight) || code == KeyCode::PressCode(VKey::kUp))
        units = 1.0;
    else if (code == KeyCode::PressCode(VKey::kLeft) || code == KeyCode::PressCode(VKey::kDown))
        units = -1.0;
    else
        return S_FALSE;
    if (!mHeld) {
        mHeld = true;
        control.Notify(u"NID_VALUE_CHANGE_KEY_DOWN", param);
    }
    Step(control, units);
    return S_OK;
}

void ValueKeys::FocusLost(LControl& control)
{
    if (!mHeld)
        return;
    mHeld = false;
    control.Notify(u"NID_VALUE_CHANGE_KEY_UP");
}

TavoResult ValueKeys::Wheel(LControl& control, const RCPtr<LMouseWheelParam>& param)
{
    if (!param)
        return S_FALSE;
    const bool up =
        param->mDirection == LMouseWheelParam::kUp || param->mDirection == LMouseWheelParam::kRight;
    Step(control, up ? 1.0 : -1.0);
    return S_OK;
}

void ValueKeys::Step(LControl& control, double units)
{
    control.SetValue(control.ValueToNormalized(control.NormalizedToValue(control.GetValue()) + units));
}

}  // namespace Tavo
