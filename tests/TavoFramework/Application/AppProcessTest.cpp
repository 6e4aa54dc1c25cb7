#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "tests/Common/CleanEnvironment.h"
#include "tests/Common/TestScope.h"
#include "tests/Common/UdpListener.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string BinFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// One run of the test program with the clean environment and `env`, and
// stdout piped.
class Child
{
public:
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env)
    {
        int out[2], err[2], in[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> clean = CleanEnvironment(env);
        EXPECT_EQ(posix_spawn(&mPid, args[0].c_str(), &actions, nullptr, argv.data(), CStrings(clean).data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        close(in[0]);
        mOut = out[0];
        mErr = err[0];
        mIn = in[1];
    }
    ~Child()
    {
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            Wait();
        }
        close(mOut);
        close(mErr);
        CloseInput();
    }

    // The next line of output; empty after 10 s or at the end.
    std::string ReadLine()
    {
        while (mBuffer.find('\n') == std::string::npos) {
            if (!ReadMore(mOut, mBuffer))
                return {};
        }
        const size_t end = mBuffer.find('\n');
        std::string line = mBuffer.substr(0, end);
        mBuffer.erase(0, end + 1);
        return line;
    }

    // Reads stderr until it holds `text` (true), ends or stays quiet 10 s.
    bool ErrorsReach(const std::string& text)
    {
        while (mErrors.find(text) == std::string::npos) {
            if (!ReadMore(mErr, mErrors))
                return false;
        }
        return true;
    }
    const std::string& Errors() const { return mErrors; }

    void CloseInput()
    {
        if (mIn >= 0)
            close(mIn);
        mIn = -1;
    }

    int Wait()
    {
        int status = 0;
        waitpid(mPid, &status, 0);
        mPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static bool ReadMore(int fd, std::string& into)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            return false;
        char chunk[512];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        into.append(chunk, size_t(n));
        return true;
    }

    pid_t mPid = -1;
    int mOut = -1;
    int mErr = -1;
    int mIn = -1;
    std::string mBuffer;
    std::string mErrors;
};

class AppProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppTest::WriteResources(mDir / "res", false);
        for (const char* sub : {"run", "user", "common", "config", "docs"})
            std::filesystem::create_directories(mDir / sub);
        std::filesystem::permissions(mDir / "run", std::filesystem::perms::owner_all);
        // No display: nothing here may need one.
        mEnv = {"TAVO_TEST_RESOURCES=" + (mDir / "res").string(),
                "TAVO_RUNTIME_DIR=" + (mDir / "run").string(),
                "TAVO_USER_APPDATA_DIR=" + (mDir / "user").string(),
                "TAVO_COMMON_APPDATA_DIR=" + (mDir / "common").string(),
                "TAVO_CONFIG_DIR=" + (mDir / "config").string(),
                "TAVO_DOCUMENTS_DIR=" + (mDir / "docs").string(),
                "HOME=" + mDir.string()};
    }

    std::string Program() const { return BinFolder() + "/tavo_test_app"; }

    TestFolder mFolder;
    std::filesystem::path mDir = mFolder.Path();
    std::vector<std::string> mEnv;
};

TEST_F(AppProcess, SecondCopyHandsItsCommandLineToTheFirstAndEndsWithZero)
{
    Child first({Program(), "-FIRST"}, mEnv);
    ASSERT_EQ(first.ReadLine(), "READY");

    // Each argument arrives as exactly that argument, whatever quotes,
    // spaces and backslashes it holds.
    const std::vector<std::string> arguments = {
        Program(),           "-SECOND",     "with space",
        "-DEBUG_CONSOLE:00", "\xc3\xbc",    "-ABSOLUTE_FIRMWARE_FILE_PATH=/d/fw\" v2.syx",
        "\"-X=/a b\"",       "a\\\" b\\\\", ""};
    Child second(arguments, mEnv);
    EXPECT_EQ(second.Wait(), 0);
    const std::string received = first.ReadLine();
    ASSERT_EQ(received.rfind("RECEIVED:", 0), 0u) << received;
    EXPECT_EQ(Tavo::SplitCommandLine(received.substr(9)), arguments) << received;
    EXPECT_EQ(first.Wait(), 0);
}

// The skin asks the desktop for its font first; a machine with no fonts
// configured at all still starts.
TEST_F(AppProcess, StartsWhereFontconfigKnowsNoFont)
{
    std::ofstream(mDir / "empty-fonts.conf") << "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n";
    std::vector<std::string> env = mEnv;
    // With a log text the program ends once its input closes.
    env.insert(env.end(),
               {"FONTCONFIG_FILE=" + (mDir / "empty-fonts.conf").string(), "TAVO_TEST_LOG_TEXT=;"});
    Child app({Program()}, env);
    ASSERT_EQ(app.ReadLine(), "READY") << app.Errors();
    app.CloseInput();
    EXPECT_EQ(app.Wait(), 0) << app.Errors();
}

// Text written to the log without a flush, as the test program writes it
// when TAVO_TEST_LOG_TEXT is set: the narrow text, then a wide one.
const std::string kNarrow = "narrow text, no flush;";
const std::string kWide = "wide \xe2\x82\xac\xf0\x9f\x8e\xb5 no flush;";

TEST_F(AppProcess, ConsoleTextAppearsAtOnceAndPendingLogTextLeavesAtExit)
{
    UdpListener listener;
    const struct
    {
        const char* name;
        std::string switches;
        const char* env;
        bool seenWhileRunning;  // unbuffered: on stderr before the program ends
        bool datagrams;         // else stderr
    } cases[] = {
        {"console", "-DEBUG_CONSOLE", "TAVO_DEBUG_OUTPUT=0", true, false},
        {"debugger", "", "TAVO_DEBUG_OUTPUT=1", false, false},
        {"listener", "-DEBUG_CONSOLE:" + std::to_string(listener.Port()) + ":127.0.0.1",
         "TAVO_DEBUG_OUTPUT=0", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> env = mEnv;
        env.insert(env.end(), {"TAVO_TEST_LOG_TEXT=" + kNarrow, c.env});
        std::vector<std::string> args = {Program()};
        if (!c.switches.empty())
            args.push_back(c.switches);
        Child app(args, env);
        ASSERT_EQ(app.ReadLine(), "READY");
        if (c.seenWhileRunning) {
            EXPECT_TRUE(app.ErrorsReach(kNarrow + kWide)) << app.Errors();
        }
        app.CloseInput();  // the program ends
        EXPECT_EQ(app.Wait(), 0);
        std::string arrived;
        if (c.datagrams) {
            for (const std::string& datagram : listener.Drain())
                arrived += datagram;
        } else {
            app.ErrorsReach(kNarrow + kWide);
            arrived = app.Errors();
        }
        EXPECT_NE(arrived.find(kNarrow), std::string::npos) << arrived;
        EXPECT_NE(arrived.find(kWide), std::string::npos) << arrived;
    }
}

}  // namespace
