// Runs that end without a window, against a real mixer-sim: they never
// touch the display, even one that takes the connection and then never
// answers, and they load no font configuration.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "SimProcess.h"

namespace {

// An X display on 127.0.0.1 whose port takes connections (the kernel
// completes them) and never sends the server's greeting: a client that
// opens it waits forever.
class SilentDisplay
{
public:
    SilentDisplay()
    {
        for (int n = 40; n < 100 && mFd < 0; ++n) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(uint16_t(6000 + n));
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                listen(fd, 8) == 0) {
                mFd = fd;
                mName = "127.0.0.1:" + std::to_string(n);
            } else if (fd >= 0) {
                close(fd);
            }
        }
    }
    ~SilentDisplay()
    {
        if (mFd >= 0)
            close(mFd);
    }
    bool Listening() const { return mFd >= 0; }
    const std::string& Name() const { return mName; }
    // True when a client connected since the last call.
    bool Connected()
    {
        bool any = false;
        for (int client; (client = accept4(mFd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            close(client);
            any = true;
        }
        return any;
    }

private:
    int mFd = -1;
    std::string mName;
};

// A font configuration file (the system's, included) whose every opening
// is seen through inotify: fontconfig opens it when it loads its fonts.
class WatchedFontConfig
{
public:
    explicit WatchedFontConfig(const std::string& path) : mPath(path)
    {
        std::ofstream(path)
            << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
               "<fontconfig><include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>"
               "</fontconfig>\n";
        mFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (mFd >= 0 && inotify_add_watch(mFd, path.c_str(), IN_OPEN) < 0) {
            close(mFd);
            mFd = -1;
        }
    }
    ~WatchedFontConfig()
    {
        if (mFd >= 0)
            close(mFd);
    }
    bool Watching() const { return mFd >= 0; }
    const std::string& Path() const { return mPath; }
    // True when the file was opened since the last call.
    bool Opened()
    {
        alignas(inotify_event) char buffer[4096];
        bool any = false;
        while (read(mFd, buffer, sizeof buffer) > 0)
            any = true;
        return any;
    }

private:
    std::string mPath;
    int mFd = -1;
};

struct WindowlessRun
{
    const char* name;
    std::vector<std::string> simArgs;
    const char* runSwitch;
    int expected;
    bool silentDisplay;  // else no DISPLAY at all
    // A status run takes well under a second; a silent one waits 2 s to
    // find the device in update mode. Room on top for sanitizer builds.
    int deadlineMs;
};

void PrintTo(const WindowlessRun& run, std::ostream* os)
{
    *os << run.name;
}

class WindowlessRunTest : public ::testing::TestWithParam<WindowlessRun>
{
protected:
    WindowlessRunTest()
    {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
};

TEST_P(WindowlessRunTest, TouchesNoDisplayAndLoadsNoFonts)
{
    const WindowlessRun& run = GetParam();
    SimProcess sim;
    ASSERT_TRUE(sim.Start(run.simArgs));
    SilentDisplay display;
    ASSERT_TRUE(display.Listening());
    WatchedFontConfig fonts(sim.Root() + "/fonts.conf");
    ASSERT_TRUE(fonts.Watching());
    const std::string image = sim.Root() + "/image.syx";
    std::ofstream(image, std::ios::binary) << std::string(256, '\x5A');

    std::vector<std::string> env = sim.ProgramEnvironment();
    env.push_back("FONTCONFIG_FILE=" + fonts.Path());
    if (run.silentDisplay)
        env.push_back("DISPLAY=" + display.Name());
    std::string output;
    // A run that opened the display would wait for its greeting forever.
    const int code = SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater", run.runSwitch,
                                      "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image},
                                     env, &output, run.deadlineMs);
    EXPECT_EQ(code, run.expected) << output;
    // The silent update really updated: the whole image reached the device.
    if (std::string(run.runSwitch) == "-SILENT") {
        EXPECT_EQ(sim.Received().size(), 256u);
    }
    EXPECT_FALSE(display.Connected()) << "the run connected to the display";
    EXPECT_FALSE(fonts.Opened()) << "the run loaded the font configuration";
    EXPECT_EQ(sim.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, WindowlessRunTest,
    ::testing::Values(
        WindowlessRun{
            "StatusBesideASilentDisplay", {"--mode", "normal"}, "-RETURN_UPDATE_MODE_STATUS", 5, true, 5000},
        WindowlessRun{
            "StatusWithoutDisplay", {"--mode", "normal"}, "-RETURN_UPDATE_MODE_STATUS", 5, false, 5000},
        WindowlessRun{"SilentUpdateBesideASilentDisplay",
                      {"--mode", "update", "--install-ms", "0"},
                      "-SILENT",
                      0,
                      true,
                      20000},
        WindowlessRun{"NothingToUpdateBesideASilentDisplay",
                      {"--mode", "normal", "--version", "0.0.3.7"},
                      "-SILENT_IF_UPDATE_NOT_NEEDED",
                      0,
                      true,
                      5000},
        WindowlessRun{"SilentUpdateWithoutDisplay",
                      {"--mode", "update", "--install-ms", "0"},
                      "-SILENT",
                      0,
                      false,
                      20000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
