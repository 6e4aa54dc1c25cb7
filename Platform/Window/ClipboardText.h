#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Tavo::Platform::Window {

// Text as the STRING target carries it: Latin-1. Nothing when a character
// lies outside it (the UTF8_STRING target then serves the text alone).
std::optional<std::string> ToLatin1(std::u16string_view text);
std::u16string FromLatin1(std::string_view bytes);

// Another client's UTF-8 text, cut at the first zero byte; malformed bytes
// read as U+FFFD; nothing when it is larger than the bound.
std::optional<std::u16string> DecodeForeignUtf8(std::string_view bytes, size_t maxBytes);

}  // namespace Tavo::Platform::Window
