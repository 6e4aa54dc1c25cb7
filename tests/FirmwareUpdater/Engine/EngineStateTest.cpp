// Device, file and update states, their notifications and the worker.

#include "Engine/UpdateEngine.h"
#include "EngineTestSupport.h"
#include "Platform/Midi/MidiBus.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace EngineTest;
using Posts = std::vector<std::string>;
using E = LUpdateEngineInterface;
using Tavo::Platform::Midi::MidiBus;

namespace {

constexpr char16_t kMixer[] = u"Tessaro DJ K620 ZENTA";

class EngineState : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mRecorder = PostRecorder::Create();
        mEngine = ScriptedEngine::Create();
        mFolder.Write("fw.bin", "image");
    }
    void TearDown() override
    {
        mEngine = nullptr;
        mRecorder->Take();
        mRecorder->UnsubscribeAll();
    }

    WString FilePath() const { return mFolder.WPath("fw.bin"); }

    // Supported devices set, one device found in update mode, a file set.
    void ReadyForUpdate()
    {
        mEngine->SetSupportedDevices(Array<E::DeviceDefinition>{E::DeviceDefinition()});
        mEngine->scanResult = {{true, 0, MakeVersion(0, 0, 2, 0)}};
        mEngine->ScanForDevices();
        ASSERT_EQ(S_OK, mEngine->SetFirmwareFile(FilePath()));
        ASSERT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
        mRecorder->Take();
    }

    RCPtr<PostRecorder> mRecorder;
    RCPtr<ScriptedEngine> mEngine;
    TempFolder mFolder;
};

TEST_F(EngineState, SupportedDevicesAndScanPostEachRealChange)
{
    EXPECT_EQ(E::kDeviceUninitialized, mEngine->GetDeviceState());
    EXPECT_EQ(S_OK, mEngine->SetSupportedDevices({}));
    EXPECT_EQ(S_OK, mEngine->SetSupportedDevices({}));
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 1 0"}), mRecorder->Take());

    // Nothing found keeps 1 and posts nothing.
    EXPECT_EQ(S_OK, mEngine->ScanForDevices());
    EXPECT_EQ(Posts{}, mRecorder->Take());

    mEngine->scanResult = {{}, {}};
    EXPECT_EQ(S_OK, mEngine->ScanForDevices());
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 3 1"}), mRecorder->Take());
    EXPECT_EQ(-1, mEngine->GetSelectedDeviceIndex());

    // A failed build counts as nothing found, whatever the list holds.
    mEngine->buildResult = E_FAIL;
    EXPECT_EQ(E_FAIL, mEngine->ScanForDevices());
    EXPECT_EQ(E::kDeviceNoneFound, mEngine->GetDeviceState());
}

TEST_F(EngineState, OneFoundDeviceIsSelectedAndPostedFromThree)
{
    mEngine->SetSupportedDevices({});
    mRecorder->Take();
    struct Case
    {
        ScriptedEngine::Found found;
        int32_t state;
    } cases[] = {{{false, 0, {}}, 5}, {{true, 0, {}}, 7}, {{false, 2, {}}, 4}};
    for (const Case& c : cases) {
        mEngine->SetSupportedDevices({});
        mRecorder->Take();
        mEngine->scanResult = {c.found};
        EXPECT_EQ(S_OK, mEngine->ScanForDevices());
        EXPECT_EQ(c.state, mEngine->GetDeviceState());
        EXPECT_EQ(0, mEngine->GetSelectedDeviceIndex());
        EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE " + std::to_string(c.state) + " 3"}), mRecorder->Take());
    }
    uint32_t reason = 9;
    EXPECT_EQ(S_OK, mEngine->GetCannotUpdateReason(&reason));
    EXPECT_EQ(2u, reason);
}

TEST_F(EngineState, SelectionRulesAndQueriesByState)
{
    EXPECT_EQ(E_FAIL, mEngine->SelectDevice(0));
    mEngine->SetSupportedDevices({});
    mEngine->scanResult = {{false, 0, MakeVersion(0, 0, 3, 7, u"1.2")}, {true, 0, {}}};
    mEngine->ScanForDevices();

    WString text;
    EXPECT_EQ(E_FAIL, mEngine->GetDeviceFirmwareVersionText(text));
    EXPECT_TRUE(text == u"N/A");
    uint32_t reason = 7;
    EXPECT_EQ(E_FAIL, mEngine->GetCannotUpdateReason(&reason));
    EXPECT_EQ(0u, reason);

    EXPECT_EQ(S_OK, mEngine->SelectDevice(0));
    EXPECT_EQ(E::kDeviceNormalMode, mEngine->GetDeviceState());
    EXPECT_EQ(S_OK, mEngine->GetDeviceFirmwareVersionText(text));
    EXPECT_TRUE(text == u"1.2");
    EXPECT_EQ(E_FAIL, mEngine->GetCannotUpdateReason(&reason));

    EXPECT_EQ(S_OK, mEngine->SelectDevice(1));
    EXPECT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());

    mRecorder->Take();
    EXPECT_EQ(E_INVALIDARG, mEngine->SelectDevice(2));
    EXPECT_EQ(E::kDeviceSeveralFound, mEngine->GetDeviceState());
    EXPECT_EQ(-1, mEngine->GetSelectedDeviceIndex());
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 3 7"}), mRecorder->Take());
}

