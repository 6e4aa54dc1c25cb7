#include "Platform/Graphics/FontFolders.h"

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
    // configured ones.
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

bool GetSystemVersion(SystemVersion& version)
{
    // Nothing on Linux depends on it; the catalogue only needs a success.
    version = {6, 1};
    return true;
}

}  // namespace Tavo::Platform
