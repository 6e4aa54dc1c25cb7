#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "ChannelFixture.h"
#include "DeviceChannel/PrivateMidi.h"

using namespace Tavo::Platform;
using Driver::FakeDriver;

namespace {

std::vector<Driver::Request> ChannelRequests(const FakeDriver& driver)
{
    // The poll thread's mask queries come at their own pace.
    std::vector<Driver::Request> out;
    for (const auto& r : driver.Requests()) {
        if (!Is(r, Driver::kMidiChannelSet, Driver::kMidiPendingMask))
            out.push_back(r);
    }
    return out;
}

std::vector<uint32_t> Ids(const std::vector<Driver::Request>& requests)
{
    std::vector<uint32_t> ids;
    for (const auto& r : requests)
        ids.push_back(r.header.id);
    return ids;
}

class PrivateMidiTest : public ::testing::Test
{
protected:
    PrivateMidiTest() { f.AddInstance(record, 1); }
    ChannelFixture f{false};
    DeviceInstanceRecord record = ChannelFixture::Record(1);
    const std::vector<uint8_t> message = std::vector<uint8_t>(128, 0x5A);
};

TEST_F(PrivateMidiTest, ResultCodes)
{
    PrivateMidi midi(record);
    const uint8_t* data = message.data();
    EXPECT_EQ(midi.OpenPort(32), kPrivateMidiBadPortOrNoRecord);
    EXPECT_EQ(midi.OpenPort(3), kPrivateMidiOk);
    EXPECT_EQ(midi.OpenPort(3), kPrivateMidiPortAlreadyOpen);
    EXPECT_EQ(midi.Send(32, data, 4), kPrivateMidiBadPortOrNoRecord);
    EXPECT_EQ(midi.Send(1, data, 4), kPrivateMidiPortNotOpen);
    EXPECT_EQ(midi.GetRecordState(1, 0).capacity, 0u);

    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiOpenPort);
    EXPECT_EQ(midi.OpenPort(4), kPrivateMidiOpenRefused);
    EXPECT_EQ(midi.Send(4, data, 4), kPrivateMidiPortNotOpen);

    // A refused message leaves its record free for the next one.
    f.mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiSend);
    EXPECT_EQ(midi.Send(3, data, 4), kPrivateMidiSendRefused);
    EXPECT_EQ(midi.GetRecordState(3, 0).capacity, 4u);
    EXPECT_FALSE(midi.GetRecordState(3, 0).busy);
    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiSend, false);
    EXPECT_EQ(midi.Send(3, data, 4), kPrivateMidiOk);
    EXPECT_TRUE(midi.GetRecordState(3, 0).busy);
    // Nothing to send still takes a one-byte record.
    EXPECT_EQ(midi.Send(3, nullptr, 0), kPrivateMidiOk);
    EXPECT_EQ(midi.GetRecordState(3, 1).capacity, 1u);
    EXPECT_TRUE(ChannelRequests(*f.mDriver).back().message.empty());
    EXPECT_EQ(ValueNumber(ChannelRequests(*f.mDriver).back(), 16), 0u);
    f.mDriver->TakeHeld();
    EXPECT_FALSE(midi.GetRecordState(3, 0).busy || midi.GetRecordState(3, 1).busy);

    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiClose);
    EXPECT_EQ(midi.Close(), kPrivateMidiCloseRefused);
    EXPECT_EQ(midi.Send(3, data, 4), kPrivateMidiPortNotOpen);
}

TEST_F(PrivateMidiTest, DetachedInstanceGivesDeviceNotOpen)
{
    f.SetAttached(record, false);
    PrivateMidi midi(record);
    EXPECT_EQ(midi.OpenPort(0), kPrivateMidiDeviceNotOpen);
    EXPECT_EQ(midi.Send(0, message.data(), 4), kPrivateMidiDeviceNotOpen);
    EXPECT_EQ(midi.Close(), kPrivateMidiDeviceNotOpen);
    EXPECT_EQ(f.mDriver->OpenCount(), 0);
}

