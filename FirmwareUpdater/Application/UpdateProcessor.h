#pragma once

#include "Engine/UpdateEngineInterface.h"
#include "ObjectBase/RCPtr.h"
#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/Result.h"
#include "Utilities/Storage/StringT.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace Tavo::Platform::App {
class InterruptCatcher;
}

// The application's side of an update: reads the command line, owns the
// engine, defines the one supported device, picks the firmware image, may
// run a whole update without the main window and sets the process exit code
// that reports the device's state.
class LUpdateProcessor : public virtual Tavo::LRefCountedObject
{
public:
    // Everything asked was done without the main window.
    static constexpr Tavo::TavoResult kEndWithoutWindow = Tavo::TavoResult(0x8000A020u);
    // How long a quiet update may take before it is abandoned.
    static constexpr uint32_t kSilentWaitMs = 600000;
    // After abandoning it: how long the worker gets to close the channel and
    // clear the driver's flag, when the flag is on; otherwise it is not
    // waited for.
    static constexpr uint32_t kAbortWaitMs = 60000;

    LUpdateProcessor();
    // Tests hand in their own engine and wait.
    LUpdateProcessor(Tavo::RCPtr<LUpdateEngineInterface> engine, uint32_t silentWaitMs);
    ~LUpdateProcessor() override;

    Tavo::TavoResult Initialize(const Tavo::WString& commandLine);
    Tavo::TavoResult Reinitialize();
    // False from the start of a transfer until the device state leaves
    // "updating": after a successful transfer that is the device's re-probe.
    bool CanExit();
    // CanExit, and when it holds the exit is taken as decided: no transfer
    // starts after it, whatever handler runs before the program ends.
    bool AcceptExit();
    // The program must end now: nothing starts any more, a running transfer
    // is aborted and the worker given its time to close the channel and
    // clear the driver's flag, when the flag is on. Every way out of a
    // window run comes here: a signal (its number given), a lost display
    // and the end of the run. A transfer cut short says so on standard
    // error.
    void AbortForExit(int signal = 0);
    bool GetAlwaysUpdate() const { return mAlwaysUpdate; }
    // True when the flag already had this value.
    bool SetAlwaysUpdate(bool value);
    static bool FindSwitch(const Tavo::WString& commandLine, const Tavo::WString& name, Tavo::WString* value);
    void SelectFirmwareFile();
    void DefineSupportedDevice();
    static Tavo::WString GetDeviceName();
    // The string id of the window's text for a cannot-update reason (the
    // engine's kReason...); null for a reason it has no text for.
    static const char16_t* CannotUpdateTextId(uint32_t reason);

    const Tavo::RCPtr<LUpdateEngineInterface>& GetEngine() const { return mEngine; }

private:
    static Tavo::WString ProgramFolder();
    // A quiet update that did not succeed says so on standard error, in the
    // window's words: `signal` ended it, or it ran past `timedOut`.
    void ReportQuietOutcome(int signal, bool timedOut);
    // One line on standard error: "<run>: <outcome>[: <text>]".
    static void PrintOutcome(const char* run, const std::string& outcome, const Tavo::WString& text);
    // Aborts the transfer and waits for the worker while the flag is on.
    void AbortTransfer();
    // A caught signal, on its own thread: the program
    // ends at once, after a transfer that set the flag has cleared it.
    void OnInterrupt(int signal);
    // The end of a quiet run, on the main thread or the signal's: aborts
    // what a signal or the limit cut short, reports once and ends the
    // process by the signal, or at once when the worker is stuck.
    void EndQuietRun(int signal, bool timedOut);

    Tavo::WString mCommandLine;
    // The window's words for an aborted update.
    Tavo::WString mAbortedText;
    Tavo::RCPtr<LUpdateEngineInterface> mEngine;
    bool mAlwaysUpdate = false;
    uint32_t mSilentWaitMs = kSilentWaitMs;
    std::mutex mQuietEndLock;
    bool mQuietEndReported = false;
    // A -SILENT run's own transfer: a signal reports how it ended.
    std::atomic<bool> mQuietRun{false};
    // Caught from the start of Initialize for the processor's life.
    std::unique_ptr<Tavo::Platform::App::InterruptCatcher> mInterrupts;
};
