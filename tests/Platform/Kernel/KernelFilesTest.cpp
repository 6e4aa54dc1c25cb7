#include "Platform/Kernel/KernelFiles.h"

#include <gtest/gtest.h>

using namespace Tavo::Platform;
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