TEST_F(EngineState, BusyStatesRefuseScansSelectionAndNewDevices)
{
    mEngine->SetSupportedDevices({});
    mEngine->scanResult = {{}, {}};
    mEngine->ScanForDevices();
    for (int32_t state : {2, 6, 8}) {
        mEngine->SetDeviceState(state);
        mRecorder->Take();
        EXPECT_EQ(E_FAIL, mEngine->SetSupportedDevices({})) << state;
        EXPECT_EQ(E_FAIL, mEngine->ScanForDevices()) << state;
        if (state != 2) {
            EXPECT_EQ(E_FAIL, mEngine->SelectDevice(0)) << state;
        }
        EXPECT_EQ(state, mEngine->GetDeviceState());
        EXPECT_EQ(Posts{}, mRecorder->Take());
    }
}

TEST_F(EngineState, UpdateStateIsResetOnlyWhenFinishedAndAsked)
{
    mEngine->SetUpdateState(E::kUpdateRunning);
    EXPECT_EQ(1, mEngine->GetUpdateState(true));
    EXPECT_EQ(1, mEngine->GetUpdateState());
    for (int32_t finished : {2, 3, 4}) {
        mEngine->SetUpdateState(finished);
        EXPECT_EQ(finished, mEngine->GetUpdateState());
        EXPECT_EQ(finished, mEngine->GetUpdateState(false));
        EXPECT_EQ(finished, mEngine->GetUpdateState(true));
        EXPECT_EQ(0, mEngine->GetUpdateState(true));
    }
}

TEST_F(EngineState, NotifySwitchSilencesAllButProgress)
{
    mEngine->SetNotify(false);
    mEngine->SetSupportedDevices({});
    mEngine->SetFirmwareFile(FilePath());
    mEngine->PostFoundDeviceListChange();
    mEngine->PostUpdateCompleted(true);
    mEngine->PostUpdateProgress(0, 0.25, true, -1, false, WString());
    EXPECT_EQ((Posts{"NID_FIRMWARE_UPDATE_PROGRESS progress"}), mRecorder->Take());
    EXPECT_EQ(std::vector<double>{0.25}, mRecorder->fractions);
    EXPECT_EQ(E::kDeviceNoneFound, mEngine->GetDeviceState());

    mEngine->SetNotify(true);
    mEngine->PostFoundDeviceListChange();
    EXPECT_EQ((Posts{"NID_FOUND_DEVICE_LIST_CHANGE"}), mRecorder->Take());
}

TEST_F(EngineState, StartNeedsAFileAndUpdateMode)
{
    ReadyForUpdate();
    mEngine->SetFirmwareFile(WString(u"/nonexistent/engine-test.bin"));
    mRecorder->Take();
    EXPECT_EQ(E_FAIL, mEngine->StartUpdate());
    EXPECT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
    EXPECT_EQ(Posts{}, mRecorder->Take());

    mEngine->SetFirmwareFile(FilePath());
    mEngine->SetDeviceState(E::kDeviceNormalMode);
    EXPECT_EQ(E_FAIL, mEngine->StartUpdate());
    EXPECT_EQ(E_FAIL, mEngine->AbortUpdate());
}

TEST_F(EngineState, FailedOrThrowingTransferCompletesWithFalse)
{
    ReadyForUpdate();
    mEngine->transfer = [](ScriptedEngine& e) {
        e.SetUpdateState(E::kUpdateRunning);
        throw std::runtime_error("read");
        return S_OK;
    };
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    ASSERT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_FIRMWARE_UPDATE_COMPLETED false"}),
              mRecorder->Take());
    EXPECT_EQ(E::kUpdateFailed, mEngine->GetUpdateState());
}

// The engine's own MIDI-port transfer on its worker, to a mixer on the
// in-process bus that takes each message only when the test lets it.
class TransferEngine : public LUpdateEngine
{
public:
    static RCPtr<TransferEngine> Create() { return RCPtr<TransferEngine>(new TransferEngine()); }
    using LUpdateEngineInterface::HandOver;
};

