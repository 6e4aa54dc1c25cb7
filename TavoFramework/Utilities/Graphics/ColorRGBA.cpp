#include "Utilities/Graphics/ColorRGBA.h"

#include "Platform/Kernel/TextCoding.h"

#include <cmath>
#include <cstring>

namespace Tavo {

namespace {

constexpr float kByteScale = 0.003921569f;

uint8_t PackChannel(float channel)
{
    double v = static_cast<double>(channel) * 255.0;
    if (std::isnan(v))
        return 0;
    v = v < 0 ? v - 0.5 : v + 0.5;
    if (v <= 0)
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<uint8_t>(v);
}

}  // namespace

ColorRGBA& ColorRGBA::FromARGB(uint32_t packed)
{
    a = static_cast<float>((packed >> 24) & 0xFF) * kByteScale;
    r = static_cast<float>((packed >> 16) & 0xFF) * kByteScale;
    g = static_cast<float>((packed >> 8) & 0xFF) * kByteScale;
    b = static_cast<float>(packed & 0xFF) * kByteScale;
    return *this;
}

ColorRGBA& ColorRGBA::FromHexString(const char* text)
{
    if (!text)
        return *this;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    const size_t length = std::strlen(text);
    if (length != 2 && length != 6 && length != 8)
        return *this;
    // Reading stops at the first character that is not a digit.
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        const int d = Tavo::Platform::HexDigitValue(text[i]);
        if (d < 0)
            break;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    if (length == 2)
        a = static_cast<float>(value & 0xFF) * kByteScale;
    else if (length == 6) {
        r = static_cast<float>((value >> 16) & 0xFF) * kByteScale;
        g = static_cast<float>((value >> 8) & 0xFF) * kByteScale;
        b = static_cast<float>(value & 0xFF) * kByteScale;
    } else
        FromARGB(value);
    return *this;
}

uint32_t ColorRGBA::ToARGB() const
{
    return (uint32_t{PackChannel(a)} << 24) | (uint32_t{PackChannel(r)} << 16) |
           (uint32_t{PackChannel(g)} << 8) | uint32_t{PackChannel(b)};
}

}  // namespace Tavo
