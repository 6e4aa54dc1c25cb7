#pragma once

// For the benchmarks that time the code under test and a plain baseline at a
// small and a large size in the same loop, and report how each grows.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace Growth {

using Nanos = std::chrono::nanoseconds;

template <class F>
Nanos Timed(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - t0;
}

// a over b; a zero b counts as one nanosecond.
inline double Ratio(Nanos a, Nanos b)
{
    return double(a.count()) / double(std::max<int64_t>(1, b.count()));
}

// Summed over the iterations.
struct Times
{
    Nanos small{0}, large{0}, baseSmall{0}, baseLarge{0};
};

// "Growth" is the large size's time over the small one's, "BaselineGrowth"
// the same for the baseline, "LargeToBaseline" the large size against its
// baseline.
inline void Report(benchmark::State& state, const Times& t)
{
    state.counters["Growth"] = Ratio(t.large, t.small);
    state.counters["BaselineGrowth"] = Ratio(t.baseLarge, t.baseSmall);
    state.counters["LargeToBaseline"] = Ratio(t.large, t.baseLarge);
}

// "SmallUs" and "LargeUs": microseconds per iteration at each size.
inline void ReportMicros(benchmark::State& state, const Times& t)
{
    const double n = double(state.iterations());
    state.counters["SmallUs"] = double(t.small.count()) / n / 1000;
    state.counters["LargeUs"] = double(t.large.count()) / n / 1000;
}

}  // namespace Growth
