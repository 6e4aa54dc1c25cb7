#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform/Kernel/PlatformFolders.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform;

TEST(PlatformRoot, EnvironmentChoosesTheRootAndFoldersAreCreatedPrivate)
{
    ScopedEnv root{"TAVO_PLATFORM_ROOT", "/x/root"}, runtime{"XDG_RUNTIME_DIR", "/run/user/7"};
    EXPECT_EQ(PlatformRoot(), "/x/root");
    setenv("TAVO_PLATFORM_ROOT", "", 1);
    EXPECT_EQ(PlatformRoot(), "/run/user/7/tavo-platform");
    unsetenv("TAVO_PLATFORM_ROOT");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PlatformRoot(), "/tmp/tavo-platform-" + std::to_string(getuid()));

    TestFolder base;
    setenv("TAVO_PLATFORM_ROOT", (base / "deep/root").c_str(), 1);
    std::string folder = PlatformFolder("registry");
    EXPECT_EQ(folder, base / "deep/root/registry");
    struct stat st = {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A plain file where the root should be is refused.
    std::ofstream(base / "file") << "x";
    setenv("TAVO_PLATFORM_ROOT", (base / "file").c_str(), 1);
    EXPECT_EQ(PlatformFolder("registry"), "");
}
