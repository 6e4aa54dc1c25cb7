// The real FirmwareUpdater's window under a window manager (openbox) on a
// private X server, updating a real mixer-sim process, while the desktop
// tries to end it: close requests to the inactive window, signals, another
// client destroying the window, and the exit right after a transfer. Every
// case reads the device's update flag and the bytes it received.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "Pace.h"
#include "ProgramWindow.h"
#include "tests/Common/Openbox.h"

#include <X11/keysym.h>

namespace {

// Big enough that the transfer runs for seconds at the program's pace.
constexpr size_t kLongImage = kChunkSize * 400;

class TransferGuardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The program's window may be gone by the time a request names it.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        ASSERT_TRUE(server.Running());
        ASSERT_TRUE(TestWindowManager().Running());
        dumpPath = sim.Root() + "/ui.txt";
        image = sim.Root() + "/image.syx";
    }

    void WriteImage(size_t size) { ::WriteImage(image, size); }

    // Runs the program with the window, starting the transfer at once, and
    // `meanwhile` beside it; its exit status.
    int RunProgram(const std::function<void(pid_t)>& meanwhile, int deadlineMs = SimProcess::kDeadlineMs)
    {
        return RunWindowed(sim, dumpPath, "FirmwareUpdater",
                           {"-START_UPDATE_AUTOMATICALLY", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image}, &output,
                           meanwhile, {}, deadlineMs);
    }

    // The dump shows `name` with a text holding `text`.
    bool Shows(const std::string& name, const std::string& text)
    {
        const Control c = ReadDump(dumpPath).controls[name];
        return c.shown && c.text.find(text) != std::string::npos;
    }

    Window ProgramWindow(pid_t pid) { return FindProgramWindow(input.Connection(), pid); }

    bool IsActive(Window w)
    {
        Display* d = input.Connection();
        return CardinalOf(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW") == long(w);
    }

    void ClickControl(const std::string& name)
    {
        const Dump dump = ReadDump(dumpPath);
        ::ClickControl(input, dump, dump.controls.at(name));
    }

    void SendCloseRequests(Window w) { ::SendCloseRequests(input, w); }

    void ExpectFlagCleared()
    {
        const std::string status = sim.Command("status");
        EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    }

    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
    std::string dumpPath;
    std::string image;
    std::string output;
};

TEST_F(TransferGuardTest, CloseRequestsToTheInactiveWindowNeverCutTheTransfer)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--take-delay-ms", "5"}));
    WriteImage(kLongImage);
    bool refusedAll = false;
    const int code = RunProgram([&](pid_t pid) {
        Window w = 0;
        if (!Within(60, [&] { return SentChunks(sim) >= 5 && (w = ProgramWindow(pid)) != 0; }))
            return;
        // Outside the window: the desktop takes the focus.
        const Dump dump = ReadDump(dumpPath);
        input.MoveTo(dump.x > 40 ? 10 : 1270, 1010);
        input.Click(1);
        input.Sync();
        if (!Within(10, [&] { return !IsActive(w); }))
            ADD_FAILURE() << "the window stayed active";
        SendCloseRequests(w);
        server.Screenshot("transfer-guard-inactive-close");
        // Every chunk still arrives; the program then waits for the device.
        refusedAll = Within(60, [&] { return Shows("buttonManualDeviceHasUpdatedRescanButton", "NEXT"); });
        kill(pid, SIGTERM);
    });
    EXPECT_TRUE(refusedAll) << output;
    EXPECT_EQ(code, 128 + SIGTERM) << output;
    EXPECT_EQ(sim.Received().size(), kLongImage);
    ExpectFlagCleared();
}

struct SignalCase
{
    const char* name;
    int first;
    int second;  // 0: none
};

