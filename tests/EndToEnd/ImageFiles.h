#pragma once

// Image files for the transfer tests: each file's bytes are its own, so a
// device that got another file shows it; and what a device receives of one.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Pace.h"

// Writes `size` bytes made from `seed` at `path`, making its folders; the bytes.
inline std::vector<uint8_t> WriteDistinctImage(const std::string& path, size_t size, uint8_t seed)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 31 + seed + i / 251);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(size));
    return bytes;
}

// The image zero-padded to whole chunks: what the device gets of it.
inline std::vector<uint8_t> Padded(std::vector<uint8_t> image)
{
    image.resize(PaddedSize(image.size()), 0);
    return image;
}

// What can stand at an image's path instead of a regular file.
enum class StandIn { Fifo, Socket, Folder, DevZero };

inline const char* StandInName(StandIn kind)
{
    static const char* const names[] = {"Fifo", "Socket", "Folder", "DevZero"};
    return names[int(kind)];
}

inline void PrintTo(StandIn kind, std::ostream* os)
{
    *os << StandInName(kind);
}

// Replaces the file at `path` by `kind`, made beside it and renamed over it
// (a folder cannot be).
inline bool ReplaceImage(const std::string& path, StandIn kind)
{
    const std::string made = path + ".new";
    if (kind == StandIn::Folder)
        return unlink(path.c_str()) == 0 && mkdir(path.c_str(), 0700) == 0;
    const bool ok = kind == StandIn::DevZero
                        ? symlink("/dev/zero", made.c_str()) == 0
                        : mknod(made.c_str(), (kind == StandIn::Fifo ? S_IFIFO : S_IFSOCK) | 0600, 0) == 0;
    return ok && rename(made.c_str(), path.c_str()) == 0;
}
