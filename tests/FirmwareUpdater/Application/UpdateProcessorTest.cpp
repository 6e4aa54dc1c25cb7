#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <csignal>
#include <future>
#include <optional>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "Application/ApplicationBase.h"
#include "Application/UpdateProcessor.h"
#include "Platform/App/InterruptSignals.h"

namespace {

using Tavo::TavoResult;
using Tavo::WString;
using Engine = LUpdateEngineInterface;

// An engine whose probe results are set by the test; records what the processor asks of it.
class FakeEngine : public LUpdateEngineInterface
{
public:
    TavoResult Initialize(const WString&) override
    {
        ++initializeCalls;
        if (stateAfterInitialize >= 0 && GetDeviceState() == kDeviceUninitialized)
            SetDeviceState(stateAfterInitialize);
        return initializeResult;
    }
    TavoResult ScanForDevices() override
    {
        ++scans;
        SetDeviceState(stateAfterScan);
        return Tavo::S_OK;
    }
    TavoResult SetFirmwareFile(const WString& path) override
    {
        firmwarePaths += std::string(Tavo::NString(path).c_str()) + ";";
        SetFileState(fileExists ? kFileValid : kFileMissing);
        return fileExists ? Tavo::S_OK : Tavo::E_FAIL;
    }
    bool IsFileNewerThanDevice() override { return newer; }
    TavoResult RequestUpdateMode() override { return Log("request-update-mode", stateAfterRequest); }
    TavoResult StartUpdate() override { return Log("start", kDeviceUpdating); }
    TavoResult AbortUpdate() override { return Log("abort", GetDeviceState()); }
    TavoResult WaitForUpdate(uint32_t timeoutMs) override
    {
        Log("wait " + std::to_string(timeoutMs), GetDeviceState());
        return waits < waitResults.size() ? waitResults[waits++] : Tavo::S_OK;
    }
    TavoResult Log(const std::string& call, int32_t state)
    {
        calls += call + ";";
        SetDeviceState(state);
        return Tavo::S_OK;
    }

    TavoResult GetFoundDevices(Tavo::Array<DeviceDefinition>&) override { return Tavo::S_OK; }
    TavoResult RefreshDeviceState() override { return Tavo::S_OK; }
    TavoResult EnterUpdateMode() override { return Tavo::S_OK; }
    TavoResult BuildFoundDeviceList() override { return Tavo::S_OK; }
    uint32_t GetFoundDeviceCount() override { return 1; }
    bool IsDeviceInUpdateMode(uint32_t) override { return false; }
    TavoResult GetDeviceCannotUpdateReason(uint32_t, uint32_t*) override { return Tavo::S_OK; }
    TavoResult GetDeviceFirmwareVersion(uint32_t, FirmwareVersion&) override { return Tavo::S_OK; }
    TavoResult PerformUpdate() override { return Tavo::S_OK; }

