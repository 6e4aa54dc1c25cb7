#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace Tavo::Platform {

// One embedded resource, keyed by type and name (compared without regard to
// ASCII letter case). Numeric ids are written in decimal, e.g. "128".
struct ResourceEntry
{
    const char* type;
    const char* name;
    const uint8_t* data;
    size_t size;
};

// Adds entries to the process-wide table; the entries must outlive the
// process (the generated tables are static). A later entry with the same key
// replaces an earlier one.
void RegisterResources(std::span<const ResourceEntry> entries);

// The bytes of a resource; empty when there is none of that type and name.
std::span<const uint8_t> FindResource(std::string_view type, std::string_view name);

}  // namespace Tavo::Platform
