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

enum class UserFileWrite { Written, Failed, ReadOnly, NotRegularFile };

// WriteFileAtomically for a file the user owns and may have arranged: a
// symbolic link is followed and its target rewritten, the link kept; an
// existing file keeps its mode (`mode` is for a new one); a file without
// the owner's write permission, or something other than a regular file
// (a FIFO, a device, a folder), is left as it is.
UserFileWrite WriteUserFile(const std::string& path, std::string_view contents, unsigned mode);

// Reads the whole file; false when it cannot be read, exceeds maxBytes or is
// not a regular file (a FIFO or a device would block or never end).
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
