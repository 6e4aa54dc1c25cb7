#include "Controls/MultiColumnListBox.h"

#include "Controls/ControlNotifications.h"

#include <algorithm>
#include <string_view>

namespace Tavo {

namespace {

// Columns and headers stay in view; the table scrolls their content instead.
void DockVertically(LControl& control)
{
    LLayoutDescriptor::Axis y;
    control.GetPlacement(1, y);
    y.docked = true;
    control.SetAxisPlacement(1, y);
}

constexpr const char16_t* kSelectionChange = u"NID_SELECTION_CHANGE";

}  // namespace

TavoResult LMultiColumnListBox::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                                    const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LPanel::ReceiveNotification(sender, notification);
}

TavoResult LMultiColumnListBox::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                            const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LPanel::Unsubscribe(distributor, name);
}

TavoResult LMultiColumnListBox::Initialize()
{
    TavoResult result = LPanel::Initialize();
    mHandler = TableHandler::Create(this);
    for (int32_t i = 1;; ++i) {
        RCPtr<LListBox> column =
            RCPtrDynamicCast<LListBox>(FindChildByName(WString::Format(u"listboxNoScroll%d", i)));
        if (!column)
            break;
        mColumns.push_back(column);
        const RCPtr<LNotificationDistributor> sender(column.Get());
        mHandler->AddHandler(&LMultiColumnListBox::OnColumnItemHoverConditionChange, sender,
                             u"NID_ITEM_HOVER_CONDITION_CHANGE");
        mHandler->AddHandler(&LMultiColumnListBox::OnColumnSelectionChange, sender, kSelectionChange);
        mHandler->AddHandler(&LMultiColumnListBox::OnColumnItemActivated, sender, u"NID_ITEM_ACTIVATED");
        mHandler->AddHandler(&LMultiColumnListBox::OnColumnItemDoubleClicked, sender,
                             u"NID_ITEM_DOUBLE_CLICKED");
        mHandler->AddHandler(&LMultiColumnListBox::OnColumnItemRightClick, sender, u"NID_ITEM_RIGHT_CLICK");
        if (i == 1) {
            mHandler->AddHandler(&LMultiColumnListBox::OnFirstColumnScrollOffsetChange, sender,
                                 u"NID_SCROLL_OFFSET_CHANGE");
            mHandler->AddHandler(&LMultiColumnListBox::OnFirstColumnClientExtentChange, sender,
                                 u"NID_CLIENT_EXTENT_CHANGE");
        }
        DockVertically(*column);
    }
    for (int32_t i = 1;; ++i) {
        RCPtr<LButton> header =
            RCPtrDynamicCast<LButton>(FindChildByName(WString::Format(u"buttonColumnHeader%d", i)));
        if (!header)
            break;
        mColumnHeaders.push_back(header);
        mHandler->AddHandler(&LMultiColumnListBox::OnColumnHeaderClicked,
                             RCPtr<LNotificationDistributor>(header.Get()), u"NID_LEFT_CLICK");
        DockVertically(*header);
    }
    if (!mColumnHeaders.empty() && mColumnHeaders.size() != mColumns.size())
        result = E_FAIL;
    mSortAscending.assign(mColumns.size(), true);
    SetAutoClientExtent(0, 0, 0);
    SetScrollUnit(1, 1, mColumns.empty() ? 1 : mColumns.front()->GetItemHeight());
    return result;
}

TavoResult LMultiColumnListBox::Finalize()
{
    if (mColumns.empty())
        return S_OK;
    for (size_t c = mColumns.size(); c-- > 1;)
        mColumns[c]->SetNotFocusable(true);
    const int32_t rowHeight = mColumns.front()->GetItemHeight();
    SetScrollUnit(1, 1, rowHeight);
    UpdateScrollbars();
    for (size_t c = mColumns.size(); c-- > 0;) {
        LListBox& column = *mColumns[c];
        const RCPtr<LControlDescriptor>& descriptor = column.GetDescriptor();
        const LLayoutDescriptor* skin = descriptor ? descriptor->GetLayout().Get() : nullptr;
        if (!skin)
            continue;
        // Limits the skin left open: no widest column, at least one row high.
        if (skin->x.maxAbs == 0) {
            LLayoutDescriptor::Axis x;
            column.GetPlacement(0, x);
            x.maxRel = 0, x.maxAbs = 0;
            column.SetAxisPlacement(0, x);
        }
        if (skin->y.minAbs == 0 || skin->y.maxAbs == 0) {
            LLayoutDescriptor::Axis y;
            column.GetPlacement(1, y);
            if (skin->y.minAbs == 0)
                y.minRel = 0, y.minAbs = column.GetItemHeight();
            if (skin->y.maxAbs == 0)
                y.maxRel = 0, y.maxAbs = 0;
            column.SetAxisPlacement(1, y);
        }
    }
    UpdateClientExtent();
    return S_OK;
}

