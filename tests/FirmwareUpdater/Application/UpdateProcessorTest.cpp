#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <deque>
#include <vector>

#include "Application/ApplicationBase.h"
#include "Application/UpdateProcessor.h"

namespace {

using Tavo::TavoResult;
using Tavo::WString;
using Engine = LUpdateEngineInterface;

// An engine whose probe results are set by the test; records what the
// processor asks of it.
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
        firmwarePaths.push_back(Tavo::NString(path).c_str());
        SetFileState(fileExists ? kFileValid : kFileMissing);
        return fileExists ? Tavo::S_OK : Tavo::E_FAIL;
    }
    bool IsFileNewerThanDevice() override { return newer; }
    TavoResult RequestUpdateMode() override
    {
        calls.push_back("request-update-mode");
        SetDeviceState(stateAfterRequest);
        return Tavo::S_OK;
    }
    TavoResult StartUpdate() override
    {
        calls.push_back("start");
        SetDeviceState(kDeviceUpdating);
        return Tavo::S_OK;
    }
    TavoResult WaitForUpdate(uint32_t timeoutMs) override
    {
        calls.push_back("wait " + std::to_string(timeoutMs));
        TavoResult hr = Tavo::S_OK;
        if (!waitResults.empty()) {
            hr = waitResults.front();
            waitResults.pop_front();
        }
        return hr;
    }
    TavoResult AbortUpdate() override
    {
        calls.push_back("abort");
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

    int32_t stateAfterInitialize = -1;
    int32_t stateAfterScan = kDeviceNoneFound;
    int32_t stateAfterRequest = kDeviceInUpdateMode;
    TavoResult initializeResult = Tavo::S_OK;
    bool fileExists = true;
    bool newer = true;
    int initializeCalls = 0;
    int scans = 0;
    std::vector<std::string> firmwarePaths;
    std::vector<std::string> calls;
    std::deque<TavoResult> waitResults;
};

class UpdateProcessorTest : public ::testing::Test
{
protected:
    UpdateProcessorTest()
        : engine(new FakeEngine()), processor(new LUpdateProcessor(Tavo::RCPtr<Engine>(engine.Get()), 600000))
    {
        Tavo::gProcessExitCode = 0;
    }
    ~UpdateProcessorTest() override { Tavo::gProcessExitCode = 0; }

    TavoResult Run(const char* commandLine)
    {
        return processor->Initialize(WString(Tavo::NString(commandLine)));
    }

    Tavo::RCPtr<FakeEngine> engine;
    Tavo::RCPtr<LUpdateProcessor> processor;
};

