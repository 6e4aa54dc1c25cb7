#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Platform/Driver/Driver.h"
#include "Platform/Driver/DriverServe.h"
#include "Platform/Driver/FakeDriver.h"
#include "Platform/Kernel/KernelEvent.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform;
using namespace Tavo::Platform::Driver;

namespace {

// Only ever waited out when something is broken; a loaded sanitizer run is slow.
constexpr int32_t kWaitMs = 30000;

std::vector<uint8_t> Header(const Guid& set, uint32_t id, uint32_t flags, std::vector<uint8_t> extra = {})
{
    PropertyHeader h{set, id, flags};
    extra.insert(extra.begin(), reinterpret_cast<const uint8_t*>(&h),
                 reinterpret_cast<const uint8_t*>(&h + 1));
    return extra;
}

std::vector<uint8_t> Midi(uint32_t id, uint32_t flags, std::vector<uint8_t> extra = {})
{
    return Header(kMidiChannelSet, id, flags, std::move(extra));
}

std::vector<uint8_t> Slots(std::initializer_list<uint64_t> values)
{
    std::vector<uint8_t> bytes;
    for (uint64_t v : values)
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return bytes;
}

const auto Address = [](const void* p) -> uint64_t { return reinterpret_cast<uintptr_t>(p); };

bool WaitForByte(const uint8_t* p, uint8_t expected)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (LoadSendByte(p) != expected && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    return LoadSendByte(p) == expected;
}

class DriverTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        const std::string path = mFolder / "device.sock";
        mPath = std::u16string(path.begin(), path.end());
        if (GetParam()) {
            mServer = std::make_unique<DriverServer>(path, mDriver);
            std::string error;
            ASSERT_TRUE(mServer->Start(&error)) << error;
        } else {
            ASSERT_TRUE(RegisterFakeDevice(mPath, mDriver));
        }
        uint32_t error = 0;
        mDevice = OpenDevice(mPath, &error);
        ASSERT_TRUE(mDevice) << "error " << error;
    }

    void TearDown() override
    {
        mDevice.reset();
        if (!GetParam())
            UnregisterFakeDevice(mPath);
    }

    // One request with `value` as its output buffer; the failure code, 0 when accepted.
    uint32_t Call(const std::vector<uint8_t>& in, std::vector<uint8_t> value = std::vector<uint8_t>(4))
    {
        uint32_t error = 12345, bytes = 12345;
        bool ok = mDevice->Ioctl(kIoctlKsProperty, in.data(), uint32_t(in.size()), value.data(),
                                 uint32_t(value.size()), &bytes, &error);
        EXPECT_EQ(ok, error == kErrorNone);
        EXPECT_TRUE(ok || bytes == 0);
        return error;
    }
    // Sets the update flag: the simplest request the driver answers.
    uint32_t SetFlag() { return Call(Header(kDriverControlSet, kDriverUpdateFlag, kPropertySet)); }
    uint32_t Send(uint32_t port, const uint8_t* buffer, uint32_t length)
    {
        return Call(Midi(kMidiSend, kPropertySet), Slots({port, Address(buffer), length}));
    }
    uint32_t Event(uint32_t id, KernelEvent& e) { return Call(Midi(id, kPropertySet), Slots({Address(&e)})); }
    // A full round trip: everything the driver reported before it has been applied once this returns.
    void Flush() { Call(Midi(kMidiPendingMask, kPropertyGet)); }

    TestFolder mFolder;
    std::shared_ptr<FakeDriver> mDriver = std::make_shared<FakeDriver>();
    std::unique_ptr<DriverServer> mServer;
    std::u16string mPath;
    std::unique_ptr<Device> mDevice;
};

