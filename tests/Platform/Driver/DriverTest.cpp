#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
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

struct Backend
{
    const char* name;
    bool socket;
};

void PrintTo(const Backend& backend, std::ostream* os)
{
    *os << backend.name;
}

std::vector<uint8_t> Header(const Guid& set, uint32_t id, uint32_t flags, std::vector<uint8_t> extra = {})
{
    PropertyHeader h{set, id, flags};
    std::vector<uint8_t> bytes(sizeof h + extra.size());
    std::memcpy(bytes.data(), &h, sizeof h);
    std::copy(extra.begin(), extra.end(), bytes.begin() + sizeof h);
    return bytes;
}

std::vector<uint8_t> Slots(std::initializer_list<uint64_t> values)
{
    std::vector<uint8_t> bytes;
    for (uint64_t v : values) {
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    return bytes;
}

uint64_t Address(const void* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

// Waits for a byte written by another thread; true when it took `expected`.
bool WaitForByte(const uint8_t* p, uint8_t expected)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (LoadSendByte(p) != expected) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class DriverTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        static std::atomic<int> counter{0};
        mDriver = std::make_shared<FakeDriver>();
        if (GetParam().socket) {
            std::string path = mFolder / "device.sock";
            mServer = std::make_unique<DriverServer>(path, mDriver);
            std::string error;
            ASSERT_TRUE(mServer->Start(&error)) << error;
            mPath = std::u16string(path.begin(), path.end());
        } else {
            mPath = u"\\\\?\\usb#fake#" + std::u16string(1, char16_t(u'a' + counter++ % 26));
            ASSERT_TRUE(RegisterFakeDevice(mPath, mDriver));
        }
    }

    void TearDown() override
    {
        mServer.reset();
        if (!GetParam().socket)
            UnregisterFakeDevice(mPath);
    }

    std::unique_ptr<Device> Open()
    {
        uint32_t error = 0;
        auto device = OpenDevice(mPath, &error);
        EXPECT_TRUE(device) << "error " << error;
        return device;
    }

    // One request; returns the failure code, 0 when accepted.
    uint32_t Call(Device& device, const std::vector<uint8_t>& in, void* out, uint32_t outSize,
                  uint32_t* returned = nullptr)
    {
        uint32_t error = 12345, bytes = 12345;
        bool ok = device.Ioctl(kIoctlKsProperty, in.data(), static_cast<uint32_t>(in.size()), out, outSize,
                               &bytes, &error);
        EXPECT_EQ(ok, error == kErrorNone);
        if (!ok) {
            EXPECT_EQ(bytes, 0u);
        }
        if (returned)
            *returned = bytes;
        return error;
    }

    // Sets the update flag: the simplest request the driver answers.
    uint32_t SetFlag(Device& device)
    {
        uint32_t flag = 0;
        return Call(device, Header(kDriverControlSet, kDriverUpdateFlag, kPropertySet), &flag, 4);
    }

    uint32_t Send(Device& device, uint32_t port, const uint8_t* buffer, uint32_t length)
    {
        auto value = Slots({port, Address(buffer), length});
        return Call(device, Header(kMidiChannelSet, kMidiSend, kPropertySet), value.data(), 24);
    }

    // A full round trip: everything the driver reported before it has been
    // applied once this returns.
    void Flush(Device& device)
    {
        uint32_t mask = 0;
        Call(device, Header(kMidiChannelSet, kMidiPendingMask, kPropertyGet), &mask, 4);
    }

    std::shared_ptr<FakeDriver> mDriver;
    std::unique_ptr<DriverServer> mServer;
    std::u16string mPath;
    TestFolder mFolder;
};

