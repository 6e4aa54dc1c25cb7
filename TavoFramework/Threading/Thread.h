#pragma once

#include "Platform/Kernel/KernelThread.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace Tavo {

using Platform::THREAD_PRIORITY_ABOVE_NORMAL;
using Platform::THREAD_PRIORITY_BELOW_NORMAL;
using Platform::THREAD_PRIORITY_HIGHEST;
using Platform::THREAD_PRIORITY_IDLE;
using Platform::THREAD_PRIORITY_LOWEST;
using Platform::THREAD_PRIORITY_NORMAL;
using Platform::THREAD_PRIORITY_TIME_CRITICAL;

// A thread created suspended: the routine runs after Resume, or after Join
// starts it.
class Thread
{
public:
    using Routine = uint32_t (*)(void* argument);

    Thread(Routine routine, void* argument);
    // The routine may own what it needs: it is kept until the thread ends,
    // even when this object goes first.
    explicit Thread(std::function<uint32_t()> routine);
    // Waits for the routine to return. Threads cannot be killed safely here,
    // so a routine still running after 60 s is reported and waited for.
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts a created thread; false when it was started before or creation
    // failed.
    bool Resume();
    bool SetPriority(int32_t priority);
    // With enable false, dynamic boosting is switched off.
    bool SetPriorityBoost(bool enable);
    // True once the routine has returned, or when creation failed.
    bool HasEnded();
    // Starts the thread if needed and waits up to the time-out for the routine
    // to return; true when it has. A thread cannot join itself (false).
    bool Join(uint32_t timeoutMs);
    uint32_t GetId() const;

private:
    struct Control;
    std::shared_ptr<Control> mControl;
    std::unique_ptr<Platform::KernelThread> mThread;
};

}  // namespace Tavo
