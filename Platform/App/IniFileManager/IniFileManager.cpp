// The settings library: a table of open files, each held in memory and
// written back whole after every change.

#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>

#include "Platform/Kernel/AtomicFile.h"
#include "Platform/App/IniFileApi.h"
#include "Platform/App/IniFileManager/IniDocument.h"

#define INI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace Tavo::Platform::App;
using Tavo::Platform::ReadWholeFile;
using Tavo::Platform::UserFileWrite;
using Tavo::Platform::WriteUserFile;
using Tavo::Platform::App::Ini::Document;
using Tavo::Platform::App::Ini::Node;

namespace {

constexpr size_t kMaxFileBytes = 16u << 20;

struct OpenFile
{
    std::string path;
    Document document;
    int32_t opens = 0;
    bool dirty = false;
    // What the file held when last read or written, and which file that
    // was: a save that would write the same text over it again is skipped,
    // since each write waits for the disk.
    std::string onDisk;
    struct stat onDiskStat
    {
    };
    bool onDiskKnown = false;
};

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

void Remember(OpenFile& file, std::string text)
{
    file.onDiskKnown = stat(file.path.c_str(), &file.onDiskStat) == 0 && S_ISREG(file.onDiskStat.st_mode);
    file.onDisk = file.onDiskKnown ? std::move(text) : std::string();
}

struct Library
{
    std::mutex lock;
    std::map<uint32_t, std::unique_ptr<OpenFile>> files;
    uint32_t nextHandle = 1;
};

// Destroyed when the library is unloaded, so repeated loads leak nothing.
Library& State()
{
    static Library library;
    return library;
}

int32_t Save(OpenFile& file)
{
    std::string text = file.document.Serialize();
    struct stat now
    {
    };
    if (file.onDiskKnown && text == file.onDisk && stat(file.path.c_str(), &now) == 0 &&
        SameFile(now, file.onDiskStat)) {
        file.dirty = false;
        return INI_OK;
    }
    const UserFileWrite written = WriteUserFile(file.path, text, 0644);
    if (written != UserFileWrite::Written) {
        file.dirty = true;
        file.onDiskKnown = false;
        return written == UserFileWrite::ReadOnly         ? INI_READ_ONLY
               : written == UserFileWrite::NotRegularFile ? INI_NOT_A_FILE
                                                          : INI_IO_ERROR;
    }
    file.dirty = false;
    Remember(file, std::move(text));
    return INI_OK;
}

int32_t CopyOut(const std::string& text, char* buffer, uint32_t bufferSize, uint32_t* neededSize)
{
    if (text.size() + 1 > UINT32_MAX)
        return INI_BAD_ARGUMENT;
    *neededSize = uint32_t(text.size() + 1);
    if (!buffer || bufferSize < *neededSize) {
        if (buffer && bufferSize > 0)
            buffer[0] = 0;
        return INI_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return INI_OK;
}

// Runs op on the open file and the split key path under the library lock.
template <typename Op>
int32_t WithKey(uint32_t handle, const char* path, Op op)
{
    Library& lib = State();
    std::lock_guard guard(lib.lock);
    auto it = lib.files.find(handle);
    if (it == lib.files.end())
        return INI_BAD_HANDLE;
    std::vector<std::string> names;
    if (!path || !Document::SplitPath(path, names))
        return INI_BAD_ARGUMENT;
    return op(*it->second, names);
}

// Children "0", "1", ... present without a gap.
uint32_t ArrayCount(const Node* node)
{
    if (!node)
        return 0;
    uint32_t count = 0;
    while (count < INT32_MAX) {
        const Node* item = node->Child(std::to_string(count));
        if (!item || !item->Exists())
            break;
        ++count;
    }
    return count;
}

std::string ArrayKey(int32_t index)
{
    return std::to_string(index);
}

// Items' indexes are decimal names without leading zeros.
bool IndexName(const std::string& name, int64_t& index)
{
    if (name.empty() || (name.size() > 1 && name[0] == '0'))
        return false;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), index);
    return ec == std::errc() && end == name.data() + name.size() && index >= 0;
}

}  // namespace

