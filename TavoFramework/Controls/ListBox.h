#pragma once

#include "Controls/ListBoxItem.h"
#include "Controls/ScrollView.h"
#include "Notification/NotificationParams.h"
#include "ObjectBase/Holder.h"
#include "ObjectBase/TaggableObject.h"
#include "Renderer/Font.h"

#include <map>
#include <vector>

namespace Tavo {

// An item whose data is its text.
using LListText = LWrapperStringable<WString, StringToString, LTaggableObject>;

// Data of the row notifications of a list box: the row's conditions with
// the item bound to it, the row's look and its hover byte.
class LItemConditionsParam : public LConditionsParam
{
public:
    static RCPtr<LItemConditionsParam> Create(const LConditionsParam& row, uint32_t item, int32_t look,
                                              bool hover)
    {
        return RCPtr<LItemConditionsParam>(new LItemConditionsParam(row, item, look, hover));
    }
    uint32_t mItemIndex;
    int32_t mLookIndex;
    bool mHover;

protected:
    LItemConditionsParam(const LConditionsParam& row, uint32_t item, int32_t look, bool hover)
        : LConditionsParam(row.mConditions, row.mPreviousConditions, row.mX, row.mY), mItemIndex(item),
          mLookIndex(look), mHover(hover)
    {
    }
};

// A scrolling list of items shown by a few reused row controls made from
// the skin's "templateItem" (or its fixed rows "item1", "item2", ...).
// Scrolling rebinds the rows; a list of many items costs one record each.
class LListBox : public LScrollView
{
public:
    using ListBoxHandler = LNotificationHandler<LListBox>;

    struct ItemRecord
    {
        RCPtr<LRefCountedObject> data;
        double weight = 0.0;
        bool alternate = false;
        bool separator = false;
        bool hidden = false;
    };

