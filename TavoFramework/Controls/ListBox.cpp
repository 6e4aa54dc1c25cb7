// The list box: item records and their row controls, widest-row tracking,
// insertion, removal and sorting, selection, scrolling, pointer and keys.
// Long because rows are made only for what shows and every change of the
// records must keep rows, widths, selection and scroll position in step.
#include "Controls/ListBox.h"

#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ControlNotifications.h"
#include "Renderer/Font.h"
#include "Renderer/Renderer.h"
#include "Renderer/RenderHost.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Tavo {

namespace {

constexpr uint32_t kModifierCtrl = 0x1;
constexpr uint32_t kModifierShift = 0x8;
// Skin items are numbered; larger numbers would size the list without bound.
constexpr int64_t kMaxSkinItem = 10000;

// The number after the prefix, or -1 unless the whole rest is 0..10000.
int64_t SkinItemNumber(const WString& key)
{
    static const WString prefix(u"ITEM.");
    const uint32_t length = key.GetLength();
    if (length <= prefix.GetLength() || length > prefix.GetLength() + 5)
        return -1;
    for (uint32_t i = 0; i < prefix.GetLength(); ++i)
        if (key[i] != prefix[i])
            return -1;
    int64_t n = 0;
    for (uint32_t i = prefix.GetLength(); i < length; ++i) {
        if (key[i] < u'0' || key[i] > u'9')
            return -1;
        n = n * 10 + (key[i] - u'0');
    }
    return n <= kMaxSkinItem ? n : -1;
}

}  // namespace

TavoResult LListBox::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                         const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LScrollView::ReceiveNotification(sender, notification);
}

TavoResult LListBox::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LScrollView::Unsubscribe(distributor, name);
}

TavoResult LListBox::Initialize()
{
    const TavoResult base = LScrollView::Initialize();
    mHandler = ListBoxHandler::Create(this);
    if (Failed(base))
        return base;
    SetAutoClientExtent(0, 0, 0);
    if (RCPtr<LControl> templ = FindChildByName(u"templateItem")) {
        mTemplateDescriptor = templ->GetDescriptor();
        SetTemplateItem(templ);
        templ->Detach();
        SetScrollUnit(1, 1, mItemHeight);
        if (mDescriptor && mDescriptor->GetCreateParams())
            SetItemsFromProperties(mDescriptor->GetCreateParams());
        EnsureRowControls();
        UpdateLayout();
        return base;
    }
    // Fixed rows: "item1", "item2", ... up to the first missing number.
    for (int32_t n = 1;; ++n) {
        std::u16string name = u"item";
        for (char c : std::to_string(n))
            name += char16_t(c);
        RCPtr<LListBoxItem> row = RCPtrDynamicCast<LListBoxItem>(FindChildByName(WString(name.c_str())));
        if (!row)
            break;
        if (mRows.empty())
            SetTemplateItem(row);
        AttachRow(row);
        InsertRecord(GetItemCount());
        mItems.back().data = RCPtr<LRefCountedObject>(new LListText(row->GetText()));
    }
    if (!mRows.empty()) {
        RefreshRowsFrom(0);
        UpdateLayout();
        if (mAutoSort)
            SortItems();
    }
    return base;
}

void LListBox::SetTemplateItem(const RCPtr<LControl>& templ)
{
    // The template's own height is the row pitch.
    LLayoutDescriptor::Axis y;
    templ->GetPlacement(1, y);
    const double height = y.sizeRef == 2 ? y.sizeAbs : templ->GetHeight();
    mItemHeight = RoundToInt32(height);
    if (mItemHeight < 1)
        mItemHeight = 14;
    if (mRowOverhead < 0) {
        // The template's width with no text at all.
        const WString text = templ->GetText();
        templ->SetText(WString());
        RectT<double> empty{0, 0, 0, 0};
        templ->ApplyMinimumSize(empty);
        mRowOverhead = std::max(0, RoundToInt32(empty.width));
        templ->SetText(text);
    }
    mTemplateMeasured = true;
}

bool LListBox::TemplateSizedToSelf() const
{
    const LLayoutDescriptor* layout = mTemplateDescriptor ? mTemplateDescriptor->GetLayout().Get() : nullptr;
    return !layout || layout->x.sizeRef == 2;
}

bool LListBox::TemplateExpands() const
{
    const LLayoutDescriptor* layout = mTemplateDescriptor ? mTemplateDescriptor->GetLayout().Get() : nullptr;
    return layout && layout->textOverflowX == 1;
}

int32_t LListBox::MeasureItemWidth(uint32_t index)
{
    if (index >= GetItemCount() || mRows.empty())
        return 0;
    const RCPtr<LMeasurementRenderer> measurer = GetMeasurementRenderer();
    const RCPtr<LFont> font = mRows[0]->GetFont();
    const WString text = GetItemText(index);
    const double width =
        measurer && font && !text.IsEmpty() ? measurer->MeasureString(text, font).width : 0.0;
    return std::max(0, mRowOverhead) + RoundToInt32(width);
}

