#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

// Property requests to the mixer's driver: the program opens the device
// interface named by the registry's "LastPath" and sends kernel-streaming
// style property requests (a 24-byte header, optional extra input, and a
// value buffer that travels in the output for SET and GET alike).
namespace Tavo::Platform::Driver {

constexpr uint32_t kIoctlKsProperty = 0x2F0003;
constexpr uint32_t kPropertyGet = 1;
constexpr uint32_t kPropertySet = 2;

// A GUID in its standard 16-byte binary layout (first three fields
// little-endian).
struct Guid
{
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", braces optional, either case.
    static std::optional<Guid> Parse(std::string_view text);
    bool operator==(const Guid&) const = default;
};
static_assert(sizeof(Guid) == 16);

struct PropertyHeader
{
    Guid set;
    uint32_t id = 0;
    uint32_t flags = 0;
};
static_assert(sizeof(PropertyHeader) == 24);

// The driver's private MIDI channel.
inline constexpr Guid kMidiChannelSet{
    0x6d1c2e90, 0x4b3a, 0x4f57, {0xa1, 0xe2, 0x3c, 0x9d, 0x7b, 0x8f, 0x0a, 0x14}};
enum MidiChannelId : uint32_t {
    kMidiSetEvent = 2,      // SET, value: slot with the address of a manual-reset KernelEvent
    kMidiClearEvent = 3,    // SET, value: the same slot
    kMidiOpenPort = 4,      // SET, value: u32 port
    kMidiClose = 8,         // SET, value: u32 1
    kMidiPendingMask = 11,  // GET, value: u32 mask
    kMidiRead = 12,         // GET, input: slots port, read address, space; value: 16 bytes
    kMidiSend = 13,         // SET, value: slots port, message address, length
};

// The driver's own controls.
inline constexpr Guid kDriverControlSet{
    0x9e47b2a1, 0x0c5d, 0x4e83, {0xb6, 0xf9, 0x2a, 0x1d, 0x8c, 0x7e, 0x5b, 0x30}};
constexpr uint32_t kDriverUpdateFlag = 16;  // SET, value: u32 1 on, 0 off

// Failure codes, numbered like the platform's own.
enum Error : uint32_t {
    kErrorNone = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorInvalidHandle = 6,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorInvalidParameter = 87,
    kErrorMoreData = 234,
    kErrorDeviceNotConnected = 1167,
};

// Limits of one request, so that every request fits one socket frame.
constexpr uint32_t kMaxInput = 1024;
constexpr uint32_t kMaxValue = 16384;
constexpr uint32_t kMaxMessage = 16384;
constexpr uint32_t kMaxRead = 16384;

// An open device interface, opened exclusively. Thread-safe.
//
// Memory side of the MIDI channel: a send (kMidiSend) hands the driver a copy
// of the message; when the driver reports it taken, the first byte of the
// sender's buffer is replaced by its complement, which is how the sender sees
// its buffer free again. Reports still pending are dropped on kMidiClose,
// kMidiClearEvent, Close, a refused send and a detach, so nothing is written
// after the sender may have freed the buffer. Read the first byte with
// LoadSendByte while a report may be under way. The event of kMidiSetEvent is
// set when the driver reports pending input, until kMidiClearEvent or Close.
// Numeric slots (8 bytes) must have their upper four bytes zero; a send's
// buffer has at least one byte, also for an empty message.
class Device
{
public:
    struct Impl;
    explicit Device(std::unique_ptr<Impl> impl);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // One request: `in` holds the header and extra input, `out` the value.
    // True when the driver accepted it; `returned` gets the bytes written to
    // `out`, `error` the failure code.
    bool Ioctl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error = nullptr);

    // Idempotent; also done by the destructor.
    void Close();

private:
    std::unique_ptr<Impl> mImpl;
};

// Opens the device interface at `path`: an in-process driver registered with
// RegisterFakeDevice, else the Unix socket of a driver server. Null on
// failure: kErrorFileNotFound (nothing there), kErrorSharingViolation (already
// open) or kErrorGenFailure.
std::unique_ptr<Device> OpenDevice(std::u16string_view path, uint32_t* error = nullptr);

inline uint8_t LoadSendByte(const uint8_t* buffer)
{
    return std::atomic_ref<uint8_t>(*const_cast<uint8_t*>(buffer)).load(std::memory_order_acquire);
}

}  // namespace Tavo::Platform::Driver
