#pragma once

// Runs the test application with a widget skin in a window on the test X
// server (tests/Common/XServer.h). The script runs on the program's loop once
// the loop starts and ends the program by posting "NID_APP_EXIT_REQ".

#include "Platform/App/MessageLoop.h"
#include "Window/Native/DesktopHooks.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"
#include "tests/Common/LoopTurns.h"
#include "tests/Common/TestScope.h"
#include "tests/Common/XServer.h"
#include "tests/TavoFramework/Application/AppTestSupport.h"

#include <filesystem>
#include <functional>
#include <span>

namespace WidgetWindow {

using namespace Tavo;

using LoopTurns::Settle;
using LoopTurns::TurnUntil;

// The pointer on a window and its pixels, in client coordinates.
class Screen
{
public:
    explicit Screen(OSWindow& window)
        : id(window.GetWindowId()), client(WindowHost::System()->GetClientRect(id))
    {
    }
    uint32_t Pixel(int32_t x, int32_t y) const { return TestXServer().ReadPixels(id, {x, y, 1, 1}).at(0); }
    // Paints run on the loop: wait for the colour rather than for a count.
    bool Shows(int32_t x, int32_t y, uint32_t rgb) const
    {
        return TurnUntil([&] { return Pixel(x, y) == rgb; });
    }
    void To(int32_t x, int32_t y)
    {
        input.MoveTo(client.x + x, client.y + y);
        Settle();
    }

    const unsigned long id;
    const Platform::Window::Rect client;
    XInput input;
};

// The test application with the control classes its skin names.
class App : public AppTest::TestApp
{
public:
    using TestApp::TestApp;
    std::span<const ControlClassRow> GetControlClassTable() override { return classes; }
    std::span<const ControlClassRow> classes;
};

using Script = std::function<void(App& app, OSWindow& window)>;

// The program's exit code. The skin file's top control is "mainControl";
// a string-table file, when given, replaces the test application's.
inline int32_t Run(const std::string& skin, std::span<const ControlClassRow> classes, const Script& script,
                   const std::string& strings = {})
{
    TestFolder dir;
    AppTest::WriteResources(dir / "res", false, 1);
    std::filesystem::copy_file(skin, dir / "res/Skins.xml",
                               std::filesystem::copy_options::overwrite_existing);
    if (!strings.empty())
        std::filesystem::copy_file(strings, dir / "res/StringTables.xml",
                                   std::filesystem::copy_options::overwrite_existing);
    ScopedEnv user("TAVO_USER_APPDATA_DIR", dir / "user"), common("TAVO_COMMON_APPDATA_DIR", dir / "common");
    AppShellOptions options;
    options.applicationName = u"TestApp";
    options.profile = std::make_shared<Platform::App::MemoryProfileStore>();
    options.createSingleInstance = [](const std::string& name) {
        return std::make_unique<Platform::App::FakeSingleInstance>(name);
    };
    options.hooks = DesktopPlatformHooks();
    options.createApplication = [&](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                    const RCPtr<LStringTable>& strings, const WString& line) {
        auto* app = new App(shell, factory, strings, line);
        app->classes = classes;
        app->onLoop = [app, &script] {
            Platform::App::MainMessageLoop().Post(
                [app, &script] { script(*app, *static_cast<OSWindow*>(app->GetMainWindow())); });
        };
        return RCPtr<LApplicationBase>(app);
    };
    AppTest::TestShell shell(std::move(options), "TestApp", dir / "res");
    // Nothing may hang the test program: the loop ends after 20 s at most.
    Platform::App::MainMessageLoop().SetTimer(
        0x5E5E, 20000, [](uint32_t) { Platform::App::MainMessageLoop().PostQuit(99); });
    const int32_t code = shell.Main(9);
    Platform::App::MainMessageLoop().KillTimer(0x5E5E);
    return code;
}

}  // namespace WidgetWindow
