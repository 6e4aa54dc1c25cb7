#pragma once

#include "Application/AppInterfaces.h"
#include "ControlBase/Control.h"

namespace Tavo {

class LLabel;
class LNotificationQueue;

// One line of status text in the child label "label1". Texts posted from any
// thread are shown on the next idle turn; FlushStatusText shows one at once.
class LStatusBar : public LControl, public IAppStatusBar
{
public:
    LStatusBar(const RCPtr<LControl>& parent, const WString& name);
    ~LStatusBar() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LStatusBar>(result, parent, descriptor);
    }

    TavoResult ReleaseInternalReferences() override;
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Initialize() override;
    TavoResult ApplyProperties() override;
    void OnIdle() override;

    // Any thread.
    TavoResult PostStatusText(const WString& text) override;
    // Interface thread: delivers what is queued, shows the text and repaints
    // the window at once.
    TavoResult FlushStatusText(const WString& text) override;
    WString GetDefaultText() const { return mDefaultText; }
    // The text the bar goes back to.
    WString GetStatusText() const override { return mDefaultText; }

private:
    TavoResult OnSetStatusText(const RCPtr<LNotificationDistributor>& sender,
                               const RCPtr<LNotification>& notification);

    RCPtr<LNotificationQueue> mQueue;
    RCPtr<LNotificationHandler<LStatusBar>> mHandler;
    RCPtr<LLabel> mLabel;
    WString mDefaultText;
};

}  // namespace Tavo
