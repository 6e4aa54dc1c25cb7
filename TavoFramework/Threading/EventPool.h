#pragma once

#include "Threading/LEvent.h"

#include <cstdint>
#include <vector>

namespace Tavo {

// A fixed set of auto-reset events waited on as one.
class EventPool
{
public:
    explicit EventPool(uint32_t count);
    virtual ~EventPool();
    EventPool(const EventPool&) = delete;
    EventPool& operator=(const EventPool&) = delete;

    uint32_t GetCount() const { return static_cast<uint32_t>(mEvents.size()); }
    // The index is not range-tested.
    RCPtr<LEvent>& GetEvent(uint32_t index) { return mEvents[index]; }
    // The lowest signalled index, consuming only that event's signal; -1 on
    // time-out or failure.
    int32_t WaitAny(uint32_t timeoutMs);

private:
    std::vector<RCPtr<LEvent>> mEvents;
    std::vector<Platform::KernelEvent*> mHandles;
};

}  // namespace Tavo
