#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "ChannelFixture.h"
#include "DeviceChannel/DeviceInstanceWatcher.h"
#include "Platform/Registry/RegistryNames.h"
#include "tests/Common/RunShell.h"

using Registry::Status;
using Registry::Value;

namespace {

constexpr uint8_t kAnyInstance[16] = {};

TEST(DeviceKeyNames, FormatAndParse)
{
    EXPECT_EQ(FormatDeviceKeyName(kMixerVendorId, kMixerProductId), u"01020304527E00003B6C0000DECAFBAD");
    uint32_t vendor = 0, product = 0;
    EXPECT_TRUE(ParseDeviceKeyName(u"01020304527e00003b6C0000DECAFBAD", vendor, product));
    EXPECT_EQ(std::pair(vendor, product), std::pair(kMixerVendorId, kMixerProductId));
    // Only hex digits count; anything else is a zero nibble.
    EXPECT_TRUE(ParseDeviceKeyName(u"01020304Z27E0000xx6C0000DECAFBAD", vendor, product));
    EXPECT_EQ(std::pair(vendor, product), std::pair(0x7E02u, 0x6C00u));
    for (auto bad : {u"01020305527E00003B6C0000DECAFBAD", u"01020304527E00003B6C0000DECAFBAD0"})
        EXPECT_FALSE(ParseDeviceKeyName(bad, vendor, product));

    uint8_t id[16] = {0x00, 0x11, 0xAB, 0xCD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0x01}, back[16] = {};
    EXPECT_EQ(FormatInstanceKeyName(id), u"0011ABCD00000000000000000000FE01");
    EXPECT_TRUE(ParseInstanceKeyName(u"0011abcd000000000000000000000000", back));
    EXPECT_EQ(back[2], 0xAB);
}

class DeviceInstanceTest : public ::testing::TestWithParam<bool>
{
protected:
    ChannelFixture f{GetParam()};
};

TEST_P(DeviceInstanceTest, EnumerationSkipsForeignNamesAndReadsAttachedState)
{
    auto attached = ChannelFixture::Record(1);
    auto unattached = ChannelFixture::Record(2);
    auto noAttachedKey = ChannelFixture::Record(3);
    f.AddInstance(attached, 1);
    f.AddInstance(unattached, 0);
    f.AddInstance(noAttachedKey, -1);

    // Lower-case hex in the ids is the driver's business; the suffix is not.
    const std::u16string id = FormatInstanceKeyName(attached.instanceId);
    for (const std::u16string& key : {u"01020304abcd000001000000DECAFBAD\\Instances\\" + id,
                                      u"01020304527E00003B6C0000decafbad\\Instances\\" + id,
                                      u"01020304527E00003B6C0000DECAFBAD\\Instances\\" + id.substr(1),
                                      u"01020304527E00003B6C0000DECAFBAD\\Instances\\" + id + u"0"})
        ASSERT_EQ(f.mRegistry->CreateKey(ChannelFixture::DriverPath() + u"\\" + key), Status::Ok);

    DeviceInstanceRecord records[8];
    uint32_t filled = 0, total = 0;
    EnumerateInstances(kMixerDriverKey, records, 8, filled, total);
    ASSERT_EQ(total, 4u);
    ASSERT_EQ(filled, 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].vendorId, i < 3 ? kMixerVendorId : 0xCDABu);
        EXPECT_EQ(records[i].productId, i < 3 ? kMixerProductId : 1u);
        EXPECT_EQ(records[i].instanceId[15], i < 3 ? i + 1 : 1);
        EXPECT_EQ(records[i].DriverKey(), kMixerDriverKey);
        EXPECT_EQ(records[i].attached, i == 0);
    }

    // Counting goes on past the capacity; no buffer counts only.
    EnumerateInstances(kMixerDriverKey, records, 2, filled, total);
    EXPECT_EQ(std::pair(filled, total), std::pair(2u, 4u));
    EnumerateInstances(kMixerDriverKey, nullptr, 0, filled, total);
    EXPECT_EQ(std::pair(filled, total), std::pair(0u, 4u));
    EnumerateInstances(u"{00000000-0000-0000-0000-000000000000}", records, 8, filled, total);
    EXPECT_EQ(total, 0u);
}

TEST_P(DeviceInstanceTest, SearchWaitsWithinBudgetAndGrowsItsBuffer)
{
    std::vector<uint32_t> sleeps;
    auto sleep = [&](uint32_t ms) { sleeps.push_back(ms); };
    DeviceInstanceRecord found;
    EXPECT_EQ(
        FindDeviceInstance(50, found, kMixerDriverKey, kMixerVendorId, kMixerProductId, kAnyInstance, sleep),
        kInstanceNotFound);
    EXPECT_EQ(sleeps, std::vector<uint32_t>{50});

    f.AddInstance(ChannelFixture::Record(1), -1);
    sleeps.clear();
    EXPECT_EQ(FindDeviceInstance(600, found, kMixerDriverKey, kAnyId, kAnyId, kAnyInstance, sleep),
              kInstanceNotFound);
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{250, 250, 100}));

    // Attached while the search pauses.
    sleeps.clear();
    auto attachLater = [&](uint32_t ms) {
        sleeps.push_back(ms);
        f.SetAttached(ChannelFixture::Record(1), true);
    };
    EXPECT_EQ(FindDeviceInstance(50, found, kMixerDriverKey, kMixerVendorId, kMixerProductId, kAnyInstance,
                                 attachLater),
              0);
    EXPECT_EQ(sleeps.size(), 1u);
    EXPECT_EQ(found.instanceId[15], 1);

    // Eleven instances, only the last attached: found without a pause.
    f.SetAttached(ChannelFixture::Record(1), false);
    for (uint8_t id = 2; id <= 10; ++id)
        f.AddInstance(ChannelFixture::Record(id), 0);
    f.AddInstance(ChannelFixture::Record(11), 1);
    sleeps.clear();
    EXPECT_EQ(
        FindDeviceInstance(0, found, kMixerDriverKey, kMixerVendorId, kMixerProductId, kAnyInstance, sleep),
        0);
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(found.instanceId[15], 11);
    EXPECT_EQ(found.attached, 1);
}

