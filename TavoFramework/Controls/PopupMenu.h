#pragma once

#include "Controls/MenuPopup.h"

namespace Tavo {

class HotKeyMap;

// The drop-down list of a menu's entries: shortcut texts from the hot-key
// maps, a hot row that follows the pointer and the arrow keys, submenus that
// open after the pointer rests 250 ms, Escape, Left and Right, and the
// chosen entry's notification delivered to the target.
class LPopupMenu : public LControl, public IMenuPopup, public IContextMenuHost
{
public:
    static constexpr uint32_t kHoverDelayMs = 250;

    LPopupMenu(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

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

    TavoResult Initialize() override;
    TavoResult Finalize() override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    void OnMouseMove(const RCPtr<LPointWithModifiersParam>& param) override;
    void OnLeftUp(const RCPtr<LMouseButtonParam>& param) override;
    void OnIdle() override;
    // The entries' labels and shortcuts over the look, the hot row marked.
    TavoResult DrawContent(LRenderer* renderer) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult TakeFocusOnPress() override { return S_FALSE; }
    TavoResult ReleaseInternalReferences() override;

    // Row geometry: rows are rowHeight high, separators separatorHeight.
    void SetRowHeights(double rowHeight, double separatorHeight);
    double GetContentHeight() const;
    int32_t RowAt(double y) const;
    double RowTop(int32_t row) const;

    int32_t GetHotRow() const { return mHot; }
    // fromPointer: the pointer rests on the row (starts a submenu switch).
    void SetHotRow(int32_t row, bool fromPointer);
    bool IsRowSelectable(int32_t row) const;
    TavoResult OpenSubmenu(int32_t row);
    void CloseSubmenu();
    void CloseMenuChain();
    // A row chosen by click or Return: an entry is activated, a submenu opens.
    TavoResult OnItemActivated(int32_t row);
    TavoResult ActivateItem(int32_t row);
    // Reads each entry's live state through the item updater.
    void RefreshItemStates();

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
    int32_t OpenSubmenuRow() const;
    void StartHover();
    void StopHover();
    int32_t NextSelectable(int32_t from, int32_t step) const;

    RCPtr<LMenuDescriptor> mMenu;
    RCPtr<LPopupMenu> mOpenSubmenu;
    RCPtr<LMenuItemDescriptor> mOpenSubmenuItem;
    RCPtr<LNotificationReceiver> mTarget;
    RCPtr<LMenuItemUpdater> mUpdater;
    RCPtr<LControlDescriptor> mSubmenuTemplate;
    bool mHoverPending = false;
    uint32_t mHoverStart = 0;
    bool mCloseOnActivation = true;
    bool mClosing = false;
    int32_t mHot = -1;
    double mRowHeight = 20;
    double mSeparatorHeight = 7;
};

}  // namespace Tavo
