// The product window's control tree drawn into an offscreen context, against
// the renderer drawing the same fills, images and texts by itself.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderer.h"
#include "Renderer/RenderHost.h"
#include "Window/RootWindow.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <functional>
#include <vector>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 420, kHeight = 360;

RCPtr<LControlFactory>& Factory()
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
RCPtr<LControl> BuildTree(const RCPtr<BenchRootWindow>& window)
{
    RCPtr<LControl> main =
        RCPtrDynamicCast<LControl>(Factory()->CreateControlFromDescriptor(u"mainControl", window.Get()));
    main->UpdateGeometry();
    for (const char16_t* name : {u"labelDeviceInformation", u"labelDeviceFirmwareVersion", u"buttonExit",
                                 u"buttonReinitialize", u"buttonUpdateFirmware", u"updaterVersionLabel"})
        main->FindChildByName(name)->SetText(u"Firmware version 1.02");
    return main;
}

int32_t CountControls(LControl& c)
{
    int32_t n = 1;
    for (uint32_t i = 0; i < c.GetChildren().Count(); ++i)
        n += CountControls(*c.GetChildren().GetAt(i));
    return n;
}

void DrawTree(LRenderer& renderer, const RCPtr<LRenderContextInfo>& context, LControl& main)
{
    renderer.RenderStart(context);
    renderer.PushState();
    std::vector<RCPtr<LControl>> overlays;
    main.Draw(&renderer, context->dirtyRegion, overlays, false);
    renderer.PopState();
    renderer.RenderFinish(context);
}

void BM_TreeDraw(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LControl> main = BuildTree(window);
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context;
    renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    for (auto _ : state)
        DrawTree(*renderer, context, *main);
    main->Detach();
}
BENCHMARK(BM_TreeDraw);

// The baseline: the same calls straight to the renderer.
void BM_DirectDraw(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LControl> main = BuildTree(window);
    RCPtr<CapturingRenderer> capture(new CapturingRenderer());
    RCPtr<LRenderContextInfo> context;
    capture->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    DrawTree(*capture, context, *main);
    main->Detach();

    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> direct;
    renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, direct);
    direct->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    for (auto _ : state) {
        renderer->RenderStart(direct);
        for (const auto& call : capture->calls)
            call(*renderer);
        renderer->RenderFinish(direct);
    }
    state.counters["calls"] = double(capture->calls.size());
}
BENCHMARK(BM_DirectDraw);

// Creation, layout and one paint of the whole tree; heap bytes per control.
void BM_TreeBuildLayoutDraw(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context;
    renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    BuildTree(window)->Detach();  // warms the shared caches
    double bytes = 0, controls = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        RCPtr<LControl> main = BuildTree(window);
        bytes = double(mallinfo2().uordblks - before);
        controls = CountControls(*main);
        DrawTree(*renderer, context, *main);
        main->Detach();
    }
    state.counters["controls"] = controls;
    state.counters["bytes_per_control"] = bytes / controls;
}
BENCHMARK(BM_TreeBuildLayoutDraw);

}  // namespace

BENCHMARK_MAIN();
