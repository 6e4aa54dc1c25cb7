#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tavo::Platform {

// The folders that hold the installed font files (UTF-8 paths). The
// environment variable TAVO_FONTS_DIR, when set, replaces them with its
// colon-separated folders, so tests choose what the catalogue sees; otherwise
// they are fontconfig's configured font directories. Empty when neither
// gives any.
std::vector<std::string> GetFontFolders();

// The family fontconfig would serve for a face name and style (1 bold,
// 2 italic): the face itself when installed, else its configured stand-in
// (a metric-compatible face first), else its best match. Empty when
// fontconfig has no fonts at all.
std::string MatchFontFamily(const char* face, int32_t style);

// A font file that can draw a character the requested face lacks, as
// fontconfig orders the candidates for the face and style (1 bold, 2
// italic): the first scalable face without colour bitmaps whose character
// set holds the code point. False when no installed face has it.
struct FallbackFace
{
    std::string path;
    int32_t index = 0;  // the face within a collection file
};
bool FindFallbackFace(const char* face, int32_t style, uint32_t codePoint, FallbackFace& found);

// Stands in for the operating-system version query the catalogue makes
// before scanning: there is no such gate here, so it always succeeds with a
// fixed answer.
struct SystemVersion
{
    uint32_t major;
    uint32_t minor;
};
bool GetSystemVersion(SystemVersion& version);

}  // namespace Tavo::Platform
