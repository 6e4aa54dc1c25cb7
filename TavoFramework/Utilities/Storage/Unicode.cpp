#include "Utilities/Storage/Unicode.h"

#include "Platform/Kernel/TextCoding.h"
#include "Utilities/Storage/StringT.h"

#include <cstring>

namespace Tavo {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint32_t kMaxCodePoint = 0x10FFFF;
constexpr uint32_t kHighFirst = 0xD800, kHighLast = 0xDBFF;
constexpr uint32_t kLowFirst = 0xDC00, kLowLast = 0xDFFF;

int TrailingBytes(unsigned char lead)
{
    if (lead < 0xC0)
        return 0;
    if (lead < 0xE0)
        return 1;
    if (lead < 0xF0)
        return 2;
    if (lead < 0xF8)
        return 3;
    if (lead < 0xFC)
        return 4;
    return 5;
}

}  // namespace

bool isLegalUTF8(const unsigned char* source, int length)
{
    if (length < 1 || length > 4)
        return false;
    unsigned char lead = source[0];
    for (int i = length - 1; i >= 2; --i)
        if (source[i] < 0x80 || source[i] > 0xBF)
            return false;
    if (length >= 2) {
        unsigned char a = source[1];
        if (a > 0xBF)
            return false;
        switch (lead) {
        case 0xE0:
            if (a < 0xA0)
                return false;
            break;  // overlong
        case 0xED:
            if (a > 0x9F)
                return false;
            break;  // surrogates
        case 0xF0:
            if (a < 0x90)
                return false;
            break;  // overlong
        case 0xF4:
            if (a > 0x8F)
                return false;
            break;  // above U+10FFFF
        default:
            if (a < 0x80)
                return false;
        }
    }
    if (lead >= 0x80 && lead < 0xC2)
        return false;
    return lead <= 0xF4;
}

ConversionResult ConvertUTF16toUTF8(const char16_t** sourceStart, const char16_t* sourceEnd,
                                    char** targetStart, char* targetEnd, ConversionFlags flags)
{
    ConversionResult result = conversionOK;
    const char16_t* source = *sourceStart;
    char* target = *targetStart;
    while (source < sourceEnd) {
        const char16_t* start = source;
        uint32_t ch = *source++;
        if (ch >= kHighFirst && ch <= kHighLast) {
            if (source < sourceEnd) {
                uint32_t low = *source;
                if (low >= kLowFirst && low <= kLowLast) {
                    ch = ((ch - kHighFirst) << 10) + (low - kLowFirst) + 0x10000;
                    ++source;
                } else if (flags == strictConversion) {
                    source = start;
                    result = sourceIllegal;
                    break;
                }
            } else {
                source = start;
                result = sourceExhausted;
                break;
            }
        } else if (flags == strictConversion && ch >= kLowFirst && ch <= kLowLast) {
            source = start;
            result = sourceIllegal;
            break;
        }
        int bytes;
        if (ch < 0x80)
            bytes = 1;
        else if (ch < 0x800)
            bytes = 2;
        else if (ch < 0x10000)
            bytes = 3;
        else if (ch <= kMaxCodePoint)
            bytes = 4;
        else {
            bytes = 3;
            ch = kReplacement;
        }
        if (targetEnd - target < bytes) {
            source = start;
            result = targetExhausted;
            break;
        }
        static constexpr unsigned char kFirstMark[5] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
        for (int i = bytes - 1; i > 0; --i) {
            target[i] = char((ch & 0x3F) | 0x80);
            ch >>= 6;
        }
        target[0] = char(ch | kFirstMark[bytes]);
        target += bytes;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult ConvertUTF8toUTF16(const char** sourceStart, const char* sourceEnd, char16_t** targetStart,
                                    char16_t* targetEnd, ConversionFlags flags)
{
    ConversionResult result = conversionOK;
    auto* source = reinterpret_cast<const unsigned char*>(*sourceStart);
    auto* end = reinterpret_cast<const unsigned char*>(sourceEnd);
    char16_t* target = *targetStart;
    while (source < end) {
        int extra = TrailingBytes(*source);
        if (extra >= end - source) {
            result = sourceExhausted;
            break;
        }
        if (!isLegalUTF8(source, extra + 1)) {
            result = sourceIllegal;
            break;
        }
        uint32_t ch = *source & (0x3F >> extra);
        if (extra == 0)
            ch = *source;
        for (int i = 1; i <= extra; ++i)
            ch = (ch << 6) | (source[i] & 0x3F);
        if (target >= targetEnd) {
            result = targetExhausted;
            break;
        }
        if (ch <= 0xFFFF) {
            if (ch >= kHighFirst && ch <= kLowLast && flags == strictConversion) {
                result = sourceIllegal;
                break;
            }
            *target++ = char16_t(ch);
        } else if (ch > kMaxCodePoint) {
            if (flags == strictConversion) {
                result = sourceIllegal;
                break;
            }
            *target++ = char16_t(kReplacement);
        } else {
            if (targetEnd - target < 2) {
                result = targetExhausted;
                break;
            }
            ch -= 0x10000;
            *target++ = char16_t(kHighFirst + (ch >> 10));
            *target++ = char16_t(kLowFirst + (ch & 0x3FF));
        }
        source += extra + 1;
    }
    *sourceStart = reinterpret_cast<const char*>(source);
    *targetStart = target;
    return result;
}

TavoResult AssignFromWide(NString& target, const char16_t* text, int32_t count)
{
    if (!text || !text[0] || count == 0) {
        target.ShareEmpty();
        return S_OK;
    }
    if (count < 0)
        count = int32_t(WString::BoundedLength(text, WString::kToEnd)) + 1;
    uint32_t bytes = uint32_t(count) * 4 + 1;
    RCPtr<LIBuffer> buffer = StringBuffer::Create(bytes, 0, true);
    char* out = static_cast<char*>(buffer->GetData());
    char* cursor = out;
    const char16_t* source = text;
    ConversionResult r =
        ConvertUTF16toUTF8(&source, text + count, &cursor, out + bytes - 1, lenientConversion);
    out[bytes - 1] = 0;
    buffer->Resize(uint32_t(std::strlen(out)) + 1);
    target.AdoptBuffer(buffer);
    if (target.IsEmpty())
        target.ShareEmpty();
    return r == conversionOK ? S_OK : E_FAIL;
}

TavoResult AssignFromNarrow(WString& target, const char* text, int32_t count)
{
    if (!text || !text[0] || count == 0) {
        target.ShareEmpty();
        return S_OK;
    }
    // A count takes in the terminator: the text ends at the first zero.
    const size_t bytes = count < 0 ? std::strlen(text) : strnlen(text, size_t(count));
    RCPtr<LIBuffer> buffer = StringBuffer::Create(uint32_t(bytes + 1) * 2, 0, true);
    char16_t* out = static_cast<char16_t*>(buffer->GetData());
    // The program's one decoding rule: what is not UTF-8 reads as U+FFFD,
    // byte by byte, and the text goes on after it. Stopping there would
    // shorten a command line or a path into another one.
    bool replaced = false;
    const size_t length = Platform::FromUtf8(std::string_view(text, bytes), out, &replaced);
    out[length] = 0;
    buffer->Resize(uint32_t(length + 1) * 2);
    target.AdoptBuffer(buffer);
    if (target.IsEmpty())
        target.ShareEmpty();
    return replaced ? E_FAIL : S_OK;
}

}  // namespace Tavo