    LListBox(const RCPtr<LControl>& parent, const WString& name) : LScrollView(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LListBox>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    TavoResult Initialize() override;
    void UpdateScrollState() override;
    void ChildGeometryChanged(const RCPtr<LControl>& child) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    void ChildRemoved(const RCPtr<LControl>& child, int32_t index) override;
    void ClampScrollPosition() override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    void OnLeftUp(const RCPtr<LMouseButtonParam>& param) override;
    void HandlePointerPosition(const RCPtr<LPointWithModifiersParam>& pointer) override;

    // ---- Items ----
    virtual uint32_t GetItemCount() const { return uint32_t(mItems.size()); }
    // n, or minus the count reached when it is not n.
    virtual int32_t SetItemCount(uint32_t count);
    // The new count, or E_INVALIDARG.
    virtual TavoResult RemoveItem(uint32_t index);
    virtual TavoResult RemoveAllItems();
    virtual bool SortItems();
    virtual void OnSelectionChanged() {}
    virtual void OnItemActivated() {}
    virtual int32_t GetItemIndexOfControl(const LControl* row) const;
    virtual TavoResult SetItemHidden(uint32_t index, bool hidden);
    virtual TavoResult CreateItemControl();
    // Binds item i to its row; 1 when it has none (row -1).
    virtual TavoResult SetItemState(uint32_t index, int32_t& row);
    virtual int32_t GetRowOfItem(uint32_t index) const;
    virtual int32_t GetContentHeight() const;
    // The room item i's row needs: the row's own room plus the item's text
    // in the rows' font; 0 past the last item or without rows.
    virtual int32_t MeasureItemWidth(uint32_t index);
    int32_t GetWidestRow() const { return mWidestRow; }
    virtual bool IsRowSelectable(uint32_t /*index*/) { return true; }
    virtual TavoResult SwapItems(uint32_t a, uint32_t b);
    virtual TavoResult SortRange(uint32_t first, uint32_t count);

    uint32_t InsertItemAt(uint32_t index, const RCPtr<LRefCountedObject>& data);
    TavoResult SetItemData(uint32_t index, const RCPtr<LRefCountedObject>& data);
    // While on, item changes measure and lay out nothing; turning it off lays
    // the list out and measures the widest item once, unless the batch only
    // moved the items among themselves (sameItems), which keeps the widest.
    void SetBatchUpdate(bool batch, bool sameItems = false);
    bool SetItemAlternate(uint32_t index, bool alternate);
    bool SetItemSeparator(uint32_t index, bool separator);
    WString GetItemText(uint32_t index) const;
    // Empty past the last item.
    RCPtr<LRefCountedObject> GetItemData(uint32_t index) const;
    bool GetItemAlternate(uint32_t index) const;
    double GetItemSelectionWeight(uint32_t index) const;
    bool IsItemSelected(uint32_t index) const { return GetItemSelectionWeight(index) >= 0.5; }
    std::vector<uint32_t> GetSelectedIndices() const;
    uint32_t GetSelectedCount() const { return mSelectedCount; }
    int32_t FindItemByText(const WString& text, bool exact) const;
    TavoResult SelectItemByText(const WString& text, bool exact);
    // Items from the create parameters "ITEM.0", "ITEM.1", ...
    TavoResult SetItemsFromProperties(const RCPtr<LStringTable>& properties);

    // ---- Selection and scrolling ----
    // last -1 means first; the first index or E_INVALIDARG.
    int32_t SelectRange(uint32_t first, int32_t last, bool exclusive);
    TavoResult DeselectItem(uint32_t index);
    void ClearSelection();
    TavoResult ScrollToItem(uint32_t index);
    void ActivateItem(uint32_t index);
    int32_t GetAnchor() const { return mAnchor; }
    int32_t GetCaret() const { return mCaret; }
    uint32_t GetTopItem() const { return mTopItem; }
    int32_t GetItemIndexAtPoint(const PointT<int32_t>& point);
    TavoResult SetHoverSelect(bool hoverSelect);
    int32_t GetItemHeight() const { return mItemHeight; }
    // The list's height becomes its visible items' (within its limits).
    void FitLookToItems() { FitHeightToContent(GetContentHeight()); }
    uint32_t GetRowCount() const { return uint32_t(mRows.size()); }
    LListBoxItem* GetRow(uint32_t row) const { return row < mRows.size() ? mRows[row].Get() : nullptr; }

    bool mMultiSelect = false;
    uint32_t mSelectionMode = 1;
    bool mAutoSort = false;

protected:
    virtual ItemRecord& GetItemRecord(uint32_t index) { return mItems[index]; }
    virtual TavoResult InsertRecord(uint32_t index);
    virtual TavoResult EraseRecord(uint32_t index);
    // The records first .. first+count-1 at once.
    virtual TavoResult EraseRecords(uint32_t first, uint32_t count);
    // As removing the items first .. first+count-1 one by one from the last;
    // in one go when no selection, anchor or caret lies in the run (the
    // shifts of each single removal would cost the run times the rest).
    TavoResult RemoveRun(uint32_t first, uint32_t count);
    void AttachRow(const RCPtr<LListBoxItem>& row);
    void RefreshRowsFrom(uint32_t index);
    // Puts the records from first on into the order given (order[k] is the
    // former position, counted from first, of the record that goes to k).
    void MoveItemsToOrder(uint32_t first, const std::vector<uint32_t>& order);
    void RefreshItem(uint32_t index);
    void EnsureRowControls();
    TavoResult UpdateLayout();
    void FitHeightToContent(int32_t height);
    void FitWidthToContent(int32_t width);
    void FitAxisToContent(int32_t axis, int32_t size);
    // The widest item measured again; 1 when nothing changed.
    TavoResult UpdateWidestRow();
    TavoResult SetWidestRow(int32_t width);
    // Items whose texts changed unmeasured: the next widest asks all again.
    void ForgetItemWidths() { mWidthsKnown = false; }
    void ScrollbarShownChanged(int32_t axis) override;
    void SetSelectionWeight(uint32_t index, double weight);
    void ReportSelection();
    void SetTemplateItem(const RCPtr<LControl>& templ);
    bool IsItemHidden(uint32_t index) const { return index < GetItemCount() && mItems[index].hidden; }
    // Sets a record's hidden flag and keeps the count of hidden items.
    void SetRecordHidden(uint32_t index, bool hidden);

    TavoResult OnRowMouseDown(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnRowMouseUp(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnRowHover(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnRowDrag(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);

    RCPtr<ListBoxHandler> mHandler;
    std::vector<ItemRecord> mItems;
    std::vector<RCPtr<LListBoxItem>> mRows;
    RCPtr<LControlDescriptor> mTemplateDescriptor;
    int32_t mAnchor = -1;
    int32_t mCaret = -1;
    int32_t mPendingClick = -1;
    bool mHoverSelect = false;
    int32_t mItemHeight = 14;
    uint32_t mSelectedCount = 0;
    int32_t mRowDragThreshold = 1;
    uint32_t mTopItem = 0;
    bool mFillingRows = false;
    bool mTemplateMeasured = false;
    bool mBatchUpdate = false;
    // The template's room around its text; derived classes may preset it.
    int32_t mRowOverhead = -1;
    int32_t mWidestRow = 0;
    uint32_t mHiddenCount = 0;

private:
    // What every removal ends with: rows from `first` on, layout, the widest
    // width when a widest item went, the fitted height and the top item.
    void SettleAfterRemoval(uint32_t first, bool widestGone);

    // The widest after a widest item went or narrowed.
    TavoResult WidestAfterLoss();
    // The count of items at each measured width, so that losing a widest
    // item needs no measuring of the others; it holds while the rows' font
    // and room stay those it was measured with.
    bool WidthsStillKnown() const;
    void CountWidth(int32_t width, int32_t delta);
    std::map<int32_t, uint32_t> mWidthCounts;
    bool mWidthsKnown = false;
    RCPtr<LFont> mWidthsFont;
    int32_t mWidthsOverhead = -1;

    // The template row's layout asks: sized to itself, and its text expanding it.
    bool TemplateSizedToSelf() const;
    bool TemplateExpands() const;
    LListBoxItem* RowOf(const RCPtr<LNotificationDistributor>& sender) const;
    void ClickRule(uint32_t item, const LMouseButtonParam& press);
    int32_t NextSelectable(int32_t from, int32_t step);
};

}  // namespace Tavo
