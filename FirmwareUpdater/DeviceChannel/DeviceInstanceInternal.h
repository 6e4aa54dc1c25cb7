#pragma once

#include <memory>
#include <string_view>

#include "Platform/Driver/Driver.h"
#include "Platform/Registry/Registry.h"

// Registry reads shared by the search and the watcher.
namespace DeviceChannelInternal {

// The "Attached" key's default value: at least one byte, the last non-zero.
bool ReadAttached(const Tavo::Platform::Registry::Key& attachedKey);

// Opens the device interface named by the instance key's "LastPath"; null
// when the value or the device is missing.
std::unique_ptr<Tavo::Platform::Driver::Device> OpenInstanceDevice(std::u16string_view instanceKeyPath);

// The driver's update-flag request: header and value, ready for an Ioctl.
struct UpdateFlagRequest
{
    explicit UpdateFlagRequest(uint32_t flag) : value(flag)
    {
        header.set = Tavo::Platform::Driver::kDriverControlSet;
        header.id = Tavo::Platform::Driver::kDriverUpdateFlag;
        header.flags = Tavo::Platform::Driver::kPropertySet;
    }

    Tavo::Platform::Driver::PropertyHeader header;
    uint32_t value;
};

}  // namespace DeviceChannelInternal
