#include "Platform/Kernel/KernelFiles.h"
#include "Platform/Kernel/KernelSystem.h"
#include "tests/Common/TestScope.h"

#include <gtest/gtest.h>

using namespace Tavo::Platform;

TEST(KernelSystem, LocaleNamesMapToLanguageIdsByVariablePrecedence)
{
    // A country the table lacks falls back to the language's first entry.
    const std::pair<const char*, int> known[] = {
        {"de_DE.UTF-8", 0x0407},         {"de_AT", 0x0C07},
        {"fr_CA.UTF-8@euro", 0x0C0C},    {"ja_JP.eucJP", 0x0411},
        {"de_BE.UTF-8", 0x0407},         {"es", 0x0C0A},
        {"C.UTF-8", LANG_ID_ENGLISH_US}, {"POSIX", LANG_ID_ENGLISH_US},
        {"", LANG_ID_ENGLISH_US},        {"xx_YY", LANG_ID_ENGLISH_US}};
    for (const auto& [locale, id] : known)
        EXPECT_EQ(LanguageIdFromLocale(locale), id) << locale;
    // The user's language follows the locale variables' precedence.
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

TEST(KernelFiles, MatchPatternIgnoresCaseAndHandlesWildcards)
{
    const std::pair<const char*, const char*> matches[] = {
        {"*.xml", "Skins.XML"}, {"*.*", "README"},     {"*", ""},
        {"a?c", "ABC"},         {"*a*b*", "xxaYYbzz"}, {"**.ttf", "font.ttf"}};
    const std::pair<const char*, const char*> misses[] = {
        {"*.xml", "skins.xml.bak"}, {"a?c", "ac"}, {"", "a"}, {"*.bin", "bin"}};
    for (const auto& [pattern, name] : matches)
        EXPECT_TRUE(MatchPattern(pattern, name)) << pattern << " " << name;
    for (const auto& [pattern, name] : misses)
        EXPECT_FALSE(MatchPattern(pattern, name)) << pattern << " " << name;
}
