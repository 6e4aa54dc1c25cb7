#include "Controls/TreeView.h"

#include <algorithm>

namespace Tavo {

int32_t LTreeView::GetParentIndex(uint32_t index) const
{
    return index < mParents.size() ? mParents[index] : -1;
}

bool LTreeView::IsAncestor(uint32_t ancestor, uint32_t index) const
{
    if (ancestor >= mParents.size() || index >= mParents.size())
        return false;
    // Bounded: a broken chain must not loop.
    int32_t q = mParents[index];
    for (size_t steps = 0; q >= 0 && steps < mParents.size(); ++steps, q = mParents[size_t(q)])
        if (uint32_t(q) == ancestor)
            return true;
    return false;
}

uint32_t LTreeView::GetDepth(uint32_t index) const
{
    uint32_t depth = 0;
    for (int32_t q = GetParentIndex(index); q >= 0 && depth < mParents.size(); q = mParents[size_t(q)])
        ++depth;
    return depth;
}

uint32_t LTreeView::GetDescendantCount(uint32_t index) const
{
    // Stored depth first: the subtree is the run of items after the root
    // whose parents lie within it; the first item whose parent comes before
    // the root ends it.
    if (index >= mParents.size())
        return 0;
    uint32_t j = index + 1;
    while (j < mParents.size() && mParents[j] >= int32_t(index))
        ++j;
    return j - index - 1;
}

bool LTreeView::IsShownByAncestors(uint32_t index) const
{
    for (int32_t q = GetParentIndex(index), steps = 0; q >= 0 && size_t(steps) < mParents.size();
         q = mParents[size_t(q)], ++steps)
        if (!IsItemChecked(uint32_t(q)))
            return false;
    return true;
}

void LTreeView::UpdateVisibilityOfRun(uint32_t first, uint32_t end)
{
    end = std::min<uint32_t>(end, uint32_t(mParents.size()));
    if (first >= end)
        return;
    // Parents come before their children, so each item's answer follows
    // from its parent's: one pass, no walk up per item. Only the run's
    // roots have their parent before it, and they share it.
    std::vector<bool> open(end - first);
    int32_t outside = -2;
    bool outsideOpen = false;
    bool changed = false;
    for (uint32_t j = first; j < end; ++j) {
        const int32_t p = mParents[j];
        bool o;
        if (p < 0)
            o = true;
        else if (uint32_t(p) >= first)
            o = open[size_t(p) - first] && IsItemChecked(uint32_t(p));
        else {
            if (p != outside)
                outside = p, outsideOpen = IsShownByAncestors(uint32_t(p)) && IsItemChecked(uint32_t(p));
            o = outsideOpen;
        }
        open[j - first] = o;
        if (GetItemRecord(j).hidden == !o)
            continue;
        // Through the counter: the content height follows the hidden count.
        SetRecordHidden(j, !o);
        changed = true;
        if (!o)
            DeselectItem(j);
    }
    if (!changed)
        return;
    RefreshRowsFrom(mTopItem);
    UpdateLayout();
    if (mTopItem < GetItemCount() && IsItemHidden(mTopItem))
        ScrollToItem(mTopItem);
}

void LTreeView::UpdateDescendantVisibility(uint32_t index)
{
    if (index < mParents.size())
        UpdateVisibilityOfRun(index + 1, index + 1 + GetDescendantCount(index));
}

void LTreeView::Relayout()
{
    EnsureRowControls();
    RefreshRowsFrom(mTopItem);
    UpdateLayout();
}

void LTreeView::ItemCheckChanged(uint32_t index)
{
    UpdateDescendantVisibility(index);
    Relayout();
}

TavoResult LTreeView::SortRange(uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

TavoResult LTreeView::SwapItems(uint32_t a, uint32_t b)
{
    std::swap(mParents[a], mParents[b]);
    return LCheckedListBox::SwapItems(a, b);
}

TavoResult LTreeView::InsertRecord(uint32_t index)
{
    index = std::min<uint32_t>(index, uint32_t(mParents.size()));
    for (int32_t& parent : mParents)
        if (parent >= int32_t(index))
            ++parent;
    const int32_t parent = index < mParents.size() ? mParents[index] : -1;
    mParents.insert(mParents.begin() + index, parent);
    const TavoResult result = LCheckedListBox::InsertRecord(index);
    SetRecordHidden(index, !IsShownByAncestors(index));
    return result;
}

TavoResult LTreeView::EraseRecord(uint32_t index)
{
    if (index >= mParents.size())
        return E_INVALIDARG;
    SetSelectionWeight(index, 0.0);
    LCheckedListBox::EraseRecord(index);
    mParents.erase(mParents.begin() + index);
    // Children go too, from the end; the others' parents shift down.
    for (size_t j = mParents.size(); j-- > index;) {
        if (mParents[j] == int32_t(index))
            EraseRecord(uint32_t(j));
        else if (mParents[j] > int32_t(index))
            --mParents[j];
    }
    return S_OK;
}

TavoResult LTreeView::EraseRecords(uint32_t first, uint32_t count)
{
    if (first + count > mParents.size())
        return E_INVALIDARG;
    LCheckedListBox::EraseRecords(first, count);
    mParents.erase(mParents.begin() + first, mParents.begin() + first + count);
    // No item left hangs from the run: the later parents shift down.
    for (size_t j = first; j < mParents.size(); ++j)
        if (mParents[j] >= int32_t(first + count))
            mParents[j] -= int32_t(count);
    return S_OK;
}

TavoResult LTreeView::RemoveItem(uint32_t index)
{
    if (index >= GetItemCount())
        return E_INVALIDARG;
    const uint32_t end = index + GetDescendantCount(index) + 1;
    // A later item hanging from the subtree (stored out of order) goes with
    // its parent: only single removals take it along.
    bool strays = false;
    for (size_t j = end; j < mParents.size() && !strays; ++j)
        strays = mParents[j] >= int32_t(index) && mParents[j] < int32_t(end);
    if (!strays)
        return RemoveRun(index, end - index);
    // From the subtree's end, so each removal is a leaf's.
    TavoResult result = S_OK;
    for (uint32_t k = end; k-- > index;)
        result = LCheckedListBox::RemoveItem(k);
    return result;
}

TavoResult LTreeView::SetItemState(uint32_t index, int32_t& row)
{
    // Binding sets the check box's value: no check change.
    const bool ignoring = mIgnoreCheckReports;
    mIgnoreCheckReports = true;
    const TavoResult result = LCheckedListBox::SetItemState(index, row);
    auto* item =
        row >= 0 && Succeeded(result) ? dynamic_cast<LTreeViewItem*>(GetRow(uint32_t(row))) : nullptr;
    if (item && item->GetCheckBox()) {
        const RCPtr<LControl>& box = item->GetCheckBox();
        // Has children: the next item is one of them.
        box->SetEnabled(index + 1 < mParents.size() && mParents[index + 1] == int32_t(index));
        LLayoutDescriptor::Axis x;
        item->GetPlacement(0, x);
        const double indent = double(GetDepth(index)) * box->GetWidth();
        if (x.positionAbs != indent) {
            x.positionAbs = indent;
            item->SetAxisPlacement(0, x);
        }
    }
    mIgnoreCheckReports = ignoring;
    return result;
}

int32_t LTreeView::SetItemParent(uint32_t index, int32_t parent)
{
    const uint32_t count = uint32_t(mParents.size());
    if (parent < 0)
        parent = -1;
    if (index >= count || index == 0 || int32_t(index) == parent || parent >= int32_t(count) ||
        mParents[index] == parent)
        return int32_t(index);
    // The item's subtree moves as one block to the end of the new parent's;
    // never under one of its own descendants.
    const uint32_t block = GetDescendantCount(index) + 1;
    if (parent > int32_t(index) && uint32_t(parent) < index + block)
        return int32_t(index);
    std::vector<uint32_t> order;
    order.reserve(count);
    for (uint32_t k = 0; k < count; ++k)
        if (k < index || k >= index + block)
            order.push_back(k);
    size_t at = order.size();
    if (parent >= 0) {
        // Past the parent's subtree, which the block has left.
        at = size_t(uint32_t(parent) < index ? uint32_t(parent) : uint32_t(parent) - block) + 1;
        while (at < order.size() && mParents[order[at]] >= parent)
            ++at;
    }
    std::vector<uint32_t> moved(block);
    for (uint32_t k = 0; k < block; ++k)
        moved[k] = index + k;
    order.insert(order.begin() + std::ptrdiff_t(at), moved.begin(), moved.end());

    std::vector<int32_t> newIndex(count);
    for (uint32_t k = 0; k < count; ++k)
        newIndex[order[k]] = int32_t(k);
    std::vector<int32_t> parents(count);
    for (uint32_t k = 0; k < count; ++k) {
        const int32_t old = order[k] == index ? parent : mParents[order[k]];
        parents[k] = old < 0 ? -1 : newIndex[size_t(old)];
    }
    MoveItemsToOrder(0, order);
    mParents = parents;
    const auto remap = [&](int32_t& i) {
        if (i >= 0 && uint32_t(i) < count)
            i = newIndex[size_t(i)];
    };
    remap(mAnchor);
    remap(mCaret);

    // Attaching a child expands its parent, which may show the parent's
    // other descendants too; otherwise only the moved subtree can change.
    const uint32_t start = uint32_t(newIndex[index]);
    if (parent >= 0 && !IsItemChecked(uint32_t(newIndex[size_t(parent)]))) {
        SetItemChecked(uint32_t(newIndex[size_t(parent)]), true);
        UpdateDescendantVisibility(uint32_t(newIndex[size_t(parent)]));
    } else
        UpdateVisibilityOfRun(start, start + block);
    Relayout();
    return int32_t(start);
}

}  // namespace Tavo
