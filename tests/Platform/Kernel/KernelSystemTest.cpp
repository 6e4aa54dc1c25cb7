#include "Platform/Kernel/KernelSystem.h"
#include "tests/Common/TestScope.h"

#include <gtest/gtest.h>

using namespace Tavo::Platform;

TEST(KernelSystem, LocaleNamesMapToLanguageIds)
{
    EXPECT_EQ(LanguageIdFromLocale("de_DE.UTF-8"), 0x0407);
    EXPECT_EQ(LanguageIdFromLocale("de_AT"), 0x0C07);
    EXPECT_EQ(LanguageIdFromLocale("fr_CA.UTF-8@euro"), 0x0C0C);
    EXPECT_EQ(LanguageIdFromLocale("ja_JP.eucJP"), 0x0411);
    // A country the table lacks falls back to the language's first entry.
    EXPECT_EQ(LanguageIdFromLocale("de_BE.UTF-8"), 0x0407);
    EXPECT_EQ(LanguageIdFromLocale("es"), 0x0C0A);
    EXPECT_EQ(LanguageIdFromLocale("C.UTF-8"), LANG_ID_ENGLISH_US);
    EXPECT_EQ(LanguageIdFromLocale("POSIX"), LANG_ID_ENGLISH_US);
    EXPECT_EQ(LanguageIdFromLocale(""), LANG_ID_ENGLISH_US);
    EXPECT_EQ(LanguageIdFromLocale("xx_YY"), LANG_ID_ENGLISH_US);
}

TEST(KernelSystem, UserLanguageFollowsLocaleVariablePrecedence)
{
    ScopedEnv lang("LANG", "fr_FR.UTF-8"), messages("LC_MESSAGES", "de_DE.UTF-8");
    ScopedEnv all("LC_ALL", "");  // set but empty counts as unset
    EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
    unsetenv("LC_MESSAGES");
    EXPECT_EQ(GetUserDefaultLangID(), 0x040C);
    setenv("LC_ALL", "it_IT", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0410);
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(GetUserDefaultLangID(), LANG_ID_ENGLISH_US);
}
