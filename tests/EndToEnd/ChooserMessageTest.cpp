// What the file chooser cannot hand over reaches the user in a message box
// over the window: the program with its File menu shown, a stand-in chooser
// first on PATH, checked in the box's pixels and answered with Return.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "SimProcess.h"
#include "WindowDump.h"
#include "tests/Common/XServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

using Clock = std::chrono::steady_clock;

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
    // Windows of the program come and go while the tree is read.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XSync(d, False);
    Window found = 0, root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        XClassHint hint{};
        if (!XGetWindowAttributes(d, children[i], &where) || where.map_state != IsViewable ||
            !XGetClassHint(d, children[i], &hint))
            continue;
        if (hint.res_class && std::string(hint.res_class) == "TavoMessageBox")
            found = children[i];
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    XFree(children);
    return found;
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
        std::ofstream(chooser + "/zenity") << "#!/bin/sh\nexec /bin/cat '" << chooser << "/out'\n";
        chmod((chooser + "/zenity").c_str(), 0755);
    }
    const std::string dumpPath = sim.Root() + "/ui.txt";
    std::vector<std::string> env = sim.ProgramEnvironment();
    env.insert(env.end(), {"TAVO_UI_DUMP=" + dumpPath, "DISPLAY=" + server.Name(), "PATH=" + chooser});

    std::string why, output;
    size_t darkPixels = 0;
    bool boxOverWindow = false;
    const auto waitFor = [&](const std::function<bool(Dump&)>& ready, Dump& dump) {
        const auto end = Clock::now() + std::chrono::seconds(60);
        for (;;) {
            dump = ReadDump(dumpPath);
            if (ready(dump))
                return true;
            if (Clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    const auto click = [&](const Dump& dump, const Control& c) {
        input.MoveTo(dump.x + c.x + c.width / 2, dump.y + c.y + c.height / 2);
        input.Click(1);
        input.Sync();
    };
    const int code = SimProcess::Run(
        {SimProcess::BinFolder() + "/FirmwareUpdaterTestSkin",
         "-ABSOLUTE_FIRMWARE_FILE_PATH=" + files + "/none"},
        env, &output, SimProcess::kDeadlineMs, nullptr, [&](pid_t pid) {
            Dump dump;
            Display* d = input.Connection();
            XWindowAttributes box{};
            Window boxWindow = 0;
            const bool menuShown = waitFor([](Dump& u) { return u.controls["File"].shown; }, dump);
            if (menuShown)
                click(dump, dump.controls["File"]);
            if (!menuShown || !waitFor([](Dump& u) { return u.controls["ItemControl1"].shown; }, dump)) {
                why = "no File menu";
            } else {
                click(dump, dump.controls["ItemControl1"]);
                const auto end = Clock::now() + std::chrono::seconds(60);
                while (!(boxWindow = FindBox(d, box)) && Clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (!boxWindow) {
                why += "no message box";
                server.Screenshot(std::string("chooser-message-") + r.name);
                kill(pid, SIGKILL);
                return;
            }
            // Drawn: wait for the text's dark pixels on the light face.
            const auto drawnBy = Clock::now() + std::chrono::seconds(30);
            do {
                darkPixels = 0;
                for (uint32_t px : server.ReadPixels(boxWindow, {0, 0, box.width, box.height / 2})) {
                    const uint32_t grey = ((px >> 16 & 0xFF) + (px >> 8 & 0xFF) + (px & 0xFF)) / 3;
                    darkPixels += grey < 0x60;
                }
            } while (darkPixels < 200 && Clock::now() < drawnBy);
            Window child = 0;
            int boxX = 0, boxY = 0;
            XTranslateCoordinates(d, boxWindow, DefaultRootWindow(d), 0, 0, &boxX, &boxY, &child);
            const Control& exit = dump.controls["buttonExit"];
            boxOverWindow = boxX > dump.x && boxY > dump.y &&
                            boxX + box.width < dump.x + exit.x + exit.width &&
                            boxY + box.height < dump.y + exit.y + exit.height;
            server.Screenshot(std::string("chooser-message-") + r.name);
            // A press on the window behind is not taken while the box is up.
            click(dump, dump.controls["buttonExit"]);
            input.Key(XK_Return);
            input.Sync();
            const auto gone = Clock::now() + std::chrono::seconds(30);
            while (FindBox(d, box) && Clock::now() < gone)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (FindBox(d, box))
                why += "the box stays after Return; ";
            if (!waitFor([](Dump& u) { return !u.controls["ItemControl1"].shown; }, dump))
                why += "the menu stays open; ";
            dump = ReadDump(dumpPath);
            if (dump.controls["buttonUpdateFirmware"].shown ||
                !dump.controls["labelFirmwareFileInformation"].shown)
                why += "a file was taken; ";
            click(dump, dump.controls["buttonExit"]);
        });
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
