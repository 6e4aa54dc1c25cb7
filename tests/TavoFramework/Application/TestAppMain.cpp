// A small application over the framework with a headless main window, for
// the tests that need real processes: two copies, and the log at exit.
// Resources come from $TAVO_TEST_RESOURCES. With $TAVO_TEST_LOG_TEXT the
// program writes it and a wide text to the log without a flush, says
// READY and ends once its stdin closes.
#include "AppTestSupport.h"

#include "Application/DebugLog.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

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
            const char* text = std::getenv("TAVO_TEST_LOG_TEXT");
            if (text) {
                DebugLog::Get().Narrow() << text;
                DebugLog::Get().Wide() << u"wide \u20ac\U0001F3B5 no flush;";
            }
            std::printf("READY\n");
            std::fflush(stdout);
            if (text) {
                char c;
                while (read(0, &c, 1) > 0) {
                }
                GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
            }
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
