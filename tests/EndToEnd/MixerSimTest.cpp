// The simulated mixer's own commands and exits, and the program's quiet
// update cut short by a signal or given a path that arrives quoted.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Pace.h"
#include "tools/mixer-sim/ControlSocket.h"
#include "tools/mixer-sim/SimOptions.h"

namespace {

namespace fs = std::filesystem;

// Its keys, sockets and the folders it made are gone; the root, which held
// them before (and its log), stays.
void ExpectCleanedUp(const SimProcess& sim)
{
    EXPECT_EQ(fs::exists(sim.Root() + "/sim.log"), true);
    for (const char* made : {"/registry", "/midi", "/driver", "/mixer-sim.sock"})
        EXPECT_FALSE(fs::exists(sim.Root() + made)) << made;
}

TEST(MixerSim, ControlCommandsAndCleanExit)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--mode", "absent", "--version", "0.0.3.7"}));
    EXPECT_TRUE(sim.WaitStatus("state=detached mode=normal version=0.0.3.7"));
    EXPECT_EQ(sim.Command("attach"), "ok");
    EXPECT_TRUE(sim.WaitStatus("state=attached mode=normal"));
    EXPECT_EQ(sim.Command("update-mode"), "ok");
    EXPECT_TRUE(sim.WaitStatus("state=attached mode=update"));
    EXPECT_EQ(sim.Command("detach"), "ok");
    EXPECT_TRUE(sim.WaitStatus("state=detached"));
    EXPECT_EQ(sim.Command("normal-mode"), "ok");
    EXPECT_EQ(sim.Command("jump").rfind("error", 0), 0u);

    const std::vector<std::string> ctl = {SimProcess::BinFolder() + "/mixer-sim-ctl", "--root", sim.Root(),
                                          "status"};
    std::string out;
    EXPECT_EQ(SimProcess::Run(ctl, {}, &out), 0);
    EXPECT_EQ(out.rfind("state=attached mode=normal", 0), 0u) << out;
    EXPECT_EQ(sim.Quit(), 0);
    ExpectCleanedUp(sim);
    EXPECT_NE(SimProcess::Run(ctl, {}, &out), 0);

    ASSERT_TRUE(sim.Start({"--mode", "update"}));
    EXPECT_EQ(sim.Stop(SIGTERM), 0);  // as cleanly as quit
    ExpectCleanedUp(sim);
}

// Only what it made goes on exit: a folder that was there before, or that
// holds what another program put there, stays; so does the root it was given
// when it was there before. Ended by quit or by a signal.
TEST(MixerSim, AnExitRemovesTheFoldersItMadeAndNothingElse)
{
    SimProcess folder;  // its folder only
    for (const int signal : {0, SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        // Missing up to a level above: all goes.
        const std::string fresh = folder.Root() + "/fresh " + std::to_string(signal);
        const std::string freshRoot = fresh + "/platform";
        // There already with what others keep there.
        const std::string used = folder.Root() + "/used " + std::to_string(signal);
        fs::create_directories(used + "/registry/Software/Other");
        fs::create_directories(used + "/midi");
        std::ofstream(used + "/midi/other-port.sock") << "";
        for (const std::string& root : {freshRoot, used}) {
            std::string output;
            const int code = SimProcess::Run(
                {SimProcess::BinFolder() + "/mixer-sim", "--root", root}, {}, &output, 30000, nullptr,
                [&](pid_t pid) {
                    std::string reply;
                    const std::string socket = MixerSim::ControlSocketPath(root);
                    Within(30, [&] { return MixerSim::SendCommand(socket, "status", reply); });
                    if (signal)
                        kill(pid, signal);
                    else
                        MixerSim::SendCommand(socket, "quit", reply);
                });
            EXPECT_EQ(code, 0) << output;
        }
        EXPECT_FALSE(fs::exists(fresh));
        std::vector<std::string> left;
        for (const auto& entry : fs::recursive_directory_iterator(used))
            left.push_back(entry.path().string().substr(used.size()));
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"/midi", "/midi/other-port.sock", "/registry",
                                                  "/registry/Software", "/registry/Software/Other"}));
    }
}

