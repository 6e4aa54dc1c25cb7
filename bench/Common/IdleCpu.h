#pragma once

// Shared by the idle-CPU benchmarks.

#include <cstdint>
#include <cstdlib>
#include <sys/resource.h>

namespace IdleCpu {

// User plus system CPU time of this process so far.
inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// How long to sit idle: $TAVO_BENCH_SECONDS when positive, else 3 s.
inline uint32_t MeasureSeconds()
{
    const char* env = std::getenv("TAVO_BENCH_SECONDS");
    const int seconds = env ? std::atoi(env) : 0;
    return seconds > 0 ? uint32_t(seconds) : 3;
}

}  // namespace IdleCpu
