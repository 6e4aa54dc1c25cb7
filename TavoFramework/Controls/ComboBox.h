#pragma once

#include "Controls/DropDownControl.h"
#include "Controls/ListBox.h"

namespace Tavo {

// A closed face showing the chosen item's text over a "listBox" child that
// drops down below it, or above when there is more room there. Looks: 0
// closed, 1 focused, 2 hovered, 3 hovered and focused, 4 open, 5 open and
// hovered, 6 disabled. Items come from the string table's "ITEM.n" texts.
// An optional "textBox" child takes typed text, matched against the items.
class LComboBox : public LDropDownControl
{
public:
    using ComboHandler = LNotificationHandler<LComboBox>;

    // Room kept between an open list and the window's edge.
    static constexpr double kEdgeMargin = 5.0;

    LComboBox(const RCPtr<LControl>& parent, const WString& name) : LDropDownControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LComboBox>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // A text naming an item (case aside) selects it; 1 when unchanged.
    TavoResult SetText(const WString& text) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    // Escape from the list closes it; other keys stop here.
    TavoResult RouteUnhandledKey(const RCPtr<LKeyParam>& param) override;
    // E_FAIL without a "listBox" child.
    TavoResult Initialize() override;
    TavoResult ApplyProperties() override;
    TavoResult Finalize() override;
    WString GetToolTipText() const override;
    bool IsDroppedDown() override;
    TavoResult SetDroppedDown(bool open) override;

    virtual TavoResult SetItemCount(uint32_t count);
    // The new selected index; -1 for none or an index past the items.
    virtual int32_t SetSelectedIndex(int32_t index);
    virtual TavoResult UpdateLook();

    int32_t GetSelectedIndex() const { return mSelectedIndex; }
    LListBox* GetList() const { return mList.Get(); }
    const RCPtr<LControl>& GetTextBox() const { return mTextBox; }

protected:
    // The look by the state table, before any offset a subclass adds.
    int32_t StateLookIndex() const;

private:
    TavoResult OnListVisibility(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnListItemActivated(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& n);
    TavoResult OnTextBoxForward(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnTextBoxValidated(const RCPtr<LNotificationDistributor>& sender,
                                  const RCPtr<LNotification>& n);
    TavoResult OnTextBoxFocus(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    void PlaceList();
    void MarkTextInList();

    RCPtr<ComboHandler> mHandler;
    RCPtr<LListBox> mList;
    RCPtr<LControl> mTextBox;
    int32_t mSelectedIndex = -1;
    int32_t mInitialSelectedIndex = 0;
    PointT<double> mPress{0, 0};
};

}  // namespace Tavo
