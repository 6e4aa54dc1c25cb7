// The file chooser is modal on the window: the real program under openbox
// with a stand-in chooser that stays open until the test answers it. While
// it runs, clicks, keys and close requests reach nothing, yet the window
// repaints and a running transfer goes on in it; the chooser is told to go
// over the window; and nothing the pointer did meanwhile is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileState.h"
#include "Pace.h"
#include "ProgramWindow.h"
#include "tests/Common/Openbox.h"

namespace {

// A stand-in chooser: lists --attach and --modal in its help, writes its
// process id to "pid" and its arguments to "args" once open, then waits for
// one line on the "answer" pipe and prints it as the chosen file ("cancel"
// cancels). Its standard error is its own, so one left behind holds no
// output of the test's. With `helper` it first starts a process of its own
// that writes its id to "helper" and, asked to end, writes "asked".
class HeldChooser
{
public:
    explicit HeldChooser(const std::string& folder, bool helper = false) : mFolder(folder)
    {
        mkdir(folder.c_str(), 0700);
        mkfifo((folder + "/answer").c_str(), 0600);
        const std::string startHelper =
            "/bin/sh -c 'trap \"echo asked > \\\"$0/asked\\\"; exit 0\" TERM; echo $$ > \"$0/helper.new\"; "
            "/bin/mv \"$0/helper.new\" \"$0/helper\"; while :; do /bin/sleep 0.05; done' '" +
            folder + "' &\n";
        PlantChooser(folder,
                     "case \"$1\" in --help*)\n"
                     "  printf '%s\\n' '  --attach=WINDOW    Set the parent window to attach to' \\\n"
                     "    '  --modal            Set the modal hint'; exit 0;;\n"
                     "esac\n"
                     "exec 2>/dev/null\n" +
                         (helper ? startHelper : std::string()) + "echo $$ > '" + folder +
                         "/pid'\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + folder +
                         "/args.new'\n/bin/mv '" + folder + "/args.new' '" + folder +
                         "/args'\nread answer < '" + folder +
                         "/answer'\n[ \"$answer\" = cancel ] && exit 1\nprintf '%s\\n' \"$answer\"\n");
    }

    bool IsOpen() const { return access((mFolder + "/args").c_str(), F_OK) == 0; }
    std::string Arguments() const { return "\n" + ReadAll(mFolder + "/args"); }
    pid_t Pid() const { return pid_t(std::atoi(ReadAll(mFolder + "/pid").c_str())); }
    pid_t HelperPid() const { return pid_t(std::atoi(ReadAll(mFolder + "/helper").c_str())); }
    bool HelperAsked() const { return access((mFolder + "/asked").c_str(), F_OK) == 0; }
    // Hands the waiting chooser its answer; false when it does not wait.
    bool Answer(const std::string& line, int seconds = 10)
    {
        return Within(seconds, [&] {
            const int fd = open((mFolder + "/answer").c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                return false;
            const std::string text = line + "\n";
            const bool written = write(fd, text.data(), text.size()) == ssize_t(text.size());
            close(fd);
            return written;
        });
    }
    std::string PathEnv() const { return "PATH=" + mFolder; }

private:
    std::string mFolder;
};

// A window of another client over `area` of the screen, in one colour,
// until destroyed.
class Cover
{
public:
    Cover(Display* d, XRect area, unsigned long colour) : mDisplay(d)
    {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = colour;
        mWindow = XCreateWindow(d, DefaultRootWindow(d), area.x, area.y, unsigned(area.width),
                                unsigned(area.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(d, mWindow);
        XSync(d, False);
    }
    ~Cover()
    {
        XDestroyWindow(mDisplay, mWindow);
        XSync(mDisplay, False);
    }
    Cover(const Cover&) = delete;
    Cover& operator=(const Cover&) = delete;

private:
    Display* mDisplay;
    Window mWindow = 0;
};

class ChooserModal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        ASSERT_TRUE(server.Running());
        ASSERT_TRUE(TestWindowManager().Running());
        WriteImage(image, kChunkSize * 150);
        WriteImage(otherImage, kChunkSize * 20);
    }
    // A chooser left waiting by a failed test ends.
    void TearDown() override { chooser.Answer("cancel", 0); }

