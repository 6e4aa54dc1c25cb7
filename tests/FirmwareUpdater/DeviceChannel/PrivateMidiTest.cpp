#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <tuple>
#include <atomic>
#include <vector>

#include "ChannelFixture.h"
#include "DeviceChannel/PrivateMidi.h"

using Driver::FakeDriver;

namespace {

// The drain's and the free-record wait's clock: each step advances it; the driver takes what it holds
// once it reaches gTakeAtMs.
uint32_t gSteppedMs = 0;
uint32_t gTakeAtMs = 0;
FakeDriver* gTaker = nullptr;

void Step(uint32_t ms)
{
    gSteppedMs += ms;
    if (gSteppedMs == gTakeAtMs)
        gTaker->TakeHeld();
}

size_t Count(const std::vector<Driver::Request>& requests, uint32_t id)
{
    return std::count_if(requests.begin(), requests.end(), [&](const auto& r) { return r.header.id == id; });
}

class PrivateMidiTest : public ::testing::Test
{
protected:
    PrivateMidiTest()
    {
        f.AddInstance(record, 1);
        gTaker = f.mDriver.get();
    }
    ~PrivateMidiTest() override { PrivateMidi::SetDrainStep(nullptr); }
    // Runs the channel's waits on the test's clock, the held messages taken after `takeAtMs` (never at 0).
    void StepClock(uint32_t takeAtMs)
    {
        gSteppedMs = 0;
        gTakeAtMs = takeAtMs;
        PrivateMidi::SetDrainStep(Step);
    }
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
    EXPECT_TRUE(midi.GetRecordState(3, 0).capacity == 4 && !midi.GetRecordState(3, 0).busy);
    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiSend, false);
    EXPECT_EQ(midi.Send(3, data, 4), kPrivateMidiOk);
    EXPECT_TRUE(midi.GetRecordState(3, 0).busy);
    // Nothing to send still takes a one-byte record.
    EXPECT_EQ(midi.Send(3, nullptr, 0), kPrivateMidiOk);
    EXPECT_EQ(midi.GetRecordState(3, 1).capacity, 1u);
    EXPECT_TRUE(f.ChannelRequests().back().message.empty());
    EXPECT_EQ(ValueNumber(f.ChannelRequests().back(), 16), 0u);
    f.mDriver->TakeHeld();
    EXPECT_FALSE(midi.GetRecordState(3, 0).busy || midi.GetRecordState(3, 1).busy);

    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiClose);
    EXPECT_EQ(midi.Close(), kPrivateMidiCloseRefused);
    EXPECT_EQ(midi.Send(3, data, 4), kPrivateMidiPortNotOpen);

    // A detached instance is never opened.
    f.SetAttached(record, false);
    PrivateMidi detached(record);
    EXPECT_EQ(detached.OpenPort(0), kPrivateMidiDeviceNotOpen);
    EXPECT_EQ(detached.Send(0, data, 4), kPrivateMidiDeviceNotOpen);
    EXPECT_EQ(detached.Close(), kPrivateMidiDeviceNotOpen);
    EXPECT_EQ(f.mDriver->OpenCount(), 1);
}

TEST_F(PrivateMidiTest, AllRecordsBusyGivesUpAfterItsWait)
{
    PrivateMidi midi(record);
    ASSERT_EQ(midi.OpenPort(0), kPrivateMidiOk);
    f.mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    for (uint32_t i = 0; i < PrivateMidi::kRecordCount; ++i)
        ASSERT_EQ(midi.Send(0, message.data(), 8), kPrivateMidiOk);
    StepClock(0);
    EXPECT_EQ(midi.Send(0, message.data(), 8), kPrivateMidiBadPortOrNoRecord);
    EXPECT_EQ(gSteppedMs, 499u);  // its 499 one-millisecond pauses
    EXPECT_EQ(f.mDriver->Messages().size(), PrivateMidi::kRecordCount);
    // The driver catches up while a sender waits.
    StepClock(20);
    EXPECT_EQ(midi.Send(0, message.data(), 8), kPrivateMidiOk);
    EXPECT_EQ(gSteppedMs, 20u);
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
        std::this_thread::yield();
    EXPECT_EQ(result, kPrivateMidiDeviceNotOpen);
    // Reports after the handle went must not reach the records.
    f.mDriver->TakeHeld();

    f.SetAttached(record, true);
    while ((result = midi->OpenPort(0)) != kPrivateMidiOk && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(result, kPrivateMidiOk);
    // Records held when the handle closed are usable again: no wait for 16.
    StepClock(0);
    for (uint32_t i = 0; i < PrivateMidi::kRecordCount; ++i)
        ASSERT_EQ(midi->Send(0, message.data(), 8), kPrivateMidiOk);
    EXPECT_EQ(gSteppedMs, 0u);
    EXPECT_EQ(f.mDriver->OpenCount(), 2);
    EXPECT_EQ(Count(f.ChannelRequests(), Driver::kMidiSetEvent), 2u);
    // Destroyed with all 16 held: the drain gives up, then late reports find nothing to write.
    midi.reset();
    EXPECT_EQ(f.mDriver->TakeHeld(), PrivateMidi::kRecordCount);
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
        StepClock(takeAt);
        midi.reset();
        EXPECT_EQ(gSteppedMs, closedAt) << takeAt;
        const auto requests = f.ChannelRequests();
        EXPECT_EQ(requests.at(requests.size() - 2).header.id, uint32_t(Driver::kMidiClose));
        EXPECT_EQ(f.mDriver->TakeHeld(), leftHeld) << takeAt;
    }
}

