// What the file chooser cannot hand over reaches the user in a message box
// over the window: the program with its File menu shown, a stand-in chooser
// first on PATH, checked in the box's pixels and answered with Return.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

#include "ProgramWindow.h"

#include <X11/keysym.h>

namespace {

struct Refusal
{
    const char* name;
    // What the chooser prints, "@" standing for the root; null: no chooser.
    const char* printed;
    const char* told;
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

// The message box's window when one is on screen, else 0.
Window FindBox(Display* d, XWindowAttributes& where)
{
    const auto found = TopWindows(d, [&](Window w, const XWindowAttributes& a) {
        const bool box = ClassOf(d, w).ends_with("/TavoMessageBox");
        where = box ? a : where;
        return box;
    });
    return found.empty() ? 0 : found.front();
}

class ChooserMessage : public ::testing::TestWithParam<Refusal>
{
protected:
    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
};

TEST_P(ChooserMessage, AppearsInABoxOverTheWindowAndNothingIsChosen)
{
    const Refusal& r = GetParam();
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    // Beside the name that is not UTF-8, the one it would be read as.
    const std::string files = sim.Root() + "/files";
    mkdir(files.c_str(), 0700);
    for (const char* name : {"odd\xFF\xFE.syx", "odd\xEF\xBF\xBD\xEF\xBF\xBD.syx", "line1", "cr.syx"})
        std::ofstream(files + "/" + name, std::ios::binary) << std::string(128 * 4, '\x5A');
    const std::string chooser = sim.Root() + "/chooser";
    mkdir(chooser.c_str(), 0700);
    if (r.printed) {
        std::string out = r.printed;
        for (size_t at = out.find('@'); at != std::string::npos; at = out.find('@'))
            out.replace(at, 1, files);
        std::ofstream(chooser + "/out", std::ios::binary) << out;
        PlantChooser(chooser, "exec /bin/cat '" + chooser + "/out'\n");
    }
    const std::string dumpPath = sim.Root() + "/ui.txt";

    std::string why, output;
    size_t darkPixels = 0;
    bool boxOverWindow = false;
    const int code = RunWindowed(
        sim, dumpPath, "FirmwareUpdaterTestSkin", {"-ABSOLUTE_FIRMWARE_FILE_PATH=" + files + "/none"},
        &output,
        [&](pid_t pid) {
            Dump dump;
            Display* d = input.Connection();
            XWindowAttributes box{};
            Window boxWindow = 0;
            const bool menuShown =
                WaitForDump(dumpPath, dump, [](Dump& u) { return u.controls["File"].shown; });
            if (menuShown)
                ClickControl(input, dump, dump.controls["File"]);
            if (!menuShown ||
                !WaitForDump(dumpPath, dump, [](Dump& u) { return u.controls["ItemControl1"].shown; })) {
                why = "no File menu";
            } else {
                ClickControl(input, dump, dump.controls["ItemControl1"]);
                Within(60, [&] { return (boxWindow = FindBox(d, box)) != 0; });
            }
            if (!boxWindow) {
                why += "no message box";
                server.Screenshot(std::string("chooser-message-") + r.name);
                kill(pid, SIGKILL);
                return;
            }
            // Drawn: wait for the text's dark pixels on the light face.
            Within(30, [&] {
                darkPixels = 0;
                for (uint32_t px : server.ReadPixels(boxWindow, {0, 0, box.width, box.height / 2})) {
                    const uint32_t grey = ((px >> 16 & 0xFF) + (px >> 8 & 0xFF) + (px & 0xFF)) / 3;
                    darkPixels += grey < 0x60;
                }
                return darkPixels >= 200;
            });
            Window child = 0;
            int boxX = 0, boxY = 0;
            XTranslateCoordinates(d, boxWindow, DefaultRootWindow(d), 0, 0, &boxX, &boxY, &child);
            const Control& exit = dump.controls["buttonExit"];
            boxOverWindow = boxX > dump.x && boxY > dump.y &&
                            boxX + box.width < dump.x + exit.x + exit.width &&
                            boxY + box.height < dump.y + exit.y + exit.height;
            server.Screenshot(std::string("chooser-message-") + r.name);
            // A press on the window behind is not taken while the box is up.
            ClickControl(input, dump, dump.controls["buttonExit"]);
            input.Key(XK_Return);
            input.Sync();
            if (!Within(30, [&] { return !FindBox(d, box); }))
                why += "the box stays after Return; ";
            if (!WaitForDump(dumpPath, dump, [](Dump& u) { return !u.controls["ItemControl1"].shown; }))
                why += "the menu stays open; ";
            dump = ReadDump(dumpPath);
            if (dump.controls["buttonUpdateFirmware"].shown ||
                !dump.controls["labelFirmwareFileInformation"].shown)
                why += "a file was taken; ";
            ClickControl(input, dump, dump.controls["buttonExit"]);
        },
        {"PATH=" + chooser});
    EXPECT_EQ(why, "");
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find(r.told), std::string::npos) << output;
    EXPECT_GE(darkPixels, 200u) << "the box's text is not drawn";
    EXPECT_TRUE(boxOverWindow);
    EXPECT_TRUE(sim.Received().empty());
}

INSTANTIATE_TEST_SUITE_P(Refusals, ChooserMessage,
                         ::testing::Values(Refusal{"LineBreak", "@/line1\nline2.syx\n", "holds a line break"},
                                           Refusal{"CarriageReturn", "@/cr.syx\r\n", "holds a line break"},
                                           Refusal{"NotUtf8", "@/odd\xFF\xFE.syx\n", "not valid UTF-8"},
                                           Refusal{"NoChooser", nullptr, "No file chooser"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
