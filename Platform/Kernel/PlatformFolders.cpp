#include "Platform/Kernel/PlatformFolders.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Tavo::Platform {

std::string PlatformRoot()
{
    const char* root = std::getenv("TAVO_PLATFORM_ROOT");
    if (root != nullptr && root[0] != '\0')
        return root;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/tavo-platform";
    return "/tmp/tavo-platform-" + std::to_string(getuid());
}

namespace {

// A folder planted by someone else (shared /tmp) must not be used.
bool IsOwnFolder(const std::string& path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

}  // namespace

bool MakePrivateFolder(const std::string& path)
{
    if (path.empty())
        return false;
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        if (mkdir(path.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return IsOwnFolder(path);
}

std::string PlatformFolder(const std::string& name)
{
    std::string root = PlatformRoot();
    if (!MakePrivateFolder(root))
        return {};
    std::string folder = name.empty() ? root : root + "/" + name;
    return MakePrivateFolder(folder) ? folder : std::string();
}

std::string ExistingPlatformFolder(const std::string& name)
{
    const std::string root = PlatformRoot();
    const std::string folder = root + "/" + name;
    return IsOwnFolder(root) && IsOwnFolder(folder) ? folder : std::string();
}

}  // namespace Tavo::Platform
