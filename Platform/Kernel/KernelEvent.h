#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace Tavo::Platform {

// Time-outs and wait results keep the values of the system the framework was
// designed against.
inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;

// The lock and condition variable that events share when they are waited on
// together; an event made without one gets its own.
struct EventSync
{
    std::mutex mutex;
    std::condition_variable changed;
};

// An auto-reset or manual-reset event with timed waits on the steady clock.
class KernelEvent
{
public:
    explicit KernelEvent(bool manualReset, bool initialState = false,
                         std::shared_ptr<EventSync> sync = nullptr);
    KernelEvent(const KernelEvent&) = delete;
    KernelEvent& operator=(const KernelEvent&) = delete;

    bool Set();
    bool Reset();
    // WAIT_OBJECT_0 or WAIT_TIMEOUT; an auto-reset event is consumed.
    uint32_t Wait(uint32_t timeoutMs);
    // Looks without waiting and without consuming.
    bool IsSet() const;

    bool IsManualReset() const { return mManualReset; }
    const std::shared_ptr<EventSync>& GetSync() const { return mSync; }

    // Waits until one of the events is signalled and returns the lowest
    // signalled index, consuming only that event; WAIT_TIMEOUT on time-out;
    // WAIT_FAILED when the list is empty or the events do not share one
    // EventSync.
    static uint32_t WaitAny(std::span<KernelEvent* const> events, uint32_t timeoutMs);

private:
    std::shared_ptr<EventSync> mSync;
    const bool mManualReset;
    bool mSignalled;  // guarded by mSync->mutex
};

}  // namespace Tavo::Platform
