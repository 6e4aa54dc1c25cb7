#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "DeviceChannel/DeviceInstance.h"
#include "Platform/Driver/FakeDriver.h"
#include "Platform/Registry/Registry.h"

// A registry (in memory or a directory tree) installed as the machine's,
// with helpers that publish instances of the driver, and a fake driver.
class ChannelFixture
{
public:
    explicit ChannelFixture(bool onDisk)
    {
        if (onDisk) {
            char templ[] = "/tmp/tavo-devchan-test-XXXXXX";
            EXPECT_NE(mkdtemp(templ), nullptr);
            mFolder = templ;
            mRegistry = TavoPlatform::Registry::CreateDirectoryRegistry(mFolder + "/registry");
        } else {
            mRegistry = TavoPlatform::Registry::CreateMemoryRegistry();
        }
        TavoPlatform::Registry::SetMachine(mRegistry);
        static std::atomic<int> counter{0};
        mDevicePath = u"\\\\?\\usb#devchan#" + std::u16string(1, char16_t(u'a' + counter++ % 26));
        mDriver = std::make_shared<TavoPlatform::Driver::FakeDriver>();
        EXPECT_TRUE(TavoPlatform::Driver::RegisterFakeDevice(mDevicePath, mDriver));
    }

    ~ChannelFixture()
    {
        TavoPlatform::Driver::UnregisterFakeDevice(mDevicePath);
        TavoPlatform::Registry::SetMachine(TavoPlatform::Registry::CreateMemoryRegistry());
        mRegistry.reset();
        if (!mFolder.empty())
            std::filesystem::remove_all(mFolder);
    }

    // Serves the device path with another driver.
    void UseHandler(std::shared_ptr<TavoPlatform::Driver::DriverHandler> handler)
    {
        TavoPlatform::Driver::UnregisterFakeDevice(mDevicePath);
        EXPECT_TRUE(TavoPlatform::Driver::RegisterFakeDevice(mDevicePath, std::move(handler)));
    }

    static std::u16string DriverPath(std::u16string_view driverKey = kMixerDriverKey)
    {
        return std::u16string(kDriversRoot) + u"\\" + std::u16string(driverKey);
    }

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
        const std::u16string path = PathOf(r);
        ASSERT_EQ(mRegistry->CreateKey(path), TavoPlatform::Registry::Status::Ok);
        if (withPath) {
            ASSERT_EQ(mRegistry->SetValue(path, u"LastPath", TavoPlatform::Registry::Value::String(mDevicePath)),
                      TavoPlatform::Registry::Status::Ok);
        }
        if (attached >= 0)
            SetAttached(r, attached != 0);
    }

    void SetAttached(const DeviceInstanceRecord& r, bool attached)
    {
        const std::u16string key = PathOf(r) + u"\\Attached";
        ASSERT_EQ(mRegistry->CreateKey(key), TavoPlatform::Registry::Status::Ok);
        ASSERT_EQ(mRegistry->SetValue(key, u"",
                                      TavoPlatform::Registry::Value::Binary({0, uint8_t(attached ? 1 : 0)})),
                  TavoPlatform::Registry::Status::Ok);
    }

    std::shared_ptr<TavoPlatform::Registry::Store> mRegistry;
    std::string mFolder;
    std::u16string mDevicePath;
    std::shared_ptr<TavoPlatform::Driver::FakeDriver> mDriver;
};

// Requests of one property set and id.
inline bool Is(const TavoPlatform::Driver::Request& r, const TavoPlatform::Driver::Guid& set, uint32_t id)
{
    return r.header.set == set && r.header.id == id;
}

inline uint32_t ValueNumber(const TavoPlatform::Driver::Request& r, size_t at = 0)
{
    const auto& v = r.value;
    return v.size() < at + 4 ? 0xFFFFFFFF
                             : uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16
                                   | uint32_t(v[at + 3]) << 24;
}