TavoResult LListBox::UpdateWidestRow()
{
    if (mBatchUpdate)
        return S_FALSE;
    mWidthCounts.clear();
    for (uint32_t i = 0; i < GetItemCount(); ++i)
        ++mWidthCounts[MeasureItemWidth(i)];
    mWidthsKnown = true;
    mWidthsFont = mRows.empty() ? RCPtr<LFont>() : mRows[0]->GetFont();
    mWidthsOverhead = mRowOverhead;
    return SetWidestRow(mWidthCounts.empty() ? 0 : mWidthCounts.rbegin()->first);
}

TavoResult LListBox::WidestAfterLoss()
{
    if (mBatchUpdate || !WidthsStillKnown())
        return UpdateWidestRow();
    return SetWidestRow(mWidthCounts.empty() ? 0 : mWidthCounts.rbegin()->first);
}

bool LListBox::WidthsStillKnown() const
{
    return mWidthsKnown && mWidthsOverhead == mRowOverhead &&
           mWidthsFont == (mRows.empty() ? RCPtr<LFont>() : mRows[0]->GetFont());
}

void LListBox::CountWidth(int32_t width, int32_t delta)
{
    if (!mWidthsKnown)
        return;
    if (delta > 0) {
        ++mWidthCounts[width];
        return;
    }
    const auto it = mWidthCounts.find(width);
    if (it == mWidthCounts.end()) {
        // Measured otherwise than counted: count again when asked.
        mWidthsKnown = false;
        return;
    }
    if (--it->second == 0)
        mWidthCounts.erase(it);
}

TavoResult LListBox::SetWidestRow(int32_t width)
{
    if (mBatchUpdate || width == mWidestRow)
        return S_FALSE;
    mWidestRow = width;
    UpdateLayout();
    if (TemplateExpands())
        FitWidthToContent(RoundToInt32(GetScrollbarThickness().x) + mWidestRow);
    return S_OK;
}

void LListBox::FitWidthToContent(int32_t width)
{
    FitAxisToContent(0, width);
}

// Sizes the list so that its client area on one axis holds `size` pixels,
// keeping the frame and scrollbar around it.
void LListBox::FitAxisToContent(int32_t axis, int32_t size)
{
    const RectT<double> client = GetClientRect();
    const double frame = axis == 0 ? mWidth - client.width : mHeight - client.height;
    LLayoutDescriptor::Axis placement;
    GetPlacement(axis, placement);
    placement.sizeRef = 2;
    placement.sizeAbs = RoundCoordinate(frame + size);
    SetAxisPlacement(axis, placement);
}

void LListBox::ScrollbarShownChanged(int32_t axis)
{
    if (axis == 1 && TemplateExpands())
        FitWidthToContent(RoundToInt32(GetScrollbarThickness().x) + mWidestRow);
}

void LListBox::AttachRow(const RCPtr<LListBoxItem>& row)
{
    if (mHandler) {
        mHandler->AddHandler(&LListBox::OnRowMouseDown, row, u"NID_MOUSE_DOWN");
        mHandler->AddHandler(&LListBox::OnRowMouseUp, row, u"NID_MOUSE_UP");
        mHandler->AddHandler(&LListBox::OnRowDrag, row, u"NID_LEFT_DRAG_CONDITION_CHANGE");
        mHandler->AddHandler(&LListBox::OnRowHover, row, u"NID_HOVER_CONDITION_CHANGE");
    }
    row->mHoverSelect = mHoverSelect;
    row->SetDragThreshold(mRowDragThreshold);
    mRows.push_back(row);
}

TavoResult LListBox::CreateItemControl()
{
    if (!mTemplateDescriptor)
        return E_FAIL;
    RCPtr<LLayoutDescriptor> layout = mTemplateDescriptor->GetLayout()
                                          ? mTemplateDescriptor->GetLayout()->Clone()
                                          : LLayoutDescriptor::Create();
    // Rows stay in view as the content scrolls; scrolling rebinds them.
    layout->visible = true;
    layout->y.docked = true;
    layout->y.positionRef = 1;
    layout->y.positionRel = 0;
    layout->y.placementAnchor = 0;
    layout->y.positionAbs = double(mRows.size()) * mItemHeight;
    layout->y.sizeRef = 2;
    layout->y.sizeAbs = mItemHeight;
    std::u16string name = u"ItemControl";
    for (char c : std::to_string(mRows.size() + 1))
        name += char16_t(c);
    RCPtr<LControlDescriptor> descriptor =
        LControlDescriptor::CloneWithLayout(mTemplateDescriptor, layout, WString(name.c_str()));
    RCPtr<LControl> self(this), control;
    if (const auto& factory = ControlEnvironment().factory)
        control = factory->CreateControl(descriptor, self);
    else if (auto create = descriptor->GetCreateFunction())
        create(control, self, descriptor);
    RCPtr<LListBoxItem> row = RCPtrDynamicCast<LListBoxItem>(control);
    if (!row) {
        if (control)
            control->Detach();
        return E_FAIL;
    }
    AttachRow(row);
    int32_t bound = -1;
    SetItemState(mTopItem + uint32_t(mRows.size()) - 1, bound);
    return S_OK;
}

void LListBox::EnsureRowControls()
{
    if (mFillingRows || !mTemplateMeasured || !mTemplateDescriptor)
        return;
    mFillingRows = true;
    const RectT<double> client = LScrollView::GetClientRect();
    double limit = client.height + client.y - mScrollY;
    // A list sized to a long content (a closed drop-down's) is no taller on
    // screen than its window: rows below that could never be seen.
    if (LRootWindow* window = GetRootWindow())
        limit = std::min(limit, double(std::max(window->GetClientSize().y, mItemHeight)));
    while (double(mRows.size()) * mItemHeight < limit)
        if (Failed(CreateItemControl()))
            break;
    mFillingRows = false;
}

