#include "Window/Native/DesktopHooks.h"

#include "Window/Native/Clipboard.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"

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
    }
    ~ClipboardService() override
    {
        WindowHost::SetClipboardLostHandler(nullptr);
        mClipboard->UnsubscribeAll();
    }
    TavoResult Initialize() override { return mClipboard->Initialize(); }

private:
    RCPtr<LClipboard> mClipboard;
};

}  // namespace

AppPlatformHooks DesktopPlatformHooks()
{
    AppPlatformHooks hooks;
    hooks.createMainWindow = []() -> std::unique_ptr<IMainWindow> {
        if (!WindowHost::System())
            return nullptr;
        return std::make_unique<OSWindow>();
    };
    hooks.createClipboard = [] { return std::make_unique<ClipboardService>(); };
    hooks.desktop = std::make_shared<DesktopServices>();
    return hooks;
}

}  // namespace Tavo
