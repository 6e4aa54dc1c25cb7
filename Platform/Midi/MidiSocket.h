#pragma once

// The default backend: devices published by other processes as Unix sockets
// in $TAVO_PLATFORM_ROOT/midi (see MidiSockets.md and MidiServer.h).

#include "Platform/Midi/MidiBackend.h"

#include <memory>

namespace Tavo::Platform::Midi {

std::shared_ptr<MidiBackend> MakeSocketBackend();

}  // namespace Tavo::Platform::Midi
