#pragma once

// Where the MIDI devices come from. The layer (Midi.h) keeps buffers, parsing
// and callbacks; a backend only lists devices and moves bytes.

#include "Platform/Midi/Midi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Tavo::Platform::Midi {

// Receives what an input device says. Called on any thread, never after the
// link that calls it has been destroyed.
class InputSink
{
public:
    virtual void OnBytes(const uint8_t* data, size_t size) = 0;
    virtual void OnGone() = 0;

protected:
    ~InputSink() = default;
};

// Learns that an output device took a message sent with a token.
class OutputSink
{
public:
    virtual void OnTaken(uint64_t token) = 0;
    virtual void OnGone() = 0;

protected:
    ~OutputSink() = default;
};

// An open connection to a device; destroying it closes it and waits until it
// calls its sink no more.
class InputLink
{
public:
    virtual ~InputLink() = default;
    virtual std::u16string Name() = 0;
    // False once the device has gone.
    virtual bool Alive() = 0;
};

class OutputLink
{
public:
    virtual ~OutputLink() = default;
    virtual std::u16string Name() = 0;
    virtual bool Alive() = 0;
    // One complete message; token 0 asks for no OnTaken.
    virtual MMRESULT Send(const uint8_t* data, size_t size, uint64_t token) = 0;
};

class MidiBackend
{
public:
    virtual ~MidiBackend() = default;
    // Names in device-number order.
    virtual std::vector<std::u16string> InputNames() = 0;
    virtual std::vector<std::u16string> OutputNames() = 0;
    // The device with this number at the time of the call.
    virtual MMRESULT OpenInput(uint32_t device, InputSink& sink, std::unique_ptr<InputLink>& link) = 0;
    virtual MMRESULT OpenOutput(uint32_t device, OutputSink& sink, std::unique_ptr<OutputLink>& link) = 0;
};

// Installs the backend for ports opened from now on; null brings back the
// socket backend, which is the default. Open ports keep their backend.
void SetMidiBackend(std::shared_ptr<MidiBackend> backend);
std::shared_ptr<MidiBackend> CurrentMidiBackend();

}  // namespace Tavo::Platform::Midi
