// The real FirmwareUpdater's window on a private X server against a real
// simulated mixer, clicked through XTest where the window's dump says its
// controls are, and checked step by step from that dump.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "ImageFiles.h"
#include "Pace.h"
#include "ProgramWindow.h"

#include <X11/keysym.h>

namespace {

// A control shown or hidden; when shown, with a text holding `text`.
struct Expect
{
    std::string name;
    bool shown;
    std::string text;
};

struct Step
{
    // "click NAME", "probe NAME" (a click that asks the device: waits until
    // it was asked), "ctl COMMAND" (the user's part on the device), "wait
    // STATUS" (of the device), "refuse" (Exit's place, Alt+F4 and the close
    // request), "swap KIND" (the image replaced by a StandIn), or nothing.
    std::string action;
    std::vector<Expect> expect;
    double progressAtLeast = -1;
};

struct Scenario
{
    const char* name;
    std::vector<std::string> simArgs;
    bool missingFile = false;
    std::vector<Step> steps;
};

void PrintTo(const Scenario& s, std::ostream* os)
{
    *os << s.name;
}

// The device takes the image slowly enough that a loaded machine still
// sees the transfer running between two looks at the dump (about nine
// seconds for the image); it drains well within the channel's close limit.
const char* const kTakeMs = "60";

const Expect kInstructions{"labelUpdateProcessInformation", true, "1. Power OFF the K620 ZENTA."};
const Expect kNextShown{"buttonManualDeviceReadyForUpdateButton", true, "NEXT"};
const Expect kExitShown{"buttonExit", true, "EXIT"};
const Expect kExitHidden{"buttonExit", false, ""};
const Expect kInProgress{"labelUpdateProcessInformation", true, "Firmware update in progress."};
const Step kStart{"click buttonUpdateFirmware", {kInstructions, kNextShown, kExitHidden}};
const Step kTransferStarts{"click buttonManualDeviceReadyForUpdateButton", {kInProgress, kExitHidden}, 0.05};
// Still running and rising: none of the three ended the program.
const Step kRefused{"refuse", {kInProgress, {"progressBar", true, ""}}, 0.6};
const Step kInstalling{"",
                       {{"labelUpdateProcessInformation", true, "Please wait while the update installs."},
                        {"buttonManualDeviceHasUpdatedRescanButton", true, "NEXT"}}};
const Step kSucceeded{"click buttonManualDeviceHasUpdatedRescanButton",
                      {{"labelUpdateProcessInformation", true, "has been successfully updated"}, kExitShown}};
const Step kExit{"click buttonExit", {}};

// The image, checked at the start, is something else by the time NEXT
// starts the transfer: a file access failure, with nothing sent.
Scenario SwappedImage(const char* name, const char* kind)
{
    return {name,
            {"--mode", "normal"},
            false,
            {{"", {{"buttonUpdateFirmware", true, "UPDATE FIRMWARE"}}},
             kStart,
             {"ctl update-mode", {kInstructions, kNextShown}},
             {std::string("swap ") + kind, {kNextShown}},
             {"click buttonManualDeviceReadyForUpdateButton",
              {{"labelDeviceCannotUpdateError", true, "because of a file access error"},
               {"buttonReinitialize", true, "TRY AGAIN"},
               kExitShown}},
             {"wait flag=0 received=0 ", {}},
             // The image is still not there: no update is offered.
             {"click buttonReinitialize",
              {{"buttonUpdateFirmware", false, ""},
               {"labelDeviceInformation", true, ""},
               {"labelUpdateProcessInformation", false, ""},
               {"labelFileFirmwareVersion", false, ""},
               kExitShown}}}};
}

class WindowTest : public ::testing::TestWithParam<Scenario>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        ASSERT_TRUE(sim.Start(GetParam().simArgs));
        image = sim.Root() + "/fw dir/image.syx";
        mkdir((sim.Root() + "/fw dir").c_str(), 0700);
        WriteImage(image, kChunkSize * 150);
        // The file dialog's chooser: a stand-in first on PATH that picks the image.
        PlantChooser(sim.Root() + "/chooser", "printf '%s\\n' '" + image + "'\n");
    }

    // Polls the dump until every expectation holds; false at the deadline.
    bool WaitFor(const Step& step, Dump& dump, std::string& why)
    {
        return WaitForDump(dumpPath, dump, [&](Dump& u) {
            why = u.controls.empty() ? "no dump" : "";
            for (const Expect& e : step.expect) {
                const Control& c = u.controls[e.name];
                if (c.shown != e.shown || (e.shown && c.text.find(e.text) == std::string::npos))
                    why += e.name + (c.shown ? " shows \"" + c.text + "\"; " : " hidden; ");
            }
            if (u.controls["progressBar"].value < step.progressAtLeast)
                why += "progress " + std::to_string(u.controls["progressBar"].value);
            return why.empty();
        });
    }

    // The window manager's close request, as a client message to the window.
    void SendCloseRequest(const Dump& dump)
    {
        Display* d = input.Connection();
        for (Window w : TopWindows(
                 d, [&](Window, const XWindowAttributes& a) { return a.x == dump.x && a.y == dump.y; }))
            ::SendCloseRequest(d, w);
        input.Sync();
    }

    void Act(const std::string& action, const Dump& dump)
    {
        const size_t asked = sim.LogLines().size();
        if (action.rfind("click ", 0) == 0 || action.rfind("probe ", 0) == 0)
            ClickControl(input, dump, dump.controls.at(action.substr(6)));
        if (action.rfind("probe ", 0) == 0) {
            Within(30, [&] { return sim.LogLines().size() != asked; });
        } else if (action.rfind("wait ", 0) == 0) {
            EXPECT_TRUE(sim.WaitStatus(action.substr(5))) << action;
        } else if (action.rfind("ctl ", 0) == 0) {
            EXPECT_EQ(sim.Command(action.substr(4)).rfind("ok", 0), 0u) << action;
        } else if (action.rfind("swap ", 0) == 0) {
            bool swapped = false;
            for (const StandIn kind : {StandIn::Fifo, StandIn::Socket, StandIn::Folder, StandIn::DevZero})
                if (action.substr(5) == StandInName(kind))
                    swapped = ReplaceImage(image, kind);
            EXPECT_TRUE(swapped) << action;
        } else if (action == "refuse") {
            ClickControl(input, dump, dump.controls.at("buttonExit"));
            input.Key(XK_F4, {XK_Alt_L});
            SendCloseRequest(dump);
        }
    }

    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
    std::string image;
    std::string dumpPath;
};

