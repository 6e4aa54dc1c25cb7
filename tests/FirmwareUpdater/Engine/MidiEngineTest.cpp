// The MIDI engine against a scripted mixer on the in-process MIDI bus.

#include "Engine/UpdateEngine.h"
#include "EngineTestSupport.h"
#include "Platform/Midi/MidiBus.h"
#include "Platform/Registry/Registry.h"
#include "Threading/ChunkPacer.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

using namespace EngineTest;
using Tavo::Platform::Midi::MidiBus;
using Bytes = std::vector<uint8_t>;
using Posts = std::vector<std::string>;
using E = LUpdateEngineInterface;

namespace {

constexpr char16_t kMixer[] = u"Tessaro DJ K620 ZENTA";
constexpr char16_t kImagePort[] = u"Image Out";
// The engine's chunks, and an image of three with the last one partly padding.
constexpr uint32_t kChunk = LUpdateEngine::kChunkSize;
constexpr uint32_t kThreeChunks = 2 * kChunk + 44;
const Bytes kRequest = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

Bytes Reply(uint8_t v2, uint8_t v3, size_t length = 37)
{
    Bytes reply(length, 0x00);
    reply[0] = 0xF0;
    reply[1] = 0x7E;
    reply[2] = 0x00;
    reply[3] = 0x06;
    reply[4] = 0x02;
    reply[13] = v2;
    reply[14] = v3;
    reply[length - 1] = 0xF7;
    return reply;
}

class TestEngine : public LUpdateEngine
{
public:
    static RCPtr<TestEngine> Create() { return RCPtr<TestEngine>(new TestEngine()); }

    // Stops the senders after the given number of progress posts.
    void PostUpdateProgress(uint32_t stage, double fraction, bool automatic, int32_t remaining, bool second,
                            const WString& text) override
    {
        LUpdateEngine::PostUpdateProgress(stage, fraction, automatic, remaining, second, text);
        if (++progressPosts == abortAfter)
            SetAbort(true);
    }

    using LUpdateEngine::SetAbort;
    int abortAfter = -1;
    int progressPosts = 0;
};

class MidiEngine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mBus = MidiBus::Install();
        mRecorder = PostRecorder::Create();
        mEngine = TestEngine::Create();
        ASSERT_EQ(S_OK, mEngine->Initialize(WString()));
        mEngine->SetChunkDelay(0);
        E::DeviceDefinition mixer;
        for (int i = 0; i < 4; ++i)
            mixer.mNames[i] = kMixer;
        mDevices.Add(mixer);
    }
    void TearDown() override
    {
        mEngine = nullptr;
        mRecorder->Take();
        mRecorder->UnsubscribeAll();
        Tavo::Platform::Midi::SetMidiBackend(nullptr);
    }

    // The mixer's two ports; it answers the identity request when asked to.
    void PlugMixer(const Bytes* reply)
    {
        mIn = mBus->PlugInput(kMixer);
        mOut = mBus->PlugOutput(kMixer);
        if (reply)
            mBus->Respond(mOut, kRequest, mIn, *reply);
    }

    void Scan()
    {
        ASSERT_EQ(S_OK, mEngine->SetSupportedDevices(mDevices));
        mEngine->ScanForDevices();
    }

    WString DeviceText()
    {
        WString text;
        mEngine->GetDeviceFirmwareVersionText(text);
        return text;
    }

    WString MakeFile(const std::string& content)
    {
        mFolder.Write("fw.bin", content);
        return mFolder.WPath("fw.bin");
    }

    std::shared_ptr<MidiBus> mBus;
    RCPtr<PostRecorder> mRecorder;
    RCPtr<TestEngine> mEngine;
    Array<E::DeviceDefinition> mDevices;
    MidiBus::DeviceId mIn = 0;
    MidiBus::DeviceId mOut = 0;
    TempFolder mFolder;
};

