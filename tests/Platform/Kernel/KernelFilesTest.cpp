#include "Platform/Kernel/KernelFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace Tavo::Platform;
namespace fs = std::filesystem;

namespace {

class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "tavo-kernel-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    void Touch(const std::string& name) const { std::ofstream(path + "/" + name) << "x"; }

    std::string path;
};

}  // namespace

TEST(KernelFiles, MatchPatternIgnoresCaseAndHandlesWildcards)
{
    EXPECT_TRUE(MatchPattern("*.xml", "Skins.XML"));
    EXPECT_TRUE(MatchPattern("*.*", "README"));
    EXPECT_TRUE(MatchPattern("*", ""));
    EXPECT_TRUE(MatchPattern("a?c", "ABC"));
    EXPECT_TRUE(MatchPattern("*a*b*", "xxaYYbzz"));
    EXPECT_TRUE(MatchPattern("**.ttf", "font.ttf"));
    EXPECT_FALSE(MatchPattern("*.xml", "skins.xml.bak"));
    EXPECT_FALSE(MatchPattern("a?c", "ac"));
    EXPECT_FALSE(MatchPattern("", "a"));
    EXPECT_FALSE(MatchPattern("*.bin", "bin"));
}
