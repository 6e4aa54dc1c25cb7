// Job throughput of the thread pool (queue, run, complete) against a plain
// std::thread and condition-variable queue of the same shape: the same worker
// count, a queue ordered by priority and taken from the end, a reference-
// counted parameter per job and a completion signal per job.

#include "ObjectBase/Holder.h"
#include "Threading/Event.h"
#include "Threading/ThreadPool.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace Tavo;

namespace {

constexpr int kJobsPerBatch = 1000;

class CountingWorker : public LThreadWorker
{
public:
    uint32_t DoWork(RCPtr<LRefCountedObject>&) override
    {
        if (++done == target)
            finished.Set();
        return 0;
    }

    std::atomic<int> done{0};
    int target = 0;
    Event finished{true};
};

void TavoPool(benchmark::State& state)
{
    const int workers = static_cast<int>(state.range(0));
    RCPtr<LThreadPool> pool = LThreadPool::Create(workers, THREAD_PRIORITY_HIGHEST);
    RCPtr<CountingWorker> worker(new CountingWorker);
    RCPtr<LRefCountedObject> param(new LHolder<int>(1));
    for (auto _ : state) {
        worker->done = 0;
        worker->target = kJobsPerBatch;
        for (int i = 0; i < kJobsPerBatch; ++i)
            pool->QueueWork(worker, param, 0);
        worker->finished.Wait(INFINITE);
    }
    state.SetItemsProcessed(state.iterations() * kJobsPerBatch);
}

// The reference: the same shape on the standard library alone.
class StdPool
{
public:
    struct Job
    {
        std::shared_ptr<int> param;
        int priority;
    };

    explicit StdPool(int workers)
    {
        for (int i = 0; i < workers; ++i)
            mThreads.emplace_back([this] { Loop(); });
    }
    ~StdPool()
    {
        {
            std::lock_guard lock(mMutex);
            mStopping = true;
        }
        mWake.notify_all();
        for (auto& t : mThreads)
            t.join();
    }

    void Queue(const std::shared_ptr<int>& param, int priority)
    {
        {
            std::lock_guard lock(mMutex);
            auto at = std::find_if(mQueue.begin(), mQueue.end(),
                                   [&](const Job& j) { return j.priority >= priority; });
            mQueue.insert(at, Job{param, priority});
        }
        mWake.notify_one();
    }

    std::atomic<int> done{0};
    int target = 0;
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool finished = false;

private:
    void Loop()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mMutex);
                mWake.wait(lock, [&] { return mStopping || !mQueue.empty(); });
                if (mStopping)
                    return;
                job = std::move(mQueue.back());
                mQueue.pop_back();
            }
            job.param.reset();
            if (++done == target) {
                std::lock_guard lock(doneMutex);
                finished = true;
                doneSignal.notify_all();
            }
        }
    }

    std::mutex mMutex;
    std::condition_variable mWake;
    std::vector<Job> mQueue;
    bool mStopping = false;
    std::vector<std::thread> mThreads;
};

void StdThreadQueue(benchmark::State& state)
{
    StdPool pool(static_cast<int>(state.range(0)));
    auto param = std::make_shared<int>(1);
    for (auto _ : state) {
        pool.done = 0;
        pool.target = kJobsPerBatch;
        {
            std::lock_guard lock(pool.doneMutex);
            pool.finished = false;
        }
        for (int i = 0; i < kJobsPerBatch; ++i)
            pool.Queue(param, 0);
        std::unique_lock lock(pool.doneMutex);
        pool.doneSignal.wait(lock, [&] { return pool.finished; });
    }
    state.SetItemsProcessed(state.iterations() * kJobsPerBatch);
}

}  // namespace

BENCHMARK(TavoPool)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(StdThreadQueue)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
