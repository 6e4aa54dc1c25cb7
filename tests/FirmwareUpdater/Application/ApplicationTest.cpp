// The updater's application object started by the framework, with a main
// window that needs no display and an empty simulated platform.
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

class ApplicationStartup : public ::testing::Test
{
protected:
    ApplicationStartup()
    {
        for (const char* name : {"TAVO_PLATFORM_ROOT", "TAVO_RUNTIME_DIR", "TAVO_USER_APPDATA_DIR",
                                 "TAVO_COMMON_APPDATA_DIR", "TAVO_CONFIG_DIR", "HOME"})
            mEnv.push_back(std::make_unique<ScopedEnv>(name, mRoot.Path()));
        Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry());
        AppTest::Rec() = AppTest::Recorder();
    }

    // Runs the program's start-up with `commandLine`; `onTick` runs in the
    // message loop once the window is up.
    int32_t Run(const std::string& commandLine, std::function<void(LApplication&)> onTick = nullptr)
    {
        AppTest::Rec().onTick = [onTick](int tick) {
            if (tick != 1)
                return;
            if (onTick)
                onTick(static_cast<LApplication&>(*gApplication.Get()));
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        };
        AppShellOptions options;
        options.applicationName = LApplication::GetApplicationName();
        options.loop = &mLoop;
        options.profile = std::make_shared<Platform::App::MemoryProfileStore>();
        options.createSingleInstance = [](const std::string& name) {
            return std::make_unique<Platform::App::FakeSingleInstance>(name);
        };
        options.hooks.createMainWindow = [this] { return std::make_unique<AppTest::FakeMainWindow>(mLoop); };
        options.createApplication = [](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                       const RCPtr<LStringTable>& strings, const WString& line) {
            return RCPtr<LApplicationBase>(new LApplication(shell, factory, strings, line));
        };
        FrameworkAppShell shell(std::move(options), commandLine);
        const int32_t code = shell.Main(-1);
        gProcessExitCode = 0;
        return code;
    }

    TestFolder mRoot;
    std::vector<std::unique_ptr<ScopedEnv>> mEnv;
    Platform::App::MessageLoop mLoop;
};

TEST_F(ApplicationStartup, OpensTheWindowWithDowngradesAllowedAndMayExitWithoutAnUpdate)
{
    bool alwaysUpdate = false;
    bool canExit = false;
    int32_t deviceState = -1;
    EXPECT_EQ(Run("FirmwareUpdater",
                  [&](LApplication& app) {
                      alwaysUpdate = app.GetUpdateProcessor()->GetAlwaysUpdate();
                      deviceState = app.GetUpdateProcessor()->GetEngine()->GetDeviceState();
                      canExit = app.CanExit();
                  }),
              0);
    // No mixer on the empty platform: scanned and found none.
    EXPECT_EQ(deviceState, LUpdateEngineInterface::kDeviceNoneFound);
    // Whatever the command line said.
    EXPECT_TRUE(alwaysUpdate);
    EXPECT_TRUE(canExit);
    const auto& events = AppTest::Rec().events;
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].rfind("create-window:Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater:", 0), 0u)
        << events[0];
    EXPECT_TRUE(AppTest::Rec().Has("renderer:1"));
    EXPECT_TRUE(AppTest::Rec().Has("root-control:mainControl"));
}

}  // namespace
