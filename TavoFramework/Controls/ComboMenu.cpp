#include "Controls/ComboMenu.h"

#include "Controls/MainMenu.h"

#include "Notification/NotificationParams.h"
#include "Window/RootWindow.h"

#include <algorithm>

namespace Tavo {

IMenuPopup* LComboMenu::GetPopup()
{
    return dynamic_cast<IMenuPopup*>(GetPopupControl().Get());
}

TavoResult LComboMenu::Initialize()
{
    if (Failed(LDropDownControl::Initialize()))
        return E_FAIL;
    RCPtr<LControl> popup = GetPopupControl();
    if (!popup)
        return S_OK;
    auto handlers = CreateHandlerTable();
    const RCPtr<LNotificationDistributor> sender(popup.Get());
    handlers->AddHandler(static_cast<Handler::Operation>(&LComboMenu::OnPopupVisibility), sender,
                         u"NID_VISIBLITY_CONDITION_CHANGE");
    handlers->AddHandler(static_cast<Handler::Operation>(&LComboMenu::OnMenuItemActivated), sender,
                         u"NID_ITEM_ACTIVATED");
    if (IMenuPopup* menu = GetPopup())
        menu->SetCloseOnActivation(false);
    return S_OK;
}

TavoResult LComboMenu::Finalize()
{
    LLayoutDescriptor::Axis axis;
    if (RCPtr<LControl> popup = GetPopupControl(); popup && !Failed(popup->GetPlacement(0, axis)))
        mPopupOffset = axis.positionAbs;
    return LDropDownControl::Finalize();
}

bool LComboMenu::IsDroppedDown()
{
    RCPtr<LControl> popup = GetPopupControl();
    return popup && popup->IsShown(false) && popup->GetWidth() > 0 && popup->GetHeight() > 0;
}

void LComboMenu::SelectStateLook()
{
    if (!IsEnabled(true))
        SelectLook(3);
    else
        SelectLook(IsDroppedDown() ? 2 : IsHovered() ? 1 : 0);
}

TavoResult LComboMenu::OnPopupVisibility(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    SelectStateLook();
    // A menu closed while it holds the keys hands them back: in a menu bar
    // to the control that had them before, else to its title.
    RCPtr<LControl> popup = GetPopupControl();
    if (!popup || popup->IsShown(false) || !(popup->HasFocus() || popup->ContainsFocus()))
        return S_OK;
    RCPtr<LControl> before;
    if (auto* bar = dynamic_cast<LMainMenu*>(mParent))
        before = bar->GetFocusBeforeMenu();
    if (before && before->GetRootWindow())
        before->SetFocus(true);
    else
        SetFocus(true);
    return S_OK;
}

TavoResult LComboMenu::OnMenuItemActivated(const RCPtr<LNotificationDistributor>&,
                                           const RCPtr<LNotification>&)
{
    if (RCPtr<LControl> popup = GetPopupControl())
        popup->SetVisible(false);
    SelectLook(IsHovered() ? 1 : 0);
    return 1;
}

TavoResult LComboMenu::SetDroppedDown(bool open)
{
    RCPtr<LControl> popup = GetPopupControl();
    if (!popup)
        return S_OK;
    if (open) {
        // A title near the window's right edge opens its menu shifted left.
        double offset = mPopupOffset;
        if (LRootWindow* window = GetRootWindow()) {
            const double clientWidth = window->GetClientSize().x;
            if (GetAbsolutePosition().x + offset + popup->GetWidth() > clientWidth)
                offset = std::max(0.0, clientWidth - popup->GetWidth()) - GetAbsolutePosition().x;
            offset = std::max(offset, -GetAbsolutePosition().x);
        }
        LLayoutDescriptor::Axis axis;
        if (!Failed(popup->GetPlacement(0, axis)) && axis.positionAbs != offset) {
            axis.positionAbs = offset;
            popup->SetAxisPlacement(0, axis);
        }
    }
    if (open)
        if (auto* bar = dynamic_cast<LMainMenu*>(mParent))
            bar->RememberFocus();
    popup->SetVisible(open);
    if (open) {
        // The focus entering the menu changes this title's conditions too;
        // that change is no press on it.
        mOpening = true;
        popup->SetFocus(true);
        mOpening = false;
        SelectLook(2);
        if (mLeftPressed)
            popup->UITarget_OnMouseDown(1, int32_t(mMenuPressX), int32_t(mMenuPressY));
    } else {
        SelectLook(IsHovered() ? 1 : 0);
    }
    return S_OK;
}

void LComboMenu::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    SelectStateLook();
    if (!conditions || mOpening)
        return;
    const uint32_t now = conditions->mConditions, before = conditions->mPreviousConditions;
    if (((now ^ before) & kConditionHover) && (now & kConditionHover) && mParent) {
        auto& siblings = mParent->GetChildren();
        for (uint32_t i = siblings.Count(); i-- > 0;) {
            auto* other = dynamic_cast<LComboMenu*>(siblings.GetAt(i).Get());
            if (!other || !other->IsDroppedDown())
                continue;
            if (other != this) {
                other->GetPopupControl()->SetVisible(false);
                other->SelectLook(other->IsHovered() ? 1 : 0);
                SetDroppedDown(true);
            }
            break;
        }
    }
    if ((now & kConditionLeftPressed) && !(before & kConditionLeftPressed)) {
        // A title that cannot take the focus closes its open menu itself.
        if (IsDroppedDown() && IsNotFocusable(true)) {
            SetDroppedDown(false);
            return;
        }
        RCPtr<LControl> popup = GetPopupControl();
        mMenuPressX = conditions->mX - (popup ? popup->GetX() : 0);
        mMenuPressY = conditions->mY - (popup ? popup->GetY() : 0);
    }
    LDropDownControl::ConditionsChanged(conditions);
}

}  // namespace Tavo
