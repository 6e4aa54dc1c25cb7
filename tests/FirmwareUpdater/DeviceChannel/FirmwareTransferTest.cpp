#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

#include "ChannelFixture.h"
#include "tests/Common/TestScope.h"
#include "DeviceChannel/FirmwareTransfer.h"
#include "DeviceChannel/PrivateMidi.h"
#include "Engine/UpdateEngine.h"
#include "Threading/ChunkPacer.h"

namespace {

// The program's pace, and an image of three chunks with the last one partly
// padding.
constexpr uint16_t kChunk = LUpdateEngine::kChunkSize;
constexpr uint16_t kPause = LUpdateEngine::kChunkPauseMs;
constexpr size_t kThreeChunks = 2 * kChunk + 44;

// Records what the transfer reports; the abort flag comes up after a number
// of progress posts or of abort tests.
class Host : public FirmwareTransferHost
{
public:
    bool IsAbortRequested() override
    {
        ++abortTests;
        return abort || (abortFromTest != 0 && abortTests >= abortFromTest);
    }
    void SetUpdateState(int32_t state) override { updateState = state; }
    void SetDeviceState(int32_t state) override { deviceState = state; }
    void SetCannotUpdateReason(uint32_t r) override { reason = r; }
    Tavo::WString GetFirmwarePath() override { return Tavo::WString(Tavo::NString(path.c_str())); }
    void PostUpdateProgress(uint32_t stage, double fraction, bool automatic, int32_t remaining, bool second,
                            const Tavo::WString& text) override
    {
        EXPECT_TRUE(stage == 0 && automatic && remaining == -1 && !second && text.IsEmpty());
        progress.push_back(fraction);
        if (onProgress)
            onProgress(progress.size());
    }
    void PostUpdateCompleted(bool success) override { completed.push_back(success); }
    uint16_t GetChunkSize() override { return kChunk; }
    uint16_t GetChunkPauseMs() override { return pauseMs; }

    std::string path;
    uint16_t pauseMs = 0;
    bool abort = false;
    int abortFromTest = 0, abortTests = 0;
    int32_t updateState = 0, deviceState = 8;
    uint32_t reason = 0;
    std::vector<double> progress;
    std::vector<bool> completed;
    std::function<void(size_t)> onProgress;
};

class FirmwareTransferTest : public ::testing::Test
{
protected:
    FirmwareTransferTest() { f.AddInstance(ChannelFixture::Record(1), 1); }

    std::vector<uint8_t> Image(size_t size)
    {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 7 + 1);
        host.path = folder + "/firmware.bin";
        std::ofstream(host.path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), long(size));
        return bytes;
    }

    // The channel's requests and the update flag, as "flag 1, event, open 0, send, ...".
    std::string Sequence()
    {
        std::string out;
        for (const auto& r : f.ChannelRequests()) {
            const bool flag = Is(r, Driver::kDriverControlSet, Driver::kDriverUpdateFlag);
            const uint32_t id = r.header.id;
            out += std::string(out.empty() ? "" : ", ") +
                   (flag                            ? "flag " + std::to_string(ValueNumber(r))
                    : id == Driver::kMidiSetEvent   ? std::string("event")
                    : id == Driver::kMidiClearEvent ? std::string("clear")
                    : id == Driver::kMidiSend       ? std::string("send")
                    : id == Driver::kMidiOpenPort   ? "open " + std::to_string(ValueNumber(r))
                    : id == Driver::kMidiClose      ? "close " + std::to_string(ValueNumber(r))
                                                    : std::to_string(id));
        }
        return out;
    }

    bool FlagLeftOn()
    {
        const std::string seq = Sequence();
        const size_t on = seq.rfind("flag 1"), off = seq.rfind("flag 0");
        return on != std::string::npos && (off == std::string::npos || on > off);
    }

    void ExpectFailure(Tavo::TavoResult hr, uint32_t expectedReason, Tavo::TavoResult expected = Tavo::E_FAIL)
    {
        EXPECT_EQ(hr, expected);
        EXPECT_EQ(host.updateState, kUpdateFailed);
        EXPECT_EQ(host.deviceState, kDeviceCannotUpdate);
        EXPECT_EQ(host.reason, expectedReason);
        EXPECT_FALSE(FlagLeftOn());
    }

    ChannelFixture f{false};
    TestFolder dir;
    const std::string folder = dir.Path();
    Host host;
};

