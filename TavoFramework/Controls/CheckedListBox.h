#pragma once

#include "Controls/ListBox.h"
#include "Renderer/Bitmap.h"

namespace Tavo {

// Data of the check notifications: the item's index and data.
class LIndexedDataParam : public virtual LRefCountedObject
{
public:
    LIndexedDataParam(const RCPtr<LRefCountedObject>& data, uint32_t index) : mData(data), mIndex(index) {}
    WString ToString() const override;

    RCPtr<LRefCountedObject> mData;
    uint32_t mIndex;
};

class LIndexedDataWithValueParam : public LIndexedDataParam
{
public:
    LIndexedDataWithValueParam(const RCPtr<LRefCountedObject>& data, uint32_t index, double value)
        : LIndexedDataParam(data, index), mValue(value)
    {
    }
    WString ToString() const override;

    double mValue;
};

// A list row with a "checkBox" part; it keeps its hover look while the
// pointer is over the check box.
class LCheckedListBoxItem : public LListBoxItem
{
public:
    using ItemHandler = LNotificationHandler<LCheckedListBoxItem>;

    LCheckedListBoxItem(const RCPtr<LControl>& parent, const WString& name) : LListBoxItem(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LCheckedListBoxItem>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;
    TavoResult Initialize() override;

    virtual bool SetRowLook(int32_t index, float state);
    TavoResult SetCheckBoxLook(int32_t index, float state);
    const RCPtr<LControl>& GetCheckBox() const { return mCheckBox; }

    bool mCheckBoxFollowsLook = false;

private:
    TavoResult OnCheckBoxHover(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);

    RCPtr<ItemHandler> mHandler;
    RCPtr<LControl> mCheckBox;
};

// A list box whose items carry a checked flag shown by each row's check box.
class LCheckedListBox : public LListBox
{
public:
    using CheckedHandler = LNotificationHandler<LCheckedListBox>;

    LCheckedListBox(const RCPtr<LControl>& parent, const WString& name) : LListBox(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LCheckedListBox>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;
    TavoResult Initialize() override;
    int32_t SetItemCount(uint32_t count) override;
    TavoResult CreateItemControl() override;
    TavoResult SetItemState(uint32_t index, int32_t& row) override;
    TavoResult SwapItems(uint32_t a, uint32_t b) override;

    // Which check box report the list follows: its value changes (true) or
    // its clicks, leaving the value to the owner (false).
    void SetCheckBoxAutoValue(bool autoValue);
    // Passive check boxes ignore the pointer and keep the look they are given.
    void SetCheckBoxPassive(bool passive);
    void RecountChecked();
    bool IsItemChecked(uint32_t index) const { return index < mChecked.size() && mChecked[index]; }
    void SetItemChecked(uint32_t index, bool checked);
    uint32_t GetCheckedCount() const { return mCheckedCount; }
    // Icons from the skin's fourth look; item i shows icon i modulo their count.
    const std::vector<RCPtr<LBitmap>>& GetIconList() const { return mIcons; }
    // Empty past the items or without icons.
    RCPtr<LBitmap> GetItemIcon(uint32_t index) const
    {
        return index < GetItemCount() && !mIcons.empty() ? mIcons[index % mIcons.size()] : RCPtr<LBitmap>();
    }

    bool mCheckBoxFollowsLook = false;

protected:
    TavoResult InsertRecord(uint32_t index) override;
    TavoResult EraseRecord(uint32_t index) override;
    TavoResult EraseRecords(uint32_t first, uint32_t count) override;
    // A row's check box changed the item's checked flag; the report follows.
    virtual void ItemCheckChanged(uint32_t /*index*/) {}

    // While set, check box reports change nothing and send nothing.
    bool mIgnoreCheckReports = false;

private:
    TavoResult OnCheckBoxValue(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnCheckBoxClick(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult ReportCheck(const RCPtr<LNotificationDistributor>& sender, bool valueChange);
    static RCPtr<LControl> CheckBoxOf(LListBoxItem* row);
    void Listen(const RCPtr<LControl>& checkBox);

    RCPtr<CheckedHandler> mCheckedHandler;
    std::vector<bool> mChecked;
    bool mCheckBoxPassive = false;
    bool mCheckBoxAutoValue = true;
    uint32_t mCheckedCount = 0;
    std::vector<RCPtr<LBitmap>> mIcons;
};

}  // namespace Tavo
