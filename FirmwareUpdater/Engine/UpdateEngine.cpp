#include "Engine/UpdateEngine.h"

#include "Midi/MidiComm.h"
#include "Midi/MidiPortNames.h"

using Tavo::RCPtr;
using Tavo::WString;

LUpdateEngine::LUpdateEngine() = default;

LUpdateEngine::~LUpdateEngine() = default;

TavoResult LUpdateEngine::Initialize(const WString& commandLine)
{
    const TavoResult base = LUpdateEngineInterface::Initialize(commandLine);
    mChunkSize = kChunkSize;
    mChunkDelay = kChunkPauseMs;
    ReleaseMidiService();
    {
        Tavo::MutexLocker lock(mProbeLock);
        mHandlers = Tavo::LNotificationHandler<LUpdateEngine>::Create(this);
    }
    if (Tavo::Failed(RenewMidiService()))
        return E_FAIL;
    return Tavo::Failed(base) ? base : S_OK;
}

TavoResult LUpdateEngine::RegisterCaptureHandler(const RCPtr<Tavo::LNotificationDistributor>& sender)
{
    if (!sender)
        return E_INVALIDARG;
    // The table is read by the service's thread; a new service delivers
    // nothing yet, so subscribing under the lock cannot wait on it.
    Tavo::MutexLocker lock(mProbeLock);
    if (!mHandlers)
        return E_FAIL;
    return mHandlers->AddHandler(&LUpdateEngine::OnMidiDataCaptured, sender, Tavo::kMidiDataCapturedName);
}

void LUpdateEngine::ReleaseMidiService()
{
    RCPtr<Tavo::LMidiCommInterface> service;
    bool registered = false;
    {
        Tavo::MutexLocker lock(mProbeLock);
        service = std::move(mMidiService);
        mMidiService = nullptr;
        mProbeService = nullptr;
        if (service && mHandlers)
            registered = mHandlers->RemoveHandler(RCPtr<Tavo::LNotificationDistributor>(service),
                                                  Tavo::kMidiDataCapturedName);
    }
    // Outside the lock: the service's thread may be waiting for it in the
    // reply handler while holding the service's own locks.
    if (registered)
        Unsubscribe(RCPtr<Tavo::LNotificationDistributor>(service), Tavo::kMidiDataCapturedName);
}

TavoResult LUpdateEngine::RenewMidiService()
{
    ReleaseMidiService();
    RCPtr<Tavo::LMidiCommInterface> service = Tavo::LMidiComm::Create();
    {
        Tavo::MutexLocker lock(mProbeLock);
        mMidiService = service;
        mProbeService = service.Get();
    }
    return RegisterCaptureHandler(RCPtr<Tavo::LNotificationDistributor>(service));
}

RCPtr<Tavo::LMidiCommInterface> LUpdateEngine::GetMidiService()
{
    Tavo::MutexLocker lock(mProbeLock);
    return mMidiService;
}

TavoResult LUpdateEngine::BuildFoundDeviceList()
{
    mFoundDevices.SetCount(0);
    for (uint32_t i = 0; i < mSupportedDevices.GetCount(); ++i) {
        DeviceDefinitionEx device(mSupportedDevices.At(i));
        if (Tavo::Succeeded(DetectDevice(device))) {
            mFoundDevices.Add(device);
            continue;
        }
        // Several mixers of one model list their ports numbered, "Name (1)",
        // "Name (2)", ..., in the order they were plugged in; the plain name
        // opens none of them. Each is found under its numbered names.
        for (const uint32_t n : NumberedInstances(device.mNames[DeviceDefinition::kNormalInput])) {
            DeviceDefinitionEx instance(mSupportedDevices.At(i));
            const WString suffix = WString::Format(u" (%u)", n);
            for (WString& name : instance.mNames)
                if (!name.IsEmpty())
                    name = name + suffix;
            if (Tavo::Succeeded(DetectDevice(instance)))
                mFoundDevices.Add(instance);
        }
    }
    return S_OK;
}

std::vector<uint32_t> LUpdateEngine::NumberedInstances(const WString& name)
{
    std::vector<uint32_t> numbers;
    if (name.IsEmpty())
        return numbers;
    const WString lowered = name.ToLower();
    const Tavo::WStringArray ports = Tavo::LMidiComm::GetInputDeviceNames();
    for (uint32_t i = 0; i < ports.GetCount(); ++i) {
        WString base;
        int32_t ordinal = 0;
        Tavo::MidiPortNames::SplitName(ports[i], base, ordinal);
        if (base != ports[i] && ordinal >= 0 && base.ToLower() == lowered)
            numbers.push_back(uint32_t(ordinal) + 1);
    }
    return numbers;
}

TavoResult LUpdateEngine::GetFoundDevices(Tavo::Array<DeviceDefinition>& devices)
{
    devices.SetCount(0);
    for (uint32_t i = 0; i < mFoundDevices.GetCount(); ++i)
        devices.Add(mFoundDevices.At(i));
    return S_OK;
}

