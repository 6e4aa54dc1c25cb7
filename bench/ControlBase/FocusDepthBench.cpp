// Moving the focus into and out of a skin of nested containers, 8 and 64
// deep, with one focusable leaf at the bottom beside a button at the top:
// each round focuses the deep leaf through the outermost container, then
// the button. "Growth" is the 64-deep time over the 8-deep one (the depth
// grows 8 times: about 8 is linear). The baseline finds the same leaf in a
// plain tree of nodes of the same depth; "BaselineGrowth" is its growth.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/Growth.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr int kSmall = 8, kLarge = 64;

// A skin whose "main" holds the button "a" and "level" nested depth times
// around the leaf "leaf".
std::string DeepSkin(int depth)
{
    std::string nested = R"(<SubControl Class="Bench.Control" Name="leaf" XSizeAbs="50" YSizeAbs="20"/>)";
    for (int i = 0; i < depth; ++i)
        nested =
            R"(<SubControl Class="Bench.Control" Name="level" XSizeAbs="300" YSizeAbs="200"><Skin Name="l">)" +
            nested + "</Skin></SubControl>";
    return R"(<R><Application Name="Bench"/><Skin Name="S">)"
           R"(<SubControl Class="Bench.Control" Name="main" XSizeAbs="400" YSizeAbs="300"><Skin Name="m">)"
           R"(<SubControl Class="Bench.Control" Name="a" XSizeAbs="50" YSizeAbs="20" TabStop="0"/>)" +
           nested + "</Skin></SubControl></Skin></R>";
}

struct DeepTree
{
    RCPtr<BenchRootWindow> window{new BenchRootWindow(400, 300)};
    RCPtr<LControlFactory> factory = LControlFactory::Create(u"Bench");
    RCPtr<LControl> main, a, outer, leaf;

    explicit DeepTree(int depth)
    {
        ControlEnvironment().factory = factory;
        const std::string skin = DeepSkin(depth);
        factory->ParseXML(skin.c_str(), skin.size());
        factory->SetCurrentSkinIndex(0);
        factory->RegisterControlClass(u"Bench.Control", &LControl::CreateT<LControl>);
        main = factory->CreateControlFromDescriptor(u"main", window.Get());
        main->UpdateGeometry();
        a = main->FindChildByName(u"a");
        outer = main->FindChildByName(u"level");
        leaf = outer;
        while (leaf->GetChildren().Count() > 0)
            leaf = leaf->GetChildren().GetAt(0);
        ControlEnvironment().factory = nullptr;
    }
    ~DeepTree()
    {
        main->Detach();
        main->ReleaseInternalReferences();
    }
    void Round()
    {
        outer->SetFocus(true);
        a->SetFocus(true);
    }
};

struct PlainNode
{
    bool shown = true, enabled = true;
    std::vector<std::unique_ptr<PlainNode>> children;
};

std::unique_ptr<PlainNode> PlainChain(int depth)
{
    auto leaf = std::make_unique<PlainNode>();
    for (int i = 0; i < depth; ++i) {
        auto node = std::make_unique<PlainNode>();
        node->children.push_back(std::move(leaf));
        leaf = std::move(node);
    }
    return leaf;
}

// The first shown and enabled leaf below a node, depth first.
const PlainNode* FirstLeaf(const PlainNode& node)
{
    if (!node.shown || !node.enabled)
        return nullptr;
    if (node.children.empty())
        return &node;
    for (const auto& child : node.children)
        if (const PlainNode* found = FirstLeaf(*child))
            return found;
    return nullptr;
}

void BM_FocusIntoDeepSkins(benchmark::State& state)
{
    DeepTree small(kSmall), large(kLarge);
    const auto plainSmall = PlainChain(kSmall), plainLarge = PlainChain(kLarge);
    Growth::Times t;
    for (auto _ : state) {
        t.small += Growth::Timed([&] { small.Round(); });
        t.large += Growth::Timed([&] { large.Round(); });
        t.baseSmall += Growth::Timed([&] { benchmark::DoNotOptimize(FirstLeaf(*plainSmall)); });
        t.baseLarge += Growth::Timed([&] { benchmark::DoNotOptimize(FirstLeaf(*plainLarge)); });
    }
    Growth::ReportMicros(state, t);
    Growth::Report(state, t);
    state.counters["Focused"] = large.leaf->HasFocus() || large.a->HasFocus();
}
BENCHMARK(BM_FocusIntoDeepSkins);

}  // namespace

BENCHMARK_MAIN();
