// Copies of the real FirmwareUpdater started on a private X server: one
// window whatever the start order and the runtime folder (however long), a
// command line too long to hand over, and a system bus that never answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "ProgramWindow.h"

namespace {

// The program's windows on screen, bottom first.
std::vector<Window> ProgramWindows(Display* d)
{
    return TopWindows(d, [&](Window w, const XWindowAttributes&) {
        return ClassOf(d, w).find("FirmwareUpdater") != std::string::npos;
    });
}

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        ASSERT_TRUE(sim.Start({"--mode", "absent"}));
    }

    std::vector<std::string> Environment() const
    {
        std::vector<std::string> env = sim.ProgramEnvironment();
        env.push_back("DISPLAY=" + server.Name());
        return env;
    }

    struct Copies
    {
        std::vector<std::thread> threads;
        std::mutex lock;
        std::vector<pid_t> pids;
        std::vector<std::string> outputs;
        std::vector<int> codes;
        std::atomic<int> ended{0};

        int Ended() const { return ended.load(); }
        // Ends every copy still running, then waits for all of them.
        void Finish()
        {
            {
                std::lock_guard guard(lock);
                for (pid_t pid : pids)
                    kill(pid, SIGKILL);
            }
            for (auto& t : threads)
                t.join();
        }
    };

    // Starts n copies at once, each with args.
    void Start(Copies& copies, int n, const std::vector<std::string>& env,
               const std::vector<std::string>& args = {})
    {
        copies.outputs.resize(size_t(n));
        copies.codes.resize(size_t(n), -1);
        for (int i = 0; i < n; ++i) {
            copies.threads.emplace_back([&, i, env, args] {
                std::vector<std::string> argv{SimProcess::BinFolder() + "/FirmwareUpdater"};
                argv.insert(argv.end(), args.begin(), args.end());
                std::string output;
                const int code = SimProcess::Run(argv, env, &output, 60000, nullptr, [&](pid_t pid) {
                    std::lock_guard guard(copies.lock);
                    copies.pids.push_back(pid);
                });
                std::lock_guard guard(copies.lock);
                copies.outputs[size_t(i)] = output;
                copies.codes[size_t(i)] = code;
                ++copies.ended;
            });
        }
    }

    // Waits until `count` copies ended; false at the deadline.
    static bool WaitEnded(const Copies& copies, int count)
    {
        return Within(45, [&] { return copies.Ended() >= count; });
    }

    // Waits until the program shows exactly one window; its id, or 0.
    Window WaitForOneWindow()
    {
        std::vector<Window> windows;
        return Within(45, [&] { return (windows = ProgramWindows(input.Connection())).size() == 1; })
                   ? windows.front()
                   : 0;
    }

    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
};

class CopiesTogether : public StartupTest, public ::testing::WithParamInterface<int>
{
};

// All but one hand over and end; the one left shows the only window.
TEST_P(CopiesTogether, OpenExactlyOneWindow)
{
    const int n = GetParam();
    Copies copies;
    Start(copies, n, Environment());
    const bool handedOver = WaitEnded(copies, n - 1);
    const size_t windows = ProgramWindows(input.Connection()).size();
    server.Screenshot("copies-together-" + std::to_string(n));
    copies.Finish();
    EXPECT_TRUE(handedOver) << copies.Ended() << " of " << n << " copies ended";
    EXPECT_EQ(windows, 1u);
    EXPECT_EQ(std::count(copies.codes.begin(), copies.codes.end(), 0), n - 1);
}

INSTANTIATE_TEST_SUITE_P(Counts, CopiesTogether, ::testing::Values(2, 10));

struct BesideCase
{
    const char* name;
    bool reachable;  // else a folder stands where the socket goes
};

void PrintTo(const BesideCase& c, std::ostream* os)
{
    *os << c.name;
}

// Against a device in update mode, where a status run of its own answers 3
// and a -SILENT run of its own sends the image.
class CopiesBesideAWindow : public StartupTest, public ::testing::WithParamInterface<BesideCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        ASSERT_TRUE(sim.Start({"--mode", "update"}));
    }
};

