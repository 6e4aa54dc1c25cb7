// Loading the product skin and string tables against expat alone parsing the
// same bytes with empty handlers. "Ratio" reports reader time / expat time.
#include "ControlBase/ControlFactory.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

namespace {

struct Documents
{
    std::string skins, app, framework;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const Documents& Docs()
{
    static const Documents* docs = [] {
        auto* d = new Documents;
        const std::string root = TAVO_SOURCE_DIR;
        d->skins = ReadFile(root + "/FirmwareUpdater/Resources/Skins.xml");
        d->app = ReadFile(root + "/FirmwareUpdater/Resources/StringTables.xml");
        d->framework = ReadFile(root + "/TavoFramework/Resources/FrameworkStrings.xml");
        Tavo::LControlFactory::SetResourceLookup([d](const Tavo::WString&, const Tavo::WString& name) {
            const std::string& s = name == u"APP_SKINS"     ? d->skins
                                   : name == u"APP_STRINGS" ? d->app
                                                            : d->framework;
            return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        });
        return d;
    }();
    return *docs;
}

void LoadWithReader()
{
    auto factory = Tavo::LControlFactory::Create(u"Bench");
    factory->LoadStringTables(u"::APP_STRINGS", u"::FRAMEWORK_STRINGS", 1033);
    factory->LoadSkins(u"::APP_SKINS");
    benchmark::DoNotOptimize(factory->FindDescriptorByName(u"mainControl"));
}

extern "C" void NoStart(void*, const XML_Char*, const XML_Char**) {}
extern "C" void NoEnd(void*, const XML_Char*) {}
extern "C" void NoText(void*, const XML_Char*, int) {}

void ParseWithExpat(const std::string& doc)
{
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetElementHandler(p, &NoStart, &NoEnd);
    XML_SetCharacterDataHandler(p, &NoText);
    benchmark::DoNotOptimize(XML_Parse(p, doc.data(), static_cast<int>(doc.size()), XML_TRUE));
    XML_ParserFree(p);
}

void LoadWithExpatOnly()
{
    const auto& d = Docs();
    ParseWithExpat(d.app);
    ParseWithExpat(d.framework);
    ParseWithExpat(d.skins);
}

void BM_ReaderLoadsProductResources(benchmark::State& state)
{
    Docs();
    for (auto _ : state)
        LoadWithReader();
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(Docs().skins.size() + Docs().app.size() + Docs().framework.size()));
}
BENCHMARK(BM_ReaderLoadsProductResources);

void BM_ExpatAloneParsesSameBytes(benchmark::State& state)
{
    Docs();
    for (auto _ : state)
        LoadWithExpatOnly();
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(Docs().skins.size() + Docs().app.size() + Docs().framework.size()));
}
BENCHMARK(BM_ExpatAloneParsesSameBytes);

// Both in one loop, alternating, so the ratio sees the same machine state.
void BM_ReaderToExpatRatio(benchmark::State& state)
{
    Docs();
    using Clock = std::chrono::steady_clock;
    Clock::duration reader{}, expat{};
    for (auto _ : state) {
        auto t0 = Clock::now();
        LoadWithReader();
        auto t1 = Clock::now();
        LoadWithExpatOnly();
        auto t2 = Clock::now();
        reader += t1 - t0;
        expat += t2 - t1;
    }
    state.counters["Ratio"] = double(reader.count()) / double(expat.count() ? expat.count() : 1);
}
BENCHMARK(BM_ReaderToExpatRatio);

}  // namespace

BENCHMARK_MAIN();
