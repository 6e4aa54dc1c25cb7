#include "Controls/DropDownControl.h"

#include "Notification/NotificationParams.h"

namespace Tavo {

TavoResult LDropDownControl::Initialize()
{
    const TavoResult result = LControl::Initialize();
    CreateHandlerTable()->AddHandler(static_cast<Handler::Operation>(&LDropDownControl::OnMouseDown),
                                     RCPtr<LNotificationDistributor>(this), u"NID_MOUSE_DOWN");
    return result;
}

TavoResult LDropDownControl::OnMouseDown(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    if (mClosedByFocus)
        mSkipNextOpen = true;
    return S_OK;
}

TavoResult LDropDownControl::SetFocus(bool first)
{
    const TavoResult result = LControl::SetFocus(first);
    if (IsDroppedDown()) {
        SetDroppedDown(false);
        mClosedByFocus = true;
    } else {
        mClosedByFocus = false;
    }
    return result;
}

void LDropDownControl::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (!conditions)
        return;
    const bool pressBegan = (conditions->mConditions & kConditionLeftPressed) &&
                            !(conditions->mPreviousConditions & kConditionLeftPressed);
    if (!pressBegan)
        return;
    if (mSkipNextOpen) {
        mSkipNextOpen = false;
        return;
    }
    SetDroppedDown(true);
}

void LDropDownControl::PressedElsewhere()
{
    if (IsDroppedDown())
        SetDroppedDown(false);
}

bool LDropDownControl::UITarget_OnFocusLost()
{
    SetDroppedDown(false);
    return LControl::UITarget_OnFocusLost();
}

}  // namespace Tavo
