#include "Platform/App/Folders.h"

#include "Platform/Kernel/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Tavo::Platform::App {

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string StripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder()
{
    std::string home = Env("HOME");
    if (!home.empty())
        return StripTrailingSlashes(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return StripTrailingSlashes(found->pw_dir);
    return {};
}

// An XDG variable that must hold an absolute path to count.
std::string XdgOr(const char* name, const std::string& fallbackBelowHome)
{
    std::string value = Env(name);
    if (!value.empty() && value.front() == '/')
        return StripTrailingSlashes(value);
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/" + fallbackBelowHome;
}

// XDG_DOCUMENTS_DIR="$HOME/Docs" from the user-dirs file, or empty.
std::string DocumentsFromUserDirs(const std::string& home)
{
    const std::string config = XdgOr("XDG_CONFIG_HOME", ".config");
    if (config.empty())
        return {};
    std::string text;
    if (!ReadWholeFile(config + "/user-dirs.dirs", text, 1 << 16))
        return {};
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=";
    std::string found;
    ForEachLine(text, [&](std::string_view line) {
        if (line.substr(0, key.size()) != key)
            return true;
        std::string value(line.substr(key.size()));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (value.empty() || value.front() != '/')
            return true;
        found = StripTrailingSlashes(value);
        return false;
    });
    return found;
}

std::string ProgramFolder()
{
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return {};
    std::string path(buffer.data(), size_t(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ResolveFolder(FolderId id)
{
    switch (id) {
    case FolderId::Program: {
        const std::string over = Env("TAVO_PROGRAM_DIR");
        return over.empty() ? ProgramFolder() : StripTrailingSlashes(over);
    }
    case FolderId::CommonAppData: {
        const std::string over = Env("TAVO_COMMON_APPDATA_DIR");
        if (!over.empty())
            return StripTrailingSlashes(over);
        const std::string dirs = Env("XDG_DATA_DIRS");
        const std::string first = dirs.substr(0, dirs.find(':'));
        if (!first.empty() && first.front() == '/')
            return StripTrailingSlashes(first);
        return "/usr/local/share";
    }
    case FolderId::UserAppData: {
        const std::string over = Env("TAVO_USER_APPDATA_DIR");
        return over.empty() ? XdgOr("XDG_DATA_HOME", ".local/share") : StripTrailingSlashes(over);
    }
    case FolderId::Documents: {
        const std::string over = Env("TAVO_DOCUMENTS_DIR");
        if (!over.empty())
            return StripTrailingSlashes(over);
        const std::string xdg = Env("XDG_DOCUMENTS_DIR");
        if (!xdg.empty() && xdg.front() == '/')
            return StripTrailingSlashes(xdg);
        const std::string home = HomeFolder();
        if (home.empty())
            return {};
        const std::string fromFile = DocumentsFromUserDirs(home);
        return fromFile.empty() ? home : fromFile;
    }
    case FolderId::UserConfig: {
        const std::string over = Env("TAVO_CONFIG_DIR");
        return over.empty() ? XdgOr("XDG_CONFIG_HOME", ".config") : StripTrailingSlashes(over);
    }
    }
    return {};
}

}  // namespace

bool CreateFolderPath(const std::string& path, unsigned mode)
{
    if (path.empty())
        return false;
    struct stat st
    {
    };
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string part = pos == std::string::npos ? path : path.substr(0, pos);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
        if (pos == std::string::npos)
            break;
    }
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string GetSystemFolder(FolderId id)
{
    const std::string path = ResolveFolder(id);
    if (path.empty() || id == FolderId::Program)
        return path;
    const unsigned mode = id == FolderId::CommonAppData ? 0755 : 0700;
    return CreateFolderPath(path, mode) ? path : std::string();
}

std::string MakeValidFileName(std::string_view name)
{
    std::string out(name);
    for (char& c : out) {
        switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
        case '&':
        case ';':
        case ',':
        case '^':
        case '(':
        case ')':
            c = '_';
            break;
        default:
            break;
        }
    }
    return out;
}

std::string GetProgramDataFolder(FolderId base, std::string_view company, std::string_view product)
{
    std::string path = GetSystemFolder(base);
    if (path.empty())
        return path;
    const unsigned mode = base == FolderId::CommonAppData ? 0755 : 0700;
    path += "/" + MakeValidFileName(company);
    CreateFolderPath(path, mode);
    path += "/" + MakeValidFileName(product);
    CreateFolderPath(path, mode);
    return path;
}

namespace {

// Makes path (its parent too, for the cache folder) and tells why it cannot
// be trusted; empty when it can.
std::string WhyNotTrusted(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string("cannot be made (") + std::strerror(errno) + ")";
    // Under a shared /tmp someone else may have made the folder first.
    struct stat st
    {
    };
    if (lstat(path.c_str(), &st) != 0)
        return std::string("cannot be read (") + std::strerror(errno) + ")";
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "is not a folder";
    if (st.st_uid != geteuid())
        return "belongs to another user";
    if ((st.st_mode & 077) != 0)
        return "is open to other users (mode " + std::to_string((st.st_mode >> 6) & 7) +
               std::to_string((st.st_mode >> 3) & 7) + std::to_string(st.st_mode & 7) + ")";
    return {};
}

}  // namespace

RuntimeFolder FindUserRuntimeFolder()
{
    std::vector<std::string> candidates;
    std::string cacheFolder;
    const std::string over = Env("TAVO_RUNTIME_DIR");
    if (!over.empty()) {
        candidates.push_back(StripTrailingSlashes(over));
    } else {
        const std::string xdg = Env("XDG_RUNTIME_DIR");
        if (!xdg.empty() && xdg.front() == '/')
            candidates.push_back(StripTrailingSlashes(xdg) + "/tavo");
        const std::string tmp = Env("TMPDIR");
        candidates.push_back((!tmp.empty() && tmp.front() == '/' ? StripTrailingSlashes(tmp) : "/tmp") +
                             "/tavo-" + std::to_string(geteuid()));
        cacheFolder = XdgOr("XDG_CACHE_HOME", ".cache");
        if (!cacheFolder.empty())
            candidates.push_back(cacheFolder + "/tavo-run");
    }
    RuntimeFolder found;
    for (const std::string& path : candidates) {
        if (!cacheFolder.empty() && path == cacheFolder + "/tavo-run")
            CreateFolderPath(cacheFolder, 0700);
        const std::string why = WhyNotTrusted(path);
        if (why.empty()) {
            found.path = path;
            break;
        }
        found.refused.push_back(path + ": " + why);
    }
    return found;
}

std::string UserRuntimeFolder()
{
    return FindUserRuntimeFolder().path;
}

}  // namespace Tavo::Platform::App
