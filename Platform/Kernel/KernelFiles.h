#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Tavo::Platform {

// Paths here are UTF-8.

struct FileStatus
{
    bool isFolder = false;
    bool isRegular = false;  // neither a folder nor a FIFO, socket or device
    bool readOnly = false;
    uint64_t size = 0;
    int64_t created = 0;  // seconds since 1970; the status change time here
    int64_t modified = 0;
    int64_t accessed = 0;
};

// False when nothing exists at the path.
bool GetFileStatus(const std::string& path, FileStatus& status);

bool PathExists(const std::string& path);

// Creates one folder level; false when it could not (it may exist already).
bool CreateDirectory(const std::string& path);

// Case-insensitive wildcard match with "*" and "?"; "*.*" matches every name.
bool MatchPattern(std::string_view pattern, std::string_view name);

// The names (not paths) of the entries of the folder that are not folders and
// match the pattern, in the order the system enumerates them.
std::vector<std::string> ListFiles(const std::string& folder, std::string_view pattern);

// The canonical absolute form of an existing path; the input unchanged when it
// cannot be resolved.
std::string GetLongPathName(const std::string& path);

}  // namespace Tavo::Platform