TavoResult LListBox::InsertRecord(uint32_t index)
{
    mItems.insert(mItems.begin() + std::min<size_t>(index, mItems.size()), ItemRecord());
    return S_OK;
}

TavoResult LListBox::EraseRecord(uint32_t index)
{
    if (mItems[index].hidden)
        --mHiddenCount;
    mItems.erase(mItems.begin() + index);
    return S_OK;
}

TavoResult LListBox::EraseRecords(uint32_t first, uint32_t count)
{
    const auto begin = mItems.begin() + first, end = begin + count;
    mHiddenCount -= uint32_t(std::count_if(begin, end, [](const ItemRecord& r) { return r.hidden; }));
    mItems.erase(begin, end);
    return S_OK;
}

void LListBox::SetRecordHidden(uint32_t index, bool hidden)
{
    ItemRecord& item = GetItemRecord(index);
    if (item.hidden != hidden)
        mHiddenCount += hidden ? 1 : uint32_t(-1);
    item.hidden = hidden;
}

WString LListBox::GetItemText(uint32_t index) const
{
    if (index >= GetItemCount() || !mItems[index].data)
        return WString();
    return mItems[index].data->ToString();
}

RCPtr<LRefCountedObject> LListBox::GetItemData(uint32_t index) const
{
    return index < GetItemCount() ? mItems[index].data : RCPtr<LRefCountedObject>();
}

bool LListBox::GetItemAlternate(uint32_t index) const
{
    return index < GetItemCount() && mItems[index].alternate;
}

double LListBox::GetItemSelectionWeight(uint32_t index) const
{
    return index < GetItemCount() ? mItems[index].weight : 0.0;
}

std::vector<uint32_t> LListBox::GetSelectedIndices() const
{
    std::vector<uint32_t> selected;
    for (uint32_t i = 0; i < GetItemCount(); ++i)
        if (IsItemSelected(i))
            selected.push_back(i);
    return selected;
}

int32_t LListBox::GetContentHeight() const
{
    // Counted as flags change: filling a list asks this once per item.
    const int64_t visible = int64_t(mItems.size()) - int64_t(mHiddenCount);
    return int32_t(std::min<int64_t>(visible * mItemHeight, INT32_MAX));
}

int32_t LListBox::GetRowOfItem(uint32_t index) const
{
    if (index < mTopItem || IsItemHidden(index))
        return -1;
    uint32_t row = 0;
    for (uint32_t k = mTopItem; k < index; ++k)
        if (!IsItemHidden(k) && ++row >= mRows.size())
            return -1;
    return row < mRows.size() ? int32_t(row) : -1;
}

int32_t LListBox::GetItemIndexOfControl(const LControl* control) const
{
    for (size_t r = mRows.size(); r-- > 0;) {
        if (mRows[r].Get() != control)
            continue;
        uint32_t k = mTopItem, seen = 0;
        for (;; ++k)
            if (!IsItemHidden(k) && seen++ == r)
                return int32_t(k);
    }
    return -1;
}

TavoResult LListBox::SetItemState(uint32_t index, int32_t& row)
{
    row = GetRowOfItem(index);
    if (row < 0)
        return S_FALSE;
    LListBoxItem* control = mRows[size_t(row)].Get();
    const bool exists = index < GetItemCount();
    const ItemRecord empty;
    const ItemRecord& item = exists ? GetItemRecord(index) : empty;
    control->SetLabelText(GetItemText(index), true);
    control->SetValue(item.weight);
    if (control->mAlternate != item.alternate) {
        control->mAlternate = item.alternate;
        control->UpdateLook();
    }
    control->SetEnabled(exists);
    control->SetSeparator(item.separator);
    return S_OK;
}

void LListBox::RefreshRowsFrom(uint32_t index)
{
    if (mRows.empty())
        return;
    int32_t row = -1;
    uint32_t k = std::max(index, mTopItem);
    for (; Succeeded(SetItemState(k, row)); ++k) {
        if (row < 0 && !IsItemHidden(k))
            break;
        if (row + 1 == int32_t(mRows.size()))
            break;
    }
}

void LListBox::RefreshItem(uint32_t index)
{
    int32_t row = -1;
    SetItemState(index, row);
    if (mHoverSelect && !mBatchUpdate) {
        UpdateLayout();
        FitHeightToContent(GetContentHeight());
    }
}

TavoResult LListBox::UpdateLayout()
{
    if (mBatchUpdate)
        return S_FALSE;
    SetClientExtent({TemplateSizedToSelf() ? double(mWidestRow) : 0.0, double(GetContentHeight())});
    return S_OK;
}

void LListBox::FitHeightToContent(int32_t height)
{
    if (mBatchUpdate)
        return;
    FitAxisToContent(1, height);
}

