#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace Tavo::Platform {

using ThreadRoutine = std::function<uint32_t()>;

// Thread priorities, as levels of the system the framework was designed for.
inline constexpr int32_t THREAD_PRIORITY_IDLE = -15;
inline constexpr int32_t THREAD_PRIORITY_LOWEST = -2;
inline constexpr int32_t THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int32_t THREAD_PRIORITY_NORMAL = 0;
inline constexpr int32_t THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int32_t THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int32_t THREAD_PRIORITY_TIME_CRITICAL = 15;

// A thread created held at a start gate: the routine runs only after Resume.
// Priorities are only recorded: raising them needs privileges here, and a
// caller must never fail because of that.
class KernelThread
{
public:
    explicit KernelThread(ThreadRoutine routine);
    // Joins the thread; a thread that was never resumed ends without running
    // its routine. Destroyed on its own thread, it lets the thread finish
    // detached.
    ~KernelThread();
    KernelThread(const KernelThread&) = delete;
    KernelThread& operator=(const KernelThread&) = delete;

    // False when the system could not create the thread.
    bool IsValid() const;
    // Opens the start gate; false when it was open already or there is no
    // thread.
    bool Resume();
    bool SetPriority(int32_t priority);
    int32_t GetPriority() const;
    bool SetPriorityBoost(bool enable);
    bool GetPriorityBoost() const;
    uint32_t GetId() const;
    bool IsCurrentThread() const;

    // Testing aid: pretends the system refused the next thread creation.
    static void FailNextCreation();

private:
    struct State;
    std::shared_ptr<State> mState;
};

// The id of the calling thread, unique within the process.
uint32_t GetCurrentThreadId();

}  // namespace Tavo::Platform