    // The program with its File menu and `args`; `meanwhile` gets its
    // window once the dump shows `ready`.
    int Run(const std::vector<std::string>& args, const std::string& ready,
            const std::function<void(Window)>& meanwhile)
    {
        std::vector<std::string> all{"-ABSOLUTE_FIRMWARE_FILE_PATH=" + image};
        all.insert(all.end(), args.begin(), args.end());
        return RunWindowed(
            sim, dumpPath, "FirmwareUpdaterTestSkin", all, &output,
            [&](pid_t pid) {
                Dump dump;
                Window w = 0;
                program = pid;
                if (!WaitForDump(dumpPath, dump, [&](Dump& u) {
                        // Active: a click before would only bring the focus.
                        Display* d = input.Connection();
                        return u.controls[ready].shown && u.controls["File"].shown &&
                               (w = FindProgramWindow(d, pid)) != 0 &&
                               CardinalOf(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW") == long(w);
                    }))
                    return Fail("no window showing " + ready);
                meanwhile(w);
            },
            moreEnv);
    }

    void Fail(const std::string& why)
    {
        ADD_FAILURE() << why;
        server.Screenshot("chooser-modal-failed");
        kill(program, SIGKILL);
    }

    // File, Select Firmware File (clicked, or Return while the left button
    // holds the entry): true once the chooser is open and the menu gone.
    bool OpenChooser(bool holdingTheEntry = false)
    {
        // What the window shows may change and close the menu before its
        // entry is chosen: then it is opened again.
        Dump dump;
        const bool open = Within(
            60,
            [&] {
                if (chooser.IsOpen())
                    return true;
                dump = ReadDump(dumpPath);
                if (!dump.controls["ItemControl1"].shown)
                    ClickControl(input, dump, dump.controls["File"]);
                if (!WaitForDump(
                        dumpPath, dump, [](Dump& u) { return u.controls["ItemControl1"].shown; }, 2))
                    return false;
                const Control& entry = dump.controls["ItemControl1"];
                if (holdingTheEntry) {
                    input.MoveTo(dump.x + entry.x + entry.width / 2, dump.y + entry.y + entry.height / 2);
                    input.Press(1);
                    input.Key(XK_Return);
                    input.Sync();
                } else {
                    ClickControl(input, dump, entry);
                }
                if (Within(5, [&] { return chooser.IsOpen(); }))
                    return true;
                if (holdingTheEntry)
                    input.Release(1);
                input.Sync();
                return false;
            },
            100);
        if (open && WaitForDump(dumpPath, dump, [](Dump& u) { return !u.controls["ItemControl1"].shown; }))
            return true;
        Fail("the chooser did not open");
        return false;
    }

    std::vector<uint32_t> Pixels(Window w, const Control& c) const
    {
        return server.ReadPixels(w, {c.x, c.y, c.width, c.height});
    }
    std::vector<uint32_t> WholeWindow(Window w) const
    {
        XWindowAttributes a{};
        XGetWindowAttributes(input.Connection(), w, &a);
        return server.ReadPixels(w, {0, 0, a.width, a.height});
    }
    // The window's pixels once two reads a moment apart agree.
    std::vector<uint32_t> Settled(Window w) const
    {
        std::vector<uint32_t> now = WholeWindow(w), before;
        Within(
            10,
            [&] {
                before = now;
                now = WholeWindow(w);
                return now == before;
            },
            200);
        return now;
    }
    // openbox takes a press on the window first and hands it on: the next
    // act waits until it has, else openbox may keep the pointer frozen.
    void ClickThroughManager(const Dump& dump, const Control& c)
    {
        ClickControl(input, dump, c);
        if (!MainThreadIdle(TestWindowManager().Pid()))
            ADD_FAILURE() << "the window manager stayed busy";
    }
    // A round trip through the window manager, which holds a click on a
    // window for a moment before passing it on: once it has changed the
    // window's state as asked (and back), it has passed on what came before.
    bool ThroughWindowManager(Window w)
    {
        Display* d = input.Connection();
        const long above = long(XInternAtom(d, "_NET_WM_STATE_ABOVE", False));
        const auto has = [&] {
            const std::vector<long> state = WindowProperty(d, w, "_NET_WM_STATE");
            return std::find(state.begin(), state.end(), above) != state.end();
        };
        const auto ask = [&](bool add) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = w;
            e.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
            e.xclient.format = 32;
            e.xclient.data.l[0] = add ? 1 : 0;
            e.xclient.data.l[1] = above;
            e.xclient.data.l[3] = 1;
            XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
            XSync(d, False);
        };
        const bool before = has();
        ask(!before);
        const bool changed = Within(10, [&] { return has() != before; });
        ask(before);
        return Within(10, [&] { return has() == before; }) && changed;
    }

