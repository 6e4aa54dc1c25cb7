#pragma once

#include "Controls/CheckedListBox.h"
#include "Controls/ComboBox.h"

namespace Tavo {

// A combo box over a checked list. Its "checkBox" part mirrors the chosen
// item: its check state, and its icon on the first part of each of its
// looks. Looks 7 to 13 are 0 to 6 while any item is checked. With an icon
// list the check box is passive, so a press on it opens the list.
class LCheckedComboBox : public LComboBox
{
public:
    using CheckedComboHandler = LNotificationHandler<LCheckedComboBox>;

    LCheckedComboBox(const RCPtr<LControl>& parent, const WString& name) : LComboBox(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LCheckedComboBox>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // E_FAIL unless "listBox" is a checked list.
    TavoResult Initialize() override;
    TavoResult Finalize() override;
    TavoResult SetItemCount(uint32_t count) override;
    int32_t SetSelectedIndex(int32_t index) override;
    TavoResult UpdateLook() override;

    LCheckedListBox* GetCheckedList() const { return mCheckedList.Get(); }
    bool ShowsIcons() const { return mIconFace; }

private:
    TavoResult OnItemCheckChange(const RCPtr<LNotificationDistributor>& sender,
                                 const RCPtr<LNotification>& n);
    void ShowIcon(const RCPtr<LBitmap>& icon);

    RCPtr<CheckedComboHandler> mHandler;
    RCPtr<LCheckedListBox> mCheckedList;
    bool mIconFace = false;
};

}  // namespace Tavo
