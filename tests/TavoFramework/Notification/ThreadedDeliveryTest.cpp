#include "Notification/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>

#include "TestClients.h"

using namespace Tavo;
using namespace TavoTest;

namespace {

class Tag : public LRefCountedObject
{
public:
    Tag(int worker, int seq) : mWorker(worker), mSeq(seq) {}
    const int mWorker;
    const int mSeq;
};

// What the interface thread saw, one entry per delivery.
struct Delivery
{
    const LNotificationDistributor* center;
    bool idle;
    int worker;
    int seq;
};

TEST(ThreadedDeliveryTest, WorkersPostWhileTheInterfaceThreadDrainsEveryCenter)
{
    PoolingOn pooling;
    auto manager = LNotificationCenterManager::GetInstance();
    RCPtr<LNotificationCenter> app = GetMainNotificationCenter();
    RCPtr<LNotificationCenter> extra = manager->GetCenter(u"threaded-delivery");
    std::vector<Delivery> seen;
    auto recorder = TestClient::Create("recorder");
    recorder->mOnReceive = [&](auto& sender, auto& n) {
        auto* tag = dynamic_cast<const Tag*>(n->GetData().Get());
        seen.push_back({sender.Get(), !tag, tag ? tag->mWorker : -1, tag ? tag->mSeq : -1});
    };
    for (auto& center : {app, extra}) {
        recorder->Subscribe(center, u"NID_WORK");
        recorder->Subscribe(center, u"NID_IDLE");
    }

    constexpr int kWorkers = 4, kPosts = 3000;
    std::atomic<int> running{kWorkers};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            for (int seq = 0; seq < kPosts; ++seq) {
                RCPtr<LNotificationCenter> target = seq % 2 ? extra : GetMainNotificationCenter();
                // Not an ASSERT: the drain loop waits for every worker to count down.
                EXPECT_EQ(target->Post(LNotification::Create(u"NID_WORK", RCPtr<Tag>(new Tag(w, seq)))),
                          S_OK);
            }
            --running;
        });

    // The interface thread: drain until a drain that began after the last
    // post leaves nothing. A post landing in a center already passed by the
    // drain would be missed if "done" were read after it.
    std::vector<std::vector<Delivery>> drains;
    for (;;) {
        bool done = running == 0;
        bool more = manager->ProcessAll(true);
        drains.push_back(std::exchange(seen, {}));
        if (done && !more)
            break;
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_FALSE(manager->ProcessAll(false));

    // Each drain: the newer center's posts then its idle, then the main
    // center's posts then its idle. Per worker, posts arrive in order, once.
    std::vector<std::vector<int>> next(kWorkers, std::vector<int>(2, 0));
    for (const auto& drain : drains) {
        size_t i = 0;
        for (const LNotificationDistributor* center : {static_cast<LNotificationDistributor*>(extra.Get()),
                                                       static_cast<LNotificationDistributor*>(app.Get())}) {
            int parity = center == extra.Get() ? 1 : 0;
            for (; i < drain.size() && !drain[i].idle; ++i) {
                ASSERT_EQ(drain[i].center, center);
                ASSERT_EQ(drain[i].seq, next[drain[i].worker][parity] * 2 + parity);
                ++next[drain[i].worker][parity];
            }
            ASSERT_LT(i, drain.size());
            ASSERT_EQ(drain[i].center, center);
            ++i;
        }
        ASSERT_EQ(i, drain.size());
    }
    for (int w = 0; w < kWorkers; ++w)
        EXPECT_EQ(next[w][0] + next[w][1], kPosts);
    recorder->UnsubscribeAll();
}

TEST(ThreadedDeliveryTest, OneNotificationPostedByTwoThreadsAtOnceIsQueuedOnce)
{
    auto center = LNotificationCenter::Create(u"race-center");
    constexpr int kRounds = 10000;
    std::vector<RCPtr<LNotification>> shared;
    for (int i = 0; i < kRounds; ++i)
        shared.push_back(LNotification::Create(u"NID_RACE"));
    std::atomic<int> accepted{0}, refused{0};
    std::barrier start(2);
    auto poster = [&] {
        for (int i = 0; i < kRounds; ++i) {
            start.arrive_and_wait();
            (center->Post(shared[i]) == S_OK ? accepted : refused).fetch_add(1);
        }
    };
    std::thread a(poster), b(poster);
    a.join();
    b.join();
    EXPECT_EQ(accepted.load(), kRounds);
    EXPECT_EQ(refused.load(), kRounds);
    EXPECT_EQ(center->GetQueuedCount(), uint32_t(kRounds));
}

}  // namespace
