#pragma once

#include "ObjectBase/RCPtr.h"
#include "Threading/EventPool.h"
#include "Threading/Mutex.h"
#include "Threading/RetriggerableThreader.h"
#include "Threading/ThreadWorker.h"
#include "Utilities/Storage/ReuseAllocator.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace Tavo {

// A fixed number of worker threaders fed from a priority queue. A job runs at
// once on an idle worker, or waits: highest priority first and, among equal
// priorities, in arrival order. A one-worker pool runs jobs strictly one at a
// time, in the order they were queued.
class LThreadPool : public virtual LRefCountedObject, private LThreadWorker
{
public:
    // One queued job.
    class LWorkerParams : public LRefCountedObject
    {
        TAVO_POOLED_CLASS(LWorkerParams, 1, true)

    public:
        static RCPtr<LWorkerParams> Create(const RCPtr<LThreadWorker>& worker,
                                           const RCPtr<LRefCountedObject>& param, int32_t priority)
        {
            return RCPtr<LWorkerParams>(new LWorkerParams(worker, param, priority));
        }

        RCPtr<LThreadWorker> mWorker;
        RCPtr<LRefCountedObject> mParam;
        int32_t mPriority;

    private:
        LWorkerParams(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& param,
                      int32_t priority)
            : mWorker(worker), mParam(param), mPriority(priority)
        {
        }
    };

    static constexpr int32_t kMaxThreads = 64;

    // threadCount is clamped to 1..64; priority is the queue threader's.
    static RCPtr<LThreadPool> Create(int32_t threadCount, int32_t priority);
    LThreadPool(int32_t threadCount, int32_t priority);
    ~LThreadPool() override;

    // Runs the job on an idle worker at once, or queues it; a pool that is
    // shut down drops it.
    void QueueWork(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& param,
                   int32_t priority);
    // The index of the idle worker that took the job, or -1.
    int32_t TryRunNow(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& param,
                      int32_t priority);
    // Stops accepting work, drops the queue and stops every thread; running
    // jobs finish first.
    void Shutdown();

    int32_t GetThreadCount() const { return mThreadCount.load(); }
    uint32_t GetQueuedCount();
    RetriggerableThreader& GetWorker(uint32_t index) { return *mWorkers[index]; }

private:
    // The queue threader's job: hands queued jobs to idle workers until the
    // queue is empty.
    uint32_t DoWork(RCPtr<LRefCountedObject>& param) override;
    // Under mLock: a queued job to an idle worker; false when none is idle.
    bool DispatchOne();
    // Under mLock: hands the job to idle worker `index`; false when refused.
    bool StartOn(size_t index, RCPtr<LThreadWorker> worker, RCPtr<LRefCountedObject> param, int32_t priority);
    // On worker `index`: runs the job handed to it, then takes queued jobs
    // until the queue is empty, so a busy pool needs no wake-up per job.
    uint32_t Drain(uint32_t index);

    // What each worker runs; it holds no reference to the pool, whose
    // destruction waits for the workers.
    class Drainer : public LThreadWorker
    {
    public:
        Drainer(LThreadPool& pool, uint32_t index) : mPool(pool), mIndex(index) {}
        uint32_t DoWork(RCPtr<LRefCountedObject>&) override { return mPool.Drain(mIndex); }

    private:
        LThreadPool& mPool;
        uint32_t mIndex;
    };

    struct HandedJob
    {
        RCPtr<LThreadWorker> worker;
        RCPtr<LRefCountedObject> param;
    };

    std::atomic<int32_t> mThreadCount;
    std::vector<std::unique_ptr<RetriggerableThreader>> mWorkers;
    std::unique_ptr<EventPool> mWorkerEvents;
    std::unique_ptr<RetriggerableThreader> mQueueThreader;
    RCPtr<LEvent> mQueueThreaderDone;
    // Ascending priority, taken from the end; a job joins the front of its
    // priority, which for equal priorities is the queue's front.
    std::deque<RCPtr<LWorkerParams>> mQueue;
    Mutex mLock;
    int32_t mQueuePriority;
    bool mQueueRunActive = false;         // under mLock: a dispatching run will look at the queue again
    std::atomic<size_t> mQueuedCount{0};  // mQueue's size, written under mLock
    std::vector<RCPtr<LThreadWorker>> mDrainers;
    std::vector<HandedJob> mHandedJobs;  // under mLock
    // Cleared by the destructor: a worker whose dropped job destroyed the
    // pool must not touch it again.
    std::shared_ptr<std::atomic<bool>> mAlive = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace Tavo