uint32_t LListBox::InsertItemAt(uint32_t index, const RCPtr<LRefCountedObject>& data)
{
    index = std::min(index, GetItemCount());
    InsertRecord(index);
    GetItemRecord(index).data = data;
    if (mAnchor >= int32_t(index))
        ++mAnchor;
    if (mCaret >= int32_t(index))
        ++mCaret;
    EnsureRowControls();
    RefreshRowsFrom(index);
    UpdateLayout();
    const int32_t width = MeasureItemWidth(index);
    CountWidth(width, 1);
    if (width > mWidestRow)
        SetWidestRow(width);
    if (mHoverSelect)
        FitHeightToContent(GetContentHeight());
    if (mAutoSort)
        SortItems();
    return index;
}

TavoResult LListBox::SetItemData(uint32_t index, const RCPtr<LRefCountedObject>& data)
{
    if (index >= GetItemCount())
        return S_OK;
    if (mBatchUpdate) {
        GetItemRecord(index).data = data;
        RefreshItem(index);
        ForgetItemWidths();
        return S_OK;
    }
    const int32_t before = MeasureItemWidth(index);
    GetItemRecord(index).data = data;
    RefreshItem(index);
    const int32_t width = MeasureItemWidth(index);
    CountWidth(before, -1);
    CountWidth(width, 1);
    // Only a widest item that narrows asks for the new widest.
    if (width > mWidestRow)
        SetWidestRow(width);
    else if (before == mWidestRow && width < before)
        WidestAfterLoss();
    return S_OK;
}

void LListBox::SetBatchUpdate(bool batch, bool sameItems)
{
    if (mBatchUpdate == batch)
        return;
    mBatchUpdate = batch;
    if (batch)
        return;
    UpdateLayout();
    if (!sameItems)
        UpdateWidestRow();
    if (mHoverSelect)
        FitHeightToContent(GetContentHeight());
}

bool LListBox::SetItemAlternate(uint32_t index, bool alternate)
{
    if (index >= GetItemCount())
        return false;
    GetItemRecord(index).alternate = alternate;
    int32_t row = -1;
    SetItemState(index, row);
    return true;
}

bool LListBox::SetItemSeparator(uint32_t index, bool separator)
{
    if (index >= GetItemCount())
        return false;
    GetItemRecord(index).separator = separator;
    int32_t row = -1;
    SetItemState(index, row);
    return true;
}

int32_t LListBox::SetItemCount(uint32_t count)
{
    if (count == GetItemCount())
        return int32_t(count);
    const bool batch = mBatchUpdate;
    mBatchUpdate = true;
    while (GetItemCount() < count) {
        const uint32_t before = GetItemCount();
        InsertItemAt(before, nullptr);
        if (GetItemCount() == before)
            break;
    }
    while (GetItemCount() > count)
        if (Failed(RemoveItem(GetItemCount() - 1)))
            break;
    mBatchUpdate = batch;
    UpdateLayout();
    UpdateWidestRow();
    if (mHoverSelect)
        FitHeightToContent(GetContentHeight());
    return GetItemCount() == count ? int32_t(count) : -int32_t(GetItemCount());
}

TavoResult LListBox::RemoveItem(uint32_t index)
{
    if (index >= GetItemCount())
        return E_INVALIDARG;
    const int32_t width = MeasureItemWidth(index);
    DeselectItem(index);
    EraseRecord(index);
    if (mAnchor > int32_t(index) && mCaret > int32_t(index))
        --mAnchor, --mCaret;
    else if (!(mAnchor <= int32_t(index) && mCaret <= int32_t(index)))
        mAnchor = mCaret = -1;
    if (mPendingClick >= int32_t(index))
        mPendingClick = -1;
    CountWidth(width, -1);
    SettleAfterRemoval(index, width == mWidestRow);
    return TavoResult(GetItemCount());
}

void LListBox::SettleAfterRemoval(uint32_t first, bool widestGone)
{
    EnsureRowControls();
    RefreshRowsFrom(first);
    UpdateLayout();
    if (widestGone)
        WidestAfterLoss();
    if (mHoverSelect)
        FitHeightToContent(GetContentHeight());
    if (GetItemCount() > 0)
        ScrollToItem(GetItemCount() - 1 <= mTopItem ? GetItemCount() - 1 : mTopItem);
}

TavoResult LListBox::RemoveRun(uint32_t first, uint32_t count)
{
    const uint32_t end = first + count;
    if (count == 0 || end > GetItemCount() || end < first)
        return E_INVALIDARG;
    const auto inRun = [&](int32_t i) { return i >= int32_t(first) && i < int32_t(end); };
    bool oneByOne = inRun(mAnchor) || inRun(mCaret);
    for (uint32_t k = first; k < end && !oneByOne; ++k)
        oneByOne = IsItemSelected(k);
    if (oneByOne) {
        TavoResult result = S_OK;
        for (uint32_t k = end; k-- > first;)
            result = LListBox::RemoveItem(k);
        return result;
    }
    bool widestGoes = false;
    for (uint32_t k = first; k < end; ++k) {
        const int32_t width = MeasureItemWidth(k);
        widestGoes = widestGoes || width == mWidestRow;
        CountWidth(width, -1);
    }
    EraseRecords(first, count);
    // What the single removals leave: both after the run move down with it,
    // both before stay, one on each side is dropped.
    if (mAnchor >= int32_t(end) && mCaret >= int32_t(end))
        mAnchor -= int32_t(count), mCaret -= int32_t(count);
    else if (!(mAnchor < int32_t(first) && mCaret < int32_t(first)))
        mAnchor = mCaret = -1;
    if (mPendingClick >= int32_t(first))
        mPendingClick = -1;
    SettleAfterRemoval(first, widestGoes);
    return TavoResult(GetItemCount());
}