TEST_P(DriverTest, RefusalsAndMalformedRequests)
{
    auto device = Open();
    ASSERT_TRUE(device);
    uint32_t port = 0;
    mDriver->Refuse(kMidiChannelSet, kMidiOpenPort);
    EXPECT_EQ(Call(*device, Header(kMidiChannelSet, kMidiOpenPort, kPropertySet), &port, 4),
              kErrorGenFailure);
    uint32_t flag = 0;
    EXPECT_EQ(SetFlag(*device), 0u);
    mDriver->RefuseAll(true, kErrorInvalidParameter);
    EXPECT_EQ(SetFlag(*device), kErrorInvalidParameter);
    mDriver->RefuseAll(false);
    size_t seen = mDriver->Requests().size();

    // None of these reaches the driver.
    auto in = Header(kDriverControlSet, kDriverUpdateFlag, kPropertySet);
    uint32_t error = 0, returned = 0;
    EXPECT_FALSE(device->Ioctl(0x2F0007, in.data(), 24, &flag, 4, &returned, &error));
    EXPECT_EQ(error, kErrorInvalidFunction);
    EXPECT_FALSE(device->Ioctl(kIoctlKsProperty, in.data(), 23, &flag, 4, &returned, &error));
    EXPECT_EQ(error, kErrorInvalidParameter);
    EXPECT_FALSE(device->Ioctl(kIoctlKsProperty, in.data(), 24, nullptr, 4, &returned, &error));
    EXPECT_EQ(error, kErrorInvalidParameter);

    uint8_t message[4] = {1, 2, 3, 4};
    auto badPort = Slots({0x100000000ull, Address(message), 4});
    EXPECT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSend, kPropertySet), badPort.data(), 24),
              kErrorInvalidParameter);
    auto badLength = Slots({0, Address(message), 4 | (1ull << 40)});
    EXPECT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSend, kPropertySet), badLength.data(), 24),
              kErrorInvalidParameter);
    auto noBuffer = Slots({0, 0, 4});
    EXPECT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSend, kPropertySet), noBuffer.data(), 24),
              kErrorInvalidParameter);
    EXPECT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSend, kPropertyGet), badPort.data(), 16),
              kErrorInvalidParameter);
    uint8_t out[16];
    EXPECT_EQ(Call(*device,
                   Header(kMidiChannelSet, kMidiRead, kPropertyGet, Slots({1ull << 33, Address(out), 4})),
                   out, 16),
              kErrorInvalidParameter);
    uint64_t noEvent = 0;
    EXPECT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSetEvent, kPropertySet), &noEvent, 8),
              kErrorInvalidParameter);
    EXPECT_EQ(mDriver->Requests().size(), seen);
    EXPECT_EQ(message[0], 1);
}

TEST_P(DriverTest, DeviceOpensExclusively)
{
    uint32_t error = 0;
    EXPECT_FALSE(OpenDevice(mPath + u"-absent", &error));
    EXPECT_EQ(error, kErrorFileNotFound);

    auto first = Open();
    ASSERT_TRUE(first);
    EXPECT_FALSE(OpenDevice(mPath, &error));
    EXPECT_EQ(error, kErrorSharingViolation);
    first->Close();
    EXPECT_EQ(SetFlag(*first), kErrorInvalidHandle);

    auto second = Open();
    ASSERT_TRUE(second);
    EXPECT_EQ(SetFlag(*second), 0u);
    EXPECT_EQ(mDriver->OpenCount(), 2);
}

TEST_P(DriverTest, SentMessageIsCopiedAndMarkedTaken)
{
    auto device = Open();
    ASSERT_TRUE(device);
    uint8_t buffer[5] = {0x5A, 1, 2, 3, 0xEE};
    ASSERT_EQ(Send(*device, 3, buffer, 4), 0u);
    // Taken while the request was handled: free by the time Send returns.
    EXPECT_EQ(LoadSendByte(buffer), 0xA5);
    EXPECT_EQ(buffer[4], 0xEE);

    uint8_t empty[1] = {0x00};
    ASSERT_EQ(Send(*device, 0, empty, 0), 0u);
    EXPECT_EQ(LoadSendByte(empty), 0xFF);

    auto requests = mDriver->Requests();
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
    auto device = Open();
    ASSERT_TRUE(device);
    uint8_t first[2] = {0x10, 0}, second[2] = {0x20, 0}, refused[2] = {0x30, 0};
    ASSERT_EQ(Send(*device, 0, first, 2), 0u);
    ASSERT_EQ(Send(*device, 0, second, 2), 0u);
    mDriver->Refuse(kMidiChannelSet, kMidiSend);
    ASSERT_EQ(Send(*device, 0, refused, 2), kErrorGenFailure);
    Flush(*device);
    EXPECT_EQ(LoadSendByte(first), 0x10);
    EXPECT_EQ(LoadSendByte(second), 0x20);

    ASSERT_EQ(mDriver->TakeHeld(1), 1u);
    ASSERT_TRUE(WaitForByte(first, 0xEF));
    Flush(*device);
    EXPECT_EQ(LoadSendByte(second), 0x20);

    // The refused one is reported too, but its sender already owns it again.
    ASSERT_EQ(mDriver->TakeHeld(), 2u);
    ASSERT_TRUE(WaitForByte(second, 0xDF));
    Flush(*device);
    EXPECT_EQ(LoadSendByte(refused), 0x30);
}

