#include "Renderer/Bitmap.h"
#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderer.h"
#include "Renderer/RenderHost.h"
#include "Renderer/TextLayout.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace Tavo;

namespace {

struct Paint
{
    RCPtr<LGDIRenderer> renderer{new LGDIRenderer()};
    RCPtr<LRenderContextInfo> context;
    explicit Paint(int32_t size = 512)
    {
        renderer->InitRenderContextInfo({0, 0, size, size}, nullptr, true, context);
        renderer->RenderStart(context);
    }
    ~Paint() { renderer->RenderFinish(context); }
};

void BM_FillRect(benchmark::State& state)
{
    Paint paint;
    const int32_t side = static_cast<int32_t>(state.range(0));
    for (auto _ : state)
        paint.renderer->FillRect({0, 0, side, side}, {0.2f, 0.4f, 0.6f, 1}, true);
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_FillRect)->Arg(16)->Arg(256);

void BM_ClippedNestedFill(benchmark::State& state)
{
    Paint paint;
    RCPtr<LRenderer> renderer = paint.renderer;
    for (auto _ : state) {
        CAutoClip outer(renderer, {10, 10, 200, 200}, {10, 10, 200, 200}, nullptr);
        CAutoClip inner(renderer, {5, 5, 50, 50}, {5, 5, 50, 50}, nullptr);
        renderer->FillRect({0, 0, 50, 50}, {1, 0, 0, 1}, true);
    }
}
BENCHMARK(BM_ClippedNestedFill);

void BM_CachedPolygon(benchmark::State& state)
{
    Paint paint;
    PolylineT<float> shape;
    for (int i = 0; i < 32; ++i)
        shape.Add({static_cast<float>(100 + 80 * std::cos(i * 0.196)),
                   static_cast<float>(100 + 80 * std::sin(i * 0.196))});
    for (auto _ : state)
        paint.renderer->FillPolygon(shape, {0, 1, 0, 1}, {0, 0}, {1, 1}, state.range(0) != 0);
}
BENCHMARK(BM_CachedPolygon)->Arg(1)->Arg(0);

void BM_DrawCachedBitmap(benchmark::State& state)
{
    Paint paint;
    RCPtr<LBitmap> bitmap = LBitmap::CreateFilledBitmap(64, 64, {0, 0, 1, 1});
    for (auto _ : state)
        paint.renderer->DrawBitmap(bitmap, {0, 0, 256, 256}, LGDIRenderer::Tile);
}
BENCHMARK(BM_DrawCachedBitmap);

void BM_MeasureString(benchmark::State& state)
{
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", 12, 0);
    RCPtr<LMeasurementRenderer> renderer = GetProcessMeasurementRenderer();
    for (auto _ : state)
        benchmark::DoNotOptimize(renderer->MeasureString(u"Firmware update in progress", font));
}
BENCHMARK(BM_MeasureString);

void BM_WrapParagraph(benchmark::State& state)
{
    LFontText text;
    text.font = LFont::FindOrCreate(u"Arial", 12, 0);
    text.text = u"The device must stay connected while its firmware is written; the update restarts it "
                u"when every block has been checked, which takes a well-known few minutes.";
    text.wordWrap = true;
    text.boxWidth = 200;
    for (auto _ : state) {
        text.ClearLayout();
        benchmark::DoNotOptimize(text.GetLineCount());
    }
}
BENCHMARK(BM_WrapParagraph);

}  // namespace
BENCHMARK_MAIN();
