#include "Platform/Graphics/SystemFont.h"

#include "Platform/Graphics/FontConfiguration.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace Tavo::Platform {

namespace {

// Style words of a desktop font name and the bits they give.
struct StyleWord
{
    std::string_view word;
    int32_t bits;
};
constexpr StyleWord kStyleWords[] = {
    {"normal", 0},         {"roman", 0},          {"regular", 0},         {"book", 0},
    {"medium", 0},         {"thin", 0},           {"light", 0},           {"semi-light", 0},
    {"ultra-light", 0},    {"extra-light", 0},    {"demi-light", 0},      {"semi-bold", 0},
    {"demi-bold", 0},      {"small-caps", 0},     {"condensed", 0},       {"semi-condensed", 0},
    {"expanded", 0},       {"semi-expanded", 0},  {"ultra-condensed", 0}, {"extra-condensed", 0},
    {"ultra-expanded", 0}, {"extra-expanded", 0}, {"heavy", 1},           {"bold", 1},
    {"ultra-bold", 1},     {"extra-bold", 1},     {"ultra-heavy", 1},     {"black", 1},
    {"italic", 2},         {"oblique", 2},
};

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

const StyleWord* FindStyle(std::string_view word)
{
    const std::string lower = Lower(word);
    for (const StyleWord& s : kStyleWords)
        if (s.word == lower)
            return &s;
    return nullptr;
}

// A size word: points, or pixels with "px"; false for anything else.
bool ParseSize(std::string_view word, double& points)
{
    bool pixels = false;
    if (word.size() > 2 && word.substr(word.size() - 2) == "px") {
        pixels = true;
        word.remove_suffix(2);
    }
    if (word.empty() || word.size() > 32 || !std::all_of(word.begin(), word.end(), [](char c) {
            return std::isdigit((unsigned char)c) || c == '.';
        }))
        return false;
    const std::string text(word);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return false;
    points = pixels ? value * 72.0 / 96.0 : value;
    return true;
}

}  // namespace

bool ParseFontName(const std::string& text, SystemFont& font)
{
    std::vector<std::string_view> words;
    const std::string_view all(text);
    for (size_t at = 0; at < all.size();) {
        const size_t start = all.find_first_not_of(" \t", at);
        if (start == std::string_view::npos)
            break;
        const size_t end = std::min(all.find_first_of(" \t", start), all.size());
        words.push_back(all.substr(start, end - start));
        at = end;
    }
    SystemFont found;
    if (!words.empty() && ParseSize(words.back(), found.points))
        words.pop_back();
    // Style words from the end; the first word is always the family's.
    while (words.size() > 1) {
        const StyleWord* style = FindStyle(words.back());
        if (!style)
            break;
        found.style |= style->bits;
        words.pop_back();
    }
    std::string face;
    for (std::string_view w : words)
        face += (face.empty() ? "" : " ") + std::string(w);
    // Of a family list, the first.
    face = face.substr(0, face.find(','));
    while (!face.empty() && face.back() == ' ')
        face.pop_back();
    if (face.empty() || !(found.points > 0))
        return false;
    found.face = face;
    font = found;
    return true;
}

bool MatchDefaultSansFont(SystemFont& font)
{
    WaitForFontConfig();
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (!pattern)
        return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    bool found = false;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* family = nullptr;
        double size = 0;
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family) {
            // The size asked for, which the default substitution fills in.
            if (FcPatternGetDouble(match, FC_SIZE, 0, &size) != FcResultMatch)
                FcPatternGetDouble(pattern, FC_SIZE, 0, &size);
            FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
            FcPatternGetInteger(match, FC_SLANT, 0, &slant);
            font.face = reinterpret_cast<const char*>(family);
            font.points = size;
            font.style = (weight >= FC_WEIGHT_BOLD ? 1 : 0) | (slant != FC_SLANT_ROMAN ? 2 : 0);
            found = true;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace Tavo::Platform
