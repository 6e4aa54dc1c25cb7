// The program started with a window placement in its profile that no
// screen holds: it starts as usual, its window on the screen.
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ProgramWindow.h"

namespace {

struct Stored
{
    const char* name;
    int32_t left, top, right, bottom;
};

void PrintTo(const Stored& s, std::ostream* os)
{
    *os << s.name;
}

// The placement record: length, flags, show command, minimised and
// maximised positions, then the frame (left, top, right, bottom).
std::string PlacementHex(const Stored& s)
{
    std::string hex;
    for (int32_t v : {44, 0, 1, -1, -1, -1, -1, s.left, s.top, s.right, s.bottom}) {
        const uint32_t u = uint32_t(v);
        for (int i = 0; i < 4; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02x", (u >> (8 * i)) & 0xFF);
            hex += byte;
        }
    }
    return hex;
}

class StoredPlacementTest : public ::testing::TestWithParam<Stored>
{
};

TEST_P(StoredPlacementTest, StartsWithTheWindowOnTheScreen)
{
    XServer& server = TestXServer();
    ASSERT_TRUE(server.Running());
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    // Where the program keeps its profile: company and program name.
    const std::filesystem::path folder = sim.Root() + "/config/Tessaro DJ";
    std::filesystem::create_directories(folder);
    const std::string section = "Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater";
    std::ofstream(folder / (section + ".profile")) << section << "/WP=" << PlacementHex(GetParam()) << "\n";

    const std::string dumpPath = sim.Root() + "/ui.txt";
    Display* d = server.Connection();
    const int32_t screenW = DisplayWidth(d, DefaultScreen(d)), screenH = DisplayHeight(d, DefaultScreen(d));
    XInput input;
    std::string output;
    const int code = RunWindowed(sim, dumpPath, "FirmwareUpdater", {}, &output, [&](pid_t pid) {
        // The program's top-level window where its dump says it is.
        Dump dump;
        XWindowAttributes window{};
        const bool shown = WaitForDump(dumpPath, dump, [&](Dump& u) {
            return u.controls["buttonExit"].shown && !TopWindows(d, [&](Window, const XWindowAttributes& a) {
                                                          const bool there =
                                                              a.x == u.x && a.y == u.y && a.width > 1;
                                                          window = there ? a : window;
                                                          return there;
                                                      }).empty();
        });
        server.Screenshot(std::string("stored-placement-") + GetParam().name);
        if (!shown) {
            ADD_FAILURE() << "no window";
            kill(pid, SIGKILL);
            return;
        }
        EXPECT_GE(window.x, 0);
        EXPECT_GE(window.y, 0);
        EXPECT_LE(window.x + window.width, screenW);
        EXPECT_LE(window.y + window.height, screenH);
        // The product's window has one size.
        EXPECT_EQ(window.width, 560);
        EXPECT_EQ(window.height, 384);
        ClickControl(input, dump, dump.controls["buttonExit"]);
    });
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
    // The profile, in the place planted, now holds the frame shown.
    std::ifstream in(folder / (section + ".profile"));
    std::string line, hex;
    while (std::getline(in, line))
        if (line.rfind(section + "/WP=", 0) == 0)
            hex = line.substr(section.size() + 4);
    ASSERT_EQ(hex.size(), 88u);
    auto at = [&](size_t offset) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | uint32_t(std::stoul(hex.substr(2 * (offset + size_t(i)), 2), nullptr, 16));
        return int32_t(v);
    };
    EXPECT_GE(at(28), 0);
    EXPECT_GE(at(32), 0);
    EXPECT_LE(at(36), screenW);
    EXPECT_LE(at(40), screenH);
}

INSTANTIATE_TEST_SUITE_P(
    Absurd, StoredPlacementTest,
    ::testing::Values(Stored{"Huge", 100, 100, 40000, 40000}, Stored{"WidestFromZero", 0, 0, INT32_MAX, 400},
                      Stored{"WiderThanInt", -1000, -1000, INT32_MAX, INT32_MAX},
                      Stored{"FarOff", INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX}),
    [](const ::testing::TestParamInfo<Stored>& info) { return std::string(info.param.name); });

}  // namespace
