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
            mRegistry = Tavo::Platform::Registry::CreateDirectoryRegistry(mFolder + "/registry");
        } else {
            mRegistry = Tavo::Platform::Registry::CreateMemoryRegistry();
        }
        Tavo::Platform::Registry::SetMachine(mRegistry);
        static std::atomic<int> counter{0};
        mDevicePath = u"\\\\?\\usb#devchan#" + std::u16string(1, char16_t(u'a' + counter++ % 26));
        mDriver = std::make_shared<Tavo::Platform::Driver::FakeDriver>();
        EXPECT_TRUE(Tavo::Platform::Driver::RegisterFakeDevice(mDevicePath, mDriver));
    }

    ~ChannelFixture()
    {
        Tavo::Platform::Driver::UnregisterFakeDevice(mDevicePath);
        Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry());
        mRegistry.reset();
        if (!mFolder.empty())
            std::filesystem::remove_all(mFolder);
    }

    // Serves the device path with another driver.
    void UseHandler(std::shared_ptr<Tavo::Platform::Driver::DriverHandler> handler)
    {
        Tavo::Platform::Driver::UnregisterFakeDevice(mDevicePath);
        EXPECT_TRUE(Tavo::Platform::Driver::RegisterFakeDevice(mDevicePath, std::move(handler)));
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
        ASSERT_EQ(mRegistry->CreateKey(path), Tavo::Platform::Registry::Status::Ok);
        if (withPath) {
            ASSERT_EQ(
                mRegistry->SetValue(path, u"LastPath", Tavo::Platform::Registry::Value::String(mDevicePath)),
                Tavo::Platform::Registry::Status::Ok);
        }
        if (attached >= 0)
            SetAttached(r, attached != 0);
    }

    void SetAttached(const DeviceInstanceRecord& r, bool attached)
    {
        const std::u16string key = PathOf(r) + u"\\Attached";
        ASSERT_EQ(mRegistry->CreateKey(key), Tavo::Platform::Registry::Status::Ok);
        ASSERT_EQ(mRegistry->SetValue(
                      key, u"", Tavo::Platform::Registry::Value::Binary({0, uint8_t(attached ? 1 : 0)})),
                  Tavo::Platform::Registry::Status::Ok);
    }

    std::shared_ptr<Tavo::Platform::Registry::Store> mRegistry;
    std::string mFolder;
    std::u16string mDevicePath;
    std::shared_ptr<Tavo::Platform::Driver::FakeDriver> mDriver;
};

// Requests of one property set and id.
inline bool Is(const Tavo::Platform::Driver::Request& r, const Tavo::Platform::Driver::Guid& set, uint32_t id)
{
    return r.header.set == set && r.header.id == id;
}

inline uint32_t ValueNumber(const Tavo::Platform::Driver::Request& r, size_t at = 0)
{
    const auto& v = r.value;
    return v.size() < at + 4 ? 0xFFFFFFFF
                             : uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 |
                                   uint32_t(v[at + 3]) << 24;
}