class RealWorker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mBus = MidiBus::Install();
        mBus->PlugInput(kMixer);
        mOut = mBus->PlugOutput(kMixer);
        mRecorder = PostRecorder::Create();
        mEngine = TransferEngine::Create();
        ASSERT_EQ(S_OK, mEngine->Initialize(WString()));
        mEngine->SetChunkDelay(0);
        // The mixer never answers: no need to wait the reply time out.
        mEngine->SetReplyWait([](TrafficLight&, uint32_t) { return Tavo::WAIT_TIMEOUT; });
        E::DeviceDefinition mixer;
        for (auto& name : mixer.mNames)
            name = kMixer;
        mEngine->SetSupportedDevices(Array<E::DeviceDefinition>{mixer});
        mEngine->ScanForDevices();
        ASSERT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
        mScanSends = mBus->Sent(mOut).size();
    }
    void TearDown() override
    {
        mBus->SetTakesMessages(mOut, true);
        mEngine = nullptr;
        mRecorder->Take();
        mRecorder->UnsubscribeAll();
        Tavo::Platform::Midi::SetMidiBackend(nullptr);
    }

    // An image of `chunks` chunks; the mixer holds every message from now on.
    void Prepare(size_t chunks, bool held)
    {
        mFolder.Write("fw.bin", std::string(chunks * LUpdateEngine::kChunkSize, 'x'));
        ASSERT_EQ(S_OK, mEngine->SetFirmwareFile(mFolder.WPath("fw.bin")));
        mBus->SetTakesMessages(mOut, !held);
        mRecorder->Take();
    }
    // The transfer is in flight: its first chunk is held by the mixer.
    void StartHeld(size_t chunks)
    {
        Prepare(chunks, true);
        ASSERT_EQ(S_OK, mEngine->StartUpdate());
        ASSERT_TRUE(mBus->WaitSent(mOut, mScanSends + 1, std::chrono::seconds(60)));
    }
    size_t Chunks() { return mBus->Sent(mOut).size() - mScanSends; }

    std::shared_ptr<MidiBus> mBus;
    MidiBus::DeviceId mOut = 0;
    size_t mScanSends = 0;
    RCPtr<PostRecorder> mRecorder;
    RCPtr<TransferEngine> mEngine;
    TempFolder mFolder;
};

TEST_F(RealWorker, CompletedUpdatePostsInOrderAndStaysUpdating)
{
    Prepare(2, false);
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    ASSERT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_FIRMWARE_UPDATE_PROGRESS progress",
                     "NID_FIRMWARE_UPDATE_PROGRESS progress", "NID_FIRMWARE_UPDATE_COMPLETED true"}),
              mRecorder->Take());
    EXPECT_EQ((std::vector<double>{0.5, 1.0}), mRecorder->fractions);
    const auto& p = mRecorder->progress.front();
    EXPECT_EQ(0u, p->GetStage());
    EXPECT_EQ(-1, p->GetRemainingTime());
    EXPECT_TRUE(p->IsAutomaticEstimate());
    EXPECT_FALSE(p->GetSecondFlag());
    EXPECT_TRUE(p->GetText().IsEmpty());
    EXPECT_EQ(E::kDeviceUpdating, mEngine->GetDeviceState());
    EXPECT_EQ(4, mEngine->GetUpdateState(true));
    EXPECT_EQ(0, mEngine->GetUpdateState(false));
}

TEST_F(RealWorker, WaitCoversTheWholeTransferAndABusyWorkerRefusesTheNext)
{
    StartHeld(3);
    EXPECT_EQ(E_FAIL, mEngine->WaitForUpdate(0));
    EXPECT_EQ(E::kUpdateRunning, mEngine->GetUpdateState());
    // The window's state says ready again, but the worker is still busy.
    mEngine->SetDeviceState(E::kDeviceInUpdateMode);
    mRecorder->Take();
    EXPECT_EQ(E_FAIL, mEngine->StartUpdate());
    EXPECT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_DEVICE_STATE_CHANGE 7 8"}), mRecorder->Take());

    mBus->SetTakesMessages(mOut, true);
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ(3u, Chunks());
    EXPECT_EQ(E::kUpdateSucceeded, mEngine->GetUpdateState(true));
    // Free for the next task at once.
    EXPECT_EQ(S_OK, mEngine->StartUpdate());
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ(6u, Chunks());
}

TEST_F(RealWorker, AbortIsHonouredOnlyWhileUpdatingAndANewStartClearsIt)
{
    Prepare(3, false);
    EXPECT_EQ(E_FAIL, mEngine->AbortUpdate());
    StartHeld(3);
    EXPECT_EQ(S_OK, mEngine->AbortUpdate());
    mBus->SetTakesMessages(mOut, true);
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ(1u, Chunks());  // stopped before the next chunk
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_FIRMWARE_UPDATE_PROGRESS progress",
                     "NID_DEVICE_STATE_CHANGE 4 8", "NID_FIRMWARE_UPDATE_COMPLETED false"}),
              mRecorder->Take());

    mEngine->SetDeviceState(E::kDeviceInUpdateMode);
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ(4u, Chunks());
    EXPECT_EQ(E::kUpdateSucceeded, mEngine->GetUpdateState());
}

TEST_F(RealWorker, ReleasingTheEngineAbortsAndAwaitsTheTransfer)
{
    StartHeld(3);
    LUpdateEngine* engine = mEngine.Get();
    std::thread releaser([this] { mEngine = nullptr; });
    while (!engine->IsAbortRequested())
        std::this_thread::yield();
    mBus->SetTakesMessages(mOut, true);
    releaser.join();
    EXPECT_EQ(1u, Chunks());
}

}  // namespace
