#include "Controls/CheckedComboBox.h"

#include "ControlBase/Look.h"
#include "Controls/Button.h"

namespace Tavo {

namespace {

constexpr int32_t kCheckedLookOffset = 7;

}  // namespace

TavoResult LCheckedComboBox::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                                 const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LComboBox::ReceiveNotification(sender, notification);
}

TavoResult LCheckedComboBox::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                         const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LComboBox::Unsubscribe(distributor, name);
}

TavoResult LCheckedComboBox::Initialize()
{
    mCheckedList = RCPtrDynamicCast<LCheckedListBox>(FindChildByName(u"listBox"));
    if (Failed(LComboBox::Initialize()) || !mCheckedList)
        return E_FAIL;
    RCPtr<LControl> checkBox = FindChildByName(u"checkBox");
    if (checkBox)
        checkBox->SetUseParentToolTip(true);
    mCheckedList->SetHoverSelect(true);
    if (!mCheckedList->GetIconList().empty()) {
        mIconFace = true;
        if (auto* button = dynamic_cast<LButton*>(checkBox.Get()))
            button->SetPassive(true);
    }
    mHandler = CheckedComboHandler::Create(this);
    mHandler->AddHandler(&LCheckedComboBox::OnItemCheckChange,
                         RCPtr<LNotificationDistributor>(mCheckedList.Get()), u"NID_ITEM_CHECK_CHANGE");
    return S_OK;
}

void LCheckedComboBox::ShowIcon(const RCPtr<LBitmap>& icon)
{
    RCPtr<LControl> checkBox = FindChildByName(u"checkBox");
    if (!checkBox)
        return;
    for (int32_t i = checkBox->GetLookCount(); i-- > 0;) {
        const RCPtr<LLook>& look = checkBox->GetLook(i);
        if (!look)
            continue;
        look->SetPartImage(0, icon);
        if (i == checkBox->GetActiveLookIndex())
            checkBox->InvalidateRect({0, 0, checkBox->GetWidth(), checkBox->GetHeight()}, true);
    }
}

TavoResult LCheckedComboBox::Finalize()
{
    const int32_t selected = GetSelectedIndex();
    ShowIcon(mCheckedList && selected >= 0 ? mCheckedList->GetItemIcon(uint32_t(selected))
                                           : RCPtr<LBitmap>());
    return LComboBox::Finalize();
}

int32_t LCheckedComboBox::SetSelectedIndex(int32_t index)
{
    if (RCPtr<LControl> checkBox = FindChildByName(u"checkBox")) {
        RCPtr<LBitmap> icon;
        if (mCheckedList && index >= 0 && uint32_t(index) < mCheckedList->GetItemCount()) {
            checkBox->SetValue(mCheckedList->IsItemChecked(uint32_t(index)) ? 1.0 : 0.0);
            icon = mCheckedList->GetItemIcon(uint32_t(index));
        }
        ShowIcon(icon);
    }
    return LComboBox::SetSelectedIndex(index);
}

TavoResult LCheckedComboBox::SetItemCount(uint32_t count)
{
    const TavoResult result = LComboBox::SetItemCount(count);
    UpdateLook();
    return result;
}

TavoResult LCheckedComboBox::UpdateLook()
{
    const bool anyChecked = mCheckedList && mCheckedList->GetCheckedCount() > 0;
    SelectLook(StateLookIndex() + (anyChecked ? kCheckedLookOffset : 0));
    return S_OK;
}

TavoResult LCheckedComboBox::OnItemCheckChange(const RCPtr<LNotificationDistributor>&,
                                               const RCPtr<LNotification>& n)
{
    if (mCheckedList->GetCheckedCount() <= 1)
        UpdateLook();
    RCPtr<LControl> self(this);
    Notify(u"NID_ITEM_CHECK_CHANGE", n->GetData());
    return 1;
}

}  // namespace Tavo
