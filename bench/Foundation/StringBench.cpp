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

// UTF-8 text of `bytes` bytes, a few two-, three- and four-byte characters
// among ASCII, as names and command lines hold them.
std::string MakeUtf8(int64_t bytes)
{
    static const char* const kPieces[] = {"abcdefgh", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB9", "/x y"};
    std::string text;
    for (size_t i = 0; int64_t(text.size()) < bytes; ++i)
        text += kPieces[i % std::size(kPieces)];
    text.resize(size_t(bytes));
    return text;
}

// Narrow to wide text, whatever it holds: decoded and checked byte by byte
// into the string's own buffer, at two sizes ten times apart: ten times the
// text should cost about ten times the time.
void BM_WStringFromUtf8(benchmark::State& state)
{
    const std::string text = MakeUtf8(state.range(0));
    for (auto _ : state) {
        WString wide(text.c_str());
        benchmark::DoNotOptimize(wide.c_str());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WStringFromUtf8)->Arg(400)->Arg(4000);

// The plain baseline: each byte widened as it stands, no decoding at all.
void BM_WidenBytes(benchmark::State& state)
{
    const std::string text = MakeUtf8(state.range(0));
    for (auto _ : state) {
        std::u16string wide(text.begin(), text.end());
        benchmark::DoNotOptimize(wide.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WidenBytes)->Arg(400)->Arg(4000);

}  // namespace

BENCHMARK_MAIN();