    // Covers the top of the window and uncovers it: the window handles its
    // events in order, so once it shows `expected` again it has handled
    // every event before (input included) and drawn nothing else.
    bool ShowsAfterItsEvents(Window w, const std::vector<uint32_t>& expected, const std::string& shot)
    {
        if (!ThroughWindowManager(w))
            ADD_FAILURE() << "the window manager did not answer";
        {
            const Dump dump = ReadDump(dumpPath);
            Cover cover(input.Connection(), {dump.x, dump.y, 520, 240}, 0xFF00FF);
            server.Screenshot(shot + "-covered");
        }
        const bool same = Within(10, [&] { return WholeWindow(w) == expected; });
        server.Screenshot(shot);
        return same;
    }

    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
    const std::string dumpPath = sim.Root() + "/ui.txt";
    const std::string image = sim.Root() + "/image.syx";
    const std::string otherImage = sim.Root() + "/other.syx";
    HeldChooser chooser{sim.Root() + "/chooser"};
    std::vector<std::string> moreEnv{chooser.PathEnv()};
    std::string output;
    pid_t program = -1;
};

TEST_F(ChooserModal, TheWindowTakesNoInputOrCloseRequestButRepaints)
{
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    std::string arguments, dumpOpen, dumpAfterInput;
    Window window = 0;
    bool unmoved = false, takesInputAfter = false;
    const int code = Run({}, "buttonUpdateFirmware", [&](Window w) {
        window = w;
        if (!OpenChooser())
            return;
        arguments = chooser.Arguments();
        const std::vector<uint32_t> open = Settled(w);
        dumpOpen = ReadAll(dumpPath);
        Dump dump = ReadDump(dumpPath);
        ClickThroughManager(dump, dump.controls["buttonUpdateFirmware"]);
        input.Key(XK_Return);
        input.Key(XK_space);
        ClickThroughManager(dump, dump.controls["buttonExit"]);
        SendCloseRequests(input, w);
        unmoved = ShowsAfterItsEvents(w, open, "chooser-modal-after-input");
        dumpAfterInput = ReadAll(dumpPath);

        // Answered, the chooser closes and the window takes input again.
        EXPECT_TRUE(chooser.Answer(otherImage));
        takesInputAfter = Within(30, [&] {
            ClickControl(input, dump, dump.controls["buttonUpdateFirmware"]);
            return WaitForDump(
                dumpPath, dump, [](Dump& u) { return !u.controls["buttonUpdateFirmware"].shown; }, 2);
        });
        server.Screenshot("chooser-modal-after-chooser");
        SendCloseRequest(input.Connection(), w);
        input.Sync();
    });
    EXPECT_NE(arguments.find("\n--attach=" + std::to_string(window) + "\n"), std::string::npos) << arguments;
    EXPECT_NE(arguments.find("\n--modal\n"), std::string::npos) << arguments;
    EXPECT_TRUE(unmoved) << "the window did not show what it showed when the chooser opened";
    EXPECT_TRUE(dumpAfterInput == dumpOpen) << "the dump changed to:\n" << dumpAfterInput;
    EXPECT_TRUE(takesInputAfter);
    EXPECT_EQ(code, 0) << output;
    EXPECT_TRUE(sim.Received().empty());
}

// The engine's notices still reach the window: a transfer running when the
// chooser opens goes on, its end shows, and the NEXT it brings is not
// clicked until the chooser is gone.
TEST_F(ChooserModal, ATransferGoesOnAndShowsWhileTheChooserIsOpen)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--take-delay-ms", "40"}));
    const std::string rescan = "buttonManualDeviceHasUpdatedRescanButton";
    double progressAtOpen = -1;
    bool ended = false, unmoved = false, rescannedAfter = false;
    const int code = Run({"-START_UPDATE_AUTOMATICALLY"}, "progressBar", [&](Window w) {
        Dump dump;
        if (!WaitForDump(dumpPath, dump, [](Dump& u) { return u.controls["progressBar"].value > 0; }) ||
            !OpenChooser())
            return;
        dump = ReadDump(dumpPath);
        progressAtOpen = dump.controls["progressBar"].value;
        const std::vector<uint32_t> bar = Pixels(w, dump.controls["progressBar"]);
        server.Screenshot("chooser-modal-transfer-open");
        // The dump is written as the frame is drawn, which reaches the server after it.
        ended = WaitForDump(dumpPath, dump, [&](Dump& u) { return u.controls[rescan].shown; }) &&
                Within(10, [&] { return Pixels(w, dump.controls["progressBar"]) != bar; });
        server.Screenshot("chooser-modal-transfer-ended");
        const std::vector<uint32_t> before = Settled(w);
        const std::string text = ReadAll(dumpPath);
        ClickThroughManager(dump, dump.controls[rescan]);
        unmoved = ShowsAfterItsEvents(w, before, "chooser-modal-transfer-next") && ReadAll(dumpPath) == text;
        EXPECT_TRUE(chooser.Answer("cancel"));
        rescannedAfter = Within(30, [&] {
            ClickControl(input, dump, dump.controls[rescan]);
            return WaitForDump(
                dumpPath, dump,
                [](Dump& u) {
                    return u.controls["labelUpdateProcessInformation"].text.find("successfully updated") !=
                           std::string::npos;
                },
                5);
        });
        server.Screenshot("chooser-modal-transfer-rescanned");
        ClickControl(input, dump, dump.controls["buttonExit"]);
    });
    EXPECT_GE(progressAtOpen, 0.0);
    EXPECT_LT(progressAtOpen, 1.0);
    EXPECT_TRUE(ended) << "the end of the transfer did not show";
    EXPECT_TRUE(unmoved) << "NEXT was clicked while the chooser was open";
    EXPECT_TRUE(rescannedAfter);
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(sim.Received().size(), size_t(kChunkSize * 150));
}

// A left button held when the chooser opens (Return chose the entry it
// holds) lets the pointer go to the chooser; where the pointer went
// meanwhile shows as soon as the chooser is gone.
TEST_F(ChooserModal, NothingThePointerDidMeanwhileIsLeftBehind)
{
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    bool pointerFree = false, noHoverMeanwhile = false, hoverAfter = false;
    const int code = Run({}, "buttonExit", [&](Window w) {
        if (!OpenChooser(true))
            return;
        Display* d = input.Connection();
        // The press may reach the window only after the chooser opened
        // (openbox holds it for a moment).
        pointerFree = Within(5, [&] {
            return XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                                None, None, CurrentTime) == GrabSuccess;
        });
        XUngrabPointer(d, CurrentTime);
        input.Release(1);
        const std::vector<uint32_t> open = Settled(w);
        Dump dump = ReadDump(dumpPath);
        const Control exit = dump.controls["buttonExit"];
        const std::vector<uint32_t> exitPlain = Pixels(w, exit);
        input.MoveTo(dump.x + exit.x + exit.width / 2, dump.y + exit.y + exit.height / 2);
        input.Sync();
        noHoverMeanwhile = ShowsAfterItsEvents(w, open, "chooser-modal-pointer-meanwhile");
        EXPECT_TRUE(chooser.Answer("cancel"));
        hoverAfter = Within(10, [&] { return Pixels(w, exit) != exitPlain; });
        server.Screenshot("chooser-modal-pointer-after");
        input.Click(1);
        input.Sync();
    });
    EXPECT_TRUE(pointerFree) << "the window kept the pointer grabbed";
    EXPECT_TRUE(noHoverMeanwhile);
    EXPECT_TRUE(hoverAfter) << "EXIT under the pointer does not show it";
    EXPECT_EQ(code, 0) << output;
}

