#include "Platform/Graphics/FontFolders.h"

#include "Platform/Graphics/FontConfiguration.h"

#include <fontconfig/fontconfig.h>

#include <cstdlib>

namespace Tavo::Platform {

std::vector<std::string> GetFontFolders()
{
    std::vector<std::string> folders;
    if (const char* env = std::getenv("TAVO_FONTS_DIR")) {
        std::string all(env);
        size_t start = 0;
        while (start <= all.size()) {
            size_t end = all.find(':', start);
            if (end == std::string::npos)
                end = all.size();
            if (end > start)
                folders.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        return folders;
    }
    // Built with its fonts so the list includes the folders below the
    // configured ones; after the default load, never beside it.
    WaitForFontConfig();
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config)
        return folders;
    if (FcStrList* dirs = FcConfigGetFontDirs(config)) {
        while (FcChar8* dir = FcStrListNext(dirs))
            folders.emplace_back(reinterpret_cast<const char*>(dir));
        FcStrListDone(dirs);
    }
    FcConfigDestroy(config);
    return folders;
}

std::string MatchFontFamily(const char* face, int32_t style)
{
    WaitForFontConfig();
    std::string family;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face ? face : ""));
    FcPatternAddInteger(pattern, FC_WEIGHT, (style & 1) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (style & 2) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
            family = reinterpret_cast<const char*>(name);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

bool FindFallbackFace(const char* face, int32_t style, uint32_t codePoint, FallbackFace& found)
{
    WaitForFontConfig();
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face ? face : ""));
    FcPatternAddInteger(pattern, FC_WEIGHT, (style & 1) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (style & 2) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, codePoint);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    bool any = false;
    if (FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
        for (int i = 0; i < sorted->nfont && !any; ++i) {
            FcPattern* candidate = sorted->fonts[i];
            FcCharSet* chars = nullptr;
            FcBool scalable = FcFalse, colour = FcFalse;
            FcChar8* file = nullptr;
            int index = 0;
            // Colour faces hold bitmaps at fixed sizes, not outlines.
            if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &chars) != FcResultMatch ||
                !FcCharSetHasChar(chars, codePoint) ||
                FcPatternGetBool(candidate, FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable ||
                (FcPatternGetBool(candidate, FC_COLOR, 0, &colour) == FcResultMatch && colour) ||
                FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch || !file)
                continue;
            FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
            found.path = reinterpret_cast<const char*>(file);
            found.index = index;
            any = true;
        }
        FcFontSetDestroy(sorted);
    }
    FcCharSetDestroy(wanted);
    FcPatternDestroy(pattern);
    return any;
}

bool GetSystemVersion(SystemVersion& version)
{
    // Nothing on Linux depends on it; the catalogue only needs a success.
    version = {6, 1};
    return true;
}

}  // namespace Tavo::Platform
