#include "Application/Version.h"

#include "tests/Common/TestScope.h"
#include "tests/Common/ThrownText.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace Tavo;
using Platform::VersionResource;
using Platform::VersionString;
using Platform::VersionTranslation;

namespace {

const VersionString kEnglish[] = {{"CompanyName", u"Example Co"}, {"ProductName", u"Widget"}};
const VersionString kGerman[] = {{"CompanyName", u"Beispiel GmbH"}, {"ProductName", u"Ding"}};
const VersionString kNeutral[] = {{"ProductVersion", u"2.0"}};

std::string Thrown(const VersionResource* resource)
{
    return ThrownText<std::runtime_error>([&] { Version version(resource); });
}

}  // namespace

TEST(Version, ChoosesByPrimaryLanguageUserThenSystemThenEnglish)
{
    const VersionTranslation list[] = {
        {0x0000, 1200, kNeutral, 1},  // language neutral
        {0x0809, 1200, kEnglish, 2},  // English (United Kingdom)
        {0x0C07, 1200, kGerman, 2},   // German (Austria)
        {0x040C, 1252, kEnglish, 2},  // French
    };
    EXPECT_EQ(Version::ChooseTranslation(list, 4, 0x0407, 0x0409), 2u);  // any German sublanguage
    EXPECT_EQ(Version::ChooseTranslation(list, 4, 0x0411, 0x040C), 3u);  // system language
    EXPECT_EQ(Version::ChooseTranslation(list, 4, 0x0411, 0x0412), 1u);  // English
    EXPECT_EQ(Version::ChooseTranslation(list, 1, 0x0411, 0x0412), 0u);  // the first
}

TEST(Version, ReadsTheChosenTranslationsTexts)
{
    const VersionTranslation list[] = {{0x0409, 1200, kEnglish, 2}, {0x0407, 1200, kGerman, 2}};
    const VersionResource resource{list, 2};
    ScopedEnv german("LC_ALL", "de_CH.UTF-8");
    Version version(&resource);
    EXPECT_EQ(version.GetLanguage(), 0x0407);
    EXPECT_TRUE(version.GetString("CompanyName") == u"Beispiel GmbH");
    EXPECT_TRUE(version.GetString("companyname").IsEmpty());

    // A neutral translation alone is used whatever the language.
    const VersionTranslation neutral[] = {{0x0000, 0x04B0, kNeutral, 1}};
    const VersionResource onlyNeutral{neutral, 1};
    ScopedEnv japanese("LC_ALL", "ja_JP.UTF-8");
    EXPECT_TRUE(Version(&onlyNeutral).GetString("ProductVersion") == u"2.0");
}

TEST(Version, FailuresThrowTheStartupText)
{
    EXPECT_EQ(Thrown(nullptr),
              "Runtime Error : The application encountered problems during startup and will now close.  "
              "(Error code = 902) : Tavo::Version::Version : TavoFramework/Application/Version : Line 143");
    const VersionResource empty{nullptr, 0};
    EXPECT_EQ(Thrown(&empty),
              "Runtime Error : The application encountered problems during startup and will now close.  "
              "(Error code = 900) : Tavo::Version::Version : TavoFramework/Application/Version : Line 128");

    SetStartupErrorTextSource([](int32_t code) { return Format(u"Fehler %d", code); });
    EXPECT_EQ(Thrown(&empty), "Runtime Error : Fehler 900 : Tavo::Version::Version : "
                              "TavoFramework/Application/Version : Line 128");
    SetStartupErrorTextSource(nullptr);
}
