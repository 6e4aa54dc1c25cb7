#include "DeviceChannel/DeviceInstance.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "DeviceChannel/DeviceInstanceInternal.h"

namespace Registry = Tavo::Platform::Registry;
namespace Driver = Tavo::Platform::Driver;

namespace {

constexpr char16_t kDevicePrefix[] = u"01020304";
constexpr char16_t kDeviceSuffix[] = u"DECAFBAD";
constexpr size_t kKeyNameLength = 32;
constexpr size_t kMaxSubkeyName = 255;
constexpr size_t kMaxAttachedBytes = 32;
constexpr size_t kMaxLastPathBytes = 520;
constexpr uint32_t kSearchCapacity = 8;
constexpr uint32_t kMaxSearchPause = 250;

// Anything that is not a hex digit counts as 0.
uint8_t Digit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return static_cast<uint8_t>(c - u'0');
    if (c >= u'a' && c <= u'f')
        return static_cast<uint8_t>(c - u'a' + 10);
    if (c >= u'A' && c <= u'F')
        return static_cast<uint8_t>(c - u'A' + 10);
    return 0;
}

uint8_t Pair(std::u16string_view text, size_t at)
{
    return static_cast<uint8_t>(Digit(text[at]) << 4 | Digit(text[at + 1]));
}

void AppendByte(std::u16string& text, uint8_t byte)
{
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    text += kHex[byte >> 4];
    text += kHex[byte & 0xF];
}

void AppendLittleEndian(std::u16string& text, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        AppendByte(text, static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t ReadLittleEndian(std::u16string_view text, size_t at)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(Pair(text, at + 2 * i)) << (8 * i);
    return value;
}

bool Matches(const DeviceInstanceRecord& record, uint32_t vendorId, uint32_t productId,
             const uint8_t (&id)[16], bool anyInstance)
{
    if (!record.attached)
        return false;
    if (vendorId != kAnyId && record.vendorId != vendorId)
        return false;
    if (productId != kAnyId && record.productId != productId)
        return false;
    return anyInstance || std::memcmp(record.instanceId, id, sizeof id) == 0;
}

}  // namespace

std::u16string_view DeviceInstanceRecord::DriverKey() const
{
    return std::u16string_view(driverKey, std::char_traits<char16_t>::length(driverKey));
}

void DeviceInstanceRecord::SetDriverKey(std::u16string_view key)
{
    const size_t n = std::min(key.size(), std::size(driverKey) - 1);
    std::copy_n(key.begin(), n, driverKey);
    std::fill(driverKey + n, std::end(driverKey), u'\0');
}

std::u16string FormatDeviceKeyName(uint32_t vendorId, uint32_t productId)
{
    std::u16string name = kDevicePrefix;
    AppendLittleEndian(name, vendorId);
    AppendLittleEndian(name, productId);
    name += kDeviceSuffix;
    return name;
}

bool ParseDeviceKeyName(std::u16string_view name, uint32_t& vendorId, uint32_t& productId)
{
    // Prefix and suffix compare exactly: the driver writes them upper case.
    if (name.size() != kKeyNameLength || name.substr(0, 8) != kDevicePrefix ||
        name.substr(24) != kDeviceSuffix)
        return false;
    vendorId = ReadLittleEndian(name, 8);
    productId = ReadLittleEndian(name, 16);
    return true;
}

std::u16string FormatInstanceKeyName(const uint8_t (&id)[16])
{
    std::u16string name;
    for (uint8_t byte : id)
        AppendByte(name, byte);
    return name;
}

bool ParseInstanceKeyName(std::u16string_view name, uint8_t (&id)[16])
{
    if (name.size() != kKeyNameLength)
        return false;
    for (size_t i = 0; i < 16; ++i)
        id[i] = Pair(name, 2 * i);
    return true;
}

std::u16string InstanceKeyPath(std::u16string_view driverKey, uint32_t vendorId, uint32_t productId,
                               const uint8_t (&id)[16])
{
    std::u16string path = kDriversRoot;
    path += u'\\';
    path += driverKey;
    path += u'\\';
    path += FormatDeviceKeyName(vendorId, productId);
    path += u"\\Instances\\";
    path += FormatInstanceKeyName(id);
    return path;
}

