#pragma once

#include <string>
#include <string_view>
#include <vector>

// Name handling shared by the registry backends.
namespace TavoPlatform::Registry::Names {

// Case folding for name comparison: ASCII and Latin-1 letters.
std::u16string Fold(std::u16string_view name);

// Splits on "\" or "/"; false when a component is empty (a lone leading or
// trailing separator is allowed).
bool SplitPath(std::u16string_view path, std::vector<std::u16string>& parts);

// UTF-16 <-> UTF-8; lone surrogates survive the round trip.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

} // namespace TavoPlatform::Registry::Names
