// Joining a command line and splitting it back, against a plain join on
// spaces and split at them, at two sizes ten times apart (the larger about
// the 64 KiB a second copy may hand over).
#include <benchmark/benchmark.h>

#include "Application/CommandLineArguments.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> MakeArguments(int64_t count)
{
    std::vector<std::string> arguments = {"/opt/updater/FirmwareUpdater"};
    for (int64_t i = 1; i < count; ++i)
        arguments.push_back("-ABSOLUTE_FIRMWARE_FILE_PATH=/d/fw\" v" + std::to_string(i) + "\\\\\".syx");
    return arguments;
}

void BM_JoinAndSplitCommandLine(benchmark::State& state)
{
    const std::vector<std::string> arguments = MakeArguments(state.range(0));
    for (auto _ : state) {
        const std::string line = Tavo::JoinCommandLine(arguments);
        benchmark::DoNotOptimize(Tavo::SplitCommandLine(line).size());
    }
}
BENCHMARK(BM_JoinAndSplitCommandLine)->Arg(140)->Arg(1400);

// The plain baseline: spaces between, split at every space.
void BM_JoinAndSplitAtSpaces(benchmark::State& state)
{
    const std::vector<std::string> arguments = MakeArguments(state.range(0));
    for (auto _ : state) {
        std::string line;
        for (const std::string& a : arguments)
            line.append(a).push_back(' ');
        std::vector<std::string> parts;
        for (size_t at = 0, space; (space = line.find(' ', at)) != std::string::npos; at = space + 1)
            parts.emplace_back(line, at, space - at);
        benchmark::DoNotOptimize(parts.size());
    }
}
BENCHMARK(BM_JoinAndSplitAtSpaces)->Arg(140)->Arg(1400);

}  // namespace
BENCHMARK_MAIN();
