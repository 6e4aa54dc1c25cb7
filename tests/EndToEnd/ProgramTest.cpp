// The real FirmwareUpdater against a real simulated mixer, with no display.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <csignal>
#include <sys/stat.h>

#include "ImageFiles.h"
#include "Pace.h"
#include "tools/mixer-sim/ControlSocket.h"
#include "tools/mixer-sim/SimOptions.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class ProgramTest : public ::testing::Test
{
protected:
    ProgramTest()
    {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }

    int RunUpdater(const std::vector<std::string>& args, std::string* output = nullptr,
                   std::string program = {}, const std::function<void(pid_t)>& meanwhile = {})
    {
        std::vector<std::string> argv = {program.empty() ? SimProcess::BinFolder() + "/FirmwareUpdater"
                                                         : program};
        argv.insert(argv.end(), args.begin(), args.end());
        return SimProcess::Run(argv, sim.ProgramEnvironment(), output, SimProcess::kDeadlineMs, nullptr,
                               meanwhile);
    }

    // An image in a folder whose name holds a space.
    std::vector<uint8_t> WriteImage(size_t size, const std::string& path)
    {
        return WriteDistinctImage(path, size, 7);
    }

    std::string ImagePath() const { return sim.Root() + "/fw dir/new image.syx"; }
    std::string PathSwitch() const { return "-ABSOLUTE_FIRMWARE_FILE_PATH=" + ImagePath(); }

    bool FlagEverOn() const
    {
        auto r = sim.Requests();
        return std::find(r.begin(), r.end(), "update-flag 1") != r.end();
    }

    SimProcess sim;
};

