#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform/Kernel/PlatformFolders.h"

using namespace Tavo::Platform;

namespace {

class PlatformRootTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"TAVO_PLATFORM_ROOT", "XDG_RUNTIME_DIR"}) {
            const char* v = std::getenv(name);
            mSaved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }

    void TearDown() override
    {
        for (auto& [name, value] : mSaved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> mSaved;
};

TEST_F(PlatformRootTest, EnvironmentChoosesTheRoot)
{
    setenv("TAVO_PLATFORM_ROOT", "/x/root", 1);
    setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
    EXPECT_EQ(PlatformRoot(), "/x/root");
    setenv("TAVO_PLATFORM_ROOT", "", 1);
    EXPECT_EQ(PlatformRoot(), "/run/user/7/tavo-platform");
    unsetenv("TAVO_PLATFORM_ROOT");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PlatformRoot(), "/tmp/tavo-platform-" + std::to_string(getuid()));
}

TEST_F(PlatformRootTest, FoldersAreCreatedPrivate)
{
    char templ[] = "/tmp/tavo-root-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    std::string base = templ;
    setenv("TAVO_PLATFORM_ROOT", (base + "/deep/root").c_str(), 1);
    std::string folder = PlatformFolder("registry");
    EXPECT_EQ(folder, base + "/deep/root/registry");
    struct stat st
    {
    };
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A plain file where the root should be is refused.
    std::string blocked = base + "/file";
    FILE* f = fopen(blocked.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    setenv("TAVO_PLATFORM_ROOT", blocked.c_str(), 1);
    EXPECT_EQ(PlatformFolder("registry"), "");
    std::filesystem::remove_all(base);
}

}  // namespace
