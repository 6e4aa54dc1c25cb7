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
#include "SimProcess.h"

namespace {

class Host : public FirmwareTransferHost
{
public:
    bool IsAbortRequested() override { return false; }
    void SetUpdateState(int32_t) override {}
    void SetDeviceState(int32_t) override {}
    void SetCannotUpdateReason(uint32_t) override {}
    Tavo::WString GetFirmwarePath() override { return Tavo::WString(Tavo::NString(path.c_str())); }
    void PostUpdateProgress(uint32_t, double, bool, int32_t, bool, const Tavo::WString&) override {}
    void PostUpdateCompleted(bool) override {}
    uint16_t GetChunkSize() override { return 128; }
    uint16_t GetChunkPauseMs() override { return 20; }

    std::string path;
};

// A 64 KiB image through the driver channel at the program's pace (128-byte
// chunks, 20 ms apart) against the floor that pace sets.
void BM_PacedTransfer64KiB(benchmark::State& state)
{
    SimProcess sim;
    if (!sim.Start({"--mode", "update", "--install-ms", "0"})) {
        state.SkipWithError("mixer-sim did not start");
        return;
    }
    Tavo::Platform::Registry::SetMachine(
        Tavo::Platform::Registry::CreateDirectoryRegistry(sim.Root() + "/registry"));
    Host host;
    host.path = sim.Root() + "/image.bin";
    constexpr size_t kSize = 65536;
    std::ofstream(host.path, std::ios::binary) << std::string(kSize, '\x5A');
    const double floorSeconds = double((kSize + 127) / 128) * 0.020;

    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (PerformPrivateMidiUpdate(host) != Tavo::S_OK) {
            state.SkipWithError("transfer failed");
            break;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        state.PauseTiming();
        sim.WaitStatus("state=attached mode=normal");
        sim.Command("update-mode");
        state.ResumeTiming();
    }
    const double mean = total / double(state.iterations());
    state.counters["floor_s"] = floorSeconds;
    state.counters["over_floor_pct"] = (mean / floorSeconds - 1.0) * 100.0;
    Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry());
}
BENCHMARK(BM_PacedTransfer64KiB)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

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
// the time the driver's update flag was on, against the pacing floor. The
// run also holds the 2 s identity wait that finds a device in update mode.
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
    const double floorMs = double((kSize + 127) / 128) * 20.0;
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
    const double transfer = transferTotal / double(state.iterations());
    state.counters["floor_ms"] = floorMs;
    state.counters["transfer_ms"] = transfer;
    state.counters["transfer_over_floor_pct"] = (transfer / floorMs - 1.0) * 100.0;
}
BENCHMARK(BM_QuietUpdateProcess64KiB)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
