#pragma once

#include "Notification/Notification.h"

#include <cstdint>
#include <vector>

namespace Tavo {

class LNotificationDistributor;

// Anything a distributor can hand a notification to.
class LNotificationReceiver : public virtual LRefCountedObject
{
public:
    virtual TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>& notification) = 0;
    virtual TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                   const char16_t* name) = 0;
};

// A receiver that registers at distributors. Each registration holds the client
// and counts as one internal reference of it, so releasing the last outside
// reference unregisters it everywhere and lets it go.
class LNotificationClient : public LNotificationReceiver
{
public:
    // Flag bit 0: deliver only the latest notification posted for the id.
    static constexpr uint32_t kLatestPostedOnly = 1;

    LNotificationClient() = default;
    ~LNotificationClient() override = default;

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    // 1 when the client holds no registrations; E_INVALIDARG for an empty
    // distributor or name; otherwise the distributor's UnregisterClient result.
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;
    TavoResult ReleaseInternalReferences() override;

    // The id subscribed to, or null when the distributor or name is empty.
    LNotificationId Subscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name,
                              uint32_t flags = 0);
    // Returns the number of registrations removed.
    int32_t UnsubscribeAll();
    void RemoveAllHandlers() { UnsubscribeAll(); }

    int32_t GetRegistrationCount() const { return mRegistrationCount; }
    const std::vector<LNotificationDistributor*>& GetDistributors() const { return mDistributors; }

private:
    void ForgetDistributor(LNotificationDistributor* distributor);

    int32_t mRegistrationCount = 0;
    // Plain pointers: the registrations already keep each distributor alive.
    std::vector<LNotificationDistributor*> mDistributors;
};

}  // namespace Tavo