void LMultiColumnListBox::UpdateClientExtent()
{
    if (mColumns.empty())
        return;
    const LListBox& last = *mColumns.back();
    SetClientExtent({last.GetX() + last.GetWidth(), mColumns.front()->GetClientExtent().y});
}

void LMultiColumnListBox::ScrollRectIntoView(const RCPtr<LControl>& child)
{
    // Only the last column's geometry moves the table's right edge.
    if (child && !mColumns.empty() &&
        child->GetName() == WString::Format(u"listboxNoScroll%d", int(mColumns.size())))
        UpdateClientExtent();
}

RectT<double> LMultiColumnListBox::GetClientRect()
{
    if (mColumns.empty())
        return {0, 0, 0, 0};
    const LListBox& first = *mColumns.front();
    const double width = GetLookSize(-1).width - GetScrollbarThickness().x;
    return {first.GetX(), first.GetY(), std::max(0.0, width), first.GetLookSize(-1).height};
}

void LMultiColumnListBox::UpdateScrollState()
{
    if (!mColumns.empty()) {
        const RCPtr<LNotificationDistributor> first(mColumns.front().Get());
        // The columns follow the table; the first one must not echo back.
        const auto follow = [&] {
            for (const RCPtr<LListBox>& column : mColumns)
                column->SetScrollOffset({column->GetScrollOffset().x, mScrollY});
        };
        if (mHandler && mHandler->FindHandler(first, u"NID_SCROLL_OFFSET_CHANGE")) {
            CAutoNotificationDisabler<LMultiColumnListBox> quiet(mHandler, first,
                                                                 u"NID_SCROLL_OFFSET_CHANGE");
            follow();
        } else
            follow();
    }
    LPanel::UpdateScrollState();
}

int32_t LMultiColumnListBox::ColumnOf(const RCPtr<LNotificationDistributor>& sender) const
{
    for (size_t c = mColumns.size(); c-- > 0;)
        if (static_cast<LNotificationDistributor*>(mColumns[c].Get()) == sender.Get())
            return int32_t(c);
    return -1;
}

TavoResult LMultiColumnListBox::OnColumnItemHoverConditionChange(
    const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n)
{
    const int32_t source = ColumnOf(sender);
    auto* c = DataOf<LItemConditionsParam>(n);
    if (source < 0 || !c)
        return 1;
    const bool now = c->mConditions & kConditionHover, before = c->mPreviousConditions & kConditionHover;
    // A mirrored hover reports without the pointer and is not mirrored back.
    if (now == before || (now && !c->mHover))
        return 1;
    for (size_t j = mColumns.size(); j-- > 0;) {
        if (int32_t(j) == source)
            continue;
        const int32_t row = mColumns[j]->GetRowOfItem(c->mItemIndex);
        if (LListBoxItem* control = row < 0 ? nullptr : mColumns[j]->GetRow(uint32_t(row)))
            control->SetConditionFlag(now);
    }
    return 1;
}

TavoResult LMultiColumnListBox::OnColumnSelectionChange(const RCPtr<LNotificationDistributor>& sender,
                                                        const RCPtr<LNotification>&)
{
    if (!dynamic_cast<LListBox*>(sender.Get()))
        return 1;
    const int32_t s = ColumnOf(sender);
    if (s >= 0) {
        const LListBox& source = *mColumns[size_t(s)];
        const bool exclusive = !mColumns.front()->mMultiSelect;
        for (uint32_t r = mColumns.front()->GetItemCount(); r-- > 0;)
            for (size_t j = mColumns.size(); j-- > 0;) {
                LListBox& column = *mColumns[j];
                if (int32_t(j) == s || column.IsItemSelected(r) == source.IsItemSelected(r))
                    continue;
                CAutoNotificationDisabler<LMultiColumnListBox> quiet(
                    mHandler, RCPtr<LNotificationDistributor>(&column), kSelectionChange);
                if (source.IsItemSelected(r))
                    column.SelectRange(r, -1, exclusive);
                else
                    column.DeselectItem(r);
            }
    }
    RCPtr<LControl> self(this);
    Notify(kSelectionChange);
    return 1;
}

TavoResult LMultiColumnListBox::OnColumnItemActivated(const RCPtr<LNotificationDistributor>&,
                                                      const RCPtr<LNotification>&)
{
    RCPtr<LControl> self(this);
    Notify(u"NID_ITEM_ACTIVATED");
    return 1;
}

TavoResult LMultiColumnListBox::OnColumnItemDoubleClicked(const RCPtr<LNotificationDistributor>&,
                                                          const RCPtr<LNotification>&)
{
    RCPtr<LControl> self(this);
    Notify(u"NID_ITEM_DOUBLE_CLICKED");
    return 1;
}

TavoResult LMultiColumnListBox::OnColumnItemRightClick(const RCPtr<LNotificationDistributor>&,
                                                       const RCPtr<LNotification>&)
{
    RCPtr<LControl> self(this);
    Notify(u"NID_ITEM_RIGHT_CLICK");
    return 1;
}

