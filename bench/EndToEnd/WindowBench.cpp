// The updater's window as a process on a private X server against a real
// simulated mixer, measured beside a plain Xlib + Cairo + Pango program
// that paints the same picture in a window of the same size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BaselinePicture.h"
#include "bench/Common/IdleCpu.h"
#include "SimProcess.h"
#include "tests/Common/SystemBus.h"
#include "tests/Common/XServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// The EXIT button's middle: painted last by the baseline, and by the
// framework in the one frame it puts on the window.
constexpr int kProbeX = Baseline::kWindowX + 475;
constexpr int kProbeY = Baseline::kWindowY + 334;

uint32_t ProbePixel(XServer& x)
{
    const std::vector<uint32_t> px = x.ReadPixels(0, {kProbeX, kProbeY, 1, 1});
    return px.empty() ? 0 : px[0];
}

// Waits (bounded) until the probe pixel is painted; the time it took from
// `start` in ms, or -1.
double WaitForFrame(XServer& x, Clock::time_point start)
{
    while (Clock::now() - start < std::chrono::seconds(30)) {
        if (ProbePixel(x) != 0)
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return -1;
}

// User plus system seconds of a process, or of one of its threads.
double ProcCpuSeconds(const std::string& statPath)
{
    std::ifstream in(statPath);
    std::string line;
    std::getline(in, line);
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; rest >> field && i <= 15; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

struct Updater
{
    SimProcess sim;
    std::string image;
    std::vector<std::string> env;

    explicit Updater(const std::vector<std::string>& simArgs)
    {
        if (!sim.Start(simArgs))
            return;
        image = sim.Root() + "/image.syx";
        std::ofstream(image, std::ios::binary) << std::string(128 * 250, '\x33');
        env = sim.ProgramEnvironment();
        env.push_back("DISPLAY=" + TestXServer().Name());
    }
    std::vector<std::string> Argv() const
    {
        return {SimProcess::BinFolder() + "/FirmwareUpdater", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image};
    }
};

// CPU seconds of all threads of a live process so far (the scheduler's
// nanoseconds, not clock ticks).
double ThreadsCpuSeconds(pid_t pid)
{
    double ns = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream in(task.path() / "schedstat");
        double run = 0;
        if (in >> run)
            ns += run;
    }
    return ns / 1e9;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Another build's bin folder ($TAVO_BENCH_OTHER_BUILD), whose FirmwareUpdater
// runs in the same rounds, so two builds compare on one machine at one time.
std::string OtherBuild()
{
    const char* folder = std::getenv("TAVO_BENCH_OTHER_BUILD");
    return folder && *folder ? folder : "";
}

// Start to the first painted frame, the CPU all its threads spent until
// then, and peak memory: the updater (with its device probe), the plain
// baseline program and, when given, another build's updater, one after the
// other in each round. With a system bus the updaters also listen for the
// login manager's sleep notices, as on a desktop.
void WindowStartupToFirstFrame(benchmark::State& state, bool systemBus)
{
    XServer& x = TestXServer();
    Updater updater({"--mode", "normal", "--version", "0.0.3.6"});
    if (!x.Running() || updater.image.empty()) {
        state.SkipWithError("no X server or mixer-sim");
        return;
    }
    std::optional<SystemBus> bus;
    if (systemBus) {
        bus.emplace();
        if (!bus->Running()) {
            state.SkipWithError("no dbus-daemon");
            return;
        }
        updater.env.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + bus->Address());
    }
    std::vector<std::vector<std::string>> programs = {updater.Argv(),
                                                      {SimProcess::BinFolder() + "/baseline-window"}};
    if (!OtherBuild().empty()) {
        programs.push_back(updater.Argv());
        programs.back()[0] = OtherBuild() + "/FirmwareUpdater";
    }
    std::vector<std::vector<double>> wallMs(programs.size()), cpuMs(programs.size());
    std::vector<long> peak(programs.size(), 0);
    for (auto _ : state) {
        for (size_t which = 0; which < programs.size(); ++which) {
            const auto start = Clock::now();
            double frameMs = -1, frameCpuMs = 0;
            long rss = 0;
            SimProcess::Run(programs[which], updater.env, nullptr, 60000, &rss, [&](pid_t pid) {
                frameMs = WaitForFrame(x, start);
                frameCpuMs = ThreadsCpuSeconds(pid) * 1000.0;
                kill(pid, SIGTERM);
            });
            while (ProbePixel(x) != 0)  // the window is gone before the next start
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (frameMs < 0) {
                state.SkipWithError(("no frame painted by " + programs[which][0]).c_str());
                return;
            }
            wallMs[which].push_back(frameMs);
            cpuMs[which].push_back(frameCpuMs);
            peak[which] = std::max(peak[which], rss);
        }
        state.SetIterationTime(wallMs[0].back() / 1000.0);
    }
    state.counters["updater_ms"] = Median(wallMs[0]);
    state.counters["baseline_ms"] = Median(wallMs[1]);
    state.counters["ratio"] = Median(wallMs[0]) / Median(wallMs[1]);
    state.counters["updater_cpu_ms"] = Median(cpuMs[0]);
    state.counters["baseline_cpu_ms"] = Median(cpuMs[1]);
    state.counters["updater_peak_mib"] = double(peak[0]) / 1024.0;
    state.counters["baseline_peak_mib"] = double(peak[1]) / 1024.0;
    // The budget is 1.5.
    state.counters["peak_ratio"] = double(peak[0]) / double(peak[1]);
    if (programs.size() > 2) {
        state.counters["other_ms"] = Median(wallMs[2]);
        state.counters["ratio_to_other"] = Median(wallMs[0]) / Median(wallMs[2]);
        state.counters["other_cpu_ms"] = Median(cpuMs[2]);
        state.counters["cpu_ratio_to_other"] = Median(cpuMs[0]) / Median(cpuMs[2]);
        state.counters["other_peak_mib"] = double(peak[2]) / 1024.0;
    }
}
BENCHMARK_CAPTURE(WindowStartupToFirstFrame, no_system_bus, false)
    ->Iterations(16)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WindowStartupToFirstFrame, system_bus, true)
    ->Iterations(16)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// CPU of the whole program with the window open and nothing happening.
