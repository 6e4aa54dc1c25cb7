#pragma once

#include <cstdint>
#include <vector>

#include "Platform/Driver/DriverServe.h"

// Frames of the driver socket (SOCK_SEQPACKET, one frame per packet, all
// numbers little-endian); described in Platform/Driver/README.md.
namespace Tavo::Platform::Driver::Framing {

enum Type : uint32_t {
    kOpened = 1,   // server -> client, first frame: the handle is open
    kBusy = 2,     // server -> client, first frame: already open elsewhere
    kRequest = 3,  // client -> server
    kReply = 4,    // server -> client, answers the request with the same sequence
    kTaken = 5,    // server -> client: a sent message was taken
    kInput = 6,    // server -> client: input is pending
};

constexpr size_t kMaxFrame = 65536;

std::vector<uint8_t> Simple(Type type);
std::vector<uint8_t> Taken(uint64_t token);
std::vector<uint8_t> EncodeRequest(uint32_t sequence, const Request& request);
std::vector<uint8_t> EncodeReply(uint32_t sequence, const Reply& reply);

// Type of a frame; 0 when shorter than a type.
uint32_t TypeOf(const uint8_t* data, size_t size);
bool DecodeRequest(const uint8_t* data, size_t size, uint32_t& sequence, Request& request);
bool DecodeReply(const uint8_t* data, size_t size, uint32_t& sequence, Reply& reply);
bool DecodeTaken(const uint8_t* data, size_t size, uint64_t& token);

// Whole frame or nothing; false when the peer is gone.
bool SendFrame(int fd, const std::vector<uint8_t>& frame);

}  // namespace Tavo::Platform::Driver::Framing