void PrintTo(const SignalCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowSignalTest : public TransferGuardTest, public ::testing::WithParamInterface<SignalCase>
{
};

TEST_P(WindowSignalTest, ASignalAbortsTheTransferAndClearsTheFlagBeforeTheProgramEndsByIt)
{
    const SignalCase& c = GetParam();
    // A slow device: the channel has chunks to drain when the signal comes.
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--take-delay-ms", "120"}));
    WriteImage(kLongImage);
    const int code = RunProgram([&](pid_t pid) {
        if (!Within(60, [&] { return SentChunks(sim) >= 20; }))
            return;
        kill(pid, c.first);
        if (c.second == 0)
            return;
        // While the channel drains what the device has not taken yet.
        const size_t sent = SentChunks(sim);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_LE(SentChunks(sim), sent + 3) << "still sending";
        kill(pid, c.second);
    });
    EXPECT_EQ(code, 128 + c.first) << output;
    EXPECT_LT(sim.Received().size(), kLongImage);
    ExpectFlagCleared();
    EXPECT_EQ(sim.LastRequests(3), (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowSignalTest,
                         ::testing::Values(SignalCase{"Interrupt", SIGINT, 0},
                                           SignalCase{"Terminate", SIGTERM, 0},
                                           SignalCase{"HangUp", SIGHUP, 0},
                                           SignalCase{"TerminateTwice", SIGTERM, SIGTERM},
                                           SignalCase{"InterruptThenTerminate", SIGINT, SIGTERM}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferGuardTest, AnotherClientDestroyingTheWindowEndsTheProgramAsOnALostDisplay)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--take-delay-ms", "5"}));
    WriteImage(kLongImage);
    const int code = RunProgram(
        [&](pid_t pid) {
            Window w = 0;
            if (!Within(60, [&] { return SentChunks(sim) >= 5 && (w = ProgramWindow(pid)) != 0; }))
                return;
            XDestroyWindow(input.Connection(), w);
            input.Sync();
        },
        60000);
    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find("Display lost: another client destroyed the main window"), std::string::npos)
        << output;
    ExpectFlagCleared();
    EXPECT_EQ(sim.LastRequests(3), (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
}

TEST_F(TransferGuardTest, ChunksTheDeviceNeverTookMakeTheTransferAFailure)
{
    // Fewer chunks than the channel holds: every send is accepted.
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--never-take"}));
    WriteImage(kChunkSize * 10);
    bool failed = false;
    const int code = RunProgram([&](pid_t pid) {
        failed = Within(60, [&] {
            return Shows("labelDeviceCannotUpdateError", "the device can not be accessed") &&
                   Shows("buttonExit", "EXIT");
        });
        server.Screenshot("transfer-guard-never-taken");
        const Window w = ProgramWindow(pid);
        if (failed && w)
            SendCloseRequests(w);  // a failed transfer lets the user leave
    });
    EXPECT_TRUE(failed) << "the window shows: \""
                        << ReadDump(dumpPath).controls["labelUpdateProcessInformation"].text << "\"";
    EXPECT_EQ(code, 0) << output;
    ExpectFlagCleared();
    const auto log = sim.LogLines();
    EXPECT_EQ(std::find(log.begin(), log.end(), "state installing"), log.end());
}

struct AfterSuccessCase
{
    const char* name;
    const char* installMs;
    // What the window shows once the rescan looked at the device; nothing
    // for a device that never comes back, whose rescan changes no text.
    const char* control;
    const char* text;
};

void PrintTo(const AfterSuccessCase& c, std::ostream* os)
{
    *os << c.name;
}

class AfterSuccessTest : public TransferGuardTest, public ::testing::WithParamInterface<AfterSuccessCase>
{
};

TEST_P(AfterSuccessTest, TheExitWaitsUntilTheDeviceIsLookedAtAgain)
{
    const AfterSuccessCase& c = GetParam();
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", c.installMs}));
    WriteImage(kChunkSize * 20);
    bool rescanned = false;
    const int code = RunProgram([&](pid_t pid) {
        Window w = 0;
        if (!Within(60, [&] {
                return Shows("buttonManualDeviceHasUpdatedRescanButton", "NEXT") &&
                       (w = ProgramWindow(pid)) != 0;
            }))
            return;
        // While the device installs: refused.
        SendCloseRequests(w);
        if (c.control &&
            !Within(60, [&] { return sim.Command("status").find("installing=0") != std::string::npos; }))
            return;
        ClickControl("buttonManualDeviceHasUpdatedRescanButton");
        rescanned = !c.control || Within(30, [&] { return Shows(c.control, c.text); });
        server.Screenshot(std::string("transfer-guard-after-rescan-") + c.name);
        // The device was looked at: the user may leave, whatever it answered.
        SendCloseRequests(w);
    });
    EXPECT_TRUE(rescanned) << output;
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(sim.Received().size(), kChunkSize * 20);
    ExpectFlagCleared();
}

INSTANTIATE_TEST_SUITE_P(Devices, AfterSuccessTest,
                         ::testing::Values(AfterSuccessCase{"BackWithTheNewVersion", "3000",
                                                            "labelUpdateProcessInformation",
                                                            "has been successfully updated"},
                                           // It never comes back: the rescan finds nothing, and that ends the
                                           // wait (the program would otherwise stay until its deadline).
                                           AfterSuccessCase{"NeverBack", "600000", nullptr, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The program's main thread waits in its loop's poll, seen twice 100 ms
// apart: it has handled what the device's change of mode told it. Where
// the kernel does not name the wait, asleep stands for it.
bool MainThreadIdle(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto waiting = [&] {
        std::string where;
        std::ifstream(proc + "/wchan") >> where;
        if (where.empty() || where == "0") {
            std::string stat;
            std::getline(std::ifstream(proc + "/stat"), stat);
            const size_t end = stat.rfind(')');
            return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'S';
        }
        return where.find("poll") != std::string::npos;
    };
    return Within(30, [&] {
        if (!waiting())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return waiting();
    });
}

// A close request and a NEXT click that reach the window together: both
// queued while the program is stopped, in either order, or the close sent
// while NEXT's handler waits for the device's identity reply. Whichever the
// program takes first, it ends with the flag 0, having sent nothing or the
// whole image: an exit once accepted starts no transfer, and a transfer
// once started refuses the exit. A signal in that wait ends the program at
// once, not when the wait is over, and starts nothing.
enum class Together { NextFirst, CloseFirst, CloseDuringTheProbe, SignalDuringTheProbe };

const char* TogetherName(Together t)
{
    static const char* const kNames[] = {"NextFirst", "CloseFirst", "CloseDuringTheProbe",
                                         "SignalDuringTheProbe"};
    return kNames[int(t)];
}

void PrintTo(Together t, std::ostream* os)
{
    *os << TogetherName(t);
}

class CloseWithNextTest : public TransferGuardTest, public ::testing::WithParamInterface<Together>
{
};

TEST_P(CloseWithNextTest, NeverEndsTheProgramMidTransfer)
{
    const Together order = GetParam();
    const bool probed = order == Together::CloseDuringTheProbe || order == Together::SignalDuringTheProbe;
    ASSERT_TRUE(sim.Start({"--mode", "normal", "--install-ms", "0"}));
    WriteImage(kChunkSize * 60);
    bool queued = false;
    bool transferred = false;
    auto signalled = std::chrono::steady_clock::now();
    const int code = RunProgram([&](pid_t pid) {
        Window w = 0;
        if (!Within(60, [&] {
                return Shows("buttonManualDeviceReadyForUpdateButton", "NEXT") &&
                       (w = ProgramWindow(pid)) != 0;
            }))
            return;
        if (sim.Command("update-mode") != "ok" || !MainThreadIdle(pid))
            return;
        Display* d = input.Connection();
        if (probed) {
            const size_t asked = IdentityRequests(sim);
            ClickControl("buttonManualDeviceReadyForUpdateButton");
            if (!Within(
                    30, [&] { return IdentityRequests(sim) > asked; }, 2))
                return;
            signalled = std::chrono::steady_clock::now();
            if (order == Together::SignalDuringTheProbe)
                kill(pid, SIGTERM);
            else
                SendCloseRequest(d, w);
            input.Sync();
        } else {
            kill(pid, SIGSTOP);
            if (order == Together::NextFirst)
                ClickControl("buttonManualDeviceReadyForUpdateButton");
            SendCloseRequest(d, w);
            if (order == Together::CloseFirst)
                ClickControl("buttonManualDeviceReadyForUpdateButton");
            input.Sync();
            kill(pid, SIGCONT);
        }
        queued = true;
        // A transfer that started refuses the close; it runs to its end and
        // the program waits for the device to be looked at again.
        if (Within(30, [&] { return !ProgramWindow(pid) || SentChunks(sim) > 0; }) && SentChunks(sim) > 0) {
            transferred =
                Within(60, [&] { return Shows("buttonManualDeviceHasUpdatedRescanButton", "NEXT"); });
            kill(pid, SIGTERM);
        }
    });
    ASSERT_TRUE(queued) << output;
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    if (order == Together::SignalDuringTheProbe) {
        EXPECT_EQ(code, 128 + SIGTERM) << output;
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(1500));
        EXPECT_EQ(SentChunks(sim), 0u);
    } else if (SentChunks(sim) == 0) {
        EXPECT_EQ(code, 0) << output;
        EXPECT_TRUE(sim.Received().empty());
    } else {
        EXPECT_TRUE(transferred) << output;
        EXPECT_EQ(code, 128 + SIGTERM) << output;
        EXPECT_EQ(sim.Received().size(), kChunkSize * 60);
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, CloseWithNextTest,
                         ::testing::Values(Together::NextFirst, Together::CloseFirst,
                                           Together::CloseDuringTheProbe, Together::SignalDuringTheProbe),
                         [](const auto& info) { return std::string(TogetherName(info.param)); });

}  // namespace
