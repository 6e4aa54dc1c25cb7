// The port service end to end, against devices on the in-process bus and
// devices served by another process over the socket backend.

#include "Midi/MidiComm.h"
#include "MidiTestClient.h"
#include "tests/Platform/Midi/MidiRig.h"

#include <gtest/gtest.h>

#include <memory>

using namespace MidiFwTest;

namespace {

const Bytes kIdentityRequest = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

Bytes SysEx(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((i * 7) % 0x80);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

std::vector<std::u16string> Listed(const WStringArray& names)
{
    std::vector<std::u16string> out;
    for (uint32_t i = 0; i < names.GetCount(); ++i)
        out.emplace_back(names[i].c_str());
    return out;
}

class Ports : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override { mClient->Subscribe(mService, kMidiDataCapturedName); }
    void TearDown() override
    {
        mClient->UnsubscribeAll();
        mService = nullptr;
        LMidiComm::SetSendTimeoutForTesting(10000);
    }

    RCPtr<LRefCountedObject> Capture(const char16_t* name, bool render = false)
    {
        RCPtr<LRefCountedObject> port;
        EXPECT_EQ(render ? mService->OpenRenderPort(WString(name), port)
                         : mService->OpenCapturePort(WString(name), port),
                  S_OK)
            << NString(WString(name)).c_str();
        return port;
    }
    RCPtr<LRefCountedObject> Render(const char16_t* name) { return Capture(name, true); }

    std::unique_ptr<MidiTest::Rig> mRig = MidiTest::MakeRig(GetParam());
    RCPtr<LMidiCommInterface> mService = LMidiComm::Create();
    RCPtr<CaptureClient> mClient = CaptureClient::Create();
};

}  // namespace

TEST_P(Ports, DirectoryNumbersRepeatedNamesAndOpensTheDeviceItListed)
{
    RCPtr<LRefCountedObject> port;
    EXPECT_EQ(mService->OpenCapturePort(WString(u"MIDI"), port), E_FAIL);
    EXPECT_EQ(mService->OpenRenderPort(WString(u"x(1)"), port), E_FAIL);

    std::string first = mRig->Plug("MIDI", "MIDI");
    std::string second = mRig->Plug("MIDI", "MIDI");
    std::string out = mRig->Plug("MIDI Out", "MIDI Out");
    std::vector<std::u16string> want = {u"MIDI (1)", u"MIDI (2)", u"MIDI Out"};
    EXPECT_EQ(Listed(LMidiComm::GetInputDeviceNames()), want);
    EXPECT_EQ(Listed(LMidiComm::GetOutputDeviceNames()), want);

    EXPECT_EQ(mService->OpenCapturePort(WString(u"MIDI"), port), E_INVALIDARG);
    EXPECT_EQ(mService->OpenCapturePort(WString(u"Synth"), port), E_FAIL);

    RCPtr<LRefCountedObject> inSecond = Capture(u"MIDI (2)");
    RCPtr<LRefCountedObject> inOut = Capture(u"MIDI Out");
    mRig->Inject(first, {0x90, 0x01, 0x01});  // nobody listens there
    mRig->Inject(second, {0x90, 0x3C, 0x7F});
    mClient->Wait(1);  // devices are not ordered among themselves
    mRig->Inject(out, {0x80, 0x3C, 0x00});
    auto got = mClient->Wait(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(got[0].source, Identity(inSecond));
    EXPECT_EQ(got[1].source, Identity(inOut));
    EXPECT_NE(got[0].thread, std::this_thread::get_id());
    EXPECT_EQ(got[0].thread, got[1].thread);

    EXPECT_EQ(mService->Send(Render(u"MIDI (2)"), Bytes{0xC0, 0x05}), 2);
    EXPECT_EQ(mService->Send(Render(u"midi out"), Bytes{0xC0, 0x06}), 2);
    EXPECT_EQ(mRig->WaitSent(second, 1), std::vector<Bytes>{(Bytes{0xC0, 0x05})});
    EXPECT_EQ(mRig->WaitSent(out, 1), std::vector<Bytes>{(Bytes{0xC0, 0x06})});
    EXPECT_TRUE(mRig->Sent(first).empty());
}

TEST_P(Ports, CapturePortsAreSharedByNameRenderPortsByDeviceName)
{
    mRig->Plug("MIDI", "MIDI");
    mRig->Plug("MIDI", "MIDI");
    mRig->Plug("Synth", "Synth");

    RCPtr<LRefCountedObject> synthIn = Capture(u"Synth");
    EXPECT_EQ(Capture(u"SYNTH").Get(), synthIn.Get());
    RCPtr<LRefCountedObject> synthOut = Render(u"Synth");
    EXPECT_EQ(Render(u"synth").Get(), synthOut.Get());
    EXPECT_NE(static_cast<void*>(synthIn.Get()), static_cast<void*>(synthOut.Get()));

    // A numbered name never equals the device name an open port recorded.
    RCPtr<LRefCountedObject> a = Render(u"MIDI (1)");
    RCPtr<LRefCountedObject> b = Render(u"MIDI (1)");
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(mService->Send(a, Bytes{0xF8}), 1);

    // Capture ports are not render ports.
    EXPECT_EQ(mService->Send(synthIn, Bytes{0xF8}), E_INVALIDARG);
    EXPECT_EQ(mService->Send(synthOut, Bytes{}), E_INVALIDARG);
}

TEST_P(Ports, CapturedMessagesArriveWholeAndInOrder)
{
    std::string key = mRig->Plug("Synth", "");
    RCPtr<LRefCountedObject> port = Capture(u"Synth");
    Bytes long1 = SysEx(600);
    // A clock tick in the middle of the message, split across writes.
    Bytes first(long1.begin(), long1.begin() + 300);
    first.push_back(0xF8);
    mRig->Inject(key, first);
    mRig->Inject(key, Bytes(long1.begin() + 300, long1.end()));
    // The port keeps three buffers; wait until they are back before more.
    mClient->Wait(2);
    Bytes exact = SysEx(256);
    mRig->Inject(key, exact);
    mRig->Inject(key, {0xB0, 0x3C, 0x40, 0xD0, 0x40});

    auto got = mClient->Wait(5);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].bytes, Bytes{0xF8});
    EXPECT_EQ(got[1].bytes, long1);
    EXPECT_EQ(got[2].bytes, exact);
    EXPECT_EQ(got[4].bytes, (Bytes{0xD0, 0x40}));
    for (const Captured& c : got) {
        EXPECT_EQ(c.source, Identity(port));
        EXPECT_TRUE(c.portName == u"Synth");
    }
}

