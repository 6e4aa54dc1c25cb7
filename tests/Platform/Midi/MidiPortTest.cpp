// The same cases on the in-process bus and on the socket backend.

#include "MidiRig.h"

#include <gmock/gmock.h>

#include <atomic>

namespace MidiTest {
namespace {

using ::testing::ElementsAre;

// "data 7f3c90" for a short message, "error 33" for a stray byte, "long N" / "longerror N" for a buffer
// returned with N bytes and "done" for a finished send, each marked "?" unless done and out of the queue.
std::vector<std::string> Summaries(const std::vector<Event>& events)
{
    std::vector<std::string> out;
    for (const Event& e : events) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "%zx", size_t(e.param1));
        const std::string size = std::to_string(e.data.size());
        const char* mark = (e.flags & (MHDR_DONE | MHDR_INQUEUE)) == MHDR_DONE ? "" : "?";
        out.push_back(e.message == MIM_DATA        ? "data " + std::string(hex)
                      : e.message == MIM_ERROR     ? "error " + std::string(hex)
                      : e.message == MIM_LONGDATA  ? "long " + size + mark
                      : e.message == MIM_LONGERROR ? "longerror " + size + mark
                      : e.message == MOM_DONE      ? std::string("done") + mark
                                                   : "other");
    }
    return out;
}