INI_EXPORT int32_t OpenIniFile(const char* path, const char* settingsVersion, const char* productName,
                               uint32_t* handle)
{
    if (!handle)
        return INI_BAD_ARGUMENT;
    *handle = 0;
    if (!path || !*path)
        return INI_BAD_ARGUMENT;
    Library& lib = State();
    std::lock_guard guard(lib.lock);
    for (auto& [h, file] : lib.files) {
        if (file->path == path) {
            ++file->opens;
            *handle = h;
            return INI_OK;
        }
    }
    auto file = std::make_unique<OpenFile>();
    file->path = path;
    std::string text;
    struct stat st
    {
    };
    if (stat(path, &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return INI_NOT_A_FILE;
        if (!ReadWholeFile(path, text, kMaxFileBytes))
            return INI_IO_ERROR;
        file->document.Parse(text);
        // Taken before the read: a change meanwhile shows as a different file.
        file->onDisk = text;
        file->onDiskStat = st;
        file->onDiskKnown = true;
    }
    // The caller's version and product are what the file records from now on.
    file->document.version = settingsVersion ? settingsVersion : "";
    file->document.product = productName ? productName : "";
    // An empty read-only file is used as it is, with nothing in it.
    if (const int32_t saved = text.empty() ? Save(*file) : INI_OK; saved != INI_OK && saved != INI_READ_ONLY)
        return saved == INI_NOT_A_FILE ? INI_NOT_A_FILE : INI_IO_ERROR;
    file->opens = 1;
    if (lib.nextHandle == 0)
        lib.nextHandle = 1;
    *handle = lib.nextHandle++;
    lib.files[*handle] = std::move(file);
    return INI_OK;
}

INI_EXPORT int32_t WriteIniFile(uint32_t handle)
{
    Library& lib = State();
    std::lock_guard guard(lib.lock);
    auto it = lib.files.find(handle);
    return it == lib.files.end() ? INI_BAD_HANDLE : Save(*it->second);
}

INI_EXPORT int32_t CloseIniFile(uint32_t handle, int32_t save)
{
    Library& lib = State();
    std::lock_guard guard(lib.lock);
    auto it = lib.files.find(handle);
    if (it == lib.files.end())
        return INI_BAD_HANDLE;
    int32_t result = INI_OK;
    if (save != 0 && it->second->dirty)
        result = Save(*it->second);
    if (--it->second->opens == 0)
        lib.files.erase(it);
    return result;
}

INI_EXPORT uint8_t DoesNodeExist(uint32_t handle, const char* path)
{
    const int32_t r = WithKey(handle, path, [](OpenFile& f, const std::vector<std::string>& names) {
        const Node* node = f.document.Find(names);
        return node && node->Exists() ? 1 : 0;
    });
    return r == 1 ? 1 : 0;
}

INI_EXPORT int32_t GetIniValueInt(uint32_t handle, const char* path, int32_t defaultValue, int32_t* value)
{
    if (!value)
        return INI_BAD_ARGUMENT;
    *value = defaultValue;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        const Node* node = f.document.Find(names);
        if (!node || !node->value)
            return INI_DEFAULT_USED;
        const std::string& text = *node->value;
        const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
        int32_t parsed = 0;
        auto [end, ec] = std::from_chars(begin, text.data() + text.size(), parsed);
        if (ec != std::errc() || end != text.data() + text.size())
            return INI_NOT_A_NUMBER;
        *value = parsed;
        return INI_OK;
    });
}

INI_EXPORT int32_t SetIniValueInt(uint32_t handle, const char* path, int32_t value)
{
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        if (names.empty())
            return INI_BAD_ARGUMENT;
        f.document.Ensure(names).value = std::to_string(value);
        return Save(f);
    });
}

INI_EXPORT int32_t GetIniValueStr(uint32_t handle, const char* path, const char* defaultValue, char* buffer,
                                  uint32_t bufferSize, uint32_t* neededSize)
{
    if (!neededSize)
        return INI_BAD_ARGUMENT;
    *neededSize = 0;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        const Node* node = f.document.Find(names);
        if (!node || !node->value) {
            const int32_t r = CopyOut(defaultValue ? defaultValue : "", buffer, bufferSize, neededSize);
            return r == INI_OK ? INI_DEFAULT_USED : r;
        }
        return CopyOut(*node->value, buffer, bufferSize, neededSize);
    });
}