    int32_t stateAfterInitialize = -1, stateAfterScan = kDeviceNoneFound,
            stateAfterRequest = kDeviceInUpdateMode;
    TavoResult initializeResult = Tavo::S_OK;
    bool fileExists = true, newer = true;
    int initializeCalls = 0, scans = 0;
    std::string firmwarePaths, calls;
    std::vector<TavoResult> waitResults;
    size_t waits = 0;
};

// A transfer on the real worker that never ends: blocked where no abort
// reaches it.
class StuckEngine : public FakeEngine
{
public:
    TavoResult StartUpdate() override { return LUpdateEngineInterface::StartUpdate(); }
    TavoResult WaitForUpdate(uint32_t timeoutMs) override
    {
        return LUpdateEngineInterface::WaitForUpdate(timeoutMs);
    }
    TavoResult PerformUpdate() override
    {
        SetUpdateState(kUpdateRunning);
        running.set_value();
        std::promise<void>().get_future().wait();
        return Tavo::E_FAIL;
    }
    std::promise<void> running;
};

// A quiet run whose transfer never ends, with a SIGTERM once it runs or
// none; it must end the process itself.
[[noreturn]] void RunStuck(uint32_t silentWaitMs, bool signal)
{
    Tavo::RCPtr<StuckEngine> engine(new StuckEngine());
    engine->stateAfterScan = Engine::kDeviceInUpdateMode;
    Tavo::RCPtr<LUpdateProcessor> processor(
        new LUpdateProcessor(Tavo::RCPtr<Engine>(engine.Get()), silentWaitMs));
    if (signal)
        std::thread([&] {
            engine->running.get_future().wait();
            kill(getpid(), SIGTERM);
        }).detach();
    processor->Initialize(WString(u"x -SILENT"));
    _exit(3);
}

// A quiet run's transfer and a SIGTERM that comes as it starts: before the
// hand-over to the worker (`early`) or after it, before the worker sets the
// flag. The signal's thread is held in its report until the worker (or the
// refused start) has had its say, as a busy machine may hold it.
class RacingEngine : public FakeEngine
{
public:
    explicit RacingEngine(bool early) : early(early) {}
    TavoResult StartUpdate() override
    {
        if (!early) {
            const TavoResult hr = LUpdateEngineInterface::StartUpdate();
            Signal();
            return hr;
        }
        Signal();
        const TavoResult hr = LUpdateEngineInterface::StartUpdate();
        if (Tavo::Failed(hr))
            looked.set_value();
        return hr;
    }
    int32_t GetUpdateState(bool resetIfFinished) override
    {
        if (std::this_thread::get_id() != mainThread && !reporting.exchange(true)) {
            pastAbort.set_value();
            looked.get_future().wait();
        }
        return LUpdateEngineInterface::GetUpdateState(resetIfFinished);
    }
    // The processor waits for the worker as with the real engine.
    TavoResult WaitForUpdate(uint32_t timeoutMs) override
    {
        return LUpdateEngineInterface::WaitForUpdate(timeoutMs);
    }
    TavoResult PerformUpdate() override
    {
        std::fprintf(stderr, "transfer started\n");
        gate.get_future().wait();
        // Where the transfer would set the driver's flag.
        const Tavo::Platform::App::InterruptHold hold;
        std::fprintf(stderr, IsAbortRequested() ? "no flag\n" : "flag on\n");
        looked.set_value();
        std::promise<void>().get_future().wait();
        return Tavo::E_FAIL;
    }

private:
    void Signal()
    {
        kill(getpid(), SIGTERM);
        pastAbort.get_future().wait();
        gate.set_value();
    }

    const bool early;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> reporting{false};
    std::promise<void> pastAbort, gate, looked;
};

[[noreturn]] void RunRacing(bool early)
{
    Tavo::RCPtr<RacingEngine> engine(new RacingEngine(early));
    engine->stateAfterScan = Engine::kDeviceInUpdateMode;
    Tavo::RCPtr<LUpdateProcessor> processor(new LUpdateProcessor(Tavo::RCPtr<Engine>(engine.Get()), 600000));
    processor->Initialize(WString(u"x -SILENT"));
    _exit(3);
}

class UpdateProcessorTest : public ::testing::Test
{
protected:
    UpdateProcessorTest() { Fresh(); }
    ~UpdateProcessorTest() override { Tavo::gProcessExitCode = 0; }

    void Fresh(uint32_t waitMs = 600000)
    {
        engine = Tavo::RCPtr<FakeEngine>(new FakeEngine());
        processor =
            Tavo::RCPtr<LUpdateProcessor>(new LUpdateProcessor(Tavo::RCPtr<Engine>(engine.Get()), waitMs));
        Tavo::gProcessExitCode = 0;
    }
    TavoResult Run(const char* commandLine)
    {
        return processor->Initialize(WString(Tavo::NString(commandLine)));
    }

