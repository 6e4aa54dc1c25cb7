#pragma once

#include "Controls/DropDownControl.h"
#include "Controls/MenuPopup.h"

namespace Tavo {

// A title that drops down its "popupMenu" child when pressed. Looks: 0
// normal, 1 hovered, 2 open, 3 disabled. With a sibling title open, pointing
// at this one moves the open menu here.
class LComboMenu : public LDropDownControl
{
public:
    LComboMenu(const RCPtr<LControl>& parent, const WString& name) : LDropDownControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LComboMenu>(result, parent, descriptor);
    }

    TavoResult Initialize() override;
    TavoResult Finalize() override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    bool IsDroppedDown() override;
    TavoResult SetDroppedDown(bool open) override;

    RCPtr<LControl> GetPopupControl() { return FindChildByName(u"popupMenu"); }
    IMenuPopup* GetPopup();

    TavoResult OnPopupVisibility(const RCPtr<LNotificationDistributor>& sender,
                                 const RCPtr<LNotification>& notification);
    TavoResult OnMenuItemActivated(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification);

private:
    void SelectStateLook();

    double mPopupOffset = 0;
    double mMenuPressX = 0, mMenuPressY = 0;
    bool mOpening = false;
};

}  // namespace Tavo