TEST_F(MidiEngine, AnsweringMixerIsFoundInNormalMode)
{
    const Bytes reply = Reply(3, 7);
    PlugMixer(&reply);
    Scan();
    EXPECT_EQ(E::kDeviceNormalMode, mEngine->GetDeviceState());
    EXPECT_TRUE(DeviceText() == u"1.2");
    Version v;
    ASSERT_EQ(S_OK, mEngine->GetDeviceFirmwareVersion(0, v));
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 3, 7}), std::vector<uint32_t>(v.mNumbers, v.mNumbers + 4));
    EXPECT_EQ((std::vector<Bytes>{kRequest}), mBus->Sent(mOut));
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 1 0", "NID_DEVICE_STATE_CHANGE 5 3"}), mRecorder->Take());

    EXPECT_FALSE(mEngine->IsDeviceInUpdateMode(0));
    EXPECT_EQ(E_FAIL, mEngine->GetDeviceFirmwareVersion(1, v));
    Array<E::DeviceDefinition> found;
    EXPECT_EQ(S_OK, mEngine->GetFoundDevices(found));
    ASSERT_EQ(1u, found.GetCount());
    EXPECT_TRUE(found.At(0).mNames[E::DeviceDefinition::kNormalInput] == kMixer);
    uint32_t value = 9;
    EXPECT_EQ(S_OK, mEngine->GetSelectedDeviceValueA(&value));
    EXPECT_EQ(0u, value);
    // The compare against a file uses the reply's version.
    mEngine->SetFirmwareFile(MakeFile("x"), MakeVersion(0, 0, 3, 6));
    EXPECT_FALSE(mEngine->IsFileNewerThanDevice());
    mEngine->SetFirmwareFile(MakeFile("x"), MakeVersion(0, 0, 4, 0));
    EXPECT_TRUE(mEngine->IsFileNewerThanDevice());
}

TEST_F(MidiEngine, UpdateModeIsEnteredWithoutSendingAnything)
{
    const Bytes reply = Reply(2, 0);
    PlugMixer(&reply);
    EXPECT_EQ(E_FAIL, mEngine->RequestUpdateMode());
    Scan();
    ASSERT_EQ(E::kDeviceNormalMode, mEngine->GetDeviceState());
    mRecorder->Take();
    const size_t sent = mBus->Sent(mOut).size();

    EXPECT_EQ(S_OK, mEngine->RequestUpdateMode());
    EXPECT_EQ(E::kDeviceEnteringUpdateMode, mEngine->GetDeviceState());
    EXPECT_EQ(S_OK, mEngine->RequestUpdateMode());
    EXPECT_EQ(sent, mBus->Sent(mOut).size());
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 6 5"}), mRecorder->Take());
    EXPECT_EQ(0, mEngine->GetUpdateModeTransitionState());

    // Still answering in normal mode: keep waiting.
    EXPECT_EQ(S_OK, mEngine->RefreshDeviceState());
    EXPECT_EQ(E::kDeviceEnteringUpdateMode, mEngine->GetDeviceState());

    // The user switched it: it answers no more but its ports are there.
    mBus->Unplug(mIn);
    mBus->Unplug(mOut);
    PlugMixer(nullptr);
    EXPECT_EQ(S_OK, mEngine->RefreshDeviceState());
    EXPECT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
    EXPECT_TRUE(DeviceText() == u"Unknown");
    EXPECT_EQ(S_FALSE, mEngine->RequestUpdateMode());
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 7 6"}), mRecorder->Take());
}

