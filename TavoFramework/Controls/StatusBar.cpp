#include "Controls/StatusBar.h"

#include "Controls/Label.h"
#include "Notification/Notification.h"
#include "Notification/NotificationClient.h"
#include "Notification/NotificationQueue.h"
#include "ObjectBase/Holder.h"
#include "ObjectBase/TaggableObject.h"
#include "Window/RootWindow.h"

namespace Tavo {

namespace {
using LStatusText = LWrapperStringable<WString, StringToString, LTaggableObject>;
}  // namespace

LStatusBar::LStatusBar(const RCPtr<LControl>& parent, const WString& name)
    : LControl(parent, name), mQueue(new LNotificationQueue())
{
}

LStatusBar::~LStatusBar() = default;

TavoResult LStatusBar::ReleaseInternalReferences()
{
    if (mQueue)
        mQueue->Detach();
    return LControl::ReleaseInternalReferences();
}

TavoResult LStatusBar::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LControl::ReceiveNotification(sender, notification);
}

TavoResult LStatusBar::Initialize()
{
    const TavoResult result = LControl::Initialize();
    mHandler = LNotificationHandler<LStatusBar>::Create(this);
    RCPtr<LNotificationDistributor> self(static_cast<LNotificationDistributor*>(this));
    mHandler->AddHandler(&LStatusBar::OnSetStatusText, self, u"NID_SET_STATUS_TEXT");
    mQueue->SetReceiver(self);
    RequestIdle();
    mLabel = RCPtrDynamicCast<LLabel>(FindChildByName(u"label1"));
    mDefaultText.Empty();
    if (mLabel && mLabel->GetStringTable())
        mLabel->GetStringTable()->FindString(u"LABEL", mDefaultText);
    return result;
}

TavoResult LStatusBar::ApplyProperties()
{
    const TavoResult result = LControl::ApplyProperties();
    SetNotFocusable(true);
    return result;
}

void LStatusBar::OnIdle()
{
    mQueue->Process(false);
}

TavoResult LStatusBar::PostStatusText(const WString& text)
{
    RCPtr<LStatusText> data(new LStatusText(text));
    RCPtr<LNotification> notification = LNotification::Create(u"NID_SET_STATUS_TEXT", data);
    if (!notification)
        return E_OUTOFMEMORY;
    return mQueue->Post(notification);
}

TavoResult LStatusBar::FlushStatusText(const WString& text)
{
    mQueue->Process(false);
    if (mLabel)
        mLabel->SetText(text);
    LRootWindow* root = GetRootWindow();
    if (root) {
        const PointT<int32_t> size = root->GetClientSize();
        root->InvalidateRect({0, 0, double(size.x), double(size.y)});
        if (IWindowOSServices* services = root->GetOSServices())
            services->Redraw();
    }
    return S_OK;
}

TavoResult LStatusBar::OnSetStatusText(const RCPtr<LNotificationDistributor>&,
                                       const RCPtr<LNotification>& notification)
{
    const auto* text = dynamic_cast<const LStatusText*>(notification->GetData().Get());
    if (text && mLabel)
        mLabel->SetText(*text);
    return S_FALSE;
}

}  // namespace Tavo