namespace DeviceChannelInternal {

bool ReadAttached(const Registry::Key& attachedKey)
{
    Registry::Value value;
    if (attachedKey.QueryValue(u"", value, kMaxAttachedBytes) != Registry::Status::Ok)
        return false;
    return !value.data.empty() && value.data.back() != 0;
}

std::unique_ptr<Driver::Device> OpenInstanceDevice(std::u16string_view instanceKeyPath)
{
    std::unique_ptr<Registry::Key> key;
    if (Registry::Machine()->OpenKey(instanceKeyPath, key) != Registry::Status::Ok)
        return nullptr;
    Registry::Value value;
    if (key->QueryValue(u"LastPath", value, kMaxLastPathBytes) != Registry::Status::Ok ||
        value.type != Registry::kRegSz)
        return nullptr;
    const std::u16string path = value.AsString();
    if (path.empty())
        return nullptr;
    return Driver::OpenDevice(path);
}

}  // namespace DeviceChannelInternal

bool IsInstanceAttached(std::u16string_view instanceKeyPath)
{
    std::u16string path(instanceKeyPath);
    path += u"\\Attached";
    std::unique_ptr<Registry::Key> key;
    if (Registry::Machine()->OpenKey(path, key) != Registry::Status::Ok)
        return false;
    return DeviceChannelInternal::ReadAttached(*key);
}

void EnumerateInstances(std::u16string_view driverKey, DeviceInstanceRecord* records, uint32_t capacity,
                        uint32_t& filled, uint32_t& total)
{
    filled = 0;
    total = 0;
    std::u16string driverPath = kDriversRoot;
    driverPath += u'\\';
    driverPath += driverKey;
    std::unique_ptr<Registry::Key> driver;
    if (Registry::Machine()->OpenKey(driverPath, driver) != Registry::Status::Ok)
        return;
    std::vector<std::u16string> devices;
    if (driver->EnumerateSubKeys(devices) != Registry::Status::Ok)
        return;
    for (const auto& device : devices) {
        uint32_t vendorId = 0, productId = 0;
        if (device.size() > kMaxSubkeyName || !ParseDeviceKeyName(device, vendorId, productId))
            continue;
        std::unique_ptr<Registry::Key> instancesKey;
        std::vector<std::u16string> instances;
        if (driver->OpenSubKey(device + u"\\Instances", instancesKey) != Registry::Status::Ok ||
            instancesKey->EnumerateSubKeys(instances) != Registry::Status::Ok)
            continue;
        for (const auto& instance : instances) {
            uint8_t id[16];
            if (!ParseInstanceKeyName(instance, id))
                continue;
            ++total;
            if (records == nullptr || total > capacity)
                continue;
            DeviceInstanceRecord& record = records[filled++];
            record = DeviceInstanceRecord{};
            record.SetDriverKey(driverKey);
            record.vendorId = vendorId;
            record.productId = productId;
            std::memcpy(record.instanceId, id, sizeof id);
            record.attached =
                IsInstanceAttached(driverPath + u'\\' + device + u"\\Instances\\" + instance) ? 1 : 0;
        }
    }
}

int32_t FindDeviceInstance(uint32_t budgetMs, DeviceInstanceRecord& out, std::u16string_view driverKey,
                           uint32_t vendorId, uint32_t productId, const uint8_t (&instanceId)[16],
                           const InstanceSearchSleep& sleep)
{
    const bool anyInstance =
        std::all_of(std::begin(instanceId), std::end(instanceId), [](uint8_t b) { return b == 0; });
    std::vector<DeviceInstanceRecord> records;
    uint32_t capacity = kSearchCapacity;
    for (;;) {
        try {
            records.resize(capacity);
        } catch (const std::bad_alloc&) {
            return kInstanceNoMemory;
        }
        uint32_t filled = 0, total = 0;
        EnumerateInstances(driverKey, records.data(), capacity, filled, total);
        for (uint32_t i = 0; i < filled; ++i) {
            if (Matches(records[i], vendorId, productId, instanceId, anyInstance)) {
                out = records[i];
                return 0;
            }
        }
        // Some instances did not fit: look again at once with room for all.
        if (total > capacity) {
            capacity = total;
            continue;
        }
        if (budgetMs == 0)
            return kInstanceNotFound;
        const uint32_t pause = std::min(budgetMs, kMaxSearchPause);
        if (sleep)
            sleep(pause);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        budgetMs -= pause;
    }
}

bool SetDriverUpdateFlag(const DeviceInstanceRecord& record, uint32_t value)
{
    // The mixer's own device, whatever device the record names.
    const std::u16string path =
        InstanceKeyPath(record.DriverKey(), kMixerVendorId, kMixerProductId, record.instanceId);
    auto device = DeviceChannelInternal::OpenInstanceDevice(path);
    if (!device)
        return false;
    DeviceChannelInternal::UpdateFlagRequest request(value);
    uint32_t returned = 0;
    const bool accepted = device->Ioctl(Driver::kIoctlKsProperty, &request.header, sizeof request.header,
                                        &request.value, sizeof request.value, &returned);
    device->Close();
    return accepted;
}
