#include "Notification/NotificationCenter.h"
#include "Notification/NotificationParams.h"
#include "Utilities/Storage/RCPtrQueue.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include "TestClients.h"

using namespace Tavo;
using namespace TavoTest;

namespace {

using Calls = std::vector<std::string>;

class Item : public LRefCountedObject
{
public:
    explicit Item(int value) : mValue(value) {}
    int mValue;
};

TEST(RCPtrQueueTest, FullRingGrowsByOneSlotAndKeepsOrder)
{
    auto push = [](auto& queue, int from, int to) {
        for (int i = from; i < to; ++i)
            queue.Enqueue(RCPtr<Item>(new Item(i)));
    };
    Mutex lock;
    RCPtrQueue<Item, 256> queue(&lock);
    // Start the ring mid-way so the growth happens across the wrap.
    push(queue, -100, 0);
    for (int i = 0; i < 100; ++i)
        queue.Dequeue();
    push(queue, 0, 255);
    EXPECT_EQ(queue.GetCapacity(), 256u);
    push(queue, 255, 257);
    EXPECT_EQ(queue.GetCapacity(), 258u);
    for (int i = 0; i < 257; ++i)
        ASSERT_EQ(queue.Dequeue()->mValue, i);

    EXPECT_EQ(ThrownText<std::runtime_error>([&] { queue.Dequeue(); }),
              "Runtime Error : Tavo::RCPtrQueue<class (anonymous namespace)::Item,256>::Dequeue : "
              "utilities\\Storage/RCPtrQueue : Line 104");
    RCPtrQueue<Item, 0> unsized;
    push(unsized, 7, 8);
    EXPECT_EQ(unsized.Dequeue()->mValue, 7);
    // A single slot is always the free one, so the first item already grows it.
    RCPtrQueue<Item, 1> single;
    push(single, 0, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(single.Dequeue()->mValue, i);
}

struct CenterFixture
{
    CallLog log;
    RCPtr<LNotificationCenter> center = LNotificationCenter::Create(u"queue-test");
    RCPtr<TestClient> client = TestClient::Create("client", &log);
    RCPtr<TestClient> idle = TestClient::Create("idle", &log);

    CenterFixture()
    {
        client->Subscribe(center, u"NID_A");
        client->Subscribe(center, u"NID_B");
        idle->Subscribe(center, u"NID_IDLE");
        client->mOnReceive = [this](auto&, const RCPtr<LNotification>& n) {
            log.Add(n->GetData() ? "data" : "no data");
        };
    }
};

TEST(NotificationQueueTest, PostRulesAndPostedFlag)
{
    CenterFixture f;
    auto n = LNotification::Create(u"NID_A");
    EXPECT_EQ(f.center->Post(nullptr), E_INVALIDARG);
    EXPECT_EQ(f.center->Post(n), S_OK);
    EXPECT_TRUE(n->IsPosted());
    EXPECT_EQ(f.center->Post(n), E_INVALIDARG);
    EXPECT_FALSE(f.center->Process(false));
    EXPECT_FALSE(n->IsPosted());
    EXPECT_EQ(f.center->Post(n), S_OK);
    auto other = LNotification::Create(u"NID_B");
    f.center->Post(other);
    EXPECT_FALSE(f.center->Flush());
    EXPECT_FALSE(n->IsPosted());
    EXPECT_EQ(f.log.Take(), (Calls{"client", "no data"}));

    // Without a distributor nothing is queued.
    RCPtr<LNotificationQueue> bare(new LNotificationQueue);
    EXPECT_EQ(bare->Post(n), E_FAIL);
    EXPECT_FALSE(n->IsPosted());
    EXPECT_EQ(bare->SetDistributor(f.center), S_OK);
    EXPECT_EQ(bare->Post(n), S_OK);
    bare->Detach();
    EXPECT_FALSE(n->IsPosted());
    EXPECT_EQ(bare->Post(n), E_FAIL);
    EXPECT_EQ(bare->SetReceiver(f.center), E_FAIL);
}

TEST(NotificationQueueTest, ProcessDrainsWhatWasQueuedWhenItBegan)
{
    CenterFixture f;
    // The handler posts again and tries a nested drain of the same queue.
    bool nestedResult = false;
    f.client->mOnReceive = [&](auto&, const RCPtr<LNotification>& n) {
        if (n->GetID() != GetNotificationID(u"NID_A"))
            return;
        f.center->Post(LNotification::Create(u"NID_B"));
        nestedResult = f.center->Process(true);
    };
    f.center->Post(LNotification::Create(u"NID_A"));
    EXPECT_TRUE(f.center->Process(false));
    EXPECT_TRUE(nestedResult);
    // The nested call drained nothing but still sent the idle notification.
    EXPECT_EQ(f.log.Take(), (Calls{"client", "idle"}));
    EXPECT_FALSE(f.center->Process(true));
    EXPECT_EQ(f.log.Take(), (Calls{"client", "idle"}));
}

TEST(NotificationQueueTest, LatestPostedOnlyRegistrationsGetTheLastPostOnce)
{
    CallLog log;
    auto center = LNotificationCenter::Create(u"status");
    auto every = TestClient::Create("every", &log);
    auto latest = TestClient::Create("latest", &log);
    every->Subscribe(center, u"NID_SET_STATUS_TEXT");
    latest->Subscribe(center, u"NID_SET_STATUS_TEXT", LNotificationClient::kLatestPostedOnly);
    std::vector<const LNotification*> seen;
    latest->mOnReceive = [&](auto&, const RCPtr<LNotification>& n) { seen.push_back(n.Get()); };

    std::vector<RCPtr<LNotification>> posts;
    for (int i = 0; i < 3; ++i) {
        posts.push_back(LNotification::Create(u"NID_SET_STATUS_TEXT"));
        center->Post(posts.back());
    }
    // A registration made after the posts does not get them.
    auto after = TestClient::Create("after", &log);
    after->Subscribe(center, u"NID_SET_STATUS_TEXT", LNotificationClient::kLatestPostedOnly);
    center->Process(false);
    EXPECT_EQ(log.Take(), (Calls{"every", "every", "latest", "every"}));
    EXPECT_EQ(seen, (std::vector<const LNotification*>{posts[2].Get()}));

    // Sent, not posted: never reaches it; the same object sent again: skipped.
    center->SendNotification(posts[2]);
    center->SendNotification(LNotification::Create(u"NID_SET_STATUS_TEXT"));
    EXPECT_EQ(log.Take(), (Calls{"every", "every"}));
}

}  // namespace
