#pragma once

// Bytes as lower-case hex text, the form the test server's commands use.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace MidiTest {

inline std::string ToHex(const std::vector<uint8_t>& bytes)
{
    std::string out;
    char buf[3];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

inline std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace MidiTest
