#pragma once

// Runs a small application with a real window on the test's Xvfb, and turns
// its loop from a test script.

#include "Platform/App/MessageLoop.h"
#include "Window/Native/DesktopHooks.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"
#include "tests/Common/TestScope.h"
#include "tests/TavoFramework/Application/AppTestSupport.h"

#include <functional>
#include <memory>

namespace AppTest {

// Runs App from the resources; script runs on the loop once the window shows.
template <class App>
int32_t RunWindowApp(const std::string& resources,
                     const std::shared_ptr<Platform::App::MemoryProfileStore>& profile,
                     std::function<void(App&, OSWindow&)> script, bool canExit = true)
{
    AppShellOptions options;
    options.applicationName = u"TestApp";
    options.profile = profile;
    options.createSingleInstance = [](const std::string& name) {
        return std::make_unique<Platform::App::FakeSingleInstance>(name);
    };
    options.hooks = DesktopPlatformHooks();
    options.createApplication = [&](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                    const RCPtr<LStringTable>& strings, const WString& line) {
        auto* app = new App(shell, factory, strings, line);
        app->canExit = canExit;
        app->onLoop = [app, script] {
            Platform::App::MainMessageLoop().Post(
                [app, script] { script(*app, *static_cast<OSWindow*>(app->GetMainWindow())); });
        };
        return RCPtr<LApplicationBase>(app);
    };
    TestShell shell(std::move(options), "TestApp", resources);
    // Nothing may hang the test program: the loop ends after 20 s at most.
    Platform::App::MainMessageLoop().SetTimer(
        0x5E5E, 20000, [](uint32_t) { Platform::App::MainMessageLoop().PostQuit(99); });
    const int32_t code = shell.Main(9);
    Platform::App::MainMessageLoop().KillTimer(0x5E5E);
    return code;
}

// Turns the loop until the condition holds; false after many turns.
inline bool TurnUntil(const std::function<bool()>& done, int turns = 400)
{
    Platform::Window::IWindowSystem* system = WindowHost::System();
    for (int i = 0; i < turns && !done(); ++i) {
        system->Sync();
        Platform::Window::Event e;
        while (system->NextEvent(e))
            WindowHost::Dispatch(e);
        // The loop's own posted work (paints) runs in a nested turn.
        Platform::App::MainMessageLoop().Post([] { Platform::App::MainMessageLoop().PostQuit(0); });
        Platform::App::MainMessageLoop().Run();
    }
    return done();
}

inline void Settle()
{
    TurnUntil([] { return false; }, 3);
}

}  // namespace AppTest
