#include "Engine/UpdateEngineInterface.h"

#include "Engine/FirmwareImage.h"

#include "Notification/Notification.h"
#include "Notification/NotificationCenter.h"
#include "Platform/Kernel/KernelThread.h"
#include "Utilities/Storage/File.h"

#include <algorithm>

using Tavo::ConstRCPtr;
using Tavo::LRefCountedObject;
using Tavo::RCPtr;
using Tavo::WString;

namespace {

bool IsRefusingState(int32_t state)
{
    return state == LUpdateEngineInterface::kDeviceReserved ||
           state == LUpdateEngineInterface::kDeviceEnteringUpdateMode ||
           state == LUpdateEngineInterface::kDeviceUpdating;
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

}  // namespace

LUpdateEngineInterface::LUpdateEngineInterface() : mWorker(WString()), mCompletion(Tavo::LEvent::Create())
{
    mTaskIdle.Set();
}

LUpdateEngineInterface::~LUpdateEngineInterface() = default;

TavoResult LUpdateEngineInterface::Initialize(const WString&)
{
    return S_OK;
}

int32_t LUpdateEngineInterface::GetDeviceState()
{
    return mDeviceState.load();
}

TavoResult LUpdateEngineInterface::SetOption(int32_t)
{
    return S_OK;
}

TavoResult LUpdateEngineInterface::SetSupportedDevices(const Tavo::Array<DeviceDefinition>& devices)
{
    if (IsRefusingState(GetDeviceState()))
        return E_FAIL;
    mSupportedDevices = devices;
    mSelectedIndex = -1;
    SetDeviceState(kDeviceNoneFound);
    return S_OK;
}

TavoResult LUpdateEngineInterface::ScanForDevices()
{
    if (IsRefusingState(GetDeviceState()))
        return E_FAIL;
    mSelectedIndex = -1;
    const TavoResult hr = BuildFoundDeviceList();
    const uint32_t count = GetFoundDeviceCount();
    if (count == 0 || Tavo::Failed(hr)) {
        SetDeviceState(kDeviceNoneFound);
    } else if (count == 1) {
        // The selection posts the change with 3 as the old state.
        mDeviceState = kDeviceSeveralFound;
        SelectDevice(0);
    } else {
        SetDeviceState(kDeviceSeveralFound);
    }
    return hr;
}

TavoResult LUpdateEngineInterface::SelectDevice(uint32_t index)
{
    const int32_t state = GetDeviceState();
    if (state < kDeviceSeveralFound || state == kDeviceEnteringUpdateMode || state == kDeviceUpdating)
        return E_FAIL;
    mSelectedIndex = -1;
    if (index >= GetFoundDeviceCount()) {
        SetDeviceState(kDeviceSeveralFound);
        return E_INVALIDARG;
    }
    mSelectedIndex = static_cast<int32_t>(index);
    uint32_t reason = kReasonNone;
    if (Tavo::Succeeded(GetDeviceCannotUpdateReason(index, &reason)) && reason == kReasonNone)
        SetDeviceState(IsDeviceInUpdateMode(index) ? kDeviceInUpdateMode : kDeviceNormalMode);
    else
        SetDeviceState(kDeviceCannotUpdate);
    return S_OK;
}

int32_t LUpdateEngineInterface::GetSelectedDeviceIndex()
{
    return mSelectedIndex.load();
}

TavoResult LUpdateEngineInterface::GetCannotUpdateReason(uint32_t* reason)
{
    if (GetDeviceState() != kDeviceCannotUpdate) {
        if (reason)
            *reason = kReasonNone;
        return E_FAIL;
    }
    return GetDeviceCannotUpdateReason(static_cast<uint32_t>(GetSelectedDeviceIndex()), reason);
}

TavoResult LUpdateEngineInterface::GetDeviceFirmwareVersionText(WString& text)
{
    text = u"N/A";
    if (GetDeviceState() < kDeviceCannotUpdate)
        return E_FAIL;
    FirmwareVersion version;
    if (Tavo::Failed(GetDeviceFirmwareVersion(static_cast<uint32_t>(GetSelectedDeviceIndex()), version)))
        return E_FAIL;
    text = version.mText;
    return S_OK;
}

int32_t LUpdateEngineInterface::GetTransitionState()
{
    return 0;
}

TavoResult LUpdateEngineInterface::RequestUpdateMode()
{
    if (IsEnding())
        return E_FAIL;
    if (!UsesWorkerThread())
        return EnterUpdateMode();
    SetAbort(false);
    const int32_t previous = GetDeviceState();
    SetDeviceState(kDeviceEnteringUpdateMode);
    const TavoResult hr = HandOver(kTaskEnterUpdateMode);
    if (Tavo::Failed(hr))
        SetDeviceState(previous);
    return hr;
}

bool LUpdateEngineInterface::IsFileNewerThanDevice()
{
    return IsFileNewerThanSelected(kDeviceCannotUpdate,
                                   [](const FirmwareVersion& device, const FirmwareVersion& file) {
                                       for (int i = 0; i < 3; ++i) {
                                           if (device.mNumbers[i] != file.mNumbers[i])
                                               return device.mNumbers[i] < file.mNumbers[i];
                                       }
                                       return false;
                                   });
}

bool LUpdateEngineInterface::IsFileNewerThanSelected(int32_t lowestDeviceState, VersionOrder newer)
{
    const int32_t selected = GetSelectedDeviceIndex();
    if (GetFileState() < kFileValid || GetDeviceState() < lowestDeviceState || selected < 0 ||
        static_cast<uint32_t>(selected) >= GetFoundDeviceCount())
        return false;
    FirmwareVersion device;
    if (Tavo::Failed(GetDeviceFirmwareVersion(static_cast<uint32_t>(selected), device)))
        return false;
    FirmwareVersion file;
    GetFileFirmwareVersion(file);
    return newer(device, file);
}

bool LUpdateEngineInterface::IsUpdateSupported()
{
    return true;
}

TavoResult LUpdateEngineInterface::StartUpdate()
{
    if (IsEnding() || GetFileState() <= kFileMissing || GetDeviceState() != kDeviceInUpdateMode)
        return E_FAIL;
    SetAbort(false);
    SetDeviceState(kDeviceUpdating);
    const TavoResult hr = HandOver(kTaskPerformUpdate);
    // A refused hand-over must not leave the window stuck in "updating".
    if (Tavo::Failed(hr))
        SetDeviceState(kDeviceInUpdateMode);
    return hr;
}

TavoResult LUpdateEngineInterface::WaitForUpdate(uint32_t timeoutMs)
{
    if (!mTaskPending.load())
        return S_OK;
    return mTaskIdle.Wait(timeoutMs) == Tavo::WAIT_TIMEOUT ? E_FAIL : S_OK;
}

int32_t LUpdateEngineInterface::GetUpdateState(bool resetIfFinished)
{
    int32_t state = mUpdateState.load();
    if (!resetIfFinished)
        return state;
    // Only the reader that sees a finished state takes it.
    while (state >= kUpdateFailed && !mUpdateState.compare_exchange_weak(state, kUpdateIdle)) {
    }
    return state;
}

int32_t LUpdateEngineInterface::GetFileState()
{
    return mFileState.load();
}

TavoResult LUpdateEngineInterface::SetFirmwareFile(const WString& path, const FirmwareVersion& version)
{
    {
        Tavo::MutexLocker lock(mFileLock);
        mFirmwarePath = path;
        mFileVersion = version;
    }
    if (IsUsableFirmwareImage(path)) {
        SetFileState(kFileValid);
        return S_OK;
    }
    SetFileState(kFileMissing);
    return E_FAIL;
}

TavoResult LUpdateEngineInterface::SetFirmwareFile(const WString& path)
{
    {
        Tavo::MutexLocker lock(mFileLock);
        mFirmwarePath = path;
    }
    if (!IsUsableFirmwareImage(path)) {
        SetFileState(kFileMissing);
        return E_FAIL;
    }
    {
        Tavo::MutexLocker lock(mFileLock);
        mFileVersion.mNumbers[0] = 0;
        mFileVersion.mNumbers[1] = 0;
        mFileVersion.mNumbers[2] = 3;
        mFileVersion.mNumbers[3] = 7;
        mFileVersion.mText = u"1.2";
    }
    SetFileState(kFileValid);
    return S_OK;
}

void LUpdateEngineInterface::RecheckFirmwareFile()
{
    WString path;
    if (Tavo::Failed(GetFirmwarePath(path)))
        return;
    if (!IsUsableFirmwareImage(path))
        SetFileState(kFileMissing);
    else if (GetFileState() == kFileMissing)
        SetFirmwareFile(path);
}

void LUpdateEngineInterface::SetFirmwareVersion(const FirmwareVersion& version)
{
    {
        Tavo::MutexLocker lock(mFileLock);
        mFileVersion = version;
    }
    if (GetFileState() == kFileVersionUnknown)
        SetFileState(kFileValid);
}

TavoResult LUpdateEngineInterface::GetFirmwarePath(WString& path)
{
    Tavo::MutexLocker lock(mFileLock);
    path = mFirmwarePath;
    return path.IsEmpty() ? E_FAIL : S_OK;
}

TavoResult LUpdateEngineInterface::GetFileFirmwareVersionText(WString& text)
{
    text = u"N/A";
    if (GetFileState() != kFileValid)
        return E_FAIL;
    Tavo::MutexLocker lock(mFileLock);
    text = mFileVersion.mText;
    return S_OK;
}

TavoResult LUpdateEngineInterface::GetFileFirmwareVersion(FirmwareVersion& version)
{
    {
        Tavo::MutexLocker lock(mFileLock);
        version = mFileVersion;
    }
    return GetFileState() == kFileValid ? S_OK : E_FAIL;
}

bool LUpdateEngineInterface::ParseFirmwareVersion()
{
    WString path;
    if (Tavo::Failed(GetFirmwarePath(path)))
        return false;
    const WString name = path.Mid(Tavo::File::FindLastSeparator(path) + 1).ToUpper();
    const int32_t at = name.Find(WString(u"_V"));
    if (at < 0)
        return false;
    // Reads past the end meet the terminator, which is no digit.
    const uint32_t length = name.GetLength();
    auto charAt = [&](uint32_t i) -> char16_t { return i < length ? name[i] : char16_t(0); };
    uint32_t i = static_cast<uint32_t>(at) + 2;
    if (!IsDigit(charAt(i)))
        return false;
    uint32_t major = charAt(i) - u'0';
    ++i;
    if (IsDigit(charAt(i))) {
        major = major * 10 + (charAt(i) - u'0');
        ++i;
    }
    if (charAt(i) != u'_' || !IsDigit(charAt(i + 1)) || !IsDigit(charAt(i + 2)))
        return false;
    FirmwareVersion version;
    version.mNumbers[0] = major;
    version.mNumbers[1] = charAt(i + 1) - u'0';
    version.mNumbers[2] = charAt(i + 2) - u'0';
    version.mText = WString::Format(u"%d.%d.%d", int(version.mNumbers[0]), int(version.mNumbers[1]),
                                    int(version.mNumbers[2]));
    SetFirmwareVersion(version);
    return true;
}

void LUpdateEngineInterface::SetDeviceState(int32_t state)
{
    const int32_t previous = mDeviceState.exchange(state);
    if (previous != state)
        PostDeviceStateChange(state, previous);
}

bool LUpdateEngineInterface::UsesWorkerThread()
{
    return mUseWorker;
}

void LUpdateEngineInterface::PostUpdateProgress(uint32_t stage, double fraction, bool automaticEstimate,
                                                int32_t remainingTime, bool secondFlag, const WString& text)
{
    Post(Tavo::kFirmwareUpdateProgressName,
         new Tavo::LFirmwareUpdateProgressNotificationData(stage, fraction, remainingTime, automaticEstimate,
                                                           secondFlag, text));
}

void LUpdateEngineInterface::PostDeviceStateChange(int32_t newState, int32_t oldState)
{
    if (GetNotify())
        Post(Tavo::kDeviceStateChangeName,
             new Tavo::LDeviceStateChangeNotificationData(static_cast<uint32_t>(newState),
                                                          static_cast<uint32_t>(oldState)));
}

void LUpdateEngineInterface::PostFileStateChange(int32_t newState, int32_t oldState)
{
    if (GetNotify())
        Post(Tavo::kFirmwareFileStateChangeName,
             new Tavo::LFirmwareFileStateChangeNotificationData(static_cast<uint32_t>(newState),
                                                                static_cast<uint32_t>(oldState)));
}

void LUpdateEngineInterface::PostFoundDeviceListChange()
{
    if (GetNotify())
        Post(Tavo::kFoundDeviceListChangeName, nullptr);
}

void LUpdateEngineInterface::PostUpdateCompleted(bool success)
{
    if (GetNotify())
        Post(Tavo::kFirmwareUpdateCompletedName, new Tavo::LFirmwareUpdateCompletedNotificationData(success));
}

void LUpdateEngineInterface::SetFileState(int32_t state)
{
    const int32_t previous = mFileState.exchange(state);
    if (previous != state)
        PostFileStateChange(state, previous);
}

TavoResult LUpdateEngineInterface::Execute(RCPtr<LRefCountedObject>& param)
{
    auto holder = Tavo::RCPtrDynamicCast<Tavo::LHolder<ThreadWorkerTask>>(param);
    if (!holder)
        return E_FAIL;
    switch (holder->Get()) {
    case kTaskEnterUpdateMode:
        return EnterUpdateMode();
    case kTaskPerformUpdate: {
        TavoResult hr;
        try {
            hr = PerformUpdate();
        } catch (...) {
            // A transfer that throws has failed; it must not leave "running".
            hr = E_FAIL;
            int32_t running = kUpdateRunning;
            mUpdateState.compare_exchange_strong(running, kUpdateFailed);
        }
        PostUpdateCompleted(Tavo::Succeeded(hr));
        return hr;
    }
    }
    return E_FAIL;
}

uint32_t LUpdateEngineInterface::DoWork(RCPtr<LRefCountedObject>& param)
{
    TavoResult hr = E_FAIL;
    try {
        hr = Execute(param);
    } catch (...) {
    }
    param = nullptr;
    // The worker's own reference stops being internal before it is dropped.
    AddInternalReferences(-1);
    mTaskPending = false;
    mTaskIdle.Set();
    return static_cast<uint32_t>(hr);
}

void LUpdateEngineInterface::EndTasks()
{
    mEnding.store(true);
    mAbort.store(true);
}

TavoResult LUpdateEngineInterface::HandOver(ThreadWorkerTask task)
{
    // An exit already decided on is never overtaken by a task.
    if (mEnding.load() || mTaskPending.exchange(true))
        return E_FAIL;
    mTaskIdle.Reset();
    // The previous task has ended but its thread may still be letting go of
    // it; the completion event follows at once.
    if (mWorker.IsBusy())
        mCompletion->Wait(1000);
    RCPtr<Tavo::LThreadWorker> self(static_cast<Tavo::LThreadWorker*>(this));
    // The worker's reference keeps the engine alive during the task but must
    // not keep its owner from letting go (see ReleaseInternalReferences).
    AddInternalReferences(1);
    const TavoResult hr = mWorker.Trigger(self, new Tavo::LHolder<ThreadWorkerTask>(task), mCompletion, 0);
    if (Tavo::Failed(hr)) {
        AddInternalReferences(-1);
        mTaskPending = false;
        mTaskIdle.Set();
    }
    return hr;
}

bool LUpdateEngineInterface::OnWorkerThread()
{
    return mWorker.GetThread().GetId() == Tavo::Platform::GetCurrentThreadId();
}

TavoResult LUpdateEngineInterface::ReleaseInternalReferences()
{
    // The owner lets go while a task runs: stop the transfer and wait for it,
    // however long, so it is never cut short by the engine going away.
    if (mTaskPending.load() && !OnWorkerThread()) {
        SetAbort(true);
        mTaskIdle.Wait(Tavo::INFINITE);
    }
    return LRefCountedObject::ReleaseInternalReferences();
}

void LUpdateEngineInterface::Post(const char16_t* name, const ConstRCPtr<LRefCountedObject>& data)
{
    RCPtr<Tavo::LNotificationCenter> center = Tavo::GetMainNotificationCenter();
    RCPtr<Tavo::LNotification> notification = Tavo::LNotification::Create(name, data);
    if (center && notification)
        center->Post(notification);
}
