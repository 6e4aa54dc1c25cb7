#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Tavo::Platform::App {

// Binary values by section and entry, kept per company and application (the
// profile that the window placement is stored in).
class IProfileStore
{
public:
    virtual ~IProfileStore() = default;
    virtual std::optional<std::vector<uint8_t>> GetBinary(const std::string& section,
                                                          const std::string& entry) = 0;
    virtual bool WriteBinary(const std::string& section, const std::string& entry,
                             const std::vector<uint8_t>& value) = 0;
};

// One text file, GetSystemFolder(UserConfig)/<company>/<application>.profile,
// a line "section/entry=<hex>" per value; rewritten whole through a
// temporary file and a rename (WriteUserFile: a link's target is written, a
// read-only or non-regular file is left alone and that said once on stderr).
class FileProfileStore final : public IProfileStore
{
public:
    FileProfileStore(const std::string& company, const std::string& application);

    std::optional<std::vector<uint8_t>> GetBinary(const std::string& section,
                                                  const std::string& entry) override;
    bool WriteBinary(const std::string& section, const std::string& entry,
                     const std::vector<uint8_t>& value) override;

    const std::string& Path() const { return mPath; }

private:
    std::map<std::string, std::vector<uint8_t>> ReadAll() const;

    std::string mPath;
    bool mToldUnwritten = false;
};

class MemoryProfileStore final : public IProfileStore
{
public:
    std::optional<std::vector<uint8_t>> GetBinary(const std::string& section,
                                                  const std::string& entry) override;
    bool WriteBinary(const std::string& section, const std::string& entry,
                     const std::vector<uint8_t>& value) override;

private:
    std::map<std::string, std::vector<uint8_t>> mValues;
};

// The main window's placement record, stored under the entry "WP".
inline constexpr size_t kWindowPlacementSize = 44;
using WindowPlacementBytes = std::array<uint8_t, kWindowPlacementSize>;

// Empty when nothing is stored or the stored value has another size.
std::optional<WindowPlacementBytes> ReadWindowPlacement(IProfileStore& store, const std::string& section);
bool WriteWindowPlacement(IProfileStore& store, const std::string& section,
                          const WindowPlacementBytes& value);

}  // namespace Tavo::Platform::App
