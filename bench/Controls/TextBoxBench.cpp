// Typing into a text box that holds 100,000 characters, per key, with the
// caret at the end and in the middle, against the same edits on a plain
// std::u16string. Each iteration types one character and takes it back with
// Backspace, so the text keeps its length.
#include "bench/Common/BenchRootWindow.h"
#include "bench/Common/CapturingRenderer.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/TextBox.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace Tavo;

namespace {

constexpr int32_t kLength = 100000;
constexpr uint32_t kBackspace = KeyCode::PressCode(VKey::kBack);

std::u16string Sample()
{
    std::u16string text;
    while (text.size() < size_t(kLength))
        text += u"firmware image ";
    text.resize(size_t(kLength));
    return text;
}

// A text box with the product skin's label looks, holding the sample.
RCPtr<LTextBox> BuildTextBox(const RCPtr<BenchRootWindow>& window)
{
    static auto* factory = [] {
        SetRenderHost(new BenchHost());
        auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
        (*f)->LoadSkins(WString(TAVO_SOURCE_DIR "/FirmwareUpdater/Resources/Skins.xml"));
        (*f)->RegisterControlClass(u"Framework.TextBox", &LTextBox::Create);
        ControlEnvironment().factory = *f;
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        return f;
    }();
    RCPtr<LControlDescriptor> box = LControlDescriptor::Create(u"Framework.TextBox", u"text", nullptr);
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.sizeRef = layout->y.sizeRef = 2;
    layout->x.sizeAbs = 300, layout->y.sizeAbs = 20;
    box->SetLayout(layout);
    if (auto main = (*factory)->FindDescriptorByName(u"mainControl"))
        for (const auto& child : main->GetChildren())
            if (child->GetName() == u"labelDeviceFirmwareVersion")
                box->SetSkin(child->GetSkin());
    RCPtr<LTextBox> control = RCPtrDynamicCast<LTextBox>((*factory)->CreateControl(box, nullptr));
    control->SetRootWindow(window.Get());
    control->UpdateGeometry();
    control->SetText(WString(Sample().c_str()));
    return control;
}

void TypeIntoTextBox(benchmark::State& state, int32_t caret)
{
    RCPtr<BenchRootWindow> window(new BenchRootWindow(300, 20));
    RCPtr<LTextBox> box = BuildTextBox(window);
    box->SetCaretPosition(caret);
    const RCPtr<LKeyParam> typed = LKeyParam::Create(KeyCode(u'x'));
    const RCPtr<LKeyParam> back = LKeyParam::Create(KeyCode(kBackspace));
    for (auto _ : state) {
        box->OnKey(typed);
        box->OnKey(back);
    }
    state.SetItemsProcessed(state.iterations() * 2);
    state.counters["length"] = box->GetTextLength();
    box->Detach();
}

void BM_TextBoxTypeAtEnd(benchmark::State& state)
{
    TypeIntoTextBox(state, kLength);
}
BENCHMARK(BM_TextBoxTypeAtEnd);

void BM_TextBoxTypeInMiddle(benchmark::State& state)
{
    TypeIntoTextBox(state, kLength / 2);
}
BENCHMARK(BM_TextBoxTypeInMiddle);

// The baseline: the same two edits on a plain string.
void PlainEdits(benchmark::State& state, size_t at)
{
    std::u16string text = Sample();
    for (auto _ : state) {
        text.insert(at, 1, u'x');
        text.erase(at, 1);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_PlainStringInsertAtEnd(benchmark::State& state)
{
    PlainEdits(state, size_t(kLength));
}
BENCHMARK(BM_PlainStringInsertAtEnd);

void BM_PlainStringInsertInMiddle(benchmark::State& state)
{
    PlainEdits(state, size_t(kLength / 2));
}
BENCHMARK(BM_PlainStringInsertInMiddle);

}  // namespace

BENCHMARK_MAIN();
