#pragma once

#include <string>
#include <string_view>

namespace Tavo::Platform {

// Replaces the file's contents through a temporary file in the same folder
// and a rename, so readers see either the old or the new contents whole.
// `durable` also syncs the data before the rename (settings); runtime files
// that do not outlive the session skip it.
bool WriteFileAtomically(const std::string& path, std::string_view contents, unsigned mode = 0644,
                         bool durable = true);

// Reads the whole file; false when it cannot be read or exceeds maxBytes.
bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes);

// Calls `line` with each '\n'-separated line of `text` (a last line without
// '\n' included), until it returns false.
template <class F>
void ForEachLine(std::string_view text, F&& line)
{
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (!line(text.substr(0, end)) || end == std::string_view::npos)
            return;
        text.remove_prefix(end + 1);
    }
}

}  // namespace Tavo::Platform
