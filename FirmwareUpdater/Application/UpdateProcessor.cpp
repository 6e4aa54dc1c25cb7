#include "Application/UpdateProcessor.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "Application/ApplicationBase.h"
#include "Application/CommandLine.h"
#include "ControlBase/ControlFactory.h"
#include "Engine/FirmwareImage.h"
#include "ObjectBase/Exception.h"
#include "Platform/App/InterruptSignals.h"

using Tavo::TavoResult;
using Tavo::WString;
using Engine = LUpdateEngineInterface;

namespace {

const WString kAlwaysUpdate(u"-ALWAYS_UPDATE");
const WString kReturnStatus(u"-RETURN_UPDATE_MODE_STATUS");
const WString kSilent(u"-SILENT");
const WString kSilentIfNotNeeded(u"-SILENT_IF_UPDATE_NOT_NEEDED");
const WString kStartAutomatically(u"-START_UPDATE_AUTOMATICALLY");
const WString kAbsolutePath(u"-ABSOLUTE_FIRMWARE_FILE_PATH=");
const WString kImageName(u"-FIRMWARE_IMAGE_NAME=");
const WString kDefaultImage(u"RB47DSP_FULL.syx");

// The text the main window's control `child` shows for `id`; empty without
// the program's string tables (a processor a test made).
WString WindowText(const char16_t* child, const char16_t* id)
{
    WString text;
    Tavo::LFrameworkApp* app = Tavo::GetFrameworkApp();
    if (app && app->GetControlFactory())
        if (Tavo::RCPtr<Tavo::LStringTable> table =
                app->GetControlFactory()->GetStringTable(WString(u"FirmwareUpdater.MainControl|") + child))
            table->FindString(id, text);
    return text;
}

}  // namespace

const char16_t* LUpdateProcessor::CannotUpdateTextId(uint32_t reason)
{
    static const char16_t* const kIds[] = {u"LABEL_DEVICE_CANNOT_BE_UPDATED_NO_REASON",
                                           u"LABEL_DRIVER_IS_TOO_OLD", u"LABEL_CANNOT_UPDATE_SYSTEM_FAILURE",
                                           u"LABEL_CANNOT_UPDATE_FILE_ACCESS_FAILURE",
                                           u"LABEL_DEVICE_DEVICE_ACCESS_FAILURE"};
    return reason < std::size(kIds) ? kIds[reason] : nullptr;
}

void LUpdateProcessor::ReportQuietOutcome(int signal, bool timedOut)
{
    const int32_t state = mEngine->GetUpdateState(false);
    // Nothing was started, or the device has the image. A transfer still
    // running (or not yet begun on the worker) was cut short where it stood.
    const bool cutShort =
        (state == Engine::kUpdateRunning || mEngine->IsTaskPending()) && (signal != 0 || timedOut);
    if (state != Engine::kUpdateFailed && state != Engine::kUpdateAborted && !cutShort)
        return;
    std::string outcome;
    WString text;
    if (state == Engine::kUpdateFailed && signal == 0 && !timedOut) {
        outcome = "the update failed";
        uint32_t reason = Engine::kReasonNone;
        mEngine->GetCannotUpdateReason(&reason);
        if (const char16_t* id = CannotUpdateTextId(reason))
            text = WindowText(u"labelDeviceCannotUpdateError", id);
    } else {
        outcome = signal != 0 ? "the update was aborted by signal " + std::to_string(signal)
                  : timedOut  ? "the update was aborted after " + std::to_string(mSilentWaitMs / 1000) + " s"
                              : "the update was aborted";
        text = mAbortedText;
    }
    PrintOutcome("FirmwareUpdater -SILENT", outcome, text);
}

void LUpdateProcessor::PrintOutcome(const char* run, const std::string& outcome, const WString& text)
{
    std::fprintf(stderr, "%s: %s%s%s\n", run, outcome.c_str(), text.IsEmpty() ? "" : ": ",
                 Tavo::NString(text).c_str());
    std::fflush(stderr);
}

LUpdateProcessor::LUpdateProcessor(Tavo::RCPtr<LUpdateEngineInterface> engine, uint32_t silentWaitMs)
    : mEngine(std::move(engine)), mSilentWaitMs(silentWaitMs)
{
}

LUpdateProcessor::~LUpdateProcessor()
{
    // The signal's thread may be using this processor: it is let go first.
    mInterrupts.reset();
}

bool LUpdateProcessor::FindSwitch(const WString& commandLine, const WString& name, WString* value)
{
    return ::FindSwitch(commandLine, name, value);
}

WString LUpdateProcessor::GetDeviceName()
{
    return WString(u"Tessaro DJ K620 ZENTA");
}

bool LUpdateProcessor::SetAlwaysUpdate(bool value)
{
    const bool same = mAlwaysUpdate == value;
    mAlwaysUpdate = value;
    return same;
}

bool LUpdateProcessor::CanExit()
{
    // "Updating" lasts past a successful transfer, while the device installs
    // the image, until the device is looked at again (the window's rescan,
    // which also ends it when the device no longer answers).
    return mEngine->GetDeviceState() != Engine::kDeviceUpdating;
}

