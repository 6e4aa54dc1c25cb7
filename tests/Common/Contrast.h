#pragma once

// How far apart two colours are: as read to the eye (contrast ratio), and
// channel by channel.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <utility>

// Relative luminance of 0x00RRGGBB (any top byte ignored).
inline double Luminance(uint32_t rgb)
{
    double sum = 0;
    for (const auto& [shift, weight] : {std::pair{16, 0.2126}, {8, 0.7152}, {0, 0.0722}}) {
        const double c = double((rgb >> shift) & 0xFF) / 255.0;
        sum += weight * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
}

// The contrast ratio of two colours, from 1 to 21.
inline double Contrast(uint32_t a, uint32_t b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The largest difference of one channel between two packed colours, over the
// lowest `channels` bytes (3: RGB, 4: alpha too).
inline int32_t ChannelDifference(uint32_t a, uint32_t b, int channels = 4)
{
    int32_t most = 0;
    for (int shift = 0; shift < channels * 8; shift += 8)
        most = std::max(most, std::abs(int32_t((a >> shift) & 0xFF) - int32_t((b >> shift) & 0xFF)));
    return most;
}
