#include "Platform/App/ProfileStore.h"

#include "Platform/App/DebugSinks.h"
#include "Platform/App/Folders.h"
#include "Platform/Kernel/AtomicFile.h"
#include "Platform/Kernel/TextCoding.h"

namespace Tavo::Platform::App {

namespace {

constexpr size_t kMaxProfileBytes = 1 << 20;
constexpr char kHex[] = "0123456789abcdef";

// Section and entry become one key; "=" and line breaks would break the line
// format, so such names are refused.
bool MakeKey(const std::string& section, const std::string& entry, std::string& key)
{
    key = section + "/" + entry;
    return key.find_first_of("=\r\n") == std::string::npos;
}

}  // namespace

FileProfileStore::FileProfileStore(const std::string& company, const std::string& application)
{
    const std::string config = GetSystemFolder(FolderId::UserConfig);
    if (config.empty())
        return;
    const std::string folder = config + "/" + MakeValidFileName(company);
    CreateFolderPath(folder, 0700);
    mPath = folder + "/" + MakeValidFileName(application) + ".profile";
}

std::map<std::string, std::vector<uint8_t>> FileProfileStore::ReadAll() const
{
    std::map<std::string, std::vector<uint8_t>> values;
    std::string text;
    if (mPath.empty() || !ReadWholeFile(mPath, text, kMaxProfileBytes))
        return values;
    ForEachLine(text, [&](std::string_view line) {
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || line[0] == '#')
            return true;
        const std::string_view hex = line.substr(eq + 1);
        if (hex.size() % 2 != 0)
            return true;
        std::vector<uint8_t> bytes;
        bytes.reserve(hex.size() / 2);
        bool ok = true;
        for (size_t i = 0; ok && i < hex.size(); i += 2) {
            const int hi = HexDigitValue(hex[i]);
            const int lo = HexDigitValue(hex[i + 1]);
            ok = hi >= 0 && lo >= 0;
            bytes.push_back(uint8_t(hi << 4 | lo));
        }
        if (ok)
            values[std::string(line.substr(0, eq))] = std::move(bytes);
        return true;
    });
    return values;
}

std::optional<std::vector<uint8_t>> FileProfileStore::GetBinary(const std::string& section,
                                                                const std::string& entry)
{
    std::string key;
    if (!MakeKey(section, entry, key))
        return std::nullopt;
    auto values = ReadAll();
    auto it = values.find(key);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

bool FileProfileStore::WriteBinary(const std::string& section, const std::string& entry,
                                   const std::vector<uint8_t>& value)
{
    std::string key;
    if (mPath.empty() || !MakeKey(section, entry, key))
        return false;
    auto values = ReadAll();
    values[key] = value;
    std::string text = "# window profile\n";
    for (const auto& [k, bytes] : values) {
        text += k + "=";
        for (uint8_t b : bytes) {
            text += kHex[b >> 4];
            text += kHex[b & 15];
        }
        text += "\n";
    }
    const UserFileWrite written = WriteUserFile(mPath, text, 0600);
    if ((written == UserFileWrite::ReadOnly || written == UserFileWrite::NotRegularFile) && !mToldUnwritten) {
        mToldUnwritten = true;
        WriteConsole("Window profile \"" + mPath +
                     (written == UserFileWrite::ReadOnly ? "\" is read-only"
                                                         : "\" is not a regular file: it is left alone") +
                     ": the window's placement is not saved.\n");
    }
    return written == UserFileWrite::Written;
}

std::optional<std::vector<uint8_t>> MemoryProfileStore::GetBinary(const std::string& section,
                                                                  const std::string& entry)
{
    auto it = mValues.find(section + "/" + entry);
    if (it == mValues.end())
        return std::nullopt;
    return it->second;
}

bool MemoryProfileStore::WriteBinary(const std::string& section, const std::string& entry,
                                     const std::vector<uint8_t>& value)
{
    mValues[section + "/" + entry] = value;
    return true;
}

std::optional<WindowPlacementBytes> ReadWindowPlacement(IProfileStore& store, const std::string& section)
{
    auto value = store.GetBinary(section, "WP");
    if (!value || value->size() != kWindowPlacementSize)
        return std::nullopt;
    WindowPlacementBytes out{};
    std::copy(value->begin(), value->end(), out.begin());
    return out;
}

bool WriteWindowPlacement(IProfileStore& store, const std::string& section, const WindowPlacementBytes& value)
{
    return store.WriteBinary(section, "WP", std::vector<uint8_t>(value.begin(), value.end()));
}

}  // namespace Tavo::Platform::App
