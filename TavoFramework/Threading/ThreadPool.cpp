#include "Threading/ThreadPool.h"

#include <algorithm>

namespace Tavo {

RCPtr<LThreadPool> LThreadPool::Create(int32_t threadCount, int32_t priority)
{
    return RCPtr<LThreadPool>(new LThreadPool(threadCount, priority));
}

LThreadPool::LThreadPool(int32_t threadCount, int32_t priority) : mQueuePriority(priority)
{
    threadCount = std::clamp(threadCount, 1, kMaxThreads);
    mQueueThreader = std::make_unique<RetriggerableThreader>(WString());
    mThreadCount = threadCount;
    mWorkerEvents = std::make_unique<EventPool>(static_cast<uint32_t>(threadCount));
    for (int32_t i = 0; i < threadCount; ++i)
        mWorkers.push_back(std::make_unique<RetriggerableThreader>(WString()));
    mQueueThreaderDone = LEvent::Create();
    mQueueThreaderDone->Set();
    mQueueThreader->SetName(WString(u"LThreadPool::mQueueThreader"));
}

LThreadPool::~LThreadPool()
{
    Shutdown();
    mWorkers.clear();
    mWorkerEvents.reset();
    mQueue.clear();
    mQueueThreaderDone = nullptr;
    mQueueThreader.reset();
}

int32_t LThreadPool::TryRunNow(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& param,
                               int32_t priority)
{
    if (mThreadCount.load() <= 0)
        return -1;
    for (int32_t i = 0; i < mThreadCount.load(); ++i) {
        MutexLocker lock(mLock);
        // A one-worker pool never lets a new job overtake queued ones.
        if (!mQueue.empty() && mThreadCount.load() == 1)
            return -1;
        RetriggerableThreader& threader = *mWorkers[static_cast<size_t>(i)];
        if (threader.IsBusy())
            continue;
        threader.SetName(worker ? worker->ToString() : WString());
        if (threader.Trigger(worker, param, mWorkerEvents->GetEvent(static_cast<uint32_t>(i)), priority) == S_OK)
            return i;
    }
    return -1;
}

void LThreadPool::QueueWork(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& param,
                            int32_t priority)
{
    if (TryRunNow(worker, param, priority) >= 0)
        return;
    if (mThreadCount.load() <= 0)
        return;
    RCPtr<LWorkerParams> job = LWorkerParams::Create(worker, param, priority);
    bool startRun = false;
    {
        MutexLocker lock(mLock);
        // Checked again under the lock, so nothing is queued after Shutdown
        // has emptied the queue.
        if (mThreadCount.load() <= 0)
            return;
        // In front of queued jobs of the same priority: the end is taken first.
        auto at = std::find_if(mQueue.begin(), mQueue.end(),
                               [&](const RCPtr<LWorkerParams>& queued) { return queued->mPriority >= priority; });
        mQueue.insert(at, job);
        if (!mQueueRunActive) {
            mQueueRunActive = true;
            startRun = true;
        }
    }
    if (startRun) {
        // The previous run has passed its last look at the queue; wait for its
        // end outside the lock, then start the next.
        mQueueThreaderDone->Wait(INFINITE);
        RCPtr<LThreadWorker> self(static_cast<LThreadWorker*>(this));
        RCPtr<LRefCountedObject> selfParam(static_cast<LRefCountedObject*>(this));
        mQueueThreader->Trigger(self, selfParam, mQueueThreaderDone, mQueuePriority);
    }
}

bool LThreadPool::DispatchOne()
{
    for (size_t i = 0; i < mWorkers.size(); ++i) {
        RetriggerableThreader& threader = *mWorkers[i];
        if (threader.IsBusy())
            continue;
        RCPtr<LWorkerParams> job = std::move(mQueue.back());
        mQueue.pop_back();
        threader.SetName(job->mWorker ? job->mWorker->ToString() : WString());
        if (threader.Trigger(job->mWorker, job->mParam, mWorkerEvents->GetEvent(static_cast<uint32_t>(i)),
                             job->mPriority) == S_OK)
            return true;
        mQueue.push_back(std::move(job));  // stopping: keep it for the shutdown to drop
    }
    return false;
}

uint32_t LThreadPool::DoWork(RCPtr<LRefCountedObject>&)
{
    for (;;) {
        {
            MutexLocker lock(mLock);
            // Idle workers are looked for directly rather than trusted to have
            // a pending signal: a signal consumed by the previous run would
            // otherwise strand the job.
            while (!mQueue.empty() && mThreadCount.load() > 0 && DispatchOne()) {
            }
            if (mQueue.empty() || mThreadCount.load() <= 0) {
                mQueueRunActive = false;
                return 0;
            }
        }
        // Every worker is busy; each signals its event when its job ends.
        mWorkerEvents->WaitAny(INFINITE);
    }
}

void LThreadPool::Shutdown()
{
    mThreadCount = 0;
    std::vector<RCPtr<LWorkerParams>> dropped;
    {
        MutexLocker lock(mLock);
        dropped.swap(mQueue);
    }
    dropped.clear();  // released outside the lock: a job's last release may do anything
    mQueueThreader->Stop();
    // Wakes a QueueWork that waits to start a run; its trigger is refused now.
    mQueueThreaderDone->Set();
    for (size_t i = mWorkers.size(); i-- > 0;)
        mWorkers[i]->Stop();
}

uint32_t LThreadPool::GetQueuedCount()
{
    MutexLocker lock(mLock);
    return static_cast<uint32_t>(mQueue.size());
}

}  // namespace Tavo
