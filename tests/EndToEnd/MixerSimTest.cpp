// The simulated mixer as a separate process, driven through the device
// channel's transfer and its control command.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "DeviceChannel/FirmwareTransfer.h"
#include "Platform/Registry/Registry.h"
#include "SimProcess.h"

namespace {

class Host : public FirmwareTransferHost
{
public:
    bool IsAbortRequested() override { return false; }
    void SetUpdateState(int32_t state) override { updateState = state; }
    void SetDeviceState(int32_t state) override { deviceState = state; }
    void SetCannotUpdateReason(uint32_t) override {}
    Tavo::WString GetFirmwarePath() override { return Tavo::WString(Tavo::NString(path.c_str())); }
    void PostUpdateProgress(uint32_t, double, bool, int32_t, bool, const Tavo::WString&) override {}
    void PostUpdateCompleted(bool) override {}
    uint16_t GetChunkSize() override { return 128; }
    uint16_t GetChunkPauseMs() override { return 0; }

    std::string path;
    int32_t updateState = 0;
    int32_t deviceState = 8;
};

class MixerSimTest : public ::testing::Test
{
protected:
    MixerSimTest()
    {
        Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateDirectoryRegistry(sim.Root() + "/registry"));
    }
    ~MixerSimTest() override { Tavo::Platform::Registry::SetMachine(Tavo::Platform::Registry::CreateMemoryRegistry()); }

    std::vector<uint8_t> WriteImage(size_t size)
    {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 13 + 5);
        host.path = sim.Root() + "/image.bin";
        std::ofstream(host.path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(size));
        return bytes;
    }

    // Its keys and sockets are gone; the driver key too, as nothing else used it.
    void ExpectCleanedUp() const
    {
        namespace fs = std::filesystem;
        EXPECT_FALSE(fs::exists(sim.Root() + "/registry/Software/Calvio/Audio/Drivers/{3f8a6c12-d9e4-4b71-8c25-7e0b19a4d6f3}"));
        EXPECT_FALSE(fs::exists(sim.Root() + "/mixer-sim.sock"));
        EXPECT_TRUE(fs::is_empty(sim.Root() + "/midi"));
        EXPECT_TRUE(fs::is_empty(sim.Root() + "/driver"));
    }

    SimProcess sim;
    Host host;
};

TEST_F(MixerSimTest, ReceivesTheImagePaddedAndInstallsIt)
{
    ASSERT_TRUE(sim.Start({"--mode", "update", "--install-ms", "50", "--after-update-version", "0.0.3.9"}));
    for (size_t size : {size_t(1), size_t(128), size_t(129), size_t(65500)}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(sim.WaitStatus("state=attached"));
        const auto image = WriteImage(size);
        const size_t before = sim.Received().size();
        ASSERT_EQ(PerformPrivateMidiUpdate(host), Tavo::S_OK);
        EXPECT_EQ(host.updateState, kUpdateSucceeded);

        auto expected = image;
        expected.resize((size + 127) / 128 * 128, 0);
        ASSERT_TRUE(sim.WaitStatus("received=" + std::to_string(before + expected.size())));
        const auto received = sim.Received();
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), received.begin() + long(before)));

        // Detached, installed, back in normal mode with the new version.
        ASSERT_TRUE(sim.WaitStatus("state=attached mode=normal version=0.0.3.9"));
        ASSERT_EQ(sim.Command("update-mode"), "ok");
    }
    // The order of one transfer: flag, channel, chunks, close, flag.
    auto requests = sim.Requests();
    const auto first = std::find(requests.begin(), requests.end(), "update-flag 1");
    std::vector<std::string> one(first, std::find(first, requests.end(), "update-flag 0") + 1);
    EXPECT_EQ(one, (std::vector<std::string>{"update-flag 1", "set-event", "open-port 0", "send 0 128", "close",
                                             "clear-event", "update-flag 0"}));
    EXPECT_EQ(sim.Quit(), 0);
}

TEST_F(MixerSimTest, ControlCommandsAndCleanExit)
{
    ASSERT_TRUE(sim.Start({"--mode", "absent", "--version", "0.0.3.7"}));
    EXPECT_TRUE(sim.WaitStatus("state=detached mode=normal version=0.0.3.7"));
    EXPECT_EQ(sim.Command("attach"), "ok");
    EXPECT_TRUE(sim.WaitStatus("state=attached mode=normal"));
    EXPECT_EQ(sim.Command("update-mode"), "ok");
    EXPECT_TRUE(sim.WaitStatus("state=attached mode=update"));
    EXPECT_EQ(sim.Command("detach"), "ok");
    EXPECT_TRUE(sim.WaitStatus("state=detached"));
    EXPECT_EQ(sim.Command("normal-mode"), "ok");
    EXPECT_EQ(sim.Command("jump").rfind("error", 0), 0u);

    std::string out;
    EXPECT_EQ(SimProcess::Run({SimProcess::BinFolder() + "/mixer-sim-ctl", "--root", sim.Root(), "status"}, {}, &out),
              0);
    EXPECT_EQ(out.rfind("state=attached mode=normal", 0), 0u) << out;

    EXPECT_EQ(sim.Quit(), 0);
    ExpectCleanedUp();
    EXPECT_NE(SimProcess::Run({SimProcess::BinFolder() + "/mixer-sim-ctl", "--root", sim.Root(), "status"}, {}, &out),
              0);
}

TEST_F(MixerSimTest, ASignalEndsItAsCleanlyAsQuit)
{
    ASSERT_TRUE(sim.Start({"--mode", "update"}));
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    ExpectCleanedUp();
}

TEST(MixerSimArguments, BadArgumentsEndWithAMessage)
{
    const std::string sim = SimProcess::BinFolder() + "/mixer-sim";
    for (std::vector<std::string> args : {std::vector<std::string>{"--mode", "sleepy"}, {"--version", "1.2.3"},
                                          {"--version", "0.0.3.128"}, {"--refuse-chunk", "0"}, {"--root"},
                                          {"--install-ms", "-5"}, {"--frobnicate"}}) {
        std::vector<std::string> argv = {sim};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out;
        EXPECT_EQ(SimProcess::Run(argv, {}, &out), 2) << args[0];
        EXPECT_NE(out.find("mixer-sim: "), std::string::npos) << out;
    }
}

} // namespace
