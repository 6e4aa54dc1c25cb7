#include "Application/Application.h"

#include "Platform/Window/WindowSystem.h"

#include <cstdio>

using Tavo::TavoResult;
using Tavo::WString;

LApplication::LApplication(Tavo::FrameworkAppShell& shell, const Tavo::RCPtr<Tavo::LControlFactory>& factory,
                           const Tavo::RCPtr<Tavo::LStringTable>& frameworkStrings, const WString& commandLine)
    : LApplicationBase(shell, factory, frameworkStrings, commandLine)
{
}

LApplication::~LApplication() = default;

const WString& LApplication::GetApplicationName()
{
    // The family name is joined in as it stands, never looked up.
    static const WString* name = new WString(u"Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater");
    return *name;
}

TavoResult LApplication::RunApplicationStartup()
{
    const TavoResult base = LApplicationBase::RunApplicationStartup();
    if (base < 0)
        return base;
    // "FirmwareUpdater.MainControl" is registered with the main control.
    mProcessor = Tavo::RCPtr<LUpdateProcessor>(new LUpdateProcessor());
    const TavoResult hr = mProcessor->Initialize(WString(GetCommandLine()));
    if (hr < 0)
        return hr;
    // The window starts with downgrades and same-version updates allowed.
    mProcessor->SetAlwaysUpdate(true);
    // Losing the display ends the program at once; the device must not be
    // left stuck in its update mode.
    Tavo::Platform::Window::AddConnectionLostAction([] {
        const Tavo::RCPtr<Tavo::LApplicationBase> app = Tavo::gApplication;
        if (auto* self = dynamic_cast<LApplication*>(app.Get()); self && self->mProcessor)
            self->mProcessor->AbortForExit();
    });
    return 0;
}

TavoResult LApplication::CreateMainWindow(int32_t rendererType)
{
    if (!GetPlatformHooks().createMainWindow) {
        // Say why the start-up error follows: this build has no window.
        std::fprintf(stderr, "FirmwareUpdater: no main window in this build; "
                             "-RETURN_UPDATE_MODE_STATUS and -SILENT runs work without it\n");
        return Tavo::E_FAIL;
    }
    const TavoResult result = LApplicationBase::CreateMainWindow(rendererType);
    if (result < 0 && !GetMainWindow())
        std::fprintf(stderr, "FirmwareUpdater: no display to show the main window on (is DISPLAY set?); "
                             "-RETURN_UPDATE_MODE_STATUS and -SILENT runs work without one\n");
    return result;
}

bool LApplication::CanExit()
{
    if (!GetTopRootWindow() || !mProcessor)
        return true;
    return mProcessor->CanExit();
}
