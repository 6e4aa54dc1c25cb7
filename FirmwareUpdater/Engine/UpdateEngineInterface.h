#pragma once

// The firmware-update engine as the main window and the update processor see
// it: device, file and update states, the supported devices, the firmware
// file, a one-task worker, and the notifications that report every change.

#include "Engine/UpdateNotificationData.h"
#include "ObjectBase/Holder.h"
#include "ObjectBase/RCPtr.h"
#include "Threading/Event.h"
#include "Threading/LEvent.h"
#include "Threading/Mutex.h"
#include "Threading/RetriggerableThreader.h"
#include "Threading/ThreadWorker.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/StringT.h"

#include <atomic>
#include <cstdint>

class LUpdateEngineInterface : protected virtual Tavo::LThreadWorker, public virtual Tavo::LRefCountedObject
{
public:
    enum DeviceState : int32_t {
        kDeviceUninitialized = 0,
        kDeviceNoneFound = 1,
        kDeviceReserved = 2,  // never entered; refused like 6 and 8
        kDeviceSeveralFound = 3,
        kDeviceCannotUpdate = 4,
        kDeviceNormalMode = 5,
        kDeviceEnteringUpdateMode = 6,
        kDeviceInUpdateMode = 7,
        kDeviceUpdating = 8,
    };

    enum FileState : int32_t {
        kFileNone = 0,
        kFileMissing = 1,
        kFileVersionUnknown = 2,
        kFileValid = 3,
    };

    enum UpdateState : int32_t {
        kUpdateIdle = 0,
        kUpdateRunning = 1,
        kUpdateFailed = 2,
        kUpdateAborted = 3,
        kUpdateSucceeded = 4,
    };

    enum CannotUpdateReason : uint32_t {
        kReasonNone = 0,
        kReasonDriverTooOld = 1,
        kReasonSystemFailure = 2,
        kReasonFileAccess = 3,
        kReasonDeviceAccess = 4,
    };

    enum ThreadWorkerTask : int32_t {
        kTaskEnterUpdateMode = 0,
        kTaskPerformUpdate = 1,
    };

    // Compared on the first three numbers only.
    struct FirmwareVersion
    {
        uint32_t mNumbers[4] = {0, 0, 0, 0};
        Tavo::WString mText;
    };

    // One supported device. The names are the MIDI port names, in the order
    // of the index constants; the fifth is not read.
    struct DeviceDefinition
    {
        enum : uint32_t {
            kNormalInput = 0,
            kUpdateInput = 1,
            kNormalOutput = 2,
            kUpdateOutput = 3,
            kNameCount = 5
        };

        uint32_t mValues[4] = {0, 0, 0, 0};
        Tavo::WString mNames[kNameCount];
    };

    // A new LPrivateMidiPerformUpdateEngine; defined beside that class.
    static Tavo::RCPtr<LUpdateEngineInterface> Create();

    // The table of operations, in its fixed order.
    virtual TavoResult Initialize(const Tavo::WString& commandLine);
    virtual int32_t GetDeviceState();
    virtual TavoResult SetOption(int32_t value);
    virtual TavoResult SetSupportedDevices(const Tavo::Array<DeviceDefinition>& devices);
    virtual TavoResult ScanForDevices();
    virtual TavoResult GetFoundDevices(Tavo::Array<DeviceDefinition>& devices) = 0;
    virtual TavoResult SelectDevice(uint32_t index);
    virtual int32_t GetSelectedDeviceIndex();
    virtual TavoResult GetCannotUpdateReason(uint32_t* reason);
    virtual TavoResult GetDeviceFirmwareVersionText(Tavo::WString& text);
    virtual TavoResult RefreshDeviceState() = 0;
    virtual int32_t GetTransitionState();
    virtual TavoResult EnterUpdateMode() = 0;
    virtual TavoResult RequestUpdateMode();
    virtual bool IsFileNewerThanDevice();
    virtual bool IsUpdateSupported();
    virtual TavoResult StartUpdate();
    virtual TavoResult WaitForUpdate(uint32_t timeoutMs);
    virtual TavoResult AbortUpdate() = 0;
    virtual int32_t GetUpdateState(bool resetIfFinished);
    virtual int32_t GetFileState();
    virtual TavoResult SetFirmwareFile(const Tavo::WString& path, const FirmwareVersion& version);
    virtual TavoResult SetFirmwareFile(const Tavo::WString& path);
    // Looks at the image set last once more: one gone since is missing, one
    // back again is judged as when it was set.
    void RecheckFirmwareFile();
    virtual void SetFirmwareVersion(const FirmwareVersion& version);
    virtual TavoResult GetFirmwarePath(Tavo::WString& path);
    virtual TavoResult GetFileFirmwareVersionText(Tavo::WString& text);
    virtual TavoResult GetFileFirmwareVersion(FirmwareVersion& version);
    virtual bool ParseFirmwareVersion();
    virtual void SetDeviceState(int32_t state);
    virtual bool UsesWorkerThread();
    virtual void PostUpdateProgress(uint32_t stage, double fraction, bool automaticEstimate,
                                    int32_t remainingTime, bool secondFlag, const Tavo::WString& text);
    virtual void PostDeviceStateChange(int32_t newState, int32_t oldState);
    virtual void PostFileStateChange(int32_t newState, int32_t oldState);
    virtual void PostFoundDeviceListChange();
    virtual void PostUpdateCompleted(bool success);
    virtual void SetFileState(int32_t state);
    virtual TavoResult BuildFoundDeviceList() = 0;
    virtual uint32_t GetFoundDeviceCount() = 0;
    virtual bool IsDeviceInUpdateMode(uint32_t index) = 0;
    virtual TavoResult GetDeviceCannotUpdateReason(uint32_t index, uint32_t* reason) = 0;
    virtual TavoResult GetDeviceFirmwareVersion(uint32_t index, FirmwareVersion& version) = 0;
    virtual TavoResult PerformUpdate() = 0;

