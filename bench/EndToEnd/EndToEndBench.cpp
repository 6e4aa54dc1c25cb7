// Whole runs against a real simulated-mixer process.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <sys/resource.h>

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
    TavoPlatform::Registry::SetMachine(TavoPlatform::Registry::CreateDirectoryRegistry(sim.Root() + "/registry"));
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
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    TavoPlatform::Registry::SetMachine(TavoPlatform::Registry::CreateMemoryRegistry());
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

} // namespace

BENCHMARK_MAIN();
