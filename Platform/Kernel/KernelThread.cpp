#include "Platform/Kernel/KernelThread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace Tavo::Platform {

namespace {

std::atomic<uint32_t> gNextThreadId{1};
std::atomic<bool> gFailNextCreation{false};
thread_local uint32_t tCurrentThreadId = 0;

}  // namespace

struct KernelThread::State
{
    ThreadRoutine routine;
    uint32_t id = 0;
    std::atomic<int32_t> priority{THREAD_PRIORITY_NORMAL};
    std::atomic<bool> boost{true};

    std::mutex mutex;
    std::condition_variable gateChanged;
    bool gateOpen = false;   // guarded by mutex
    bool cancelled = false;  // guarded by mutex: end without running

    std::thread thread;
    bool resumed = false;  // touched by the owner only
};

uint32_t GetCurrentThreadId()
{
    if (tCurrentThreadId == 0)
        tCurrentThreadId = gNextThreadId.fetch_add(1);
    return tCurrentThreadId;
}

void KernelThread::FailNextCreation()
{
    gFailNextCreation = true;
}

KernelThread::KernelThread(ThreadRoutine routine) : mState(std::make_shared<State>())
{
    mState->routine = std::move(routine);
    mState->id = gNextThreadId.fetch_add(1);
    if (gFailNextCreation.exchange(false)) {
        mState.reset();
        return;
    }
    try {
        // The thread keeps the state alive on its own, so nothing it uses goes
        // away while it runs.
        mState->thread = std::thread([state = mState] {
            tCurrentThreadId = state->id;
            {
                std::unique_lock lock(state->mutex);
                state->gateChanged.wait(lock, [&] { return state->gateOpen; });
                if (state->cancelled)
                    return;
            }
            state->routine();
        });
    } catch (const std::system_error&) {
        mState.reset();
    }
}

KernelThread::~KernelThread()
{
    if (!mState)
        return;
    if (!mState->resumed) {
        std::lock_guard lock(mState->mutex);
        mState->cancelled = true;
        mState->gateOpen = true;
        mState->gateChanged.notify_all();
    }
    if (IsCurrentThread())
        mState->thread.detach();
    else
        mState->thread.join();
}

bool KernelThread::IsValid() const
{
    return mState != nullptr;
}

bool KernelThread::Resume()
{
    if (!mState || mState->resumed)
        return false;
    mState->resumed = true;
    // Nothing of this object is touched once the gate is open: the routine
    // may destroy it.
    std::lock_guard lock(mState->mutex);
    mState->gateOpen = true;
    mState->gateChanged.notify_all();
    return true;
}

bool KernelThread::SetPriority(int32_t priority)
{
    if (!mState)
        return false;
    mState->priority = priority;
    return true;
}

int32_t KernelThread::GetPriority() const
{
    return mState ? mState->priority.load() : THREAD_PRIORITY_NORMAL;
}

bool KernelThread::SetPriorityBoost(bool enable)
{
    if (!mState)
        return false;
    mState->boost = enable;
    return true;
}

bool KernelThread::GetPriorityBoost() const
{
    return mState ? mState->boost.load() : false;
}

uint32_t KernelThread::GetId() const
{
    return mState ? mState->id : 0;
}

bool KernelThread::IsCurrentThread() const
{
    return mState && mState->id == GetCurrentThreadId();
}

}  // namespace Tavo::Platform
