// The product window's control tree drawn into an offscreen context, against
// the renderer drawing the same fills, images and texts by itself.
#include "bench/Common/ProductTree.h"
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

int32_t CountControls(LControl& c)
{
    int32_t n = 1;
    for (uint32_t i = 0; i < c.GetChildren().Count(); ++i)
        n += CountControls(*c.GetChildren().GetAt(i));
    return n;
}

void BM_TreeDraw(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LControl> main = BuildProductTree(window);
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context;
    renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    for (auto _ : state)
        DrawProductTree(*renderer, context, *main);
    main->Detach();
}
BENCHMARK(BM_TreeDraw);

// The baseline: the same calls straight to the renderer.
void BM_DirectDraw(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LControl> main = BuildProductTree(window);
    RCPtr<CapturingRenderer> capture(new CapturingRenderer());
    RCPtr<LRenderContextInfo> context;
    capture->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    DrawProductTree(*capture, context, *main);
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
    BuildProductTree(window)->Detach();  // warms the shared caches
    double bytes = 0, controls = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        RCPtr<LControl> main = BuildProductTree(window);
        bytes = double(mallinfo2().uordblks - before);
        controls = CountControls(*main);
        DrawProductTree(*renderer, context, *main);
        main->Detach();
    }
    state.counters["controls"] = controls;
    state.counters["bytes_per_control"] = bytes / controls;
}
BENCHMARK(BM_TreeBuildLayoutDraw);

}  // namespace

BENCHMARK_MAIN();
