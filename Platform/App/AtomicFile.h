#pragma once

#include <string>
#include <string_view>

namespace Tavo::Platform::App {

// Replaces the file's contents through a temporary file in the same folder
// and a rename, so readers see either the old or the new contents whole.
bool WriteFileAtomically(const std::string& path, std::string_view contents, unsigned mode = 0644);

// Reads the whole file; false when it cannot be read or exceeds maxBytes.
bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes);

}  // namespace Tavo::Platform::App
