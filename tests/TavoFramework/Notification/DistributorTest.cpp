#include "Notification/NotificationDistributor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "TestClients.h"

using namespace Tavo;
using namespace TavoTest;

namespace {

using Calls = std::vector<std::string>;

struct Fixture
{
    CallLog log;
    RCPtr<CountedDistributor> distributor = CountedDistributor::Create();
    std::vector<RCPtr<TestClient>> clients;

    // Clients named a, b, c... registered in that order for the name.
    void Register(int count, const char16_t* name = u"NID_TEST_EVENT")
    {
        for (int i = 0; i < count; ++i) {
            clients.push_back(TestClient::Create(std::string(1, char('a' + clients.size())), &log));
            clients.back()->Subscribe(distributor, name);
        }
    }
    TestClient& operator[](char name) { return *clients[name - 'a']; }
    TavoResult Send(const char16_t* name = u"NID_TEST_EVENT")
    {
        return distributor->SendNotification(LNotification::Create(name));
    }
};

TEST(DistributorTest, DeliversNewestFirstAndReportsWhetherAnyoneListens)
{
    Fixture f;
    EXPECT_EQ(f.distributor->SendNotification(nullptr), E_INVALIDARG);
    EXPECT_EQ(f.Send(), S_FALSE);
    f.Register(3);
    EXPECT_EQ(f.Send(), S_OK);
    EXPECT_EQ(f.log.Take(), (Calls{"c", "b", "a"}));

    // A client registered during a pass waits for the next one.
    auto late = TestClient::Create("late", &f.log);
    f['b'].mOnReceive = [&](auto&, auto&) { late->Subscribe(f.distributor, u"NID_TEST_EVENT"); };
    f.Send();
    EXPECT_EQ(f.log.Take(), (Calls{"c", "b", "a"}));
    f['b'].mOnReceive = nullptr;
    f.Send();
    EXPECT_EQ(f.log.Take(), (Calls{"late", "c", "b", "a"}));

    // A pool that lost all its registrations stays, and sends reach nobody.
    for (auto& client : f.clients)
        client->UnsubscribeAll();
    late->UnsubscribeAll();
    EXPECT_EQ(f.Send(), S_FALSE);
    EXPECT_TRUE(f.distributor->FindClientPool(GetNotificationID(u"NID_TEST_EVENT")));
}

TEST(DistributorTest, RemovalsDuringAPassSkipNobodyAndRepeatNobody)
{
    Fixture f;
    f.Register(6);
    // f is called after the pass began; e removes itself, b (not yet called)
    // and f (already called); c removes a.
    f['e'].mOnReceive = [&](auto&, auto&) {
        f['e'].Unsubscribe(f.distributor, u"NID_TEST_EVENT");
        f['b'].Unsubscribe(f.distributor, u"NID_TEST_EVENT");
        f['f'].Unsubscribe(f.distributor, u"NID_TEST_EVENT");
    };
    f['c'].mOnReceive = [&](auto&, auto&) { f['a'].Unsubscribe(f.distributor, u"NID_TEST_EVENT"); };
    f.Send();
    EXPECT_EQ(f.log.Take(), (Calls{"f", "e", "d", "c"}));
    f.Send();
    EXPECT_EQ(f.log.Take(), (Calls{"d", "c"}));
}

TEST(DistributorTest, NestedPassesEachKeepTheirPlace)
{
    Fixture f;
    f.Register(4);
    bool nested = false;
    f['c'].mOnReceive = [&](auto&, auto&) {
        if (nested)
            return;
        nested = true;
        f.Send();
    };
    // Inside the inner pass, b removes a, which sits below both passes.
    f['b'].mOnReceive = [&](auto&, auto&) { f['a'].Unsubscribe(f.distributor, u"NID_TEST_EVENT"); };
    f.Send();
    // The outer pass resumes below c after the inner one ends and still
    // reaches b; a is gone for both.
    EXPECT_EQ(f.log.Take(), (Calls{"d", "c", "d", "c", "b", "b"}));
}

TEST(DistributorTest, ConcurrentSendersEachReachEveryClientOnce)
{
    Fixture f;
    f.Register(8);
    // A client that comes and goes below the others while passes run.
    auto churn = TestClient::Create("churn");
    constexpr int kSends = 2000;
    auto sender = [&] {
        for (int i = 0; i < kSends; ++i)
            f.Send();
    };
    std::thread one(sender), two(sender);
    for (int i = 0; i < 500; ++i) {
        churn->Subscribe(f.distributor, u"NID_TEST_EVENT");
        churn->Unsubscribe(f.distributor, u"NID_TEST_EVENT");
    }
    one.join();
    two.join();
    for (auto& client : f.clients)
        EXPECT_EQ(client->mReceived, 2 * kSends) << client->mName;
}

TEST(DistributorTest, InternalReferencesFreeEverythingAtTeardown)
{
    std::atomic<int> clientsGone{0}, distributorsGone{0};
    uint32_t active = LNotificationDistributor::GetActiveDistributorCount();
    auto one = CountedDistributor::Create(&distributorsGone),
         two = CountedDistributor::Create(&distributorsGone);
    {
        auto kept = TestClient::Create("", nullptr, &clientsGone),
             dropped = TestClient::Create("", nullptr, &clientsGone);
        for (auto [client, distributor, name] : {std::tuple{kept, one, u"NID_A"},
                                                 {kept, two, u"NID_B"},
                                                 {dropped, one, u"NID_A"},
                                                 {dropped, two, u"NID_A"}})
            client->Subscribe(distributor, name);
        dropped = nullptr;
        // Held only by its registrations: unregistered everywhere and gone.
        EXPECT_EQ(clientsGone, 1);
        EXPECT_EQ(one->GetRegistrationCount() + two->GetRegistrationCount(), 2u);
        one = nullptr;
        // A distributor held only by its registrations drops its clients.
        EXPECT_EQ(distributorsGone, 1);
        EXPECT_EQ(kept->GetRegistrationCount(), 1);
    }
    EXPECT_EQ(clientsGone, 2);
    EXPECT_EQ(two->GetRegistrationCount(), 0u);
    two = nullptr;
    EXPECT_EQ(distributorsGone, 2);
    EXPECT_EQ(LNotificationDistributor::GetActiveDistributorCount(), active);
}

TEST(DistributorTest, AThrowingClientStopsThePassAndLeavesThePoolUsable)
{
    Fixture f;
    f.Register(3);
    f['b'].mOnReceive = [](auto&, auto&) { throw std::runtime_error("client failed"); };
    EXPECT_THROW(f.Send(), std::runtime_error);
    EXPECT_EQ(f.log.Take(), (Calls{"c", "b"}));
    f['b'].mOnReceive = [&](auto&, auto&) { f['b'].Unsubscribe(f.distributor, u"NID_TEST_EVENT"); };
    f.Send();
    EXPECT_EQ(f.log.Take(), (Calls{"c", "b", "a"}));
}

}  // namespace