struct StatusCase
{
    const char* name;
    std::vector<std::string> simArgs;
    bool withFile;
    int expected;
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExitCodeTest : public ProgramTest, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(ExitCodeTest, ReportsTheDeviceStateWithoutAWindow)
{
    const StatusCase& c = GetParam();
    ASSERT_TRUE(sim.Start(c.simArgs));
    if (c.withFile)
        WriteImage(1000, ImagePath());
    std::string output;
    EXPECT_EQ(RunUpdater({"-RETURN_UPDATE_MODE_STATUS",
                          c.withFile ? PathSwitch() : "-ABSOLUTE_FIRMWARE_FILE_PATH=/nowhere/x.syx"},
                         &output),
              c.expected)
        << output;
    // The device is judged by its MIDI ports alone: the driver is asked nothing.
    EXPECT_EQ(sim.Requests(), std::vector<std::string>{});
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    States, ExitCodeTest,
    ::testing::Values(
        StatusCase{"Absent", {"--mode", "absent"}, true, 1},
        StatusCase{"UpdateModeFileMissing", {"--mode", "update"}, false, 2},
        StatusCase{"UpdateModeWithFile", {"--mode", "update"}, true, 3},
        StatusCase{"NormalModeSameVersion", {"--mode", "normal", "--version", "0.0.3.7"}, true, 4},
        StatusCase{"NormalModeOlderVersion", {"--mode", "normal", "--version", "0.0.3.6"}, true, 5}),
    [](const auto& info) { return std::string(info.param.name); });

// What the transfer could not read counts as no image, for a status run as
// for the transfer: never offered as newer, nor read. Something other than a
// regular file at the image's path is not even opened (a writer waiting on
// a FIFO stays waiting), and is said on standard error, as is a file too
// long for the transfer; an empty file, a name without a folder (though the
// working folder holds it) and, for a user other than root, a file the user
// cannot read are said or not as before.
TEST_F(ProgramTest, AnImageTheTransferCouldNotReadCountsAsMissing)
{
    const std::string notAFile =
        "The firmware file's path names a folder, FIFO, socket or device, not a file, so "
        "it is not opened and counts as missing.\n";
    const std::string tooLarge =
        "The firmware file is too large: an image holds at most 4294967295 bytes (4 GiB "
        "less one), so it counts as missing.\n";
    ASSERT_TRUE(sim.Start({"--mode", "update"}));
    const fs::path folder = fs::path(ImagePath()).parent_path();
    fs::create_directories(folder);
    const fs::path working = fs::current_path();
    const auto check = [&](const std::string& what, const std::string& path, const std::string& said) {
        std::string output;
        EXPECT_EQ(RunUpdater({"-RETURN_UPDATE_MODE_STATUS", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + path}, &output),
                  2)
            << what << ": " << output;
        EXPECT_EQ(output, said) << what;
        // With no valid image a silent run wants the window, which needs a
        // display; it says the same first.
        EXPECT_EQ(RunUpdater({"-SILENT", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + path}, &output), 70)
            << what << ": " << output;
        EXPECT_EQ(output.substr(0, said.size()), said) << what;
    };
    ASSERT_EQ(mkfifo(ImagePath().c_str(), 0600), 0);
    {
        WaitingWriter writer(ImagePath());
        ASSERT_TRUE(writer.Waits());
        check("a FIFO a writer waits on", ImagePath(), notAFile);
        EXPECT_TRUE(writer.StillWaiting()) << "a run opened the FIFO";
    }
    fs::remove(ImagePath());
    for (const char* device : {"/dev/zero", "/dev/null"})
        check(device, device, notAFile);
    check("a folder", folder.string(), notAFile);
    // Sparse: no disk is spent on them.
    const std::string large = (folder / "large.syx").string();
    std::ofstream(large).close();
    fs::resize_file(large, uint64_t(UINT32_MAX) + 1);
    check("a file of 4 GiB", large, tooLarge);
    fs::resize_file(large, UINT32_MAX);
    EXPECT_EQ(RunUpdater({"-RETURN_UPDATE_MODE_STATUS", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + large}), 3);
    fs::remove(large);
    std::ofstream(ImagePath()).close();
    check("an empty file", ImagePath(), "");
    WriteImage(1000, ImagePath());
    fs::current_path(folder);
    check("a name without a folder", "new image.syx",
          "The firmware file's path on the command line names no folder; give its full path.\n");
    fs::current_path(working);
    if (geteuid() != 0) {
        fs::permissions(ImagePath(), fs::perms::none);
        check("a file the user cannot read", ImagePath(), "");
    }
    EXPECT_FALSE(FlagEverOn());
    EXPECT_EQ(sim.Quit(), 0);
}

// A reply that comes after its run gave up waiting (2 s) is not the next
// run's answer: a device answering 2.5 s late reads as in update mode every
// time. The second run starts as the first ends; the log shows whether the
// first reply came while it waited, and the pair is run again when a slow
// start missed that half second.
TEST_F(ProgramTest, ALateReplyIsNotTheNextRunsAnswer)
{
    ASSERT_TRUE(sim.Start({"--reply-delay-ms", "2500"}));
    const std::vector<std::string> status = {"-RETURN_UPDATE_MODE_STATUS",
                                             "-ABSOLUTE_FIRMWARE_FILE_PATH=/nowhere/x.syx"};
    bool overlapped = false;
    for (int attempt = 0; attempt < 10 && !overlapped; ++attempt) {
        const size_t from = sim.TimedLogLines().size();
        std::string output;
        EXPECT_EQ(RunUpdater(status, &output), 2) << output;
        EXPECT_EQ(RunUpdater(status, &output), 2) << output;
        std::vector<double> asked;
        std::vector<double> answered;
        const auto log = sim.TimedLogLines();
        for (size_t i = from; i < log.size(); ++i) {
            if (log[i].text == "midi-in F0 7E 7F 06 01 F7")
                asked.push_back(log[i].ms);
            else if (log[i].text.rfind("midi-out F0 7E 7F 06 02", 0) == 0)
                answered.push_back(log[i].ms);
        }
        ASSERT_EQ(asked.size(), 2u);
        overlapped = std::any_of(answered.begin(), answered.end(),
                                 [&](double ms) { return ms > asked[1] && ms < asked[1] + 1900; });
    }
    EXPECT_TRUE(overlapped) << "the second run never waited while a late reply came";
    EXPECT_EQ(sim.Quit(), 0);
}

class SilentUpdateTest : public ProgramTest, public ::testing::WithParamInterface<size_t>
{
};

TEST_P(SilentUpdateTest, SendsThePaddedImageAtThePacedRate)
{
    const size_t size = GetParam();
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "100"}));
    const auto image = WriteImage(size, ImagePath());
    const auto start = Clock::now();
    std::string output;
    EXPECT_EQ(RunUpdater({"-SILENT", PathSwitch()}, &output), 0) << output;
    const auto took = Clock::now() - start;

    auto expected = image;
    expected.resize(PaddedSize(size), 0);
    const size_t chunks = expected.size() / kChunkSize;
    EXPECT_EQ(sim.Received(), expected);
    EXPECT_GE(took, chunks * std::chrono::milliseconds(kChunkPauseMs));

    // The channel, the flag off (whatever an earlier run left) and on, every
    // chunk, close, flag off, all through one handle; the driver's version is
    // never asked.
    std::vector<std::string> requests = sim.Requests();
    EXPECT_EQ(SentChunks(sim), chunks);
    requests.erase(std::unique(requests.begin(), requests.end()), requests.end());
    EXPECT_EQ(requests,
              (std::vector<std::string>{"set-event", "update-flag 0", "update-flag 1", "open-port 0",
                                        ChunkRequest(), "close", "clear-event", "update-flag 0"}));
    const auto log = sim.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "driver open"), 1);
    EXPECT_TRUE(output.empty()) << output;

    // Installed: back in normal mode with the new version, which the file
    // no longer beats.
    ASSERT_TRUE(sim.WaitStatus("state=attached mode=normal version=0.0.3.7"));
    EXPECT_EQ(RunUpdater({"-RETURN_UPDATE_MODE_STATUS", PathSwitch()}), 4);
    EXPECT_EQ(sim.Quit(), 0);
}

