#pragma once

// The transfer's pace as the program keeps it (Engine/UpdateEngine.h). The
// end-to-end tests take it from there, so they hold whatever chunk size and
// pause the engine is given; DeviceProtocol.ChunkSizeAndPause alone pins the
// values the device needs. Include it before the X11 headers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "Engine/UpdateEngine.h"
#include "SimProcess.h"

inline constexpr size_t kChunkSize = LUpdateEngine::kChunkSize;
inline constexpr uint32_t kChunkPauseMs = LUpdateEngine::kChunkPauseMs;

// mixer-sim's request for one chunk on port 0 ("send 0 128").
inline std::string ChunkRequest()
{
    return "send 0 " + std::to_string(kChunkSize);
}

// What the device receives of an image of `size` bytes: whole chunks, the
// last one zero-padded.
constexpr size_t PaddedSize(size_t size)
{
    return (size + kChunkSize - 1) / kChunkSize * kChunkSize;
}

// The identity requests `sim` has been sent so far.
inline size_t IdentityRequests(const SimProcess& sim)
{
    const std::vector<std::string> log = sim.LogLines();
    return size_t(std::count(log.begin(), log.end(), "midi-in F0 7E 7F 06 01 F7"));
}

// The chunks `sim` has been sent so far.
inline size_t SentChunks(const SimProcess& sim)
{
    const std::vector<std::string> requests = sim.Requests();
    return size_t(std::count(requests.begin(), requests.end(), ChunkRequest()));
}
