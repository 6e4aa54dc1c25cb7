#pragma once

#include "Controls/Button.h"
#include "Controls/ListBox.h"
#include "Controls/Panel.h"

#include <vector>

namespace Tavo {

// A table made of list boxes side by side ("listboxNoScroll1", ...), each
// with an optional header button above it ("buttonColumnHeader1", ...). A
// row is selected, hovered and scrolled in every column at once; a header
// click sorts all columns by that column's texts, alternating direction.
// A skin without columns gives an inert table.
class LMultiColumnListBox : public LPanel
{
public:
    using TableHandler = LNotificationHandler<LMultiColumnListBox>;

    LMultiColumnListBox(const RCPtr<LControl>& parent, const WString& name) : LPanel(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LMultiColumnListBox>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // E_FAIL when header buttons exist and their number differs from the
    // column count; the table still works.
    TavoResult Initialize() override;
    TavoResult Finalize() override;
    void UpdateScrollState() override;
    void ScrollRectIntoView(const RCPtr<LControl>& child) override;
    // The area the first column shows, beside the vertical scrollbar.
    RectT<double> GetClientRect() override;

    // Sorts every column by the texts of column c; no selection report.
    void PerformSort(uint32_t column);
    WString GetCellText(uint32_t column, uint32_t row) const;

    uint32_t GetColumnCount() const { return uint32_t(mColumns.size()); }
    LListBox* GetColumn(uint32_t c) const { return c < mColumns.size() ? mColumns[c].Get() : nullptr; }
    uint32_t GetHeaderCount() const { return uint32_t(mColumnHeaders.size()); }
    LButton* GetHeader(uint32_t c) const
    {
        return c < mColumnHeaders.size() ? mColumnHeaders[c].Get() : nullptr;
    }
    bool IsNextSortAscending(uint32_t c) const { return c < mSortAscending.size() && mSortAscending[c]; }

private:
    TavoResult OnColumnItemHoverConditionChange(const RCPtr<LNotificationDistributor>& sender,
                                                const RCPtr<LNotification>& n);
    TavoResult OnColumnSelectionChange(const RCPtr<LNotificationDistributor>& sender,
                                       const RCPtr<LNotification>& n);
    TavoResult OnColumnItemActivated(const RCPtr<LNotificationDistributor>& sender,
                                     const RCPtr<LNotification>& n);
    TavoResult OnColumnItemDoubleClicked(const RCPtr<LNotificationDistributor>& sender,
                                         const RCPtr<LNotification>& n);
    TavoResult OnColumnItemRightClick(const RCPtr<LNotificationDistributor>& sender,
                                      const RCPtr<LNotification>& n);
    TavoResult OnFirstColumnScrollOffsetChange(const RCPtr<LNotificationDistributor>& sender,
                                               const RCPtr<LNotification>& n);
    TavoResult OnFirstColumnClientExtentChange(const RCPtr<LNotificationDistributor>& sender,
                                               const RCPtr<LNotification>& n);
    TavoResult OnColumnHeaderClicked(const RCPtr<LNotificationDistributor>& sender,
                                     const RCPtr<LNotification>& n);

    // Index of the column that sent, or -1.
    int32_t ColumnOf(const RCPtr<LNotificationDistributor>& sender) const;
    void UpdateClientExtent();

    RCPtr<TableHandler> mHandler;
    std::vector<RCPtr<LListBox>> mColumns;
    std::vector<RCPtr<LButton>> mColumnHeaders;
    std::vector<bool> mSortAscending;
};

}  // namespace Tavo
