// Notifications posted on a worker thread and delivered on the draining
// thread, against a plain locked deque of callbacks doing the same work.

#include "Notification/NotificationCenter.h"
#include "Notification/NotificationParams.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using namespace Tavo;

namespace {

constexpr int kBatch = 1000;

// Runs post(i) kBatch times on a worker per iteration while the benchmark
// thread calls drain() until everything posted has been delivered.
template <class Post, class Drain>
void Run(benchmark::State& state, Post post, Drain drain, const std::atomic<int64_t>& delivered)
{
    std::atomic<int64_t> requested{0};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        int64_t done = 0;
        while (!stop.load(std::memory_order_acquire)) {
            if (requested.load(std::memory_order_acquire) == done) {
                std::this_thread::yield();
                continue;
            }
            for (int i = 0; i < kBatch; ++i)
                post(i);
            ++done;
        }
    });
    int64_t target = delivered.load();
    for (auto _ : state) {
        target += kBatch;
        requested.fetch_add(1, std::memory_order_release);
        while (delivered.load(std::memory_order_acquire) < target)
            drain();
    }
    stop.store(true, std::memory_order_release);
    worker.join();
    state.SetItemsProcessed(state.iterations() * kBatch);
}

class CountingClient : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        auto* value = dynamic_cast<const LValueParam*>(n->GetData().Get());
        mSum += value->mValue;
        mDelivered.fetch_add(1, std::memory_order_release);
        return S_OK;
    }
    double mSum = 0;
    std::atomic<int64_t> mDelivered{0};
};

void BM_NotificationCenter(benchmark::State& state)
{
    LNotification::SetPoolingEnabled(true);
    RCPtr<LNotificationCenter> center = LNotificationCenter::Create(u"bench");
    RCPtr<CountingClient> client(new CountingClient);
    client->Subscribe(center, u"NID_VALUE_CHANGE");
    Run(
        state,
        [&](int i) {
            center->Post(LNotification::Create(u"NID_VALUE_CHANGE", LValueParam::Create(i * 0.001, i)));
        },
        [&] { center->Process(false); }, client->mDelivered);
    benchmark::DoNotOptimize(client->mSum);
    client->UnsubscribeAll();
    LNotification::SetPoolingEnabled(false);
}

struct Value
{
    double value;
    double rangeValue;
};

void BM_StdDequeOfCallbacks(benchmark::State& state)
{
    std::mutex lock;
    std::deque<std::function<void()>> queue;
    std::atomic<int64_t> delivered{0};
    double sum = 0;
    Run(
        state,
        [&](int i) {
            auto data = std::make_shared<Value>(Value{i * 0.001, double(i)});
            std::function<void()> call = [&, data] {
                sum += data->value;
                delivered.fetch_add(1, std::memory_order_release);
            };
            std::lock_guard<std::mutex> guard(lock);
            queue.push_back(std::move(call));
        },
        [&] {
            // Like a drain: only what is queued when it begins.
            size_t n;
            {
                std::lock_guard<std::mutex> guard(lock);
                n = queue.size();
            }
            while (n-- > 0) {
                std::function<void()> call;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    call = std::move(queue.front());
                    queue.pop_front();
                }
                call();
            }
        },
        delivered);
    benchmark::DoNotOptimize(sum);
}

}  // namespace

BENCHMARK(BM_NotificationCenter)->UseRealTime();
BENCHMARK(BM_StdDequeOfCallbacks)->UseRealTime();

BENCHMARK_MAIN();
