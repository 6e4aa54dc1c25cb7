#pragma once

// Fields of the wire and file formats, least significant byte first.

#include <cstdint>
#include <vector>

namespace Tavo::Platform {

inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t Get64(const uint8_t* p)
{
    return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32;
}

inline void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void Put64(uint8_t* p, uint64_t v)
{
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline void Append32(std::vector<uint8_t>& out, uint32_t v)
{
    out.resize(out.size() + 4);
    Put32(out.data() + out.size() - 4, v);
}

inline void Append64(std::vector<uint8_t>& out, uint64_t v)
{
    out.resize(out.size() + 8);
    Put64(out.data() + out.size() - 8, v);
}

}  // namespace Tavo::Platform
