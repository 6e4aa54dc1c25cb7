#include "Controls/TabControl.h"

#include "Controls/Button.h"

namespace Tavo {

LTabControl::~LTabControl() = default;

TavoResult LTabControl::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                            const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LPanel::ReceiveNotification(sender, notification);
}

TavoResult LTabControl::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LPanel::Unsubscribe(distributor, name);
}

TavoResult LTabControl::SetDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    const TavoResult result = LScrollView::SetDescriptor(descriptor);
    if (IsCreated())
        SelectTab(WString(mSelectedTabName));
    return result;
}

TavoResult LTabControl::Initialize()
{
    if (Failed(LPanel::Initialize()))
        return E_FAIL;
    mButtonHolder = FindChildByName(u"buttonHolder");
    mPageHolder = FindChildByName(u"pageHolder");
    const TavoResult result = SelectTabAt(0);
    if (Failed(result))
        return result;
    mHandler = TabHandler::Create(this);
    ChildControlList& buttons = mButtonHolder->GetChildren();
    for (uint32_t i = 0; i < buttons.Count(); ++i) {
        // Children that are not buttons count as tabs but cannot be clicked.
        if (auto* button = dynamic_cast<LButton*>(buttons.GetAt(i).Get()))
            mHandler->AddHandler(&LTabControl::OnTabButtonClicked, RCPtr<LNotificationDistributor>(button),
                                 u"NID_LEFT_CLICK");
    }
    return result;
}

uint32_t LTabControl::GetTabCount()
{
    return mButtonHolder ? mButtonHolder->GetChildren().Count() : 0;
}

int32_t LTabControl::IndexOfTab(const WString& name)
{
    if (!mButtonHolder)
        return -1;
    ChildControlList& buttons = mButtonHolder->GetChildren();
    for (uint32_t i = buttons.Count(); i-- > 0;)
        if (buttons.GetAt(i)->GetName() == name)
            return int32_t(i);
    return -1;
}

RCPtr<LControl> LTabControl::PageOrEmpty(int32_t index)
{
    if (!mPageHolder || index < 0 || uint32_t(index) >= mPageHolder->GetChildren().Count())
        return nullptr;
    return mPageHolder->GetChildren().GetAt(uint32_t(index));
}

RCPtr<LControl> LTabControl::GetSelectedPage()
{
    return PageOrEmpty(GetSelectedIndex());
}

RCPtr<LControl> LTabControl::GetPageByName(const WString& name)
{
    return PageOrEmpty(IndexOfTab(name));
}

RCPtr<LControl> LTabControl::GetPageAt(uint32_t index)
{
    // Pages past the last button belong to no tab.
    return index < GetTabCount() ? PageOrEmpty(int32_t(index)) : nullptr;
}

RCPtr<LControl> LTabControl::GetTabButtonByName(const WString& name)
{
    const int32_t index = IndexOfTab(name);
    return index < 0 ? nullptr : mButtonHolder->GetChildren().GetAt(uint32_t(index));
}

RCPtr<LControl> LTabControl::GetTabButtonAt(uint32_t index)
{
    return index < GetTabCount() ? mButtonHolder->GetChildren().GetAt(index) : nullptr;
}

TavoResult LTabControl::SelectTab(const WString& name)
{
    if (!mButtonHolder || !mPageHolder)
        return E_FAIL;
    RCPtr<LControl> self(this);
    const int32_t previous = GetSelectedIndex(), next = IndexOfTab(name);
    if (previous >= 0 && previous != next)
        Notify(u"NID_TAB_BECOMING_UNSELECTED", GetSelectedPage());
    for (int32_t i = int32_t(GetTabCount()) - 1; i >= 0; --i)
        if (RCPtr<LControl> page = GetPageAt(uint32_t(i)); page && i != next)
            page->SetVisible(false);
    mSelectedTabName = name;
    OnSelectedTabChanged(next);
    if (RCPtr<LControl> page = next < 0 ? nullptr : GetPageAt(uint32_t(next)))
        page->SetVisible(true);
    Notify(u"NID_TAB_SELECTED", GetSelectedPage());
    return S_OK;
}

TavoResult LTabControl::SelectTabAt(uint32_t index)
{
    if (!mButtonHolder || index >= mButtonHolder->GetChildren().Count())
        return E_FAIL;
    const RCPtr<LControl>& button = mButtonHolder->GetChildren().GetAt(index, ChildControlList::kTab);
    if (!dynamic_cast<LButton*>(button.Get()))
        return E_FAIL;
    return SelectTab(WString(button->GetName()));
}

TavoResult LTabControl::OnTabButtonClicked(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>&)
{
    RCPtr<LControl> button = RCPtrDynamicCast<LControl>(sender);
    if (!button)
        return 1;
    RCPtr<LControl> self(this);
    const WString name = button->GetName();
    const int32_t index = IndexOfTab(name);
    if (index >= 0)
        Notify(u"NID_TAB_BUTTON_CLICKED", button);
    SelectTab(name);
    if (RCPtr<LControl> page = index < 0 ? nullptr : GetPageAt(uint32_t(index)))
        page->SetFocus(true);
    return 1;  // handled
}

}  // namespace Tavo
