#include "Application/Application.h"

#include "Platform/Window/WindowSystem.h"
#include "System/CursorNames.h"
#include "UI/MainControl.h"

#include <cstdio>

using Tavo::TavoResult;
using Tavo::WString;

LApplication::LApplication(Tavo::FrameworkAppShell& shell, const Tavo::RCPtr<Tavo::LControlFactory>& factory,
                           const Tavo::RCPtr<Tavo::LStringTable>& frameworkStrings,
                           const WString& commandLine)
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
    TAVO_THROW_IF_FAILED(
        GetControlFactory()->RegisterControlClass(u"FirmwareUpdater.MainControl", &CreateMainControl),
        "LApplication::RunApplicationStartup", "Application", 2);
    mProcessor = Tavo::RCPtr<LUpdateProcessor>(new LUpdateProcessor());
    // From here on a signal that would end the program ends it on the
    // signal's own thread, at once, after a transfer that set the driver's
    // flag has cleared it (-START_UPDATE_AUTOMATICALLY starts the transfer
    // before the window opens).
    const TavoResult hr = mProcessor->Initialize(WString(GetCommandLine()));
    if (hr < 0) {
        Tavo::Platform::App::InterruptCatcher::EndByCaughtSignal();
        return hr;
    }
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

namespace {

// Which runs end without the window, so a script knows what to change.
constexpr const char* kRunsWithoutWindow =
    "Runs without a window need none: -RETURN_UPDATE_MODE_STATUS always, -SILENT when it finds one usable "
    "device and a valid firmware file, -SILENT_IF_UPDATE_NOT_NEEDED when it also finds no update to do. "
    "Every other run opens the main window and needs a display, also a -SILENT run that finds no usable "
    "device or no valid firmware file.\n";

}  // namespace

TavoResult LApplication::CreateMainWindow(int32_t rendererType)
{
    if (!GetPlatformHooks().createMainWindow) {
        // Say why the start-up error follows: this build has no window.
        std::fprintf(stderr, "FirmwareUpdater: no main window in this build\n%s", kRunsWithoutWindow);
        return Tavo::E_FAIL;
    }
    const TavoResult result = LApplicationBase::CreateMainWindow(rendererType);
    if (result < 0 && !GetMainWindow())
        std::fprintf(stderr, "FirmwareUpdater: no display to show the main window on (is DISPLAY set?)\n%s",
                     kRunsWithoutWindow);
    return result;
}

void LApplication::CreateMainControl(Tavo::RCPtr<Tavo::LControl>& result,
                                     const Tavo::RCPtr<Tavo::LControl>& parent,
                                     const Tavo::RCPtr<Tavo::LControlDescriptor>& descriptor)
{
    auto* self = dynamic_cast<LApplication*>(Tavo::GetFrameworkApp());
    result = Tavo::LMainControl::Create(parent, descriptor, self ? self->mProcessor : nullptr);
}

Tavo::CursorHandle LApplication::GetCursor(const WString& name)
{
    if (name == Tavo::UI_CURSOR_DROP_MOVE())
        return kDropMoveCursor;
    if (name == Tavo::UI_CURSOR_DROP_COPY())
        return kDropCopyCursor;
    // This program draws no splitters, rotations or magnifiers.
    for (const WString& none :
         {Tavo::UI_CURSOR_SPLIT_V(), Tavo::UI_CURSOR_SPLIT_H(), Tavo::UI_CURSOR_ROTATE(),
          Tavo::UI_CURSOR_MAG(), Tavo::UI_CURSOR_MAG_PLUS(), Tavo::UI_CURSOR_MAG_MINUS()})
        if (name == none)
            return kNoCursor;
    return LApplicationBase::GetCursor(name);
}

Tavo::RCPtr<Tavo::IAppStatusBar> LApplication::GetStatusBar()
{
    const std::vector<Tavo::RCPtr<Tavo::IAppRootWindow>>& windows = GetRootWindows();
    if (windows.empty())
        return nullptr;
    Tavo::RCPtr<Tavo::LControl> main = windows.back()->GetRootControl();
    if (!main)
        return nullptr;
    return Tavo::RCPtrDynamicCast<Tavo::IAppStatusBar>(main->FindChildByName(u"statusBar"));
}

bool LApplication::CanExit()
{
    // Asked of the processor whichever window is active, or none: a close
    // request to an inactive window must not cut a transfer either.
    return !mProcessor || mProcessor->CanExit();
}

bool LApplication::AcceptExit()
{
    // Once accepted, no click handled later may start a transfer.
    return !mProcessor || mProcessor->AcceptExit();
}

TavoResult LApplication::RunApplicationShutdown()
{
    // The run ends however the loop was left: a transfer that set the
    // driver's flag is aborted and clears it first.
    if (mProcessor)
        mProcessor->AbortForExit();
    return LApplicationBase::RunApplicationShutdown();
}
