// The pause after each chunk or message, read from the simulator's log: from
// the moment a message was handed over to the arrival of the next one. On the
// driver's channel a message is handed over when the driver accepts it (its
// log line comes just before the answer); on a MIDI port when the device has
// taken it (the sender waits for that).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "DeviceChannel/FirmwareTransfer.h"
#include "Engine/UpdateEngine.h"
#include "Platform/Registry/Registry.h"
#include "FileHost.h"
#include "Pace.h"

namespace {

using Engine = LUpdateEngineInterface;
namespace Registry = Tavo::Platform::Registry;

constexpr char16_t kPortName[] = u"Tessaro DJ K620 ZENTA";
constexpr uint32_t kMessages = 12;

struct PaceCase
{
    const char* name;
    uint32_t takeDelayMs;
    uint16_t pauseMs;
};

void PrintTo(const PaceCase& c, std::ostream* os)
{
    *os << c.name;
}

// Milliseconds from each hand-over to the next arrival. `handedOver` marks the
// lines of a hand-over, `arrives` those of an arrival.
template <typename HandedOver, typename Arrives>
std::vector<double> Gaps(const std::vector<SimProcess::LogLine>& log, HandedOver handedOver, Arrives arrives)
{
    std::vector<double> gaps;
    double last = -1;
    for (const auto& line : log) {
        if (arrives(line.text) && last >= 0) {
            gaps.push_back(line.ms - last);
            last = -1;
        }
        if (handedOver(line.text))
            last = line.ms;
    }
    return gaps;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

class PacingTest : public ::testing::TestWithParam<PaceCase>
{
protected:
    void SetUp() override { setenv("TAVO_PLATFORM_ROOT", sim.Root().c_str(), 1); }
    void TearDown() override { Registry::SetMachine(Registry::CreateMemoryRegistry()); }

    // Every gap holds the whole pause, or, without one, the messages follow
    // one another at once.
    void ExpectPaced(const std::vector<double>& gaps, const char* sender)
    {
        ASSERT_EQ(gaps.size(), kMessages - 1) << sender;
        if (GetParam().pauseMs != 0) {
            for (size_t i = 0; i < gaps.size(); ++i)
                EXPECT_GE(gaps[i], GetParam().pauseMs) << sender << ": after message " << i + 1;
            return;
        }
        std::vector<double> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_LT(sorted[sorted.size() / 2], 10.0) << sender << ": median gap without a pause";
    }

    SimProcess sim;
};

TEST_P(PacingTest, EveryHandOverIsFollowedByTheWholePause)
{
    const PaceCase& c = GetParam();
    ASSERT_TRUE(sim.Start(
        {"--mode", "update", "--install-ms", "0", "--take-delay-ms", std::to_string(c.takeDelayMs)}));

    // The MIDI-port senders: raw chunks, then one System Exclusive message each.
    Tavo::RCPtr<Engine> created = Engine::Create();
    Tavo::RCPtr<LUpdateEngine> engine = Tavo::RCPtrDynamicCast<LUpdateEngine>(created);
    ASSERT_TRUE(engine);
    ASSERT_EQ(engine->Initialize(Tavo::WString()), Tavo::S_OK);
    engine->SetChunkDelay(c.pauseMs);
    const Tavo::WString port(kPortName);
    Tavo::Array<uint8_t> chunks;
    chunks.SetCount(kChunkSize * kMessages);
    std::fill(chunks.begin(), chunks.end(), uint8_t(0x11));
    ASSERT_EQ(engine->SendImageInChunks(chunks, port, port), Tavo::S_OK);
    const size_t afterChunks = sim.TimedLogLines().size();
    Tavo::Array<uint8_t> syx;
    for (uint32_t m = 0; m < kMessages; ++m) {
        syx.Add(0xF0);
        // No carriage return, which would end a message too.
        for (uint8_t b = 0x20; b < 0x34; ++b)
            syx.Add(b);
        syx.Add(0xF7);
    }
    ASSERT_EQ(engine->SendSysExImage(syx, port, port), Tavo::S_OK);
    engine = nullptr;
    created = nullptr;

    // The driver's channel, as the program sends an image.
    Registry::SetMachine(Registry::CreateDirectoryRegistry(sim.Root() + "/registry"));
    FileHost host;
    host.pauseMs = c.pauseMs;
    host.path = sim.Root() + "/image.bin";
    std::ofstream(host.path, std::ios::binary) << std::string(kChunkSize * kMessages, '\x5A');
    ASSERT_EQ(PerformPrivateMidiUpdate(host), Tavo::S_OK);
    EXPECT_EQ(sim.Received().size(), size_t(kChunkSize * kMessages));
    EXPECT_EQ(sim.Quit(), 0);

    const auto log = sim.TimedLogLines();
    const std::vector<SimProcess::LogLine> midiChunks(log.begin(), log.begin() + long(afterChunks));
    const std::vector<SimProcess::LogLine> rest(log.begin() + long(afterChunks), log.end());
    const auto taken = [](const std::string& t) { return t == "midi-taken"; };
    const auto midiIn = [](const std::string& t) { return StartsWith(t, "midi-in "); };
    const auto send = [](const std::string& t) { return t == "driver " + ChunkRequest(); };
    ExpectPaced(Gaps(midiChunks, taken, midiIn), "MIDI-port chunks");
    ExpectPaced(Gaps(rest, taken, midiIn), "MIDI-port messages");
    ExpectPaced(Gaps(rest, send, send), "driver channel");
}

INSTANTIATE_TEST_SUITE_P(Devices, PacingTest,
                         ::testing::Values(PaceCase{"Quick", 0, kChunkPauseMs},
                                           // Takes most of a pause per message.
                                           PaceCase{"Slow", kChunkPauseMs * 3 / 4, kChunkPauseMs},
                                           PaceCase{"SlowWithoutPause", kChunkPauseMs * 3 / 4, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