TEST_P(DriverTest, RefusalsAndMalformedRequests)
{
    mDriver->Refuse(kMidiChannelSet, kMidiOpenPort);
    EXPECT_EQ(Call(Midi(kMidiOpenPort, kPropertySet)), kErrorGenFailure);
    EXPECT_EQ(SetFlag(), 0u);
    mDriver->RefuseAll(true, kErrorInvalidParameter);
    EXPECT_EQ(SetFlag(), kErrorInvalidParameter);
    mDriver->RefuseAll(false);
    const size_t seen = mDriver->Requests().size();

    // None of these reaches the driver.
    auto in = Header(kDriverControlSet, kDriverUpdateFlag, kPropertySet);
    uint8_t message[4] = {1, 2, 3, 4}, out[16];
    auto ioctl = [&](uint32_t code, uint32_t inSize, void* out) {
        uint32_t error = 0;
        EXPECT_FALSE(mDevice->Ioctl(code, in.data(), inSize, out, 4, nullptr, &error));
        return error;
    };
    EXPECT_EQ(ioctl(0x2F0007, 24, message), kErrorInvalidFunction);
    EXPECT_EQ(ioctl(kIoctlKsProperty, 23, message), kErrorInvalidParameter);
    EXPECT_EQ(ioctl(kIoctlKsProperty, 24, nullptr), kErrorInvalidParameter);
    const uint64_t at = Address(message);
    const std::pair<std::vector<uint8_t>, std::vector<uint8_t>> malformed[] = {
        {Midi(kMidiSend, kPropertySet), Slots({1ull << 32, at, 4})},        // port beyond 32 bits
        {Midi(kMidiSend, kPropertySet), Slots({0, at, 4 | (1ull << 40)})},  // length beyond 32 bits
        {Midi(kMidiSend, kPropertySet), Slots({0, 0, 4})},                  // no buffer
        {Midi(kMidiSend, kPropertySet), Slots({0, at, kMaxMessage + 1})},   // longer than any message
        {Midi(kMidiSend, kPropertyGet), Slots({1ull << 32, at})},
        {Midi(kMidiRead, kPropertyGet, Slots({1ull << 33, Address(out), 4})), std::vector<uint8_t>(16)},
        {Midi(kMidiSetEvent, kPropertySet), Slots({0})}};  // no event
    for (const auto& [request, value] : malformed)
        EXPECT_EQ(Call(request, value), kErrorInvalidParameter);
    EXPECT_TRUE(mDriver->Requests().size() == seen && message[0] == 1);
}

TEST_P(DriverTest, DeviceOpensExclusively)
{
    uint32_t error = 0;
    EXPECT_FALSE(OpenDevice(mPath + u"-absent", &error));
    EXPECT_EQ(error, kErrorFileNotFound);

    EXPECT_FALSE(OpenDevice(mPath, &error));
    EXPECT_EQ(error, kErrorSharingViolation);
    mDevice->Close();
    EXPECT_EQ(SetFlag(), kErrorInvalidHandle);
    ASSERT_TRUE(mDevice = OpenDevice(mPath));
    EXPECT_EQ(SetFlag(), 0u);
    EXPECT_EQ(mDriver->OpenCount(), 2);
}

TEST_P(DriverTest, SentMessageIsCopiedAndMarkedTaken)
{
    uint8_t buffer[5] = {0x5A, 1, 2, 3, 0xEE};
    ASSERT_EQ(Send(3, buffer, 4), 0u);
    // Taken while the request was handled: free by the time Send returns.
    EXPECT_EQ(LoadSendByte(buffer), 0xA5);
    EXPECT_EQ(buffer[4], 0xEE);

    uint8_t empty[1] = {0x00};
    ASSERT_EQ(Send(0, empty, 0), 0u);
    EXPECT_EQ(LoadSendByte(empty), 0xFF);

    const auto requests = mDriver->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].message, (std::vector<uint8_t>{0x5A, 1, 2, 3}));
    // The driver sees port and length but not the program's address.
    EXPECT_EQ(requests[0].value, Slots({3, 0, 4}));
    EXPECT_NE(requests[0].sendToken, 0u);
    EXPECT_TRUE(requests[1].message.empty());
    EXPECT_NE(requests[1].sendToken, requests[0].sendToken);
}

