#pragma once

#include "Controls/ScrollView.h"

namespace Tavo {

// The plain container: keys its children leave go on to its parent, keys
// the parent's other children leave come down to its children, and Tab
// stays among its children until their order is used up.
class LPanel : public LScrollView
{
public:
    using PanelHandler = LNotificationHandler<LPanel>;

    LPanel(const RCPtr<LControl>& parent, const WString& name) : LScrollView(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LPanel>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    TavoResult Initialize() override;
    RCPtr<LControl> GetNextTabChild(const RCPtr<LControl>& child, bool backward) override;
    TavoResult RouteUnhandledKey(const RCPtr<LKeyParam>& param) override;
    TavoResult ProcessTabKey(const RCPtr<LKeyParam>& param) override;

    bool HasPanelHandler() const { return mHandler != nullptr; }

private:
    TavoResult OnPanelSiblingKey(const RCPtr<LNotificationDistributor>& sender,
                                 const RCPtr<LNotification>& n);

    RCPtr<PanelHandler> mHandler;
};

}  // namespace Tavo
