#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace Tavo::Platform {

// UTF-16 <-> UTF-8, the one decoding rule of the program: malformed bytes,
// overlong forms, encoded surrogates (ED A0 80 to ED BF BF) and code points
// past U+10FFFF are invalid and read as U+FFFD, one per byte, and reading
// goes on after them. A lone surrogate in wide text is written as its
// three-byte form, which FromUtf8 does not read back.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// The same into `out`, which holds at least text.size() units (no byte
// makes more than one); the units written. `replaced`, when given, is set
// when anything read as U+FFFD for not being UTF-8.
size_t FromUtf8(std::string_view text, char16_t* out, bool* replaced = nullptr);
// The registry's stored names only: like FromUtf8, but reads the three-byte
// form of a lone surrogate back, so any UTF-16 name survives the round trip
// through ToUtf8 and distinct names never collide on disk.
std::u16string FromStoredName(std::string_view text);
// True when the bytes read as wide text and write back unchanged: only then
// does a name reach the disk as itself.
bool IsExactUtf8(std::string_view text);

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

// Case folding for names compared without case: ASCII letters, and in wide
// text the Latin-1 ones too (the multiplication and division signs are not
// letters). Folds to upper case, so names sort as they always have.
constexpr char FoldCase(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
}

constexpr char16_t FoldCase(char16_t c)
{
    const bool lower = (c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
    return lower ? static_cast<char16_t>(c - 0x20) : c;
}

constexpr bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

}  // namespace Tavo::Platform
