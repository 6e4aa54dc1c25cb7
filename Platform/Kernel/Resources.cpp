#include "Platform/Kernel/Resources.h"
#include "Platform/Kernel/TextCoding.h"

#include <mutex>
#include <vector>

namespace Tavo::Platform {

namespace {

struct ResourceTable
{
    std::mutex mutex;
    std::vector<ResourceEntry> entries;
};

// Registration runs from static initialisers, so the table is built on first
// use and never destroyed.
ResourceTable& Table()
{
    static ResourceTable* table = new ResourceTable;
    return *table;
}

}  // namespace

void RegisterResources(std::span<const ResourceEntry> entries)
{
    ResourceTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.entries.insert(table.entries.end(), entries.begin(), entries.end());
}

std::span<const uint8_t> FindResource(std::string_view type, std::string_view name)
{
    ResourceTable& table = Table();
    std::lock_guard lock(table.mutex);
    // Newest first, so a later registration wins.
    for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
        if (EqualNoCase(it->type, type) && EqualNoCase(it->name, name))
            return {it->data, it->size};
    }
    return {};
}

}  // namespace Tavo::Platform
