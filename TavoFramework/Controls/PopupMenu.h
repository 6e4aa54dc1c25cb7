#pragma once

#include "Controls/CheckedListBox.h"
#include "Controls/MenuListBoxItem.h"
#include "Controls/MenuPopup.h"

#include <vector>

namespace Tavo {

class HotKeyMap;

// The drop-down list of a menu's entries, one row per entry: a checked list
// in hover-select mode whose rows ("Framework.MenuItem") show the label, a
// check mark and the shortcut text through their looks. Submenus open after
// the pointer rests 250 ms; Escape, Left and Right walk the chain; the chosen
// entry's notification goes to the target.
class LPopupMenu : public LCheckedListBox, public IMenuPopup, public IContextMenuHost
{
public:
    using PopupHandler = LNotificationHandler<LPopupMenu>;
    static constexpr uint32_t kHoverDelayMs = 250;

    LPopupMenu(const RCPtr<LControl>& parent, const WString& name) : LCheckedListBox(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LPopupMenu>(result, parent, descriptor);
    }

    // IMenuPopup, IContextMenuHost
    TavoResult SetMenuDescriptor(const RCPtr<LMenuDescriptor>& menu) override;
    RCPtr<LMenuDescriptor> GetMenuDescriptor() const override { return mMenu; }
    TavoResult SetNotificationTarget(const RCPtr<LNotificationReceiver>& target) override;
    void SetCloseOnActivation(bool close) override { mCloseOnActivation = close; }
    void SetItemUpdater(const RCPtr<LMenuItemUpdater>& updater) override { mUpdater = updater; }
    TavoResult PositionAndOpen(const PointT<int32_t>& windowPoint) override;

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;
    TavoResult Initialize() override;
    TavoResult Finalize() override;
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor) override;
    TavoResult SetFocus(bool first) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    void OnIdle() override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    void OnMouseMove(const RCPtr<LPointWithModifiersParam>& pointer) override;
    void OnSelectionChanged() override;
    void OnItemActivated() override;
    TavoResult CreateItemControl() override;
    TavoResult SetItemState(uint32_t index, int32_t& row) override;
    int32_t MeasureItemWidth(uint32_t index) override;
    int32_t GetContentHeight() const override;
    bool IsRowSelectable(uint32_t index) override;
    // The rows of a menu keep the menu's order.
    TavoResult SwapItems(uint32_t a, uint32_t b) override;
    TavoResult TakeFocusOnPress() override { return S_FALSE; }
    // Nor does a press on one of its rows: asking an open menu to take the
    // focus it holds would close it before the click chooses the row.
    TavoResult TakeFocusFromChild(const RCPtr<LControl>&) override { return S_FALSE; }
    void PressedElsewhere() override;
    TavoResult ReleaseInternalReferences() override;

    // The hot row: the one selected, -1 for none.
    int32_t GetHotRow() const { return mCaret; }
    // fromPointer: the pointer rests on the row (starts a submenu switch).
    void SetHotRow(int32_t row, bool fromPointer);
    TavoResult OpenSubmenu(int32_t row);
    void CloseSubmenu();
    void CloseMenuChain();
    // The entry of a row without entries of its own is chosen.
    TavoResult ActivateItem(int32_t row);
    // Reads each entry's live state through the item updater.
    void RefreshItemStates();
    // E_INVALIDARG past the rows; 1 when the info is what the entry has.
    TavoResult ApplyItemInfo(int32_t row, const LMenuDescriptor::ItemInfo& info);
    int32_t GetSeparatorHeight() const { return mSeparatorHeight; }

    const RCPtr<LNotificationReceiver>& GetNotificationTarget() const { return mTarget; }
    const RCPtr<LMenuItemUpdater>& GetItemUpdater() const { return mUpdater; }
    bool GetCloseOnActivation() const { return mCloseOnActivation; }
    const RCPtr<LPopupMenu>& GetOpenSubmenu() const { return mOpenSubmenu; }
    bool IsHoverPending() const { return mHoverPending; }
    bool IsClosing() const { return mClosing; }

private:
    RCPtr<LMenuItemDescriptor> Entry(int32_t row) const;
    LPopupMenu* ParentPopup() const;
    LPopupMenu* TopPopup();
    RCPtr<LNotificationReceiver> Target() const;
    TavoResult ResolveShortcuts();
    void ResolveEntries(const RCPtr<LMenuDescriptor>& menu, const std::vector<HotKeyMap*>& maps);
    TavoResult RebuildItems();
    void ApplyDefaultLimits();
    int32_t OpenSubmenuRow() const;
    bool PointerInRow(int32_t row);
    void StartHover();
    void StopHover();
    int32_t FindSelectable(int32_t from, int32_t step);
    static int32_t ShortcutInsets(const LControl& row);
    TavoResult OnRowHoverStatus(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);

    RCPtr<PopupHandler> mPopupHandler;
    RCPtr<LMenuDescriptor> mMenu;
    RCPtr<LPopupMenu> mOpenSubmenu;
    RCPtr<LMenuItemDescriptor> mOpenSubmenuItem;
    RCPtr<LNotificationReceiver> mTarget;
    RCPtr<LMenuItemUpdater> mUpdater;
    RCPtr<LControlDescriptor> mSubmenuTemplate;
    bool mHoverPending = false;
    uint32_t mHoverStart = 0;
    bool mFocusReturnGuard = false;
    bool mCloseOnActivation = true;
    bool mClosing = false;
    bool mPointerSelecting = false;
    int32_t mSeparatorHeight = 0;
    int32_t mSeparatorCount = 0;
};

}  // namespace Tavo
