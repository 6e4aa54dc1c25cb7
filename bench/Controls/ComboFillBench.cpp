// A closed combo box filled item by item, as a program fills it from its
// data, with 2,000 and 20,000 items, against a plain std::vector filled with
// the same strings. Ten times the items should cost about ten times the time.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "bench/Common/FrameworkFactory.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ComboBox.h"
#include "Controls/FrameworkControlClasses.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr int32_t kSmall = 2000, kLarge = 20000;

const std::vector<WString>& Texts()
{
    static const auto* texts = new std::vector<WString>(ImageNames(kLarge));
    return *texts;
}

// A combo box 200 x 20 in a 600 x 400 window, its list below it, closed.
RCPtr<LComboBox> BuildCombo(const RCPtr<BenchRootWindow>& window)
{
    static const bool ready = [] {
        SetRenderHost(new BenchHost());
        ControlEnvironment().factory = FrameworkFactory();
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        return true;
    }();
    (void)ready;
    RCPtr<LControlDescriptor> combo = Child(u"Framework.ComboBox", u"combo", 10, 10, 200, 20);
    RCPtr<LControlDescriptor> list = Child(u"Framework.ListBox", u"listBox", 0, 20, 200, 100);
    list->AddChild(Child(u"Framework.ListBoxItem", u"templateItem", 0, 0, 200, 20));
    combo->AddChild(list);
    auto control = RCPtrDynamicCast<LComboBox>(FrameworkFactory()->CreateControl(combo, nullptr));
    control->SetRootWindow(window.Get());
    control->UpdateGeometry();
    return control;
}

// Seconds to fill a new closed combo box with the first count texts.
double FillCombo(const RCPtr<BenchRootWindow>& window, int32_t count)
{
    RCPtr<LComboBox> combo = BuildCombo(window);
    LListBox& list = *combo->GetList();
    const auto start = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < count; ++i)
        list.InsertItemAt(uint32_t(i), RCPtr<LRefCountedObject>(new LListText(Texts()[size_t(i)])));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(list.GetItemCount());
    combo->SetRootWindow(nullptr);
    combo->ReleaseInternalReferences();
    return took.count();
}

// The baseline: the same strings into a vector, each in a counted holder as
// the list keeps them.
double FillVector(int32_t count)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<RCPtr<LRefCountedObject>> items;
    for (int32_t i = 0; i < count; ++i)
        items.push_back(RCPtr<LRefCountedObject>(new LListText(Texts()[size_t(i)])));
    benchmark::DoNotOptimize(items.data());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

void BM_ComboBoxFill(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(600, 400));
    Texts();
    for (auto _ : state)
        state.SetIterationTime(FillCombo(window, int32_t(state.range(0))));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ComboBoxFill)->Arg(kSmall)->Arg(kLarge)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_VectorFill(benchmark::State& state)
{
    Texts();
    for (auto _ : state)
        state.SetIterationTime(FillVector(int32_t(state.range(0))));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_VectorFill)->Arg(kSmall)->Arg(kLarge)->UseManualTime()->Unit(benchmark::kMillisecond);

// Both sizes and both fills in one loop, so the ratios see the same machine
// state: "growth" is the time of 20,000 items over that of 2,000 (about 10
// when the fill is linear), "vs_vector" the combo's time over the vector's.
void BM_ComboBoxFillGrowth(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(600, 400));
    Texts();
    double combo[2] = {0, 0}, vector[2] = {0, 0};
    for (auto _ : state) {
        combo[0] += FillCombo(window, kSmall);
        combo[1] += FillCombo(window, kLarge);
        vector[0] += FillVector(kSmall);
        vector[1] += FillVector(kLarge);
    }
    state.counters["growth"] = combo[1] / combo[0];
    state.counters["vector_growth"] = vector[1] / vector[0];
    state.counters["vs_vector_2k"] = combo[0] / vector[0];
    state.counters["vs_vector_20k"] = combo[1] / vector[1];
}
BENCHMARK(BM_ComboBoxFillGrowth)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
