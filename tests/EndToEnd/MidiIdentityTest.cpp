// The engine's own probe and the MIDI layer's long send against the simulated
// mixer's ports. The engine's waits run on a clock twice as fast as the
// simulator's, so its 2000 ms reply wait takes 1000 ms here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Engine/UpdateEngine.h"
#include "Midi/MidiComm.h"
#include "SimProcess.h"

namespace {

using Engine = LUpdateEngineInterface;

constexpr char16_t kPortName[] = u"Tessaro DJ K620 ZENTA";
constexpr char kIdentityRequest[] = "midi-in F0 7E 7F 06 01 F7";

struct ProbeCase
{
    const char* name;
    std::vector<std::string> simArgs;
    int32_t state;
    const char16_t* text;
};

void PrintTo(const ProbeCase& c, std::ostream* os)
{
    *os << c.name;
}

class EngineProbe : public ::testing::TestWithParam<ProbeCase>
{
protected:
    void SetUp() override { setenv("TAVO_PLATFORM_ROOT", sim.Root().c_str(), 1); }

    SimProcess sim;
};

TEST_P(EngineProbe, FindsTheMixerByItsReplyWithinTheWait)
{
    const ProbeCase& c = GetParam();
    ASSERT_TRUE(sim.Start(c.simArgs));
    Tavo::RCPtr<Engine> engine = Engine::Create();
    ASSERT_EQ(engine->Initialize(Tavo::WString()), Tavo::S_OK);
    Tavo::RCPtrDynamicCast<LUpdateEngine>(engine)->SetReplyWait(
        [](Tavo::TrafficLight& gate, uint32_t timeoutMs) { return gate.Wait(timeoutMs / 2); });
    Engine::DeviceDefinition mixer;
    for (auto& name : mixer.mNames)
        name = kPortName;
    Tavo::Array<Engine::DeviceDefinition> devices;
    devices.Add(mixer);
    engine->SetSupportedDevices(devices);
    engine->ScanForDevices();

    EXPECT_EQ(engine->GetDeviceState(), c.state);
    Tavo::WString text;
    engine->GetDeviceFirmwareVersionText(text);
    EXPECT_TRUE(text == c.text) << Tavo::NString(text).c_str();
    // One request per probe, none without ports.
    const auto log = sim.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), kIdentityRequest),
              c.state == Engine::kDeviceNoneFound ? 0 : 1);
    engine = nullptr;
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EngineProbe,
    ::testing::Values(
        ProbeCase{"AtOnce", {"--version", "0.0.3.7"}, Engine::kDeviceNormalMode, u"1.2"},
        // 500 ms stand for 1000: still an answer.
        ProbeCase{
            "Late", {"--version", "0.0.2.8", "--reply-delay-ms", "500"}, Engine::kDeviceNormalMode, u"1.1"},
        // 1500 ms stand for 3000: no answer, so the device reads as in update mode.
        ProbeCase{"TooLate", {"--reply-delay-ms", "1500"}, Engine::kDeviceInUpdateMode, u"Unknown"},
        ProbeCase{"WrongLength", {"--reply-length", "38"}, Engine::kDeviceInUpdateMode, u"Unknown"},
        ProbeCase{"NoReply", {"--mode", "update"}, Engine::kDeviceInUpdateMode, u"Unknown"},
        ProbeCase{"Absent", {"--mode", "absent"}, Engine::kDeviceNoneFound, u"N/A"}),
    [](const auto& info) { return std::string(info.param.name); });

// How long the device takes over a long message, on the send wait's clock.
uint32_t gDeviceTakesMs = 0;

uint32_t DeviceClockWait(Tavo::TrafficLight& done, uint32_t timeoutMs)
{
    if (gDeviceTakesMs >= timeoutMs)
        return Tavo::WAIT_TIMEOUT;
    return done.Wait(SimProcess::kDeadlineMs);
}

TEST(LongSend, WaitsTenSecondsForTheDevice)
{
    SimProcess sim;
    setenv("TAVO_PLATFORM_ROOT", sim.Root().c_str(), 1);
    ASSERT_TRUE(sim.Start({"--mode", "update"}));
    Tavo::RCPtr<Tavo::LMidiCommInterface> midi = Tavo::LMidiComm::Create();
    Tavo::RCPtr<Tavo::LRefCountedObject> port;
    ASSERT_EQ(midi->OpenRenderPort(Tavo::WString(kPortName), port), Tavo::S_OK);
    std::vector<uint8_t> message(300, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    Tavo::LMidiComm::SetSendWait(DeviceClockWait);
    for (const auto& [takesMs, result] : {std::pair{9000u, Tavo::TavoResult(300)}, {11000u, Tavo::E_FAIL}}) {
        gDeviceTakesMs = takesMs;
        EXPECT_EQ(midi->Send(port, message), result) << takesMs;
    }
    Tavo::LMidiComm::SetSendWait(nullptr);
    port = nullptr;
    midi = nullptr;
    EXPECT_EQ(sim.Quit(), 0);
}

}  // namespace
