#include "Midi/MidiDeviceStatusChecker.h"

#include "Notification/NotificationCenter.h"

namespace Tavo {

RCPtr<LMidiDeviceStatusChecker> LMidiDeviceStatusChecker::Create(const RCPtr<LMidiCommInterface>& service)
{
    return RCPtr<LMidiDeviceStatusChecker>(new LMidiDeviceStatusChecker(service));
}

RCPtr<LMidiDeviceConnectionStatusChangedNotification> LMidiDeviceConnectionStatusChangedNotification::Create(
    const LMidiDeviceStatusChecker::DeviceInfo& device, uint32_t status)
{
    return RCPtr<LMidiDeviceConnectionStatusChangedNotification>(
        new LMidiDeviceConnectionStatusChangedNotification(device.name, status));
}

void LMidiDeviceStatusChecker::SetInputDevices(const WString& name)
{
    WStringArray names;
    names.Add(name);
    SetInputDeviceList(names);
}

void LMidiDeviceStatusChecker::SetOutputDevices(const WString& name)
{
    WStringArray names;
    names.Add(name);
    SetOutputDeviceList(names);
}

void LMidiDeviceStatusChecker::SetInputDeviceList(const WStringArray& names)
{
    for (uint32_t i = 0; i < names.GetCount(); ++i)
        mInputs.push_back({names[i], IsInputPortAvailable(names[i])});
}

void LMidiDeviceStatusChecker::SetOutputDeviceList(const WStringArray& names)
{
    for (uint32_t i = 0; i < names.GetCount(); ++i)
        mOutputs.push_back({names[i], IsOutputPortAvailable(names[i])});
}

bool LMidiDeviceStatusChecker::IsInputPortAvailable(const WString& name)
{
    if (!mService)
        return false;
    RCPtr<LRefCountedObject> port;
    return mService->OpenCapturePort(name, port) >= 0 && port;
}

bool LMidiDeviceStatusChecker::IsOutputPortAvailable(const WString& name)
{
    if (!mService)
        return false;
    RCPtr<LRefCountedObject> port;
    return mService->OpenRenderPort(name, port) >= 0 && port;
}

bool LMidiDeviceStatusChecker::Check(std::vector<DeviceInfo>& devices, bool input)
{
    bool all = true;
    for (DeviceInfo& device : devices) {
        bool available = input ? IsInputPortAvailable(device.name) : IsOutputPortAvailable(device.name);
        if (available != device.connected) {
            uint32_t status = available ? LMidiDeviceConnectionStatusChangedNotification::kConnected
                                        : LMidiDeviceConnectionStatusChangedNotification::kDisconnected;
            RCPtr<LMidiDeviceConnectionStatusChangedNotification> data =
                LMidiDeviceConnectionStatusChangedNotification::Create(device, status);
            RCPtr<LNotification> notification = LNotification::Create(
                input ? kMidiInputConnectionChangedName : kMidiOutputConnectionChangedName,
                ConstRCPtr<LRefCountedObject>(data));
            if (RCPtr<LNotificationCenter> center = GetMainNotificationCenter())
                center->Post(notification);
            device.connected = available;
        }
        all = all && device.connected;
    }
    return all;
}

bool LMidiDeviceStatusChecker::Poll()
{
    if (!Check(mInputs, true))
        return false;
    return Check(mOutputs, false);
}

}  // namespace Tavo
