// The MIDI engine on the in-process bus: the chunk sender's pace against its
// floor of one pause per chunk, the cost of one identity probe, and the cost
// of a progress post with its delivery.
#include <benchmark/benchmark.h>

#include <chrono>

#include "Engine/UpdateEngine.h"
#include "Notification/NotificationCenter.h"
#include "Platform/Midi/MidiBus.h"

namespace {

using Tavo::Platform::Midi::MidiBus;

constexpr char16_t kMixer[] = u"Tessaro DJ K620 ZENTA";

class BenchEngine : public LUpdateEngine
{
public:
    static Tavo::RCPtr<BenchEngine> Create()
    {
        Tavo::RCPtr<BenchEngine> engine(new BenchEngine());
        engine->Initialize(Tavo::WString());
        return engine;
    }
};

void BM_ChunkSenderPacing(benchmark::State& state)
{
    auto bus = MidiBus::Install();
    bus->PlugOutput(kMixer);
    auto engine = BenchEngine::Create();
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    Tavo::Array<uint8_t> image;
    image.SetCount(size);
    // The pace the engine starts from.
    const uint32_t chunks = (size + LUpdateEngine::kChunkSize - 1) / LUpdateEngine::kChunkSize;
    const double floorMs = chunks * double(LUpdateEngine::kChunkPauseMs);
    double wallMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (engine->SendImageInChunks(image, Tavo::WString(), kMixer) != S_OK)
            state.SkipWithError("send failed");
        wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        Tavo::GetMainNotificationCenter()->Process(false);
    }
    state.counters["chunks"] = chunks;
    state.counters["floor_ms"] = floorMs;
    state.counters["wall_ms"] = wallMs;
    state.counters["ratio"] = wallMs / floorMs;
    engine = nullptr;
    Tavo::Platform::Midi::SetMidiBackend(nullptr);
}
BENCHMARK(BM_ChunkSenderPacing)->Arg(16 * 1024)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One answered probe: a fresh MIDI service, the port check, the request and
// the reply through the service's thread.
void BM_IdentityProbe(benchmark::State& state)
{
    auto bus = MidiBus::Install();
    const auto in = bus->PlugInput(kMixer);
    const auto out = bus->PlugOutput(kMixer);
    std::vector<uint8_t> reply(37, 0);
    reply[0] = 0xF0;
    reply[1] = 0x7E;
    reply[3] = 0x06;
    reply[4] = 0x02;
    reply[13] = 3;
    reply[14] = 7;
    reply[36] = 0xF7;
    bus->Respond(out, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, in, reply);
    auto engine = BenchEngine::Create();
    LUpdateEngine::DeviceDefinitionEx device;
    for (int i = 0; i < 4; ++i)
        device.mNames[i] = kMixer;
    for (auto _ : state) {
        if (engine->DetectDevice(device) != S_OK || device.mInUpdateMode)
            state.SkipWithError("no reply");
    }
    engine = nullptr;
    Tavo::GetMainNotificationCenter()->Process(false);
    Tavo::Platform::Midi::SetMidiBackend(nullptr);
}
BENCHMARK(BM_IdentityProbe)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A progress post as the senders make one per chunk, delivered in batches as
// the idle turn would.
void BM_ProgressPost(benchmark::State& state)
{
    auto engine = BenchEngine::Create();
    auto center = Tavo::GetMainNotificationCenter();
    int64_t posts = 0;
    for (auto _ : state) {
        engine->PostUpdateProgress(0, 0.5, true, -1, false, Tavo::WString());
        if (++posts % 128 == 0)
            center->Process(false);
    }
    center->Process(false);
    state.SetItemsProcessed(posts);
}
BENCHMARK(BM_ProgressPost);

}  // namespace

BENCHMARK_MAIN();
