// Building and releasing the product skin's main control tree, against a
// plain tree of nodes with the same names and rectangles. "Ratio" reports
// control time / plain time; the heap counters give bytes per control and
// per plain node (heap in use before and after building, glibc).
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

struct PlainNode
{
    std::u16string name;
    double x = 0, y = 0, width = 0, height = 0;
    PlainNode* parent = nullptr;
    std::vector<std::unique_ptr<PlainNode>> children;
};

void RegisterClasses(LControlFactory& factory, const RCPtr<LControlDescriptor>& d)
{
    factory.RegisterControlClass(d->GetClassName(), &LControl::CreateT<LControl>);
    for (const auto& child : d->GetChildren())
        RegisterClasses(factory, child);
}

std::unique_ptr<PlainNode> BuildPlain(const RCPtr<LControlDescriptor>& d, PlainNode* parent, size_t& count)
{
    auto node = std::make_unique<PlainNode>();
    node->name = ToStdString(d->GetName());
    node->parent = parent;
    ++count;
    for (const auto& child : d->GetChildren())
        if (!LControl::IsDeferCreate(child))
            node->children.push_back(BuildPlain(child, node.get(), count));
    return node;
}

size_t CountControls(LControl* c)
{
    size_t n = 1;
    for (uint32_t i = 0; i < c->GetChildren().Count(); ++i)
        n += CountControls(c->GetChildren().GetAt(i).Get());
    return n;
}

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

RCPtr<LControlFactory> ProductFactory()
{
    static RCPtr<LControlFactory> factory = [] {
        std::ifstream in(std::string(TAVO_SOURCE_DIR) + "/FirmwareUpdater/Resources/Skins.xml",
                         std::ios::binary);
        const std::string xml((std::istreambuf_iterator<char>(in)), {});
        auto f = LControlFactory::Create(u"Bench");
        f->ParseXML(xml.c_str(), xml.size());
        RegisterClasses(*f, f->FindDescriptorByName(u"mainControl"));
        return f;
    }();
    return factory;
}

void BM_ControlTreeToPlainTreeRatio(benchmark::State& state)
{
    auto factory = ProductFactory();
    ControlEnvironment().factory = factory;
    const auto descriptor = factory->FindDescriptorByName(u"mainControl");
    std::chrono::nanoseconds tree{0}, plain{0};
    size_t controls = 0, nodes = 0, controlBytes = 0, plainBytes = 0;
    for (auto _ : state) {
        size_t before = HeapInUse();
        auto t0 = std::chrono::steady_clock::now();
        RCPtr<LControl> top = factory->CreateControlFromDescriptor(u"mainControl", nullptr);
        auto t1 = std::chrono::steady_clock::now();
        controlBytes = HeapInUse() - before;
        controls = CountControls(top.Get());
        top = nullptr;
        auto t2 = std::chrono::steady_clock::now();

        nodes = 0;
        before = HeapInUse();
        auto t3 = std::chrono::steady_clock::now();
        auto root = BuildPlain(descriptor, nullptr, nodes);
        auto t4 = std::chrono::steady_clock::now();
        plainBytes = HeapInUse() - before;
        benchmark::DoNotOptimize(root.get());
        root.reset();
        auto t5 = std::chrono::steady_clock::now();
        tree += (t1 - t0) + (t2 - t1);
        plain += (t4 - t3) + (t5 - t4);
    }
    ControlEnvironment().factory = nullptr;
    state.counters["Ratio"] = double(tree.count()) / double(plain.count() ? plain.count() : 1);
    state.counters["Controls"] = double(controls);
    state.counters["BytesPerControl"] = double(controlBytes) / double(controls ? controls : 1);
    state.counters["BytesPerPlainNode"] = double(plainBytes) / double(nodes ? nodes : 1);
    state.counters["SizeofLControl"] = double(sizeof(LControl));
}
BENCHMARK(BM_ControlTreeToPlainTreeRatio);

}  // namespace

BENCHMARK_MAIN();
