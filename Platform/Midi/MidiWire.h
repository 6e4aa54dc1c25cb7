#pragma once

// Shared by both ends of the MIDI sockets: folder, device files and framing
// (described in MidiSockets.md).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Kernel/LittleEndian.h"
#include "Platform/Kernel/TextCoding.h"

namespace Tavo::Platform::Midi::Wire {

inline constexpr uint16_t kVersion = 1;
inline constexpr uint32_t kMaxFrame = 16u << 20;

enum FrameType : uint8_t {
    kHello = 0x01,
    kAccept = 0x02,
    kRefuse = 0x03,
    kData = 0x10,
    kMessage = 0x20,
    kTaken = 0x21,
};

enum Direction : uint8_t {
    kToProgram = 0,    // the program's input port
    kFromProgram = 1,  // the program's output port
};

// $TAVO_PLATFORM_ROOT/midi (or the default root), made private when absent;
// empty when it cannot be made. For a device that publishes its ports.
std::string MidiFolder();
// The same folder when it is there already, else empty: a program that only
// looks for ports makes no folder.
std::string FoundMidiFolder();

using Tavo::Platform::FromUtf8;
using Tavo::Platform::ToUtf8;

struct DeviceFile
{
    std::string id;  // sockets are <id>.sock beside <id>.dev
    std::u16string inputName;
    std::u16string outputName;
};

// Published devices in the order they were published; those of processes
// that no longer run are left out.
std::vector<DeviceFile> ListDevices(const std::string& folder);

// A Unix stream socket bound or connected to folder/file; paths too long for
// a socket address go through the folder's descriptor.
int Connect(const std::string& folder, const std::string& file);
int Listen(const std::string& folder, const std::string& file);

// Writes one whole frame; false when the peer is gone.
bool WriteFrame(int fd, uint8_t type, const uint8_t* payload, size_t size);
// Reads one whole frame from a blocking socket; false at the end of the
// stream, on errors and on frames over kMaxFrame.
bool ReadFrame(int fd, uint8_t& type, std::vector<uint8_t>& payload);

// Splits frames out of bytes read in pieces.
class FrameBuffer
{
public:
    void Append(const uint8_t* data, size_t size) { mBytes.insert(mBytes.end(), data, data + size); }
    // 1: a frame, 0: need more bytes, -1: malformed.
    int Next(uint8_t& type, std::vector<uint8_t>& payload);

private:
    std::vector<uint8_t> mBytes;
    size_t mStart = 0;
};

}  // namespace Tavo::Platform::Midi::Wire
