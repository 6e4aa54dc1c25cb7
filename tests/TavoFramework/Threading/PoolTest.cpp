#include "ObjectBase/Holder.h"
#include "Threading/EventPool.h"
#include "Threading/LEvent.h"
#include "Threading/RetriggerableThreader.h"
#include "Threading/ThreadPool.h"

#include "Platform/Kernel/KernelThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace Tavo;

namespace {

// Records the id of every job it runs; a job whose id is listed in `blockers`
// waits on the shared gate first.
class Recorder : public LThreadWorker
{
public:
    uint32_t DoWork(RCPtr<LRefCountedObject>& param) override
    {
        const int id = param ? RCPtrDynamicCast<LHolder<int>>(param)->Get() : -1;
        started.Set();
        if (id < 0)
            gate.Wait(INFINITE);
        {
            std::lock_guard lock(mutex);
            order.push_back(id);
        }
        if (++finished == expected)
            allDone.Set();
        return 0;
    }

    std::vector<int> Order()
    {
        std::lock_guard lock(mutex);
        return order;
    }

    Event gate{false};    // opens blocking jobs (negative ids)
    Event started{true};  // a job has begun
    Event allDone{false};
    std::atomic<int> finished{0};
    int expected = -1;

private:
    std::mutex mutex;
    std::vector<int> order;
};

RCPtr<LRefCountedObject> Id(int id)
{
    return RCPtr<LRefCountedObject>(new LHolder<int>(id));
}

}  // namespace

TEST(EventPool, WaitAnyTakesLowestSignalledAndKeepsTheRest)
{
    EventPool pool(3);
    EXPECT_EQ(pool.GetCount(), 3u);
    EXPECT_EQ(pool.WaitAny(0), -1);
    pool.GetEvent(2)->Set();
    pool.GetEvent(1)->Set();
    EXPECT_EQ(pool.WaitAny(0), 1);
    EXPECT_EQ(pool.WaitAny(INFINITE), 2);
    EXPECT_EQ(pool.WaitAny(1), -1);

    std::thread setter([&] { pool.GetEvent(0)->Set(); });
    EXPECT_EQ(pool.WaitAny(INFINITE), 0);
    setter.join();
}

TEST(RetriggerableThreader, RunsOneJobPerTriggerAndRefusesWhileBusy)
{
    RCPtr<Recorder> recorder(new Recorder);
    RetriggerableThreader threader(WString(u"worker"));
    EXPECT_TRUE(threader.ToString() == u"worker");

    RCPtr<LEvent> first = LEvent::Create();
    RCPtr<LEvent> second = LEvent::Create();
    RCPtr<LRefCountedObject> blocking = Id(-1);
    EXPECT_EQ(threader.Trigger(recorder, blocking, first, THREAD_PRIORITY_HIGHEST), S_OK);
    recorder->started.Wait(INFINITE);
    EXPECT_TRUE(threader.IsBusy());
    EXPECT_EQ(threader.GetThread().HasEnded(), false);

    // Refused, not queued, and the running job's completion is untouched.
    second->Set();
    EXPECT_EQ(threader.Trigger(recorder, Id(99), second, 0), E_FAIL);
    EXPECT_TRUE(second->IsSignalled());  // not reset by the refused trigger

    recorder->gate.Set();
    EXPECT_EQ(first->Wait(INFINITE), WAIT_OBJECT_0);
    // The job's references were dropped before completion was signalled.
    EXPECT_EQ(blocking->GetRefCount(), 1);
    EXPECT_FALSE(threader.IsBusy());

    // Busy is cleared before completion is set: a retrigger right away works.
    EXPECT_EQ(threader.Trigger(recorder, Id(2), first, 0), S_OK);
    EXPECT_EQ(first->Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(recorder->Order(), (std::vector<int>{-1, 2}));
}

TEST(RetriggerableThreader, JobStoredForALoopThatNeverRanIsDroppedByStop)
{
    RCPtr<Recorder> recorder(new Recorder);
    Platform::KernelThread::FailNextCreation();
    RetriggerableThreader threader(WString(u"no thread"));
    RCPtr<LRefCountedObject> param = Id(1);
    RCPtr<LEvent> done = LEvent::Create();
    EXPECT_EQ(threader.Trigger(recorder, param, done, 0), S_OK);
    EXPECT_FALSE(threader.IsBusy());  // no thread: nothing can be running
    threader.Stop();
    // The stored references would otherwise keep the job (and whatever owns
    // the threader) alive for ever.
    EXPECT_EQ(param->GetRefCount(), 1);
    EXPECT_EQ(recorder->GetRefCount(), 1);
    EXPECT_TRUE(done->IsSignalled());
    EXPECT_TRUE(recorder->Order().empty());
}

TEST(LThreadPool, OneWorkerKeepsQueueOrderAndPriorities)
{
    RCPtr<Recorder> recorder(new Recorder);
    recorder->expected = 7;
    RCPtr<LThreadPool> pool = LThreadPool::Create(1, THREAD_PRIORITY_HIGHEST);

    pool->QueueWork(recorder, Id(-1), 0);  // occupies the worker
    recorder->started.Wait(INFINITE);
    pool->QueueWork(recorder, Id(1), 0);
    pool->QueueWork(recorder, Id(2), 0);
    pool->QueueWork(recorder, Id(3), 0);
    pool->QueueWork(recorder, Id(10), 1);
    pool->QueueWork(recorder, Id(-10), -1);
    // Not even an idle moment may let a new job overtake queued ones.
    EXPECT_EQ(pool->TryRunNow(recorder, Id(42), 5), -1);
    EXPECT_EQ(pool->GetQueuedCount(), 5u);
    pool->QueueWork(recorder, Id(4), 0);

    recorder->gate.Set();
    recorder->allDone.Wait(INFINITE);
    EXPECT_EQ(recorder->Order(), (std::vector<int>{-1, 10, 1, 2, 3, 4, -10}));
}

TEST(LThreadPool, IdleWorkerTakesJobAtOnce)
{
    RCPtr<Recorder> recorder(new Recorder);
    recorder->expected = 2;
    RCPtr<LThreadPool> pool = LThreadPool::Create(2, 0);
    EXPECT_EQ(pool->TryRunNow(recorder, Id(1), 0), 0);
    recorder->started.Wait(INFINITE);
    pool->QueueWork(recorder, Id(2), 0);
    EXPECT_EQ(pool->GetQueuedCount(), 0u);
    recorder->allDone.Wait(INFINITE);
}

TEST(LThreadPool, ManyProducersLoseNoJob)
{
    constexpr int kProducers = 4, kPerProducer = 1500;
    RCPtr<Recorder> recorder(new Recorder);
    recorder->expected = kProducers * kPerProducer;
    RCPtr<LThreadPool> pool = LThreadPool::Create(3, 0);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i)
                pool->QueueWork(recorder, Id(p * kPerProducer + i), (i % 5) - 2);
        });
    }
    for (auto& t : producers)
        t.join();
    recorder->allDone.Wait(INFINITE);
    std::vector<int> order = recorder->Order();
    std::sort(order.begin(), order.end());
    ASSERT_EQ(order.size(), static_cast<size_t>(kProducers * kPerProducer));
    for (size_t i = 0; i < order.size(); ++i)
        ASSERT_EQ(order[i], static_cast<int>(i));
}

