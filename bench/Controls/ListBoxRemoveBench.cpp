// A list of 300 and 3,000 items emptied one item at a time from its widest
// end, as a program clears a list, and a tree dropping a subtree of as many
// items with as many more after it. Ten times the items should cost about
// ten times the time. The list's baseline measures each item's text once,
// the least a removal that keeps the widest width can do; the tree's drops
// the same run from plain arrays of records and parent indices.
// "BaselineGrowth" is the baseline's growth.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "bench/Common/FrameworkFactory.h"
#include "bench/Common/Growth.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ListBox.h"
#include "Controls/TreeView.h"
#include "Renderer/Font.h"
#include "Renderer/Renderer.h"
#include "Renderer/RenderHost.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr uint32_t kSmall = 300, kLarge = 3000;

const std::vector<WString>& Texts()
{
    static const auto* texts = new std::vector<WString>(ImageNames(kLarge));
    return *texts;
}

// Rows measure their texts: a render host and a font first.
RCPtr<LControlFactory> Factory()
{
    static const bool ready = [] {
        SetRenderHost(new BenchHost());
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        return true;
    }();
    (void)ready;
    return FrameworkFactory();
}

// A list 200 x 300 in a 600 x 400 window holding the first count texts:
// the later items are the wider ones, so the last item is always a widest.
struct FilledList
{
    RCPtr<BenchRootWindow> window{new BenchRootWindow(600, 400)};
    RCPtr<LListBox> list;

    explicit FilledList(uint32_t count)
    {
        ControlEnvironment().factory = Factory();
        RCPtr<LControlDescriptor> descriptor = Child(u"Framework.ListBox", u"list", 0, 0, 200, 300);
        descriptor->AddChild(Child(u"Framework.ListBoxItem", u"templateItem", 0, 0, 200, 20));
        list = RCPtrDynamicCast<LListBox>(Factory()->CreateControl(descriptor, nullptr));
        list->SetRootWindow(window.Get());
        list->UpdateGeometry();
        list->SetBatchUpdate(true);
        for (uint32_t i = 0; i < count; ++i)
            list->InsertItemAt(i, RCPtr<LRefCountedObject>(new LListText(Texts()[i])));
        list->SetBatchUpdate(false);
        ControlEnvironment().factory = nullptr;
    }
    ~FilledList()
    {
        list->SetRootWindow(nullptr);
        list->ReleaseInternalReferences();
    }
    void EmptyFromTheEnd()
    {
        while (list->GetItemCount() > 0)
            list->RemoveItem(list->GetItemCount() - 1);
    }
};

// Each text measured once in the rows' font.
void MeasureEach(LListBox& list, uint32_t count)
{
    const RCPtr<LMeasurementRenderer> measurer = Tavo::GetMeasurementRenderer();
    const RCPtr<LFont> font = list.GetRow(0)->GetFont();
    double sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += measurer->MeasureString(Texts()[i], font).width;
    benchmark::DoNotOptimize(sum);
}

void BM_ListEmptiedFromTheWidestEnd(benchmark::State& state)
{
    Texts();
    Growth::Times t;
    int32_t widestLeft = -1;
    for (auto _ : state) {
        state.PauseTiming();
        FilledList small(kSmall), large(kLarge);
        state.ResumeTiming();
        t.small += Growth::Timed([&] { small.EmptyFromTheEnd(); });
        t.large += Growth::Timed([&] { large.EmptyFromTheEnd(); });
        t.baseSmall += Growth::Timed([&] { MeasureEach(*small.list, kSmall); });
        t.baseLarge += Growth::Timed([&] { MeasureEach(*large.list, kLarge); });
        widestLeft = large.list->GetWidestRow();
    }
    Growth::ReportMicros(state, t);
    Growth::Report(state, t);
    state.counters["WidestLeft"] = widestLeft;
}
BENCHMARK(BM_ListEmptiedFromTheWidestEnd)->Unit(benchmark::kMillisecond)->Iterations(3);

// Item 0 with count children, then count top-level items.
struct SubtreeAndTail
{
    RCPtr<BenchRootWindow> window{new BenchRootWindow(600, 400)};
    RCPtr<LTreeView> tree;

    explicit SubtreeAndTail(uint32_t count)
    {
        ControlEnvironment().factory = Factory();
        tree = MakeCheckTree(Factory(), window.Get());
        tree->SetBatchUpdate(true);
        for (uint32_t k = 0; k <= count; ++k)
            tree->InsertItemAt(k, RCPtr<LRefCountedObject>(new LListText(Texts()[k % kLarge])));
        tree->SetItemParent(1, 0);
        // Inserted before a child of item 0: children of item 0 too.
        for (uint32_t k = 1; k < count; ++k)
            tree->InsertItemAt(1, RCPtr<LRefCountedObject>(new LListText(Texts()[k])));
        tree->SetBatchUpdate(false);
        ControlEnvironment().factory = nullptr;
    }
    ~SubtreeAndTail()
    {
        tree->SetRootWindow(nullptr);
        tree->ReleaseInternalReferences();
    }
};

struct PlainTree
{
    std::vector<LListBox::ItemRecord> items;
    std::vector<int32_t> parents;

    explicit PlainTree(uint32_t count) : items(2 * size_t(count)), parents(2 * size_t(count), -1)
    {
        for (uint32_t k = 0; k < count; ++k)
            items[k].data = RCPtr<LRefCountedObject>(new LListText(Texts()[k]));
        for (uint32_t k = 1; k < count; ++k)
            parents[k] = 0;
    }
    // The subtree is the run of items whose parents lie within it.
    void RemoveFirstSubtree()
    {
        size_t end = 1;
        while (end < parents.size() && parents[end] >= 0)
            ++end;
        items.erase(items.begin(), items.begin() + std::ptrdiff_t(end));
        parents.erase(parents.begin(), parents.begin() + std::ptrdiff_t(end));
    }
};

void BM_TreeDropsASubtreeBeforeAsManyItems(benchmark::State& state)
{
    Texts();
    Growth::Times t;
    uint32_t left = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SubtreeAndTail small(kSmall), large(kLarge);
        PlainTree plainSmall(kSmall), plainLarge(kLarge);
        state.ResumeTiming();
        t.small += Growth::Timed([&] { small.tree->RemoveItem(0); });
        t.large += Growth::Timed([&] { large.tree->RemoveItem(0); });
        t.baseSmall += Growth::Timed([&] { plainSmall.RemoveFirstSubtree(); });
        t.baseLarge += Growth::Timed([&] { plainLarge.RemoveFirstSubtree(); });
        left = large.tree->GetItemCount();
    }
    Growth::ReportMicros(state, t);
    Growth::Report(state, t);
    state.counters["ItemsLeft"] = left;
}
BENCHMARK(BM_TreeDropsASubtreeBeforeAsManyItems)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
