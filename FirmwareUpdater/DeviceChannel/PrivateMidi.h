#pragma once

#include <cstdint>
#include <memory>

#include "DeviceChannel/DeviceInstance.h"

class PrivateMidi;

// Channel results.
enum PrivateMidiResult : int32_t {
    kPrivateMidiOk = 0,
    kPrivateMidiBadPortOrNoRecord = -1,
    kPrivateMidiDeviceNotOpen = -2,
    kPrivateMidiPortNotOpen = -3,
    kPrivateMidiPortAlreadyOpen = -4,
    kPrivateMidiOpenRefused = -5,
    kPrivateMidiCloseRefused = -6,
    kPrivateMidiSendRefused = -8,
};

// Receives what the poll thread collected on an input slot.
class PrivateMidiInputReceiver
{
public:
    virtual ~PrivateMidiInputReceiver() = default;
    virtual void OnInput(uint32_t port, const uint8_t* data, uint32_t length, uint32_t value0,
                         uint32_t value1, uint32_t endFlag, PrivateMidi* owner) = 0;
};

// A MIDI channel to the mixer through the driver's property requests: 32
// ports, each with 16 send buffers whose first byte the driver flips when it
// has taken the message.
class PrivateMidi
{
public:
    static constexpr uint32_t kPortCount = 32;
    static constexpr uint32_t kRecordCount = 16;

    explicit PrivateMidi(const DeviceInstanceRecord& record);
    virtual ~PrivateMidi();
    PrivateMidi(const PrivateMidi&) = delete;
    PrivateMidi& operator=(const PrivateMidi&) = delete;

    int32_t OpenPort(uint32_t port);
    // Returns once the driver accepted the message; the copy stays busy
    // until the driver has taken it.
    int32_t Send(uint32_t port, const uint8_t* data, uint32_t length);
    // Waits for the open ports to drain (at most kDrainLimitMs), then closes
    // the channel.
    int32_t Close();
    // Closes the channel, stops reading input and takes the event back from
    // the driver, but keeps the device handle for the requests that end a
    // transfer (SetUpdateFlag); nothing else works after it. The destructor
    // does it when it was not done.
    void Shutdown();
    // Sets the driver's update flag through this channel's own handle. False
    // when the driver refused, and without asking once the device went away
    // under a handle of the channel, even when it came back at once: the
    // device the flag would reach then is not the one that got what went
    // through the channel before.
    bool SetUpdateFlag(uint32_t value);
    static constexpr uint32_t kDrainLimitMs = 2000;
    // Every close (the drain's end, a detach, the destructor's) adds to
    // *counter the messages the driver never took; null stops it. The
    // counter must outlive the channel.
    void ReportUntakenTo(uint32_t* counter);
    // One step of that wait, or of a sender's wait for a free copy: a sleep
    // unless a test runs it on its own clock (null puts the sleep back).
    using DrainStep = void (*)(uint32_t ms);
    static void SetDrainStep(DrainStep step);

    // Opens an input slot of `bufferSize` bytes whose collected input goes to
    // `receiver` (which must outlive the channel or the slot).
    int32_t OpenInput(uint32_t port, PrivateMidiInputReceiver* receiver, uint32_t bufferSize);

    // A send record as seen by the channel: its capacity (0 when empty) and
    // whether the driver still holds it.
    struct RecordState
    {
        uint32_t capacity = 0;
        bool busy = false;
    };
    RecordState GetRecordState(uint32_t port, uint32_t index) const;

    struct MemberData;

private:
    std::unique_ptr<MemberData> mData;
};
