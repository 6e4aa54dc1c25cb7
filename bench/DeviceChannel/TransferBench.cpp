// A 64 KiB image through the in-process fake driver at the real pace: the
// wall time against the floor of one pause per 128-byte chunk.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "DeviceChannel/DeviceInstance.h"
#include "DeviceChannel/FirmwareTransfer.h"
#include "Platform/Driver/FakeDriver.h"
#include "Platform/Registry/Registry.h"

namespace {

namespace Registry = Tavo::Platform::Registry;
namespace Driver = Tavo::Platform::Driver;

constexpr uint32_t kImageSize = 64 * 1024;
constexpr uint16_t kChunk = 128;
constexpr uint16_t kPauseMs = 20;

class BenchHost : public FirmwareTransferHost
{
public:
    explicit BenchHost(std::string path) : mPath(std::move(path)) {}
    bool IsAbortRequested() override { return false; }
    void SetUpdateState(int32_t state) override { updateState = state; }
    void SetDeviceState(int32_t) override {}
    void SetCannotUpdateReason(uint32_t) override {}
    Tavo::WString GetFirmwarePath() override { return Tavo::WString(Tavo::NString(mPath.c_str())); }
    void PostUpdateProgress(uint32_t, double, bool, int32_t, bool, const Tavo::WString&) override { ++posts; }
    void PostUpdateCompleted(bool) override {}
    uint16_t GetChunkSize() override { return kChunk; }
    uint16_t GetChunkPauseMs() override { return kPauseMs; }

    int32_t updateState = 0;
    uint32_t posts = 0;

private:
    std::string mPath;
};

void BM_TransferPacing(benchmark::State& state)
{
    auto registry = Registry::CreateMemoryRegistry();
    Registry::SetMachine(registry);
    const std::u16string devicePath = u"\\\\?\\usb#bench#transfer";
    auto driver = std::make_shared<Driver::FakeDriver>();
    Driver::RegisterFakeDevice(devicePath, driver);
    const uint8_t id[16] = {1};
    const std::u16string instance = InstanceKeyPath(kMixerDriverKey, kMixerVendorId, kMixerProductId, id);
    registry->CreateKey(instance + u"\\Attached");
    registry->SetValue(instance, u"LastPath", Registry::Value::String(devicePath));
    registry->SetValue(instance + u"\\Attached", u"", Registry::Value::Binary({1}));

    char templ[] = "/tmp/tavo-transfer-bench-XXXXXX";
    const std::string folder = mkdtemp(templ);
    const std::string path = folder + "/image.bin";
    std::vector<char> image(kImageSize, 0x55);
    std::ofstream(path, std::ios::binary).write(image.data(), long(image.size()));

    const uint32_t chunks = (kImageSize + kChunk - 1) / kChunk;
    const double floorMs = double(chunks) * kPauseMs;
    double wallMs = 0;
    for (auto _ : state) {
        BenchHost host(path);
        const auto start = std::chrono::steady_clock::now();
        const auto hr = PerformPrivateMidiUpdate(host);
        wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (hr != Tavo::S_OK || host.posts != chunks)
            state.SkipWithError("transfer failed");
    }
    state.counters["chunks"] = chunks;
    state.counters["floor_ms"] = floorMs;
    state.counters["wall_ms"] = wallMs;
    state.counters["ratio"] = wallMs / floorMs;

    Driver::UnregisterFakeDevice(devicePath);
    Registry::SetMachine(Registry::CreateMemoryRegistry());
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_TransferPacing)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