TEST_F(PrivateMidiTest, AllRecordsBusyGivesUpAfterItsWait)
{
    PrivateMidi midi(record);
    ASSERT_EQ(midi.OpenPort(0), kPrivateMidiOk);
    f.mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    for (uint32_t i = 0; i < PrivateMidi::kRecordCount; ++i)
        ASSERT_EQ(midi.Send(0, message.data(), 8), kPrivateMidiOk);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(midi.Send(0, message.data(), 8), kPrivateMidiBadPortOrNoRecord);
    // At least its 499 one-millisecond pauses.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(499));
    EXPECT_EQ(f.mDriver->Messages().size(), PrivateMidi::kRecordCount);

    // The driver catches up while a sender waits.
    std::thread taker([&] {
        while (f.mDriver->TakeHeld(1) == 0)
            std::this_thread::yield();
    });
    f.mDriver->SetTakeMode(FakeDriver::TakeMode::Immediately);
    EXPECT_EQ(midi.Send(0, message.data(), 8), kPrivateMidiOk);
    taker.join();
    f.mDriver->TakeHeld();
}

TEST_F(PrivateMidiTest, DetachClosesAndReattachStartsAfresh)
{
    auto midi = std::make_unique<PrivateMidi>(record);
    ASSERT_EQ(midi->OpenPort(0), kPrivateMidiOk);
    f.mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(midi->Send(0, message.data(), 8), kPrivateMidiOk);

    f.SetAttached(record, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int32_t result = kPrivateMidiOk;
    while ((result = midi->Send(0, message.data(), 8)) != kPrivateMidiDeviceNotOpen &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(result, kPrivateMidiDeviceNotOpen);
    // Reports after the handle went must not reach the records.
    f.mDriver->TakeHeld();

    f.SetAttached(record, true);
    while ((result = midi->OpenPort(0)) != kPrivateMidiOk && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(result, kPrivateMidiOk);
    // Records held when the handle closed are usable again: no wait for 16.
    for (uint32_t i = 0; i < PrivateMidi::kRecordCount; ++i)
        ASSERT_EQ(midi->Send(0, message.data(), 8), kPrivateMidiOk);
    EXPECT_EQ(f.mDriver->OpenCount(), 2);
    auto ids = Ids(ChannelRequests(*f.mDriver));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), uint32_t(Driver::kMidiSetEvent)), 2);
    // Destroyed with all 16 held: the drain gives up, then late reports
    // find nothing to write.
    midi.reset();
    EXPECT_EQ(f.mDriver->TakeHeld(), PrivateMidi::kRecordCount);
}

// The drain's clock: each step advances it; the driver takes what it holds
// once it reaches gTakeAtMs.
uint32_t gDrainedMs = 0;
uint32_t gTakeAtMs = 0;
FakeDriver* gTaker = nullptr;

void DrainStep(uint32_t ms)
{
    gDrainedMs += ms;
    if (gDrainedMs == gTakeAtMs)
        gTaker->TakeHeld();
}

TEST_F(PrivateMidiTest, DestructionDrainsForTwoSecondsThenCloses)
{
    // Taken after 1000 ms: closed right after; after 3000 ms: closed at 2000 with messages held.
    for (const auto& [takeAt, closedAt, leftHeld] :
         {std::tuple{1000u, 1000u, size_t(0)}, {3000u, 2000u, size_t(6)}}) {
        auto midi = std::make_unique<PrivateMidi>(record);
        ASSERT_EQ(midi->OpenPort(0), kPrivateMidiOk);
        f.mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
        for (int i = 0; i < 6; ++i)
            ASSERT_EQ(midi->Send(0, message.data(), 8), kPrivateMidiOk);
        gDrainedMs = 0;
        gTakeAtMs = takeAt;
        gTaker = f.mDriver.get();
        PrivateMidi::SetDrainStep(DrainStep);
        midi.reset();
        PrivateMidi::SetDrainStep(nullptr);
        EXPECT_EQ(gDrainedMs, closedAt) << takeAt;
        auto ids = Ids(ChannelRequests(*f.mDriver));
        ASSERT_GE(ids.size(), 2u);
        EXPECT_EQ(ids[ids.size() - 2], uint32_t(Driver::kMidiClose));
        EXPECT_EQ(f.mDriver->TakeHeld(), leftHeld) << takeAt;
    }
}

