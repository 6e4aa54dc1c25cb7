#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace MixerSim {

using Version = std::array<uint8_t, 4>;

enum class Mode { Normal, Update, Absent };

// Faults the tests provoke; chunk numbers count port-0 messages from 1.
struct Faults
{
    bool refuseUpdateFlag = false;
    bool refuseOpenPort = false;
    uint32_t refuseChunk = 0;
    bool neverTake = false;
    uint32_t takeDelayMs = 0;
    uint32_t detachAtChunk = 0;
    // The first time the update flag goes on, the device resets at once and
    // comes back: the handle that set it goes stale, the flag is off.
    bool reenumerateAfterFlag = false;
    uint32_t replyDelayMs = 0;
    std::optional<uint32_t> replyLength;
};

struct Options
{
    std::string root;
    Mode mode = Mode::Normal;
    Version version{0, 0, 3, 6};
    Version afterUpdateVersion{0, 0, 3, 7};
    std::string receivedPath;
    std::string logPath;
    uint32_t installMs = 2000;
    // Mixers of the same model plugged in; all but the first only answer the
    // identity request.
    uint32_t devices = 1;
    Faults faults;
};

// "A.B.C.D" with each part a MIDI data byte (0 to 127).
std::optional<Version> ParseVersion(const std::string& text);
std::string FormatVersion(const Version& version);

// Fills `options` from argv; false with a message in `error` on bad input,
// true with `help` set when usage was asked for.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error, bool& help);
const char* Usage();

// The control socket under the root.
std::string ControlSocketPath(const std::string& root);

}  // namespace MixerSim
