#include "Threading/EventPool.h"

namespace Tavo {

EventPool::EventPool(uint32_t count)
{
    auto sync = std::make_shared<Platform::EventSync>();
    mEvents.reserve(count);
    mHandles.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        mEvents.push_back(LEvent::Create(sync));
        mHandles.push_back(mEvents.back()->GetHandle());
    }
}

EventPool::~EventPool() = default;

int32_t EventPool::WaitAny(uint32_t timeoutMs)
{
    const uint32_t result = Platform::KernelEvent::WaitAny(mHandles, timeoutMs);
    if (result == WAIT_TIMEOUT || result == WAIT_FAILED)
        return -1;
    return static_cast<int32_t>(result - WAIT_OBJECT_0);
}

}  // namespace Tavo
