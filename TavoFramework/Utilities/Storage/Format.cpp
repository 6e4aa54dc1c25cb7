#include "Utilities/Storage/Format.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace Tavo {
namespace {

constexpr int32_t kMaxField = int32_t(kFormatBufferUnits);

// The fixed output buffer; text beyond it is dropped, never written past it.
class Output
{
public:
    void Put(char16_t ch)
    {
        if (mLength < kFormatBufferUnits - 1)
            mText[mLength++] = ch;
        else
            mCut = true;
    }
    void Put(const char16_t* text, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            Put(text[i]);
    }
    void PutAscii(const std::string& text)
    {
        for (char ch : text)
            Put(char16_t(static_cast<unsigned char>(ch)));
    }
    void Pad(char16_t ch, int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            Put(ch);
    }
    WString Finish()
    {
        // Never end a cut text in half a surrogate pair.
        if (mCut && mLength > 0 && mText[mLength - 1] >= 0xD800 && mText[mLength - 1] <= 0xDBFF)
            --mLength;
        mText[mLength] = 0;
        return WString(mText, mLength);
    }

private:
    char16_t mText[kFormatBufferUnits];
    uint32_t mLength = 0;
    bool mCut = false;
};

struct Spec
{
    std::string flags;
    int32_t width = 0;
    int32_t precision = -1;
    int lengthBits = 0;  // 0: from the argument, else 8, 16, 32 or 64
    char16_t conversion = 0;

