#include "Application/Version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

using namespace Tavo;
using Platform::VersionResource;
using Platform::VersionString;
using Platform::VersionTranslation;

namespace {

// Sets LC_ALL for the scope of one test.
class UserLocale
{
public:
    explicit UserLocale(const char* locale)
    {
        if (const char* old = std::getenv("LC_ALL"))
            mSaved = old;
        setenv("LC_ALL", locale, 1);
    }
    ~UserLocale()
    {
        if (mSaved)
            setenv("LC_ALL", mSaved->c_str(), 1);
        else
            unsetenv("LC_ALL");
    }

private:
    std::optional<std::string> mSaved;
};

const VersionString kEnglish[] = {{"CompanyName", u"Example Co"}, {"ProductName", u"Widget"}};
const VersionString kGerman[] = {{"CompanyName", u"Beispiel GmbH"}, {"ProductName", u"Ding"}};
const VersionString kNeutral[] = {{"ProductVersion", u"2.0"}};

std::string ThrownText(const VersionResource* resource)
{
    try {
        Version version(resource);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "nothing thrown";
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
    UserLocale german("de_CH.UTF-8");
    Version version(&resource);
    EXPECT_EQ(version.GetLanguage(), 0x0407);
    EXPECT_EQ(version.GetCodePage(), 1200);
    EXPECT_TRUE(version.GetString("CompanyName") == u"Beispiel GmbH");
    EXPECT_TRUE(version.GetString("ProductVersion").IsEmpty());  // absent key
    EXPECT_TRUE(version.GetString("companyname").IsEmpty());
}

TEST(Version, NeutralOnlyTranslationIsUsed)
{
    const VersionTranslation list[] = {{0x0000, 0x04B0, kNeutral, 1}};
    const VersionResource resource{list, 1};
    UserLocale japanese("ja_JP.UTF-8");
    Version version(&resource);
    EXPECT_TRUE(version.GetString("ProductVersion") == u"2.0");
}

TEST(Version, FailuresThrowTheStartupText)
{
    EXPECT_EQ(ThrownText(nullptr),
              "Runtime Error : The application encountered problems during startup and will now close.  "
              "(Error code = 902) : Tavo::Version::Version : TavoFramework/Application/Version : Line 143");
    const VersionResource empty{nullptr, 0};
    EXPECT_EQ(ThrownText(&empty),
              "Runtime Error : The application encountered problems during startup and will now close.  "
              "(Error code = 900) : Tavo::Version::Version : TavoFramework/Application/Version : Line 128");

    SetStartupErrorTextSource([](int32_t code) { return Format(u"Fehler %d", code); });
    EXPECT_EQ(ThrownText(&empty), "Runtime Error : Fehler 900 : Tavo::Version::Version : "
                                  "TavoFramework/Application/Version : Line 128");
    SetStartupErrorTextSource(nullptr);
}
