#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Kernel/KernelEvent.h"

// A small stand-in for the machine-wide registry: keys hold subkeys and typed
// values. Key and value names match case-insensitively and keep the case they
// were created with; subkeys enumerate sorted by their case-folded names.
// Paths are relative to the root and split on "\" or "/".
namespace Tavo::Platform::Registry {

// Value types, numbered like the platform's own.
enum ValueType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegBinary = 3,
    kRegDword = 4,
};

enum class Status {
    Ok,
    NotFound,     // no such key or value
    MoreData,     // the value is longer than the caller allows
    InvalidName,  // empty path component or a key name the store cannot hold
    IoError,      // the backing store failed
};

struct Value
{
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;

    // REG_SZ data: UTF-16 little-endian with its terminating zero.
    static Value String(std::u16string_view text);
    static Value Dword(uint32_t number);
    static Value Binary(std::vector<uint8_t> bytes);

    // The text of a REG_SZ value up to its first zero character.
    std::u16string AsString() const;
};

// An open key. Reading only; a key deleted while open reports NotFound.
class Key
{
public:
    virtual ~Key() = default;

    virtual Status OpenSubKey(std::u16string_view path, std::unique_ptr<Key>& out) const = 0;
    // Names of the direct subkeys, sorted case-insensitively.
    virtual Status EnumerateSubKeys(std::vector<std::u16string>& names) const = 0;
    // The unnamed (default) value has the empty name. A value longer than
    // maxBytes gives MoreData and leaves `out` empty.
    virtual Status QueryValue(std::u16string_view name, Value& out, size_t maxBytes = SIZE_MAX) const = 0;
    // One-shot: `event` is set once at the next change of this key: a value
    // set or deleted, a direct subkey created or deleted, or the key itself
    // deleted. Arm again after each wake-up to keep watching, and arm before
    // reading so that no change slips between read and wait. On disk a
    // wake-up may now and then come without a visible change.
    virtual Status NotifyChange(std::shared_ptr<KernelEvent> event) const = 0;
};

class Store
{
public:
    virtual ~Store() = default;

    virtual Status OpenKey(std::u16string_view path, std::unique_ptr<Key>& out) const = 0;

    // Writers, for tests and the simulated mixer. CreateKey makes missing
    // parents; DeleteKey removes the whole subtree.
    virtual Status CreateKey(std::u16string_view path) = 0;
    virtual Status SetValue(std::u16string_view keyPath, std::u16string_view name, const Value& value) = 0;
    virtual Status DeleteValue(std::u16string_view keyPath, std::u16string_view name) = 0;
    virtual Status DeleteKey(std::u16string_view path) = 0;
};

// In-memory store for unit tests; its writers fire the notifications.
std::shared_ptr<Store> CreateMemoryRegistry();

// A directory tree under `rootFolder` (see Platform/README.md); changes made
// by other processes wake waiters through inotify.
std::shared_ptr<Store> CreateDirectoryRegistry(const std::string& rootFolder);

// The registry the program reads: by default the directory tree in
// PlatformRoot()/registry. Tests may install another one.
std::shared_ptr<Store> Machine();
void SetMachine(std::shared_ptr<Store> registry);

}  // namespace Tavo::Platform::Registry
