// Whole runs against a real simulated-mixer process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "DeviceChannel/FirmwareTransfer.h"
#include "Platform/Registry/Registry.h"
#include "FileHost.h"
#include "SimProcess.h"

namespace {

// Seconds of one transfer to the device in update mode, which then installs
// and is put back into update mode; negative when it failed.
double TimeTransfer(SimProcess& sim, FileHost& host)
{
    const auto start = std::chrono::steady_clock::now();
    const bool sent = PerformPrivateMidiUpdate(host) == Tavo::S_OK;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sim.WaitStatus("state=attached mode=normal");
    sim.Command("update-mode");
    return sent ? seconds : -1;
}

// An image through the driver channel at the program's pace (the engine's
// chunks, each followed by its pause) against what that pace promises: the
// same transfer without pauses, in the same run, plus a pause per chunk.
// Argument: the image size in KiB.
void BM_PacedTransfer(benchmark::State& state)
{
    SimProcess sim;
    if (!sim.Start({"--mode", "update", "--install-ms", "0"})) {
        state.SkipWithError("mixer-sim did not start");
        return;
    }
    Tavo::Platform::Registry::SetMachine(
        Tavo::Platform::Registry::CreateDirectoryRegistry(sim.Root() + "/registry"));
    FileHost host;
    host.path = sim.Root() + "/image.bin";
    const size_t size = size_t(state.range(0)) * 1024;
    std::ofstream(host.path, std::ios::binary) << std::string(size, '\x5A');
    const double chunks = double((size + FileHost::kChunkSize - 1) / FileHost::kChunkSize);
    const uint16_t pauseMs = host.pauseMs;

    double unpaced = 0;
    double paced = 0;
    for (auto _ : state) {
        host.pauseMs = 0;
        unpaced = TimeTransfer(sim, host);
        host.pauseMs = pauseMs;
        paced = TimeTransfer(sim, host);
        if (unpaced < 0 || paced < 0) {
            state.SkipWithError("transfer failed");
            break;
        }
        state.SetIterationTime(paced);
    }
    const double expected = unpaced + chunks * pauseMs / 1000.0;
    state.counters["chunks"] = chunks;
    state.counters["unpaced_s"] = unpaced;
    state.counters["expected_s"] = expected;
    state.counters["ratio"] = paced / expected;
    Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry());
}
BENCHMARK(BM_PacedTransfer)
    ->ArgName("KiB")
    ->Arg(8)
    ->Arg(80)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The simulator as a process: start until its control socket answers, then
// quit; with its peak resident memory.
void BM_SimulatorStartAndQuit(benchmark::State& state)
{
    for (auto _ : state) {
        SimProcess sim;
        if (!sim.Start({"--mode", "normal"}) || sim.Quit() != 0) {
            state.SkipWithError("mixer-sim failed");
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["peak_rss_kib"] = double(usage.ru_maxrss);
}
BENCHMARK(BM_SimulatorStartAndQuit)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<std::string> UpdaterEnvironment(const SimProcess& sim)
{
    auto env = sim.ProgramEnvironment();
    env.push_back("DISPLAY=");
    return env;
}

// The whole "-RETURN_UPDATE_MODE_STATUS" run against a device in normal mode,
// as a process: start, probe, exit code; with the program's peak memory.
void BM_StatusRunProcess(benchmark::State& state)
{
    SimProcess sim;
    if (!sim.Start({"--mode", "normal", "--version", "0.0.3.6"})) {
        state.SkipWithError("mixer-sim did not start");
        return;
    }
    const std::string image = sim.Root() + "/image.syx";
    std::ofstream(image, std::ios::binary) << std::string(1000, '\x11');
    const std::vector<std::string> argv = {SimProcess::BinFolder() + "/FirmwareUpdater",
                                           "-RETURN_UPDATE_MODE_STATUS",
                                           "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image};
    const auto env = UpdaterEnvironment(sim);
    long peak = 0;
    for (auto _ : state) {
        std::string output;
        long rss = 0;
        if (SimProcess::Run(argv, env, &output, SimProcess::kDeadlineMs, &rss) != 5) {
            state.SkipWithError(("unexpected exit: " + output).c_str());
            break;
        }
        peak = std::max(peak, rss);
    }
    state.counters["peak_rss_kib"] = double(peak);
}
BENCHMARK(BM_StatusRunProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// A "-SILENT" update of 64 KiB by the program: the whole run's wall time and
// the time the driver's update flag was on (BM_PacedTransfer weighs the pace).
// The run also holds the 2 s identity wait that finds a device in update mode.
void BM_QuietUpdateProcess64KiB(benchmark::State& state)
{
    SimProcess sim;
    if (!sim.Start({"--mode", "update", "--install-ms", "0"})) {
        state.SkipWithError("mixer-sim did not start");
        return;
    }
    const std::string image = sim.Root() + "/image.syx";
    constexpr size_t kSize = 65536;
    std::ofstream(image, std::ios::binary) << std::string(kSize, '\x22');
    const std::vector<std::string> argv = {SimProcess::BinFolder() + "/FirmwareUpdater", "-SILENT",
                                           "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image};
    const auto env = UpdaterEnvironment(sim);
    double transferTotal = 0;
    for (auto _ : state) {
        std::string output;
        if (SimProcess::Run(argv, env, &output) != 0) {
            state.SkipWithError(("unexpected exit: " + output).c_str());
            break;
        }
        state.PauseTiming();
        const std::string status = sim.Command("status");
        const size_t at = status.find("transfer-ms=");
        transferTotal += at == std::string::npos ? 0 : std::stod(status.substr(at + 12));
        sim.WaitStatus("state=attached mode=normal");
        sim.Command("update-mode");
        state.ResumeTiming();
    }
    state.counters["transfer_ms"] = transferTotal / double(state.iterations());
}
BENCHMARK(BM_QuietUpdateProcess64KiB)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