// One chunk exactly, one byte into a second, and a long image.
INSTANTIATE_TEST_SUITE_P(Sizes, SilentUpdateTest,
                         ::testing::Values(kChunkSize, kChunkSize + 1, size_t(65536)));

struct Fault
{
    const char* name;
    std::vector<std::string> args;
    // The channel was made and the device stayed: it is closed, then the
    // flag cleared, as the last requests.
    bool channelCloses;
    // Run with -DEBUG_CONSOLE: the outcome's line comes among the log's.
    bool debugConsole = false;
};

// The line a failed quiet update ends with, in the window's words.
const std::string kDeviceFailureLine =
    "FirmwareUpdater -SILENT: the update failed: The update has failed because "
    "the device can not be accessed. Unplug and replug in the device and "
    "press \"TRY AGAIN\"\n";

void PrintTo(const Fault& fault, std::ostream* os)
{
    *os << fault.name;
}

class SilentFaultTest : public ProgramTest, public ::testing::WithParamInterface<Fault>
{
};

TEST_P(SilentFaultTest, EndsWithTheFlagClearedAndNothingInstalled)
{
    const Fault& fault = GetParam();
    auto args = fault.args;
    args.insert(args.end(), {"--mode", "update", "--install-ms", "0"});
    ASSERT_TRUE(sim.Start(args));
    WriteImage(kChunkSize * 40, ImagePath());
    std::string output;
    std::vector<std::string> switches = {"-SILENT", PathSwitch()};
    if (fault.debugConsole)
        switches.push_back("-DEBUG_CONSOLE");
    EXPECT_EQ(RunUpdater(switches, &output), 0) << output;
    // Said once on standard error, the only thing said unless the debug log
    // goes there too.
    if (fault.debugConsole) {
        const size_t at = output.find(kDeviceFailureLine);
        EXPECT_NE(at, std::string::npos) << output;
        EXPECT_EQ(output.find(kDeviceFailureLine, at + 1), std::string::npos) << output;
    } else {
        EXPECT_EQ(output, kDeviceFailureLine);
    }

    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    EXPECT_NE(status.find("version=0.0.3.6"), std::string::npos) << status;
    EXPECT_NE(status.find("installing=0"), std::string::npos) << status;
    // Never the whole image.
    EXPECT_LT(sim.Received().size(), kChunkSize * 40);
    const auto requests = sim.Requests();
    ASSERT_FALSE(requests.empty());
    if (fault.channelCloses) {
        EXPECT_EQ(sim.LastRequests(3), (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
    } else if (!FlagEverOn()) {
        // Refused at once: no port opened, nothing was sent.
        EXPECT_EQ(std::count(requests.begin(), requests.end(), "open-port 0"), 0);
        EXPECT_EQ(SentChunks(sim), 0u);
    }
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, SilentFaultTest,
                         ::testing::Values(Fault{"RefuseFlag", {"--refuse-update-flag"}, false},
                                           Fault{"RefusePort", {"--refuse-open-port"}, true, true},
                                           Fault{"RefuseChunk", {"--refuse-chunk", "5"}, true},
                                           Fault{"NeverTake", {"--never-take"}, true, true},
                                           Fault{"TakeSlowly", {"--take-delay-ms", "2000"}, true},
                                           // Unplugged: the driver is gone, so only the flag drops.
                                           Fault{"DetachAtChunk", {"--detach-at-chunk", "5"}, false, true},
                                           // Reset as the flag went on: its handle went stale, the
                                           // device forgot the flag and came back.
                                           Fault{"ResetAfterFlag", {"--reenumerate-after-flag"}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The image turned into something else after the start-up check, just
// before the transfer reads it: a file access failure like any other, said
// at once, with the flag never set and nothing sent, and never opened (a
// writer waiting on the FIFO stays waiting). It is swapped as the device
// gets the identity request, which comes after that check; the device takes
// it 3 s late and stays silent 2 s more before the transfer may start.
class SwappedImageTest : public ProgramTest, public ::testing::WithParamInterface<StandIn>
{
};

TEST_P(SwappedImageTest, IsAFileAccessFailure)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0", "--take-delay-ms", "3000"}));
    WriteImage(kChunkSize * 40, ImagePath());
    std::string output;
    const auto logged = [&](const char* line) {
        const auto log = sim.LogLines();
        return std::find(log.begin(), log.end(), line) != log.end();
    };
    std::optional<WaitingWriter> writer;
    const int code = RunUpdater({"-SILENT", PathSwitch()}, &output, {}, [&](pid_t) {
        EXPECT_TRUE(Within(
                        60, [&] { return logged("midi-in F0 7E 7F 06 01 F7"); }, 2) &&
                    ReplaceImage(ImagePath(), GetParam()));
        if (GetParam() == StandIn::Fifo) {
            EXPECT_TRUE(writer.emplace(ImagePath()).Waits());
        }
        EXPECT_FALSE(logged("driver open")) << "swapped after the transfer began";
    });
    EXPECT_EQ(code, 0) << output;
    if (writer) {
        EXPECT_TRUE(writer->StillWaiting()) << "the transfer opened the FIFO";
    }
    EXPECT_EQ(output,
              "FirmwareUpdater -SILENT: the update failed: The device can not be updated because of a "
              "file access error. Press the \"TRY AGAIN\" button to attempt restart the update "
              "process.\n");
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0 received=0 "), std::string::npos) << status;
    EXPECT_FALSE(FlagEverOn());
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(StandIns, SwappedImageTest,
                         ::testing::Values(StandIn::Fifo, StandIn::Socket, StandIn::Folder, StandIn::DevZero),
                         [](const auto& info) { return std::string(StandInName(info.param)); });

// A backslash or a double quote is a character of a name like any other:
// the file named is the file sent, also when the path that character would
// make as a separator, or as the end of a quoted value, names a file too.
// The image comes by its path, by its path in literal quotes (the value's,
// or the whole switch's), or by its name in the program's folder "/d".
enum class Form { Path, QuotedValue, QuotedSwitch, NameInProgramFolder };

struct NamedImage
{
    const char* name;
    const char* chosen;  // under the root
    const char* decoy;
    Form form = Form::Path;
};

void PrintTo(const NamedImage& c, std::ostream* os)
{
    *os << c.name;
}

class NamedImageTest : public ProgramTest, public ::testing::WithParamInterface<NamedImage>
{
};

TEST_P(NamedImageTest, TheDeviceGetsTheFileNamed)
{
    const NamedImage& c = GetParam();
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    std::vector<std::string> env = sim.ProgramEnvironment();
    env.push_back("TAVO_PROGRAM_DIR=" + sim.Root() + "/d");
    const std::string path = sim.Root() + c.chosen;
    const std::string image = c.form == Form::QuotedValue    ? "-ABSOLUTE_FIRMWARE_FILE_PATH=\"" + path + "\""
                              : c.form == Form::QuotedSwitch ? "\"-ABSOLUTE_FIRMWARE_FILE_PATH=" + path + "\""
                              : c.form == Form::Path
                                  ? "-ABSOLUTE_FIRMWARE_FILE_PATH=" + path
                                  : "-FIRMWARE_IMAGE_NAME=" + path.substr(sim.Root().size() + 3);
    const auto run = [&](const char* mode, std::string* output) {
        return SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater", mode, image}, env, output);
    };
    const auto decoy = WriteDistinctImage(sim.Root() + c.decoy, kChunkSize * 40 + 3, 2);
    // Only the decoy there: the image named is missing.
    std::string output;
    EXPECT_EQ(run("-RETURN_UPDATE_MODE_STATUS", &output), 2) << output;
    const auto chosen = WriteDistinctImage(path, decoy.size(), 1);
    EXPECT_EQ(run("-SILENT", &output), 0);
    EXPECT_TRUE(output.empty()) << output;
    EXPECT_EQ(sim.Received(), Padded(chosen));
    EXPECT_NE(sim.Received(), Padded(decoy));
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NamedImageTest,
    ::testing::Values(NamedImage{"BackslashInTheFileName", "/d/a\\b.syx", "/d/a/b.syx"},
                      NamedImage{"BackslashInAFolderName", "/d/dir\\sub/x.syx", "/d/dir/sub/x.syx"},
                      NamedImage{"LeadingBackslash", "/d/\\x.syx", "/d//x.syx"},
                      NamedImage{"QuoteThenSpace", "/d/fw\" v2.syx", "/d/fw"},
                      NamedImage{"QuoteAtTheEnd", "/d/a b.syx\"", "/d/a b.syx"},
                      NamedImage{"QuoteInAFolderName", "/d/d\" x/fw.syx", "/d/d"},
                      NamedImage{"BackslashBeforeAQuote", "/d/a\\\" b.syx", "/d/a\\"},
                      NamedImage{"QuoteAtTheStart", "/d/\"fw.syx", "/d/fw.syx", Form::NameInProgramFolder},
                      NamedImage{"NameWithQuoteThenSpace", "/d/fw\" v2.syx", "/d/fw",
                                 Form::NameInProgramFolder},
                      NamedImage{"SwitchInQuotes", "/d/x y.syx", "/d/x", Form::QuotedSwitch},
                      NamedImage{"ValueInQuotes", "/d/x y.syx", "/d/x", Form::QuotedValue}),
    [](const auto& info) { return std::string(info.param.name); });

// Killed where no handler runs, a transfer leaves the device's flag on over
// part of an image; the next run still gives the device the image alone.
TEST_F(ProgramTest, ARunAfterAKilledTransferSendsTheImageAfresh)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    const auto old = WriteDistinctImage(ImagePath(), 20000, 5);
    std::string output;
    const int killed = RunUpdater({"-SILENT", PathSwitch()}, &output, {}, [&](pid_t pid) {
        Within(
            SimProcess::kDeadlineMs / 1000, [&] { return SentChunks(sim) >= 50; }, 5);
        kill(pid, SIGKILL);
    });
    EXPECT_EQ(killed, 128 + SIGKILL) << output;
    std::string status = sim.Command("status");
    ASSERT_NE(status.find("flag=1"), std::string::npos) << status;
    ASSERT_LT(sim.Received().size(), old.size());

    const auto image = WriteDistinctImage(ImagePath(), 20000, 6);
    EXPECT_EQ(RunUpdater({"-SILENT", PathSwitch()}, &output), 0) << output;
    EXPECT_EQ(sim.Received(), Padded(image));
    ASSERT_TRUE(sim.WaitStatus("state=attached mode=normal version=0.0.3.7"));
    status = sim.Command("status");
    EXPECT_NE(status.find("flag=0 received=" + std::to_string(Padded(image).size()) + " "), std::string::npos)
        << status;
    EXPECT_EQ(sim.Quit(), 0);
}

// A signal while the program waits for the device's identity reply (up to
// 2 s; a device in update mode stays silent) ends the run at once, and
// nothing is started after it.
TEST_F(ProgramTest, ASignalDuringTheIdentityProbeEndsTheRunAtOnce)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    WriteImage(kChunkSize * 4, ImagePath());
    for (const char* run : {"-RETURN_UPDATE_MODE_STATUS", "-SILENT"}) {
        const size_t before = IdentityRequests(sim);
        Clock::time_point signalled = Clock::now();
        std::string output;
        const int code = RunUpdater({run, PathSwitch()}, &output, {}, [&](pid_t pid) {
            if (Within(
                    60, [&] { return IdentityRequests(sim) > before; }, 2)) {
                signalled = Clock::now();
                kill(pid, SIGTERM);
            }
        });
        EXPECT_EQ(code, 128 + SIGTERM) << run << ": " << output;
        // Well before the probe's own end.
        EXPECT_LT(Clock::now() - signalled, std::chrono::milliseconds(1500)) << run;
    }
    EXPECT_FALSE(FlagEverOn());
    EXPECT_EQ(sim.Quit(), 0);
}

TEST_F(ProgramTest, RunsThatNeedTheWindowEndThroughTheStartupError)
{
    ASSERT_TRUE(sim.Start({"--mode", "update"}));
    WriteImage(300, ImagePath());
    // "-SILENTLY" is not "-SILENT": the window would open, but there is no
    // display to show it on; nothing is sent.
    std::string output;
    EXPECT_EQ(RunUpdater({"-SILENTLY", PathSwitch()}, &output), 70);
    EXPECT_NE(output.find("no display"), std::string::npos) << output;
    EXPECT_NE(output.find("startup"), std::string::npos) << output;
    EXPECT_FALSE(FlagEverOn());
    EXPECT_EQ(sim.Quit(), 0);
}

// A run that finds no device leaves the platform root as it found it: one
// that was missing stays missing, so a simulator started later makes it and
// removes it again on exit, and an empty one stays empty.
TEST_F(ProgramTest, ARunWithoutADeviceLeavesThePlatformRootAsItFoundIt)
{
    const std::string fresh = sim.Root() + "/fresh";
    const std::string empty = sim.Root() + "/empty";
    fs::create_directory(empty);
    const auto untouched = [&] { return !fs::exists(fresh) && fs::is_empty(empty); };
    for (const std::string& root : {fresh + "/platform", empty}) {
        std::vector<std::string> env = sim.ProgramEnvironment();
        env.push_back("TAVO_PLATFORM_ROOT=" + root);
        // Without a device a -SILENT run opens the window, here on no display.
        for (const auto& [run, code] : {std::pair{"-RETURN_UPDATE_MODE_STATUS", 1}, {"-SILENT", 70}}) {
            std::string output;
            EXPECT_EQ(SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater", run, PathSwitch()}, env,
                                      &output),
                      code)
                << output;
        }
    }
    EXPECT_TRUE(untouched()) << "a run left a folder behind";
    for (const std::string& root : {fresh + "/platform", empty}) {
        std::string output;
        const int code =
            SimProcess::Run({SimProcess::BinFolder() + "/mixer-sim", "--root", root}, {}, &output, 30000,
                            nullptr, [&](pid_t) {
                                std::string reply;
                                const std::string socket = MixerSim::ControlSocketPath(root);
                                Within(30, [&] { return MixerSim::SendCommand(socket, "status", reply); });
                                MixerSim::SendCommand(socket, "quit", reply);
                            });
        EXPECT_EQ(code, 0) << output;
    }
    EXPECT_TRUE(untouched()) << "the simulator kept a folder it found there";
}

// A name that is not UTF-8 is never read under another: neither the name
// the text would stop at, nor the one an encoded surrogate pair would make,
// nor the one with U+FFFD where its odd bytes were. The image comes by its
// path, or as the default image of a program folder whose name holds the
// bytes; a decoy waits under each other name. The device is never touched
// and a status run finds no image.
struct OddName
{
    const char* name;
    const char* bytes;      // put into the name
    const char* decoyName;  // what a wrong reading of "odd<bytes>.syx" names
    bool inProgramFolder = false;
};

void PrintTo(const OddName& c, std::ostream* os)
{
    *os << c.name;
}

class OddNameTest : public ProgramTest, public ::testing::WithParamInterface<OddName>
{
};

TEST_P(OddNameTest, IsRefusedWithAMessage)
{
    const OddName& c = GetParam();
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    const std::string folder = sim.Root() + "/fw dir/";
    std::vector<std::string> env = sim.ProgramEnvironment();
    std::string image;
    if (c.inProgramFolder) {
        // The program folder's name cut at the bytes, or read with them.
        const std::string odd = folder + "odd" + c.bytes + ".d";
        fs::create_directories(odd);
        fs::create_directories(folder + c.decoyName);
        WriteImage(256, odd + "/RB47DSP_FULL.syx");
        WriteImage(256, folder + c.decoyName + "/RB47DSP_FULL.syx");
        env.push_back("TAVO_PROGRAM_DIR=" + odd);
    } else {
        image = "-ABSOLUTE_FIRMWARE_FILE_PATH=" + folder + "odd" + c.bytes + ".syx";
        WriteImage(256, folder + "odd" + c.bytes + ".syx");
        WriteImage(256, folder + c.decoyName);
        WriteImage(256, folder + "odd\xEF\xBF\xBD.syx");
    }
    for (const auto& [run, code] : {std::pair{"-RETURN_UPDATE_MODE_STATUS", 2}, {"-SILENT", 70}}) {
        std::vector<std::string> argv{SimProcess::BinFolder() + "/FirmwareUpdater", run};
        if (!image.empty())
            argv.push_back(image);
        std::string output;
        EXPECT_EQ(SimProcess::Run(argv, env, &output), code) << run << ": " << output;
        EXPECT_NE(output.find("not valid UTF-8"), std::string::npos) << run << ": " << output;
    }
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_FALSE(FlagEverOn());
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, OddNameTest,
    ::testing::Values(OddName{"Surrogate", "\xED\xA0\x80", "odd"},
                      OddName{"LowSurrogate", "\xED\xBF\xBF", "odd"},
                      OddName{"SurrogatePair", "\xED\xA0\x80\xED\xB0\x80", "odd\xF0\x90\x80\x80.syx"},
                      OddName{"NotUtf8", "\xFF\xFE", "odd"}, OddName{"Latin1", "\xE9", "odd"},
                      OddName{"OverlongSlash", "\xC0\xAF", "odd"},
                      OddName{"PastTheLastCodePoint", "\xF4\x90\x80\x80", "odd"},
                      OddName{"SurrogateInTheProgramFolder", "\xED\xA0\x80", "odd", true},
                      OddName{"PairInTheProgramFolder", "\xED\xA0\x80\xED\xB0\x80", "odd\xF0\x90\x80\x80.d",
                              true}),
    [](const auto& info) { return std::string(info.param.name); });

// An argument that is not UTF-8 is one argument like any other: the switches
// after it still count, and the image they name is the image sent.
TEST_F(ProgramTest, AnArgumentThatIsNotUtf8HidesNoSwitch)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    std::vector<std::string> env = sim.ProgramEnvironment();
    env.push_back("TAVO_PROGRAM_DIR=" + sim.Root());
    const auto decoy = WriteDistinctImage(sim.Root() + "/RB47DSP_FULL.syx", kChunkSize * 3, 2);
    const auto chosen = WriteDistinctImage(ImagePath(), kChunkSize * 3, 1);
    const std::string program = SimProcess::BinFolder() + "/FirmwareUpdater";
    std::string output;
    EXPECT_EQ(SimProcess::Run({program, "\xED\xA0\x80", "-RETURN_UPDATE_MODE_STATUS"}, env, &output), 3)
        << output;
    EXPECT_EQ(SimProcess::Run({program, "-SILENT", "\xED\xA0\x80", "odd\xFF", PathSwitch()}, env, &output), 0)
        << output;
    EXPECT_TRUE(output.empty()) << output;
    EXPECT_EQ(sim.Received(), Padded(chosen));
    EXPECT_EQ(sim.Quit(), 0);
}

}  // namespace
