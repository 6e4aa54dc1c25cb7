#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The maker's driver publishes every device it serves under
// "Software\Calvio\Audio\Drivers\<driver>\<device>\Instances\<instance>".

inline constexpr char16_t kDriversRoot[] = u"Software\\Calvio\\Audio\\Drivers";
inline constexpr char16_t kMixerDriverKey[] = u"{3f8a6c12-d9e4-4b71-8c25-7e0b19a4d6f3}";
constexpr uint32_t kMixerVendorId = 0x7E52;
constexpr uint32_t kMixerProductId = 0x6C3B;
constexpr uint32_t kAnyId = 0xFFFFFFFF;

constexpr int32_t kInstanceNotFound = -10;
constexpr int32_t kInstanceNoMemory = -1;

struct DeviceInstanceRecord
{
    char16_t driverKey[40] = {};
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    uint8_t instanceId[16] = {};
    uint8_t attached = 0;

    std::u16string_view DriverKey() const;
    void SetDriverKey(std::u16string_view key);
};

// Key names in upper-case hex: "01020304", vendor and product least
// significant byte first, "DECAFBAD".
std::u16string FormatDeviceKeyName(uint32_t vendorId, uint32_t productId);
bool ParseDeviceKeyName(std::u16string_view name, uint32_t& vendorId, uint32_t& productId);
std::u16string FormatInstanceKeyName(const uint8_t (&id)[16]);
// False unless the name has exactly 32 characters.
bool ParseInstanceKeyName(std::u16string_view name, uint8_t (&id)[16]);

// Root\driver\device\Instances\instance.
std::u16string InstanceKeyPath(std::u16string_view driverKey, uint32_t vendorId, uint32_t productId,
                               const uint8_t (&id)[16]);

// Fills up to `capacity` records (none when `records` is null) and counts
// every instance of the driver.
void EnumerateInstances(std::u16string_view driverKey, DeviceInstanceRecord* records, uint32_t capacity,
                        uint32_t& filled, uint32_t& total);

// Pause between searches; tests pass their own to see the waits.
using InstanceSearchSleep = std::function<void(uint32_t ms)>;

// The first attached instance matching the filters (kAnyId, an all-zero id):
// 0, kInstanceNotFound once the budget is spent, kInstanceNoMemory.
int32_t FindDeviceInstance(uint32_t budgetMs, DeviceInstanceRecord& out, std::u16string_view driverKey,
                           uint32_t vendorId, uint32_t productId, const uint8_t (&instanceId)[16],
                           const InstanceSearchSleep& sleep = {});

// Reads the default value of the path's "Attached" subkey.
bool IsInstanceAttached(std::u16string_view instanceKeyPath);

// Turns the driver's update mode on (1) or off (0) through the mixer's
// instance of the record.
bool SetDriverUpdateFlag(const DeviceInstanceRecord& record, uint32_t value);
