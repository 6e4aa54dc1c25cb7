// A two-column table of 10,000 and of 100,000 rows sorted by a column,
// every column reordered with its selection carried, against
// std::stable_sort of the same records (row index and cell text) alone.
// BM_TableSortGrowth times both sizes in one run: "Growth" is the large
// table's time over the small one's (a sort of 10 times the rows may cost
// a little over 10 times), "BaselineGrowth" the same for the records alone,
// and "SmallToBaseline" and "LargeToBaseline" the table against the records.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "bench/Common/FrameworkFactory.h"
#include "bench/Common/Growth.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MultiColumnListBox.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace Tavo;

namespace {

constexpr int32_t kSmall = 10000, kLarge = 100000;

// Mixed-case texts in no order, some equal but for case.
WString CellText(int32_t row, int32_t column, int32_t rows)
{
    const int32_t key = int32_t((int64_t(row) * 7919 + column * 104729) % rows);
    std::string text = (key % 2 ? "Image " : "image ") + std::to_string(key / 2);
    return WString(NString(text.c_str()));
}

RCPtr<LMultiColumnListBox> BuildTable(const RCPtr<BenchRootWindow>& window, int32_t rows)
{
    static auto* factory = [] {
        // Rows measured in a real font, as in a window.
        SetRenderHost(new BenchHost());
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
        RegisterFrameworkControls(**f);
        ControlEnvironment().factory = *f;
        return f;
    }();
    RCPtr<LControlDescriptor> table = Child(u"Framework.listbox2ColumnSortable", u"table", 0, 0, 400, 300);
    for (int32_t c = 1; c <= 2; ++c) {
        table->AddChild(Child(u"Framework.Button", WString::Format(u"buttonColumnHeader%d", c),
                              200.0 * (c - 1), 0, 200, 20));
        RCPtr<LControlDescriptor> column =
            Child(u"Framework.listboxNoScroll", WString::Format(u"listboxNoScroll%d", c), 200.0 * (c - 1), 20,
                  200, 280);
        column->AddChild(Child(u"Framework.ListBoxItem", u"templateItem", 0, 0, 200, 20));
        table->AddChild(column);
    }
    auto control = RCPtrDynamicCast<LMultiColumnListBox>((*factory)->CreateControl(table, nullptr));
    control->SetRootWindow(window.Get());
    control->UpdateGeometry();
    for (uint32_t c = 0; c < 2; ++c) {
        LListBox& column = *control->GetColumn(c);
        column.SetItemCount(uint32_t(rows));
        for (int32_t r = 0; r < rows; ++r)
            column.SetItemData(uint32_t(r),
                               RCPtr<LRefCountedObject>(new LListText(CellText(r, int32_t(c), rows))));
    }
    control->GetColumn(0)->SelectRange(17, -1, true);
    return control;
}

void BM_TableSortByColumn(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(400, 300));
    RCPtr<LMultiColumnListBox> table = BuildTable(window, int32_t(state.range(0)));
    for (auto _ : state)
        table->PerformSort(1);  // ascending and descending in turn
    state.counters["rows"] = table->GetColumn(0)->GetItemCount();
    state.counters["widest"] = table->GetColumn(0)->GetWidestRow();
    table->Detach();
    table->ReleaseInternalReferences();
}
BENCHMARK(BM_TableSortByColumn)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// The baseline: the records alone, sorted the same way in the same turns.
class RecordSort
{
public:
    explicit RecordSort(int32_t rows)
    {
        for (int32_t r = 0; r < rows; ++r)
            mRows.push_back({uint32_t(r), CellText(r, 1, rows)});
    }
    void Sort()
    {
        std::vector<Record> records;
        records.reserve(mRows.size());
        for (const Record& row : mRows)
            records.push_back({row.index, row.text.ToLower()});
        const bool ascending = mAscending;
        std::stable_sort(records.begin(), records.end(), [ascending](const Record& a, const Record& b) {
            const std::u16string_view x(a.text.c_str(), a.text.GetLength()),
                y(b.text.c_str(), b.text.GetLength());
            return ascending ? x < y : y < x;
        });
        mAscending = !mAscending;
        benchmark::DoNotOptimize(records.data());
    }

private:
    struct Record
    {
        uint32_t index;
        WString text;
    };
    std::vector<Record> mRows;
    bool mAscending = true;
};

void BM_StableSortOfRecords(benchmark::State& state)
{
    RecordSort records(int32_t(state.range(0)));
    for (auto _ : state)
        records.Sort();
}
BENCHMARK(BM_StableSortOfRecords)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_TableSortGrowth(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(400, 300));
    RCPtr<LMultiColumnListBox> small = BuildTable(window, kSmall), large = BuildTable(window, kLarge);
    RecordSort smallRecords(kSmall), largeRecords(kLarge);
    Growth::Times t;
    for (auto _ : state) {
        t.small += Growth::Timed([&] { small->PerformSort(1); });
        t.large += Growth::Timed([&] { large->PerformSort(1); });
        t.baseSmall += Growth::Timed([&] { smallRecords.Sort(); });
        t.baseLarge += Growth::Timed([&] { largeRecords.Sort(); });
    }
    Growth::Report(state, t);
    state.counters["SmallToBaseline"] = Growth::Ratio(t.small, t.baseSmall);
    for (const RCPtr<LMultiColumnListBox>& table : {small, large}) {
        table->Detach();
        table->ReleaseInternalReferences();
    }
}
BENCHMARK(BM_TableSortGrowth)->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
