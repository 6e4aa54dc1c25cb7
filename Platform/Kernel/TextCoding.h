#pragma once

#include <string>
#include <string_view>

namespace Tavo::Platform {

// UTF-16 <-> UTF-8. Lone surrogates are written as three-byte sequences and
// read back, so any UTF-16 text survives the round trip (names on disk must
// not collide). Malformed, overlong or out-of-range bytes read as U+FFFD,
// one per byte.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Value of one hexadecimal digit (either case), -1 for anything else.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace Tavo::Platform
