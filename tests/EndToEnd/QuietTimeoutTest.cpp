// A quiet update that outlives its wait, with the program's own processor
// and engine against the simulated mixer: the transfer is aborted and
// awaited, so the driver's flag is cleared before the run ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "Application/ApplicationBase.h"
#include "Application/UpdateProcessor.h"
#include "Platform/Registry/Registry.h"
#include "SimProcess.h"

namespace {

using Engine = LUpdateEngineInterface;

TEST(QuietTimeout, AbortsTheTransferAndClearsTheFlagBeforeEnding)
{
    SimProcess sim;
    setenv("TAVO_PLATFORM_ROOT", sim.Root().c_str(), 1);
    Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateDirectoryRegistry(sim.Root() + "/registry"));
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "0"}));
    // Ten seconds at the program's pace, far past the wait.
    constexpr size_t kSize = 128 * 500;
    const std::string image = sim.Root() + "/image.syx";
    std::ofstream(image, std::ios::binary) << std::string(kSize, '\x33');

    {
        Tavo::RCPtr<Engine> engine = Engine::Create();
        LUpdateProcessor processor(engine, 300);
        Tavo::gProcessExitCode = 0;
        EXPECT_EQ(processor.Initialize(Tavo::WString(Tavo::NString(("x -SILENT -ABSOLUTE_FIRMWARE_FILE_PATH=" + image).c_str()))),
                  LUpdateProcessor::kEndWithoutWindow);

        // The worker is done: nothing half-sent counts as a success.
        EXPECT_EQ(engine->GetUpdateState(false), Engine::kUpdateFailed);
        EXPECT_EQ(engine->GetDeviceState(), Engine::kDeviceCannotUpdate);
        EXPECT_TRUE(processor.CanExit());
        EXPECT_EQ(Tavo::gProcessExitCode, 0);
    }

    const std::string status = sim.Command("status");
    EXPECT_NE(status.find("flag=0"), std::string::npos) << status;
    // Cut short. (The device cannot tell a cut image from a short one, so
    // its install after the clean close says nothing here.)
    EXPECT_LT(sim.Received().size(), kSize);
    const auto requests = sim.Requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(requests.end() - 3, requests.end()),
              (std::vector<std::string>{"close", "clear-event", "update-flag 0"}));
    EXPECT_EQ(sim.Quit(), 0);
    Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry());
}

} // namespace
