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

}  // namespace DeviceChannelInternal
