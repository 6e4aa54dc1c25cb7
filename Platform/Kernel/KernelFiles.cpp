#include "Platform/Kernel/KernelFiles.h"
#include "Platform/Kernel/TextCoding.h"

#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Tavo::Platform {

bool GetFileStatus(const std::string& path, FileStatus& status)
{
    struct stat st
    {
    };
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    status.isFolder = S_ISDIR(st.st_mode);
    status.isRegular = S_ISREG(st.st_mode);
    status.readOnly = (st.st_mode & S_IWUSR) == 0;
    status.size = static_cast<uint64_t>(st.st_size);
    status.created = st.st_ctim.tv_sec;
    status.modified = st.st_mtim.tv_sec;
    status.accessed = st.st_atim.tv_sec;
    return true;
}

bool PathExists(const std::string& path)
{
    return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

bool CreateDirectory(const std::string& path)
{
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool MatchPattern(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*")
        pattern = "*";
    // Iterative match with one backtrack point for the last "*".
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> ListFiles(const std::string& folder, std::string_view pattern)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !MatchPattern(pattern, name))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            FileStatus status;
            isFolder = GetFileStatus(folder + "/" + name, status) && status.isFolder;
        }
        if (!isFolder)
            names.push_back(name);
    }
    return names;
}

std::string GetLongPathName(const std::string& path)
{
    std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
    return resolved ? std::string(resolved.get()) : path;
}

}  // namespace Tavo::Platform