TEST_P(DriverTest, LateTakesArriveInOrderAndRefusedSendsStayUntouched)
{
    mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    uint8_t first[2] = {0x10, 0}, second[2] = {0x20, 0}, refused[2] = {0x30, 0};
    ASSERT_EQ(Send(0, first, 2), 0u);
    ASSERT_EQ(Send(0, second, 2), 0u);
    mDriver->Refuse(kMidiChannelSet, kMidiSend);
    ASSERT_EQ(Send(0, refused, 2), kErrorGenFailure);
    Flush();
    EXPECT_EQ(LoadSendByte(first), 0x10);

    ASSERT_EQ(mDriver->TakeHeld(1), 1u);
    ASSERT_TRUE(WaitForByte(first, 0xEF));
    Flush();
    EXPECT_EQ(LoadSendByte(second), 0x20);

    // The refused one is reported too, but its sender already owns it again.
    ASSERT_EQ(mDriver->TakeHeld(), 2u);
    ASSERT_TRUE(WaitForByte(second, 0xDF));
    Flush();
    EXPECT_EQ(LoadSendByte(refused), 0x30);
}

TEST_P(DriverTest, NothingIsWrittenAfterTheChannelCloses)
{
    mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    // Freed buffers: a late write would be caught by AddressSanitizer, and
    // the byte checks catch it elsewhere.
    auto* beforeClose = new uint8_t[8]{0x41};
    auto* beforeClear = new uint8_t[8]{0x42};
    ASSERT_EQ(Send(0, beforeClose, 8), 0u);
    ASSERT_EQ(Call(Midi(kMidiClose, kPropertySet), {1, 0, 0, 0}), 0u);
    delete[] beforeClose;
    ASSERT_EQ(Send(1, beforeClear, 8), 0u);
    KernelEvent event{true};
    ASSERT_EQ(Event(kMidiClearEvent, event), 0u);
    delete[] beforeClear;
    EXPECT_EQ(mDriver->TakeHeld(), 2u);
    Flush();

    uint8_t kept[2] = {0x43, 0};
    ASSERT_EQ(Send(0, kept, 2), 0u);
    mDevice->Close();
    EXPECT_EQ(mDriver->TakeHeld(), 1u);
    mDevice.reset();
    EXPECT_EQ(kept[0], 0x43);
}

TEST_P(DriverTest, PendingInputSignalsTheRegisteredEvent)
{
    KernelEvent event{true}, refused{true};
    mDriver->SignalInput();  // nothing registered yet
    ASSERT_EQ(Event(kMidiSetEvent, event), 0u);
    EXPECT_FALSE(event.IsSet());
    EXPECT_EQ(mDriver->Requests().back().value, Slots({0}));  // the driver never sees the address
    mDriver->SignalInput();
    ASSERT_EQ(event.Wait(kWaitMs), WAIT_OBJECT_0);

    event.Reset();
    ASSERT_EQ(Event(kMidiClearEvent, event), 0u);
    // A refused hand-over leaves no event behind.
    mDriver->Refuse(kMidiChannelSet, kMidiSetEvent);
    ASSERT_EQ(Event(kMidiSetEvent, refused), kErrorGenFailure);
    mDriver->SignalInput();
    Flush();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(refused.IsSet());
}

TEST_P(DriverTest, DetachFailsLaterRequestsAndDropsTakes)
{
    mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    uint8_t buffer[2] = {0x77, 0};
    ASSERT_EQ(Send(0, buffer, 2), 0u);
    mDriver->Detach();
    EXPECT_EQ(SetFlag(), kErrorDeviceNotConnected);
    mDriver->TakeHeld();
    EXPECT_EQ(SetFlag(), kErrorDeviceNotConnected);
    EXPECT_EQ(LoadSendByte(buffer), 0x77);

    // The device comes back: a new handle works while the old one stays dead.
    ASSERT_TRUE(mDevice = OpenDevice(mPath));
    EXPECT_EQ(SetFlag(), 0u);
}

TEST_P(DriverTest, OnePathHasOneServerAndStoppingDetaches)
{
    if (!GetParam())
        GTEST_SKIP() << "socket only";
    DriverServer rival(mFolder / "device.sock", mDriver);
    std::string error;
    EXPECT_FALSE(rival.Start(&error));
    EXPECT_NE(error.find("another"), std::string::npos);
    mServer->Stop();
    EXPECT_EQ(SetFlag(), kErrorDeviceNotConnected);
    EXPECT_FALSE(OpenDevice(mPath));
}

INSTANTIATE_TEST_SUITE_P(Backends, DriverTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Socket" : "Fake"); });

}  // namespace
