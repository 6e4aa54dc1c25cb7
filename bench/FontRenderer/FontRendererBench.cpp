#include "Renderer/FontRenderer/FontFileInfo.h"
#include "Renderer/FontRenderer/FontRenderer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace Tavo;

namespace {

// need 0 answers from its own cache, as a drawing processor does for
// glyphs it has seen.
class CountingProcessor : public LGlyphProcessor
{
public:
    explicit CountingProcessor(uint16_t need) : mNeed(need) {}
    void BeginText(const RCPtr<LFont>&, uint32_t) override {}
    void EndText() override {}
    uint16_t QueryGlyph(SGlyphRecord& record) override
    {
        if (!mNeed) {
            record.glyphIndex = record.character;
            record.advanceX = 8 * 64;
        }
        return mNeed;
    }
    void AddGlyph(const SGlyphRecord& record) override { benchmark::DoNotOptimize(record.penX); }
    void GetBounds(float& l, float& t, float& r, float& b) override { l = t = r = b = 0; }

private:
    uint16_t mNeed;
};

const char* kDejaVu = "/usr/share/fonts/truetype/dejavu";

void WalkText(benchmark::State& state)
{
    setenv("TAVO_FONTS_DIR", kDejaVu, 1);
    RCPtr<LGlyphProcessor> processor(new CountingProcessor(uint16_t(state.range(0))));
    RCPtr<LFreetypeFontRenderer> renderer(new LFreetypeFontRenderer(processor, processor));
    RCPtr<LFont> font = LFont::FindOrCreate(WString(u"DejaVu Sans"), 10.0f, 0);
    const WString text(u"The quick brown fox jumps over the lazy dog, 0123456789 times!");
    for (auto _ : state)
        benchmark::DoNotOptimize(renderer->ProcessGlyphs(text, font, processor, 0, 0.0f, 15));
    state.SetItemsProcessed(int64_t(state.iterations()) * text.GetLength());
}
// 0 cached, 1 glyph and advance, 7 box and rendered bitmap.
BENCHMARK(WalkText)->Arg(0)->Arg(1)->Arg(7);

void ScanFolder(benchmark::State& state)
{
    setenv("TAVO_FONTS_DIR", kDejaVu, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(LFontFileInfo::ScanSystemFonts());
    state.counters["families"] = double(LFontFileInfo::GetCount());
    LFontFileInfo::Clear();
}
BENCHMARK(ScanFolder);

void FileIdLookup(benchmark::State& state)
{
    setenv("TAVO_FONTS_DIR", kDejaVu, 1);
    LFontFileInfo::ScanSystemFonts();
    const WString face(u"DejaVu Serif");
    for (auto _ : state)
        benchmark::DoNotOptimize(LFontFileInfo::GetFileID(face, 3));
    LFontFileInfo::Clear();
}
BENCHMARK(FileIdLookup);

}  // namespace

BENCHMARK_MAIN();
