#include "Platform/Window/ClipboardText.h"

#include "Platform/Kernel/TextCoding.h"

namespace Tavo::Platform::Window {

std::optional<std::string> ToLatin1(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c > 0xFF)
            return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::u16string FromLatin1(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        if (c == '\0')
            break;
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<std::u16string> DecodeForeignUtf8(std::string_view bytes, size_t maxBytes)
{
    if (bytes.size() > maxBytes)
        return std::nullopt;
    const size_t zero = bytes.find('\0');
    if (zero != std::string_view::npos)
        bytes = bytes.substr(0, zero);
    return FromUtf8(bytes);
}

}  // namespace Tavo::Platform::Window
