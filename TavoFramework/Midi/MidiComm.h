#pragma once

// The MIDI port service over the platform's MIDI layer. Ports are opened by
// the names of the port directory; capture ports are shared by name, render
// ports are opened per request unless the name is a device's own.

#include "Midi/MidiCommInterface.h"
#include "Platform/Midi/Midi.h"
#include "Threading/ThreadPool.h"
#include "Threading/ThreadWorker.h"
#include "Utilities/Storage/StringArray.h"

#include <vector>

namespace Tavo {

class LMidiCapturePort;
class LMidiRenderPort;

class LMidiComm : public LMidiCommInterface, public LThreadWorker
{
public:
    // A new service on every call.
    static RCPtr<LMidiCommInterface> Create();

    // The port directory, read anew on every call.
    static WStringArray GetInputDeviceNames();
    static WStringArray GetOutputDeviceNames();

    TavoResult OpenCapturePort(const WString& name, RCPtr<LRefCountedObject>& port) override;
    TavoResult OpenRenderPort(const WString& name, RCPtr<LRefCountedObject>& port) override;
    using LMidiCommInterface::Send;
    TavoResult Send(const RCPtr<LRefCountedObject>& port, const ConstRCPtr<LIBuffer>& buffer) override;
    TavoResult Send(const RCPtr<LRefCountedObject>& port, const uint8_t* data, uint32_t length) override;

    // The pool's job: delivers one captured record.
    uint32_t DoWork(RCPtr<LRefCountedObject>& param) override;
    // The pool names its thread after the job on every hand-off: kept cheap.
    WString ToString() const override;

    // How long a long send waits for the device; 10 s unless a test shortens it.
    static uint32_t GetSendTimeout();
    static void SetSendTimeoutForTesting(uint32_t ms);
    // How a long send waits for the device to finish: the gate's own wait
    // unless a test runs it on its own clock (null puts that back).
    using SendWait = uint32_t (*)(TrafficLight& done, uint32_t timeoutMs);
    static void SetSendWait(SendWait wait);

    // How many bytes of one unfinished System Exclusive message are kept.
    static constexpr size_t kMaxSysExBytes = 1u << 20;

private:
    friend class LMidiCapturePort;
    friend class LMidiRenderPort;

    LMidiComm();
    ~LMidiComm() override;

    // Under mPortLock: the port leaves its array unless someone took it again
    // meanwhile. False when it stays.
    bool RemoveCapturePort(LMidiCapturePort* port);
    bool RemoveRenderPort(LMidiRenderPort* port);
    // Under mPortLock: hands a record to the pool.
    void Deliver(const RCPtr<LMidiCaptureNotificationData>& record);

    static void MidiInProc(Platform::Midi::HMIDIIN handle, uint32_t message, uintptr_t instance,
                           uintptr_t param1, uintptr_t param2);
    static void MidiOutProc(Platform::Midi::HMIDIOUT handle, uint32_t message, uintptr_t instance,
                            uintptr_t param1, uintptr_t param2);

    std::vector<RCPtr<LMidiCapturePort>> mCapturePorts;
    std::vector<RCPtr<LMidiRenderPort>> mRenderPorts;
    RCPtr<LThreadPool> mThreadPool;
    Mutex mPortLock;
};

}  // namespace Tavo