TEST_F(FirmwareTransferTest, ImageGoesOutInPaddedChunks)
{
    const auto bytes = Image(kThreeChunks);
    EXPECT_EQ(PerformPrivateMidiUpdate(host), Tavo::S_OK);
    EXPECT_EQ(host.updateState, kUpdateSucceeded);
    EXPECT_EQ(host.deviceState, 8);
    EXPECT_TRUE(host.completed.empty());
    // The flag cleared first, whatever an earlier run left, then set; all
    // through the channel's one handle.
    EXPECT_EQ(Sequence(), "event, flag 0, flag 1, open 0, send, send, send, close 1, clear, flag 0");
    EXPECT_EQ(f.mDriver->OpenCount(), 1);
    std::vector<uint8_t> joined, padded = bytes;
    for (const auto& m : f.mDriver->Messages())
        joined.insert(joined.end(), m.begin(), m.end());
    padded.resize(3 * kChunk, 0);
    EXPECT_EQ(joined, padded);
    EXPECT_EQ(host.progress,
              (std::vector<double>{double(kChunk) / kThreeChunks, 2.0 * kChunk / kThreeChunks, 1.0}));

    // A backslash is a character of the name: the file that a separator in
    // its place would name is not read.
    host = Host();
    Image(2 * kChunk);
    host.path = folder + "\\firmware.bin";
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonFileAccess);
    EXPECT_EQ(f.mDriver->Messages().size(), 3u);
}

// The pauses the transfer sleeps, on the test's clock: how many chunks the
// driver had when each began, and its length.
std::vector<std::pair<size_t, uint32_t>> gPauses;
std::function<size_t()> gSentSoFar;

void RecordPause(uint32_t ms)
{
    gPauses.emplace_back(gSentSoFar(), ms);
}

TEST_F(FirmwareTransferTest, EachChunkIsFollowedByTheWholePauseReadAfterIt)
{
    gSentSoFar = [this] { return f.mDriver->Messages().size(); };
    Tavo::ChunkPacer::SetSleepForTesting(RecordPause);
    Image(kThreeChunks);
    host.pauseMs = kPause;
    // Changed after the second chunk's progress: its own pause is the new one.
    host.onProgress = [&](size_t posts) { host.pauseMs = posts >= 2 ? 0 : kPause; };
    EXPECT_EQ(PerformPrivateMidiUpdate(host), Tavo::S_OK);
    EXPECT_EQ(f.mDriver->Messages().size(), 3u);
    EXPECT_EQ(gPauses, (std::vector<std::pair<size_t, uint32_t>>{{1, kPause}}));

    host.onProgress = [&](size_t posts) { host.pauseMs = posts >= 2 ? kPause + 7 : kPause; };
    host.progress.clear();
    gPauses.clear();
    EXPECT_EQ(PerformPrivateMidiUpdate(host), Tavo::S_OK);
    EXPECT_EQ(gPauses,
              (std::vector<std::pair<size_t, uint32_t>>{{4, kPause}, {5, kPause + 7}, {6, kPause + 7}}));
    Tavo::ChunkPacer::SetSleepForTesting(nullptr);
    gSentSoFar = nullptr;
}

TEST_F(FirmwareTransferTest, AbortWhileSendingIsADeviceFailure)
{
    // Seen before the flag goes on (an abort that found no hold does not wait
    // for the transfer): the flag is never touched.
    Image(10 * kChunk);
    host.abort = true;
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonDeviceAccess, Tavo::E_ABORT);
    EXPECT_EQ(Sequence(), "event, close 1, clear");

    host = Host();
    Image(10 * kChunk);
    host.onProgress = [&](size_t posts) { host.abort = posts == 3; };
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonDeviceAccess, Tavo::E_ABORT);
    EXPECT_EQ(f.mDriver->Messages().size(), 3u);
    EXPECT_EQ(host.progress.size(), 3u);
    EXPECT_TRUE(host.completed.empty());
}

TEST_F(FirmwareTransferTest, AbortAfterTheLastChunkLeavesTheDeviceInUpdateMode)
{
    Image(2 * kChunk);
    // One test before the flag, two before the chunks, one after the loop;
    // the next one sees it.
    host.abortFromTest = 5;
    host.reason = 9;
    EXPECT_EQ(PerformPrivateMidiUpdate(host), Tavo::E_ABORT);
    EXPECT_EQ(f.mDriver->Messages().size(), 2u);
    EXPECT_TRUE(host.updateState == kUpdateAborted && host.deviceState == kDeviceInUpdateMode &&
                host.reason == 9);
    EXPECT_EQ(host.completed, std::vector<bool>{false});
    EXPECT_FALSE(FlagLeftOn());
}

