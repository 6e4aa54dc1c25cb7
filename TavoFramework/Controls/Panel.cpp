#include "Controls/Panel.h"

#include "ControlBase/ControlEnvironment.h"
#include "ObjectBase/Exception.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

namespace Tavo {

TavoResult LPanel::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                       const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LScrollView::ReceiveNotification(sender, notification);
}

TavoResult LPanel::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LScrollView::Unsubscribe(distributor, name);
}

TavoResult LPanel::Initialize()
{
    const TavoResult base = LScrollView::Initialize();
    if (Failed(base))
        return base;
    if (!mParent)
        return S_OK;
    try {
        mHandler = PanelHandler::Create(this);
        const TavoResult added = mHandler->AddHandler(
            &LPanel::OnPanelSiblingKey, RCPtr<LNotificationDistributor>(mParent), u"NID_SIBLING_KEY");
        if (Failed(added))
            TAVO_THROW_IF_FAILED(added, "Tavo::LPanel::Initialize", "Controls\\Panel", 37);
    } catch (const std::runtime_error&) {
        return E_FAIL;
    }
    return S_OK;
}

TavoResult LPanel::OnPanelSiblingKey(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* record =
        n ? dynamic_cast<LSiblingKeyParam*>(const_cast<LRefCountedObject*>(n->GetData().Get())) : nullptr;
    if (!record)
        return S_FALSE;
    // A child of the panel may take a key its parent's other children left.
    RCPtr<LKeyParam> key = LKeyParam::Create(record->mKey);
    record->mResult = OnSiblingKey(key) == S_FALSE ? 1 : 0;
    return S_OK;
}

TavoResult LPanel::RouteUnhandledKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    RCPtr<LControl> self(this);
    if (OnSiblingKey(param) != S_FALSE)
        return S_OK;
    if (mParent) {
        param->Add(self);
        return mParent->RouteUnhandledKey(param);
    }
    const auto& application = ControlEnvironment().processHotKey;
    return application ? application(param->mKey) : S_FALSE;
}

RCPtr<LControl> LPanel::GetNextTabChild(const RCPtr<LControl>& child, bool backward)
{
    RCPtr<LControl> next = LScrollView::GetNextTabChild(child, backward);
    if (!mParent || !next)
        return next;
    // Past the end of the order: the parent's turn, not a wrap.
    const int32_t from = IndexOfChild(child.Get(), ChildControlList::kTab);
    const int32_t to = IndexOfChild(next.Get(), ChildControlList::kTab);
    if (backward ? to >= from : to <= from)
        return nullptr;
    return next;
}

TavoResult LPanel::ProcessTabKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    RCPtr<LControl> self(this);
    const bool backward = (param->mKey.code & KeyCode::kShift) != 0;
    if (!(param->mKey.code & KeyCode::kCtrl)) {
        RCPtr<LControl> start = param->GetLast<LControl>();
        RCPtr<LControl> next = GetNextTabChild(start, backward);
        while (next && next != start) {
            if (next->CanTakeFocus() || next->HasFocusableDescendant()) {
                next->SetFocus(!backward);
                return S_OK;
            }
            if (start && (!start->IsShown(true) || !start->IsEnabled(true)))
                start = next;
            next = GetNextTabChild(next, backward);
        }
    }
    // Ctrl+Tab leaves the panel as a whole: the parent sees a plain Tab
    // coming from the panel.
    RCPtr<LKeyParam> onward = param;
    if (param->mKey.code & KeyCode::kCtrl)
        onward = LKeyParam::Create(KeyCode((backward ? KeyCode::kShift : 0u) | u'\t'));
    onward->Add(self);
    if (mParent)
        return mParent->ProcessTabKey(onward);
    if (LRootWindow* root = GetRootWindow())
        return root->MoveFocusToNextWindow(onward);
    return S_OK;
}

}  // namespace Tavo