TEST_F(MidiEngine, ScanAndRefreshFollowTheMixer)
{
    EXPECT_EQ(E_FAIL, mEngine->RefreshDeviceState());
    Scan();
    EXPECT_EQ(E::kDeviceNoneFound, mEngine->GetDeviceState());
    EXPECT_EQ(0u, mEngine->GetFoundDeviceCount());
    const Bytes reply = Reply(3, 3);
    PlugMixer(&reply);
    Scan();
    ASSERT_EQ(E::kDeviceNormalMode, mEngine->GetDeviceState());
    EXPECT_TRUE(DeviceText() == u"1.0.1");

    // Gone silent: the same ports now mean update mode.
    mBus->Unplug(mIn);
    mBus->Unplug(mOut);
    PlugMixer(nullptr);
    EXPECT_EQ(S_OK, mEngine->RefreshDeviceState());
    EXPECT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
    EXPECT_TRUE(mEngine->IsDeviceInUpdateMode(0));

    // Gone altogether: device access failure.
    mBus->Unplug(mIn);
    mBus->Unplug(mOut);
    EXPECT_EQ(S_OK, mEngine->RefreshDeviceState());
    EXPECT_EQ(E::kDeviceCannotUpdate, mEngine->GetDeviceState());
    uint32_t reason = 0;
    EXPECT_EQ(S_OK, mEngine->GetCannotUpdateReason(&reason));
    EXPECT_EQ(4u, reason);
    EXPECT_TRUE(DeviceText() == u"Unknown");

    // Back and answering a release that names no text: not the old text.
    const Bytes odd = Reply(3, 9);
    PlugMixer(&odd);
    EXPECT_EQ(S_OK, mEngine->RefreshDeviceState());
    EXPECT_EQ(E::kDeviceNormalMode, mEngine->GetDeviceState());
    EXPECT_TRUE(DeviceText() == u"Unknown");
    EXPECT_EQ(E_FAIL, mEngine->GetCannotUpdateReason(&reason));
}

TEST_F(MidiEngine, ProgramEngineSendsThroughTheDriverChannel)
{
    // No driver instance of the mixer anywhere: the transfer cannot reach it.
    Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry());
    RCPtr<LUpdateEngineInterface> engine = LUpdateEngineInterface::Create();
    ASSERT_EQ(S_OK, engine->Initialize(WString()));
    PlugMixer(nullptr);
    ASSERT_EQ(S_OK, engine->SetSupportedDevices(mDevices));
    engine->ScanForDevices();
    ASSERT_EQ(E::kDeviceInUpdateMode, engine->GetDeviceState());
    ASSERT_EQ(S_OK, engine->SetFirmwareFile(MakeFile("image")));
    mRecorder->Take();
    ASSERT_EQ(S_OK, engine->StartUpdate());
    ASSERT_EQ(S_OK, engine->WaitForUpdate(INFINITE));
    EXPECT_EQ(E::kUpdateFailed, engine->GetUpdateState(false));
    uint32_t reason = 0;
    EXPECT_EQ(S_OK, engine->GetCannotUpdateReason(&reason));
    EXPECT_EQ(4u, reason);
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_DEVICE_STATE_CHANGE 4 8",
                     "NID_FIRMWARE_UPDATE_COMPLETED false"}),
              mRecorder->Take());
}

class Senders : public MidiEngine
{
protected:
    void SetUp() override
    {
        MidiEngine::SetUp();
        mImageOut = mBus->PlugOutput(kImagePort);
        mRecorder->Take();
    }

    static Array<uint8_t> Image(uint32_t size)
    {
        Array<uint8_t> image;
        for (uint32_t i = 0; i < size; ++i)
            image.Add(static_cast<uint8_t>(1 + i % 100));
        return image;
    }

    MidiBus::DeviceId mImageOut = 0;
};

