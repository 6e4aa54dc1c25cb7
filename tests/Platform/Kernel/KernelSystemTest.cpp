#include "Platform/Kernel/KernelSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

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
    auto saved = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto all = saved("LC_ALL"), messages = saved("LC_MESSAGES"), lang = saved("LANG");

    setenv("LANG", "fr_FR.UTF-8", 1);
    setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    setenv("LC_ALL", "", 1);  // set but empty counts as unset
    EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
    unsetenv("LC_MESSAGES");
    EXPECT_EQ(GetUserDefaultLangID(), 0x040C);
    setenv("LC_ALL", "it_IT", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0410);
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(GetUserDefaultLangID(), LANG_ID_ENGLISH_US);

    auto restore = [](const char* name, const std::optional<std::string>& v) {
        if (v)
            setenv(name, v->c_str(), 1);
        else
            unsetenv(name);
    };
    restore("LC_ALL", all);
    restore("LC_MESSAGES", messages);
    restore("LANG", lang);
}

TEST(KernelSystem, ProgramPathAndClocks)
{
    const std::string path = GetProgramPath();
    EXPECT_NE(path.find("test_platform_kernel"), std::string::npos);

    const LocalTime t = GetLocalTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_LE(t.dayOfWeek, 6);
    EXPECT_LT(t.milliseconds, 1000);

    const uint32_t before = GetMilliseconds();
    Sleep(5);
    EXPECT_GE(static_cast<uint32_t>(GetMilliseconds() - before), 5u);
}
