#pragma once

// Tells whether watched MIDI ports can be opened now, and posts a
// connection-status notification for each port whose availability changed
// since it was last looked at. Polled by its owner; no thread of its own.

#include "Midi/MidiCommInterface.h"
#include "Utilities/Storage/StringArray.h"

#include <vector>

namespace Tavo {

inline constexpr char16_t kMidiInputConnectionChangedName[] =
    u"NID_MIDI_INPUT_DEVICE_CONNECTION_STATUS_CHANGED";
inline constexpr char16_t kMidiOutputConnectionChangedName[] =
    u"NID_MIDI_OUTPUT_DEVICE_CONNECTION_STATUS_CHANGED";

class LMidiDeviceStatusChecker : public virtual LRefCountedObject
{
public:
    struct DeviceInfo
    {
        WString name;
        bool connected = false;
    };

    static RCPtr<LMidiDeviceStatusChecker> Create(const RCPtr<LMidiCommInterface>& service);

    void SetInputDevices(const WString& name);
    void SetOutputDevices(const WString& name);
    void SetInputDeviceList(const WStringArray& names);
    void SetOutputDeviceList(const WStringArray& names);

    // True when every watched port can be opened now. Outputs are looked at
    // only when every input can.
    bool Poll();

    const std::vector<DeviceInfo>& GetInputs() const { return mInputs; }
    const std::vector<DeviceInfo>& GetOutputs() const { return mOutputs; }

private:
    explicit LMidiDeviceStatusChecker(const RCPtr<LMidiCommInterface>& service) : mService(service) {}

    bool IsInputPortAvailable(const WString& name);
    bool IsOutputPortAvailable(const WString& name);
    bool Check(std::vector<DeviceInfo>& devices, bool input);

    RCPtr<LMidiCommInterface> mService;
    std::vector<DeviceInfo> mInputs;
    std::vector<DeviceInfo> mOutputs;
};

// The data of both connection-status notifications.
class LMidiDeviceConnectionStatusChangedNotification : public virtual LRefCountedObject
{
public:
    static constexpr uint32_t kConnected = 0;
    static constexpr uint32_t kDisconnected = 1;

    static RCPtr<LMidiDeviceConnectionStatusChangedNotification> Create(
        const LMidiDeviceStatusChecker::DeviceInfo& device, uint32_t status);

    const WString& GetName() const { return mName; }
    uint32_t GetStatus() const { return mStatus; }

private:
    LMidiDeviceConnectionStatusChangedNotification(const WString& name, uint32_t status)
        : mName(name), mStatus(status)
    {
    }

    WString mName;
    uint32_t mStatus;
};

}  // namespace Tavo
