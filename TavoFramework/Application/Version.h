#pragma once

#include "Platform/Kernel/VersionResource.h"
#include "Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>

namespace Tavo {

// The text shown for a start-up failure code. The application layer installs
// its string-table lookup here; until then an English text is used.
using StartupErrorTextSource = WString (*)(int32_t code);
void SetStartupErrorTextSource(StartupErrorTextSource source);

// Reads a version block and answers the texts of the translation that suits
// the user's language. Built for one look-up and discarded.
class Version
{
public:
    // The running program's own block. Throws a runtime error with the
    // start-up failure text of 903 (program path unreadable), 902 (no block)
    // or 900 (no translation).
    Version();
    // A given block; null counts as a module without one.
    explicit Version(const Platform::VersionResource* resource);
    Version(const Version&) = delete;
    Version& operator=(const Version&) = delete;

    // "CompanyName", "ProductName", "ProductVersion"; empty when the chosen
    // translation lacks the key.
    WString GetString(const char* key) const;

    uint16_t GetLanguage() const { return mTranslation ? mTranslation->language : 0; }
    uint16_t GetCodePage() const { return mTranslation ? mTranslation->codePage : 0; }

    // Index of the translation whose primary language is the user's, else the
    // system's, else English, else the first. count must not be 0.
    static size_t ChooseTranslation(const Platform::VersionTranslation* translations, size_t count,
                                    uint16_t userLanguage, uint16_t systemLanguage);

private:
    void Fill(const Platform::VersionResource* resource);

    const Platform::VersionResource* mData = nullptr;
    const Platform::VersionTranslation* mTranslation = nullptr;
};

}  // namespace Tavo