// An output port reporting to `events`.
HMIDIOUT OpenOutput(Recorder& events)
{
    HMIDIOUT out = nullptr;
    EXPECT_EQ(
        MidiOutOpen(&out, 0, &Recorder::OutProc, reinterpret_cast<uintptr_t>(&events), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    return out;
}

class MidiPorts : public ::testing::TestWithParam<std::string>
{
protected:
    std::unique_ptr<Rig> rig = MakeRig(GetParam());
};

TEST_P(MidiPorts, ShortMessagesArriveAfterStartWithTimesAndRunningStatus)
{
    auto dev = rig->Plug("In", "");
    InputPort port(0);
    ASSERT_EQ(port.Result(), MMSYSERR_NOERROR);
    if (rig->Synchronous()) {
        rig->Inject(dev, {0x90, 0x3C, 0x7F});
        EXPECT_TRUE(port.Events().Traffic().empty()) << "input before start";
    }
    uint32_t before = TimeGetTime();
    ASSERT_EQ(MidiInStart(port.Handle()), MMSYSERR_NOERROR);
    // Running status, a clock byte inside a message, system common and a stray data byte, split across
    // injections.
    rig->Inject(dev, {0x90, 0x3C, 0x7F, 0x3E});
    rig->Inject(dev, {0xF8, 0x7F, 0xC0, 0x05, 0xD0, 0x40, 0xF2, 0x01, 0x02, 0xF6});
    rig->Inject(dev, {0xB0, 0x07, 0x64, 0x0A, 0x40, 0xF1, 0x10, 0x33});
    auto events = port.Events().WaitTraffic(11);
    uint32_t elapsed = TimeGetTime() - before;
    EXPECT_THAT(Summaries(events),
                ElementsAre("data 7f3c90", "data f8", "data 7f3e90", "data 5c0", "data 40d0", "data 201f2",
                            "data f6", "data 6407b0", "data 400ab0", "data 10f1", "error 33"));
    for (size_t i = 0; i < events.size(); ++i)
        EXPECT_TRUE(events[i].param2 <= elapsed && (i == 0 || events[i].param2 >= events[i - 1].param2)) << i;
    if (rig->Synchronous()) {
        ASSERT_EQ(MidiInStop(port.Handle()), MMSYSERR_NOERROR);
        rig->Inject(dev, {0x80, 0x3C, 0x00});
        EXPECT_EQ(port.Events().Traffic().size(), 11u) << "input after stop";
    }
}

TEST_P(MidiPorts, SystemExclusiveFillsBuffersAndReturnsAtF7)
{
    auto dev = rig->Plug("In", "");
    InputPort port(0, 3, 256);
    ASSERT_EQ(MidiInStart(port.Handle()), MMSYSERR_NOERROR);
    // 600 bytes in uneven pieces, with a clock byte in the middle: two full buffers and one of 88 bytes.
    Bytes sysex(600);
    for (size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<uint8_t>(i % 0x80);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    rig->Inject(dev, Bytes(sysex.begin(), sysex.begin() + 100));
    rig->Inject(dev, {0xF8});
    rig->Inject(dev, Bytes(sysex.begin() + 100, sysex.begin() + 599));
    rig->Inject(dev, {0xF7});
    // Three buffers are all in use; the program queues them again.
    ASSERT_EQ(port.Events().WaitTraffic(4).size(), 4u);
    // Exactly one full buffer ending in F7, then one cut short by a status.
    Bytes full(256, 0x11);
    full.front() = 0xF0;
    full.back() = 0xF7;
    rig->Inject(dev, full);
    rig->Inject(dev, {0xF0, 0x01, 0x02, 0x90, 0x3C, 0x7F});

    auto events = port.Events().WaitTraffic(7);
    EXPECT_THAT(Summaries(events), ElementsAre("data f8", "long 256", "long 256", "long 88", "long 256",
                                               "longerror 3", "data 7f3c90"));
    ASSERT_EQ(events.size(), 7u);
    Bytes joined;
    for (int i = 1; i <= 3; ++i)
        joined.insert(joined.end(), events[i].data.begin(), events[i].data.end());
    EXPECT_EQ(joined, sysex);
    EXPECT_EQ(events[4].data, full);
    EXPECT_EQ(events[5].data, (Bytes{0xF0, 0x01, 0x02}));
}

TEST_P(MidiPorts, StopAndResetReturnBuffersWithWhatTheyHold)
{
    auto dev = rig->Plug("In", "");
    InputPort port(0, 3, 64);
    ASSERT_EQ(MidiInStart(port.Handle()), MMSYSERR_NOERROR);
    // The partial message is only known to have arrived once a later one has.
    rig->Inject(dev, {0xF0, 0x7E, 0x7F, 0x06});
    rig->Inject(dev, {0xFE});
    ASSERT_EQ(port.Events().WaitTraffic(1).size(), 1u);
    // Stop gives back only the buffer being filled.
    ASSERT_EQ(MidiInStop(port.Handle()), MMSYSERR_NOERROR);
    auto events = port.Events().WaitTraffic(2);
    EXPECT_THAT(Summaries(events), ElementsAre("data fe", "long 4"));
    EXPECT_EQ(events.at(1).data, (Bytes{0xF0, 0x7E, 0x7F, 0x06}));

    // Restarted, a new message begins in a fresh buffer; reset returns all three (the one given back was
    // queued again by the callback).
    ASSERT_EQ(MidiInStart(port.Handle()), MMSYSERR_NOERROR);
    rig->Inject(dev, {0xF0, 0x01});
    rig->Inject(dev, {0xFE});
    ASSERT_EQ(port.Events().WaitTraffic(3).size(), 3u);
    port.Events().closing = true;
    ASSERT_EQ(MidiInReset(port.Handle()), MMSYSERR_NOERROR);
    events = port.Events().WaitTraffic(6);
    EXPECT_THAT(Summaries(events), ElementsAre("data fe", "long 4", "data fe", "long 2", "long 0", "long 0"));
    EXPECT_EQ(events.at(3).data, (Bytes{0xF0, 0x01}));
}

TEST_P(MidiPorts, SendsAreRecordedAndLongSendsFinishWhenTaken)
{
    auto dev = rig->Plug("In", "Out");
    Recorder outEvents;
    HMIDIOUT out = OpenOutput(outEvents);
    EXPECT_EQ(MidiOutShortMsg(out, 0x7F3C90), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiOutShortMsg(out, 0xFF05C0), MMSYSERR_NOERROR);  // extra byte not sent
    EXPECT_EQ(MidiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiOutShortMsg(out, 0x7F3C), MMSYSERR_INVALPARAM);
    EXPECT_EQ(MidiOutShortMsg(out, 0xF0), MMSYSERR_INVALPARAM);

    Bytes request{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
        reply{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x01, 0x02, 0xF7};
    rig->Respond(dev, request, reply);
    InputPort in(0);
    ASSERT_EQ(MidiInStart(in.Handle()), MMSYSERR_NOERROR);
    Bytes data = request;
    MIDIHDR h{data.data(), uint32_t(data.size())};
    EXPECT_EQ(MidiOutLongMsg(out, &h), MIDIERR_UNPREPARED);
    ASSERT_EQ(MidiOutPrepareHeader(out, &h), MMSYSERR_NOERROR);
    ASSERT_EQ(MidiOutLongMsg(out, &h), MMSYSERR_NOERROR);
    data[1] = 0x00;  // the device has its own copy
    auto done = outEvents.WaitTraffic(1);
    EXPECT_THAT(Summaries(done), ElementsAre("done"));
    EXPECT_EQ(done.at(0).param1, reinterpret_cast<uintptr_t>(&h));
    EXPECT_EQ(MidiOutUnprepareHeader(out, &h), MMSYSERR_NOERROR);

    EXPECT_THAT(rig->WaitSent(dev, 4),
                ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0xC0, 0x05}, Bytes{0xF8}, request));
    EXPECT_EQ(in.Events().WaitTraffic(1).at(0).data, reply);
    EXPECT_EQ(MidiOutClose(out), MMSYSERR_NOERROR);
}

TEST_P(MidiPorts, LongSendThatIsNeverTakenCanBeGivenUp)
{
    auto dev = rig->Plug("", "Out");
    rig->SetTakes(dev, false);
    Recorder outEvents;
    HMIDIOUT out = OpenOutput(outEvents);
    auto data = std::make_unique<Bytes>(Bytes{0xF0, 0x01, 0xF7});
    auto h = std::make_unique<MIDIHDR>(MIDIHDR{data->data(), 3});
    ASSERT_EQ(MidiOutPrepareHeader(out, h.get()), MMSYSERR_NOERROR);
    ASSERT_EQ(MidiOutLongMsg(out, h.get()), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiOutLongMsg(out, h.get()), MIDIERR_STILLPLAYING);
    ASSERT_EQ(rig->WaitSent(dev, 1).size(), 1u);
    EXPECT_EQ(MidiOutClose(out), MIDIERR_STILLPLAYING);
    // A program that timed out gives the header up and frees it; the late completion must not touch it.
    EXPECT_EQ(MidiOutUnprepareHeader(out, h.get()), MMSYSERR_NOERROR);
    h.reset();
    data.reset();
    rig->SetTakes(dev, true);
    EXPECT_EQ(MidiOutShortMsg(out, 0xFE), MMSYSERR_NOERROR);
    ASSERT_EQ(rig->WaitSent(dev, 2).size(), 2u);
    MidiWaitCallbacks();
    EXPECT_TRUE(outEvents.Traffic().empty());
    EXPECT_EQ(MidiOutClose(out), MMSYSERR_NOERROR);
}

// A callback that takes the program's lock while the program closes the port holding that lock: close must
// not wait for it, and nothing starts later.
struct LockingProgram
{
    std::mutex lock;
    std::atomic<bool> closed{false}, entered{false};
    std::atomic<int> calls{0}, lateCalls{0};

    static void Proc(HMIDIIN, uint32_t message, uintptr_t instance, uintptr_t, uintptr_t)
    {
        auto* self = reinterpret_cast<LockingProgram*>(instance);
        if (message == MIM_OPEN || message == MIM_CLOSE)
            return;
        if (self->closed)
            ++self->lateCalls;
        self->entered = true;
        std::lock_guard l(self->lock);
        ++self->calls;
    }
};

TEST_P(MidiPorts, NoCallbackStartsAfterCloseEvenWithTheProgramLockHeld)
{
    auto dev = rig->Plug("In", "");
    LockingProgram program;
    HMIDIIN in = nullptr;
    ASSERT_EQ(
        MidiInOpen(&in, 0, &LockingProgram::Proc, reinterpret_cast<uintptr_t>(&program), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    ASSERT_EQ(MidiInStart(in), MMSYSERR_NOERROR);
    {
        std::lock_guard l(program.lock);
        rig->Inject(dev, Bytes(300, 0xF8));
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!program.entered && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_TRUE(program.entered);
        ASSERT_EQ(MidiInReset(in), MMSYSERR_NOERROR);
        ASSERT_EQ(MidiInClose(in), MMSYSERR_NOERROR);
        program.closed = true;
    }
    MidiWaitCallbacks();
    EXPECT_EQ(program.calls, 1);
    EXPECT_EQ(program.lateCalls, 0);
}

TEST_P(MidiPorts, PortsOfAGoneDeviceFailUntilClosed)
{
    auto dev = rig->Plug("Mixer In", "Mixer Out");
    InputPort in(0);
    ASSERT_EQ(in.Result(), MMSYSERR_NOERROR);
    HMIDIOUT out = nullptr;
    ASSERT_EQ(MidiOutOpen(&out, 0, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    MIDIOUTCAPS outCaps;
    ASSERT_EQ(MidiOutGetDevCaps(reinterpret_cast<uintptr_t>(out), &outCaps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::u16string(outCaps.szPname), u"Mixer Out");

    rig->Unplug(dev);
    EXPECT_EQ(MidiInGetNumDevs() + MidiOutGetNumDevs(), 0u);
    MIDIINCAPS inCaps;
    EXPECT_EQ(MidiInGetDevCaps(reinterpret_cast<uintptr_t>(in.Handle()), &inCaps), MMSYSERR_NODRIVER);
    EXPECT_EQ(MidiOutGetDevCaps(reinterpret_cast<uintptr_t>(out), &outCaps), MMSYSERR_NODRIVER);
    EXPECT_EQ(MidiInStart(in.Handle()), MMSYSERR_NODRIVER);
    EXPECT_EQ(MidiOutShortMsg(out, 0x7F3C90), MMSYSERR_NODRIVER);
    uint8_t data[] = {0xF0, 0xF7};
    MIDIHDR h{data, 2};
    ASSERT_EQ(MidiOutPrepareHeader(out, &h), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiOutLongMsg(out, &h), MMSYSERR_NODRIVER);
    EXPECT_EQ(h.dwFlags & MHDR_INQUEUE, 0u);
    EXPECT_EQ(MidiOutUnprepareHeader(out, &h), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiOutClose(out), MMSYSERR_NOERROR);
    in.Close();

    // A device plugged back under the same name is a new device.
    rig->Plug("Mixer In", "");
    InputPort again(0);
    EXPECT_EQ(again.Result(), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(Backends, MidiPorts, ::testing::Values("Bus", "Socket"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace MidiTest
