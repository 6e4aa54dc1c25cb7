// The program with its window, updating the simulated mixer, when the X
// server goes away in the middle of the transfer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Pace.h"
#include "tests/Common/XServer.h"

namespace {

TEST(WindowedUpdate, LosingTheDisplayMidTransferClearsTheFlagAndEndsWithTheReason)
{
    XServer own;  // the program's display, pulled from under it
    ASSERT_TRUE(own.Running());
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    // 500 chunks, ten seconds at the program's pace: the transfer is still
    // running when the server goes.
    const std::string image = sim.Root() + "/image.syx";
    std::ofstream(image, std::ios::binary) << std::string(kChunkSize * 500, '\x21');
    std::vector<std::string> env = sim.ProgramEnvironment();
    env.push_back("DISPLAY=" + own.Name());

    const auto sent = [&] { return SentChunks(sim) > 0; };
    // The hand-over socket, in the runtime folder the environment gives.
    const std::string socketPath =
        sim.Root() + "/Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdaterPrevent.sock";
    bool socketMade = false;
    std::string output;
    const int code = SimProcess::Run({SimProcess::BinFolder() + "/FirmwareUpdater",
                                      "-START_UPDATE_AUTOMATICALLY", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image},
                                     env, &output, SimProcess::kDeadlineMs, nullptr, [&](pid_t) {
                                         Within(SimProcess::kDeadlineMs / 1000, sent, 5);
                                         socketMade = std::filesystem::is_socket(socketPath);
                                         own.Kill();
                                     });

    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find("Display lost"), std::string::npos) << output;
    EXPECT_TRUE(socketMade);
    EXPECT_FALSE(std::filesystem::exists(socketPath)) << "the hand-over socket was left behind";
    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    EXPECT_EQ(sim.LastRequests(3), (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
    EXPECT_EQ(sim.Quit(), 0);
}

}  // namespace