void BM_WindowIdleCpu(benchmark::State& state)
{
    XServer& x = TestXServer();
    Updater updater({"--mode", "normal"});
    if (!x.Running() || updater.image.empty()) {
        state.SkipWithError("no X server or mixer-sim");
        return;
    }
    const double seconds = IdleCpu::MeasureSeconds();
    double percent = -1;
    for (auto _ : state) {
        SimProcess::Run(updater.Argv(), updater.env, nullptr, 60000, nullptr, [&](pid_t pid) {
            if (WaitForFrame(x, Clock::now()) >= 0) {
                const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
                // Let the start-up's own work settle first.
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                const double before = ProcCpuSeconds(stat);
                std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
                percent = (ProcCpuSeconds(stat) - before) / seconds * 100.0;
            }
            kill(pid, SIGTERM);
        });
    }
    if (percent < 0)
        state.SkipWithError("no frame painted");
    state.counters["cpu_pct_of_core"] = percent;
}
BENCHMARK(BM_WindowIdleCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// UPDATE FIRMWARE with the device in update mode, through the window, to
// the driver's flag going off after the last chunk: wall time against the
// pacing floor (128-byte chunks, 20 ms apart) and the interface thread's CPU
// meanwhile, beside the plain program painting the bar's frames at the
// same pace for as long.
void BM_WindowTransfer(benchmark::State& state)
{
    XServer& x = TestXServer();
    Updater updater({"--mode", "update", "--install-ms", "0"});
    if (!x.Running() || updater.image.empty()) {
        state.SkipWithError("no X server or mixer-sim");
        return;
    }
    // Watched from the device's side: a dump would cost the interface thread.
    const auto status = [&](const std::string& text) {
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (updater.sim.Command("status").find(text) == std::string::npos)
            if (Clock::now() > end)
                return false;
        return true;
    };
    const double floorMs = 250 * 20.0;
    double wallMs = -1, uiPercent = -1;
    for (auto _ : state) {
        SimProcess::Run(updater.Argv(), updater.env, nullptr, 60000, nullptr, [&](pid_t pid) {
            // UPDATE FIRMWARE is on the first frame for a device in update mode.
            if (WaitForFrame(x, Clock::now()) >= 0) {
                const std::string uiStat =
                    "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat";
                XInput input;
                input.MoveTo(Baseline::kWindowX + 280, Baseline::kWindowY + 334);
                const double before = ProcCpuSeconds(uiStat);
                const auto start = Clock::now();
                input.Click(1);
                input.Sync();
                if (status("flag=1") && status("flag=0 received=32000")) {
                    wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    uiPercent = (ProcCpuSeconds(uiStat) - before) / (wallMs / 1000.0) * 100.0;
                }
            }
            kill(pid, SIGTERM);
        });
        if (wallMs < 0) {
            state.SkipWithError("the transfer did not end in the window");
            break;
        }
        state.SetIterationTime(wallMs / 1000.0);
    }
    double baselinePercent = -1;
    const std::vector<std::string> baseline = {SimProcess::BinFolder() + "/baseline-window", "--transfer",
                                               "250", "20"};
    SimProcess::Run(baseline, updater.env, nullptr, 60000, nullptr, [&](pid_t pid) {
        if (WaitForFrame(x, Clock::now()) >= 0) {
            const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
            const double before = ProcCpuSeconds(stat);
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(wallMs));
            baselinePercent = (ProcCpuSeconds(stat) - before) / (wallMs / 1000.0) * 100.0;
        }
        kill(pid, SIGTERM);
    });
    while (ProbePixel(x) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state.counters["floor_ms"] = floorMs;
    state.counters["wall_ms"] = wallMs;
    state.counters["over_floor_pct"] = (wallMs / floorMs - 1.0) * 100.0;
    // The budget is 2 % of a core.
    state.counters["ui_thread_cpu_pct"] = uiPercent;
    state.counters["baseline_cpu_pct"] = baselinePercent;
    state.counters["cpu_ratio"] = baselinePercent > 0 ? uiPercent / baselinePercent : -1;
}
BENCHMARK(BM_WindowTransfer)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
