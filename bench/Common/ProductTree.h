#pragma once

// The product window's control tree for benchmarks: the product skin with
// plain controls under a bench root window, texts on its labels and buttons,
// drawn whole into a render context.

#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"

#include <vector>

namespace Tavo {

inline RCPtr<LControlFactory>& ProductFactory()
{
    static auto* factory = [] {
        SetRenderHost(new BenchHost());
        auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
        (*f)->LoadSkins(WString(TAVO_SOURCE_DIR "/FirmwareUpdater/Resources/Skins.xml"));
        for (const char16_t* name :
             {u"FirmwareUpdater.MainControl", u"Framework.MainMenu", u"Framework.ComboMenu",
              u"Framework.PopupMenu", u"Framework.MenuItem", u"Framework.Button", u"Framework.Label",
              u"Framework.ProgressBar", u"Framework.Panel", u"Framework.ToolTip"})
            (*f)->RegisterControlClass(name, &LControl::CreateT<LControl>);
        ControlEnvironment().factory = *f;
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        return f;
    }();
    return *factory;
}

// A laid-out tree with texts on its labels and buttons.
inline RCPtr<LControl> BuildProductTree(const RCPtr<BenchRootWindow>& window)
{
    RCPtr<LControl> main = RCPtrDynamicCast<LControl>(
        ProductFactory()->CreateControlFromDescriptor(u"mainControl", window.Get()));
    main->UpdateGeometry();
    for (const char16_t* name : {u"labelDeviceInformation", u"labelDeviceFirmwareVersion", u"buttonExit",
                                 u"buttonReinitialize", u"buttonUpdateFirmware", u"updaterVersionLabel"})
        main->FindChildByName(name)->SetText(u"Firmware version 1.02");
    return main;
}

inline void DrawProductTree(LRenderer& renderer, const RCPtr<LRenderContextInfo>& context, LControl& main)
{
    renderer.RenderStart(context);
    renderer.PushState();
    std::vector<RCPtr<LControl>> overlays;
    main.Draw(&renderer, context->dirtyRegion, overlays, false);
    renderer.PopState();
    renderer.RenderFinish(context);
}

}  // namespace Tavo