TEST_P(DeviceInstanceTest, UpdateFlagIsOneRequestOnTheMixersInstance)
{
    // A record of another device still reaches the mixer's instance of its id.
    auto mixer = ChannelFixture::Record(7);
    f.AddInstance(mixer, 1);
    auto foreign = ChannelFixture::Record(7, 0x1111, 0x2222);
    ASSERT_TRUE(SetDriverUpdateFlag(foreign, 1));
    ASSERT_TRUE(SetDriverUpdateFlag(mixer, 0));
    auto requests = f.mDriver->Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (uint32_t i = 0; i < 2; ++i)
        EXPECT_TRUE(Is(requests[i], Driver::kDriverControlSet, Driver::kDriverUpdateFlag) &&
                    requests[i].header.flags == Driver::kPropertySet && requests[i].input.empty() &&
                    requests[i].value.size() == 4 && ValueNumber(requests[i]) == 1 - i);
    EXPECT_EQ(f.mDriver->OpenCount(), 2);

    f.mDriver->Refuse(Driver::kDriverControlSet, Driver::kDriverUpdateFlag);
    EXPECT_FALSE(SetDriverUpdateFlag(mixer, 1));
    // The handle was closed after the refusal too.
    EXPECT_NE(Driver::OpenDevice(f.mDevicePath), nullptr);

    auto noPath = ChannelFixture::Record(8);
    f.AddInstance(noPath, 1, false);
    EXPECT_FALSE(SetDriverUpdateFlag(noPath, 1));
    EXPECT_FALSE(SetDriverUpdateFlag(ChannelFixture::Record(9), 1));
}

// Records what the watcher reports, from whichever thread, as "attached open;" and the like.
class Receiver : public CalvioDeviceAttachedStateCallbackReceiver
{
public:
    void OnAttachedStateChanged(bool attached, DeviceInstanceWatcher* source) override
    {
        // Opening from inside the report re-enters the watcher's lock.
        if (attached)
            source->OpenDevice();
        std::lock_guard<std::mutex> lock(mMutex);
        mReports +=
            std::string(attached ? "attached" : "detached") + (source->IsOpen() ? " open;" : " closed;");
        ++mCount;
        mChanged.notify_all();
    }
    // The reports once there are `count` of them (or 10 s have passed).
    std::string WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait_for(lock, std::chrono::seconds(10), [&] { return mCount >= count; });
        return mReports;
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::string mReports;
    size_t mCount = 0;
};

bool SendSomething(DeviceInstanceWatcher& watcher)
{
    Driver::PropertyHeader header{Driver::kMidiChannelSet, Driver::kMidiOpenPort, Driver::kPropertySet};
    uint32_t value = 0, returned = 0;
    return watcher.Ioctl(Driver::kIoctlKsProperty, &header, sizeof header, &value, sizeof value, &returned);
}

TEST_P(DeviceInstanceTest, WatcherFollowsTheAttachedValue)
{
    auto record = ChannelFixture::Record(5);
    f.AddInstance(record, 1);
    DeviceInstanceWatcher watcher(record);
    EXPECT_FALSE(watcher.IsOpen() || SendSomething(watcher));
    Receiver receiver;
    watcher.SetListener(&receiver);
    ASSERT_EQ(receiver.WaitFor(0), "attached open;");
    EXPECT_TRUE(SendSomething(watcher));

    // The handle is gone before the receiver hears of it.
    f.SetAttached(record, false);
    ASSERT_EQ(receiver.WaitFor(2), "attached open;detached closed;");
    EXPECT_FALSE(SendSomething(watcher) || watcher.OpenDevice());

    f.SetAttached(record, true);
    ASSERT_EQ(receiver.WaitFor(3), "attached open;detached closed;attached open;");
    EXPECT_TRUE(SendSomething(watcher));
    EXPECT_EQ(f.mDriver->OpenCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, DeviceInstanceTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Directory" : "Memory"); });

TEST(DeviceInstanceWatcherTree, SeesAnotherProcessDetachAndAttach)
{
    ChannelFixture f(true);
    auto record = ChannelFixture::Record(9);
    f.AddInstance(record, 1);
    DeviceInstanceWatcher watcher(record);
    Receiver receiver;
    watcher.SetListener(&receiver);
    std::string folder =
        f.mFolder->Path() + "/registry/" + Registry::Names::ToUtf8(f.PathOf(record)) + "/Attached";
    std::replace(folder.begin(), folder.end(), '\\', '/');
    auto write = [&](const char* lastByte) {
        return RunShell("cd '" + folder + "' && printf 'REG_BINARY\\n\\001" + lastByte +
                        "' > .next && mv .next @");
    };
    ASSERT_EQ(write("\\000"), 0);
    EXPECT_EQ(receiver.WaitFor(2), "attached open;detached closed;");
    ASSERT_EQ(write("\\002"), 0);
    EXPECT_EQ(receiver.WaitFor(3), "attached open;detached closed;attached open;");
}

}  // namespace
