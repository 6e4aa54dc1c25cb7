#pragma once

// What a file the user planted holds and is, read without following links.

#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file's type and mode bits (lstat); 0 when nothing is there.
inline mode_t ModeOf(const std::string& path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}
