// A small application over the framework with a headless main window, for
// the test that needs real processes: two copies. Resources come from
// $TAVO_TEST_RESOURCES.
#include "AppTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Tavo;
using namespace AppTest;

int main(int argc, char** argv)
{
    const std::string commandLine = JoinCommandLine(argc, argv);
    const char* resources = std::getenv("TAVO_TEST_RESOURCES");

    AppShellOptions options;
    options.applicationName = u"TavoTestApp";
    options.hooks.createMainWindow = [] {
        return std::make_unique<FakeMainWindow>(Platform::App::MainMessageLoop());
    };
    options.createApplication = [](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                   const RCPtr<LStringTable>& strings, const WString& line) {
        auto* app = new TestApp(shell, factory, strings, line);
        app->onLoop = [] {
            std::printf("READY\n");
            std::fflush(stdout);
        };
        app->onSecondCopy = [](const std::string& text) {
            std::printf("RECEIVED:%s\n", text.c_str());
            std::fflush(stdout);
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        };
        return RCPtr<LApplicationBase>(app);
    };
    TestShell shell(std::move(options), commandLine, resources ? resources : "");
    return shell.Main();
}