// A driver with queued input per port; a refusing chunk fails the read that meets it.
class InputDriver : public Driver::DriverHandler
{
public:
    void Queue(uint32_t port, std::vector<uint8_t> bytes, bool end = false, bool refuse = false)
    {
        std::unique_lock lock(mMutex);
        mInput[port].push_back({std::move(bytes), end, refuse});
        auto session = mSession;
        lock.unlock();
        if (session)
            session->InputPending();
    }
    void OnOpen(const std::shared_ptr<Driver::DriverSession>& session) override
    {
        Locked([&] { mSession = session; });
    }
    void OnClose(Driver::DriverSession&) override
    {
        Locked([&] { mSession.reset(); });
    }
    Driver::Reply OnRequest(Driver::DriverSession&, const Driver::Request& request) override
    {
        std::lock_guard lock(mMutex);
        Driver::Reply reply;
        if (Is(request, Driver::kMidiChannelSet, Driver::kMidiPendingMask)) {
            uint32_t mask = 0;
            for (const auto& [port, chunks] : mInput)
                mask |= chunks.empty() ? 0 : 1u << port;
            reply.output.resize(4);
            Tavo::Platform::Put32(reply.output.data(), mask);
        } else if (Is(request, Driver::kMidiChannelSet, Driver::kMidiRead) &&
                   !mInput[request.input[0]].empty()) {
            auto& chunks = mInput[request.input[0]];
            auto& chunk = chunks.front();
            const size_t n = std::min<size_t>(request.input[16] | request.input[17] << 8, chunk.bytes.size());
            reply.readData.assign(chunk.bytes.begin(), chunk.bytes.begin() + long(n));
            chunk.bytes.erase(chunk.bytes.begin(), chunk.bytes.begin() + long(n));
            reply.output.assign(16, 0);
            reply.output[0] = 0x11;
            reply.output[12] = chunk.bytes.empty() && chunk.end;
            refused += chunk.refuse;
            reply.error = chunk.refuse ? Driver::kErrorGenFailure : Driver::kErrorNone;
            if (chunk.bytes.empty())
                chunks.pop_front();
        }
        return reply;
    }
    std::atomic<int> refused{0};

private:
    void Locked(const auto& f)
    {
        std::lock_guard lock(mMutex);
        f();
    }
    struct Chunk
    {
        std::vector<uint8_t> bytes;
        bool end, refuse;
    };
    std::mutex mMutex;
    std::map<uint32_t, std::deque<Chunk>> mInput;
    std::shared_ptr<Driver::DriverSession> mSession;
};

// Collects what arrives on port 2, where the driver's reads give 0x11 as their first value.
class Collector : public PrivateMidiInputReceiver
{
public:
    void OnInput(uint32_t port, const uint8_t* data, uint32_t length, uint32_t value0, uint32_t, uint32_t,
                 PrivateMidi*) override
    {
        EXPECT_EQ(std::pair(port, value0), std::pair(2u, 0x11u));
        std::lock_guard<std::mutex> lock(mMutex);
        mMessages.emplace_back(data, data + length);
        mChanged.notify_all();
    }
    std::vector<std::vector<uint8_t>> WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait_for(lock, std::chrono::seconds(10), [&] { return mMessages.size() >= count; });
        return mMessages;
    }

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
    using Bytes = std::vector<uint8_t>;
    driver->Queue(2, {0xF0, 0x01, 0xF7});
    EXPECT_EQ(collector.WaitFor(1), std::vector<Bytes>{(Bytes{0xF0, 0x01, 0xF7})});

    // Split over reads; then one that overflows the buffer and ends by flag.
    driver->Queue(2, {0xF0, 0x02});
    driver->Queue(2, {0x03, 0xF7});
    driver->Queue(2, {1, 2, 3, 4, 5, 6, 7, 8}, true);
    // A refused read drops what was collected; its report comes once the refusal has been met.
    driver->Queue(2, {0xF0, 0x09});
    driver->Queue(2, {}, false, true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (driver->refused == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    driver->Queue(2, {0xF0, 0x0B, 0xF7});
    EXPECT_EQ(
        collector.WaitFor(5),
        (std::vector<Bytes>{
            {0xF0, 0x01, 0xF7}, {0xF0, 0x02, 0x03, 0xF7}, {1, 2, 3, 4, 5, 6}, {7, 8}, {0xF0, 0x0B, 0xF7}}));
}

}  // namespace