bool LUpdateProcessor::AcceptExit()
{
    if (!CanExit())
        return false;
    mEngine->EndTasks();
    return true;
}

void LUpdateProcessor::AbortForExit(int signal)
{
    if (!mEngine)
        return;
    // A window's transfer cut short says so where a script or a terminal
    // reads it, as a quiet run's does; one that had ended says nothing.
    const bool running = mEngine->GetUpdateState(false) == Engine::kUpdateRunning ||
                         (mEngine->GetDeviceState() == Engine::kDeviceUpdating && mEngine->IsTaskPending());
    AbortTransfer();
    if (running && !mQuietRun.load())
        PrintOutcome("FirmwareUpdater",
                     signal != 0 ? "the update was aborted by signal " + std::to_string(signal)
                                 : std::string("the update was aborted"),
                     mAbortedText);
}

void LUpdateProcessor::OnInterrupt(int signal)
{
    if (mQuietRun.load()) {
        EndQuietRun(signal, false);
        return;
    }
    AbortForExit(signal);
    Tavo::Platform::App::InterruptCatcher::EndByCaughtSignal();
}

void LUpdateProcessor::AbortTransfer()
{
    // Before anything else: a transfer not yet started never starts, and
    // one that takes its hold from now on sets no flag.
    mEngine->EndTasks();
    mEngine->AbortUpdate();
    // Only a driver flag that is on is worth waiting for. Before the flag
    // (finding the device, reading the image) the transfer sets none once
    // it sees the abort, and whatever holds it up there is no reason to
    // stay.
    if (Tavo::Platform::App::InterruptHold::Active())
        mEngine->WaitForUpdate(kAbortWaitMs);
}

void LUpdateProcessor::EndQuietRun(int signal, bool timedOut)
{
    if (signal != 0 || timedOut)
        AbortTransfer();
    {
        // The signal's thread and the main thread may both get here.
        std::lock_guard<std::mutex> lock(mQuietEndLock);
        if (!mQuietEndReported) {
            mQuietEndReported = true;
            ReportQuietOutcome(signal, timedOut);
        }
    }
    if (signal != 0)
        Tavo::Platform::App::InterruptCatcher::EndByCaughtSignal();
    // A worker still busy holds the engine, and letting go of the engine
    // waits for it: a stuck one would keep the run alive for good.
    if (mEngine->IsTaskPending()) {
        std::fflush(nullptr);
        std::_Exit(Tavo::gProcessExitCode);
    }
}

TavoResult LUpdateProcessor::Reinitialize()
{
    const TavoResult hr = Initialize(mCommandLine);
    // TRY AGAIN after a file access failure: the image may be gone since
    // it was looked at, and is not offered again until it is back.
    mEngine->RecheckFirmwareFile();
    return hr;
}

WString LUpdateProcessor::ProgramFolder()
{
    WString folder;
    if (Tavo::LFrameworkApp* app = Tavo::GetFrameworkApp()) {
        app->GetFolder(0, folder);
        return folder;
    }
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path(exe, n > 0 ? size_t(n) : 0);
    const size_t slash = path.rfind('/');
    path.resize(slash == std::string::npos ? 0 : slash);
    return WString(Tavo::NString(path.c_str()));
}

void LUpdateProcessor::SelectFirmwareFile()
{
    WString value;
    WString path;
    WString folder;
    if (FindSwitch(mCommandLine, kAbsolutePath, &value)) {
        path = value;
        // Never looked up in the working folder: the transfer would not find
        // it there either.
        if (!path.IsEmpty() && path.Find(u'/') < 0) {
            std::fprintf(stderr,
                         "The firmware file's path on the command line names no folder; give its full "
                         "path.\n");
            std::fflush(stderr);
        }
    } else if (FindSwitch(mCommandLine, kImageName, &value))
        path = (folder = ProgramFolder()) + WString(u"/") + value;
    else
        path = (folder = ProgramFolder()) + WString(u"/") + kDefaultImage;
    // Bytes that are not UTF-8 (a program folder's name too) arrive as
    // U+FFFD; opening that text would read another file that holds the
    // real character.
    if (path.Find(u'\uFFFD') >= 0) {
        if (folder.Find(u'\uFFFD') >= 0)
            std::fprintf(stderr,
                         "The program's folder name is not valid UTF-8 text (or holds U+FFFD), so the "
                         "firmware file in it cannot be opened under exactly that name. Rename the "
                         "folder.\n");
        else
            std::fprintf(stderr, "The firmware file's name on the command line is not valid UTF-8 text (or "
                                 "holds U+FFFD), so it cannot be opened under exactly that name. Rename the "
                                 "file.\n");
        std::fflush(stderr);
        path = WString();
        mEngine->SetFirmwareFile(path);
        return;
    }
    if (path.IsEmpty())
        return;
    if (Tavo::Succeeded(mEngine->SetFirmwareFile(path)))
        return;
    // Said where the window's "missing" would leave the user guessing.
    const ImageVerdict verdict = JudgeFirmwareImage(path);
    if (verdict == ImageVerdict::kNotAFile)
        std::fprintf(stderr,
                     "The firmware file's path names a folder, FIFO, socket or device, not a file, so it "
                     "is not opened and counts as missing.\n");
    else if (verdict == ImageVerdict::kTooLarge)
        std::fprintf(stderr, "The firmware file is too large: an image holds at most 4294967295 bytes (4 GiB "
                             "less one), so it counts as missing.\n");
    std::fflush(stderr);
}

