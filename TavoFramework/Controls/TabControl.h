#pragma once

#include "Controls/Panel.h"

namespace Tavo {

// Pairs the buttons of its "buttonHolder" child with the pages of its
// "pageHolder" child by position: clicking a tab button shows the page at
// the button's position and hides the others. A tab is known by its
// button's name. Subscribers hear of the click, of the page being left and
// of the page selected, in that order; none of them can stop the change.
class LTabControl : public LPanel
{
public:
    LTabControl(const RCPtr<LControl>& parent, const WString& name) : LPanel(parent, name) {}
    ~LTabControl() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LTabControl>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // Selects the stored tab again once created.
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor) override;
    // E_FAIL without both holders or without a first tab button.
    TavoResult Initialize() override;

    virtual uint32_t GetTabCount();
    // The last button of that name; -1 when none.
    virtual int32_t IndexOfTab(const WString& name);
    virtual int32_t GetSelectedIndex() { return IndexOfTab(mSelectedTabName); }
    virtual RCPtr<LControl> GetSelectedPage();
    virtual const WString& GetSelectedTabName() const { return mSelectedTabName; }
    virtual RCPtr<LControl> GetPageByName(const WString& name);
    virtual RCPtr<LControl> GetPageAt(uint32_t index);
    virtual RCPtr<LControl> GetTabButtonByName(const WString& name);
    virtual RCPtr<LControl> GetTabButtonAt(uint32_t index);
    // A name that matches no tab hides every page and is kept.
    virtual TavoResult SelectTab(const WString& name);
    // The index counts in the button holder's tab order.
    virtual TavoResult SelectTabAt(uint32_t index);
    // Between hiding the old pages and showing the new one.
    virtual void OnSelectedTabChanged(int32_t /*index*/) {}

private:
    using TabHandler = LNotificationHandler<LTabControl>;

    TavoResult OnTabButtonClicked(const RCPtr<LNotificationDistributor>& sender,
                                  const RCPtr<LNotification>& notification);
    // The page holder's child, or empty past its own count.
    RCPtr<LControl> PageOrEmpty(int32_t index);

    RCPtr<TabHandler> mHandler;
    RCPtr<LControl> mButtonHolder;
    RCPtr<LControl> mPageHolder;
    WString mSelectedTabName;
};

}  // namespace Tavo
