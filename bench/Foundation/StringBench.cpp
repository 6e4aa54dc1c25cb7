#include "Utilities/Storage/StringT.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using Tavo::WString;

std::u16string MakeText(int64_t length)
{
    std::u16string text;
    for (int64_t i = 0; i < length; ++i)
        text += char16_t(u'a' + i % 26);
    return text;
}

// Copies share the buffer, so the cost should not depend on the length.
void BM_CopyWString(benchmark::State& state)
{
    WString source(MakeText(state.range(0)).c_str());
    for (auto _ : state) {
        WString copy(source);
        benchmark::DoNotOptimize(copy.c_str());
    }
}
BENCHMARK(BM_CopyWString)->Arg(8)->Arg(1024);

void BM_CopyU16String(benchmark::State& state)
{
    std::u16string source = MakeText(state.range(0));
    for (auto _ : state) {
        std::u16string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyU16String)->Arg(8)->Arg(1024);

// Appending grows the buffer to the exact size every time.
void BM_AppendWString(benchmark::State& state)
{
    WString piece(u"abcdefgh");
    for (auto _ : state) {
        WString text;
        for (int64_t i = 0; i < state.range(0); ++i)
            text += piece;
        benchmark::DoNotOptimize(text.c_str());
    }
}
BENCHMARK(BM_AppendWString)->Arg(16)->Arg(256);

void BM_AppendU16String(benchmark::State& state)
{
    std::u16string piece(u"abcdefgh");
    for (auto _ : state) {
        std::u16string text;
        for (int64_t i = 0; i < state.range(0); ++i)
            text += piece;
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_AppendU16String)->Arg(16)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