    Tavo::RCPtr<FakeEngine> engine;
    Tavo::RCPtr<LUpdateProcessor> processor;
};

TEST_F(UpdateProcessorTest, UpdateToDoAndTheSwitchesDecideWhatStartsHowTheRunEndsAndItsExitCode)
{
    const TavoResult quiet = LUpdateProcessor::kEndWithoutWindow;
    const int32_t none = Engine::kDeviceNoneFound, inUpdate = Engine::kDeviceInUpdateMode,
                  normal = Engine::kDeviceNormalMode, several = Engine::kDeviceSeveralFound;
    const char* status = "FirmwareUpdater -RETURN_UPDATE_MODE_STATUS";
    // Command line, device state after the scan, file newer, file exists; result, exit code, engine calls.
    const std::tuple<const char*, int32_t, bool, bool, TavoResult, int32_t, const char*> cases[] = {
        // A status run sets the exit code from the state after the scan, and starts nothing.
        {status, none, true, true, quiet, 1, ""},
        {status, inUpdate, false, true, quiet, 2, ""},
        {status, inUpdate, true, true, quiet, 3, ""},
        {status, normal, false, true, quiet, 4, ""},
        {status, normal, true, true, quiet, 5, ""},
        {status, several, true, true, quiet, 0, ""},
        {status, Engine::kDeviceCannotUpdate, true, true, quiet, 0, ""},
        // Automatic start opens the window without waiting, unless the device does not reach update mode.
        {"x -START_UPDATE_AUTOMATICALLY", inUpdate, true, true, 0, 0, "start;"},
        {"x -START_UPDATE_AUTOMATICALLY", normal, true, true, 0, 0, "request-update-mode;"},
        // Quiet with nothing to do: nothing starts, yet no window; needed after all: the window opens.
        {"x -SILENT", inUpdate, false, true, quiet, 0, "wait 1;"},
        {"x -SILENT_IF_UPDATE_NOT_NEEDED", inUpdate, false, true, quiet, 0, ""},
        {"x -SILENT_IF_UPDATE_NOT_NEEDED", inUpdate, true, true, 0, 0, ""},
        {"x -silent -always_update -silent_if_update_not_needed", inUpdate, false, true, quiet, 0,
         "start;wait 1;"},
        // Without a valid file or a single device there is nothing to decide.
        {"x -SILENT", inUpdate, true, false, 0, 0, ""},
        {"x -SILENT", several, true, true, 0, 0, ""}};
    for (const auto& [line, state, newer, fileExists, result, code, calls] : cases) {
        SCOPED_TRACE(std::string(line) + " state " + std::to_string(state));
        Fresh(1);
        engine->stateAfterScan = state;
        engine->stateAfterRequest = Engine::kDeviceEnteringUpdateMode;
        engine->newer = newer;
        engine->fileExists = fileExists;
        EXPECT_EQ(Run(line), result);
        EXPECT_EQ(engine->calls, calls);
        EXPECT_EQ(Tavo::gProcessExitCode, code);
    }
}

TEST_F(UpdateProcessorTest, SilentUpdateStartsWaitsAndAbortsWhenTheWaitTimesOut)
{
    engine->stateAfterScan = Engine::kDeviceNormalMode;
    EXPECT_EQ(Run("x -SILENT"), LUpdateProcessor::kEndWithoutWindow);
    EXPECT_EQ(engine->calls, "request-update-mode;start;wait 600000;");
    EXPECT_EQ(Tavo::gProcessExitCode, 0);
    EXPECT_FALSE(processor->CanExit());  // updating

    // Past the limit the worker is waited for only while the driver's flag
    // is on (a hold exists); before that it sets none once it sees the abort.
    for (const bool flagOn : {false, true}) {
        Fresh();
        std::optional<Tavo::Platform::App::InterruptHold> hold;
        if (flagOn)
            hold.emplace();
        engine->stateAfterScan = Engine::kDeviceInUpdateMode;
        engine->waitResults = {Tavo::E_FAIL, Tavo::S_OK};
        EXPECT_EQ(Run("x -SILENT"), LUpdateProcessor::kEndWithoutWindow);
        EXPECT_EQ(engine->calls, flagOn ? "start;wait 600000;abort;wait " +
                                              std::to_string(LUpdateProcessor::kAbortWaitMs) + ";"
                                        : "start;wait 600000;abort;");
    }
}

TEST_F(UpdateProcessorTest, ASignalOrTheLimitEndsAQuietRunWhateverItsTransferIsDoing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunStuck(LUpdateProcessor::kSilentWaitMs, true), ::testing::KilledBySignal(SIGTERM),
                "the update was aborted by signal 15");
    EXPECT_EXIT(RunStuck(1, false), ::testing::ExitedWithCode(0), "the update was aborted after 0 s");
}

// Once a signal is caught no transfer starts, and one that started sets no
// flag, however the signal's thread and the start of the transfer interleave.
TEST_F(UpdateProcessorTest, ASignalAsTheTransferStartsLeavesNoFlagSet)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using ::testing::HasSubstr;
    // Before the hand-over nothing starts; after it the worker sees the abort.
    EXPECT_EXIT(RunRacing(true), ::testing::KilledBySignal(SIGTERM),
                ::testing::Not(HasSubstr("transfer started")));
    EXPECT_EXIT(RunRacing(false), ::testing::KilledBySignal(SIGTERM),
                ::testing::AllOf(HasSubstr("transfer started"), HasSubstr("no flag")));
}

// The engine's own start and hand-over, recording every device state the
// window would be told of.
class StartingEngine : public FakeEngine
{
public:
    TavoResult StartUpdate() override { return LUpdateEngineInterface::StartUpdate(); }
    TavoResult RequestUpdateMode() override { return LUpdateEngineInterface::RequestUpdateMode(); }
    TavoResult WaitForUpdate(uint32_t timeoutMs) override
    {
        return LUpdateEngineInterface::WaitForUpdate(timeoutMs);
    }
    void PostDeviceStateChange(int32_t newState, int32_t) override { states.push_back(newState); }
    TavoResult PerformUpdate() override
    {
        ++transfers;
        return Tavo::S_OK;
    }
    std::vector<int32_t> states;
    std::atomic<int> transfers{0};
};

