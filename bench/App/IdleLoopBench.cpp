// CPU the user-interface loop costs while the program sits idle: one 33 ms
// window timer ticking, each tick starting an idle period of two turns.
#include <benchmark/benchmark.h>

#include "Platform/App/MessageLoop.h"
#include "Platform/App/TimerResolution.h"
#include "bench/Common/IdleCpu.h"

using namespace Tavo::Platform::App;
using namespace IdleCpu;

namespace {

void BM_IdleLoopWithWindowTimer(benchmark::State& state)
{
    const uint32_t durationMs = MeasureSeconds() * 1000;
    for (auto _ : state) {
        MessageLoop loop;
        int64_t ticks = 0;
        int64_t turns = 0;
        loop.SetIdleHandler([&](int32_t count) {
            ++turns;
            return count < 1;
        });
        loop.SetTimer(1, 33, [&](uint32_t) { ++ticks; });
        const uint32_t start = TimeGetTime();
        loop.SetTimer(2, durationMs, [&](uint32_t) { loop.PostQuit(0); });
        const double cpuBefore = CpuSeconds();
        loop.Run();
        const double cpu = CpuSeconds() - cpuBefore;
        const double wall = double(TimeGetTime() - start) / 1000.0;
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["ticks_per_s"] = double(ticks) / wall;
        state.counters["idle_turns_per_s"] = double(turns) / wall;
    }
}

}  // namespace

BENCHMARK(BM_IdleLoopWithWindowTimer)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
