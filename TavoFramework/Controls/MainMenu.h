#pragma once

#include "Controls/ComboMenu.h"

#include <vector>

namespace Tavo {

// The window's menu bar: a row of combo menus, fixed ones from the skin and
// added ones cloned from a template. Titles come from the "MENU_LABEL.<n>"
// strings, entries from the "CONTEXT_MENU<n>" strings; chosen entries go to
// the window's notification queue.
class LMainMenu : public LControl
{
public:
    LMainMenu(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LMainMenu>(result, parent, descriptor);
    }

    // Menu number n takes the text of "MENU_LABEL.<n>", 0 <= n <= 10000;
    // other keys are no titles. Numbers left out give empty titles.
    static std::vector<WString> CollectTitles(const LStringTable::Pairs& pairs);
    // Menu n from the "CONTEXT_MENU<n>.<entry>" strings, for n from 0 up to
    // the last number given; empty when there is none.
    static std::vector<RCPtr<LMenuDescriptor>> CollectMenus(const LStringTable::Pairs& pairs);

    // 1 when it is the one held already, else 0.
    TavoResult SetMenuItemUpdater(const RCPtr<LMenuItemUpdater>& updater);
    // Indexes count added menus only.
    TavoResult AddMenu(int32_t index, const WString& name, const WString& label,
                       const RCPtr<LMenuDescriptor>& menu);
    TavoResult InsertMenu(const WString& beforeName, const WString& name, const WString& label,
                          const RCPtr<LMenuDescriptor>& menu);
    int32_t GetMenuCount();
    RCPtr<LComboMenu> GetMenuAt(int32_t index);
    WString GetMenuName(int32_t index);
    int32_t FindMenuByName(const WString& name);
    TavoResult CreateMenuControl(const WString& name);
    int32_t GetFixedMenuCount() const { return mFixedCount; }

    TavoResult Initialize() override;
    TavoResult AdoptChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor) override;
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor) override;
    TavoResult ProcessRootWindowAquired() override;
    TavoResult UpdateMenuItemState(const RCPtr<LMenuDescriptor>& menu, int32_t item, const WString& command,
                                   uint32_t& state) override;
    RCPtr<LControl> FindEditTarget() override;
    TavoResult ReleaseInternalReferences() override;

    // Called as a menu opens: the control outside the bar that holds the
    // focus gets it back when an entry is chosen.
    void RememberFocus();
    // The control that had the focus before the menu bar took it.
    const RCPtr<LControl>& GetFocusBeforeMenu() const { return mFocusBeforeMenu; }

private:
    std::vector<LComboMenu*> Menus();
    const RCPtr<LMenuItemUpdater>& OwnUpdater();
    void ConnectPopup(LComboMenu* menu);

    RCPtr<LControl> mFocusBeforeMenu;
    RCPtr<LControlDescriptor> mTemplate;
    RCPtr<LMenuItemUpdater> mAppUpdater;
    RCPtr<LMenuItemUpdater> mOwnUpdater;
    int32_t mFixedCount = 0;
    bool mHasTemplate = false;
};

}  // namespace Tavo