// An exit accepted in the device's update mode is final: no transfer and no
// request for update mode starts after it, and the window is never told of
// an update; one refused during a transfer decides nothing.
TEST_F(UpdateProcessorTest, AnAcceptedExitStartsNothingAfterIt)
{
    Tavo::RCPtr<StartingEngine> starting(new StartingEngine());
    processor = Tavo::RCPtr<LUpdateProcessor>(new LUpdateProcessor(Tavo::RCPtr<Engine>(starting.Get()), 1));
    starting->SetFileState(Engine::kFileValid);
    starting->SetDeviceState(Engine::kDeviceInUpdateMode);
    ASSERT_TRUE(processor->AcceptExit());
    starting->states.clear();
    EXPECT_TRUE(Tavo::Failed(starting->StartUpdate()));
    EXPECT_TRUE(Tavo::Failed(starting->RequestUpdateMode()));
    starting->WaitForUpdate(10000);
    EXPECT_EQ(starting->transfers, 0);
    EXPECT_EQ(starting->states, std::vector<int32_t>{});
    EXPECT_TRUE(processor->CanExit());

    starting = Tavo::RCPtr<StartingEngine>(new StartingEngine());
    processor = Tavo::RCPtr<LUpdateProcessor>(new LUpdateProcessor(Tavo::RCPtr<Engine>(starting.Get()), 1));
    starting->SetFileState(Engine::kFileValid);
    starting->SetDeviceState(Engine::kDeviceInUpdateMode);
    ASSERT_TRUE(Tavo::Succeeded(starting->StartUpdate()));
    EXPECT_FALSE(processor->AcceptExit());
    EXPECT_FALSE(starting->IsEnding());
    starting->WaitForUpdate(10000);
    EXPECT_EQ(starting->transfers, 1);
}

TEST_F(UpdateProcessorTest, ADeviceThatCannotUpdateStopsEverythingAfterTheEngine)
{
    engine->stateAfterInitialize = Engine::kDeviceCannotUpdate;
    EXPECT_EQ(Run("x -SILENT"), Tavo::S_OK);
    EXPECT_TRUE(engine->firmwarePaths.empty());
    EXPECT_EQ(engine->scans, 0);
    EXPECT_EQ(Run("x -RETURN_UPDATE_MODE_STATUS"), LUpdateProcessor::kEndWithoutWindow);
    EXPECT_EQ(Tavo::gProcessExitCode, 1);

    Fresh();
    engine->initializeResult = Tavo::E_FAIL;
    EXPECT_EQ(ThrownText([&] { Run("x"); }),
              "Failed Result : TAVORESULT = 80004005 : LUpdateProcessor::Initialize : "
              "Engine\\UpdateProcessor : Line 53");
}

TEST_F(UpdateProcessorTest, FirmwarePathComesFromTheSwitchesOrTheDefault)
{
    Run("x -ABSOLUTE_FIRMWARE_FILE_PATH=\"/a b/c.bin\" -FIRMWARE_IMAGE_NAME=n.syx");
    Run("x -FIRMWARE_IMAGE_NAME=n.syx");  // the stored command line is the first one
    EXPECT_EQ(engine->firmwarePaths, "/a b/c.bin;/a b/c.bin;");
    auto pathFor = [&](const char* line) {
        Fresh();
        Run(line);
        return engine->firmwarePaths;
    };
    const std::string name = pathFor("x -FIRMWARE_IMAGE_NAME=n.syx"), fallback = pathFor("x");
    const size_t slash = fallback.rfind('/');
    EXPECT_EQ(fallback.substr(slash), "/RB47DSP_FULL.syx;");
    EXPECT_EQ(name, fallback.substr(0, slash) + "/n.syx;");
}

TEST_F(UpdateProcessorTest, AlwaysUpdateIsReadOnceAndKeptByReinitialize)
{
    Run("x -ALWAYS_UPDATE");
    EXPECT_TRUE(processor->GetAlwaysUpdate());
    processor->SetAlwaysUpdate(false);
    processor->Reinitialize();
    EXPECT_FALSE(processor->GetAlwaysUpdate());
    EXPECT_EQ(engine->initializeCalls, 2);
    // The device was defined once; the second run finds it defined already.
    EXPECT_EQ(engine->scans, 2);
}

}  // namespace