TEST(LThreadPool, NothingRunsAfterShutdown)
{
    RCPtr<Recorder> recorder(new Recorder);
    RCPtr<LThreadPool> pool = LThreadPool::Create(1, 0);
    pool->QueueWork(recorder, Id(-1), 0);
    recorder->started.Wait(INFINITE);
    pool->QueueWork(recorder, Id(1), 0);
    pool->QueueWork(recorder, Id(2), 0);

    std::thread stopper([&] { pool->Shutdown(); });
    // The queue is dropped before the running job is waited for.
    while (pool->GetThreadCount() != 0 || pool->GetQueuedCount() != 0)
        std::this_thread::yield();
    recorder->gate.Set();  // the running job finishes
    stopper.join();

    pool->QueueWork(recorder, Id(3), 0);
    EXPECT_EQ(pool->TryRunNow(recorder, Id(4), 0), -1);
    EXPECT_EQ(pool->GetQueuedCount(), 0u);
    EXPECT_EQ(recorder->Order(), (std::vector<int>{-1}));
}

namespace {

// Never destroyed: the pool's destruction ends on its own, detached thread.
Event& PoolDestroyed()
{
    static Event* event = new Event(true);
    return *event;
}

class ObservedPool : public LThreadPool
{
public:
    ObservedPool() : LThreadPool(1, 0) {}
    ~ObservedPool() override { PoolDestroyed().Set(); }
};

}  // namespace

TEST(LThreadPool, LastReferenceDroppedByItsOwnQueueRun)
{
    RCPtr<Recorder> recorder(new Recorder);
    recorder->expected = 2;
    {
        RCPtr<LThreadPool> pool(new ObservedPool);
        pool->QueueWork(recorder, Id(-1), 0);
        recorder->started.Wait(INFINITE);
        pool->QueueWork(recorder, Id(1), 0);  // starts the queue run, which holds the pool
        pool->QueueWork(recorder, Id(2), 0);
    }
    recorder->gate.Set();
    // The run ends once it has handed out the last job and then releases the
    // pool on its own thread; that job may be dropped by the shutdown before
    // it starts, as any job not yet running is.
    recorder->allDone.Wait(INFINITE);
    EXPECT_EQ(PoolDestroyed().Wait(INFINITE), WAIT_OBJECT_0);
    const std::vector<int> order = recorder->Order();
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], -1);
    EXPECT_EQ(order[1], 1);
}

namespace {

// Holds the pool as its parameter, so the job's release destroys it.
class PoolHoldingJob : public LThreadWorker
{
public:
    uint32_t DoWork(RCPtr<LRefCountedObject>&) override
    {
        gate.Wait(INFINITE);
        return 0;
    }
    Event gate{false};
};

}  // namespace

TEST(LThreadPool, LastReferenceDroppedByARunningJob)
{
    RCPtr<PoolHoldingJob> job(new PoolHoldingJob);
    {
        RCPtr<LThreadPool> pool(new ObservedPool);
        RCPtr<LRefCountedObject> self(static_cast<LRefCountedObject*>(pool.Get()));
        EXPECT_EQ(pool->TryRunNow(job, self, 0), 0);
    }
    job->gate.Set();
    EXPECT_EQ(PoolDestroyed().Wait(INFINITE), WAIT_OBJECT_0);
}