TEST_F(UpdateProcessorTest, StatusRunsSetTheExitCodeFromTheStateAfterTheScan)
{
    struct Case
    {
        int32_t state;
        bool newer;
        int32_t code;
    } cases[] = {{Engine::kDeviceNoneFound, true, 1},    {Engine::kDeviceInUpdateMode, false, 2},
                 {Engine::kDeviceInUpdateMode, true, 3}, {Engine::kDeviceNormalMode, false, 4},
                 {Engine::kDeviceNormalMode, true, 5},   {Engine::kDeviceSeveralFound, true, 0},
                 {Engine::kDeviceCannotUpdate, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        engine = Tavo::RCPtr<FakeEngine>(new FakeEngine());
        processor =
            Tavo::RCPtr<LUpdateProcessor>(new LUpdateProcessor(Tavo::RCPtr<Engine>(engine.Get()), 600000));
        Tavo::gProcessExitCode = 0;
        engine->stateAfterScan = c.state;
        engine->newer = c.newer;
        EXPECT_EQ(Run("FirmwareUpdater -RETURN_UPDATE_MODE_STATUS"), LUpdateProcessor::kEndWithoutWindow);
        EXPECT_EQ(Tavo::gProcessExitCode, c.code);
        EXPECT_EQ(engine->scans, 1);
        EXPECT_TRUE(engine->calls.empty());
    }
}

TEST_F(UpdateProcessorTest, ADeviceThatCannotUpdateStopsEverythingAfterTheEngine)
{
    engine->stateAfterInitialize = Engine::kDeviceCannotUpdate;
    EXPECT_EQ(Run("x -SILENT"), Tavo::S_OK);
    EXPECT_TRUE(engine->firmwarePaths.empty());
    EXPECT_EQ(engine->scans, 0);
    EXPECT_EQ(Run("x -RETURN_UPDATE_MODE_STATUS"), LUpdateProcessor::kEndWithoutWindow);
    EXPECT_EQ(Tavo::gProcessExitCode, 1);
}

TEST_F(UpdateProcessorTest, AFailingEngineThrowsTheFailedResult)
{
    engine->initializeResult = Tavo::E_FAIL;
    EXPECT_EQ(ThrownText([&] { Run("x"); }),
              "Failed Result : TAVORESULT = 80004005 : LUpdateProcessor::Initialize : "
              "Engine\\UpdateProcessor : Line 53");
}

TEST_F(UpdateProcessorTest, FirmwarePathComesFromTheSwitchesOrTheDefault)
{
    Run("x -ABSOLUTE_FIRMWARE_FILE_PATH=\"/a b/c.bin\" -FIRMWARE_IMAGE_NAME=n.syx");
    Run("x -FIRMWARE_IMAGE_NAME=n.syx");
    Run("x");
    ASSERT_EQ(engine->firmwarePaths.size(), 3u);
    // The stored command line is the first one: every later run repeats it.
    EXPECT_EQ(engine->firmwarePaths[0], "/a b/c.bin");
    EXPECT_EQ(engine->firmwarePaths[1], "/a b/c.bin");
    LUpdateProcessor named(Tavo::RCPtr<Engine>(engine.Get()), 1);
    named.Initialize(WString(u"x -FIRMWARE_IMAGE_NAME=n.syx"));
    LUpdateProcessor plain(Tavo::RCPtr<Engine>(engine.Get()), 1);
    plain.Initialize(WString(u"x"));
    const std::string name = engine->firmwarePaths[3];
    const std::string fallback = engine->firmwarePaths[4];
    EXPECT_EQ(name.substr(name.rfind('/')), "/n.syx");
    EXPECT_EQ(fallback.substr(fallback.rfind('/')), "/RB47DSP_FULL.syx");
    EXPECT_EQ(name.substr(0, name.rfind('/')), fallback.substr(0, fallback.rfind('/')));
}

TEST_F(UpdateProcessorTest, SilentUpdateStartsWaitsAndEndsWithoutWindow)
{
    engine->stateAfterScan = Engine::kDeviceNormalMode;
    EXPECT_EQ(Run("x -SILENT"), LUpdateProcessor::kEndWithoutWindow);
    EXPECT_EQ(engine->calls, (std::vector<std::string>{"request-update-mode", "start", "wait 600000"}));
    EXPECT_EQ(Tavo::gProcessExitCode, 0);
    // Updating: the program may not close.
    EXPECT_FALSE(processor->CanExit());
}

TEST_F(UpdateProcessorTest, SilentWaitThatTimesOutAbortsAndWaitsForTheWorker)
{
    engine->stateAfterScan = Engine::kDeviceInUpdateMode;
    engine->waitResults = {Tavo::E_FAIL, Tavo::S_OK};
    EXPECT_EQ(Run("x -SILENT"), LUpdateProcessor::kEndWithoutWindow);
    EXPECT_EQ(engine->calls,
              (std::vector<std::string>{"start", "wait 600000", "abort",
                                        "wait " + std::to_string(LUpdateProcessor::kAbortWaitMs)}));
}

TEST_F(UpdateProcessorTest, UpdateToDoAndTheSwitchesDecideWhatStartsAndHowTheRunEnds)
{
    const TavoResult quiet = LUpdateProcessor::kEndWithoutWindow;
    struct Case
    {
        const char* line;
        int32_t state;
        bool newer;
        bool fileExists;
        TavoResult result;
        std::vector<std::string> calls;
    } cases[] = {
        // Automatic start opens the window without waiting.
        {"x -START_UPDATE_AUTOMATICALLY", Engine::kDeviceInUpdateMode, true, true, 0, {"start"}},
        // A device that does not reach update mode is not started.
        {"x -START_UPDATE_AUTOMATICALLY", Engine::kDeviceNormalMode, true, true, 0, {"request-update-mode"}},
        // Quiet with nothing to do: nothing starts, yet the run ends without window.
        {"x -SILENT", Engine::kDeviceInUpdateMode, false, true, quiet, {"wait 1"}},
        {"x -SILENT_IF_UPDATE_NOT_NEEDED", Engine::kDeviceInUpdateMode, false, true, quiet, {}},
        // Needed after all: the window opens.
        {"x -SILENT_IF_UPDATE_NOT_NEEDED", Engine::kDeviceInUpdateMode, true, true, 0, {}},
        {"x -silent -always_update -silent_if_update_not_needed",
         Engine::kDeviceInUpdateMode,
         false,
         true,
         quiet,
         {"start", "wait 1"}},
        // Without a valid file or a single device there is nothing to decide.
        {"x -SILENT", Engine::kDeviceInUpdateMode, true, false, 0, {}},
        {"x -SILENT", Engine::kDeviceSeveralFound, true, true, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " state " + std::to_string(c.state));
        FakeEngine* fake = new FakeEngine();
        LUpdateProcessor run(Tavo::RCPtr<Engine>(fake), 1);
        fake->stateAfterScan = c.state;
        fake->stateAfterRequest = Engine::kDeviceEnteringUpdateMode;
        fake->newer = c.newer;
        fake->fileExists = c.fileExists;
        EXPECT_EQ(run.Initialize(WString(Tavo::NString(c.line))), c.result);
        EXPECT_EQ(fake->calls, c.calls);
        EXPECT_EQ(Tavo::gProcessExitCode, 0);
    }
}

TEST_F(UpdateProcessorTest, AlwaysUpdateIsReadOnceAndKeptByReinitialize)
{
    EXPECT_FALSE(processor->SetAlwaysUpdate(true));
    EXPECT_TRUE(processor->SetAlwaysUpdate(true));
    EXPECT_FALSE(processor->SetAlwaysUpdate(false));
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
