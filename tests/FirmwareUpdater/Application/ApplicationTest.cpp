#include <gtest/gtest.h>

#include "Application/Application.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/App/ProfileStore.h"
#include "Platform/App/SingleInstance.h"
#include "Platform/Registry/Registry.h"
#include "tests/Common/TestScope.h"
#include "tests/TavoFramework/Application/AppTestSupport.h"

namespace {

using namespace Tavo;

// The program with a main window that needs no display, on an empty simulated platform; `onTick` runs
// on the window's ticks and must end the run. The program's exit code.
int RunProgram(const std::function<void(int)>& onTick)
{
    TestFolder root;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    for (const char* name : {"TAVO_PLATFORM_ROOT", "TAVO_RUNTIME_DIR", "TAVO_USER_APPDATA_DIR",
                             "TAVO_COMMON_APPDATA_DIR", "TAVO_CONFIG_DIR", "HOME"})
        env.push_back(std::make_unique<ScopedEnv>(name, root.Path()));
    Platform::Registry::SetMachine(Platform::Registry::CreateMemoryRegistry());
    AppTest::Rec() = AppTest::Recorder();
    Platform::App::MessageLoop loop;

    AppTest::Rec().onTick = onTick;
    AppShellOptions options;
    options.applicationName = LApplication::GetApplicationName();
    options.loop = &loop;
    options.profile = std::make_shared<Platform::App::MemoryProfileStore>();
    options.createSingleInstance = [](const std::string& name) {
        return std::make_unique<Platform::App::FakeSingleInstance>(name);
    };
    options.hooks.createMainWindow = [&loop] { return std::make_unique<AppTest::FakeMainWindow>(loop); };
    options.createApplication = [](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                   const RCPtr<LStringTable>& strings, const WString& line) {
        return RCPtr<LApplicationBase>(new LApplication(shell, factory, strings, line));
    };
    FrameworkAppShell shell(std::move(options), "FirmwareUpdater");
    const int code = shell.Main(-1);
    gProcessExitCode = 0;
    return code;
}

TEST(ApplicationStartup, OpensTheWindowWithDowngradesAllowedAndMayExitWithoutAnUpdate)
{
    // Unless the first tick asks the program to end, the run never returns.
    const int code = RunProgram([&](int tick) {
        if (tick != 1)
            return;
        auto& app = static_cast<LApplication&>(*gApplication.Get());
        // No mixer on the empty platform: scanned and found none. Downgrades are allowed whatever the
        // command line said.
        EXPECT_EQ(app.GetUpdateProcessor()->GetEngine()->GetDeviceState(),
                  LUpdateEngineInterface::kDeviceNoneFound);
        EXPECT_TRUE(app.GetUpdateProcessor()->GetAlwaysUpdate());
        EXPECT_TRUE(app.CanExit());
        GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    });
    EXPECT_EQ(code, 0);

    const std::string first = AppTest::Rec().events.at(0);
    EXPECT_TRUE(first.starts_with("create-window:Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater:"))
        << first;
    EXPECT_TRUE(AppTest::Rec().Has("renderer:1"));
    EXPECT_TRUE(AppTest::Rec().Has("root-control:mainControl"));
}

// An error that escapes the message loop while a transfer runs ends the run past a refused exit
// request: the run's end stops the transfer and lets nothing start after it, since the processor
// outlives the run.
TEST(ApplicationStartup, ARunEndedMidTransferEndsTheTransferFirst)
{
    using Engine = LUpdateEngineInterface;
    RCPtr<Engine> engine;
    RunProgram([&](int tick) {
        if (tick != 1)
            return;
        auto& app = static_cast<LApplication&>(*gApplication.Get());
        engine = app.GetUpdateProcessor()->GetEngine();
        engine->SetFileState(Engine::kFileValid);
        engine->SetDeviceState(Engine::kDeviceInUpdateMode);
        ASSERT_TRUE(Succeeded(engine->StartUpdate()));
        EXPECT_FALSE(app.CanExit());
        throw std::runtime_error("an error in the loop");
    });
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->IsAbortRequested());
    engine->WaitForUpdate(60000);
    engine->SetDeviceState(Engine::kDeviceInUpdateMode);
    EXPECT_TRUE(Failed(engine->StartUpdate()));
}

}  // namespace
