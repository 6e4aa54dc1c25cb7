#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Tavo::Platform {

// A manual-reset event: stays signalled until Reset. Registry change
// notifications and the driver's pending-input signal set it; one waiter
// thread can use the same event for its own stop request.
class Event final
{
public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until signalled; false on timeout. A negative timeout waits
    // without limit.
    bool Wait(int32_t timeoutMs = -1) const;

private:
    mutable std::mutex mMutex;
    mutable std::condition_variable mCondition;
    bool mSignalled = false;
};

}  // namespace Tavo::Platform