TEST_P(WindowTest, StepsShowTheExpectedTextsAndControls)
{
    const Scenario& s = GetParam();
    dumpPath = sim.Root() + "/ui.txt";
    const std::string program = s.missingFile ? "FirmwareUpdaterTestSkin" : "FirmwareUpdater";
    const std::string file = s.missingFile ? sim.Root() + "/nowhere.syx" : image;
    std::string output;
    const int code =
        RunWindowed(sim, dumpPath, program, {"-ABSOLUTE_FIRMWARE_FILE_PATH=" + file}, &output,
                    [&](pid_t pid) {
                        Dump dump;
                        std::string why;
                        for (size_t i = 0; i < s.steps.size(); ++i) {
                            if (i > 0)
                                Act(s.steps[i].action, dump);
                            const bool ok = WaitFor(s.steps[i], dump, why);
                            server.Screenshot(std::string("window-") + s.name + "-" + std::to_string(i));
                            if (!ok) {
                                ADD_FAILURE() << "step " << i << " (" << s.steps[i].action << "): " << why
                                              << "; device: " << sim.Command("status");
                                kill(pid, SIGKILL);
                                return;
                            }
                        }
                        Act("click buttonExit", dump);
                    },
                    {"PATH=" + sim.Root() + "/chooser:" + std::getenv("PATH")});
    EXPECT_EQ(code, 0) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Roads, WindowTest,
    ::testing::Values(
        Scenario{"Update",
                 {"--mode", "normal", "--install-ms", "100", "--take-delay-ms", kTakeMs},
                 false,
                 {{"", {{"buttonUpdateFirmware", true, "UPDATE FIRMWARE"}, kExitShown}},
                  kStart,
                  // The device is not in update mode yet: nothing starts.
                  {"probe buttonManualDeviceReadyForUpdateButton", {kInstructions, kNextShown, kExitHidden}},
                  {"ctl update-mode", {kInstructions, kNextShown}},
                  kTransferStarts,
                  kRefused,
                  kInstalling,
                  {"wait state=attached mode=normal version=0.0.3.7", {}},
                  kSucceeded}},
        Scenario{"NoDeviceThenAttached",
                 {"--mode", "absent"},
                 false,
                 {{"",
                   {{"labelDeviceInformation", true, "K620 ZENTA device not found."},
                    {"buttonScanForDevice", true, "SCAN FOR DEVICE"}}},
                  {"ctl attach", {{"buttonScanForDevice", true, ""}}},
                  {"click buttonScanForDevice", {{"buttonUpdateFirmware", true, ""}}}}},
        Scenario{"SameVersion",
                 {"--mode", "normal", "--version", "0.0.3.7"},
                 false,
                 {{"",
                   {{"labelUpdateProcessInformation", true, "WARNING: You are attempting to update"},
                    {"buttonUpdateFirmware", true, ""}}}}},
        Scenario{"MissingFileThenChosen",
                 {"--mode", "normal"},
                 true,
                 {{"",
                   {{"labelFirmwareFileInformation", true, "missing or invalid"},
                    {"buttonUpdateFirmware", false, ""}}},
                  // The File menu opens with its entry; the entry opens the
                  // file dialog.
                  {"click File", {{"ItemControl1", true, "Select Firmware File"}}},
                  {"click ItemControl1",
                   {{"buttonUpdateFirmware", true, ""},
                    {"labelFirmwareFileInformation", false, ""},
                    {"ItemControl1", false, ""}}}}},
        Scenario{"DeviceRemovedDuringTransfer",
                 {"--mode", "normal", "--detach-at-chunk", "60"},
                 false,
                 {{"", {}},
                  kStart,
                  {"ctl update-mode", {kInstructions}},
                  // Waits on the device, not the bar: the unplug comes early
                  // enough in the transfer for a loaded machine to miss it.
                  {"click buttonManualDeviceReadyForUpdateButton", {}},
                  {"wait state=detached",
                   {{"labelDeviceCannotUpdateError", true, "the device can not be accessed"},
                    {"buttonReinitialize", true, "TRY AGAIN"},
                    kExitShown}}}},
        // Two mixers of the model plugged in: the window says that only the
        // first is updated, and updates it.
        Scenario{"SeveralDevicesTheFirstIsUpdated",
                 {"--mode", "normal", "--devices", "2", "--install-ms", "100", "--take-delay-ms", kTakeMs},
                 false,
                 {{"",
                   {{"labelDeviceInformation", true, "Only the first connected device will be updated."},
                    {"buttonUpdateFirmware", true, "UPDATE FIRMWARE"},
                    kExitShown}},
                  kStart,
                  {"ctl update-mode", {kInstructions, kNextShown}},
                  kTransferStarts,
                  kInstalling,
                  {"wait state=attached mode=normal version=0.0.3.7", {}},
                  kSucceeded}},
        SwappedImage("ImageBecomesAFifo", "Fifo"), SwappedImage("ImageBecomesASocket", "Socket"),
        SwappedImage("ImageBecomesAFolder", "Folder"), SwappedImage("ImageBecomesDevZero", "DevZero"),
        Scenario{"InUpdateModeAtStart",
                 {"--mode", "update", "--install-ms", "100", "--take-delay-ms", kTakeMs},
                 false,
                 {{"", {{"buttonUpdateFirmware", true, ""}}},
                  {"click buttonUpdateFirmware", {kInProgress, kExitHidden}},
                  kInstalling,
                  // EXIT waits for the rescan: the device installs meanwhile.
                  {"wait state=attached mode=normal version=0.0.3.7", {}},
                  kSucceeded}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The test skin's File menu driven from the keyboard in the real program:
// Down puts the band on "Select Firmware File" and Return chooses it (the
// file chooser runs), while UPDATE FIRMWARE, which has the focus behind the
// menu, is not clicked: no instructions, no request to the device.
TEST(WindowMenuKeys, ReturnInTheOpenFileMenuChoosesItsEntryAndNothingBehindReacts)
{
    XServer& server = TestXServer();
    ASSERT_TRUE(server.Running());
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--mode", "normal"}));
    const std::string image = sim.Root() + "/image.syx";
    WriteImage(image, kChunkSize * 150);
    const std::string ran = sim.Root() + "/chooser ran";
    PlantChooser(sim.Root() + "/chooser", "touch '" + ran + "'\nprintf '%s\\n' '" + image + "'\n");
    const std::string dumpPath = sim.Root() + "/ui.txt";
    constexpr uint32_t kBand = 0x3C5A8C;
    XInput input;
    std::string output;
    const int code = RunWindowed(
        sim, dumpPath, "FirmwareUpdaterTestSkin", {"-ABSOLUTE_FIRMWARE_FILE_PATH=" + image}, &output,
        [&](pid_t pid) {
            Dump dump;
            const auto until = [&](const std::function<bool()>& done) {
                return WaitForDump(dumpPath, dump, [&](Dump&) { return done(); });
            };
            const auto fail = [&](const std::string& why) {
                ADD_FAILURE() << why << "; device: " << sim.Command("status");
                server.Screenshot("window-menu-keys-failed");
                kill(pid, SIGKILL);
            };
            // The entry's row, found by its text.
            const auto row = [&]() -> Control {
                for (const auto& [name, c] : dump.controls)
                    if (c.shown && c.text == "Select Firmware File")
                        return c;
                return {};
            };
            const auto bandOnRow = [&] {
                const Control& popup = dump.controls["popupMenu"];
                const Control r = row();
                const std::vector<uint32_t> px = server.ReadPixels(
                    0, {dump.x + popup.x + popup.width - 2, dump.y + r.y + r.height / 2, 1, 1});
                return !px.empty() && px[0] == kBand;
            };
            if (!until([&] {
                    return dump.controls["buttonUpdateFirmware"].shown && dump.controls["File"].shown;
                }))
                return fail("no UPDATE FIRMWARE or File menu");
            ClickControl(input, dump, dump.controls["File"]);
            if (!until([&] { return dump.controls["popupMenu"].shown && row().shown; }))
                return fail("the File menu did not open");
            EXPECT_FALSE(bandOnRow()) << "no band before a key";
            input.Key(XK_Down);
            if (!until(bandOnRow))
                return fail("Down put no band on the entry");
            server.Screenshot("window-menu-keys-down");
            const size_t asked = sim.Requests().size();
            input.Key(XK_Return);
            struct stat st;
            if (!until([&] { return stat(ran.c_str(), &st) == 0 && !dump.controls["popupMenu"].shown; }))
                return fail("Return did not choose the entry and close the menu");
            server.Screenshot("window-menu-keys-chosen");
            EXPECT_EQ(dump.controls["labelUpdateProcessInformation"].text.find("Power OFF"),
                      std::string::npos)
                << "UPDATE FIRMWARE was clicked";
            EXPECT_TRUE(dump.controls["buttonUpdateFirmware"].shown);
            EXPECT_EQ(sim.Requests().size(), asked) << "the device was asked something";
            ClickControl(input, dump, dump.controls["buttonExit"]);
        },
        {"PATH=" + sim.Root() + "/chooser:" + std::getenv("PATH")});
    EXPECT_EQ(code, 0) << output;
}

}  // namespace
