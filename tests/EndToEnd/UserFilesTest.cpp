// The real FirmwareUpdater, with no display, meeting what a user may have
// put where its settings live, and a stderr whose reader is gone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "FileState.h"
#include "SimProcess.h"

namespace {

namespace fs = std::filesystem;

class UserFilesTest : public ::testing::Test
{
protected:
    UserFilesTest()
    {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }

    // The status run: no window, the device absent (1).
    int RunStatus(std::string* output, const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> argv = {SimProcess::BinFolder() + "/FirmwareUpdater",
                                         "-RETURN_UPDATE_MODE_STATUS"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        // Anything that blocks shows as a kill at this deadline.
        return SimProcess::Run(argv, sim.ProgramEnvironment(), output, 30000);
    }

    std::string SettingsFolder() const { return sim.Root() + "/user/Tessaro DJ/k620 Zenta Firmware Updater"; }
    std::string SettingsPath() const { return SettingsFolder() + "/UserSettings.ini"; }

    SimProcess sim;
};

struct Planted
{
    const char* name;
    // Puts something at the settings path (`target` is a file beside it).
    void (*plant)(const std::string& path, const std::string& target);
    // Checks what is there after the run; `said` is what stderr must hold.
    void (*check)(const std::string& path, const std::string& target);
    const char* said;
};

void PrintTo(const Planted& p, std::ostream* os)
{
    *os << p.name;
}

class PlantedSettingsTest : public UserFilesTest, public ::testing::WithParamInterface<Planted>
{
};

TEST_P(PlantedSettingsTest, RunEndsNormallyAndTheFileIsKeptAsTheUserMadeIt)
{
    const Planted& p = GetParam();
    ASSERT_TRUE(sim.Start({"--mode", "absent"}));
    fs::create_directories(SettingsFolder());
    const std::string target = sim.Root() + "/elsewhere/kept.ini";
    fs::create_directories(fs::path(target).parent_path());
    p.plant(SettingsPath(), target);
    std::string output;
    EXPECT_EQ(RunStatus(&output), 1) << output;
    p.check(SettingsPath(), target);
    if (*p.said) {
        EXPECT_NE(output.find(p.said), std::string::npos) << output;
    }
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PlantedSettingsTest,
    ::testing::Values(
        Planted{"Fifo",
                [](const std::string& path, const std::string&) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
                [](const std::string& path, const std::string&) { EXPECT_TRUE(S_ISFIFO(ModeOf(path))); },
                "is not a regular file"},
        // The link stays; its target holds the settings.
        Planted{"Symlink",
                [](const std::string& path, const std::string& target) {
                    std::ofstream(target) << "CurrentSkinIndex=0\nKeep=1\n";
                    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
                },
                [](const std::string& path, const std::string& target) {
                    EXPECT_TRUE(S_ISLNK(ModeOf(path)));
                    const std::string text = ReadAll(target);
                    EXPECT_NE(text.find("@product=k620 Zenta Firmware Updater"), std::string::npos) << text;
                    EXPECT_NE(text.find("Keep=1"), std::string::npos) << text;
                },
                ""},
        Planted{"DanglingSymlink",
                [](const std::string& path, const std::string& target) {
                    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
                },
                [](const std::string& path, const std::string& target) {
                    EXPECT_TRUE(S_ISLNK(ModeOf(path)));
                    EXPECT_NE(ReadAll(target).find("@product=k620 Zenta Firmware Updater"),
                              std::string::npos);
                },
                ""},
        // Read-only: read, never written, and said.
        Planted{"ReadOnly",
                [](const std::string& path, const std::string&) {
                    std::ofstream(path) << "Other=2\n";
                    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
                },
                [](const std::string& path, const std::string&) {
                    EXPECT_EQ(ModeOf(path) & 07777, 0444u);
                    EXPECT_EQ(ReadAll(path), "Other=2\n");
                },
                "is read-only"},
        // Written, and still private.
        Planted{"OwnerOnly",
                [](const std::string& path, const std::string&) {
                    std::ofstream(path) << "Other=2\n";
                    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
                },
                [](const std::string& path, const std::string&) {
                    EXPECT_EQ(ModeOf(path) & 07777, 0600u);
                    EXPECT_NE(ReadAll(path).find("@product=k620 Zenta Firmware Updater"), std::string::npos);
                },
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UserFilesTest, ConsoleOnAStderrWhoseReaderIsGoneKeepsTheExitStatus)
{
    ASSERT_TRUE(sim.Start({"--mode", "absent"}));
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    // The shell hands the pipe on as stderr; the switch writes the command line there first.
    const int code = SimProcess::Run({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&" + std::to_string(fds[1]),
                                      SimProcess::BinFolder() + "/FirmwareUpdater", "-DEBUG_CONSOLE",
                                      "-RETURN_UPDATE_MODE_STATUS"},
                                     sim.ProgramEnvironment(), nullptr, 30000);
    close(fds[1]);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(sim.Quit(), 0);
}

}  // namespace
