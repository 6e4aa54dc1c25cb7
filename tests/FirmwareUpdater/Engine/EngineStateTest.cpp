// Device, file and update states, their notifications and the worker.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace EngineTest;
using Posts = std::vector<std::string>;
using E = LUpdateEngineInterface;

namespace {

// A gate the test opens for a transfer waiting on it.
struct Gate
{
    std::mutex lock;
    std::condition_variable changed;
    bool open = false;
    bool entered = false;

    void Open()
    {
        std::lock_guard l(lock);
        open = true;
        changed.notify_all();
    }
    void WaitOpen()
    {
        std::unique_lock l(lock);
        entered = true;
        changed.notify_all();
        changed.wait(l, [&] { return open; });
    }
    void WaitEntered()
    {
        std::unique_lock l(lock);
        changed.wait(l, [&] { return entered; });
    }
};

class EngineState : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mRecorder = PostRecorder::Create();
        mEngine = ScriptedEngine::Create();
        char name[] = "/tmp/engine-state-XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "image", 5), 5);
        close(fd);
        mFile = name;
    }
    void TearDown() override
    {
        mEngine = nullptr;
        mRecorder->Take();
        mRecorder->UnsubscribeAll();
        std::remove(mFile.c_str());
    }

    WString FilePath() const { return WString(NString(mFile.c_str())); }

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
    std::string mFile;
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

TEST_F(EngineState, CompletedUpdatePostsInOrderAndStaysUpdating)
{
    ReadyForUpdate();
    mEngine->transfer = [](ScriptedEngine& e) {
        e.SetUpdateState(E::kUpdateRunning);
        e.PostUpdateProgress(0, 0.5, true, -1, false, WString());
        e.PostUpdateProgress(0, 1.0, true, -1, false, WString());
        e.SetUpdateState(E::kUpdateSucceeded);
        return S_OK;
    };
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
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_FIRMWARE_UPDATE_COMPLETED false"}), mRecorder->Take());
    EXPECT_EQ(E::kUpdateFailed, mEngine->GetUpdateState());
}

TEST_F(EngineState, WaitRightAfterStartCoversTheWholeTransfer)
{
    ReadyForUpdate();
    Gate gate;
    std::atomic<bool> finished{false};
    mEngine->transfer = [&](ScriptedEngine& e) {
        gate.WaitOpen();
        e.SetUpdateState(E::kUpdateRunning);
        e.SetUpdateState(E::kUpdateSucceeded);
        finished = true;
        return S_OK;
    };
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    // The transfer has not even set "running" yet.
    EXPECT_EQ(E_FAIL, mEngine->WaitForUpdate(50));
    EXPECT_FALSE(finished);
    std::thread opener([&] {
        gate.WaitEntered();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        gate.Open();
    });
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_TRUE(finished);
    opener.join();
    // The worker is free for the next task at once.
    mEngine->SetDeviceState(E::kDeviceInUpdateMode);
    mEngine->transfer = nullptr;
    EXPECT_EQ(S_OK, mEngine->StartUpdate());
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
}

TEST_F(EngineState, RefusedHandOverRestoresTheDeviceState)
{
    ReadyForUpdate();
    Gate gate;
    mEngine->transfer = [&](ScriptedEngine&) {
        gate.WaitOpen();
        return S_OK;
    };
    // A task that is still running makes the worker refuse the next one.
    ASSERT_EQ(S_OK, mEngine->HandOver(E::kTaskPerformUpdate));
    EXPECT_EQ(E_FAIL, mEngine->StartUpdate());
    EXPECT_EQ(E::kDeviceInUpdateMode, mEngine->GetDeviceState());
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_DEVICE_STATE_CHANGE 7 8"}), mRecorder->Take());
    gate.Open();
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
}

TEST_F(EngineState, ReleasingTheEngineAbortsAndAwaitsTheTransfer)
{
    ReadyForUpdate();
    std::atomic<int> chunks{0};
    std::atomic<bool> sawAbort{false};
    std::atomic<bool> ended{false};
    Gate started;
    mEngine->transfer = [&](ScriptedEngine& e) {
        e.SetUpdateState(E::kUpdateRunning);
        started.WaitOpen();
        while (!e.IsAbortRequested()) {
            ++chunks;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sawAbort = true;
        e.SetUpdateState(E::kUpdateFailed);
        ended = true;
        return E_ABORT;
    };
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    started.Open();
    started.WaitEntered();
    mEngine = nullptr;
    EXPECT_TRUE(sawAbort);
    EXPECT_TRUE(ended);
}

TEST_F(EngineState, AbortIsHonouredOnlyWhileUpdating)
{
    ReadyForUpdate();
    Gate gate;
    std::atomic<bool> sawAbort{false};
    mEngine->transfer = [&](ScriptedEngine& e) {
        gate.WaitOpen();
        sawAbort = e.IsAbortRequested();
        return sawAbort ? E_ABORT : S_OK;
    };
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    EXPECT_EQ(S_OK, mEngine->AbortUpdate());
    gate.Open();
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_TRUE(sawAbort);
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 8 7", "NID_FIRMWARE_UPDATE_COMPLETED false"}), mRecorder->Take());

    // A new start clears the flag.
    mEngine->SetDeviceState(E::kDeviceInUpdateMode);
    mEngine->transfer = [&](ScriptedEngine& e) { return e.IsAbortRequested() ? E_ABORT : S_OK; };
    ASSERT_EQ(S_OK, mEngine->StartUpdate());
    EXPECT_EQ(S_OK, mEngine->WaitForUpdate(INFINITE));
    EXPECT_EQ((Posts{"NID_DEVICE_STATE_CHANGE 7 8", "NID_DEVICE_STATE_CHANGE 8 7", "NID_FIRMWARE_UPDATE_COMPLETED true"}),
              mRecorder->Take());
}

}  // namespace
