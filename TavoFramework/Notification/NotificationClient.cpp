#include "Notification/NotificationClient.h"

#include "Notification/NotificationDistributor.h"

#include <algorithm>

namespace Tavo {

TavoResult LNotificationClient::ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                                    const RCPtr<LNotification>&)
{
    return S_OK;
}

LNotificationId LNotificationClient::Subscribe(const RCPtr<LNotificationDistributor>& distributor,
                                               const char16_t* name, uint32_t flags)
{
    if (!distributor)
        return nullptr;
    LNotificationId id = GetNotificationID(name);
    if (!id)
        return nullptr;
    RCPtr<LNotificationClient> self(this);
    TavoResult result = distributor->RegisterClient(self, id, flags);
    if (result == S_OK) {
        AddInternalReferences(1);
        ++mRegistrationCount;
    }
    if (Succeeded(result) &&
        std::find(mDistributors.begin(), mDistributors.end(), distributor.Get()) == mDistributors.end())
        mDistributors.push_back(distributor.Get());
    return id;
}

TavoResult LNotificationClient::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                            const char16_t* name)
{
    if (mRegistrationCount == 0)
        return S_FALSE;
    if (!distributor || !name)
        return E_INVALIDARG;
    RCPtr<LNotificationClient> self(this);
    TavoResult result = distributor->UnregisterClient(self, name);
    if (result == S_OK) {
        AddInternalReferences(-1);
        --mRegistrationCount;
        if (!distributor->HasClient(this))
            ForgetDistributor(distributor.Get());
    }
    return result;
}

int32_t LNotificationClient::UnsubscribeAll()
{
    int32_t count = mRegistrationCount;
    if (count < 1)
        return 0;
    AddInternalReferences(-count);
    RCPtr<LNotificationClient> self(this);
    int32_t removed = 0;
    while (!mDistributors.empty()) {
        RCPtr<LNotificationDistributor> distributor(mDistributors.back());
        int32_t n = distributor->UnregisterClientAll(self);
        if (n > 0)
            removed += n;
        ForgetDistributor(distributor.Get());
    }
    mRegistrationCount = 0;
    return removed;
}

TavoResult LNotificationClient::ReleaseInternalReferences()
{
    UnsubscribeAll();
    return LRefCountedObject::ReleaseInternalReferences();
}

void LNotificationClient::ForgetDistributor(LNotificationDistributor* distributor)
{
    auto found = std::find(mDistributors.begin(), mDistributors.end(), distributor);
    if (found != mDistributors.end())
        mDistributors.erase(found);
}

}  // namespace Tavo
