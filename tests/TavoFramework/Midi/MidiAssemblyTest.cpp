// System Exclusive assembly and short-message lengths, fed straight into a
// capture port as its input callback would.

#include "Midi/MidiComm.h"
#include "Midi/MidiPorts.h"
#include "MidiTestClient.h"

#include <gtest/gtest.h>

using namespace MidiFwTest;

namespace {

Bytes SysExPart(size_t size, bool first, bool last)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i % 0x70);
    if (first)
        b.front() = 0xF0;
    if (last)
        b.back() = 0xF7;
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes whole;
    for (const Bytes& part : parts)
        whole.insert(whole.end(), part.begin(), part.end());
    return whole;
}

class Assembly : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mClient->Subscribe(mService, kMidiDataCapturedName);
        mPort = new LMidiCapturePort(WString(u"Dev"), dynamic_cast<LMidiComm*>(mService.Get()));
    }
    void TearDown() override { mClient->UnsubscribeAll(); }

    void Feed(const Bytes& b, bool complete)
    {
        mPort->OnSysExData(b.data(), static_cast<int32_t>(b.size()), complete);
    }

    // Everything delivered so far: a marker message goes last, and delivery
    // keeps order, so once it arrives nothing else is on its way.
    std::vector<Captured> Delivered()
    {
        size_t before = mClient->Wait(0).size();
        mPort->OnShortMessage(0xFE, 0);
        std::vector<Captured> got;
        for (size_t n = before + 1;; ++n) {
            got = mClient->Wait(n);
            if (got.size() < n || got.back().bytes == Bytes{0xFE})
                break;
        }
        EXPECT_FALSE(got.empty());
        if (!got.empty() && got.back().bytes == Bytes{0xFE})
            got.pop_back();
        return got;
    }

    RCPtr<LMidiCommInterface> mService = LMidiComm::Create();
    RCPtr<CaptureClient> mClient = CaptureClient::Create();
    RCPtr<LMidiCapturePort> mPort;
};

}  // namespace

TEST_F(Assembly, MessagesSpanningBuffersArriveWhole)
{
    Bytes a = SysExPart(256, true, false), b = SysExPart(256, false, false), c = SysExPart(88, false, true);
    Feed(a, false);
    Feed(b, false);
    // Real-time bytes between the buffers go out at once and leave the
    // message alone.
    mPort->OnShortMessage(0xF8, 7);
    Feed(c, true);
    Bytes exact = SysExPart(256, true, true);
    Feed(exact, true);

    auto got = Delivered();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes, Bytes{0xF8});
    EXPECT_EQ(got[0].time, 7u);
    EXPECT_EQ(got[1].bytes, Join({a, b, c}));
    EXPECT_EQ(got[1].time, 0u);
    EXPECT_EQ(got[2].bytes, exact);
    EXPECT_TRUE(got[1].portName == u"Dev");
    EXPECT_EQ(got[1].source, LMidiCaptureNotificationData::PortIdentity(mPort.Get()));
}

TEST_F(Assembly, StrayAndEmptyBuffersAreDroppedButPendingBytesSurviveErrors)
{
    Feed(SysExPart(40, false, true), true);  // no F0 and nothing pending
    Bytes head = SysExPart(256, true, false);
    Feed(head, false);
    Feed({}, true);  // an empty buffer (reset) neither ends nor spoils it
    // A broken buffer is only requeued: its bytes never reach the port, and
    // the pending part stays for the next complete buffer.
    Bytes tail = {0x01, 0x02, 0xF7};
    Feed(tail, true);

    auto got = Delivered();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, Join({head, tail}));
}

TEST_F(Assembly, ShortMessageLengthsFollowTheStatusByte)
{
    const std::pair<uint32_t, Bytes> cases[] = {
        {0x403CB0, {0xB0, 0x3C, 0x40}},  // control change
        {0x40D0, {0xD0, 0x40}},          // channel pressure
        {0x7F3C90, {0x90, 0x3C, 0x7F}},  // note on
        {0x2000E0, {0xE0, 0x00, 0x20}},  // pitch bend
        {0x0510C0, {0xC0, 0x10}},        // program change: the stray byte is not kept
        {0x0201F2, {0xF2}},              // song position: status alone
        {0x3C, {0x3C}},                  // data byte under running status
    };
    for (uint32_t i = 0; i < 7; ++i)
        mPort->OnShortMessage(cases[i].first, i);
    auto got = Delivered();
    ASSERT_EQ(got.size(), 7u);
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(got[i].bytes, cases[i].second) << i;
        EXPECT_EQ(got[i].time, i);
    }
}

TEST_F(Assembly, EndlessMessageIsCappedDroppedAndResynchronised)
{
    auto feedCap = [&](bool complete) {
        Feed(SysExPart(256, true, false), false);
        for (size_t n = 256; n + 256 < LMidiComm::kMaxSysExBytes; n += 256)
            Feed(SysExPart(256, false, false), false);
        Feed(SysExPart(256, false, complete), complete);
    };
    // A message of exactly the cap is kept.
    feedCap(true);
    // One buffer more is too much: the message goes, and so does the rest of
    // it, up to and including its last buffer.
    feedCap(false);
    Feed(SysExPart(256, false, false), false);
    Feed(SysExPart(256, false, false), false);
    Feed(SysExPart(20, false, true), true);
    Bytes next = SysExPart(30, true, true);
    Feed(next, true);
    // A message that starts while the rest is being skipped is kept.
    feedCap(false);
    Feed(SysExPart(256, false, false), false);
    Bytes fresh = SysExPart(256, true, false), end = SysExPart(3, false, true);
    Feed(fresh, false);
    Feed(end, true);

    auto got = Delivered();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes.size(), LMidiComm::kMaxSysExBytes);
    EXPECT_EQ(got[1].bytes, next);
    EXPECT_EQ(got[2].bytes, Join({fresh, end}));
}