TavoResult LListBox::RemoveAllItems()
{
    if (GetItemCount() == 0)
        return S_FALSE;
    ClearSelection();
    ForgetItemWidths();
    for (uint32_t i = GetItemCount(); i-- > 0;)
        if (Failed(EraseRecord(i)))
            return E_FAIL;
    mTopItem = 0;
    mPendingClick = -1;
    EnsureRowControls();
    RefreshRowsFrom(0);
    UpdateLayout();
    UpdateWidestRow();
    if (mHoverSelect)
        FitHeightToContent(GetContentHeight());
    return S_OK;
}

TavoResult LListBox::SetItemHidden(uint32_t index, bool hidden)
{
    if (index >= GetItemCount())
        return E_INVALIDARG;
    if (GetItemRecord(index).hidden == hidden)
        return S_FALSE;
    SetRecordHidden(index, hidden);
    if (hidden)
        DeselectItem(index);
    RefreshRowsFrom(mTopItem);
    UpdateLayout();
    if (hidden && index == mTopItem)
        ScrollToItem(index);
    return S_OK;
}

TavoResult LListBox::SetItemsFromProperties(const RCPtr<LStringTable>& properties)
{
    if (!properties)
        return E_INVALIDARG;
    RemoveAllItems();
    std::vector<WString> values;
    for (const auto& [key, value] : properties->Strings()) {
        const int64_t n = SkinItemNumber(key);
        if (n < 0)
            continue;
        if (values.size() <= size_t(n))
            values.resize(size_t(n) + 1);
        values[size_t(n)] = value;
    }
    mBatchUpdate = true;
    SetItemCount(uint32_t(values.size()));
    for (uint32_t i = 0; i < values.size(); ++i)
        SetItemData(i, RCPtr<LRefCountedObject>(new LListText(values[i])));
    mBatchUpdate = false;
    UpdateLayout();
    UpdateWidestRow();
    if (mHoverSelect)
        FitHeightToContent(GetContentHeight());
    return S_OK;
}

int32_t LListBox::FindItemByText(const WString& text, bool exact) const
{
    const WString lower = exact ? WString() : text.ToLower();
    for (uint32_t i = 0; i < GetItemCount(); ++i) {
        if (!mItems[i].data)
            continue;
        const WString item = mItems[i].data->ToString();
        if (exact ? item == text : item.ToLower() == lower)
            return int32_t(i);
    }
    return -1;
}

TavoResult LListBox::SelectItemByText(const WString& text, bool exact)
{
    const int32_t index = FindItemByText(text, exact);
    return index < 0 ? E_INVALIDARG : TavoResult(SelectRange(uint32_t(index), -1, true));
}

TavoResult LListBox::SwapItems(uint32_t a, uint32_t b)
{
    std::swap(GetItemRecord(a), GetItemRecord(b));
    return S_OK;
}

bool LListBox::SortItems()
{
    return SortRange(0, GetItemCount()) >= 0;
}

void LListBox::MoveItemsToOrder(uint32_t first, const std::vector<uint32_t>& order)
{
    const uint32_t count = uint32_t(order.size());
    // Where each former record sits now, as the exchanges move them.
    std::vector<uint32_t> at(count), holds(count);
    for (uint32_t k = 0; k < count; ++k)
        at[k] = holds[k] = k;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t from = at[order[k]];
        if (from != k) {
            SwapItems(first + k, first + from);
            const uint32_t displaced = holds[k];
            holds[from] = displaced;
            at[displaced] = from;
            holds[k] = order[k];
            at[order[k]] = k;
        }
    }
}

TavoResult LListBox::SortRange(uint32_t first, uint32_t count)
{
    if (count == 0)
        return S_FALSE;
    if (uint64_t(first) + count > GetItemCount())
        return E_INVALIDARG;
    struct Entry
    {
        uint32_t former;
        WString key;
    };
    std::vector<Entry> entries;
    entries.reserve(count);
    for (uint32_t k = 0; k < count; ++k)
        entries.push_back({first + k, GetItemText(first + k).ToLower()});
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return std::u16string_view(a.key.c_str()) < std::u16string_view(b.key.c_str());
    });
    const int32_t anchor = mAnchor, caret = mCaret;
    for (uint32_t k = 0; k < count; ++k) {
        if (anchor == int32_t(entries[k].former))
            mAnchor = int32_t(first + k);
        if (caret == int32_t(entries[k].former))
            mCaret = int32_t(first + k);
    }
    std::vector<uint32_t> order(count);
    for (uint32_t k = 0; k < count; ++k)
        order[k] = entries[k].former - first;
    MoveItemsToOrder(first, order);
    RefreshRowsFrom(mTopItem);
    if (mCaret >= 0)
        ScrollToItem(uint32_t(mCaret));
    return S_OK;
}

// ---- Selection ----

void LListBox::SetSelectionWeight(uint32_t index, double weight)
{
    if (index >= GetItemCount())
        return;
    ItemRecord& item = GetItemRecord(index);
    const bool was = item.weight >= 0.5, now = weight >= 0.5;
    if (was != now)
        mSelectedCount += now ? 1 : uint32_t(-1);
    item.weight = weight;
    int32_t row = -1;
    SetItemState(index, row);
}

