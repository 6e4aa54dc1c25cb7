#include "Threading/ThreadPool.h"

#include <algorithm>
#include <thread>

namespace Tavo {

namespace {

// How often an idle worker looks for a next job before it leaves.
constexpr int kLingerSpins = 64;

}  // namespace

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
    for (int32_t i = 0; i < threadCount; ++i) {
        mWorkers.push_back(std::make_unique<RetriggerableThreader>(WString()));
        mDrainers.emplace_back(new Drainer(*this, static_cast<uint32_t>(i)));
    }
    mHandedJobs.resize(static_cast<size_t>(threadCount));
    mQueueThreaderDone = LEvent::Create();
    mQueueThreaderDone->Set();
    mQueueThreader->SetName(WString(u"LThreadPool::mQueueThreader"));
}

LThreadPool::~LThreadPool()
{
    *mAlive = false;
    Shutdown();
    mWorkers.clear();
    mWorkerEvents.reset();
    mQueue.clear();
    mHandedJobs.clear();
    mDrainers.clear();
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
        if (StartOn(static_cast<size_t>(i), worker, param, priority))
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
        auto at = std::find_if(mQueue.begin(), mQueue.end(), [&](const RCPtr<LWorkerParams>& queued) {
            return queued->mPriority >= priority;
        });
        mQueue.insert(at, job);
        mQueuedCount = mQueue.size();
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

bool LThreadPool::StartOn(size_t index, RCPtr<LThreadWorker> worker, RCPtr<LRefCountedObject> param,
                          int32_t priority)
{
    RetriggerableThreader& threader = *mWorkers[index];
    if (threader.IsBusy())
        return false;
    threader.SetName(worker ? worker->ToString() : WString());
    HandedJob& handed = mHandedJobs[index];
    handed.worker = std::move(worker);
    handed.param = std::move(param);
    if (threader.Trigger(mDrainers[index], nullptr, mWorkerEvents->GetEvent(static_cast<uint32_t>(index)),
                         priority) != S_OK) {
        handed = HandedJob();
        return false;
    }
    return true;
}

bool LThreadPool::DispatchOne()
{
    for (size_t i = 0; i < mWorkers.size(); ++i) {
        if (mWorkers[i]->IsBusy())
            continue;
        RCPtr<LWorkerParams> job = std::move(mQueue.back());
        mQueue.pop_back();
        mQueuedCount = mQueue.size();
        if (StartOn(i, job->mWorker, job->mParam, job->mPriority))
            return true;
        mQueue.push_back(std::move(job));  // stopping: keep it for the shutdown to drop
        mQueuedCount = mQueue.size();
    }
    return false;
}

uint32_t LThreadPool::Drain(uint32_t index)
{
    const std::shared_ptr<std::atomic<bool>> alive = mAlive;
    RetriggerableThreader& threader = *mWorkers[index];
    // Written by StartOn only while this worker is idle, so no lock is needed.
    HandedJob job = std::move(mHandedJobs[index]);
    const LThreadWorker* lastWorker = job.worker.Get();  // named by StartOn
    const bool lone = mWorkers.size() == 1;
    uint32_t result = 0;
    for (;;) {
        // A job handed over just before Shutdown is dropped unrun.
        if (job.worker && mThreadCount.load() > 0)
            result = job.worker->DoWork(job.param);
        // The job's references go right after its run, on this thread; the
        // last of them may destroy the pool.
        job = HandedJob();
        if (!alive->load())
            return result;
        // A lone worker looks a little longer: a producer in full swing
        // queues the next job within microseconds, and leaving costs two
        // wake-ups (this worker's and the dispatching run's).
        for (int spin = 0; lone && spin < kLingerSpins && mQueuedCount.load() == 0 && mThreadCount.load() > 0;
             ++spin)
            std::this_thread::yield();
        // Many workers leave without the lock when nothing is queued rather
        // than queue up on it; a job queued after this look has a
        // dispatching run. A lone worker waits for the lock, which a producer
        // often holds to queue its next job.
        if (mWorkers.size() > 1 && mQueuedCount.load() == 0)
            return result;
        int32_t priority = 0;
        {
            MutexLocker lock(mLock);
            if (mQueue.empty() || mThreadCount.load() <= 0)
                return result;
            RCPtr<LWorkerParams> next = std::move(mQueue.back());
            mQueue.pop_back();
            mQueuedCount = mQueue.size();
            job.worker = std::move(next->mWorker);
            job.param = std::move(next->mParam);
            priority = next->mPriority;
        }
        threader.GetThread().SetPriority(priority);
        // The thread already carries the name of a job of the same worker.
        if (job.worker.Get() != lastWorker)
            threader.SetName(job.worker ? job.worker->ToString() : WString());
        lastWorker = job.worker.Get();
    }
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
    std::deque<RCPtr<LWorkerParams>> dropped;
    {
        MutexLocker lock(mLock);
        dropped.swap(mQueue);
        mQueuedCount = 0;
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
