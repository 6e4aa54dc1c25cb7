#pragma once

#include "ObjectBase/RCPtr.h"
#include "Threading/LEvent.h"
#include "Threading/Thread.h"
#include "Threading/ThreadWorker.h"

#include <cstdint>
#include <memory>

namespace Tavo {

// One long-lived thread that sleeps until triggered, runs one job, signals
// the job's completion event and sleeps again. A trigger that arrives while a
// job runs is refused, not queued.
class RetriggerableThreader : public IStringable
{
public:
    explicit RetriggerableThreader(const WString& name);
    // Stops the loop; a running job finishes first. Destroyed on its own
    // thread (its last job released its owner), the loop ends after that job.
    ~RetriggerableThreader() override;
    RetriggerableThreader(const RetriggerableThreader&) = delete;
    RetriggerableThreader& operator=(const RetriggerableThreader&) = delete;

    // S_OK when the job was handed over; E_FAIL while stopping or busy. The
    // completion event (may be null) is reset now and set when the job's
    // references have been dropped.
    TavoResult Trigger(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& param,
                       const RCPtr<LEvent>& completion, int32_t priority);
    bool IsBusy();
    void Stop();

    WString ToString() const override;
    void SetName(const WString& name);

    // The result of the last DoWork.
    uint32_t GetLastResult() const;
    Thread& GetThread() { return *mThread; }

private:
    struct State;
    static uint32_t Run(State& state);
    // Runs (when asked) and drops the stored job, then signals its completion.
    static void FinishJob(State& state, bool run);

    std::shared_ptr<State> mState;
    std::unique_ptr<Thread> mThread;
};

}  // namespace Tavo