// A signal ignored by whoever started the program stays ignored, in the
// program and in the chooser it starts, as exec keeps it (SIGPIPE too, which
// the program handles itself); nothing else is ignored there.
TEST_F(ChooserModal, ASignalIgnoredAtTheStartStaysIgnoredInTheChooser)
{
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    const IgnoredSignals ignored({SIGHUP, SIGQUIT, SIGPIPE});
    std::string chooserIgnores;
    bool closed = false;
    const int code = Run({}, "buttonUpdateFirmware", [&](Window w) {
        if (!OpenChooser())
            return;
        std::ifstream status("/proc/" + std::to_string(chooser.Pid()) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigIgn:", 0) == 0)
                chooserIgnores = line;
        kill(program, SIGHUP);
        kill(program, SIGQUIT);
        server.Screenshot("chooser-modal-ignored-signals");
        EXPECT_TRUE(chooser.Answer("cancel"));
        // Refused while the chooser is still open.
        Display* d = input.Connection();
        closed = Within(
            30,
            [&] {
                SendCloseRequest(d, w);
                input.Sync();
                return FindProgramWindow(d, program) == 0;
            },
            200);
    });
    EXPECT_EQ(code, 0) << output;
    EXPECT_TRUE(closed);
    char expected[40];
    std::snprintf(expected, sizeof expected, "SigIgn:\t%016llx",
                  (1ULL << (SIGHUP - 1)) | (1ULL << (SIGQUIT - 1)) | (1ULL << (SIGPIPE - 1)));
    EXPECT_EQ(chooserIgnores, expected);
}

// However the program ends while the chooser is open, the chooser ends too:
// no choice is left on the screen that goes nowhere. A crash is a real
// fault of the program's main thread (the test program faults on demand):
// the chooser's group is killed from the handler, which runs on a stack of
// its own when the stack overflowed, and a sanitizer then reports the fault
// where it happened.
struct WayOut
{
    const char* name;
    int signal;  // 0: another client kills the program's X connection, or the fault
    int code;    // the program's exit status; -1 for an end by any signal (a crash)
    const char* fault = nullptr;
    // What AddressSanitizer says of the fault, in a build with it.
    const char* report = nullptr;
};

void PrintTo(const WayOut& way, std::ostream* os)
{
    *os << way.name;
}

class ChooserEndsWithTheProgram : public ChooserModal, public ::testing::WithParamInterface<WayOut>
{
protected:
    void SetUp() override
    {
        ChooserModal::SetUp();
        chooser = HeldChooser(sim.Root() + "/chooser", true);
        faults = sim.Root() + "/faults";
        ASSERT_EQ(mkfifo(faults.c_str(), 0600), 0);
        moreEnv.push_back("TAVO_TEST_FAULT_FIFO=" + faults);
        // The chooser's orphan comes to this process, which can then tell
        // an ended one from one that lives on under another parent.
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
    }
    void TearDown() override
    {
        for (const pid_t pid : {chooserPid, helperPid})
            if (pid > 0 && kill(pid, SIGKILL) == 0)
                waitpid(pid, nullptr, 0);
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        ChooserModal::TearDown();
    }
    static bool Gone(pid_t& pid)
    {
        if (waitpid(pid, nullptr, WNOHANG) == pid || (kill(pid, 0) != 0 && errno == ESRCH)) {
            pid = -1;
            return true;
        }
        return false;
    }

    // Asks the program for its fault; false when it does not listen.
    bool Fault(const char* kind) const
    {
        return Within(10, [&] {
            const int fd = open(faults.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                return false;
            const std::string line = std::string(kind) + "\n";
            const bool written = write(fd, line.data(), line.size()) == ssize_t(line.size());
            close(fd);
            return written;
        });
    }

    std::string faults;
    pid_t chooserPid = -1;
    pid_t helperPid = -1;
};

TEST_P(ChooserEndsWithTheProgram, NoChooserIsLeft)
{
    const WayOut& way = GetParam();
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    const int code = Run({}, "buttonUpdateFirmware", [&](Window w) {
        if (!OpenChooser())
            return;
        chooserPid = chooser.Pid();
        if (!Within(10, [&] { return (helperPid = chooser.HelperPid()) > 0; }))
            return;
        if (way.fault) {
            EXPECT_TRUE(Fault(way.fault)) << "the program took no fault";
        } else if (way.signal != 0) {
            kill(program, way.signal);
        } else {
            XKillClient(input.Connection(), w);
            XSync(input.Connection(), False);
        }
    });
    if (way.code == -1)
        EXPECT_GT(code, 128) << output;
    else
        EXPECT_EQ(code, way.code) << output;
    ASSERT_GT(chooserPid, 0) << "the chooser did not open";
    ASSERT_GT(helperPid, 0) << "the chooser's helper did not start";
    EXPECT_TRUE(Within(30, [&] { return Gone(chooserPid); })) << "the chooser outlived the program";
    // What the chooser started ends with it; only a program killed outright
    // can end nothing, and then the kernel ends the chooser alone.
    if (way.signal != SIGKILL) {
        EXPECT_TRUE(Within(30, [&] { return Gone(helperPid); }))
            << "the chooser's helper outlived the program";
    }
    // Where the program ends in order, the chooser's group is asked to end first.
    if (way.code != -1 && way.signal != SIGKILL) {
        EXPECT_TRUE(chooser.HelperAsked()) << "the chooser was not asked to end";
    }
#if defined(__SANITIZE_ADDRESS__)
    if (way.report) {
        EXPECT_NE(output.find(way.report), std::string::npos) << output;
    }
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ChooserEndsWithTheProgram,
    ::testing::Values(WayOut{"SIGTERM", SIGTERM, 128 + SIGTERM}, WayOut{"SIGINT", SIGINT, 128 + SIGINT},
                      WayOut{"SIGHUP", SIGHUP, 128 + SIGHUP}, WayOut{"SIGKILL", SIGKILL, 128 + SIGKILL},
                      WayOut{"SIGSEGV", SIGSEGV, -1}, WayOut{"SIGABRT", SIGABRT, -1},
                      WayOut{"XConnectionKilled", 0, 1},
                      WayOut{"NullWrite", 0, -1, "segv", "SEGV on unknown address 0x000000000000"},
                      WayOut{"StackOverflow", 0, -1, "overflow",
                             "AddressSanitizer: stack-overflow on address"},
                      WayOut{"Abort", 0, -1, "abort"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
