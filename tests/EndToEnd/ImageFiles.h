#pragma once

// Image files for the transfer tests: each file's bytes are its own, so a
// device that got another file shows it; and what a device receives of one.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
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
