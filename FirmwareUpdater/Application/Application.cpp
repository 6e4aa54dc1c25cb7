#include "Application/Application.h"

#include "Platform/Window/WindowSystem.h"
#include "System/CursorNames.h"
#include "UI/MainControl.h"

#include <cstdio>
#include <poll.h>

using Tavo::TavoResult;
using Tavo::WString;

LApplication::LApplication(Tavo::FrameworkAppShell& shell, const Tavo::RCPtr<Tavo::LControlFactory>& factory,
                           const Tavo::RCPtr<Tavo::LStringTable>& frameworkStrings,
                           const WString& commandLine)
    : LApplicationBase(shell, factory, frameworkStrings, commandLine)
{
}

LApplication::~LApplication()
{
    if (mInterrupts)
        GetShell().GetLoop().RemoveFd(Tavo::Platform::App::InterruptCatcher::InterruptFd());
}

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
    // SIGINT, SIGTERM and SIGHUP abort a running transfer, so the channel is
    // closed and the driver's flag cleared, before the program ends by the
    // signal; caught from here on, as -START_UPDATE_AUTOMATICALLY starts the
    // transfer before the window opens.
    using Tavo::Platform::App::InterruptCatcher;
    mInterrupts = std::make_unique<InterruptCatcher>();
    const TavoResult hr = mProcessor->Initialize(WString(GetCommandLine()));
    if (hr < 0) {
        mInterrupts.reset();
        InterruptCatcher::EndByCaughtSignal();
        return hr;
    }
    Tavo::Platform::App::IMessageLoop* loop = &GetShell().GetLoop();
    loop->AddFd(InterruptCatcher::InterruptFd(), POLLIN, [loop](int fd, short) {
        loop->RemoveFd(fd);
        const Tavo::RCPtr<Tavo::LApplicationBase> app = Tavo::gApplication;
        if (auto* self = dynamic_cast<LApplication*>(app.Get()); self && self->mProcessor)
            self->mProcessor->AbortForExit();
        InterruptCatcher::EndByCaughtSignal();
    });
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
