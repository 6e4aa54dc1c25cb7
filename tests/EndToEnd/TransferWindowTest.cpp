// What the window says about a transfer against what the simulated device
// got: the image named on the command line or chosen in the file chooser,
// byte for byte even when its name holds a backslash or a quote and a file
// stands at the path that character would make; and a device that resets as the update
// flag goes on, which must end as a failure, not as an install.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "ImageFiles.h"
#include "ProgramWindow.h"

namespace {

struct TransferCase
{
    const char* name;
    std::vector<std::string> simArgs;
    // The image comes from the file chooser; else the command line names it
    // and the transfer starts at once.
    bool chooser;
    bool delivered;
};

void PrintTo(const TransferCase& c, std::ostream* os)
{
    *os << c.name;
}

class TransferWindow : public ::testing::TestWithParam<TransferCase>
{
protected:
    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
};

TEST_P(TransferWindow, ShowsWhatTheDeviceGot)
{
    const TransferCase& c = GetParam();
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(sim.Start(c.simArgs));
    // The name holds backslashes and a quote followed by a space; the decoys
    // are the files it would name were a backslash a separator, or the quote
    // the end of a quoted value.
    const std::string chosen = sim.Root() + "/fw\\\" x\\image.syx";
    const auto image = WriteDistinctImage(chosen, kChunkSize * 30 + 5, 1);
    const auto decoy = WriteDistinctImage(sim.Root() + "/fw/\" x/image.syx", image.size(), 2);
    const auto quoteDecoy = WriteDistinctImage(sim.Root() + "/fw\\", image.size(), 3);
    PlantChooser(sim.Root() + "/chooser", "printf '%s\\n' '" + chosen + "'\n");
    const std::string dumpPath = sim.Root() + "/ui.txt";
    const std::vector<std::string> args =
        c.chooser ? std::vector<std::string>{"-ABSOLUTE_FIRMWARE_FILE_PATH=" + sim.Root() + "/none.syx"}
                  : std::vector<std::string>{"-START_UPDATE_AUTOMATICALLY",
                                             "-ABSOLUTE_FIRMWARE_FILE_PATH=" + chosen};

    std::string why, output;
    const int code = RunWindowed(
        sim, dumpPath, c.chooser ? "FirmwareUpdaterTestSkin" : "FirmwareUpdater", args, &output,
        [&](pid_t pid) {
            Dump dump;
            const auto shows = [&](const char* name, const char* text) {
                return [=](Dump& u) {
                    const Control& control = u.controls[name];
                    return control.shown && control.text.find(text) != std::string::npos;
                };
            };
            const auto fail = [&](const std::string& what) {
                why = what + "; the window shows \"" + dump.controls["labelUpdateProcessInformation"].text +
                      "\" and \"" + dump.controls["labelDeviceCannotUpdateError"].text +
                      "\"; device: " + sim.Command("status");
                server.Screenshot(std::string("transfer-window-") + c.name + "-failed");
                kill(pid, SIGKILL);
            };
            if (c.chooser) {
                if (!WaitForDump(dumpPath, dump, shows("File", "")))
                    return fail("no File menu");
                ClickControl(input, dump, dump.controls["File"]);
                if (!WaitForDump(dumpPath, dump, shows("ItemControl1", "Select Firmware File")))
                    return fail("the File menu did not open");
                ClickControl(input, dump, dump.controls["ItemControl1"]);
                if (!WaitForDump(dumpPath, dump, shows("buttonUpdateFirmware", "UPDATE FIRMWARE")))
                    return fail("the chosen file was not taken");
                ClickControl(input, dump, dump.controls["buttonUpdateFirmware"]);
            }
            // The transfer's outcome, once its sending is over.
            const bool ended = WaitForDump(dumpPath, dump, [&](Dump& u) {
                return shows("buttonManualDeviceHasUpdatedRescanButton", "NEXT")(u) ||
                       shows("buttonReinitialize", "TRY AGAIN")(u);
            });
            server.Screenshot(std::string("transfer-window-") + c.name);
            if (!ended)
                return fail("the transfer did not end");
            const bool failureShown =
                shows("labelDeviceCannotUpdateError", "the device can not be accessed")(dump) &&
                !dump.controls["buttonManualDeviceHasUpdatedRescanButton"].shown;
            if (!c.delivered) {
                if (!failureShown || !shows("buttonExit", "EXIT")(dump))
                    return fail("no failure shown");
                ClickControl(input, dump, dump.controls["buttonExit"]);
                return;
            }
            // Started from the window or by the start switch before the
            // window was up, it says the device installs.
            if (dump.controls["labelDeviceCannotUpdateError"].shown ||
                !shows("labelUpdateProcessInformation", "Please wait while the update installs")(dump))
                return fail("no success shown");
            // Installed, looked at again, left.
            if (!sim.WaitStatus("state=attached mode=normal version=0.0.3.7"))
                return fail("the device did not install the image");
            ClickControl(input, dump, dump.controls["buttonManualDeviceHasUpdatedRescanButton"]);
            if (!WaitForDump(dumpPath, dump, shows("labelUpdateProcessInformation", "successfully updated")))
                return fail("the rescan did not find the new version");
            ClickControl(input, dump, dump.controls["buttonExit"]);
        },
        {"PATH=" + sim.Root() + "/chooser:" + std::getenv("PATH")});
    EXPECT_EQ(why, "");
    EXPECT_EQ(code, 0) << output;
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    const auto log = sim.LogLines();
    const bool installed = std::find(log.begin(), log.end(), "state installing") != log.end();
    EXPECT_EQ(installed, c.delivered);
    if (c.delivered) {
        EXPECT_EQ(sim.Received(), Padded(image));
        EXPECT_NE(sim.Received(), Padded(decoy));
        EXPECT_NE(sim.Received(), Padded(quoteDecoy));
    }
}

INSTANTIATE_TEST_SUITE_P(Transfers, TransferWindow,
                         ::testing::Values(TransferCase{"QuoteAndBackslashNameOnTheCommandLine",
                                                        {"--mode", "update", "--install-ms", "100"},
                                                        false,
                                                        true},
                                           TransferCase{"QuoteAndBackslashNameFromTheChooser",
                                                        {"--mode", "update", "--install-ms", "100"},
                                                        true,
                                                        true},
                                           TransferCase{"DeviceResetsAsTheFlagGoesOn",
                                                        {"--mode", "update", "--reenumerate-after-flag"},
                                                        false,
                                                        false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