TEST_F(Senders, ChunksArePaddedAndEachReportsProgress)
{
    const Array<uint8_t> image = Image(kThreeChunks);
    EXPECT_EQ(S_OK, mEngine->SendImageInChunks(image, WString(), kImagePort));
    const std::vector<Bytes> sent = mBus->Sent(mImageOut);
    ASSERT_EQ(3u, sent.size());
    Bytes joined;
    for (const Bytes& chunk : sent) {
        EXPECT_EQ(kChunk, chunk.size());
        joined.insert(joined.end(), chunk.begin(), chunk.end());
    }
    EXPECT_TRUE(std::equal(image.begin(), image.end(), joined.begin()));
    EXPECT_TRUE(std::all_of(joined.begin() + kThreeChunks, joined.end(), [](uint8_t b) { return b == 0; }));
    mRecorder->Take();
    EXPECT_EQ((std::vector<double>{double(kChunk) / kThreeChunks, 2.0 * kChunk / kThreeChunks, 1.0}),
              mRecorder->fractions);

    // Exact multiples need no padding; nothing to send sends nothing.
    mRecorder->fractions.clear();
    EXPECT_EQ(S_OK, mEngine->SendImageInChunks(Image(2 * kChunk), WString(), kImagePort));
    EXPECT_EQ(5u, mBus->Sent(mImageOut).size());
    EXPECT_EQ(S_OK, mEngine->SendImageInChunks(Image(0), WString(), kImagePort));
    EXPECT_EQ(5u, mBus->Sent(mImageOut).size());
    mRecorder->Take();
    EXPECT_EQ((std::vector<double>{0.5, 1.0}), mRecorder->fractions);

    EXPECT_EQ(E_FAIL, mEngine->SendImageInChunks(Image(10), WString(), u"No Such Port"));

    // A chunk that the port sends short is a failure, not progress.
    Array<uint8_t> noteOn = Image(kChunk + 72);
    *noteOn.GetItemPtr(kChunk) = 0x90;
    mRecorder->fractions.clear();
    EXPECT_EQ(E_FAIL, mEngine->SendImageInChunks(noteOn, WString(), kImagePort));
    mRecorder->Take();
    EXPECT_EQ(std::vector<double>{double(kChunk) / (kChunk + 72)}, mRecorder->fractions);
}

TEST_F(Senders, AbortStopsBeforeTheNextChunk)
{
    mEngine->abortAfter = 3;
    EXPECT_EQ(E_ABORT, mEngine->SendImageInChunks(Image(10 * kChunk), WString(), kImagePort));
    EXPECT_EQ(3u, mBus->Sent(mImageOut).size());
    mRecorder->Take();
    EXPECT_EQ(3u, mRecorder->fractions.size());

    EXPECT_EQ(E_ABORT, mEngine->SendSysExImage(Image(10), WString(), kImagePort));
    EXPECT_EQ(3u, mBus->Sent(mImageOut).size());
}

TEST_F(Senders, SysExImagesGoOutMessageByMessage)
{
    const Array<uint8_t> image{0xF0, 0x01, 0x02, 0xF7, 0xF0, 0x03, 0xF7};
    EXPECT_EQ(S_OK, mEngine->SendSysExImage(image, WString(), kImagePort));
    EXPECT_EQ((std::vector<Bytes>{{0xF0, 0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}}), mBus->Sent(mImageOut));
    mRecorder->Take();
    EXPECT_EQ((std::vector<double>{3.0 / 7, 6.0 / 7}), mRecorder->fractions);

    // A carriage return ends a message too and is not sent itself.
    EXPECT_EQ(S_OK, mEngine->SendSysExImage(Array<uint8_t>{0x05, 0x0D, 0x06, 0xF7}, WString(), kImagePort));
    EXPECT_EQ((Bytes{0xF0, 0x05, 0xF7}), mBus->Sent(mImageOut)[2]);
    EXPECT_EQ((Bytes{0xF0, 0x06, 0xF7}), mBus->Sent(mImageOut)[3]);

    // An unfinished message is not sent; an empty one is an error.
    EXPECT_EQ(S_OK, mEngine->SendSysExImage(Array<uint8_t>{0xF0, 0x01, 0x02}, WString(), kImagePort));
    EXPECT_EQ(4u, mBus->Sent(mImageOut).size());
    EXPECT_EQ(E_FAIL, mEngine->SendSysExImage(Array<uint8_t>{0xF0, 0xF7}, WString(), kImagePort));
    EXPECT_EQ(E_FAIL, mEngine->SendSysExImage(Array<uint8_t>{0xF0, 0x01, 0xF7, 0x0D}, WString(), kImagePort));

    EXPECT_EQ(E_FAIL, mEngine->SendSysExMessage(Array<uint8_t>{0x01}, nullptr));
    EXPECT_EQ(S_OK, mEngine->SendImage(image, WString(), kImagePort));
    EXPECT_EQ(5u, mBus->Sent(mImageOut).size());
}

// The pauses the senders sleep, on the test's clock: how many messages the
// port had when each began, and its length.
std::vector<std::pair<size_t, uint32_t>> gPauses;
std::function<size_t()> gSentSoFar;
std::function<void()> gOnPause;

