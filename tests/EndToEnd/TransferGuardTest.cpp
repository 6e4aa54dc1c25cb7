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
    // Said once, where a terminal or a script reads it.
    const std::string said =
        "FirmwareUpdater: the update was aborted by signal " + std::to_string(c.first) + ": Update aborted.";
    EXPECT_NE(output.find(said), std::string::npos) << output;
    EXPECT_EQ(output.find("the update was aborted"), output.rfind("the update was aborted")) << output;
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
    EXPECT_NE(output.find("FirmwareUpdater: the update was aborted: "), std::string::npos) << output;
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

// What the user does, in order, while the program waits for the device's
// identity reply after NEXT (`probe`) or while it is held (SIGSTOP) so that
// everything queues. An exit asked for before a transfer started ends the
// program with nothing sent and the flag never on; a NEXT or UPDATE
// FIRMWARE that came first starts the transfer, and the exit is then
// refused as during any transfer.
enum class Act { Next, Update, Exit, ReturnOnExit, Close, NetClose, AltF4, Signal };

struct OrderCase
{
    const char* name;
    bool nextShown;  // the device goes to update mode under NEXT; else UPDATE FIRMWARE is offered
    bool probe;      // the first act is NEXT, the others come while it waits for the device
    std::vector<Act> acts;
    bool exitWins;
};

void PrintTo(const OrderCase& c, std::ostream* os)
{
    *os << c.name;
}

class CloseWithNextTest : public TransferGuardTest, public ::testing::WithParamInterface<OrderCase>
{
protected:
    void Do(Act act, Window w)
    {
        Display* d = input.Connection();
        switch (act) {
        case Act::Next:
            return ClickControl("buttonManualDeviceReadyForUpdateButton");
        case Act::Update:
            return ClickControl("buttonUpdateFirmware");
        case Act::Exit:
            return ClickControl("buttonExit");
        case Act::ReturnOnExit:
            // The focus starts on UPDATE FIRMWARE; Tab moves it to EXIT.
            input.Key(XK_Tab);
            input.Key(XK_Return);
            return;
        case Act::Close:
            return SendCloseRequest(d, w);
        case Act::NetClose: {
            XEvent close{};
            close.xclient.type = ClientMessage;
            close.xclient.window = w;
            close.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
            close.xclient.format = 32;
            close.xclient.data.l[1] = 2;
            XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
                       &close);
            return;
        }
        case Act::AltF4:
            return input.Key(XK_F4, {XK_Alt_L});
        case Act::Signal:
            kill(mPid, SIGTERM);
            return;
        }
    }
    pid_t mPid = 0;
};

TEST_P(CloseWithNextTest, TheFirstOfTheUsersRequestsWins)
{
    const OrderCase& c = GetParam();
    const bool signal = c.acts.back() == Act::Signal;
    ASSERT_TRUE(sim.Start({"--mode", c.nextShown ? "normal" : "update", "--install-ms", "0"}));
    WriteImage(kChunkSize * 60);
    std::vector<std::string> args{"-ABSOLUTE_FIRMWARE_FILE_PATH=" + image};
    if (c.nextShown)
        args.insert(args.begin(), "-START_UPDATE_AUTOMATICALLY");
    const char* offered = c.nextShown ? "buttonManualDeviceReadyForUpdateButton" : "buttonUpdateFirmware";
    bool acted = false;
    bool refused = false;
    size_t asked = 0;
    auto last = std::chrono::steady_clock::now();
    const int code = RunWindowed(sim, dumpPath, "FirmwareUpdater", args, &output, [&](pid_t pid) {
        mPid = pid;
        Window w = 0;
        if (!Within(60, [&] { return Shows(offered, c.nextShown ? "NEXT" : "UPDATE"); }) ||
            !Within(60, [&] { return (w = ProgramWindow(pid)) != 0; }))
            return;
        if (c.nextShown && sim.Command("update-mode") != "ok")
            return;
        // The pointer rests on the title, where it moves nothing. A window
        // that is not active takes no clicks: the manager's focus comes
        // first, then the program's turn that took it.
        const Dump dump = ReadDump(dumpPath);
        input.MoveTo(dump.x + 10, dump.y + 10);
        input.Sync();
        if (!Within(30, [&] { return IsActive(w); }) || !MainThreadIdle(pid))
            return;
        asked = IdentityRequests(sim);
        if (c.probe) {
            Do(c.acts.front(), w);
            if (!Within(
                    30, [&] { return IdentityRequests(sim) > asked; }, 2))
                return;
            for (size_t i = 1; i < c.acts.size(); ++i)
                Do(c.acts[i], w);
        } else {
            kill(pid, SIGSTOP);
            for (const Act act : c.acts) {
                Do(act, w);
                // The manager takes each press first (its focus binding)
                // and hands it on: a pointer that moves on before that
                // would release elsewhere, as no hand does.
                input.Sync();
                MainThreadIdle(TestWindowManager().Pid());
            }
            kill(pid, SIGCONT);
        }
        input.Sync();
        last = std::chrono::steady_clock::now();
        acted = true;
        if (c.exitWins)
            return;
        // The transfer runs to its end, the exit refused, and the program
        // waits for the device to be looked at again.
        refused = Within(60, [&] { return Shows("buttonManualDeviceHasUpdatedRescanButton", "NEXT"); });
        server.Screenshot(std::string("close-with-next-") + c.name);
        kill(pid, SIGTERM);
    });
    ASSERT_TRUE(acted) << output;
    ExpectFlagCleared();
    // NEXT was handled: its probe asked the device once.
    if (c.nextShown) {
        EXPECT_EQ(IdentityRequests(sim), asked + 1);
    }
    const std::vector<std::string> requests = sim.Requests();
    if (c.exitWins) {
        EXPECT_EQ(code, signal ? 128 + SIGTERM : 0) << output;
        EXPECT_TRUE(sim.Received().empty());
        EXPECT_EQ(std::count(requests.begin(), requests.end(), "update-flag 1"), 0);
        if (signal) {
            EXPECT_LT(std::chrono::steady_clock::now() - last, std::chrono::milliseconds(1500));
        }
    } else {
        EXPECT_TRUE(refused) << output;
        EXPECT_EQ(code, 128 + SIGTERM) << output;
        EXPECT_EQ(sim.Received().size(), kChunkSize * 60);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, CloseWithNextTest,
    ::testing::Values(OrderCase{"CloseDuringTheProbe", true, true, {Act::Next, Act::Close}, true},
                      OrderCase{"NetCloseDuringTheProbe", true, true, {Act::Next, Act::NetClose}, true},
                      OrderCase{"AltF4DuringTheProbe", true, true, {Act::Next, Act::AltF4}, true},
                      OrderCase{"SignalDuringTheProbe", true, true, {Act::Next, Act::Signal}, true},
                      OrderCase{"CloseThenNext", true, false, {Act::Close, Act::Next}, true},
                      OrderCase{"NextThenClose", true, false, {Act::Next, Act::Close}, false},
                      OrderCase{"ExitThenUpdate", false, false, {Act::Exit, Act::Update}, true},
                      OrderCase{
                          "ReturnOnExitThenUpdate", false, false, {Act::ReturnOnExit, Act::Update}, true},
                      OrderCase{"CloseThenUpdate", false, false, {Act::Close, Act::Update}, true},
                      OrderCase{"UpdateThenExit", false, false, {Act::Update, Act::Exit, Act::Close}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