TEST_F(FirmwareTransferTest, FileProblemsAreFileAccessFailures)
{
    // No folder in the path: the device is never asked anything.
    host.path = "firmware.bin";
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonFileAccess);
    EXPECT_EQ(Sequence(), "");

    // Missing, or a folder that opens but cannot be read as an image.
    for (const std::string& path : {folder + "/missing.bin", folder}) {
        host = Host();
        host.path = path;
        ExpectFailure(PerformPrivateMidiUpdate(host), kReasonFileAccess);
        EXPECT_TRUE(f.mDriver->Messages().empty() && host.progress.empty());
    }

    // A file that reads shorter than its stated length (a kernel attribute).
    const char* shortFile = "/sys/devices/system/cpu/online";
    struct stat st = {};
    if (stat(shortFile, &st) == 0 && st.st_size == 4096) {
        host = Host();
        host.path = shortFile;
        ExpectFailure(PerformPrivateMidiUpdate(host), kReasonFileAccess);
        EXPECT_TRUE(f.mDriver->Messages().empty());
    }

    // Nor for an empty image.
    host = Host();
    Image(0);
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonFileAccess);
    EXPECT_EQ(f.mDriver->Requests().size(), 0u);
}

TEST_F(FirmwareTransferTest, DeviceProblemsAreDeviceAccessFailures)
{
    Image(4 * kChunk);
    // A driver that takes no flag: no port, nothing sent; the flag's
    // clearing is still tried, through the channel and then a handle of its
    // own.
    f.mDriver->Refuse(Driver::kDriverControlSet, Driver::kDriverUpdateFlag);
    EXPECT_EQ(PerformPrivateMidiUpdate(host), Tavo::E_FAIL);
    EXPECT_TRUE(host.deviceState == kDeviceCannotUpdate && host.reason == kReasonDeviceAccess);
    EXPECT_EQ(Sequence(), "event, flag 0, close 1, clear, flag 0, flag 0");
    f.mDriver->Refuse(Driver::kDriverControlSet, Driver::kDriverUpdateFlag, false);

    // The second chunk is refused: nothing further goes out.
    host = Host();
    Image(4 * kChunk);
    host.onProgress = [&](size_t) { f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiSend); };
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonDeviceAccess);
    EXPECT_EQ(host.progress.size(), 1u);
    EXPECT_EQ(f.mDriver->Messages().size(), 2u);
    EXPECT_TRUE(Sequence().ends_with("send, send, close 1, clear, flag 0")) << Sequence();
    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiSend, false);

    // The port did not open: the first send fails.
    host = Host();
    Image(4 * kChunk);
    f.mDriver->Refuse(Driver::kMidiChannelSet, Driver::kMidiOpenPort);
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonDeviceAccess);
    EXPECT_TRUE(host.progress.empty());
}

// True once `done` holds; false after a generous deadline.
bool Eventually(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A device that goes away under the channel's handle and comes back (a reset
// of its own) has dropped what it took and its flag: the transfer fails, in
// the middle and also when only the drain was left. The watcher sees it go
// and come back, so the channel has a working handle again: only the mark
// the lost handle left tells that the flag would reach another device.
TEST_F(FirmwareTransferTest, ADeviceThatReEnumeratesMeanwhileFailsTheTransfer)
{
    for (size_t at : {size_t(2), size_t(4)}) {
        host = Host();
        Image(4 * kChunk);
        host.onProgress = [&](size_t posts) {
            if (posts != at)
                return;
            const int opened = f.mDriver->OpenCount(), closed = f.mDriver->CloseCount();
            f.mDriver->Detach();
            f.SetAttached(ChannelFixture::Record(1), false);
            // The watcher closed the handle the device left behind...
            ASSERT_TRUE(Eventually([&] { return f.mDriver->CloseCount() > closed; }));
            f.SetAttached(ChannelFixture::Record(1), true);
            // ...and opened one on the device that came back.
            ASSERT_TRUE(Eventually([&] { return f.mDriver->OpenCount() > opened; }));
        };
        ExpectFailure(PerformPrivateMidiUpdate(host), kReasonDeviceAccess);
        EXPECT_EQ(host.progress.size(), at);
    }
}

TEST_F(FirmwareTransferTest, AnExceptionStillReleasesTheChannelAndTheFlag)
{
    Image(4 * kChunk);
    host.onProgress = [](size_t) { throw std::runtime_error("post failed"); };
    ExpectFailure(PerformPrivateMidiUpdate(host), kReasonDeviceAccess);
    EXPECT_TRUE(Sequence().ends_with("close 1, clear, flag 0")) << Sequence();
}

}  // namespace
