// A two-column table of 10,000 rows sorted by a column, every column
// reordered with its selection carried, against std::stable_sort of the
// same records (row index and cell text) alone.
#include "bench/Common/BenchRootWindow.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MultiColumnListBox.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace Tavo;

namespace {

constexpr int32_t kRows = 10000;

RCPtr<LControlDescriptor> Child(const char16_t* cls, const WString& name, double x, double y, double w,
                                double h)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.positionAbs = x, layout->y.positionAbs = y;
    layout->x.sizeRef = layout->y.sizeRef = 2;
    layout->x.sizeAbs = w, layout->y.sizeAbs = h;
    RCPtr<LControlDescriptor> descriptor = LControlDescriptor::Create(cls, name, nullptr);
    descriptor->SetLayout(layout);
    return descriptor;
}

// Mixed-case texts in no order, some equal but for case.
WString CellText(int32_t row, int32_t column)
{
    const int32_t key = (row * 7919 + column * 104729) % kRows;
    std::string text = (key % 2 ? "Image " : "image ") + std::to_string(key / 2);
    return WString(NString(text.c_str()));
}

RCPtr<LMultiColumnListBox> BuildTable(const RCPtr<BenchRootWindow>& window)
{
    static auto* factory = [] {
        auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
        for (const ControlClassRow& row : FrameworkControlClasses())
            if (row.create)
                (*f)->RegisterControlClass(row.name, row.create);
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
        column.SetItemCount(kRows);
        for (int32_t r = 0; r < kRows; ++r)
            column.SetItemData(uint32_t(r), RCPtr<LRefCountedObject>(new LListText(CellText(r, int32_t(c)))));
    }
    control->GetColumn(0)->SelectRange(17, -1, true);
    return control;
}

void BM_TableSortByColumn(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(400, 300));
    RCPtr<LMultiColumnListBox> table = BuildTable(window);
    for (auto _ : state)
        table->PerformSort(1);  // ascending and descending in turn
    state.counters["rows"] = table->GetColumn(0)->GetItemCount();
    table->Detach();
    table->ReleaseInternalReferences();
}
BENCHMARK(BM_TableSortByColumn)->Unit(benchmark::kMillisecond);

// The baseline: the records alone, sorted the same way in the same turns.
void BM_StableSortOfRecords(benchmark::State& state)
{
    struct Record
    {
        uint32_t index;
        WString text;
    };
    std::vector<Record> rows;
    for (int32_t r = 0; r < kRows; ++r)
        rows.push_back({uint32_t(r), CellText(r, 1)});
    bool ascending = true;
    for (auto _ : state) {
        std::vector<Record> records;
        records.reserve(rows.size());
        for (const Record& row : rows)
            records.push_back({row.index, row.text.ToLower()});
        std::stable_sort(records.begin(), records.end(), [ascending](const Record& a, const Record& b) {
            const std::u16string_view x(a.text.c_str(), a.text.GetLength()),
                y(b.text.c_str(), b.text.GetLength());
            return ascending ? x < y : y < x;
        });
        ascending = !ascending;
        benchmark::DoNotOptimize(records.data());
    }
}
BENCHMARK(BM_StableSortOfRecords)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
