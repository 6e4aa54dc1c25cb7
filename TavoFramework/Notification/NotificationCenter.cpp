#include "Notification/NotificationCenter.h"

#include <utility>

namespace Tavo {

RCPtr<LNotificationCenter> LNotificationCenter::Create(const WString& name)
{
    RCPtr<LNotificationCenter> center(new LNotificationCenter(name));
    center->SetDistributor(RCPtr<LNotificationDistributor>(center.Get()));
    // The queue part's reference to the distributor part.
    center->AddInternalReferences(1);
    return center;
}

TavoResult LNotificationCenter::ReleaseInternalReferences()
{
    RemoveAllClients();
    Detach();
    AddInternalReferences(-1);
    return LRefCountedObject::ReleaseInternalReferences();
}

namespace {

RCPtr<LNotificationCenterManager>& ManagerSlot()
{
    static auto* slot = new RCPtr<LNotificationCenterManager>;
    return *slot;
}

}  // namespace

RCPtr<LNotificationCenterManager> LNotificationCenterManager::GetInstance()
{
    MutexLocker lock(GetFrameworkLock());
    RCPtr<LNotificationCenterManager>& slot = ManagerSlot();
    if (!slot)
        slot = new LNotificationCenterManager;
    return slot;
}

void LNotificationCenterManager::ReleaseInstance()
{
    RCPtr<LNotificationCenterManager> manager;
    {
        MutexLocker lock(GetFrameworkLock());
        manager = std::move(ManagerSlot());
    }
}

RCPtr<LNotificationCenter> LNotificationCenterManager::FindCenter(const WString& name) const
{
    MutexLocker lock(GetFrameworkLock());
    for (const auto& center : mCenters)
        if (center->GetName().GetBuffer() == name.GetBuffer() || center->GetName() == name)
            return center;
    return nullptr;
}

RCPtr<LNotificationCenter> LNotificationCenterManager::GetCenter(const WString& name)
{
    if (name.IsEmpty())
        return nullptr;
    RCPtr<LNotificationCenter> center = FindCenter(name);
    if (center)
        return center;
    // Built outside the framework lock, which is taken alone; a center made
    // meanwhile by another thread wins.
    RCPtr<LNotificationCenter> made = LNotificationCenter::Create(name);
    MutexLocker lock(GetFrameworkLock());
    center = FindCenter(name);
    if (!center) {
        mCenters.push_back(made);
        center = made;
    }
    return center;
}

bool LNotificationCenterManager::ProcessAll(bool sendIdle)
{
    bool any = false;
    // Centers are only ever appended, so an index walk stays valid while
    // handlers create new ones.
    size_t i;
    {
        MutexLocker lock(GetFrameworkLock());
        i = mCenters.size();
    }
    while (i-- > 0) {
        RCPtr<LNotificationCenter> center;
        {
            MutexLocker lock(GetFrameworkLock());
            center = mCenters[i];
        }
        if (center->Process(sendIdle))
            any = true;
    }
    return any;
}

RCPtr<LNotificationCenter> GetMainNotificationCenter()
{
    static const auto* name = new WString(u"application");
    return LNotificationCenterManager::GetInstance()->GetCenter(*name);
}

}  // namespace Tavo
