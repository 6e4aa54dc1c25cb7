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
#include <numeric>
#include <thread>
#include <vector>

using namespace Tavo;

namespace {

// Records the id of every job it runs; a job with a negative id or a
// parameter other than an id waits on the gate first.
class Recorder : public LThreadWorker
{
public:
    uint32_t DoWork(RCPtr<LRefCountedObject>& param) override
    {
        RCPtr<LHolder<int>> holder = RCPtrDynamicCast<LHolder<int>>(param);
        const int id = holder ? holder->Get() : -1;
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

    Event gate{false};    // opens blocking jobs (negative ids)
    Event started{true};  // a job has begun
    Event allDone{false};
    std::atomic<int> finished{0};
    int expected = -1;
    // A job that ends after the awaited ones may still be writing.
    std::vector<int> Order()
    {
        std::lock_guard lock(mutex);
        return order;
    }

    std::mutex mutex;
    std::vector<int> order;
};

RCPtr<LRefCountedObject> Id(int id)
{
    return RCPtr<LRefCountedObject>(new LHolder<int>(id));
}

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

class Jobs : public ::testing::Test
{
protected:
    // Queues a job that holds the worker until the gate opens.
    void Occupy(LThreadPool& pool)
    {
        pool.QueueWork(recorder, Id(-1), 0);
        recorder->started.Wait(INFINITE);
    }
    RCPtr<Recorder> recorder{new Recorder};
};

}  // namespace

TEST(EventPool, WaitAnyTakesLowestSignalledAndKeepsTheRest)
{
    EventPool pool(3);
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

TEST_F(Jobs, RetriggerableThreaderRunsOneJobPerTriggerAndRefusesWhileBusy)
{
    RetriggerableThreader threader(WString(u"worker"));
    RCPtr<LEvent> first = LEvent::Create();
    RCPtr<LEvent> second = LEvent::Create();
    RCPtr<LRefCountedObject> blocking = Id(-1);
    EXPECT_EQ(threader.Trigger(recorder, blocking, first, THREAD_PRIORITY_HIGHEST), S_OK);
    recorder->started.Wait(INFINITE);
    EXPECT_TRUE(threader.IsBusy());

    // Refused, not queued, and the running job's completion is untouched.
    second->Set();
    EXPECT_EQ(threader.Trigger(recorder, Id(99), second, 0), E_FAIL);
    EXPECT_TRUE(second->IsSignalled());

    recorder->gate.Set();
    EXPECT_EQ(first->Wait(INFINITE), WAIT_OBJECT_0);
    // The job's references were dropped before completion was signalled.
    EXPECT_EQ(blocking->GetRefCount(), 1);

    // Busy is cleared before completion is set: a retrigger right away works.
    EXPECT_EQ(threader.Trigger(recorder, Id(2), first, 0), S_OK);
    EXPECT_EQ(first->Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(recorder->Order(), (std::vector<int>{-1, 2}));
}

TEST_F(Jobs, RetriggerableThreaderJobStoredForALoopThatNeverRanIsDroppedByStop)
{
    Platform::KernelThread::FailNextCreation();
    RetriggerableThreader threader(WString(u"no thread"));
    RCPtr<LRefCountedObject> param = Id(1);
    RCPtr<LEvent> done = LEvent::Create();
    EXPECT_EQ(threader.Trigger(recorder, param, done, 0), S_OK);
    EXPECT_FALSE(threader.IsBusy());  // no thread: nothing can be running
    threader.Stop();
    // Stored references would keep the job (and the threader's owner) alive.
    EXPECT_EQ(param->GetRefCount(), 1);
    EXPECT_EQ(recorder->GetRefCount(), 1);
    EXPECT_TRUE(done->IsSignalled());
}

TEST_F(Jobs, LThreadPoolOneWorkerKeepsQueueOrderAndPriorities)
{
    recorder->expected = 7;
    RCPtr<LThreadPool> pool = LThreadPool::Create(1, THREAD_PRIORITY_HIGHEST);

    Occupy(*pool);
    for (auto [id, priority] : {std::pair{1, 0}, {2, 0}, {3, 0}, {10, 1}, {-10, -1}})
        pool->QueueWork(recorder, Id(id), priority);
    // Not even an idle moment may let a new job overtake queued ones.
    EXPECT_EQ(pool->TryRunNow(recorder, Id(42), 5), -1);
    EXPECT_EQ(pool->GetQueuedCount(), 5u);
    pool->QueueWork(recorder, Id(4), 0);

    recorder->gate.Set();
    recorder->allDone.Wait(INFINITE);
    EXPECT_EQ(recorder->Order(), (std::vector<int>{-1, 10, 1, 2, 3, 4, -10}));
}

TEST_F(Jobs, LThreadPoolManyProducersLoseNoJob)
{
    constexpr int kProducers = 4, kPerProducer = 1500;
    recorder->expected = kProducers * kPerProducer + 2;
    RCPtr<LThreadPool> pool = LThreadPool::Create(3, 0);
    // Idle workers take jobs at once.
    EXPECT_EQ(pool->TryRunNow(recorder, Id(kProducers * kPerProducer), 0), 0);
    recorder->started.Wait(INFINITE);
    pool->QueueWork(recorder, Id(kProducers * kPerProducer + 1), 0);
    EXPECT_EQ(pool->GetQueuedCount(), 0u);
    std::vector<std::thread> producers(kProducers);
    for (int p = 0; p < kProducers; ++p)
        producers[p] = std::thread([&, p] {
            for (int i = 0; i < kPerProducer; ++i)
                pool->QueueWork(recorder, Id(p * kPerProducer + i), (i % 5) - 2);
        });
    for (auto& t : producers)
        t.join();
    recorder->allDone.Wait(INFINITE);
    std::vector<int> order = recorder->Order(), expected(kProducers * kPerProducer + 2);
    std::sort(order.begin(), order.end());
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
}

TEST_F(Jobs, LThreadPoolNothingRunsAfterShutdown)
{
    RCPtr<LThreadPool> pool = LThreadPool::Create(1, 0);
    Occupy(*pool);
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

TEST_F(Jobs, LThreadPoolLastReferenceDroppedByItsOwnQueueRun)
{
    recorder->expected = 2;
    {
        RCPtr<LThreadPool> pool(new ObservedPool);
        Occupy(*pool);
        pool->QueueWork(recorder, Id(1), 0);  // starts the queue run, which holds the pool
        pool->QueueWork(recorder, Id(2), 0);
    }
    recorder->gate.Set();
    // The run releases the pool on its own thread after handing out the last
    // job, which the shutdown may then drop before it starts.
    recorder->allDone.Wait(INFINITE);
    EXPECT_EQ(PoolDestroyed().Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(recorder->Order().at(1), 1);
}

TEST_F(Jobs, LThreadPoolLastReferenceDroppedByARunningJob)
{
    {
        // The job holds the pool as its parameter, so its release destroys it.
        RCPtr<LThreadPool> pool(new ObservedPool);
        RCPtr<LRefCountedObject> self(static_cast<LRefCountedObject*>(pool.Get()));
        EXPECT_EQ(pool->TryRunNow(recorder, self, 0), 0);
    }
    recorder->gate.Set();
    EXPECT_EQ(PoolDestroyed().Wait(INFINITE), WAIT_OBJECT_0);
}
