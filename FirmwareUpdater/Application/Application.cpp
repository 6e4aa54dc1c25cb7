#include "Application/Application.h"

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
    return LApplicationBase::CreateMainWindow(rendererType);
}

bool LApplication::CanExit()
{
    if (!GetTopRootWindow() || !mProcessor)
        return true;
    return mProcessor->CanExit();
}
