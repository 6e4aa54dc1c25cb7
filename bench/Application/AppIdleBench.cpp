// CPU the whole application costs while nothing happens: the main window's
// 33 ms tick starts idle periods whose turns drain every notification
// center and the root window.
#include <benchmark/benchmark.h>

#include "Platform/App/TimerResolution.h"
#include "bench/Common/IdleCpu.h"
#include "tests/TavoFramework/Application/AppTestSupport.h"

#include <cstdlib>
#include <unistd.h>

using namespace Tavo;
using namespace AppTest;
using namespace IdleCpu;

namespace {

void BM_ApplicationIdleWithWindowTick(benchmark::State& state)
{
    const uint32_t seconds = MeasureSeconds();
    std::string pattern = (std::filesystem::temp_directory_path() / "tavo-appbench-XXXXXX").string();
    const std::filesystem::path dir = mkdtemp(pattern.data());
    WriteResources(dir / "res", false);
    setenv("TAVO_USER_APPDATA_DIR", (dir / "user").c_str(), 1);
    setenv("TAVO_COMMON_APPDATA_DIR", (dir / "common").c_str(), 1);

    for (auto _ : state) {
        Rec() = Recorder();
        Platform::App::MessageLoop loop;
        AppShellOptions options;
        options.applicationName = u"BenchApp";
        options.loop = &loop;
        options.profile = std::make_shared<Platform::App::MemoryProfileStore>();
        options.createSingleInstance = [](const std::string& name) {
            return std::make_unique<Platform::App::FakeSingleInstance>(name);
        };
        options.hooks.createMainWindow = [&loop] { return std::make_unique<FakeMainWindow>(loop); };
        options.createApplication = [](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                       const RCPtr<LStringTable>& strings, const WString& line) {
            return RCPtr<LApplicationBase>(new TestApp(shell, factory, strings, line));
        };
        TestShell shell(std::move(options), "benchapp", (dir / "res").string());

        double cpuStart = 0;
        uint32_t wallStart = 0;
        double cpu = 0, wall = 0;
        Rec().onTick = [&](int tick) {
            if (tick == 1) {
                cpuStart = CpuSeconds();
                wallStart = Platform::App::TimeGetTime();
                return;
            }
            const uint32_t elapsed = Platform::App::TimeGetTime() - wallStart;
            if (elapsed >= seconds * 1000 && wall == 0) {
                cpu = CpuSeconds() - cpuStart;
                wall = elapsed / 1000.0;
                GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
            }
        };
        shell.Main(0x0409);
        state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : -1;
        state.counters["ticks_per_s"] = wall > 0 ? Rec().ticks / wall : 0;
        state.counters["idle_turns_per_s"] = wall > 0 ? (Rec().firstTurns + Rec().laterTurns) / wall : 0;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_ApplicationIdleWithWindowTick)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
