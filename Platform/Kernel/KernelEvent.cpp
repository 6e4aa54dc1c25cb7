#include "Platform/Kernel/KernelEvent.h"

#include <chrono>

namespace Tavo::Platform {

namespace {

// Waits on the condition until pred holds or the time-out passes; INFINITE
// never times out.
template <typename Pred>
bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t timeoutMs, Pred pred)
{
    if (timeoutMs == INFINITE) {
        cv.wait(lock, pred);
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return cv.wait_until(lock, deadline, pred);
}

}  // namespace

KernelEvent::KernelEvent(bool manualReset, bool initialState, std::shared_ptr<EventSync> sync)
    : mSync(sync ? std::move(sync) : std::make_shared<EventSync>()), mManualReset(manualReset),
      mSignalled(initialState)
{
}

bool KernelEvent::Set()
{
    // Notified under the lock: a released waiter may destroy the event as soon
    // as it can take the lock. Waiters of other events may share the
    // condition, so wake them all; each re-tests its own predicate.
    std::lock_guard lock(mSync->mutex);
    mSignalled = true;
    mSync->changed.notify_all();
    return true;
}

bool KernelEvent::Reset()
{
    std::lock_guard lock(mSync->mutex);
    mSignalled = false;
    return true;
}

uint32_t KernelEvent::Wait(uint32_t timeoutMs)
{
    std::unique_lock lock(mSync->mutex);
    if (!WaitFor(lock, mSync->changed, timeoutMs, [this] { return mSignalled; }))
        return WAIT_TIMEOUT;
    if (!mManualReset)
        mSignalled = false;
    return WAIT_OBJECT_0;
}

bool KernelEvent::IsSet() const
{
    std::lock_guard lock(mSync->mutex);
    return mSignalled;
}

uint32_t KernelEvent::WaitAny(std::span<KernelEvent* const> events, uint32_t timeoutMs)
{
    if (events.empty() || events[0] == nullptr)
        return WAIT_FAILED;
    const std::shared_ptr<EventSync>& sync = events[0]->mSync;
    for (KernelEvent* e : events) {
        if (e == nullptr || e->mSync != sync)
            return WAIT_FAILED;
    }
    std::unique_lock lock(sync->mutex);
    uint32_t found = WAIT_TIMEOUT;
    auto anySignalled = [&] {
        for (size_t i = 0; i < events.size(); ++i) {
            if (events[i]->mSignalled) {
                found = static_cast<uint32_t>(i);
                return true;
            }
        }
        return false;
    };
    if (!WaitFor(lock, sync->changed, timeoutMs, anySignalled))
        return WAIT_TIMEOUT;
    if (!events[found]->mManualReset)
        events[found]->mSignalled = false;
    return WAIT_OBJECT_0 + found;
}

}  // namespace Tavo::Platform
