#pragma once

#include "Controls/CheckedListBox.h"

#include <vector>

namespace Tavo {

// A row of a tree view: its "checkBox" part is the expander and the unit of
// indentation.
class LTreeViewItem : public LCheckedListBoxItem
{
public:
    LTreeViewItem(const RCPtr<LControl>& parent, const WString& name) : LCheckedListBoxItem(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LTreeViewItem>(result, parent, descriptor);
    }
};

// A checked list whose items form a tree through a parent index per item,
// stored depth first: a subtree is a run of consecutive items after its
// root. A checked item is expanded; an item shows while all its ancestors
// are expanded. Moves and insertions renumber the parent indices, so the
// order holds whatever is moved where.
class LTreeView : public LCheckedListBox
{
public:
    LTreeView(const RCPtr<LControl>& parent, const WString& name) : LCheckedListBox(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LTreeView>(result, parent, descriptor);
    }

    void OnIdle() override { CancelIdle(); }
    // Removes the item with its whole subtree.
    TavoResult RemoveItem(uint32_t index) override;
    bool SortItems() override { return false; }
    // A tree keeps its order: E_NOTIMPL.
    TavoResult SortRange(uint32_t first, uint32_t count) override;
    TavoResult SetItemState(uint32_t index, int32_t& row) override;
    TavoResult SwapItems(uint32_t a, uint32_t b) override;

    // Moves the item with its subtree to the end of p's subtree (p < 0: to
    // the end, top level) and expands p; the item's final index. Item 0, a
    // move under the item itself or one of its descendants change nothing.
    virtual int32_t SetItemParent(uint32_t index, int32_t parent);
    virtual int32_t GetParentIndex(uint32_t index) const;
    virtual uint32_t GetDepth(uint32_t index) const;
    virtual uint32_t GetDescendantCount(uint32_t index) const;
    // Hides the item's descendants below a collapsed ancestor, shows the others.
    virtual void UpdateDescendantVisibility(uint32_t index);
    bool IsAncestor(uint32_t ancestor, uint32_t index) const;

protected:
    // An item inserted before another becomes that one's sibling, so that no
    // subtree is split; appended items are top level.
    TavoResult InsertRecord(uint32_t index) override;
    // Takes the item's subtree with it.
    TavoResult EraseRecord(uint32_t index) override;
    TavoResult EraseRecords(uint32_t first, uint32_t count) override;
    void ItemCheckChanged(uint32_t index) override;

private:
    bool IsShownByAncestors(uint32_t index) const;
    // Hides the items from first to end below a collapsed ancestor, shows
    // the others; one relayout when any changed.
    void UpdateVisibilityOfRun(uint32_t first, uint32_t end);
    void Relayout();

    std::vector<int32_t> mParents;
};

}  // namespace Tavo
