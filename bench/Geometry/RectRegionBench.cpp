#include "Utilities/Geometry/RectRegion.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace Tavo;

namespace {

// Overlapping dirty rectangles as painting produces them, cut apart by AddRect.
RectRegion ScatteredDirtyRects(int count)
{
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> pos(0, 1000);
    std::uniform_int_distribution<int> size(4, 60);
    RectRegion region;
    while (static_cast<int>(region.GetRectCount()) < count) {
        const int x = pos(rng), y = pos(rng);
        region.AddRect(x, y, x + size(rng), y + size(rng));
    }
    return region;
}

// Equal tiles that collapse into one rectangle.
RectRegion Tiles(int side)
{
    RectRegion region;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            region.AddRect(x * 16, y * 16, x * 16 + 16, y * 16 + 16);
    return region;
}

void Normalize(benchmark::State& state, const RectRegion& source)
{
    for (auto _ : state) {
        state.PauseTiming();
        RectRegion region(source);
        state.ResumeTiming();
        region.Normalize();
        benchmark::DoNotOptimize(region.GetRectCount());
        state.PauseTiming();
        region.FreeNodes();
        state.ResumeTiming();
    }
    state.counters["rects_in"] = source.GetRectCount();
    RectRegion result(source);
    result.Normalize();
    state.counters["rects_out"] = result.GetRectCount();
}

void BM_NormalizeScattered(benchmark::State& state)
{
    Normalize(state, ScatteredDirtyRects(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_NormalizeScattered)->Arg(100)->Arg(300)->Arg(600);

void BM_NormalizeTiles(benchmark::State& state)
{
    Normalize(state, Tiles(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_NormalizeTiles)->Arg(10)->Arg(17)->Arg(24);

void BM_AddRectScattered(benchmark::State& state)
{
    for (auto _ : state) {
        RectRegion region = ScatteredDirtyRects(static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(region.GetRectCount());
    }
}
BENCHMARK(BM_AddRectScattered)->Arg(300);

}  // namespace

BENCHMARK_MAIN();
