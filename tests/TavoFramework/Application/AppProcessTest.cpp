#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "tests/Common/TestScope.h"

#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string BinFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// One run of the test program with its own environment and stdout piped.
class Child
{
public:
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env)
    {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv, envp;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&mPid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        mOut = out[0];
    }
    ~Child()
    {
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            Wait();
        }
        close(mOut);
    }

    // The next line of output; empty after 10 s or at the end.
    std::string ReadLine()
    {
        while (mBuffer.find('\n') == std::string::npos) {
            pollfd p{mOut, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0)
                return {};
            char chunk[512];
            const ssize_t n = read(mOut, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            mBuffer.append(chunk, size_t(n));
        }
        const size_t end = mBuffer.find('\n');
        std::string line = mBuffer.substr(0, end);
        mBuffer.erase(0, end + 1);
        return line;
    }

    int Wait()
    {
        int status = 0;
        waitpid(mPid, &status, 0);
        mPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t mPid = -1;
    int mOut = -1;
    std::string mBuffer;
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
        mEnv = {"TAVO_TEST_RESOURCES=" + (mDir / "res").string(),
                "TAVO_RUNTIME_DIR=" + (mDir / "run").string(),
                "TAVO_USER_APPDATA_DIR=" + (mDir / "user").string(),
                "TAVO_COMMON_APPDATA_DIR=" + (mDir / "common").string(),
                "TAVO_CONFIG_DIR=" + (mDir / "config").string(),
                "TAVO_DOCUMENTS_DIR=" + (mDir / "docs").string(),
                "HOME=" + mDir.string()};
        // No display: nothing here may need one.
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

    Child second({Program(), "-SECOND", "with space", "-DEBUG_CONSOLE:00", "\xc3\xbc"}, mEnv);
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(first.ReadLine(),
              "RECEIVED:" + Program() + " -SECOND \"with space\" -DEBUG_CONSOLE:00 \xc3\xbc");
    EXPECT_EQ(first.Wait(), 0);
}

}  // namespace
