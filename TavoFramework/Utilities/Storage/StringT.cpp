#include "Utilities/Storage/StringT.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <string>

namespace Tavo {

template class StringT<char16_t, char>;
template class StringT<char, char16_t>;

namespace Detail {

bool IsTrimmed(char16_t ch)
{
    return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n';
}

// Surrogate halves are not characters of their own and stay as they are.
char16_t ToLowerUnit(char16_t ch)
{
    if (ch >= 0xD800 && ch <= 0xDFFF)
        return ch;
    wint_t lower = std::towlower(wint_t(ch));
    return lower <= 0xFFFF ? char16_t(lower) : ch;
}

char16_t ToUpperUnit(char16_t ch)
{
    if (ch >= 0xD800 && ch <= 0xDFFF)
        return ch;
    wint_t upper = std::towupper(wint_t(ch));
    return upper <= 0xFFFF ? char16_t(upper) : ch;
}

char ToLowerUnit(char ch)
{
    return char(std::tolower(static_cast<unsigned char>(ch)));
}
char ToUpperUnit(char ch)
{
    return char(std::toupper(static_cast<unsigned char>(ch)));
}

namespace {

template <class C>
int32_t ParseIntT(const C* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '-' || *text == '+')
        negative = *text++ == '-';
    int64_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (*text++ - '0');
        if (value > int64_t(INT32_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return int32_t(value);
}

template <class C>
double ParseDoubleT(const C* text)
{
    // Only ASCII can be part of a number.
    std::string ascii;
    for (; *text && uint32_t(*text) < 0x80 && ascii.size() < 512; ++text)
        ascii += char(*text);
    return std::strtod(ascii.c_str(), nullptr);
}

}  // namespace

int32_t ParseInt(const char16_t* text)
{
    return ParseIntT(text);
}
int32_t ParseInt(const char* text)
{
    return ParseIntT(text);
}
double ParseDouble(const char16_t* text)
{
    return ParseDoubleT(text);
}
double ParseDouble(const char* text)
{
    return ParseDoubleT(text);
}

}  // namespace Detail
}  // namespace Tavo
