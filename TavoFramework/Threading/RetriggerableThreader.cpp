#include "Threading/RetriggerableThreader.h"

#include <atomic>
#include <mutex>

namespace Tavo {

namespace {

constexpr uint32_t kStopJoinMs = 60000;

}  // namespace

// Shared with the running loop, so the loop outlives an owner that is
// destroyed on the threader's own thread.
struct RetriggerableThreader::State
{
    Event trigger{true};
    std::atomic<bool> busy{false};
    std::atomic<bool> stopping{false};
    std::atomic<uint32_t> result{0};

    std::mutex mutex;  // guards the job and the name
    RCPtr<LEvent> completion;
    RCPtr<LThreadWorker> worker;
    RCPtr<LRefCountedObject> param;
    WString name;
};

RetriggerableThreader::RetriggerableThreader(const WString& name) : mState(std::make_shared<State>())
{
    mState->name = name;
    mThread = std::make_unique<Thread>([state = mState] { return Run(*state); });
    mThread->SetPriorityBoost(false);
    mThread->Resume();
}

RetriggerableThreader::~RetriggerableThreader()
{
    Stop();
    // Thread's destructor waits on (with a warning) when the loop is still in
    // a job, or lets it finish when this runs on the loop's own thread.
    mThread.reset();
}

uint32_t RetriggerableThreader::Run(State& state)
{
    while (!state.stopping.load()) {
        state.trigger.Wait(INFINITE);
        FinishJob(state, !state.stopping.load());
    }
    // A job stored after the last pass (or before the loop ever ran) is
    // dropped here: it may hold the threader's owner.
    FinishJob(state, false);
    return 0;
}

void RetriggerableThreader::FinishJob(State& state, bool run)
{
    RCPtr<LThreadWorker> worker;
    RCPtr<LRefCountedObject> param;
    {
        std::lock_guard lock(state.mutex);
        worker = std::move(state.worker);
        param = std::move(state.param);
    }
    if (run && worker)
        state.result = worker->DoWork(param);
    // The job's last references may go here, on this thread.
    param = nullptr;
    worker = nullptr;

    RCPtr<LEvent> completion;
    {
        std::lock_guard lock(state.mutex);
        completion = std::move(state.completion);
        // Cleared before the event is set, so a thread woken by it can
        // trigger again at once.
        state.busy = false;
    }
    if (completion)
        completion->Set();
}

TavoResult RetriggerableThreader::Trigger(const RCPtr<LThreadWorker>& worker,
                                          const RCPtr<LRefCountedObject>& param,
                                          const RCPtr<LEvent>& completion, int32_t priority)
{
    if (mState->stopping.load() || IsBusy())
        return E_FAIL;
    mThread->SetPriority(priority);
    RCPtr<LThreadWorker> oldWorker;
    RCPtr<LRefCountedObject> oldParam;
    RCPtr<LEvent> oldCompletion;
    {
        std::lock_guard lock(mState->mutex);
        // Stop may have come in between; its trigger must not start this job.
        if (mState->stopping.load() || mState->busy.load())
            return E_FAIL;
        oldWorker = std::exchange(mState->worker, worker);
        oldParam = std::exchange(mState->param, param);
        oldCompletion = std::exchange(mState->completion, completion);
        if (completion)
            completion->Reset();
        mState->busy = true;
    }
    return mState->trigger.Set() ? S_OK : E_FAIL;
}

bool RetriggerableThreader::IsBusy()
{
    if (mState->busy.load() && mThread->HasEnded())
        mState->busy = false;
    return mState->busy.load();
}

void RetriggerableThreader::Stop()
{
    {
        std::lock_guard lock(mState->mutex);
        mState->stopping = true;
    }
    mState->trigger.Set();
    // A thread that never ran its loop cannot drop a stored job itself.
    if (mThread->Join(kStopJoinMs))
        FinishJob(*mState, false);
}

WString RetriggerableThreader::ToString() const
{
    std::lock_guard lock(mState->mutex);
    return mState->name;
}

void RetriggerableThreader::SetName(const WString& name)
{
    std::lock_guard lock(mState->mutex);
    mState->name = name;
}

uint32_t RetriggerableThreader::GetLastResult() const
{
    return mState->result.load();
}

}  // namespace Tavo
