#include "Threading/Thread.h"

#include "Platform/Kernel/KernelSystem.h"
#include "Threading/Event.h"
#include "Threading/FastMutex.h"

#include <atomic>
#include <cstdio>

namespace Tavo {

namespace {

constexpr uint32_t kDestructorJoinMs = 60000;

enum : int { kCreated = 0, kStarted = 1, kCreationFailed = 2 };

}  // namespace

// Shared between the Thread object and the running thread, so that nothing
// the thread touches is freed while it still runs.
struct Thread::Control
{
    std::function<uint32_t()> routine;
    FastMutex lock;  // guards state and the start and join steps
    int state = kCreated;
    std::atomic<bool> entered{false};
    TrafficLight endGate;  // open whenever the routine is not running
};

Thread::Thread(Routine routine, void* argument) : Thread([routine, argument] { return routine(argument); }) {}

Thread::Thread(std::function<uint32_t()> routine) : mControl(std::make_shared<Control>())
{
    mControl->routine = std::move(routine);
    mThread = std::make_unique<Platform::KernelThread>([control = mControl]() -> uint32_t {
        control->endGate.Reset();
        control->entered = true;
        const uint32_t result = control->routine();
        control->endGate.Set();
        return result;
    });
    if (!mThread->IsValid())
        mControl->state = kCreationFailed;
    mControl->endGate.Set();
}

Thread::~Thread()
{
    if (mThread->IsValid() && !mThread->IsCurrentThread()) {
        while (!Join(kDestructorJoinMs)) {
            std::fprintf(stderr, "Tavo::Thread: thread %u still running after %u ms; waiting on\n",
                         static_cast<unsigned>(GetId()), static_cast<unsigned>(kDestructorJoinMs));
        }
    }
    // Joins the finished thread, or lets a thread that destroys its own
    // object finish on its own.
    mThread.reset();
}

bool Thread::Resume()
{
    FastMutexLocker lock(mControl->lock);
    if (mControl->state != kCreated)
        return false;
    mControl->state = kStarted;
    mThread->Resume();
    return true;
}

bool Thread::SetPriority(int32_t priority)
{
    return mThread->SetPriority(priority);
}

bool Thread::SetPriorityBoost(bool enable)
{
    return mThread->SetPriorityBoost(enable);
}

bool Thread::HasEnded()
{
    FastMutexLocker lock(mControl->lock);
    if (mControl->entered.load())
        return mControl->endGate.IsSignalled();
    return mControl->state == kCreationFailed;
}

bool Thread::Join(uint32_t timeoutMs)
{
    if (HasEnded())
        return true;
    if (mThread->IsCurrentThread())
        return false;
    FastMutexLocker lock(mControl->lock);
    if (mControl->state == kCreated) {
        mControl->state = kStarted;
        mThread->Resume();
    }
    while (!mControl->entered.load())
        Platform::Sleep(1);
    return mControl->endGate.Wait(timeoutMs) == WAIT_OBJECT_0;
}

uint32_t Thread::GetId() const
{
    return mThread->GetId();
}

}  // namespace Tavo
