// Re-parenting a chain of tree items, 300 and 3,000 deep: each round hangs
// the chain under the item before it and back to the top level. "Growth" is
// the 3,000-deep time over the 300-deep one (about 10 is linear). The
// baseline does the same to a plain array of parent indices with the moved
// items' shown flags; "BaselineGrowth" is its growth.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/FrameworkFactory.h"
#include "bench/Common/Growth.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/TreeView.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace Tavo;

namespace {

constexpr uint32_t kSmall = 300, kLarge = 3000;

// Item 0 at the top level, then a chain of depth items, each under the one
// before.
struct Chain
{
    RCPtr<BenchRootWindow> window{new BenchRootWindow(300, 200)};
    RCPtr<LTreeView> tree;

    explicit Chain(uint32_t depth)
    {
        ControlEnvironment().factory = FrameworkFactory();
        tree = MakeCheckTree(FrameworkFactory(), window.Get());
        for (uint32_t k = 0; k <= depth; ++k) {
            tree->InsertItemAt(k, nullptr);
            if (k >= 2)
                tree->SetItemParent(k, int32_t(k - 1));
        }
        ControlEnvironment().factory = nullptr;
    }
    ~Chain()
    {
        tree->Detach();
        tree->ReleaseInternalReferences();
    }
    void Round()
    {
        tree->SetItemParent(1, 0);
        tree->SetItemParent(1, -1);
    }
};

// The same moves on a plain array: parents shift with the block, the
// block's shown flags follow from their parents.
struct PlainChain
{
    std::vector<int32_t> parents;
    std::vector<bool> shown;

    explicit PlainChain(uint32_t depth) : parents(depth + 1), shown(depth + 1, true)
    {
        for (uint32_t k = 0; k <= depth; ++k)
            parents[k] = k >= 2 ? int32_t(k - 1) : -1;
    }
    void Move(int32_t parent)
    {
        parents[1] = parent;
        for (size_t k = 1; k < parents.size(); ++k)
            shown[k] = parents[k] < 0 || shown[size_t(parents[k])];
    }
    void Round()
    {
        Move(0);
        Move(-1);
    }
};

void BM_TreeChainReparent(benchmark::State& state)
{
    Chain small(kSmall), large(kLarge);
    PlainChain plainSmall(kSmall), plainLarge(kLarge);
    Growth::Times t;
    for (auto _ : state) {
        t.small += Growth::Timed([&] { small.Round(); });
        t.large += Growth::Timed([&] { large.Round(); });
        t.baseSmall += Growth::Timed([&] { plainSmall.Round(); });
        t.baseLarge += Growth::Timed([&] { plainLarge.Round(); });
        benchmark::DoNotOptimize(plainLarge.shown);
    }
    Growth::ReportMicros(state, t);
    Growth::Report(state, t);
    state.counters["Depth"] = double(large.tree->GetDepth(kLarge));
}
BENCHMARK(BM_TreeChainReparent)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
