// The program's window when the window profile it reads at start and writes
// at the end is something the user put there: a FIFO, a link, a read-only file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "FileState.h"
#include "ProgramWindow.h"

namespace {

namespace fs = std::filesystem;

// A stored placement for the main window at 40,30 (its size as the skin has it).
const char* const kStored = "Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater/WP="
                            "2c000000000000000100000000000000000000000000000000000000"
                            "28000000"
                            "1e000000"
                            "58020000"
                            "9e010000\n";

struct Profile
{
    const char* name;
    void (*plant)(const std::string& path, const std::string& target);
    void (*check)(const std::string& path, const std::string& target);
    const char* said;  // on stderr; empty for nothing
};

void PrintTo(const Profile& p, std::ostream* os)
{
    *os << p.name;
}

class ProfileWindowTest : public ::testing::TestWithParam<Profile>
{
protected:
    // Waits until the window shows EXIT drawn (not the black root behind
    // it), keeps a screenshot and clicks EXIT; false when it never did.
    bool WaitDrawnThenExit(const std::string& dumpPath, const std::string& name)
    {
        Dump dump;
        const bool drawn = WaitForDump(dumpPath, dump, [&](Dump& d) {
            const Control& exit = d.controls["buttonExit"];
            if (exit.shown)
                for (uint32_t pixel :
                     server.ReadPixels(0, {d.x + exit.x, d.y + exit.y, exit.width, exit.height}))
                    if (pixel != 0)
                        return true;
            return false;
        });
        server.Screenshot("profile-" + name);
        if (drawn)
            ClickControl(input, dump, dump.controls["buttonExit"]);
        return drawn;
    }

    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
};

TEST_P(ProfileWindowTest, WindowOpensAndTheProfileIsKeptAsTheUserMadeIt)
{
    const Profile& p = GetParam();
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(sim.Start({"--mode", "absent"}));
    const std::string folder = sim.Root() + "/config/Tessaro DJ";
    fs::create_directories(folder);
    const std::string path = folder + "/Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater.profile";
    const std::string target = sim.Root() + "/elsewhere.profile";
    p.plant(path, target);

    const std::string dumpPath = sim.Root() + "/ui.txt";
    std::string output;
    bool drawn = false;
    const int code =
        RunWindowed(sim, dumpPath, "FirmwareUpdater",
                    {"-ABSOLUTE_FIRMWARE_FILE_PATH=" + sim.Root() + "/x.syx"}, &output, [&](pid_t pid) {
                        drawn = WaitDrawnThenExit(dumpPath, p.name);
                        if (!drawn)
                            kill(pid, SIGKILL);
                    });
    ASSERT_TRUE(drawn) << "no window; " << output;
    EXPECT_EQ(code, 0) << output;
    p.check(path, target);
    if (*p.said) {
        EXPECT_NE(output.find(p.said), std::string::npos) << output;
    }
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ProfileWindowTest,
    ::testing::Values(
        // Opening it would wait for a writer forever.
        Profile{"Fifo",
                [](const std::string& path, const std::string&) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
                [](const std::string& path, const std::string&) { EXPECT_TRUE(S_ISFIFO(ModeOf(path))); },
                "is not a regular file"},
        Profile{"Symlink",
                [](const std::string& path, const std::string& target) {
                    std::ofstream(target) << "other/entry=00\n";
                    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
                },
                [](const std::string& path, const std::string& target) {
                    EXPECT_TRUE(S_ISLNK(ModeOf(path)));
                    const std::string text = ReadAll(target);
                    EXPECT_NE(text.find("other/entry=00"), std::string::npos) << text;
                    EXPECT_NE(text.find("FirmwareUpdater/WP=2c000000"), std::string::npos) << text;
                },
                ""},
        Profile{"ReadOnly",
                [](const std::string& path, const std::string&) {
                    std::ofstream(path) << kStored;
                    ASSERT_EQ(chmod(path.c_str(), 0400), 0);
                },
                [](const std::string& path, const std::string&) {
                    EXPECT_EQ(ModeOf(path) & 07777, 0400u);
                    EXPECT_EQ(ReadAll(path), kStored);
                },
                "is read-only"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
