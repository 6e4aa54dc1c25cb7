#pragma once

#include "Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace Tavo {

// One formatting argument, typed at the call so that a conversion that does
// not match its argument is formatted sensibly instead of misread.
struct FormatArg
{
    enum class Kind { Signed, Unsigned, Double, Char, WideText, NarrowText, Pointer };

    Kind kind;
    bool is64 = false;
    union
    {
        int64_t i;
        uint64_t u;
        double d;
        const char16_t* wide;
        const char* narrow;
        const void* pointer;
    };

    FormatArg(char16_t ch) : kind(Kind::Char), u(ch) {}
    FormatArg(const char16_t* text) : kind(Kind::WideText), wide(text) {}
    FormatArg(const char* text) : kind(Kind::NarrowText), narrow(text) {}
    FormatArg(const WString& text) : kind(Kind::WideText), wide(text.c_str()) {}
    FormatArg(const NString& text) : kind(Kind::NarrowText), narrow(text.c_str()) {}
    FormatArg(std::nullptr_t) : kind(Kind::Pointer), pointer(nullptr) {}

    template <class T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>) FormatArg(T value)
    {
        using U = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>,
                                              std::type_identity<T>>::type;
        is64 = sizeof(U) > 4;
        if constexpr (std::is_signed_v<U>) {
            kind = Kind::Signed;
            i = static_cast<int64_t>(value);
        } else {
            kind = Kind::Unsigned;
            u = static_cast<uint64_t>(value);
        }
    }

    template <class T>
    requires std::is_floating_point_v<T> FormatArg(T value)
        : kind(Kind::Double), d(static_cast<double>(value))
    {
    }

    template <class T>
    requires(!std::is_same_v<std::remove_cv_t<T>, char16_t> && !std::is_same_v<std::remove_cv_t<T>, char>)
        FormatArg(T* value)
        : kind(Kind::Pointer), pointer(value)
    {
    }
};

// The output stays below 16384 units; longer text is cut, never overrun.
inline constexpr uint32_t kFormatBufferUnits = 16384;

WString FormatArgs(const char16_t* format, const FormatArg* args, size_t count);

// printf-style formatting into a new wide string: %d %i %u %x %X %o %c %s
// %f %e %g %p %%, flags, widths, precisions and '*'. A stray '%' or a missing
// argument is copied as text.
template <class... Args>
WString Format(const char16_t* format, const Args&... args)
{
    if constexpr (sizeof...(Args) == 0) {
        return FormatArgs(format, nullptr, 0);
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return FormatArgs(format, list, sizeof...(Args));
    }
}

// Decimals < 0 give "%lf" (six decimals); otherwise exactly that many.
WString FormatDouble(double value, int32_t decimals);
// value scaled by 10^decimals: 123 with 2 gives "1.23", 5 with 2 ".05".
WString FormatFixedPoint(int32_t value, int32_t decimals);
// "%d", at least minimumDigits digits when that is 1 or more.
WString IntToString(int32_t value, int32_t minimumDigits = 0);
WString DoubleToString(double value, int32_t decimals);
// 16 bytes as 32 upper-case hexadecimal digits and a NUL; output holds 33 units.
char16_t* BytesToHexW(const unsigned char* bytes, char16_t* output);

}  // namespace Tavo
