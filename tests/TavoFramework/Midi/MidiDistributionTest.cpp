// Filters and the delivery of captured records to subscribers.

#include "Midi/MidiComm.h"
#include "MidiTestClient.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace MidiFwTest;

namespace {

// Lets through messages that begin with one status byte.
class StatusFilter : public LIMidiFilter
{
public:
    static RCPtr<LIMidiFilter> Create(uint8_t status)
    {
        return RCPtr<LIMidiFilter>(new StatusFilter(status));
    }

    bool AcceptsMessage(const uint8_t* data, uint32_t count) override
    {
        return count > 0 && data[0] == mStatus;
    }
    RCPtr<LRefCountedObject> CreateCopy() const override
    {
        return RCPtr<LRefCountedObject>(static_cast<LRefCountedObject*>(new StatusFilter(mStatus)));
    }

private:
    explicit StatusFilter(uint8_t status) : mStatus(status) {}
    uint8_t mStatus;
};

RCPtr<LMidiCaptureNotificationData> Record(const Bytes& bytes)
{
    RCPtr<LMidiCaptureNotificationData> record = LMidiCaptureNotificationData::Create(1, WString(u"Port"), 0);
    record->Bytes() = bytes;
    return record;
}

class Distribution : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (auto& c : mClients)
            c->UnsubscribeAll();
    }

    RCPtr<CaptureClient> Subscribe(CaptureClient::Handler handler = {})
    {
        RCPtr<CaptureClient> client = CaptureClient::Create(std::move(handler));
        EXPECT_TRUE(client->Subscribe(mService, kMidiDataCapturedName));
        mClients.push_back(client);
        return client;
    }

    TavoResult Distribute(const Bytes& bytes) { return mService->DistributeCapturedData(Record(bytes)); }

    RCPtr<LMidiCommInterface> mService = LMidiComm::Create();
    std::vector<RCPtr<CaptureClient>> mClients;
};

}  // namespace

TEST_F(Distribution, FiltersPickWhatEachSubscriberGetsLastSubscriberFirst)
{
    std::vector<char> order;
    std::mutex orderLock;
    auto track = [&](char name) {
        return [&, name](CaptureClient&, const Captured&) {
            std::lock_guard l(orderLock);
            order.push_back(name);
        };
    };
    RCPtr<CaptureClient> sysExOnly = Subscribe(track('a'));
    RCPtr<CaptureClient> everything = Subscribe(track('b'));
    EXPECT_EQ(mService->SetFilter(LMidiCommInterface::FilterKey(sysExOnly.Get()), StatusFilter::Create(0xF0)),
              S_OK);

    EXPECT_EQ(Distribute({0x90, 0x3C, 0x7F}), S_OK);
    EXPECT_EQ(Distribute({0xF0, 0x01, 0xF7}), S_OK);
    EXPECT_EQ(order, (std::vector<char>{'b', 'b', 'a'}));
    ASSERT_EQ(sysExOnly->Wait(0).size(), 1u);
    EXPECT_EQ(sysExOnly->Wait(0)[0].bytes, (Bytes{0xF0, 0x01, 0xF7}));
    // Every subscriber of one run shares the notification.
    EXPECT_EQ(sysExOnly->Wait(0)[0].notification.Get(), everything->Wait(0)[1].notification.Get());

    // A filter that rejects everyone: nothing is delivered, still S_OK.
    mService->SetFilter(LMidiCommInterface::FilterKey(everything.Get()), StatusFilter::Create(0xF0));
    EXPECT_EQ(Distribute({0x80, 0x3C, 0x00}), S_OK);
    EXPECT_EQ(everything->Wait(0).size(), 2u);

    // A null record reaches everyone, filters or not.
    EXPECT_EQ(mService->DistributeCapturedData(nullptr), S_OK);
    EXPECT_EQ(sysExOnly->Wait(0).size(), 2u);
    EXPECT_EQ(everything->Wait(0).size(), 3u);
}

TEST_F(Distribution, SubscribersLeavingDuringDeliveryDoNotDisturbTheWalk)
{
    // Walked from the last subscriber to the first.
    RCPtr<CaptureClient> first = Subscribe();
    RCPtr<CaptureClient> victim = Subscribe();
    RCPtr<CaptureClient> evicter = Subscribe([&](CaptureClient& self, const Captured&) {
        self.Unsubscribe(mService, kMidiDataCapturedName);
        victim->Unsubscribe(mService, kMidiDataCapturedName);
    });
    RCPtr<CaptureClient> leaver = Subscribe(
        [&](CaptureClient& self, const Captured&) { self.Unsubscribe(mService, kMidiDataCapturedName); });
    RCPtr<CaptureClient> last = Subscribe([&](CaptureClient&, const Captured&) {
        // Filters may change from inside a delivery.
        mService->SetFilter(LMidiCommInterface::FilterKey(first.Get()), StatusFilter::Create(0x90));
    });

    EXPECT_EQ(Distribute({0x80, 0x3C, 0x00}), S_OK);
    EXPECT_EQ(last->Wait(0).size(), 1u);
    EXPECT_EQ(leaver->Wait(0).size(), 1u);
    EXPECT_EQ(evicter->Wait(0).size(), 1u);
    EXPECT_EQ(victim->Wait(0).size(), 0u);
    // The filter set during this run already applies to it.
    EXPECT_EQ(first->Wait(0).size(), 0u);

    EXPECT_EQ(Distribute({0x90, 0x3C, 0x00}), S_OK);
    EXPECT_EQ(first->Wait(0).size(), 1u);
    EXPECT_EQ(leaver->Wait(0).size(), 1u);
    EXPECT_EQ(evicter->Wait(0).size(), 1u);
}