uint32_t LUpdateEngine::GetFoundDeviceCount()
{
    return mFoundDevices.GetCount();
}

bool LUpdateEngine::IsDeviceInUpdateMode(uint32_t index)
{
    return index < GetFoundDeviceCount() && mFoundDevices.At(index).mInUpdateMode;
}

TavoResult LUpdateEngine::GetDeviceCannotUpdateReason(uint32_t index, uint32_t* reason)
{
    if (index >= GetFoundDeviceCount()) {
        if (reason)
            *reason = kReasonNone;
        return E_FAIL;
    }
    if (reason)
        *reason = mFoundDevices.At(index).mCannotUpdateReason;
    return S_OK;
}

TavoResult LUpdateEngine::GetDeviceFirmwareVersion(uint32_t index, FirmwareVersion& version)
{
    if (index >= GetFoundDeviceCount())
        return E_FAIL;
    const DeviceDefinitionEx& device = mFoundDevices.At(index);
    for (int i = 0; i < 4; ++i)
        version.mNumbers[i] = device.mVersion[i];
    version.mText = device.mVersionText;
    return S_OK;
}

TavoResult LUpdateEngine::GetSelectedDeviceValueA(uint32_t* value)
{
    const int32_t selected = GetSelectedDeviceIndex();
    if (selected < 0 || static_cast<uint32_t>(selected) >= GetFoundDeviceCount())
        return E_FAIL;
    if (value)
        *value = mFoundDevices.At(static_cast<uint32_t>(selected)).mSpareValueA;
    return S_OK;
}

TavoResult LUpdateEngine::GetSelectedDeviceValueB(uint32_t* value)
{
    const int32_t selected = GetSelectedDeviceIndex();
    if (selected < 0 || static_cast<uint32_t>(selected) >= GetFoundDeviceCount())
        return E_FAIL;
    if (value)
        *value = mFoundDevices.At(static_cast<uint32_t>(selected)).mSpareValueB;
    return S_OK;
}

uint16_t LUpdateEngine::SetChunkDelay(uint16_t milliseconds)
{
    mChunkDelay = milliseconds;
    return milliseconds;
}

bool LUpdateEngine::SetSelectedCannotUpdateReason(uint32_t reason)
{
    const int32_t selected = GetSelectedDeviceIndex();
    if (selected < 0 || static_cast<uint32_t>(selected) >= GetFoundDeviceCount())
        return false;
    mFoundDevices.At(static_cast<uint32_t>(selected)).mCannotUpdateReason = reason;
    return true;
}

TavoResult LUpdateEngine::AbortUpdate()
{
    if (GetDeviceState() != kDeviceUpdating)
        return E_FAIL;
    SetAbort(true);
    return S_OK;
}

TavoResult LUpdateEngine::RefreshDeviceState()
{
    const int32_t state = GetDeviceState();
    const int32_t selected = GetSelectedDeviceIndex();
    const bool selectionUsable = selected >= 0 && static_cast<uint32_t>(selected) < GetFoundDeviceCount();
    if (!(state > kDeviceSeveralFound || state == kDeviceEnteringUpdateMode) || !selectionUsable)
        return E_FAIL;
    // A probe replaces the MIDI service and rewrites the found record that a
    // running task works with.
    if (IsTaskPending())
        return E_FAIL;
    DeviceDefinitionEx& device = mFoundDevices.At(static_cast<uint32_t>(selected));
    if (Tavo::Failed(DetectDevice(device))) {
        if (state != kDeviceEnteringUpdateMode) {
            device.mCannotUpdateReason = kReasonDeviceAccess;
            SetDeviceState(kDeviceCannotUpdate);
        }
        return S_OK;
    }
    if (device.mInUpdateMode)
        SetDeviceState(kDeviceInUpdateMode);
    else
        SetDeviceState(state == kDeviceEnteringUpdateMode ? kDeviceEnteringUpdateMode : kDeviceNormalMode);
    return S_OK;
}

bool LUpdateEngine::IsFileNewerThanDevice()
{
    // A device that cannot be updated still answers the comparison.
    return IsFileNewerThanSelected(kDeviceSeveralFound + 1, &IsVersionNewer);
}

TavoResult LUpdateEngine::ReceiveNotification(const RCPtr<Tavo::LNotificationDistributor>& sender,
                                              const RCPtr<Tavo::LNotification>& notification)
{
    Tavo::MutexLocker lock(mProbeLock);
    return mHandlers ? mHandlers->DispatchNotification(sender, notification) : S_OK;
}

TavoResult LUpdateEngine::ReleaseInternalReferences()
{
    LUpdateEngineInterface::ReleaseInternalReferences();
    return LNotificationClient::ReleaseInternalReferences();
}
