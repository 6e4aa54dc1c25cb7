#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "DeviceChannel/DeviceInstance.h"
#include "Platform/Driver/FakeDriver.h"
#include "Platform/Kernel/LittleEndian.h"
#include "Platform/Registry/Registry.h"
#include "tests/Common/TestScope.h"

namespace Driver = Tavo::Platform::Driver;
namespace Registry = Tavo::Platform::Registry;

// A registry (in memory or a directory tree) installed as the machine's,
// with helpers that publish instances of the driver, and a fake driver.
class ChannelFixture
{
public:
    explicit ChannelFixture(bool onDisk)
    {
        if (onDisk)
            mFolder.emplace();
        mRegistry = onDisk ? Registry::CreateDirectoryRegistry(mFolder->Path() + "/registry")
                           : Registry::CreateMemoryRegistry();
        Registry::SetMachine(mRegistry);
        static std::atomic<int> counter{0};
        mDevicePath = u"\\\\?\\usb#devchan#" + std::u16string(1, char16_t(u'a' + counter++ % 26));
        EXPECT_TRUE(Driver::RegisterFakeDevice(mDevicePath, mDriver));
    }

    ~ChannelFixture()
    {
        Driver::UnregisterFakeDevice(mDevicePath);
        Registry::SetMachine(Registry::CreateMemoryRegistry());
    }

    // Serves the device path with another driver.
    void UseHandler(std::shared_ptr<Driver::DriverHandler> handler)
    {
        Driver::UnregisterFakeDevice(mDevicePath);
        EXPECT_TRUE(Driver::RegisterFakeDevice(mDevicePath, std::move(handler)));
    }

    static std::u16string DriverPath() { return std::u16string(kDriversRoot) + u"\\" + kMixerDriverKey; }

    static DeviceInstanceRecord Record(uint8_t idByte, uint32_t vendor = kMixerVendorId,
                                       uint32_t product = kMixerProductId)
    {
        DeviceInstanceRecord record;
        record.SetDriverKey(kMixerDriverKey);
        record.vendorId = vendor;
        record.productId = product;
        record.instanceId[15] = idByte;
        return record;
    }

    std::u16string PathOf(const DeviceInstanceRecord& r) const
    {
        return InstanceKeyPath(r.DriverKey(), r.vendorId, r.productId, r.instanceId);
    }

    // Publishes an instance; "Attached" left out when `attached` is negative.
    void AddInstance(const DeviceInstanceRecord& r, int attached = 1, bool withPath = true)
    {
        ASSERT_EQ(mRegistry->CreateKey(PathOf(r)), Registry::Status::Ok);
        if (withPath)
            Set(PathOf(r), u"LastPath", Registry::Value::String(mDevicePath));
        if (attached >= 0)
            SetAttached(r, attached != 0);
    }

    void SetAttached(const DeviceInstanceRecord& r, bool attached)
    {
        ASSERT_EQ(mRegistry->CreateKey(PathOf(r) + u"\\Attached"), Registry::Status::Ok);
        Set(PathOf(r) + u"\\Attached", u"", Registry::Value::Binary({0, uint8_t(attached ? 1 : 0)}));
    }

    void Set(const std::u16string& key, std::u16string_view name, const Registry::Value& value)
    {
        ASSERT_EQ(mRegistry->SetValue(key, name, value), Registry::Status::Ok);
    }

    // The driver's requests without the poll thread's mask queries, which come at their own pace.
    std::vector<Driver::Request> ChannelRequests() const
    {
        std::vector<Driver::Request> out;
        for (const auto& r : mDriver->Requests())
            if (!(r.header.set == Driver::kMidiChannelSet && r.header.id == Driver::kMidiPendingMask))
                out.push_back(r);
        return out;
    }

    std::optional<TestFolder> mFolder;
    std::shared_ptr<Registry::Store> mRegistry;
    std::u16string mDevicePath;
    std::shared_ptr<Driver::FakeDriver> mDriver = std::make_shared<Driver::FakeDriver>();
};

// Requests of one property set and id.
inline bool Is(const Driver::Request& r, const Driver::Guid& set, uint32_t id)
{
    return r.header.set == set && r.header.id == id;
}

inline uint32_t ValueNumber(const Driver::Request& r, size_t at = 0)
{
    return r.value.size() < at + 4 ? 0xFFFFFFFF : Tavo::Platform::Get32(r.value.data() + at);
}