// mixer-sim-ctl: a wrong argument, a word the simulator does not know
// among them, ends with 2 and the usage, whether a simulator answers or not.
TEST(MixerSim, TheControlCommandEndsWithTwoOnAWrongArgument)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    for (const std::string& root : {sim.Root(), sim.Root() + "/no simulator"}) {
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"jump"}, {"Status"}, {"status", "quit"}, {"--frobnicate"}, {}}) {
            std::vector<std::string> argv = {SimProcess::BinFolder() + "/mixer-sim-ctl", "--root", root};
            argv.insert(argv.end(), args.begin(), args.end());
            std::string out;
            EXPECT_EQ(SimProcess::Run(argv, {}, &out), 2) << root << " " << (args.empty() ? "" : args[0]);
            EXPECT_NE(out.find("usage: mixer-sim-ctl"), std::string::npos) << out;
        }
    }
    // None of them reached the simulator as a command.
    EXPECT_TRUE(sim.WaitStatus("state=attached mode=normal", 0));
    EXPECT_EQ(sim.Quit(), 0);
}

TEST(MixerSim, BadArgumentsEndWithAMessage)
{
    const std::string sim = SimProcess::BinFolder() + "/mixer-sim";
    for (std::vector<std::string> args : {std::vector<std::string>{"--mode", "sleepy"},
                                          {"--version", "1.2.3"},
                                          {"--version", "0.0.3.128"},
                                          {"--refuse-chunk", "0"},
                                          {"--root"},
                                          {"--install-ms", "-5"},
                                          {"--devices", "0"},
                                          {"--devices", "9"},
                                          {"--frobnicate"}}) {
        std::vector<std::string> argv = {sim};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out;
        EXPECT_EQ(SimProcess::Run(argv, {}, &out), 2) << args[0];
        EXPECT_NE(out.find("mixer-sim: "), std::string::npos) << out;
    }
}

class QuietRun : public ::testing::Test
{
protected:
    QuietRun()
    {
        unsetenv("DISPLAY");
        const std::string image = sim.Root() + "/fw dir/new image.syx";
        fs::create_directories(sim.Root() + "/fw dir");
        std::ofstream(image, std::ios::binary) << std::string(kSize, '\x21');
        quotedPath = "-ABSOLUTE_FIRMWARE_FILE_PATH=\"" + image + "\"";
    }

    // A run that ends by a signal says so in one line on standard error;
    // one that updated says nothing.
    int RunUpdater(const std::function<void(pid_t)>& meanwhile = {}, int abortedBy = 0)
    {
        std::string output;
        const int code =
            SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater", "-SILENT", quotedPath},
                            sim.ProgramEnvironment(), &output, SimProcess::kDeadlineMs, nullptr, meanwhile);
        EXPECT_EQ(output, abortedBy == 0 ? std::string()
                                         : "FirmwareUpdater -SILENT: the update was aborted by signal " +
                                               std::to_string(abortedBy) + ": Update aborted.\n");
        return code;
    }

    // 500 chunks: ten seconds at the program's pace.
    static constexpr size_t kSize = kChunkSize * 500;
    SimProcess sim;
    std::string quotedPath;
};

struct EndingSignal
{
    const char* name;
    int signal;
};

void PrintTo(const EndingSignal& c, std::ostream* os)
{
    *os << c.name;
}

class QuietUpdate : public QuietRun, public ::testing::WithParamInterface<EndingSignal>
{
};

