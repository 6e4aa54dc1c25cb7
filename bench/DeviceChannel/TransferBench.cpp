// An image through the in-process fake driver at the real pace, against what
// that pace promises: each chunk's send plus the whole pause after it.
// The send time comes from the same transfer without a pause, in the same
// run; a driver that takes a while over each send shows that the pause is not
// shortened by it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "DeviceChannel/DeviceInstance.h"
#include "DeviceChannel/FirmwareTransfer.h"
#include "Engine/UpdateEngine.h"
#include "Platform/Driver/FakeDriver.h"
#include "Platform/Registry/Registry.h"

namespace {

namespace Registry = Tavo::Platform::Registry;
namespace Driver = Tavo::Platform::Driver;

// The program's pace.
constexpr uint16_t kChunk = LUpdateEngine::kChunkSize;
constexpr uint16_t kPauseMs = LUpdateEngine::kChunkPauseMs;

class BenchHost : public FirmwareTransferHost
{
public:
    BenchHost(std::string path, uint16_t pauseMs) : mPath(std::move(path)), mPauseMs(pauseMs) {}
    bool IsAbortRequested() override { return false; }
    void SetUpdateState(int32_t) override {}
    void SetDeviceState(int32_t) override {}
    void SetCannotUpdateReason(uint32_t) override {}
    Tavo::WString GetFirmwarePath() override { return Tavo::WString(Tavo::NString(mPath.c_str())); }
    void PostUpdateProgress(uint32_t, double, bool, int32_t, bool, const Tavo::WString&) override { ++posts; }
    void PostUpdateCompleted(bool) override {}
    uint16_t GetChunkSize() override { return kChunk; }
    uint16_t GetChunkPauseMs() override { return mPauseMs; }

    uint32_t posts = 0;

private:
    std::string mPath;
    uint16_t mPauseMs;
};

// The fake driver, answering each send only after `sendMs`.
class SlowDriver final : public Driver::DriverHandler
{
public:
    explicit SlowDriver(uint32_t sendMs) : mSendMs(sendMs) {}
    void OnOpen(const std::shared_ptr<Driver::DriverSession>& session) override { mInner.OnOpen(session); }
    Driver::Reply OnRequest(Driver::DriverSession& session, const Driver::Request& request) override
    {
        if (request.header.set == Driver::kMidiChannelSet && request.header.id == Driver::kMidiSend)
            std::this_thread::sleep_for(std::chrono::milliseconds(mSendMs));
        return mInner.OnRequest(session, request);
    }
    void OnClose(Driver::DriverSession& session) override { mInner.OnClose(session); }

private:
    Driver::FakeDriver mInner;
    uint32_t mSendMs;
};

// Milliseconds of one whole transfer; negative when it failed.
double TimeTransfer(const std::string& path, uint16_t pauseMs, uint32_t chunks)
{
    BenchHost host(path, pauseMs);
    const auto start = std::chrono::steady_clock::now();
    const auto hr = PerformPrivateMidiUpdate(host);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return hr == Tavo::S_OK && host.posts == chunks ? ms : -1;
}

// Arguments: image size in KiB, milliseconds the driver takes per send.
void BM_TransferPacing(benchmark::State& state)
{
    const uint32_t imageSize = uint32_t(state.range(0)) * 1024;
    auto registry = Registry::CreateMemoryRegistry();
    Registry::SetMachine(registry);
    const std::u16string devicePath = u"\\\\?\\usb#bench#transfer";
    auto driver = std::make_shared<SlowDriver>(uint32_t(state.range(1)));
    Driver::RegisterFakeDevice(devicePath, driver);
    const uint8_t id[16] = {1};
    const std::u16string instance = InstanceKeyPath(kMixerDriverKey, kMixerVendorId, kMixerProductId, id);
    registry->CreateKey(instance + u"\\Attached");
    registry->SetValue(instance, u"LastPath", Registry::Value::String(devicePath));
    registry->SetValue(instance + u"\\Attached", u"", Registry::Value::Binary({1}));

    char templ[] = "/tmp/tavo-transfer-bench-XXXXXX";
    const std::string folder = mkdtemp(templ);
    const std::string path = folder + "/image.bin";
    std::vector<char> image(imageSize, 0x55);
    std::ofstream(path, std::ios::binary).write(image.data(), long(image.size()));

    const uint32_t chunks = (imageSize + kChunk - 1) / kChunk;
    double sendsMs = 0;
    double wallMs = 0;
    for (auto _ : state) {
        sendsMs = TimeTransfer(path, 0, chunks);
        wallMs = TimeTransfer(path, kPauseMs, chunks);
        if (sendsMs < 0 || wallMs < 0)
            state.SkipWithError("transfer failed");
    }
    const double expectedMs = sendsMs + double(chunks) * kPauseMs;
    state.counters["chunks"] = chunks;
    state.counters["unpaced_ms"] = sendsMs;
    state.counters["expected_ms"] = expectedMs;
    state.counters["wall_ms"] = wallMs;
    state.counters["ratio"] = wallMs / expectedMs;

    Driver::UnregisterFakeDevice(devicePath);
    Registry::SetMachine(Registry::CreateMemoryRegistry());
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_TransferPacing)
    ->ArgNames({"KiB", "send_ms"})
    ->Args({4, 0})
    ->Args({40, 0})
    ->Args({4, 5})
    ->Args({40, 5})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
