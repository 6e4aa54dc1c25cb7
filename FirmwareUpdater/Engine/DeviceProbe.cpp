#include "Engine/UpdateEngine.h"

#include "Midi/MidiDeviceStatusChecker.h"

using Tavo::LRefCountedObject;
using Tavo::RCPtr;
using Tavo::WString;

namespace {

// Universal non-real-time, all devices, identity request.
constexpr uint8_t kIdentityRequest[6] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

// Reply bytes holding the four version numbers.
constexpr uint32_t kVersionOffset = 11;

}  // namespace

bool LUpdateEngine::ProbeDevicePorts(const WString& inputName, const WString& outputName)
{
    // A fresh service: no port open, and replies to older queries go nowhere.
    RenewMidiService();
    RCPtr<Tavo::LMidiDeviceStatusChecker> checker = Tavo::LMidiDeviceStatusChecker::Create(GetMidiService());
    if (!checker)
        return false;
    checker->SetInputDevices(inputName);
    checker->SetOutputDevices(outputName);
    return checker->Poll();
}

TavoResult LUpdateEngine::DetectDevice(DeviceDefinitionEx& device)
{
    const WString normalInput = device.mNames[DeviceDefinition::kNormalInput];
    const WString normalOutput = device.mNames[DeviceDefinition::kNormalOutput];
    const WString updateInput = device.mNames[DeviceDefinition::kUpdateInput];
    const WString updateOutput = device.mNames[DeviceDefinition::kUpdateOutput];

    if (ProbeDevicePorts(normalInput, normalOutput)) {
        device.mInUpdateMode = false;
        device.mCannotUpdateReason = kReasonNone;
        {
            Tavo::MutexLocker lock(mProbeLock);
            mProbeRecord = device;
        }
        RCPtr<LRefCountedObject> capture;
        RCPtr<LRefCountedObject> render;
        RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
        if (service) {
            // The open capture port is what lets the reply in.
            service->OpenCapturePort(normalInput, capture);
            service->OpenRenderPort(normalOutput, render);
        }
        const TavoResult hr = QueryDeviceIdentity(device, &capture, &render);
        {
            Tavo::MutexLocker lock(mProbeLock);
            device = mProbeRecord;
        }
        render = nullptr;
        capture = nullptr;
        if (Tavo::Succeeded(hr))
            return hr;
    }
    if (ProbeDevicePorts(updateInput, updateOutput)) {
        device.mVersionText = u"Unknown";
        device.mInUpdateMode = true;
        device.mCannotUpdateReason = kReasonNone;
        return S_OK;
    }
    return E_FAIL;
}

TavoResult LUpdateEngine::QueryDeviceIdentity(DeviceDefinitionEx&, RCPtr<LRefCountedObject>*,
                                              RCPtr<LRefCountedObject>* renderPort)
{
    {
        Tavo::MutexLocker lock(mProbeLock);
        mReplyGate.Reset();
        mQueryOpen = true;
    }
    SendIdentityRequest(renderPort ? *renderPort : RCPtr<LRefCountedObject>());
    const uint32_t wait = mReplyWait ? mReplyWait(mReplyGate, kReplyWaitMs) : mReplyGate.Wait(kReplyWaitMs);
    {
        // A late reply must not write into a record the caller reads now.
        Tavo::MutexLocker lock(mProbeLock);
        mQueryOpen = false;
    }
    return wait == Tavo::WAIT_TIMEOUT ? E_FAIL : S_OK;
}

void LUpdateEngine::SendIdentityRequest(RCPtr<LRefCountedObject> renderPort)
{
    RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
    if (!renderPort || !service)
        return;
    service->Send(renderPort, kIdentityRequest, sizeof(kIdentityRequest));
}

TavoResult LUpdateEngine::OnMidiDataCaptured(const RCPtr<Tavo::LNotificationDistributor>& sender,
                                             const RCPtr<Tavo::LNotification>& notification)
{
    if (!notification)
        return 0;
    auto data = Tavo::RCPtrDynamicCast<Tavo::LMidiCaptureNotificationData>(notification->GetData());
    if (!data)
        return 0;
    Tavo::MutexLocker lock(mProbeLock);
    if (!mQueryOpen || !sender || sender.Get() != mProbeService)
        return 0;
    const std::vector<uint8_t>& bytes = data->GetBytes();
    if (!IsIdentityReply(bytes.data(), static_cast<uint32_t>(bytes.size())))
        return 0;
    FirmwareVersion version;
    ParseIdentityReply(bytes.data(), version);
    for (int i = 0; i < 4; ++i)
        mProbeRecord.mVersion[i] = version.mNumbers[i];
    mProbeRecord.mVersionText = version.mText;
    // One reply per query.
    mQueryOpen = false;
    mReplyGate.Set();
    return 0;
}

bool LUpdateEngine::IsIdentityReply(const uint8_t* message, uint32_t count)
{
    return message && count == kIdentityReplyLength && message[0] == 0xF0 && message[1] == 0x7E &&
           message[3] == 0x06 && message[4] == 0x02;
}

void LUpdateEngine::ParseIdentityReply(const uint8_t* message, FirmwareVersion& target)
{
    for (uint32_t i = 0; i < 4; ++i) {
        // Widened with the sign, as the bytes are read as signed.
        const int32_t value = static_cast<int8_t>(message[kVersionOffset + i]);
        target.mNumbers[i] = static_cast<uint32_t>(value);
    }
    target.mText = GetVersionText(target.mNumbers);
}

WString LUpdateEngine::GetVersionText(const uint32_t numbers[4])
{
    const uint32_t third = numbers[2];
    const uint32_t fourth = numbers[3];
    if (numbers[0] != 0 || numbers[1] != 0)
        return WString(u"Unknown");
    if (third <= 1)
        return WString(u"1.0");
    if (third == 2)
        return WString(fourth <= 7 ? u"1.0" : u"1.1");
    if (third == 3) {
        if (fourth <= 2)
            return WString(u"1.1");
        if (fourth == 3)
            return WString(u"1.0.1");
        if (fourth <= 5)
            return WString(u"1.1");
        if (fourth <= 7)
            return WString(u"1.2");
    }
    // Includes 0.0.3.8 and above, which name no known release.
    return WString(u"Unknown");
}

bool LUpdateEngine::IsVersionNewer(const FirmwareVersion& device, const FirmwareVersion& file)
{
    const uint32_t* d = device.mNumbers;
    const uint32_t* f = file.mNumbers;
    for (int i = 0; i < 2; ++i) {
        if (f[i] != d[i])
            return f[i] > d[i];
    }
    // 0.0.3.3 is a patch of 1.0: it ranks between 0.0.2.7 and 0.0.2.8.
    auto isPatch = [](const uint32_t* v) { return v[0] == 0 && v[1] == 0 && v[2] == 3 && v[3] == 3; };
    if (isPatch(f)) {
        if (d[2] == 2)
            return d[3] < 8;
        return d[2] < 2;
    }
    if (isPatch(d)) {
        if (f[2] == 2)
            return f[3] >= 8;
        return f[2] >= 3;
    }
    if (f[2] != d[2])
        return f[2] > d[2];
    return f[3] > d[3];
}
