// A container filled with 1,000 and 10,000 uniquely named children, one child
// at a time, as skins and lists fill theirs; each new child's name is checked
// against its siblings'. "Growth" is the 10,000 time over the 1,000 one (about
// 10 is linear). The baseline appends the same names to a plain vector;
// "BaselineGrowth" is its growth.
#include "bench/Common/Growth.h"
#include "ControlBase/Control.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr int kSmall = 1000, kLarge = 10000;

std::vector<WString> Names(int count)
{
    std::vector<WString> names;
    for (int i = 0; i < count; ++i)
        names.emplace_back(WString(NString(("child" + std::to_string(i)).c_str())));
    return names;
}

// The time to fill a new container; it is emptied outside the timing.
Growth::Nanos Fill(const std::vector<WString>& names, bool& allFound)
{
    RCPtr<LControl> box(new LControl(nullptr, u"box"));
    const Growth::Nanos t = Growth::Timed([&] {
        for (const WString& name : names)
            RCPtr<LControl> child(new LControl(box, name));
    });
    allFound = box->GetChildren().Count() == names.size() && box->FindChildByName(names.back()) &&
               box->FindChildByName(names.front());
    box->ReleaseInternalReferences();
    return t;
}

Growth::Nanos FillPlain(const std::vector<WString>& names)
{
    std::vector<WString> plain;
    const Growth::Nanos t = Growth::Timed([&] {
        for (const WString& name : names)
            plain.push_back(name);
        benchmark::DoNotOptimize(plain.data());
    });
    return t;
}

void BM_FillAContainerWithNamedChildren(benchmark::State& state)
{
    const std::vector<WString> small = Names(kSmall), large = Names(kLarge);
    Growth::Times t;
    bool found = true, smallFound = false, largeFound = false;
    for (auto _ : state) {
        t.small += Fill(small, smallFound);
        t.large += Fill(large, largeFound);
        found = found && smallFound && largeFound;
        t.baseSmall += FillPlain(small);
        t.baseLarge += FillPlain(large);
    }
    Growth::ReportMicros(state, t);
    Growth::Report(state, t);
    state.counters["AllFound"] = found;
}
BENCHMARK(BM_FillAContainerWithNamedChildren)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
