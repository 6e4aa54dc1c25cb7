#pragma once

// How far apart two colours (0x00RRGGBB, any top byte ignored) read to the
// eye: the contrast ratio of their relative luminances, from 1 to 21.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

inline double Luminance(uint32_t rgb)
{
    double sum = 0;
    for (const auto& [shift, weight] : {std::pair{16, 0.2126}, {8, 0.7152}, {0, 0.0722}}) {
        const double c = double((rgb >> shift) & 0xFF) / 255.0;
        sum += weight * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
}

inline double Contrast(uint32_t a, uint32_t b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
