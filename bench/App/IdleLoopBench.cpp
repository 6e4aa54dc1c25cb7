// CPU the user-interface loop costs while the program sits idle: one 33 ms
// window timer ticking, each tick starting an idle period of two turns.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sys/resource.h>

#include "Platform/App/MessageLoop.h"
#include "Platform/App/TimerResolution.h"

using namespace Tavo::Platform::App;

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_IdleLoopWithWindowTimer(benchmark::State& state)
{
    const char* env = std::getenv("TAVO_BENCH_SECONDS");
    const uint32_t seconds = env ? uint32_t(std::atoi(env)) : 3;
    const uint32_t durationMs = (seconds == 0 ? 3 : seconds) * 1000;
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
