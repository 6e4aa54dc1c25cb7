#pragma once

#include <cstdint>

namespace Tavo {

// Four floats from 0 to 1; stored unclamped, clamped when packed.
struct ColorRGBA
{
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;

    ColorRGBA() = default;
    ColorRGBA(float red, float green, float blue, float alpha) : r(red), g(green), b(blue), a(alpha) {}

    ColorRGBA& FromARGB(uint32_t packed);
    // "0x" prefix optional; 8 digits ARGB, 6 digits RGB, 2 digits alpha;
    // any other length changes nothing. A null text changes nothing.
    ColorRGBA& FromHexString(const char* text);
    uint32_t ToARGB() const;

    bool operator==(const ColorRGBA& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const ColorRGBA& o) const { return !(*this == o); }
};

}  // namespace Tavo
