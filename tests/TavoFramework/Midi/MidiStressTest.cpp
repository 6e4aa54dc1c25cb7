// Ports opened and closed, and services dropped, while callbacks fire.

#include "Midi/MidiComm.h"
#include "MidiTestClient.h"
#include "Platform/Midi/MidiBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace MidiFwTest;
using Tavo::Platform::Midi::MidiBus;

namespace {

const Bytes kRequest = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

Bytes LongSysEx()
{
    Bytes b(700, 0x11);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

class Stress : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mIn = mBus->PlugInput(u"Synth");
        mOther = mBus->PlugInput(u"Other");
        mOut = mBus->PlugOutput(u"Synth");
        mBus->Respond(mOut, kRequest, mIn, LongSysEx());
        // One more per sending thread: sends on one port come from one
        // thread at a time.
        for (const char16_t* name : {u"Out 0", u"Out 1", u"Out 2"})
            mBus->Respond(mBus->PlugOutput(name), kRequest, mIn, LongSysEx());
    }
    void TearDown() override { Tavo::Platform::Midi::SetMidiBackend(nullptr); }

    std::shared_ptr<MidiBus> mBus = MidiBus::Install();
    MidiBus::DeviceId mIn = 0;
    MidiBus::DeviceId mOut = 0;
    MidiBus::DeviceId mOther = 0;
};

// Signals once the service it listened to let it go.
class FarewellClient : public CaptureClient
{
public:
    static RCPtr<FarewellClient> Create() { return RCPtr<FarewellClient>(new FarewellClient); }
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override
    {
        TavoResult r = CaptureClient::Unsubscribe(distributor, name);
        mLeft.set_value(std::this_thread::get_id());
        return r;
    }
    std::future<std::thread::id> Left() { return mLeft.get_future(); }
    std::promise<void> entered;
    std::promise<void> release;

private:
    FarewellClient()
        : CaptureClient([this](CaptureClient&, const Captured&) {
              if (!mWaited.exchange(true)) {
                  entered.set_value();
                  release.get_future().wait();
              }
          })
    {
    }
    std::promise<std::thread::id> mLeft;
    std::atomic<bool> mWaited{false};
};

}  // namespace

TEST_F(Stress, PortsOpenAndCloseWhileCallbacksFire)
{
    RCPtr<LMidiCommInterface> service = LMidiComm::Create();
    RCPtr<CaptureClient> client = CaptureClient::Create();
    client->Subscribe(service, kMidiDataCapturedName);
    std::atomic<bool> stop{false};

    std::thread injector([&] {
        Bytes sysEx = LongSysEx();
        Bytes half(sysEx.begin(), sysEx.begin() + 350);
        half.push_back(0xF8);
        Bytes rest(sysEx.begin() + 350, sysEx.end());
        while (!stop.load()) {
            mBus->Inject(mIn, {0x90, 0x3C, 0x7F, 0xF8});
            mBus->Inject(mIn, half);
            mBus->Inject(mIn, rest);
            // Paced like a device, so the layer's callbacks keep up.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
        users.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                RCPtr<LRefCountedObject> in;
                RCPtr<LRefCountedObject> out;
                EXPECT_EQ(service->OpenCapturePort(WString(u"Synth"), in), S_OK);
                EXPECT_EQ(service->OpenRenderPort(WString::Format(u"Out %d", t), out), S_OK);
                EXPECT_GE(service->Send(out, t == 0 ? kRequest : Bytes{0xB0, 0x07, 0x40}), 0);
                if (i % 7 == 0) {
                    // A service of its own, dropped with its ports at once.
                    RCPtr<LMidiCommInterface> own = LMidiComm::Create();
                    RCPtr<LRefCountedObject> ownIn;
                    // Input devices open once: this one is only used here.
                    if (t == 0) {
                        EXPECT_EQ(own->OpenCapturePort(WString(u"Other"), ownIn), S_OK);
                        mBus->Inject(mOther, LongSysEx());
                        mBus->Inject(mOther, {0x90, 0x3C, 0x7F});
                    }
                    own = nullptr;
                }
            }
        });
    }
    for (auto& u : users)
        u.join();
    stop = true;
    injector.join();

    // Still works once the storm is over.
    RCPtr<LRefCountedObject> in;
    RCPtr<LRefCountedObject> out;
    ASSERT_EQ(service->OpenCapturePort(WString(u"Synth"), in), S_OK);
    ASSERT_EQ(service->OpenRenderPort(WString(u"Synth"), out), S_OK);
    RCPtr<CaptureClient> after = CaptureClient::Create();
    after->Subscribe(service, kMidiDataCapturedName);
    EXPECT_EQ(service->Send(out, kRequest), 6);
    EXPECT_TRUE(after->WaitFor(
        [&](const Captured& c) { return c.bytes == LongSysEx() && c.source == Identity(in); }));
    after->UnsubscribeAll();
    client->UnsubscribeAll();
}

TEST_F(Stress, LastReferenceMayGoOnTheServicePoolThread)
{
    RCPtr<FarewellClient> client = FarewellClient::Create();
    std::future<std::thread::id> left = client->Left();
    std::future<void> entered = client->entered.get_future();
    {
        RCPtr<LMidiCommInterface> service = LMidiComm::Create();
        client->Subscribe(service, kMidiDataCapturedName);
        RCPtr<LRefCountedObject> in;
        ASSERT_EQ(service->OpenCapturePort(WString(u"Synth"), in), S_OK);
        ASSERT_TRUE(mBus->Inject(mIn, {0x90, 0x3C, 0x7F}));
        ASSERT_EQ(entered.wait_for(kPatience), std::future_status::ready);
    }
    // The pool thread is still in the handler and holds the service's last
    // reference; letting it go ends the service there.
    client->release.set_value();
    ASSERT_EQ(left.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(left.get(), client->Wait(0).at(0).thread);
}
