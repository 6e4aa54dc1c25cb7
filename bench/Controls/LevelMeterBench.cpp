// A level meter fed 1,000 updates a second, each repainted through the
// window's control tree, against filling the meter's background, bar and
// peak marker straight into the same renderer. The throughput pair gives the
// ratio; the paced pair the CPU share of a meter running at that rate.
#include "bench/Common/FrameworkFactory.h"
#include "bench/Common/IdleCpu.h"
#include "bench/Common/ProductTree.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/LevelMeter.h"
#include "Renderer/Gdi/GDIRenderer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <thread>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 600, kHeight = 400, kSteps = 1000;
// Where the test skin puts its horizontal meter, and its colours.
constexpr RectT<int32_t> kMeter{0, 300, 100, 10};
const ColorRGBA kBack(0x20 / 255.0f, 0x20 / 255.0f, 0x20 / 255.0f, 1.0f);
const ColorRGBA kBar(0x30 / 255.0f, 0xC0 / 255.0f, 0x30 / 255.0f, 1.0f);
const ColorRGBA kPeak(0xE0 / 255.0f, 0xC0 / 255.0f, 0x20 / 255.0f, 1.0f);

struct Reading
{
    double level, peak;
    int32_t clips;
};

// One second of a signal: a swell with its peak held a little above it and a
// clip now and then.
const std::vector<Reading>& Signal()
{
    static const auto* signal = [] {
        auto* s = new std::vector<Reading>();
        for (int32_t i = 0; i < kSteps; ++i) {
            const double level = 0.5 + 0.45 * std::sin(i * 0.05);
            s->push_back({level, std::min(1.0, level + 0.05), i / 250});
        }
        return s;
    }();
    return *signal;
}

// The test skin's window tree, laid out, with its horizontal meter.
struct MeterWindow
{
    MeterWindow()
    {
        static auto* factory = [] {
            SetRenderHost(new BenchHost());
            auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
            RegisterFrameworkControls(**f);
            (*f)->RegisterControlClass(u"Test.Panel", &LControl::CreateT<LControl>);
            (*f)->LoadSkins(WString(TAVO_SOURCE_DIR "/tests/TavoFramework/Controls/PaneSkin.xml"));
            return f;
        }();
        ControlEnvironment().factory = *factory;
        main = (*factory)->CreateControlFromDescriptor(u"mainControl", window.Get());
        main->UITarget_UpdateGeometry(kWidth, kHeight);
        meter = RCPtrDynamicCast<LLevelMeter>(main->FindChildByName(u"meterH"));
        renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
        context->dirtyRegion.AddRect(kMeter);
    }
    ~MeterWindow() { main->Detach(); }

    RCPtr<BenchRootWindow> window{new BenchRootWindow(kWidth, kHeight)};
    RCPtr<LControl> main;
    RCPtr<LLevelMeter> meter;
    RCPtr<LGDIRenderer> renderer{new LGDIRenderer()};
    RCPtr<LRenderContextInfo> context;
};

void UpdateMeter(MeterWindow& w, const Reading& r)
{
    w.meter->SetMeter(r.level, r.peak, r.clips);
    DrawProductTree(*w.renderer, w.context, *w.main);
}

// What a meter drawn by hand does: the background, the bar, the marker.
void FillDirect(MeterWindow& w, const Reading& r)
{
    LGDIRenderer& g = *w.renderer;
    g.RenderStart(w.context);
    g.FillRect(kMeter, kBack, false);
    const int32_t bar = RoundToInt32(r.level * kMeter.width), peak = RoundToInt32(r.peak * 90);
    if (bar > 0)
        g.FillRect({kMeter.x, kMeter.y, bar, kMeter.height}, kBar, false);
    if (peak > 0)
        g.FillRect({kMeter.x + peak, kMeter.y, 2, kMeter.height}, kPeak, false);
    g.RenderFinish(w.context);
}

template <void (*Step)(MeterWindow&, const Reading&)>
void BM_Updates(benchmark::State& state)
{
    MeterWindow w;
    size_t i = 0;
    for (auto _ : state)
        Step(w, Signal()[i++ % Signal().size()]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Updates<UpdateMeter>)->Name("BM_MeterUpdateAndRepaint");
BENCHMARK(BM_Updates<FillDirect>)->Name("BM_SameRectanglesFilledDirectly");

// 1,000 updates a second for a few seconds of wall time; the CPU time the
// process spent meanwhile over that wall time.
template <void (*Step)(MeterWindow&, const Reading&)>
void BM_PacedCpu(benchmark::State& state)
{
    MeterWindow w;
    const uint32_t seconds = IdleCpu::MeasureSeconds();
    for (auto _ : state) {
        const double cpu = IdleCpu::CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        for (uint32_t i = 0; i < seconds * 1000u; ++i) {
            Step(w, Signal()[i % Signal().size()]);
            next += std::chrono::milliseconds(1);
            std::this_thread::sleep_until(next);
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["cpu_percent"] = 100.0 * (IdleCpu::CpuSeconds() - cpu) / wall;
        state.counters["updates_per_s"] = seconds * 1000.0 / wall;
    }
}
BENCHMARK(BM_PacedCpu<UpdateMeter>)->Name("BM_MeterAt1000HzCpu")->Iterations(1)->UseRealTime();
BENCHMARK(BM_PacedCpu<FillDirect>)->Name("BM_DirectAt1000HzCpu")->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