// A driver with queued input per port.
class InputDriver : public Driver::DriverHandler
{
public:
    // A refusing chunk fails the read that meets it.
    void Queue(uint32_t port, std::vector<uint8_t> bytes, bool end = false, bool refuse = false)
    {
        std::shared_ptr<Driver::DriverSession> session;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mInput[port].push_back({std::move(bytes), end, refuse});
            session = mSession;
        }
        if (session)
            session->InputPending();
    }
    void OnOpen(const std::shared_ptr<Driver::DriverSession>& session) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mSession = session;
    }
    void OnClose(Driver::DriverSession&) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mSession.reset();
    }
    Driver::Reply OnRequest(Driver::DriverSession&, const Driver::Request& request) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        Driver::Reply reply;
        if (!(request.header.set == Driver::kMidiChannelSet))
            return reply;
        if (request.header.id == Driver::kMidiPendingMask) {
            uint32_t mask = 0;
            for (const auto& [port, chunks] : mInput) {
                if (!chunks.empty())
                    mask |= 1u << port;
            }
            reply.output = {uint8_t(mask), uint8_t(mask >> 8), uint8_t(mask >> 16), uint8_t(mask >> 24)};
        } else if (request.header.id == Driver::kMidiRead) {
            const uint32_t port = request.input[0];
            const uint32_t space = request.input[16] | uint32_t(request.input[17]) << 8;
            auto& chunks = mInput[port];
            if (chunks.empty())
                return reply;
            if (chunks.front().refuse) {
                chunks.pop_front();
                ++mRefused;
                reply.error = Driver::kErrorGenFailure;
                return reply;
            }
            auto& chunk = chunks.front();
            const size_t n = std::min<size_t>(space, chunk.bytes.size());
            reply.readData.assign(chunk.bytes.begin(), chunk.bytes.begin() + long(n));
            chunk.bytes.erase(chunk.bytes.begin(), chunk.bytes.begin() + long(n));
            reply.output.assign(16, 0);
            reply.output[0] = 0x11;
            if (chunk.bytes.empty()) {
                reply.output[12] = chunk.end ? 1 : 0;
                chunks.pop_front();
            }
        }
        return reply;
    }

private:
    struct Chunk
    {
        std::vector<uint8_t> bytes;
        bool end;
        bool refuse;
    };
    std::mutex mMutex;
    std::map<uint32_t, std::deque<Chunk>> mInput;
    int mRefused = 0;

public:
    int Refused()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mRefused;
    }

private:
    std::shared_ptr<Driver::DriverSession> mSession;
};

class Collector : public PrivateMidiInputReceiver
{
public:
    void OnInput(uint32_t port, const uint8_t* data, uint32_t length, uint32_t value0, uint32_t, uint32_t,
                 PrivateMidi*) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mPort = port;
        mValue0 = value0;
        mMessages.emplace_back(data, data + length);
        mChanged.notify_all();
    }
    std::vector<std::vector<uint8_t>> WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait_for(lock, std::chrono::seconds(10), [&] { return mMessages.size() >= count; });
        return mMessages;
    }
    uint32_t mPort = 0;
    uint32_t mValue0 = 0;

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<std::vector<uint8_t>> mMessages;
};

TEST_F(PrivateMidiTest, InputIsCollectedUntilTheEndOfAMessageOrAFullBuffer)
{
    auto driver = std::make_shared<InputDriver>();
    f.UseHandler(driver);
    Collector collector;
    PrivateMidi midi(record);
    ASSERT_EQ(midi.OpenInput(2, &collector, 6), kPrivateMidiOk);
    EXPECT_EQ(midi.OpenInput(2, &collector, 6), kPrivateMidiPortAlreadyOpen);

    driver->Queue(2, {0xF0, 0x01, 0xF7});
    auto got = collector.WaitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
    EXPECT_EQ(collector.mPort, 2u);
    EXPECT_EQ(collector.mValue0, 0x11u);

    // Split over reads; then one that overflows the buffer and ends by flag.
    driver->Queue(2, {0xF0, 0x02});
    driver->Queue(2, {0x03, 0xF7});
    driver->Queue(2, {1, 2, 3, 4, 5, 6, 7, 8}, true);
    got = collector.WaitFor(4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1], (std::vector<uint8_t>{0xF0, 0x02, 0x03, 0xF7}));
    EXPECT_EQ(got[2], (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(got[3], (std::vector<uint8_t>{7, 8}));

    // A refused read drops what was collected.
    driver->Queue(2, {0xF0, 0x09});
    driver->Queue(2, {}, false, true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (driver->Refused() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    driver->Queue(2, {0xF0, 0x0B, 0xF7});
    got = collector.WaitFor(5);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[4], (std::vector<uint8_t>{0xF0, 0x0B, 0xF7}));
}

}  // namespace
