#pragma once

// A skin's "mainControl" in a window on the display through one renderer
// type, painted once and read back.

#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Renderer/Font.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"
#include "tests/Common/XServer.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace PaintedWindow {

using namespace Tavo;

// The control factory with `classes` as plain controls and the default
// font, installed (with the root window's factory) until destroyed.
class Factory
{
public:
    Factory(const char16_t* name, const char16_t* font, float size,
            std::initializer_list<const char16_t*> classes)
        : factory(LControlFactory::Create(name))
    {
        LOSRootWindow::InstallAsFactory();
        ControlEnvironment().factory = factory;
        ControlEnvironment().defaultFont = [font = WString(font), size] {
            return LFont::FindOrCreate(font, size, 0);
        };
        for (const char16_t* c : classes)
            factory->RegisterControlClass(c, &LControl::CreateT<LControl>);
    }
    ~Factory()
    {
        ControlEnvironment().factory = nullptr;
        SetRootWindowFactory(nullptr);
    }
    Factory(const Factory&) = delete;
    Factory& operator=(const Factory&) = delete;

    RCPtr<LControlFactory> factory;
};

// Opens a `width` x `height` window of `className` on the current display
// through `rendererType`, builds "mainControl" in it, lets `adjust` change
// the controls, paints, and reads the window back from `server` (pixels as
// 0x00RRGGBB) before saving `screenshot`. `inspect` sees the window and the
// controls before they go.
inline std::vector<uint32_t> Paint(XServer& server, const char16_t* className, int32_t rendererType,
                                   int32_t width, int32_t height,
                                   const std::function<void(LControl&)>& adjust,
                                   const std::string& screenshot,
                                   const std::function<void(OSWindow&, LControl&)>& inspect = {})
{
    OSWindow window;
    MainWindowParams params;
    params.className = className;
    params.title = className;
    params.rect = WindowRect{0, 0, width, height};
    EXPECT_EQ(window.Create(params), S_OK);
    EXPECT_EQ(window.CreateRenderer(rendererType), S_OK);
    EXPECT_EQ(window.GetRenderer()->GetRendererType(), rendererType);
    LOSRootWindow* root = GetOSRootWindow(window.GetRootWindow());
    RCPtr<LControl> main = RCPtrDynamicCast<LControl>(
        ControlEnvironment().factory->CreateControlFromDescriptor(u"mainControl", root));
    EXPECT_TRUE(main);
    root->SetRootControl(main);
    main->UpdateGeometry();
    adjust(*main);
    window.Show();
    WindowHost::System()->Sync();
    root->SetRepaintAll();
    window.InvalidateRect({0, 0, width, height});
    window.PaintNow();
    WindowHost::System()->Sync();
    const std::vector<uint32_t> pixels = server.ReadPixels(window.GetWindowId(), {0, 0, width, height});
    if (inspect)
        inspect(window, *main);
    server.Screenshot(screenshot);
    root->Shutdown();
    window.Destroy();
    return pixels;
}

}  // namespace PaintedWindow
