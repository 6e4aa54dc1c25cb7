#include "Application/Version.h"

#include "ObjectBase/Exception.h"
#include "Platform/Kernel/KernelSystem.h"

#include <atomic>
#include <cstring>

namespace Tavo {

namespace {

constexpr uint16_t kPrimaryLanguageMask = 0x3FF;
constexpr uint16_t kLangEnglish = 0x09;

std::atomic<StartupErrorTextSource> gErrorTextSource{nullptr};

WString DefaultStartupErrorText(int32_t code)
{
    return Format(
        u"The application encountered problems during startup and will now close.  (Error code = %d)", code);
}

[[noreturn]] void ThrowStartupError(int32_t code, int line)
{
    const StartupErrorTextSource source = gErrorTextSource.load();
    const WString text = source ? source(code) : DefaultStartupErrorText(code);
    TAVO_THROW(std::runtime_error, NString(text).c_str(), "Tavo::Version::Version",
               "TavoFramework/Application/Version", line);
}

}  // namespace

void SetStartupErrorTextSource(StartupErrorTextSource source)
{
    gErrorTextSource = source;
}

Version::Version()
{
    if (Platform::GetProgramPath().empty())
        ThrowStartupError(903, 148);
    Fill(Platform::GetProgramVersionResource());
}

Version::Version(const Platform::VersionResource* resource)
{
    Fill(resource);
}

void Version::Fill(const Platform::VersionResource* resource)
{
    if (resource == nullptr)
        ThrowStartupError(902, 143);
    if (resource->translations == nullptr || resource->count == 0)
        ThrowStartupError(900, 128);
    mData = resource;
    mTranslation = &resource->translations[ChooseTranslation(resource->translations, resource->count,
                                                             Platform::GetUserDefaultLangID(),
                                                             Platform::GetSystemDefaultLangID())];
}

size_t Version::ChooseTranslation(const Platform::VersionTranslation* translations, size_t count,
                                  uint16_t userLanguage, uint16_t systemLanguage)
{
    for (uint16_t wanted : {uint16_t(userLanguage & kPrimaryLanguageMask),
                            uint16_t(systemLanguage & kPrimaryLanguageMask), kLangEnglish}) {
        for (size_t i = 0; i < count; ++i) {
            if ((translations[i].language & kPrimaryLanguageMask) == wanted)
                return i;
        }
    }
    return 0;
}

WString Version::GetString(const char* key) const
{
    if (mTranslation == nullptr || key == nullptr)
        return WString();
    for (size_t i = 0; i < mTranslation->count; ++i) {
        if (std::strcmp(mTranslation->strings[i].key, key) == 0)
            return WString(mTranslation->strings[i].value);
    }
    return WString();
}

}  // namespace Tavo
