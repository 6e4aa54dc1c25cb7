// The OpenGL renderer (type 0) against the GDI+ renderer (type 1, the
// baseline) in one run, offscreen on Mesa under the program's own Xvfb:
// a panel, a block of glyph-atlas text and the product window's whole tree.
// Compare the two rows of each pair.
#include "bench/Common/ProductTree.h"
#include "Renderer/Font.h"
#include "Renderer/Renderer.h"
#include "XServer.h"

#include <benchmark/benchmark.h>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 560;
constexpr int32_t kHeight = 384;

struct Target
{
    explicit Target(int32_t type)
    {
        renderer = LRenderer::Create(type, {}, nullptr);
        renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
        context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    }
    RCPtr<LRenderer> renderer;
    RCPtr<LRenderContextInfo> context;
};

void Panel(LRenderer& r, const RCPtr<LFont>& font)
{
    r.FillRect({0, 0, kWidth, kHeight}, ColorRGBA(0.1f, 0.1f, 0.12f, 1), false);
    for (int32_t row = 0; row < 10; ++row) {
        const RectT<int32_t> cell{8, 8 + row * 22, 200, 20};
        r.FillAndFrameRect(cell, ColorRGBA(0.2f, 0.2f, 0.25f, 0.8f), ColorRGBA(0.6f, 0.6f, 0.7f, 1), 1);
        r.DrawText(u"Firmware 1.04 ready", font, {cell.x + 4, cell.y + 3}, ColorRGBA(1, 1, 1, 1));
    }
    r.FillRect({220, 8, 90, 220}, ColorRGBA(0.9f, 0.4f, 0.1f, 0.5f), true);
}

void Text(LRenderer& r, const RCPtr<LFont>& font)
{
    for (int32_t row = 0; row < 20; ++row)
        r.DrawText(u"The quick brown fox jumps over the lazy dog", font, {2, row * 12},
                   ColorRGBA(1, 1, 1, 1));
}

template <void (*Draw)(LRenderer&, const RCPtr<LFont>&)>
void Repaint(benchmark::State& state)
{
    if (!TestXServer().Running()) {
        state.SkipWithError("no X server");
        return;
    }
    Target target(static_cast<int32_t>(state.range(0)));
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", 11, 0);
    for (auto _ : state) {
        target.renderer->RenderStart(target.context);
        Draw(*target.renderer, font);
        target.renderer->RenderFinish(target.context);
    }
}

// The product skin's 560 x 384 window drawn whole, as a first paint or a full
// invalidation draws it.
void ProductRepaint(benchmark::State& state)
{
    if (!TestXServer().Running()) {
        state.SkipWithError("no X server");
        return;
    }
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LControl> main = BuildProductTree(window);
    Target target(static_cast<int32_t>(state.range(0)));
    for (auto _ : state)
        DrawProductTree(*target.renderer, target.context, *main);
    main->Detach();
}

BENCHMARK_TEMPLATE(Repaint, Panel)->MeasureProcessCPUTime()->ArgName("type")->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(Repaint, Text)->MeasureProcessCPUTime()->ArgName("type")->Arg(0)->Arg(1);
BENCHMARK(ProductRepaint)->MeasureProcessCPUTime()->ArgName("type")->Arg(0)->Arg(1);
// Fixed frame counts for counting instructions under callgrind (timings
// there mean little): one frame costs the difference of the two over 50.
BENCHMARK(ProductRepaint)->Name("ProductRepaintCounted")->ArgName("type")->Arg(0)->Arg(1)->Iterations(10);
BENCHMARK(ProductRepaint)->Name("ProductRepaintCounted")->ArgName("type")->Arg(0)->Arg(1)->Iterations(60);

}  // namespace
BENCHMARK_MAIN();
