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

// The program's start-up with a main window that needs no display, on an empty simulated platform.
TEST(ApplicationStartup, OpensTheWindowWithDowngradesAllowedAndMayExitWithoutAnUpdate)
{
    TestFolder root;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    for (const char* name : {"TAVO_PLATFORM_ROOT", "TAVO_RUNTIME_DIR", "TAVO_USER_APPDATA_DIR",
                             "TAVO_COMMON_APPDATA_DIR", "TAVO_CONFIG_DIR", "HOME"})
        env.push_back(std::make_unique<ScopedEnv>(name, root.Path()));
    Platform::Registry::SetMachine(Platform::Registry::CreateMemoryRegistry());
    AppTest::Rec() = AppTest::Recorder();
    Platform::App::MessageLoop loop;

    // Unless the first tick asks the program to end, the run never returns.
    AppTest::Rec().onTick = [&](int tick) {
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
    };
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
    EXPECT_EQ(shell.Main(-1), 0);
    gProcessExitCode = 0;

    const std::string first = AppTest::Rec().events.at(0);
    EXPECT_TRUE(first.starts_with("create-window:Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater:"))
        << first;
    EXPECT_TRUE(AppTest::Rec().Has("renderer:1"));
    EXPECT_TRUE(AppTest::Rec().Has("root-control:mainControl"));
}

}  // namespace
