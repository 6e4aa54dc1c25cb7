#include "Platform/Registry/RegistryNames.h"
#include "Platform/Kernel/TextCoding.h"

#include <cstdint>

namespace Tavo::Platform::Registry::Names {

std::u16string Fold(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

bool SplitPath(std::u16string_view path, std::vector<std::u16string>& parts)
{
    parts.clear();
    if (!path.empty() && (path.front() == u'\\' || path.front() == u'/'))
        path.remove_prefix(1);
    if (!path.empty() && (path.back() == u'\\' || path.back() == u'/'))
        path.remove_suffix(1);
    if (path.empty())
        return true;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\' || path[i] == u'/') {
            if (i == start)
                return false;
            parts.emplace_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return true;
}

}  // namespace Tavo::Platform::Registry::Names
