// Tab walked through every child of a wide container, 100 and 1,000
// children, from the first to the last. "Growth" is the 1,000-wide time over
// the 100-wide one (about 10 is linear). The baseline steps the same walk
// through a plain array of shown and enabled flags; "BaselineGrowth" is its
// growth.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/Growth.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Window/InputParams.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr int kSmall = 100, kLarge = 1000;

// Keeps the focus holder, as a window does: Tab goes to it.
class FocusRootWindow : public BenchRootWindow
{
public:
    FocusRootWindow() : BenchRootWindow(400, 300) {}
    void SetFocusControl(const RCPtr<LControl>& control) override { mFocus = control; }
    RCPtr<LControl> GetFocusControl() const override { return mFocus; }

private:
    RCPtr<LControl> mFocus;
};

// "main" holds "box", which holds width focusable children in a row.
std::string WideSkin(int width)
{
    std::string children;
    for (int i = 0; i < width; ++i)
        children += R"(<SubControl Class="Bench.Control" Name="c)" + std::to_string(i) +
                    R"(" XSizeAbs="4" YSizeAbs="20" XPosAbs=")" + std::to_string(i * 4) + R"("/>)";
    return R"(<R><Application Name="Bench"/><Skin Name="S">)"
           R"(<SubControl Class="Bench.Control" Name="main" XSizeAbs="400" YSizeAbs="300"><Skin Name="m">)"
           R"(<SubControl Class="Bench.Control" Name="box" XSizeAbs="400" YSizeAbs="200"><Skin Name="b">)" +
           children + "</Skin></SubControl></Skin></SubControl></Skin></R>";
}

struct WideTree
{
    RCPtr<FocusRootWindow> window{new FocusRootWindow()};
    RCPtr<LControlFactory> factory = LControlFactory::Create(u"Bench");
    RCPtr<LControl> main, box;

    explicit WideTree(int width)
    {
        ControlEnvironment().factory = factory;
        const std::string skin = WideSkin(width);
        factory->ParseXML(skin.c_str(), skin.size());
        factory->SetCurrentSkinIndex(0);
        factory->RegisterControlClass(u"Bench.Control", &LControl::CreateT<LControl>);
        main = factory->CreateControlFromDescriptor(u"main", window.Get());
        main->UpdateGeometry();
        box = main->FindChildByName(u"box");
        ControlEnvironment().factory = nullptr;
    }
    ~WideTree()
    {
        main->Detach();
        main->ReleaseInternalReferences();
    }
    // From the first child to the last, one Tab at a time.
    void Walk()
    {
        box->GetChildren().GetAt(0)->SetFocus(true);
        for (uint32_t i = 1; i < box->GetChildren().Count(); ++i)
            window->GetFocusControl()->UITarget_Key(
                LKeyParam::Create(KeyCode(KeyCode::PressCode(VKey::kTab))));
    }
};

struct PlainRow
{
    std::vector<bool> shown, enabled;
    explicit PlainRow(int width) : shown(size_t(width), true), enabled(size_t(width), true) {}
    size_t Walk() const
    {
        size_t at = 0;
        for (size_t step = 1; step < shown.size(); ++step) {
            size_t next = at + 1 == shown.size() ? 0 : at + 1;
            while (!shown[next] || !enabled[next])
                next = next + 1 == shown.size() ? 0 : next + 1;
            at = next;
        }
        return at;
    }
};

void BM_TabThroughAWideContainer(benchmark::State& state)
{
    WideTree small(kSmall), large(kLarge);
    const PlainRow plainSmall(kSmall), plainLarge(kLarge);
    Growth::Times t;
    for (auto _ : state) {
        t.small += Growth::Timed([&] { small.Walk(); });
        t.large += Growth::Timed([&] { large.Walk(); });
        t.baseSmall += Growth::Timed([&] { benchmark::DoNotOptimize(plainSmall.Walk()); });
        t.baseLarge += Growth::Timed([&] { benchmark::DoNotOptimize(plainLarge.Walk()); });
    }
    Growth::ReportMicros(state, t);
    Growth::Report(state, t);
    const RCPtr<LControl> focus = large.window->GetFocusControl();
    state.counters["ReachedTheLast"] = focus && focus->GetName() == WString(u"c999");
}
BENCHMARK(BM_TabThroughAWideContainer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
