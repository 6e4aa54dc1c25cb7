#pragma once

// Pieces shared by the benchmarks that compare a MIDI path against a plain
// Unix stream socket echo of the same System Exclusive bytes.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace SysExEcho {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

enum Kind { kLayer = 0, kPlain = 1 };

// (kind, size) -> ns per round trip
inline std::map<std::pair<int, int64_t>, double>& Nanos()
{
    static auto* nanos = new std::map<std::pair<int, int64_t>, double>;
    return *nanos;
}

inline Bytes SysEx(int64_t size)
{
    Bytes b(static_cast<size_t>(size), 0x55);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

inline void Record(Kind kind, Clock::time_point start, benchmark::State& state)
{
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    Nanos()[{kind, state.range(0)}] = static_cast<double>(ns) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The baseline: the message written to a socket pair and read back whole
// from an echoing thread.
inline void BM_PlainSocketEcho(benchmark::State& state)
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        state.SkipWithError("no socket pair");
        return;
    }
    std::thread echo([fd = fds[1]] {
        uint8_t buf[4096];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
            if (write(fd, buf, static_cast<size_t>(n)) != n)
                return;
        }
    });
    Bytes message = SysEx(state.range(0));
    Bytes back(message.size());
    auto start = Clock::now();
    for (auto _ : state) {
        if (write(fds[0], message.data(), message.size()) != static_cast<ssize_t>(message.size())) {
            state.SkipWithError("write failed");
            break;
        }
        for (size_t got = 0; got < back.size();) {
            ssize_t n = read(fds[0], back.data() + got, back.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        benchmark::DoNotOptimize(back.data());
    }
    Record(kPlain, start, state);
    shutdown(fds[0], SHUT_RDWR);
    echo.join();
    close(fds[0]);
    close(fds[1]);
}

// Runs the registered benchmarks, then prints the layer's time against the
// plain echo for each size.
inline int RunAndCompare(int argc, char** argv, const char* layer, std::initializer_list<int64_t> sizes)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int64_t size : sizes) {
        auto measured = Nanos().find({kLayer, size});
        auto plain = Nanos().find({kPlain, size});
        if (measured == Nanos().end() || plain == Nanos().end() || plain->second <= 0)
            continue;
        std::printf("SysEx %4lld bytes: %s %.1f us, plain socket echo %.1f us, ratio %.2f\n",
                    static_cast<long long>(size), layer, measured->second / 1000, plain->second / 1000,
                    measured->second / plain->second);
    }
    return 0;
}

}  // namespace SysExEcho