TEST_P(QuietUpdate, ASignalAbortsTheTransferBeforeTheProcessEndsByIt)
{
    const int signal = GetParam().signal;
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    const int code = RunUpdater(
        [&](pid_t pid) {
            Within(
                SimProcess::kDeadlineMs / 1000, [&] { return SentChunks(sim) > 0; }, 5);
            kill(pid, signal);
        },
        signal);
    EXPECT_EQ(code, 128 + signal);

    EXPECT_LT(sim.Received().size(), kSize);
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    EXPECT_EQ(sim.LastRequests(3), (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
    EXPECT_EQ(sim.Quit(), 0);
}

// Every signal whose default action ends the process takes that way: SIGQUIT
// too (its core dump comes once the flag is clear), the user's, the timers'
// and limits' (none of them used by the program) and the real-time ones.
INSTANTIATE_TEST_SUITE_P(
    Signals, QuietUpdate,
    ::testing::Values(EndingSignal{"SIGINT", SIGINT}, EndingSignal{"SIGTERM", SIGTERM},
                      EndingSignal{"SIGHUP", SIGHUP}, EndingSignal{"SIGQUIT", SIGQUIT},
                      EndingSignal{"SIGUSR1", SIGUSR1}, EndingSignal{"SIGUSR2", SIGUSR2},
                      EndingSignal{"SIGALRM", SIGALRM}, EndingSignal{"SIGVTALRM", SIGVTALRM},
                      EndingSignal{"SIGPROF", SIGPROF}, EndingSignal{"SIGXCPU", SIGXCPU},
                      EndingSignal{"SIGXFSZ", SIGXFSZ}, EndingSignal{"SIGIO", SIGIO},
                      EndingSignal{"SIGPWR", SIGPWR}, EndingSignal{"SIGSTKFLT", SIGSTKFLT},
                      EndingSignal{"SIGRTMIN", SIGRTMIN}, EndingSignal{"SIGRTMIN_1", SIGRTMIN + 1},
                      EndingSignal{"SIGRTMAX", SIGRTMAX}),
    [](const auto& info) { return std::string(info.param.name); });

// Ignored by whoever started the program (nohup, a script's background
// job), a signal stays ignored: the transfer runs to its end.
TEST_F(QuietRun, ASignalIgnoredAtTheStartStaysIgnored)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    constexpr size_t kShort = kChunkSize * 60;
    std::ofstream(sim.Root() + "/fw dir/new image.syx", std::ios::binary | std::ios::trunc)
        << std::string(kShort, '\x21');
    const std::vector<int> signals = {SIGHUP, SIGINT, SIGQUIT, SIGUSR1};
    const IgnoredSignals ignored(signals);
    const int code = RunUpdater([&](pid_t pid) {
        Within(
            SimProcess::kDeadlineMs / 1000, [&] { return SentChunks(sim) > 0; }, 5);
        for (const int signal : signals)
            kill(pid, signal);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(sim.Received().size(), kShort);
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    EXPECT_EQ(sim.Quit(), 0);
}

TEST_F(QuietRun, ASecondSignalWhileTheChannelDrainsStillClearsTheFlagFirst)
{
    // A slow device: sixteen chunks wait in the channel when the first comes.
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--take-delay-ms", "120"}));
    const int code = RunUpdater(
        [&](pid_t pid) {
            Within(
                SimProcess::kDeadlineMs / 1000, [&] { return SentChunks(sim) >= 20; }, 5);
            kill(pid, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(pid, SIGINT);
        },
        SIGTERM);
    EXPECT_EQ(code, 128 + SIGTERM);
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    EXPECT_EQ(sim.LastRequests(3), (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
    EXPECT_EQ(sim.Quit(), 0);
}

TEST_F(QuietRun, APathThatArrivesQuotedIsRead)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    // A short image this time: the whole run, not one chunk.
    std::ofstream(sim.Root() + "/fw dir/new image.syx", std::ios::binary | std::ios::trunc)
        << std::string(300, '\x21');
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_EQ(sim.Received().size(), PaddedSize(300));
    EXPECT_EQ(sim.Quit(), 0);
}

}  // namespace