void LUpdateProcessor::DefineSupportedDevice()
{
    Engine::DeviceDefinition device;
    for (uint32_t i = 0; i < 4; ++i)
        device.mNames[i] = GetDeviceName();
    Tavo::Array<Engine::DeviceDefinition> devices;
    devices.Add(device);
    mEngine->SetSupportedDevices(devices);
}

TavoResult LUpdateProcessor::Initialize(const WString& commandLine)
{
    // A signal ends the run at once, also while the device is probed; a
    // transfer that set the flag clears it first.
    if (!mInterrupts)
        mInterrupts = std::make_unique<Tavo::Platform::App::InterruptCatcher>(
            [this](int signal) { OnInterrupt(signal); });
    if (mCommandLine.IsEmpty()) {
        // Looked up here: the signal's thread must not read the string
        // tables while the window uses them.
        mAbortedText = WindowText(u"labelUpdateProcessInformation", u"LABEL_UPDATE_ABORTED");
        mCommandLine = commandLine;
        if (FindSwitch(commandLine, kAlwaysUpdate, nullptr))
            mAlwaysUpdate = true;
    }
    const TavoResult hr = mEngine->Initialize(commandLine);
    TAVO_THROW_IF_FAILED(hr, "LUpdateProcessor::Initialize", "Engine\\UpdateProcessor", 53);
    mEngine->GetUpdateState(true);

    const bool returnStatus = FindSwitch(commandLine, kReturnStatus, nullptr);
    if (mEngine->GetDeviceState() == Engine::kDeviceCannotUpdate) {
        if (!returnStatus)
            return hr;
        Tavo::gProcessExitCode = 1;
        return kEndWithoutWindow;
    }

    SelectFirmwareFile();
    if (mEngine->GetDeviceState() == Engine::kDeviceUninitialized)
        DefineSupportedDevice();
    if (mEngine->GetDeviceState() == Engine::kDeviceNoneFound)
        mEngine->ScanForDevices();

    if (returnStatus) {
        const int32_t state = mEngine->GetDeviceState();
        if (state == Engine::kDeviceNoneFound)
            Tavo::gProcessExitCode = 1;
        else if (state == Engine::kDeviceInUpdateMode)
            Tavo::gProcessExitCode = mEngine->IsFileNewerThanDevice() ? 3 : 2;
        else if (state == Engine::kDeviceNormalMode)
            Tavo::gProcessExitCode = mEngine->IsFileNewerThanDevice() ? 5 : 4;
        return kEndWithoutWindow;
    }

    if (mEngine->GetDeviceState() < Engine::kDeviceNormalMode ||
        mEngine->GetFileState() != Engine::kFileValid)
        return 0;
    const bool newer = mEngine->IsFileNewerThanDevice();
    if (!newer && !mAlwaysUpdate && FindSwitch(commandLine, kSilentIfNotNeeded, nullptr))
        return kEndWithoutWindow;
    const bool updateToDo = newer || mAlwaysUpdate;
    const bool silent = FindSwitch(commandLine, kSilent, nullptr);
    const bool automatic = FindSwitch(commandLine, kStartAutomatically, nullptr);
    // Cut short by a signal, a quiet transfer is aborted the way the abort
    // path does it, so the driver's flag is cleared and the channel closed
    // before the process ends by that signal, and says so. The signal's own
    // thread ends the run, whatever this thread or the worker is waiting for.
    if (silent)
        mQuietRun = true;
    if (updateToDo && (silent || automatic)) {
        bool start = true;
        if (mEngine->GetDeviceState() == Engine::kDeviceNormalMode) {
            mEngine->RequestUpdateMode();
            start = mEngine->GetDeviceState() == Engine::kDeviceInUpdateMode;
        }
        // Nothing is started once a signal asked the program to end: the
        // engine refuses it from the moment the signal's thread ends tasks.
        if (start && Tavo::Platform::App::InterruptCatcher::CaughtSignal() == 0)
            mEngine->StartUpdate();
    }
    if (!silent)
        return 0;
    // The program must not end under a running transfer: past the limit it
    // is aborted and the worker lets the driver's flag go first.
    const bool timedOut = mEngine->WaitForUpdate(mSilentWaitMs) != Tavo::S_OK;
    EndQuietRun(Tavo::Platform::App::InterruptCatcher::CaughtSignal(), timedOut);
    Tavo::Platform::App::InterruptCatcher::EndByCaughtSignal();
    return kEndWithoutWindow;
}
