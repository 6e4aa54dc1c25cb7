// The simulated mixer's MIDI ports, asked for its identity as the engine
// does, through the program's MIDI port layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "Platform/Midi/Midi.h"
#include "SimProcess.h"

namespace {

using namespace Tavo::Platform::Midi;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr char16_t kPortName[] = u"Tessaro DJ K620 ZENTA";

struct Capture
{
    std::mutex lock;
    std::condition_variable changed;
    std::optional<Bytes> reply;
};

void OnInput(HMIDIIN, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t)
{
    if (message != MIM_LONGDATA)
        return;
    auto* capture = reinterpret_cast<Capture*>(instance);
    auto* header = reinterpret_cast<MIDIHDR*>(param1);
    std::lock_guard lock(capture->lock);
    if (header->dwBytesRecorded && !capture->reply)
        capture->reply = Bytes(header->lpData, header->lpData + header->dwBytesRecorded);
    capture->changed.notify_all();
}

template <typename Caps, typename GetCaps>
std::optional<uint32_t> FindPort(uint32_t count, GetCaps getCaps)
{
    for (uint32_t i = 0; i < count; ++i) {
        Caps caps;
        if (getCaps(i, &caps) == MMSYSERR_NOERROR && std::u16string(caps.szPname) == kPortName)
            return i;
    }
    return std::nullopt;
}

struct Answer
{
    bool portsFound = false;
    std::optional<Bytes> reply;
    Clock::duration after{};
};

// Sends the identity request and waits up to `waitMs` for a System Exclusive
// answer on the device's input port.
Answer AskIdentity(int waitMs)
{
    Answer answer;
    auto in = FindPort<MIDIINCAPS>(MidiInGetNumDevs(), [](uint32_t i, MIDIINCAPS* c) { return MidiInGetDevCaps(i, c); });
    auto out = FindPort<MIDIOUTCAPS>(MidiOutGetNumDevs(), [](uint32_t i, MIDIOUTCAPS* c) { return MidiOutGetDevCaps(i, c); });
    if (!in || !out)
        return answer;
    answer.portsFound = true;

    Capture capture;
    HMIDIIN inPort = nullptr;
    HMIDIOUT outPort = nullptr;
    EXPECT_EQ(MidiInOpen(&inPort, *in, OnInput, reinterpret_cast<uintptr_t>(&capture), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiOutOpen(&outPort, *out, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    if (!inPort || !outPort)
        return answer;
    uint8_t buffer[256];
    MIDIHDR inHeader;
    inHeader.lpData = buffer;
    inHeader.dwBufferLength = sizeof buffer;
    MidiInPrepareHeader(inPort, &inHeader);
    MidiInAddBuffer(inPort, &inHeader);
    MidiInStart(inPort);

    uint8_t request[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    MIDIHDR outHeader;
    outHeader.lpData = request;
    outHeader.dwBufferLength = sizeof request;
    MidiOutPrepareHeader(outPort, &outHeader);
    const auto sent = Clock::now();
    EXPECT_EQ(MidiOutLongMsg(outPort, &outHeader), MMSYSERR_NOERROR);
    {
        std::unique_lock lock(capture.lock);
        capture.changed.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return capture.reply.has_value(); });
        answer.after = Clock::now() - sent;
    }
    MidiInReset(inPort);
    MidiInUnprepareHeader(inPort, &inHeader);
    MidiInClose(inPort);
    MidiOutReset(outPort);
    MidiOutUnprepareHeader(outPort, &outHeader);
    MidiOutClose(outPort);
    MidiWaitCallbacks();
    std::lock_guard lock(capture.lock);
    answer.reply = capture.reply;
    return answer;
}

class MidiIdentityTest : public ::testing::Test
{
protected:
    bool Start(const std::vector<std::string>& args)
    {
        setenv("TAVO_PLATFORM_ROOT", sim.Root().c_str(), 1);
        return sim.Start(args);
    }
    SimProcess sim;
};

TEST_F(MidiIdentityTest, NormalModeAnswersWithItsVersionUpdateModeStaysSilent)
{
    ASSERT_TRUE(Start({"--mode", "normal", "--version", "0.0.3.7"}));
    Answer answer = AskIdentity(10000);
    ASSERT_TRUE(answer.reply);
    const Bytes& r = *answer.reply;
    ASSERT_EQ(r.size(), 37u);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 5), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x02}));
    EXPECT_EQ(Bytes(r.begin() + 11, r.begin() + 15), (Bytes{0, 0, 3, 7}));
    EXPECT_EQ(r.back(), 0xF7);
    for (uint8_t b : Bytes(r.begin() + 1, r.end() - 1))
        EXPECT_LT(b, 0x80);

    ASSERT_EQ(sim.Command("update-mode"), "ok");
    answer = AskIdentity(300);
    EXPECT_TRUE(answer.portsFound);
    EXPECT_FALSE(answer.reply);

    ASSERT_EQ(sim.Command("detach"), "ok");
    EXPECT_FALSE(AskIdentity(0).portsFound);

    const auto log = sim.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "midi-in F0 7E 7F 06 01 F7"), 2);
    EXPECT_EQ(sim.Quit(), 0);
}

TEST_F(MidiIdentityTest, RepliesCanComeLateOrWithTheWrongLength)
{
    ASSERT_TRUE(Start({"--reply-delay-ms", "400", "--reply-length", "38", "--version", "0.0.2.8"}));
    const Answer answer = AskIdentity(10000);
    ASSERT_TRUE(answer.reply);
    EXPECT_GE(answer.after, std::chrono::milliseconds(400));
    ASSERT_EQ(answer.reply->size(), 38u);
    EXPECT_EQ(Bytes(answer.reply->begin() + 11, answer.reply->begin() + 15), (Bytes{0, 0, 2, 8}));
    EXPECT_EQ(answer.reply->back(), 0xF7);
    EXPECT_EQ(sim.Quit(), 0);
}

} // namespace