// A runtime folder of 120 characters, past what a socket's address holds.
// Reached, each later copy hands over: the first window comes up over a
// window that covered it, a status run answers 0 and a -SILENT run sends
// nothing. Where no socket can be made, the first copy says so and each
// later copy ends with 70 and says why. Never a second window; the socket
// goes with the first copy's SIGTERM.
TEST_P(CopiesBesideAWindow, HandOverOrEndButNeverRunBesideIt)
{
    ASSERT_LT(sim.Root().size(), 119u);
    const std::string runtime = sim.Root() + "/" + std::string(119 - sim.Root().size(), 'r');
    ASSERT_EQ(runtime.size(), 120u);
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    const std::string socketPath =
        runtime + "/Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdaterPrevent.sock";
    if (!GetParam().reachable) {
        ASSERT_EQ(mkdir(socketPath.c_str(), 0700), 0);
    }
    const std::string image = sim.Root() + "/image.syx";
    WriteImage(image, 4 * 128);
    const std::string imageSwitch = "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image;
    std::vector<std::string> env = Environment();
    env.push_back("TAVO_RUNTIME_DIR=" + runtime);

    Copies first;
    Start(first, 1, env, {imageSwitch});
    const Window window = WaitForOneWindow();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(std::filesystem::is_socket(socketPath), GetParam().reachable);
    Display* d = input.Connection();
    XWindowAttributes a;
    XGetWindowAttributes(d, window, &a);
    const auto stack = [&](Window cover) {
        return TopWindows(d, [&](Window w, const XWindowAttributes&) { return w == window || w == cover; });
    };
    for (const std::string run : {"-RETURN_UPDATE_MODE_STATUS", "-SILENT", ""}) {
        SCOPED_TRACE(run);
        const Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), a.x, a.y, unsigned(a.width),
                                                 unsigned(a.height), 0, 0, 0x00FF00);
        XMapRaised(d, cover);
        XSync(d, False);
        std::vector<std::string> argv{SimProcess::BinFolder() + "/FirmwareUpdater", imageSwitch};
        if (!run.empty())
            argv.push_back(run);
        std::string output;
        const int code = SimProcess::Run(argv, env, &output, 60000);
        if (GetParam().reachable) {
            EXPECT_EQ(code, 0) << output;
            EXPECT_TRUE(Within(30, [&] {
                return stack(cover) == std::vector<Window>{cover, window};
            })) << "the first window was not brought up";
        } else {
            EXPECT_EQ(code, 70) << output;
            EXPECT_NE(output.find("Single instance: " + socketPath +
                                  ": the running copy's hand-over socket cannot be reached"),
                      std::string::npos)
                << output;
            EXPECT_EQ(stack(cover), (std::vector<Window>{window, cover}));
        }
        XDestroyWindow(d, cover);
        XSync(d, False);
    }
    const size_t windows = ProgramWindows(d).size();
    server.Screenshot(std::string("copies-beside-a-window-") + GetParam().name);
    const std::string status = sim.Command("status");
    const std::vector<std::string> log = sim.LogLines();
    {
        std::lock_guard guard(first.lock);
        kill(first.pids.front(), SIGTERM);
    }
    const bool ended = WaitEnded(first, 1);
    first.Finish();
    EXPECT_EQ(windows, 1u);
    EXPECT_NE(status.find("flag=0 received=0"), std::string::npos) << status;
    EXPECT_EQ(std::count(log.begin(), log.end(), "driver update-flag 1"), 0);
    EXPECT_TRUE(ended);
    EXPECT_EQ(first.codes.front(), 128 + SIGTERM) << first.outputs.front();
    if (GetParam().reachable) {
        EXPECT_FALSE(std::filesystem::exists(socketPath));
    } else {
        EXPECT_TRUE(std::filesystem::is_directory(socketPath));
        EXPECT_NE(first.outputs.front().find("Single instance: " + socketPath +
                                             ": the hand-over socket cannot be made (Address already in use"),
                  std::string::npos)
            << first.outputs.front();
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, CopiesBesideAWindow,
                         ::testing::Values(BesideCase{"LongFolder", true}, BesideCase{"NoSocket", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Untrusted
{
    const char* name;
    // Spoils folder, the default runtime folder's place.
    void (*spoil)(const std::string& folder);
};

void PrintTo(const Untrusted& u, std::ostream* os)
{
    *os << u.name;
}

class UntrustedRuntimeFolder : public StartupTest, public ::testing::WithParamInterface<Untrusted>
{
};

// The folder is named on stderr and a private one taken instead, which
// still keeps the second copy from opening a window.
TEST_P(UntrustedRuntimeFolder, IsNamedAndAPrivateOneGuardsInstead)
{
    const std::string xdg = sim.Root() + "/xdg";
    ASSERT_EQ(mkdir(xdg.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((sim.Root() + "/tmp").c_str(), 0700), 0);
    GetParam().spoil(xdg + "/tavo");
    std::vector<std::string> env;
    for (const std::string& e : Environment())
        if (e.rfind("TAVO_RUNTIME_DIR=", 0) != 0)
            env.push_back(e);
    env.insert(env.end(), {"XDG_RUNTIME_DIR=" + xdg, "TMPDIR=" + sim.Root() + "/tmp"});
    Copies copies;
    Start(copies, 2, env);
    const bool handedOver = WaitEnded(copies, 1);
    const size_t windows = ProgramWindows(input.Connection()).size();
    copies.Finish();
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(windows, 1u);
    for (const std::string& output : copies.outputs)
        EXPECT_NE(output.find("Runtime folder not used: " + xdg + "/tavo: "), std::string::npos) << output;
    struct stat st
    {
    };
    EXPECT_EQ(stat((sim.Root() + "/tmp/tavo-" + std::to_string(geteuid()) +
                    "/Tessaro "
                    "DJ_DEVICE_FAMILY_NAME_String_"
                    "FirmwareUpdaterPrevent.lock")
                       .c_str(),
                   &st),
              0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UntrustedRuntimeFolder,
                         ::testing::Values(Untrusted{"OpenToOthers",
                                                     [](const std::string& f) {
                                                         mkdir(f.c_str(), 0700);
                                                         chmod(f.c_str(), 0777);
                                                     }},
                                           Untrusted{"SymbolicLink",
                                                     [](const std::string& f) {
                                                         mkdir((f + "-real").c_str(), 0700);
                                                         symlink((f + "-real").c_str(), f.c_str());
                                                     }},
                                           Untrusted{"AnotherOwner",
                                                     [](const std::string& f) {
                                                         mkdir(f.c_str(), 0700);
                                                         // Root may give it away; others find it theirs.
                                                         if (chown(f.c_str(), geteuid() + 1, getegid()) != 0)
                                                             chmod(f.c_str(), 0770);
                                                     }}),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder given explicitly that cannot be trusted: no unguarded start.
TEST_F(StartupTest, AnUntrustedRuntimeFolderGivenExplicitlyStopsTheStart)
{
    const std::string open = sim.Root() + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
    chmod(open.c_str(), 0777);
    std::vector<std::string> env = Environment();
    env.push_back("TAVO_RUNTIME_DIR=" + open);
    env.erase(std::find(env.begin(), env.end(), "TAVO_RUNTIME_DIR=" + sim.Root()));
    std::string output;
    EXPECT_EQ(SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater"}, env, &output), 70);
    EXPECT_NE(output.find("Runtime folder not used: " + open + ": is open to other users (mode 777)"),
              std::string::npos)
        << output;
    // And what would be trusted instead.
    EXPECT_NE(output.find("A runtime folder is trusted when it belongs to the user running the program, has "
                          "mode 700 and is no symbolic link."),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("does not start"), std::string::npos) << output;
    // A status run needs no guard: it answers (no device: 1).
    EXPECT_EQ(SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater", "-RETURN_UPDATE_MODE_STATUS"},
                              env, &output),
              1)
        << output;
}

// Too long to hand over: the first window still comes up, over another
// client's window that covered it, and the second copy says why it sent
// nothing.
TEST_F(StartupTest, ACommandLineTooLongToHandOverStillRaisesTheFirstWindow)
{
    Copies first;
    Start(first, 1, Environment());
    const Window window = WaitForOneWindow();
    ASSERT_NE(window, 0u);
    Display* d = input.Connection();
    XWindowAttributes a;
    XGetWindowAttributes(d, window, &a);
    const Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), a.x, a.y, unsigned(a.width),
                                             unsigned(a.height), 0, 0, 0x00FF00);
    XMapRaised(d, cover);
    XSync(d, False);

    std::string output;
    const int code = SimProcess::Run(
        {SimProcess::BinFolder() + "/FirmwareUpdater", "-FIRMWARE_IMAGE_NAME=" + std::string(70000, 'a')},
        Environment(), &output, 60000);
    const std::vector<Window> stack =
        TopWindows(d, [&](Window w, const XWindowAttributes&) { return w == window || w == cover; });
    server.Screenshot("too-long-command-line-raises");
    XDestroyWindow(d, cover);
    XSync(d, False);
    first.Finish();
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("is too long to hand over"), std::string::npos) << output;
    EXPECT_EQ(stack, (std::vector<Window>{cover, window}))
        << "the first copy's window stays under the other window";
}

// A bus that takes the connection and never says a word: the window is up
// long before the bus's 25 s of waiting, and the program ends at once.
TEST_F(StartupTest, ASystemBusThatNeverAnswersDoesNotHoldTheWindowBack)
{
    const std::string busPath = sim.Root() + "/dead-bus";
    const int bus = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", busPath.c_str());
    ASSERT_EQ(bind(bus, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(bus, 8), 0);  // connections wait in the queue, never read

    const std::string dumpPath = sim.Root() + "/ui.txt";
    std::string output;
    bool shownInTime = false;
    const int code = RunWindowed(
        sim, dumpPath, "FirmwareUpdater", {}, &output,
        [&](pid_t pid) {
            Dump dump;
            shownInTime = WaitForDump(
                dumpPath, dump, [](Dump& u) { return u.controls["buttonExit"].shown; }, 15);
            server.Screenshot("dead-system-bus");
            if (!shownInTime) {
                kill(pid, SIGKILL);
                return;
            }
            ClickControl(input, dump, dump.controls["buttonExit"]);
        },
        {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + busPath}, 60000);
    close(bus);
    EXPECT_TRUE(shownInTime) << output;
    EXPECT_EQ(code, 0) << output;
}

}  // namespace
