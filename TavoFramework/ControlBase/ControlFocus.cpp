// Focus and tab order of a control. Minimal bodies: no control takes focus.
#include "ControlBase/Control.h"

namespace Tavo
{

TavoResult LControl::SetFocus(bool)
{
    return E_FAIL;
}

void LControl::SetNotFocusable(bool notFocusable)
{
    if (mNotFocusable == notFocusable)
        return;
    mNotFocusable = notFocusable;
    if (mParent)
        mParent->GetChildren().Changed();
}

bool LControl::HasFocusableDescendant()
{
    return false;
}

bool LControl::CanTakeFocus()
{
    return !mNotFocusable && IsShown(true) && IsEnabled(true) && !HasFocusableDescendant();
}

RCPtr<LControl> LControl::GetNextTabChild(const RCPtr<LControl>&, bool)
{
    return nullptr;
}

} // namespace Tavo