void LListBox::ReportSelection()
{
    RCPtr<LControl> self(this);
    OnSelectionChanged();
    if (!mHoverSelect)
        Notify(u"NID_SELECTION_CHANGE");
}

int32_t LListBox::SelectRange(uint32_t first, int32_t last, bool exclusive)
{
    const uint32_t count = GetItemCount();
    if (first >= count)
        return E_INVALIDARG;
    if (last < 0)
        last = int32_t(first);
    if (uint32_t(last) == first && IsItemSelected(first) && (!exclusive || mSelectedCount == 1)) {
        ScrollToItem(first);
        return int32_t(first);
    }
    mAnchor = int32_t(first);
    mCaret = last;
    bool changed = false;
    if (exclusive) {
        const uint32_t lo = std::min<uint32_t>(first, uint32_t(last)),
                       hi = std::max<uint32_t>(first, uint32_t(last));
        for (uint32_t i = count; i-- > 0;) {
            const bool inside = i >= lo && i <= hi;
            if (inside != IsItemSelected(i)) {
                SetSelectionWeight(i, inside ? 1.0 : 0.0);
                changed = true;
            }
        }
    } else {
        const int32_t step = int32_t(first) <= last ? 1 : -1;
        for (int32_t i = int32_t(first);; i += step) {
            if (uint32_t(i) < count && !IsItemSelected(uint32_t(i))) {
                SetSelectionWeight(uint32_t(i), 1.0);
                changed = true;
            }
            if (i == last)
                break;
        }
    }
    if (mCaret >= 0 && uint32_t(mCaret) < count)
        ScrollToItem(uint32_t(mCaret));
    if (changed)
        ReportSelection();
    return int32_t(first);
}

TavoResult LListBox::DeselectItem(uint32_t index)
{
    if (index >= GetItemCount() || !IsItemSelected(index))
        return S_FALSE;
    SetSelectionWeight(index, 0.0);
    const int32_t i = int32_t(index);
    const auto selected = [this](int32_t k) { return k >= 0 && IsItemSelected(uint32_t(k)); };
    if (mSelectedCount == 0) {
        mAnchor = mCaret = -1;
    } else if (mCaret == i) {
        const bool together = mAnchor == mCaret;
        if (selected(i + 1) || selected(i - 1)) {
            mCaret = selected(i + 1) ? i + 1 : i - 1;
            if (together)
                mAnchor = mCaret;
        } else if (mAnchor < int32_t(GetItemCount()) && mAnchor != i) {
            mCaret = mAnchor;
        } else {
            const std::vector<uint32_t> all = GetSelectedIndices();
            mAnchor = mCaret = int32_t(all.back());
        }
    } else if (mAnchor == i) {
        mAnchor = selected(i + 1) ? i + 1 : selected(i - 1) ? i - 1 : -1;
    }
    ReportSelection();
    return S_OK;
}

void LListBox::ClearSelection()
{
    bool changed = false;
    for (uint32_t i = GetItemCount(); i-- > 0;)
        if (IsItemSelected(i)) {
            SetSelectionWeight(i, 0.0);
            changed = true;
        }
    mAnchor = mCaret = -1;
    if (changed)
        ReportSelection();
}

void LListBox::ActivateItem(uint32_t index)
{
    if (index >= GetItemCount() || !IsRowSelectable(index))
        return;
    RCPtr<LControl> self(this);
    OnItemActivated();
    if (mHoverSelect)
        SetVisible(false);
    if (mParent)
        Notify(u"NID_ITEM_ACTIVATED");
}

// ---- Scrolling ----

TavoResult LListBox::ScrollToItem(uint32_t index)
{
    const uint32_t count = GetItemCount();
    if (index >= count)
        return E_INVALIDARG;
    int64_t target = index;
    while (target >= 0 && IsItemHidden(uint32_t(target)))
        --target;
    if (target < 0)
        for (target = index; uint32_t(target) < count && IsItemHidden(uint32_t(target));)
            ++target;
    if (uint32_t(target) >= count || mRows.empty())
        return S_FALSE;
    // Visible positions: hidden items take no row.
    const auto visibleBefore = [this, count](uint32_t k) {
        if (mHiddenCount == 0)
            return std::min(k, count);
        uint32_t v = 0;
        for (uint32_t j = 0; j < k && j < count; ++j)
            v += IsItemHidden(j) ? 0 : 1;
        return v;
    };
    const uint32_t total = count - mHiddenCount;
    const uint32_t rows =
        std::clamp<uint32_t>(uint32_t(GetClientRect().height / mItemHeight), 1, uint32_t(mRows.size()));
    const uint32_t lastTop = total > rows ? total - rows : 0;
    const uint32_t at = visibleBefore(uint32_t(target)), top = visibleBefore(mTopItem);
    uint32_t wanted = top;
    if (at < top)
        wanted = at;
    else if (at > top + rows - 1)
        wanted = std::min(at - (rows - 1), lastTop);
    if (wanted == top)
        return S_OK;
    const bool hoverSelect = mHoverSelect;
    mHoverSelect = false;
    SetScrollOffset({mScrollX, double(wanted) * mItemHeight});
    mHoverSelect = hoverSelect;
    return S_OK;
}