    // The worker's task body: a task holder in, the task's result out.
    virtual TavoResult Execute(Tavo::RCPtr<Tavo::LRefCountedObject>& param);

    // Thin accessors for the main window.
    // Reads without resetting a finished update's state.
    int32_t GetUpdateState() { return GetUpdateState(false); }
    int32_t GetUpdateModeTransitionState() { return GetTransitionState(); }
    // The notification switch: on after construction.
    void SetNotify(bool on) { mNotify.store(on); }
    bool GetNotify() const { return mNotify.load(); }

    // For the transfers that run on the worker.
    void SetUpdateState(int32_t state) { mUpdateState.store(state); }
    // Also true for good once the program decided to end.
    bool IsAbortRequested() const { return mAbort.load() || mEnding.load(); }
    // The program is ending: no task starts from now on, and a running one
    // is asked to stop. Sequentially consistent, so a transfer that takes
    // its interrupt hold after this sees it, and one that took it earlier is
    // found holding it.
    void EndTasks();
    bool IsEnding() const { return mEnding.load(); }
    // True from a hand-over to the worker until that task has ended.
    bool IsTaskPending() const { return mTaskPending.load(); }

    // Aborts and awaits a running task before the owner's last reference goes.
    TavoResult ReleaseInternalReferences() override;

protected:
    LUpdateEngineInterface();
    ~LUpdateEngineInterface() override;

    void SetAbort(bool abort) { mAbort.store(abort); }
    // Whether the file's version is above the selected device's by `newer`,
    // once the device state has reached `lowestDeviceState`.
    using VersionOrder = bool (*)(const FirmwareVersion& device, const FirmwareVersion& file);
    bool IsFileNewerThanSelected(int32_t lowestDeviceState, VersionOrder newer);
    // Hands a task to the worker; on refusal nothing is left pending.
    TavoResult HandOver(ThreadWorkerTask task);

    uint32_t DoWork(Tavo::RCPtr<Tavo::LRefCountedObject>& param) override;

    Tavo::Array<DeviceDefinition> mSupportedDevices;
    std::atomic<int32_t> mSelectedIndex{-1};

private:
    bool OnWorkerThread();
    void Post(const char16_t* name, const Tavo::ConstRCPtr<Tavo::LRefCountedObject>& data);

    std::atomic<bool> mNotify{true};
    Tavo::RetriggerableThreader mWorker;
    Tavo::RCPtr<Tavo::LEvent> mCompletion;
    std::atomic<int32_t> mDeviceState{kDeviceUninitialized};
    std::atomic<int32_t> mUpdateState{kUpdateIdle};
    std::atomic<bool> mAbort{false};
    std::atomic<bool> mEnding{false};
    bool mUseWorker = false;
    std::atomic<int32_t> mFileState{kFileNone};
    // The worker reads the path while the window may set a new one.
    Tavo::Mutex mFileLock;
    Tavo::WString mFirmwarePath;
    FirmwareVersion mFileVersion;

    // Open while no task is pending, so any number of threads can wait.
    std::atomic<bool> mTaskPending{false};
    Tavo::TrafficLight mTaskIdle;
};