    bool LeftAlign() const { return flags.find('-') != std::string::npos; }
    bool ZeroPad() const { return flags.find('0') != std::string::npos && !LeftAlign(); }
};

std::string Printf(const std::string& format, auto value)
{
    int n = std::snprintf(nullptr, 0, format.c_str(), value);
    if (n <= 0)
        return {};
    std::string text(size_t(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), value);
    text.resize(size_t(n));
    return text;
}

std::string NumberFormat(const Spec& spec, const char* length, char conversion)
{
    std::string f = "%" + spec.flags;
    if (spec.width > 0)
        f += std::to_string(spec.width);
    if (spec.precision >= 0)
        f += "." + std::to_string(spec.precision);
    f += length;
    f += conversion;
    return f;
}

int64_t ToInteger(const FormatArg& arg)
{
    switch (arg.kind) {
    case FormatArg::Kind::Signed:
        return arg.i;
    case FormatArg::Kind::Unsigned:
    case FormatArg::Kind::Char:
        return int64_t(arg.u);
    case FormatArg::Kind::Double:
        if (std::isnan(arg.d))
            return 0;
        if (arg.d >= 9.2e18)
            return INT64_MAX;
        if (arg.d <= -9.2e18)
            return INT64_MIN;
        return int64_t(arg.d);
    case FormatArg::Kind::Pointer:
        return int64_t(reinterpret_cast<uintptr_t>(arg.pointer));
    default:
        return 0;
    }
}

bool IsText(const FormatArg& arg)
{
    return arg.kind == FormatArg::Kind::WideText || arg.kind == FormatArg::Kind::NarrowText;
}

void PutPadded(Output& out, const Spec& spec, const char16_t* text, size_t length)
{
    int32_t pad = spec.width > int32_t(length) ? spec.width - int32_t(length) : 0;
    if (!spec.LeftAlign())
        out.Pad(spec.ZeroPad() ? u'0' : u' ', pad);
    out.Put(text, length);
    if (spec.LeftAlign())
        out.Pad(u' ', pad);
}

void PutText(Output& out, const Spec& spec, const FormatArg& arg)
{
    WString converted;
    const char16_t* text = nullptr;
    if (arg.kind == FormatArg::Kind::WideText) {
        text = arg.wide;
    } else if (arg.narrow) {
        AssignFromNarrow(converted, arg.narrow, -1);
        text = converted.c_str();
    }
    if (!text)
        text = u"(null)";
    size_t length = 0;
    while (text[length] && (spec.precision < 0 || length < size_t(spec.precision)))
        ++length;
    PutPadded(out, spec, text, length);
}

void PutInteger(Output& out, const Spec& spec, const FormatArg& arg, char conversion)
{
    int64_t value = ToInteger(arg);
    int bits = spec.lengthBits ? spec.lengthBits : (arg.is64 ? 64 : 32);
    bool isSigned = conversion == 'd' || conversion == 'i';
    if (isSigned) {
        if (bits == 8)
            value = int8_t(value);
        else if (bits == 16)
            value = int16_t(value);
        else if (bits == 32)
            value = int32_t(value);
        out.PutAscii(Printf(NumberFormat(spec, "ll", conversion), static_cast<long long>(value)));
    } else {
        uint64_t u = uint64_t(value);
        if (bits == 8)
            u = uint8_t(u);
        else if (bits == 16)
            u = uint16_t(u);
        else if (bits == 32)
            u = uint32_t(u);
        out.PutAscii(Printf(NumberFormat(spec, "ll", conversion), static_cast<unsigned long long>(u)));
    }
}

void PutDouble(Output& out, const Spec& spec, const FormatArg& arg, char conversion)
{
    double value = arg.kind == FormatArg::Kind::Double     ? arg.d
                   : arg.kind == FormatArg::Kind::Unsigned ? double(arg.u)
                                                           : double(ToInteger(arg));
    out.PutAscii(Printf(NumberFormat(spec, "", conversion), value));
}

void PutChar(Output& out, const Spec& spec, const FormatArg& arg)
{
    char16_t ch = char16_t(ToInteger(arg));
    PutPadded(out, spec, &ch, 1);
}

void PutPointer(Output& out, const Spec& spec, const FormatArg& arg)
{
    Spec hex = spec;
    hex.flags.clear();
    hex.precision = -1;
    hex.width = 0;
    std::string digits = Printf("%016llX", static_cast<unsigned long long>(ToInteger(arg)));
    std::u16string text(digits.begin(), digits.end());
    PutPadded(out, spec, text.c_str(), text.size());
}

// What an argument looks like when the conversion does not fit it.
void PutNatural(Output& out, const Spec& spec, const FormatArg& arg)
{
    switch (arg.kind) {
    case FormatArg::Kind::Signed:
        PutInteger(out, spec, arg, 'd');
        break;
    case FormatArg::Kind::Unsigned:
        PutInteger(out, spec, arg, 'u');
        break;
    case FormatArg::Kind::Double:
        PutDouble(out, spec, arg, 'g');
        break;
    case FormatArg::Kind::Char:
        PutChar(out, spec, arg);
        break;
    case FormatArg::Kind::Pointer:
        PutPointer(out, spec, arg);
        break;
    default:
        PutText(out, spec, arg);
        break;
    }
}

int32_t ReadNumber(const char16_t*& f)
{
    int64_t value = 0;
    while (*f >= u'0' && *f <= u'9') {
        value = value * 10 + (*f++ - u'0');
        if (value > kMaxField)
            value = kMaxField;
    }
    return int32_t(value);
}

// Length modifiers: only the integer widths matter here.
void ReadLength(const char16_t*& f, Spec& spec)
{
    for (;;) {
        switch (*f) {
        case u'h':
            spec.lengthBits = f[1] == u'h' ? 8 : 16;
            f += f[1] == u'h' ? 2 : 1;
            break;
        case u'l':
            if (f[1] == u'l') {
                spec.lengthBits = 64;
                f += 2;
            } else {
                ++f;
            }
            break;
        case u'I':
            if (f[1] == u'6' && f[2] == u'4') {
                spec.lengthBits = 64;
                f += 3;
            } else if (f[1] == u'3' && f[2] == u'2') {
                spec.lengthBits = 32;
                f += 3;
            } else {
                ++f;
            }
            break;
        case u'L':
        case u'w':
        case u'z':
        case u'j':
        case u't':
        case u'q':
            ++f;
            break;
        default:
            return;
        }
    }
}

// Reads flags, width, precision and length of one conversion, leaving `f` on
// its letter; "*" fields take the next argument. False when one is missing.
bool ReadSpec(const char16_t*& f, const FormatArg* args, size_t count, size_t& next, Spec& spec)
{
    bool missing = false;
    while (*f == u'-' || *f == u'+' || *f == u' ' || *f == u'#' || *f == u'0') {
        if (spec.flags.find(char(*f)) == std::string::npos)
            spec.flags += char(*f);
        ++f;
    }
    if (*f == u'*') {
        ++f;
        if (next < count) {
            int64_t w = ToInteger(args[next++]);
            if (w < 0) {
                spec.flags += '-';
                w = -w;
            }
            spec.width = int32_t(w > kMaxField ? kMaxField : w);
        } else {
            missing = true;
        }
    } else {
        spec.width = ReadNumber(f);
    }
    if (*f == u'.') {
        ++f;
        if (*f == u'*') {
            ++f;
            if (next < count) {
                int64_t p = ToInteger(args[next++]);
                spec.precision = p < 0 ? -1 : int32_t(p > kMaxField ? kMaxField : p);
            } else {
                missing = true;
            }
        } else {
            spec.precision = ReadNumber(f);
        }
    }
    ReadLength(f, spec);
    return !missing;
}

void PutConversion(Output& out, const Spec& spec, const FormatArg& arg, char conversion)
{
    if (conversion == 'p') {
        PutPointer(out, spec, arg);
        return;
    }
    if (conversion == 'n')
        return;  // never writes through an argument
    if (IsText(arg)) {
        PutText(out, spec, arg);
        return;
    }
    switch (conversion) {
    case 'c':
    case 'C':
        PutChar(out, spec, arg);
        break;
    case 's':
    case 'S':
    case 'Z':
        PutNatural(out, spec, arg);
        break;
    default:
        if (std::strchr("diuxXo", conversion) != nullptr)
            PutInteger(out, spec, arg, conversion);
        else
            PutDouble(out, spec, arg, conversion);
    }
}

}  // namespace