INI_EXPORT int32_t SetIniValueStr(uint32_t handle, const char* path, const char* value)
{
    if (!value)
        return INI_BAD_ARGUMENT;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        if (names.empty())
            return INI_BAD_ARGUMENT;
        f.document.Ensure(names).value = value;
        return Save(f);
    });
}

INI_EXPORT int32_t GetKeyCount(uint32_t handle, const char* path, uint32_t* count)
{
    if (!count)
        return INI_BAD_ARGUMENT;
    *count = 0;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        if (const Node* node = f.document.Find(names)) {
            for (const auto& child : node->children)
                *count += child->Exists() ? 1 : 0;
        }
        return INI_OK;
    });
}

INI_EXPORT int32_t GetKeyNameAt(uint32_t handle, const char* path, int32_t index, char* buffer,
                                uint32_t bufferSize, uint32_t* neededSize)
{
    if (!neededSize)
        return INI_BAD_ARGUMENT;
    *neededSize = 0;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        const Node* node = f.document.Find(names);
        if (!node || index < 0)
            return INI_NOT_FOUND;
        int32_t seen = 0;
        for (const auto& child : node->children) {
            if (!child->Exists())
                continue;
            if (seen++ == index)
                return CopyOut(child->name, buffer, bufferSize, neededSize);
        }
        return INI_NOT_FOUND;
    });
}

INI_EXPORT int32_t GetArrayCount(uint32_t handle, const char* path, uint32_t* count)
{
    if (!count)
        return INI_BAD_ARGUMENT;
    *count = 0;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        *count = ArrayCount(f.document.Find(names));
        return INI_OK;
    });
}

INI_EXPORT int32_t SetArrayCount(uint32_t handle, const char* path, int32_t count)
{
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        if (names.empty() || count < 0)
            return INI_BAD_ARGUMENT;
        Node& node = f.document.Ensure(names);
        std::erase_if(node.children, [&](const std::unique_ptr<Node>& child) {
            int64_t index = 0;
            return IndexName(child->name, index) && index >= count;
        });
        for (int32_t i = 0; i < count; ++i) {
            Node& item = node.EnsureChild(ArrayKey(i));
            if (!item.Exists())
                item.value = "";
        }
        f.document.Prune();
        return Save(f);
    });
}

INI_EXPORT int32_t GetArrayItemAt(uint32_t handle, const char* path, int32_t index, char* buffer,
                                  uint32_t bufferSize, uint32_t* neededSize)
{
    if (!neededSize)
        return INI_BAD_ARGUMENT;
    *neededSize = 0;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        const Node* node = f.document.Find(names);
        if (!node || index < 0 || uint32_t(index) >= ArrayCount(node))
            return INI_NOT_FOUND;
        const Node* item = node->Child(ArrayKey(index));
        return CopyOut(item->value ? *item->value : std::string(), buffer, bufferSize, neededSize);
    });
}

INI_EXPORT int32_t SetArrayItemAt(uint32_t handle, const char* path, int32_t index, const char* value)
{
    if (!value)
        return INI_BAD_ARGUMENT;
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        if (names.empty() || index < 0)
            return INI_BAD_ARGUMENT;
        // Setting the item just past the end appends; further out would leave a gap.
        if (uint32_t(index) > ArrayCount(f.document.Find(names)))
            return INI_NOT_FOUND;
        f.document.Ensure(names).EnsureChild(ArrayKey(index)).value = value;
        return Save(f);
    });
}

INI_EXPORT int32_t RemoveArrayItemAt(uint32_t handle, const char* path, int32_t index)
{
    return WithKey(handle, path, [&](OpenFile& f, const std::vector<std::string>& names) {
        Node* node = f.document.Find(names);
        const uint32_t count = ArrayCount(node);
        if (!node || index < 0 || uint32_t(index) >= count)
            return INI_NOT_FOUND;
        std::erase_if(node->children,
                      [&](const std::unique_ptr<Node>& child) { return child->name == ArrayKey(index); });
        for (uint32_t i = uint32_t(index) + 1; i < count; ++i)
            node->Child(std::to_string(i))->name = std::to_string(i - 1);
        f.document.Prune();
        return Save(f);
    });
}
