#include "Platform/Kernel/TextCoding.h"

#include <cstdint>

namespace Tavo::Platform {

std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

size_t Decode(std::string_view text, char16_t* out, bool surrogates, bool* replaced)
{
    char16_t* const start = out;
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<uint8_t>(text[i]);
        int extra = b < 0x80             ? 0
                    : (b & 0xE0) == 0xC0 ? 1
                    : (b & 0xF0) == 0xE0 ? 2
                    : (b & 0xF8) == 0xF0 ? 3
                                         : -1;
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        uint32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        for (int k = 1; ok && k <= extra; ++k) {
            auto n = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            ok = (n & 0xC0) == 0x80;
            c = (c << 6) | (n & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[extra] || c > 0x10FFFF || (!surrogates && c >= 0xD800 && c <= 0xDFFF)) {
            *out++ = u'\uFFFD';
            if (replaced)
                *replaced = true;
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            *out++ = static_cast<char16_t>(0xD800 + (c >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            *out++ = static_cast<char16_t>(c);
        }
    }
    return size_t(out - start);
}

std::u16string Decode(std::string_view text, bool surrogates)
{
    std::u16string out(text.size(), u'\0');
    out.resize(Decode(text, out.data(), surrogates, nullptr));
    return out;
}

}  // namespace

std::u16string FromUtf8(std::string_view text)
{
    return Decode(text, false);
}

size_t FromUtf8(std::string_view text, char16_t* out, bool* replaced)
{
    return Decode(text, out, false, replaced);
}

std::u16string FromStoredName(std::string_view text)
{
    return Decode(text, true);
}

bool IsExactUtf8(std::string_view text)
{
    return ToUtf8(FromUtf8(text)) == text;
}

}  // namespace Tavo::Platform
