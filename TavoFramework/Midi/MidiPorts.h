#pragma once

// The port objects behind the handles LMidiComm hands out. Only the service
// and tests use them.

#include "Midi/MidiComm.h"
#include "Threading/Event.h"

#include <atomic>

namespace Tavo {

class LMidiCapturePort : public virtual LRefCountedObject
{
public:
    static constexpr uint32_t kBufferCount = 3;
    static constexpr uint32_t kBufferSize = 256;

    LMidiCapturePort(const WString& wantedName, LMidiComm* service);
    ~LMidiCapturePort() override;

    // Leaves the service's array when the last outside reference goes.
    TavoResult ReleaseInternalReferences() override;

    Platform::Midi::MMRESULT Open();
    void Close();
    Platform::Midi::MMRESULT QueueAllBuffers();
    Platform::Midi::MMRESULT RequeueBuffer(Platform::Midi::MIDIHDR* header);
    void OnShortMessage(uintptr_t packed, uint32_t time);
    void OnSysExData(const uint8_t* data, int32_t length, bool complete);
    // The part of OnSysExData before the hand-off: the finished message, if any.
    RCPtr<LMidiCaptureNotificationData> AssembleSysEx(const uint8_t* data, int32_t length, bool complete);

    Platform::Midi::HMIDIIN GetHandle() const { return mHandle.load(); }
    const WString& GetWantedName() const { return mWantedName; }
    const WString& GetDeviceName() const { return mDeviceName; }

private:
    struct InputBuffer
    {
        Platform::Midi::MIDIHDR header;
        uint8_t data[kBufferSize];
        Platform::Midi::HMIDIIN bound = nullptr;
    };

    void UnprepareAll();
    void Shut();
    RCPtr<LMidiCaptureNotificationData> NewRecord(uint32_t time);

    WString mWantedName;
    WString mDeviceName;
    std::atomic<Platform::Midi::HMIDIIN> mHandle{nullptr};
    RCPtr<LMidiComm> mService;
    InputBuffer mBuffers[kBufferCount];
    bool mClosing = false;
    RCPtr<LMidiCaptureNotificationData> mPending;
    // A message grew past the cap: its remaining buffers are dropped.
    bool mDiscarding = false;
};

class LMidiRenderPort : public virtual LRefCountedObject
{
public:
    LMidiRenderPort(const WString& wantedName, LMidiComm* service);
    ~LMidiRenderPort() override;

    TavoResult ReleaseInternalReferences() override;

    Platform::Midi::MMRESULT Open();
    void Close();
    // The byte count sent, or E_FAIL.
    TavoResult SendBytes(const uint8_t* data, uint32_t length);
    void OnDone() { mIdle.Set(); }

    Platform::Midi::HMIDIOUT GetHandle() const { return mHandle.load(); }
    const WString& GetWantedName() const { return mWantedName; }
    const WString& GetDeviceName() const { return mDeviceName; }

    // Bytes of the message that starts with this byte; 0 for System Exclusive.
    static uint32_t GetMidiMessageLength(uint8_t status);

private:
    WString mWantedName;
    WString mDeviceName;
    std::atomic<Platform::Midi::HMIDIOUT> mHandle{nullptr};
    RCPtr<LMidiComm> mService;
    TrafficLight mIdle;
};

}  // namespace Tavo