void LListBox::UpdateScrollState()
{
    const uint32_t count = GetItemCount();
    if (count == 0) {
        mTopItem = 0;
    } else {
        const int64_t rows = int64_t(std::llround(mScrollY / std::max(1, mItemHeight)));
        uint32_t top = 0;
        int64_t seen = 0;
        uint32_t lastVisible = 0;
        for (uint32_t k = 0; k < count; ++k) {
            if (IsItemHidden(k))
                continue;
            lastVisible = k;
            if (seen++ == rows) {
                top = k;
                break;
            }
            top = k + 1;
        }
        if (top >= count)
            top = lastVisible;
        if (top != mTopItem) {
            mTopItem = top;
            RefreshRowsFrom(top);
        }
    }
    LScrollView::UpdateScrollState();
}

void LListBox::ChildGeometryChanged(const RCPtr<LControl>& child)
{
    LScrollView::ChildGeometryChanged(child);
    EnsureRowControls();
}

void LListBox::ClampScrollPosition()
{
    LScrollView::ClampScrollPosition();
    EnsureRowControls();
}

void LListBox::ChildRemoved(const RCPtr<LControl>& child, int32_t index)
{
    mRows.erase(std::remove_if(mRows.begin(), mRows.end(),
                               [&](const RCPtr<LListBoxItem>& row) { return row.Get() == child.Get(); }),
                mRows.end());
    LScrollView::ChildRemoved(child, index);
}

void LListBox::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    LScrollView::ConditionsChanged(conditions);
    if (!conditions)
        return;
    const uint32_t changed = conditions->mConditions ^ conditions->mPreviousConditions;
    if (!(changed & (kConditionEnabled | kConditionHasFocus)))
        return;
    int32_t look = !IsEnabled(true) ? 1 : HasFocus() ? 2 : 0;
    if (look >= GetLookCount())
        look = 0;
    SelectLook(look);
}

int32_t LListBox::GetItemIndexAtPoint(const PointT<int32_t>& point)
{
    const RectT<double> client = GetLookClientRect(-1);
    if (point.x < client.x || point.y < client.y || point.x >= client.x + client.width ||
        point.y >= client.y + client.height)
        return -1;
    for (size_t r = mRows.size(); r-- > 0;) {
        LListBoxItem* row = mRows[r].Get();
        const double y = row->GetY() - mScrollY;
        if (point.y >= y && point.y < y + row->GetHeight()) {
            const int32_t item = GetItemIndexOfControl(row);
            return item >= 0 && uint32_t(item) < GetItemCount() ? item : -1;
        }
    }
    return -1;
}

TavoResult LListBox::SetHoverSelect(bool hoverSelect)
{
    mHoverSelect = hoverSelect;
    for (const auto& row : mRows)
        row->mHoverSelect = hoverSelect;
    return S_OK;
}

// ---- Pointer and keys ----

LListBoxItem* LListBox::RowOf(const RCPtr<LNotificationDistributor>& sender) const
{
    for (const auto& row : mRows)
        if (static_cast<LNotificationDistributor*>(row.Get()) == sender.Get())
            return row.Get();
    return nullptr;
}

void LListBox::ClickRule(uint32_t item, const LMouseButtonParam& press)
{
    if (item >= GetItemCount())
        return;
    RCPtr<LControl> self(this);
    if (mMultiSelect) {
        const bool ctrl = press.mModifiers & kModifierCtrl, shift = press.mModifiers & kModifierShift;
        if (mSelectionMode == 1 && !ctrl) {
            if (shift && mAnchor >= 0) {
                mCaret = int32_t(item);
                SelectRange(uint32_t(mAnchor), int32_t(item), true);
            } else
                SelectRange(item, -1, true);
        } else if (mSelectionMode == 1 && shift) {
            mAnchor = mCaret = int32_t(item);
            SelectRange(item, -1, false);
        } else if (IsItemSelected(item))
            DeselectItem(item);
        else
            SelectRange(item, -1, false);
    } else
        SelectRange(item, -1, true);
    if (press.mDoubleClick)
        Notify(u"NID_ITEM_DOUBLE_CLICKED");
}

TavoResult LListBox::OnRowMouseDown(const RCPtr<LNotificationDistributor>& sender,
                                    const RCPtr<LNotification>& n)
{
    LListBoxItem* row = RowOf(sender);
    auto* press = DataOf<LMouseButtonParam>(n);
    if (!row || !press || mHoverSelect)
        return S_FALSE;
    const int32_t item = GetItemIndexOfControl(row);
    if (item < 0 || uint32_t(item) >= GetItemCount())
        return S_FALSE;
    if (press->mButton == MouseButton::kLeft) {
        if (!mMultiSelect)
            ClickRule(uint32_t(item), *press);
        else if (!IsItemSelected(uint32_t(item))) {
            ClickRule(uint32_t(item), *press);
            mPendingClick = item;
        }
    } else if (press->mButton == MouseButton::kRight && !press->mDoubleClick) {
        RCPtr<LControl> self(this);
        Notify(u"NID_ITEM_RIGHT_CLICK", RCPtr<LHolder<int>>(new LHolder<int>(item)));
    }
    return S_OK;
}

