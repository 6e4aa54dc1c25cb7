// A list of 10,000 items scrolled by a page and repainted through its
// control tree, against the same fills and texts drawn straight to the
// renderer for the visible rows.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ListBox.h"
#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderer.h"
#include "Renderer/RenderHost.h"
#include "Window/RootWindow.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 200, kHeight = 300, kItems = 10000;

RCPtr<LLayoutDescriptor> Box(double w, double h)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.sizeRef = layout->y.sizeRef = 2;
    layout->x.sizeAbs = w, layout->y.sizeAbs = h;
    return layout;
}

// The product skin's panel and label looks on a list and its rows.
RCPtr<LListBox> BuildList(const RCPtr<BenchRootWindow>& window)
{
    static auto* factory = [] {
        SetRenderHost(new BenchHost());
        auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
        (*f)->LoadSkins(WString(TAVO_SOURCE_DIR "/FirmwareUpdater/Resources/Skins.xml"));
        (*f)->RegisterControlClass(u"Framework.ListBox", &LListBox::Create);
        (*f)->RegisterControlClass(u"Framework.ListBoxItem", &LListBoxItem::Create);
        ControlEnvironment().factory = *f;
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        return f;
    }();
    RCPtr<LControlDescriptor> row =
        LControlDescriptor::Create(u"Framework.ListBoxItem", u"templateItem", nullptr);
    row->SetLayout(Box(kWidth, 20));
    if (auto main = (*factory)->FindDescriptorByName(u"mainControl"))
        for (const auto& child : main->GetChildren())
            if (child->GetName() == u"labelDeviceFirmwareVersion")
                row->SetSkin(child->GetSkin());
    RCPtr<LControlDescriptor> list = LControlDescriptor::Create(u"Framework.ListBox", u"list", nullptr);
    list->SetLayout(Box(kWidth, kHeight));
    if (auto main = (*factory)->FindDescriptorByName(u"mainControl"))
        list->SetSkin(main->GetSkin());
    list->AddChild(row);
    RCPtr<LListBox> control = RCPtrDynamicCast<LListBox>((*factory)->CreateControl(list, nullptr));
    control->SetRootWindow(window.Get());
    control->UpdateGeometry();
    control->SetItemCount(kItems);
    for (int32_t i = 0; i < kItems; ++i) {
        const std::string text = "Firmware image " + std::to_string(i);
        control->SetItemData(uint32_t(i),
                             RCPtr<LRefCountedObject>(new LListText(WString(NString(text.c_str())))));
    }
    return control;
}

void DrawTree(LRenderer& renderer, const RCPtr<LRenderContextInfo>& context, LControl& top)
{
    renderer.RenderStart(context);
    renderer.PushState();
    std::vector<RCPtr<LControl>> overlays;
    top.Draw(&renderer, context->dirtyRegion, overlays, false);
    renderer.PopState();
    renderer.RenderFinish(context);
}

RCPtr<LRenderContextInfo> FullContext(LGDIRenderer& renderer)
{
    RCPtr<LRenderContextInfo> context;
    renderer.InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    return context;
}

void BM_ListPageScrollAndRepaint(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LListBox> list = BuildList(window);
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context = FullContext(*renderer);
    const double page = kHeight, end = double(kItems) * list->GetItemHeight() - kHeight;
    double y = 0;
    for (auto _ : state) {
        y = y + page > end ? 0 : y + page;
        list->SetScrollOffset({0, y});
        DrawTree(*renderer, context, *list);
    }
    state.counters["rows"] = list->GetRowCount();
    list->Detach();
}
BENCHMARK(BM_ListPageScrollAndRepaint);

// The baseline: one page's fills and texts straight to the renderer.
void BM_VisibleRowsDirect(benchmark::State& state)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(kWidth, kHeight));
    RCPtr<LListBox> list = BuildList(window);
    RCPtr<CapturingRenderer> capture(new CapturingRenderer());
    RCPtr<LRenderContextInfo> captured = FullContext(*capture);
    list->SetScrollOffset({0, double(kHeight)});
    DrawTree(*capture, captured, *list);
    list->Detach();
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context = FullContext(*renderer);
    for (auto _ : state) {
        renderer->RenderStart(context);
        for (const auto& call : capture->calls)
            call(*renderer);
        renderer->RenderFinish(context);
    }
    state.counters["calls"] = double(capture->calls.size());
}
BENCHMARK(BM_VisibleRowsDirect);

}  // namespace

BENCHMARK_MAIN();
