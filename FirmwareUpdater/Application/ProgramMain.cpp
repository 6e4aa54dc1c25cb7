#include "Application/ProgramMain.h"

#include "Application/Application.h"
#include "Application/CommandLine.h"
#include "Controls/FrameworkControlClasses.h"
#include "Window/Native/DesktopHooks.h"

int RunFirmwareUpdater(int argc, char** argv)
{
    const std::string commandLine = Tavo::JoinCommandLine(argc, argv);
    Tavo::AppShellOptions options;
    options.applicationName = LApplication::GetApplicationName();
    options.hooks = Tavo::DesktopPlatformHooks();
    options.hooks.controlClasses = Tavo::FrameworkControlClasses();
    // Quiet runs and status runs end without a window unless the device or
    // the file needs one; they leave the lock to copies that show one.
    options.runsWithoutWindow = [](const std::string& line) {
        const Tavo::WString wide(line.c_str());
        return FindSwitch(wide, u"-SILENT", nullptr) ||
               FindSwitch(wide, u"-RETURN_UPDATE_MODE_STATUS", nullptr);
    };
    // Nor does one that ends without a window when nothing needs updating.
    options.mayEndWithoutWindow = [runsWithoutWindow = options.runsWithoutWindow](const std::string& line) {
        return runsWithoutWindow(line) ||
               FindSwitch(Tavo::WString(line.c_str()), u"-SILENT_IF_UPDATE_NOT_NEEDED", nullptr);
    };
    options.createApplication =
        [](Tavo::FrameworkAppShell& shell, const Tavo::RCPtr<Tavo::LControlFactory>& factory,
           const Tavo::RCPtr<Tavo::LStringTable>& strings, const Tavo::WString& line) {
            return Tavo::RCPtr<Tavo::LApplicationBase>(new LApplication(shell, factory, strings, line));
        };
    Tavo::FrameworkAppShell shell(std::move(options), commandLine);
    return shell.Main(-1);
}
