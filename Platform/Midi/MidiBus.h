#pragma once

// An in-process MIDI backend for tests: devices are plugged in and out by
// name, input is injected as raw bytes, output is recorded message by
// message, and an output device can be scripted to answer on an input.

#include "Platform/Midi/MidiBackend.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Tavo::Platform::Midi {

class MidiBus final : public MidiBackend, public std::enable_shared_from_this<MidiBus>
{
public:
    using Bytes = std::vector<uint8_t>;
    using DeviceId = uint32_t;

    // A new, empty bus, installed as the backend for ports opened from now on.
    static std::shared_ptr<MidiBus> Install();

    MidiBus();
    ~MidiBus() override;

    // Devices are listed in the order they were plugged in.
    DeviceId PlugInput(const std::u16string& name);
    DeviceId PlugOutput(const std::u16string& name);
    // The device leaves the lists; its open ports fail from now on.
    void Unplug(DeviceId device);

    // What an input device says: parsed into the open port's buffers and
    // callbacks before this returns. False when no port is open on it.
    bool Inject(DeviceId input, const Bytes& bytes);

    // Every message sent to an output device, in order.
    std::vector<Bytes> Sent(DeviceId output);
    // Waits until at least count messages were sent to the device.
    bool WaitSent(DeviceId output, size_t count, std::chrono::milliseconds timeout);

    // When the output device receives exactly `request`, it says `reply` on
    // the input device.
    void Respond(DeviceId output, const Bytes& request, DeviceId input, const Bytes& reply);
    // False: long messages are recorded but not reported as taken until it
    // is set back to true (never, to test time-outs).
    void SetTakesMessages(DeviceId output, bool takes);

    std::vector<std::u16string> InputNames() override;
    std::vector<std::u16string> OutputNames() override;
    MMRESULT OpenInput(uint32_t device, InputSink& sink, std::unique_ptr<InputLink>& link) override;
    MMRESULT OpenOutput(uint32_t device, OutputSink& sink, std::unique_ptr<OutputLink>& link) override;

private:
    class InLink;
    class OutLink;

    struct Reply
    {
        Bytes request;
        DeviceId input;
        Bytes reply;
    };

    struct Device
    {
        std::u16string name;
        bool input = false;
        bool present = true;
        bool takes = true;
        std::vector<Bytes> sent;
        std::vector<Reply> replies;
        std::vector<std::pair<uint64_t, uint64_t>> held;  // link, token
    };

    struct Link
    {
        DeviceId device = 0;
        InputSink* in = nullptr;
        OutputSink* out = nullptr;
        int uses = 0;  // sink calls in progress
        bool closed = false;
    };

    struct Work
    {
        uint64_t link;
        DeviceId device;
        Bytes bytes;
        uint64_t token;
    };

    DeviceId Plug(const std::u16string& name, bool input);
    std::vector<std::u16string> Names(bool input);
    int FindDevice(uint32_t number, bool input);
    bool Present(DeviceId device);
    MMRESULT Send(uint64_t link, DeviceId device, const uint8_t* data, size_t size, uint64_t token);
    void CloseLink(uint64_t link);
    void Taken(std::unique_lock<std::mutex>& l, uint64_t link, uint64_t token);
    void Run();

    std::mutex mLock;
    std::condition_variable mChanged;
    std::map<DeviceId, Device> mDevices;
    std::map<uint64_t, Link> mLinks;
    std::deque<Work> mWork;
    DeviceId mNextDevice = 1;
    uint64_t mNextLink = 1;
    bool mStopping = false;
    std::thread mThread;
};

}  // namespace Tavo::Platform::Midi