TavoResult LListBox::OnRowMouseUp(const RCPtr<LNotificationDistributor>& sender,
                                  const RCPtr<LNotification>& n)
{
    LListBoxItem* row = RowOf(sender);
    auto* release = DataOf<LMouseButtonParam>(n);
    if (!row || !release || mHoverSelect || !mMultiSelect || release->mButton != MouseButton::kLeft)
        return S_FALSE;
    const int32_t item = GetItemIndexOfControl(row);
    // A press on a selected item waits for the release: a drag keeps the selection.
    if (item >= 0 && IsItemSelected(uint32_t(item)) && item != mPendingClick)
        ClickRule(uint32_t(item), *release);
    mPendingClick = -1;
    return S_OK;
}

TavoResult LListBox::OnRowHover(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n)
{
    LListBoxItem* row = RowOf(sender);
    auto* c = DataOf<LConditionsParam>(n);
    if (!row || !c || !row->IsEnabled(true))
        return S_FALSE;
    RCPtr<LControl> self(this);
    const int32_t item = GetItemIndexOfControl(row);
    if (mHoverSelect && (c->mConditions & kConditionHover) && !(c->mPreviousConditions & kConditionHover) &&
        item >= 0 && uint32_t(item) < GetItemCount() && IsRowSelectable(uint32_t(item)))
        SelectRange(uint32_t(item), -1, true);
    Notify(u"NID_ITEM_HOVER_CONDITION_CHANGE",
           LItemConditionsParam::Create(*c, uint32_t(item), row->GetActiveLookIndex(), row->IsHovered()));
    return S_OK;
}

TavoResult LListBox::OnRowDrag(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n)
{
    LListBoxItem* row = RowOf(sender);
    auto* c = DataOf<LConditionsParam>(n);
    if (!row || !c || !row->IsEnabled(true))
        return S_FALSE;
    RCPtr<LControl> self(this);
    Notify(u"NID_ITEM_LEFT_DRAG_CONDITION_CHANGE",
           LItemConditionsParam::Create(*c, uint32_t(GetItemIndexOfControl(row)), row->GetActiveLookIndex(),
                                        row->IsHovered()));
    return S_OK;
}

void LListBox::HandlePointerPosition(const RCPtr<LPointWithModifiersParam>& pointer)
{
    LScrollView::HandlePointerPosition(pointer);
    if (!mHoverSelect || !pointer || !mCapture || !mLeftDrag)
        return;
    const int32_t item = GetItemIndexAtPoint({pointer->mX, pointer->mY});
    if (item >= 0 && IsRowSelectable(uint32_t(item)))
        SelectRange(uint32_t(item), -1, true);
    else if (item < 0)
        ClearSelection();
}

void LListBox::OnLeftUp(const RCPtr<LMouseButtonParam>& param)
{
    LScrollView::OnLeftUp(param);
    if (!mHoverSelect || !param)
        return;
    const int32_t item = GetItemIndexAtPoint({param->mX, param->mY});
    if (item >= 0 && mParent)
        ActivateItem(uint32_t(item));
}

int32_t LListBox::NextSelectable(int32_t from, int32_t step)
{
    for (int32_t i = from; i >= 0 && uint32_t(i) < GetItemCount(); i += step)
        if (!IsItemHidden(uint32_t(i)) && IsRowSelectable(uint32_t(i)))
            return i;
    return -1;
}

TavoResult LListBox::OnKey(const RCPtr<LKeyParam>& param)
{
    if (!param || !param->IsKeyPress())
        return S_FALSE;
    const uint32_t code = param->mKey.code;
    const uint32_t vk = param->mKey.VirtualKey();
    const bool shift = code & KeyCode::kShift;
    const bool plain = !(code & (KeyCode::kCtrl | KeyCode::kAlt));
    const auto toBar = [&](LScrollbar* bar) {
        if (!bar)
            return false;
        RCPtr<LSiblingKeyParam> record = LSiblingKeyParam::Create(param->mKey, RCPtr<LControl>(this));
        bar->ReceiveNotification(nullptr, LNotification::Create(u"NID_SIBLING_KEY", record));
        return record->mResult == 0;
    };
    if ((vk == VKey::kUp || vk == VKey::kDown) && plain) {
        const int32_t step = vk == VKey::kDown ? 1 : -1;
        const int32_t item = NextSelectable(mCaret + step, step);
        if (item < 0 || (vk == VKey::kUp && mCaret < 0))
            return S_OK;
        if (shift && mMultiSelect && mAnchor >= 0)
            SelectRange(uint32_t(mAnchor), item, false);
        else
            SelectRange(uint32_t(item), -1, true);
        return S_OK;
    }
    switch (vk) {
    case VKey::kLeft:
    case VKey::kRight:
        toBar(GetHorizontalBar());
        return S_OK;
    case VKey::kPageUp:
    case VKey::kPageDown:
        toBar(GetVerticalBar());
        return S_OK;
    case VKey::kHome:
    case VKey::kEnd:
        if (!toBar(GetHorizontalBar()))
            toBar(GetVerticalBar());
        return S_OK;
    case VKey::kReturn:
        if (mCaret >= 0)
            ActivateItem(uint32_t(mCaret));
        return S_OK;
    default:
        return S_FALSE;
    }
}

}  // namespace Tavo
