#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// A control that opens a drop-down part when pressed. A press while the part
// is open closes it for good (the focus coming back closes it first, and that
// press must not open it again); the focus leaving closes it too.
class LDropDownControl : public LControl
{
public:
    LDropDownControl(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    TavoResult Initialize() override;
    TavoResult SetFocus(bool first) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    bool UITarget_OnFocusLost() override;
    // A press outside the control and its drop-down part closes it.
    void PressedElsewhere() override;

    virtual bool IsDroppedDown() = 0;
    virtual TavoResult SetDroppedDown(bool open) = 0;

    TavoResult OnMouseDown(const RCPtr<LNotificationDistributor>& sender,
                           const RCPtr<LNotification>& notification);

protected:
    bool mClosedByFocus = false;
    bool mSkipNextOpen = false;
};

}  // namespace Tavo
