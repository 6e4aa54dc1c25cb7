// A small application over the framework with a headless main window, for
// the tests that need a real process: two copies, a quiet end, a failed
// start-up. Resources come from $TAVO_TEST_RESOURCES.
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
    options.createApplication = [&commandLine](FrameworkAppShell& shell,
                                               const RCPtr<LControlFactory>& factory,
                                               const RCPtr<LStringTable>& strings, const WString& line) {
        auto* app = new TestApp(shell, factory, strings, line);
        const size_t quiet = commandLine.find("-QUIET_END=");
        if (quiet != std::string::npos)
            app->quietEndCode = std::atoi(commandLine.c_str() + quiet + 11);
        app->throwInStartup = commandLine.find("-THROW_STARTUP") != std::string::npos;
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
