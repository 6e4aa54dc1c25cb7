#include "Window/Native/DesktopHooks.h"

#include "Application/FrameworkApp.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "Window/Native/Clipboard.h"
#include "Window/Native/MessageBoxWindow.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/SplashScreen.h"
#include "Window/Native/WindowHost.h"
#include "Platform/App/MessageBox.h"
#include "Platform/Graphics/Text.h"

#include <cstdlib>

namespace Tavo {

namespace {

// The application keeps its clipboard service in a plain owner; the
// clipboard itself is a counted object that notifications hold too.
class ClipboardService final : public IClipboardService
{
public:
    ClipboardService() : mClipboard(LClipboard::Create())
    {
        LClipboard* clipboard = mClipboard.Get();
        // Another program took the clipboard: forget what we held.
        WindowHost::SetClipboardLostHandler([clipboard] { clipboard->SetData(RCPtr<LTaggableObject>()); });
        // Text boxes cut, copy and paste through it.
        LControlEnvironment& environment = ControlEnvironment();
        environment.getClipboardText = [clipboard](WString& text) {
            const RCPtr<LTaggableObject> data = clipboard->GetData();
            const WString* held = GetClipboardText(data);
            if (held)
                text = *held;
            return held != nullptr;
        };
        environment.setClipboardText = [clipboard](const WString& text) {
            return clipboard->SetData(CreateClipboardText(text));
        };
    }
    ~ClipboardService() override
    {
        ControlEnvironment().getClipboardText = nullptr;
        ControlEnvironment().setClipboardText = nullptr;
        WindowHost::SetClipboardLostHandler(nullptr);
        mClipboard->UnsubscribeAll();
    }
    TavoResult Initialize() override { return mClipboard->Initialize(); }

private:
    RCPtr<LClipboard> mClipboard;
};

class Splash final : public ISplashWindow
{
public:
    bool SetImageFromFile(const std::string& path) override { return mSplash.SetImageFromPng(path); }
    bool Start() override { return mSplash.Start(); }
    void PostProgress(int32_t start, int32_t end, int32_t seconds) override
    {
        mSplash.PostProgress(start, end, seconds);
    }
    void PostPosition(int32_t position) override { mSplash.PostPosition(position); }
    void Stop() override { mSplash.Stop(); }

private:
    SplashScreen mSplash;
};

// Edits go to the focus holder of the active window, or to the nearest
// ancestor that takes edit commands.
TavoResult RouteEdit(int32_t kind, bool perform)
{
    LFrameworkApp* app = GetFrameworkApp();
    if (!app)
        return S_FALSE;
    const auto& windows = app->GetRootWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (!(*it)->IsActive())
            continue;
        LOSRootWindow* root = GetOSRootWindow(*it);
        const RCPtr<LControl> focus = root ? root->GetFocusControl() : nullptr;
        const RCPtr<LControl> target = focus ? focus->FindEditTarget() : nullptr;
        if (!target || !target->AcceptsEditCommands() || !target->CanPerformEdit(kind))
            return S_FALSE;
        return perform ? target->PerformEdit(kind) : S_OK;
    }
    return S_FALSE;
}

}  // namespace

AppPlatformHooks DesktopPlatformHooks()
{
    LOSRootWindow::InstallAsFactory();
    LClipboard::SetEditRouter(RouteEdit);
    // Boxes with an owner window show over it; the others stay on stderr.
    Platform::App::SetMessageBoxHook(&RunMessageBoxWindow);
    AppPlatformHooks hooks;
    hooks.createMainWindow = []() -> std::unique_ptr<IMainWindow> {
        if (!WindowHost::System())
            return nullptr;
        return std::make_unique<OSWindow>();
    };
    hooks.createSplash = []() -> std::unique_ptr<ISplashWindow> { return std::make_unique<Splash>(); };
    hooks.createClipboard = [] { return std::make_unique<ClipboardService>(); };
    hooks.desktop = std::make_shared<DesktopServices>();
    hooks.prepareWindowServices = [] {
        // Runs without a display (a silent update) draw no text.
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            Platform::Graphics::PrepareText();
    };
    return hooks;
}

}  // namespace Tavo