TavoResult LMultiColumnListBox::OnFirstColumnScrollOffsetChange(const RCPtr<LNotificationDistributor>&,
                                                                const RCPtr<LNotification>&)
{
    // The table keeps its own horizontal offset: the columns scroll only
    // vertically together.
    if (!mColumns.empty())
        SetScrollOffset({mScrollX, mColumns.front()->GetScrollOffset().y});
    return 1;
}

TavoResult LMultiColumnListBox::OnFirstColumnClientExtentChange(const RCPtr<LNotificationDistributor>&,
                                                                const RCPtr<LNotification>&)
{
    if (mColumns.empty())
        return 1;
    SetScrollUnit(1, 1, mColumns.front()->GetItemHeight());
    UpdateScrollbars();
    UpdateClientExtent();
    return 1;
}

TavoResult LMultiColumnListBox::OnColumnHeaderClicked(const RCPtr<LNotificationDistributor>& sender,
                                                      const RCPtr<LNotification>&)
{
    for (size_t i = std::min(mColumns.size(), mColumnHeaders.size()); i-- > 0;)
        if (static_cast<LNotificationDistributor*>(mColumnHeaders[i].Get()) == sender.Get()) {
            PerformSort(uint32_t(i));
            break;
        }
    return 1;
}

WString LMultiColumnListBox::GetCellText(uint32_t column, uint32_t row) const
{
    if (column >= mColumns.size() || row >= mColumns.front()->GetItemCount())
        return WString();
    return mColumns[column]->GetItemText(row);
}

void LMultiColumnListBox::PerformSort(uint32_t c)
{
    if (c >= mColumns.size())
        return;
    LListBox& first = *mColumns.front();
    const uint32_t n = first.GetItemCount();
    // Case is ignored as the list box's own sort does: keys compared
    // lower-cased. The records view the keys, so that sorting moves no
    // shared strings.
    struct SortRecord
    {
        uint32_t index;
        std::u16string_view key;
    };
    std::vector<WString> keys(n);
    std::vector<SortRecord> records(n);
    std::vector<bool> alternate(n);
    for (uint32_t r = 0; r < n; ++r) {
        keys[r] = GetCellText(c, r).ToLower();
        records[r] = {r, std::u16string_view(keys[r].c_str(), keys[r].GetLength())};
        alternate[r] = first.GetItemAlternate(r);
    }
    const std::vector<uint32_t> selected = first.GetSelectedIndices();

    // The columns' own selection reports while they are cleared and selected
    // again are no change of the table's.
    for (size_t j = mColumns.size(); j-- > 0;) {
        const RCPtr<LNotificationDistributor> column(mColumns[j].Get());
        TavoResult result = mHandler->RemoveHandler(column, kSelectionChange)
                                ? LNotificationClient::Unsubscribe(column, kSelectionChange)
                                : E_FAIL;
        TAVO_THROW_IF_FAILED(result, "Tavo::LMultiColumnListBox::PerformSort", "Controls\\MultiColumnListBox",
                             725);
    }
    for (size_t j = mColumns.size(); j-- > 0;)
        mColumns[j]->ClearSelection();

    const bool ascending = mSortAscending[c];
    std::stable_sort(records.begin(), records.end(), [ascending](const SortRecord& a, const SortRecord& b) {
        return ascending ? a.key < b.key : b.key < a.key;
    });
    mSortAscending[c] = !ascending;

    // Every cell moves with its row: a column shorter than the first gets
    // empty cells first, or the cells bound for rows it lacks would be lost.
    // The cells only change places, so no column measures them again: its
    // widest cell stays.
    std::vector<RCPtr<LRefCountedObject>> taken(n);
    for (size_t j = mColumns.size(); j-- > 0;) {
        LListBox& column = *mColumns[j];
        if (column.GetItemCount() < n)
            column.SetItemCount(n);
        column.SetBatchUpdate(true);
        for (uint32_t r = n; r-- > 0;)
            taken[r] = column.GetItemData(r);
        for (uint32_t r = n; r-- > 0;)
            column.SetItemData(r, taken[records[r].index]);
        column.SetBatchUpdate(false, true);
    }
    std::vector<bool> wasSelected(n);
    for (uint32_t r : selected)
        wasSelected[r] = true;
    for (uint32_t r = n; r-- > 0;) {
        const uint32_t o = records[r].index;
        for (size_t j = mColumns.size(); j-- > 0;)
            mColumns[j]->SetItemAlternate(r, alternate[o]);
        if (wasSelected[o])
            for (size_t j = mColumns.size(); j-- > 0;)
                if (mColumns[j]->SelectRange(r, -1, false) < 0)
                    break;
    }

    for (size_t j = mColumns.size(); j-- > 0;) {
        TavoResult result =
            mHandler->AddHandler(&LMultiColumnListBox::OnColumnSelectionChange,
                                 RCPtr<LNotificationDistributor>(mColumns[j].Get()), kSelectionChange);
        TAVO_THROW_IF_FAILED(result, "Tavo::LMultiColumnListBox::PerformSort", "Controls\\MultiColumnListBox",
                             768);
    }
}

}  // namespace Tavo
