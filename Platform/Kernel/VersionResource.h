#pragma once

#include <cstddef>
#include <cstdint>

namespace Tavo::Platform {

struct VersionString
{
    const char* key;
    const char16_t* value;
};

// One translation of a version block: its language id, code page and texts.
struct VersionTranslation
{
    uint16_t language;
    uint16_t codePage;
    const VersionString* strings;
    size_t count;
};

struct VersionResource
{
    const VersionTranslation* translations;
    size_t count;
};

// The running program's version block, generated at build time from
// cmake/VersionInfo.cmake.
const VersionResource* GetProgramVersionResource();

}  // namespace Tavo::Platform