TEST_P(Ports, HeldPortsComeBackWithTheirDevice)
{
    std::string key = mRig->Plug("Synth", "Synth");
    RCPtr<LRefCountedObject> in = Capture(u"Synth");
    RCPtr<LRefCountedObject> out = Render(u"Synth");
    mRig->Unplug(key);
    EXPECT_EQ(mService->Send(out, kIdentityRequest), E_FAIL);
    RCPtr<LRefCountedObject> none;
    EXPECT_EQ(mService->OpenCapturePort(WString(u"Synth"), none), E_FAIL);

    key = mRig->Plug("Synth", "Synth");
    EXPECT_EQ(Capture(u"Synth").Get(), in.Get());
    EXPECT_EQ(Render(u"Synth").Get(), out.Get());
    EXPECT_EQ(mService->Send(out, Bytes{0xF8}), 1);
    EXPECT_EQ(mRig->WaitSent(key, 1), std::vector<Bytes>{Bytes{0xF8}});
    mRig->Inject(key, {0x90, 0x3C, 0x7F});
    EXPECT_EQ(mClient->Wait(1).at(0).source, Identity(in));
}

TEST_P(Ports, LongSendThatIsNeverTakenFailsAndLeavesTheCallerFreeToReuseItsBytes)
{
    std::string key = mRig->Plug("", "Slow");
    RCPtr<LRefCountedObject> port = Render(u"Slow");
    LMidiComm::SetSendTimeoutForTesting(100);
    mRig->SetTakes(key, false);
    Bytes original = SysEx(300);
    auto bytes = std::make_unique<Bytes>(original);
    EXPECT_EQ(mService->Send(port, *bytes), E_FAIL);
    // The device may still be working on it; the caller's buffer goes now.
    std::fill(bytes->begin(), bytes->end(), 0x00);
    bytes.reset();
    mRig->SetTakes(key, true);
    LMidiComm::SetSendTimeoutForTesting(10000);
    EXPECT_EQ(mService->Send(port, kIdentityRequest), 6);
    EXPECT_EQ(mRig->WaitSent(key, 2), (std::vector<Bytes>{original, kIdentityRequest}));
}

INSTANTIATE_TEST_SUITE_P(Backends, Ports, ::testing::Values("Bus", "Socket"),
                         [](const auto& info) { return info.param; });
