#pragma once

#include "Notification/NotificationQueue.h"

#include <vector>

namespace Tavo {

// A named distributor with its own queue attached to itself.
class LNotificationCenter : public LNotificationDistributor, public LNotificationQueue
{
public:
    static RCPtr<LNotificationCenter> Create(const WString& name);

    TavoResult ReleaseInternalReferences() override;
    const WString& GetName() const { return mName; }

protected:
    explicit LNotificationCenter(const WString& name) : mName(name) {}

private:
    WString mName;
};

// Every center of the process; the idle turn drains them all.
class LNotificationCenterManager : public virtual LRefCountedObject
{
public:
    // Made on the first call.
    static RCPtr<LNotificationCenterManager> GetInstance();
    // Empties the process-wide pointer; the manager and its centers end once
    // nothing else holds them.
    static void ReleaseInstance();

    // Empty when there is no such center.
    RCPtr<LNotificationCenter> FindCenter(const WString& name) const;
    // Created on first use; empty for an empty name.
    RCPtr<LNotificationCenter> GetCenter(const WString& name);
    // Drains each center, last created first, each followed by its idle
    // notification when asked. True when any still has notifications queued.
    bool ProcessAll(bool sendIdle);

private:
    std::vector<RCPtr<LNotificationCenter>> mCenters;
};

// The center named "application".
RCPtr<LNotificationCenter> GetMainNotificationCenter();

}  // namespace Tavo