void RecordPause(uint32_t ms)
{
    gPauses.emplace_back(gSentSoFar(), ms);
    if (gOnPause)
        gOnPause();
}

TEST_F(Senders, EachMessageIsFollowedByTheWholePauseReadAfterIt)
{
    gSentSoFar = [this] { return mBus->Sent(mImageOut).size(); };
    Tavo::ChunkPacer::SetSleepForTesting(RecordPause);
    using Pauses = std::vector<std::pair<size_t, uint32_t>>;

    mEngine->SetChunkDelay(20);
    EXPECT_EQ(S_OK, mEngine->SendImageInChunks(Image(kThreeChunks), WString(), kImagePort));
    EXPECT_EQ((Pauses{{1, 20}, {2, 20}, {3, 20}}), gPauses);

    // A change while the image goes out holds from the next pause on.
    gPauses.clear();
    gOnPause = [this] { mEngine->SetChunkDelay(5); };
    mEngine->SetChunkDelay(20);
    EXPECT_EQ(S_OK, mEngine->SendSysExImage(Array<uint8_t>{0xF0, 1, 0xF7, 0xF0, 2, 0xF7, 0xF0, 3, 0xF7},
                                            WString(), kImagePort));
    EXPECT_EQ((Pauses{{4, 20}, {5, 5}, {6, 5}}), gPauses);

    // No delay, no pause.
    gPauses.clear();
    gOnPause = nullptr;
    mEngine->SetChunkDelay(0);
    EXPECT_EQ(S_OK, mEngine->SendImageInChunks(Image(kThreeChunks), WString(), kImagePort));
    EXPECT_EQ(S_OK, mEngine->SendSysExImage(Array<uint8_t>{0xF0, 1, 0xF7}, WString(), kImagePort));
    EXPECT_EQ(10u, mBus->Sent(mImageOut).size());
    EXPECT_TRUE(gPauses.empty());

    Tavo::ChunkPacer::SetSleepForTesting(nullptr);
    gSentSoFar = nullptr;
}

TEST_F(MidiEngine, MidiPortTransferFailures)
{
    PlugMixer(nullptr);
    struct Case
    {
        const char* what;
        bool emptyFile;
        bool unplug;
        uint32_t reason;
    } cases[] = {{"empty file", true, false, 3}, {"device gone", false, true, 4}};
    for (const Case& c : cases) {
        Scan();
        ASSERT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState()) << c.what;
        ASSERT_EQ(S_OK, mEngine->SetFirmwareFile(MakeFile("image"))) << c.what;
        // An empty file is judged unusable up front; one emptied after the
        // check fails the transfer.
        EXPECT_EQ(E_FAIL, mEngine->SetFirmwareFile(MakeFile(""))) << c.what;
        EXPECT_EQ(E::kFileMissing, mEngine->GetFileState()) << c.what;
        ASSERT_EQ(S_OK, mEngine->SetFirmwareFile(MakeFile("image"))) << c.what;
        if (c.emptyFile)
            MakeFile("");
        if (c.unplug) {
            mBus->Unplug(mIn);
            mBus->Unplug(mOut);
        }
        const size_t sent = mBus->Sent(mOut).size();
        mRecorder->Take();
        ASSERT_EQ(S_OK, mEngine->StartUpdate());
        ASSERT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
        EXPECT_EQ(E::kUpdateFailed, mEngine->GetUpdateState(true)) << c.what;
        EXPECT_EQ(E::kDeviceCannotUpdate, mEngine->GetDeviceState()) << c.what;
        uint32_t reason = 0;
        EXPECT_EQ(S_OK, mEngine->GetCannotUpdateReason(&reason));
        EXPECT_EQ(c.reason, reason) << c.what;
        EXPECT_EQ(sent, mBus->Sent(mOut).size()) << c.what;
        EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_DEVICE_STATE_CHANGE 4 8",
                         "NID_FIRMWARE_UPDATE_COMPLETED false"}),
                  mRecorder->Take())
            << c.what;
    }
}

}  // namespace