WString FormatArgs(const char16_t* format, const FormatArg* args, size_t count)
{
    Output out;
    if (!format)
        return out.Finish();
    size_t next = 0;
    const char16_t* f = format;
    while (*f) {
        if (*f != u'%') {
            out.Put(*f++);
            continue;
        }
        const char16_t* start = f++;
        if (*f == u'%') {
            out.Put(u'%');
            ++f;
            continue;
        }
        Spec spec;
        const bool complete = ReadSpec(f, args, count, next, spec);
        spec.conversion = *f;
        if (spec.conversion == 0) {
            // A stray '%' at the end is kept as text.
            out.Put(start, size_t(f - start));
            break;
        }
        ++f;
        char conversion = spec.conversion < 0x80 ? char(spec.conversion) : '?';
        bool known = std::strchr("diuxXocCsSZfFeEgGaApn", conversion) != nullptr && conversion != 0;
        if (!known || !complete || next >= count) {
            out.Put(start, size_t(f - start));
            continue;
        }
        PutConversion(out, spec, args[next++], conversion);
    }
    return out.Finish();
}

WString FormatDouble(double value, int32_t decimals)
{
    if (decimals < 0)
        return Format(u"%lf", value);
    WString format = Format(u"%%.%dlf", decimals);
    return Format(format.c_str(), value);
}

WString DoubleToString(double value, int32_t decimals)
{
    return FormatDouble(value, decimals);
}

WString FormatFixedPoint(int32_t value, int32_t decimals)
{
    WString result = Format(u"%d", value);
    if (decimals <= 0)
        return result;
    while (result.GetLength() < uint32_t(decimals))
        result = WString(u'0') + result;
    int32_t length = int32_t(result.GetLength());
    return result.Left(length - decimals) + WString(u'.') + result.Mid(length - decimals);
}

WString IntToString(int32_t value, int32_t minimumDigits)
{
    if (minimumDigits < 1)
        return Format(u"%d", value);
    return Format(u"%.*d", minimumDigits, value);
}

char16_t* BytesToHexW(const unsigned char* bytes, char16_t* output)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        output[2 * i] = kDigits[bytes[i] >> 4];
        output[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
    output[32] = 0;
    return output;
}

}  // namespace Tavo
