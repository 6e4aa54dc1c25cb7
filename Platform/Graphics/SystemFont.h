#pragma once

#include <cstdint>
#include <string>

namespace Tavo::Platform {

// The desktop's interface font: a family, a size in points and style bits
// (1 bold, 2 italic, 4 underline, 8 strike-out).
struct SystemFont
{
    std::string face;
    double points = 0;
    int32_t style = 0;
};

// Reads a font name as desktop settings write it, "Family [styles] [size]"
// ("DejaVu Serif Bold 11", "Sans 9", "Cantarell 11px"): the face is what
// comes before the style words and the size, of which it keeps the first
// of a comma-separated list. Bold from a weight of bold or above, italic
// from italic or oblique. A size in pixels counts at 96 per inch. False
// when no face is left or the size is not above 0.
bool ParseFontName(const std::string& text, SystemFont& font);

// fontconfig's match for the default sans-serif face, with its size and
// style. False when fontconfig has no fonts.
bool MatchDefaultSansFont(SystemFont& font);

}  // namespace Tavo::Platform