TEST_P(DriverTest, NothingIsWrittenAfterTheChannelCloses)
{
    mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    auto device = Open();
    ASSERT_TRUE(device);
    // Freed buffers: a late write would be caught by AddressSanitizer, and
    // the byte checks catch it elsewhere.
    auto* beforeClose = new uint8_t[8]{0x41};
    auto* beforeClear = new uint8_t[8]{0x42};
    ASSERT_EQ(Send(*device, 0, beforeClose, 8), 0u);
    uint32_t one = 1;
    ASSERT_EQ(Call(*device, Header(kMidiChannelSet, kMidiClose, kPropertySet), &one, 4), 0u);
    delete[] beforeClose;
    ASSERT_EQ(Send(*device, 1, beforeClear, 8), 0u);
    KernelEvent event{true};
    uint64_t slot = Address(&event);
    ASSERT_EQ(Call(*device, Header(kMidiChannelSet, kMidiClearEvent, kPropertySet), &slot, 8), 0u);
    delete[] beforeClear;
    EXPECT_EQ(mDriver->TakeHeld(), 2u);
    Flush(*device);

    uint8_t kept[2] = {0x43, 0};
    ASSERT_EQ(Send(*device, 0, kept, 2), 0u);
    device->Close();
    EXPECT_EQ(mDriver->TakeHeld(), 1u);
    device.reset();
    EXPECT_EQ(kept[0], 0x43);
}

TEST_P(DriverTest, PendingInputSignalsTheRegisteredEvent)
{
    auto device = Open();
    ASSERT_TRUE(device);
    KernelEvent event{true};
    uint64_t slot = Address(&event);
    mDriver->SignalInput();  // nothing registered yet
    ASSERT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSetEvent, kPropertySet), &slot, 8), 0u);
    EXPECT_FALSE(event.IsSet());
    EXPECT_EQ(mDriver->Requests().back().value, Slots({0}));

    mDriver->SignalInput();
    ASSERT_EQ(event.Wait(kWaitMs), WAIT_OBJECT_0);
    event.Reset();

    ASSERT_EQ(Call(*device, Header(kMidiChannelSet, kMidiClearEvent, kPropertySet), &slot, 8), 0u);
    mDriver->SignalInput();
    Flush(*device);
    EXPECT_FALSE(event.IsSet());

    // A refused hand-over leaves no event behind.
    KernelEvent refused{true};
    uint64_t refusedSlot = Address(&refused);
    mDriver->Refuse(kMidiChannelSet, kMidiSetEvent);
    ASSERT_EQ(Call(*device, Header(kMidiChannelSet, kMidiSetEvent, kPropertySet), &refusedSlot, 8),
              kErrorGenFailure);
    mDriver->SignalInput();
    Flush(*device);
    EXPECT_FALSE(refused.IsSet());
}

TEST_P(DriverTest, DetachFailsLaterRequestsAndDropsTakes)
{
    mDriver->SetTakeMode(FakeDriver::TakeMode::Later);
    auto device = Open();
    ASSERT_TRUE(device);
    uint8_t buffer[2] = {0x77, 0};
    ASSERT_EQ(Send(*device, 0, buffer, 2), 0u);
    mDriver->Detach();
    EXPECT_EQ(SetFlag(*device), kErrorDeviceNotConnected);
    mDriver->TakeHeld();
    EXPECT_EQ(SetFlag(*device), kErrorDeviceNotConnected);
    EXPECT_EQ(LoadSendByte(buffer), 0x77);

    // The device comes back: a new handle works while the old one stays dead.
    auto again = Open();
    ASSERT_TRUE(again);
    EXPECT_EQ(SetFlag(*again), 0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, DriverTest,
                         ::testing::Values(Backend{"Fake", false}, Backend{"Socket", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DriverServerTest, OnePathHasOneServerAndStoppingDetaches)
{
    TestFolder folder;
    std::string path = folder / "device.sock";
    auto driver = std::make_shared<FakeDriver>();
    DriverServer server(path, driver);
    ASSERT_TRUE(server.Start());
    DriverServer rival(path, driver);
    std::string error;
    EXPECT_FALSE(rival.Start(&error));
    EXPECT_NE(error.find("another"), std::string::npos);

    auto device = OpenDevice(std::u16string(path.begin(), path.end()));
    ASSERT_TRUE(device);
    server.Stop();
    uint32_t flag = 0, error2 = 0;
    auto in = Header(kDriverControlSet, kDriverUpdateFlag, kPropertySet);
    EXPECT_FALSE(device->Ioctl(kIoctlKsProperty, in.data(), 24, &flag, 4, nullptr, &error2));
    EXPECT_EQ(error2, kErrorDeviceNotConnected);
    EXPECT_FALSE(OpenDevice(std::u16string(path.begin(), path.end())));
}

}  // namespace
