#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Platform/Kernel/TextCoding.h"

// Name handling shared by the registry backends.
namespace Tavo::Platform::Registry::Names {

// Case folding for name comparison: ASCII and Latin-1 letters.
std::u16string Fold(std::u16string_view name);

// Splits on "\" or "/"; false when a component is empty (a lone leading or
// trailing separator is allowed).
bool SplitPath(std::u16string_view path, std::vector<std::u16string>& parts);

// Stored names: ToUtf8 out, FromStoredName back, so that lone surrogates
// survive the round trip and distinct keys never meet on disk.
using Tavo::Platform::FromStoredName;
using Tavo::Platform::ToUtf8;

}  // namespace Tavo::Platform::Registry::Names
