#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Platform/App/IniFileApi.h"

namespace Tavo::Platform::App {

// The entry points, null until found.
struct IniFileEntryPoints
{
    OpenIniFileFn openIniFile = nullptr;
    WriteIniFileFn writeIniFile = nullptr;
    CloseIniFileFn closeIniFile = nullptr;
    DoesNodeExistFn doesNodeExist = nullptr;
    GetIniValueIntFn getIniValueInt = nullptr;
    SetIniValueIntFn setIniValueInt = nullptr;
    GetIniValueStrFn getIniValueStr = nullptr;
    SetIniValueStrFn setIniValueStr = nullptr;
    GetKeyCountFn getKeyCount = nullptr;
    GetKeyNameAtFn getKeyNameAt = nullptr;
    GetArrayCountFn getArrayCount = nullptr;
    SetArrayCountFn setArrayCount = nullptr;
    GetArrayItemAtFn getArrayItemAt = nullptr;
    SetArrayItemAtFn setArrayItemAt = nullptr;
    RemoveArrayItemAtFn removeArrayItemAt = nullptr;
};

// Loads libIniFileManager.so and resolves its entry points. A missing
// library or entry point is reported through the result, never thrown: the
// program runs on with default settings.
class IniFileLibrary
{
public:
    static constexpr const char* kFileName = "libIniFileManager.so";

    enum class LoadResult { Loaded, AlreadyLoaded, LibraryMissing, EntryPointMissing };

    IniFileLibrary() = default;
    ~IniFileLibrary();
    IniFileLibrary(const IniFileLibrary&) = delete;
    IniFileLibrary& operator=(const IniFileLibrary&) = delete;

    // folder empty: the program's folder, else the loader's search. A library that lacks entry points
    // stays loaded; the ones it has can be used.
    LoadResult Load(const std::string& folder);
    // 1 when nothing is loaded, 0 after unloading, -1 when dlclose failed
    // (nothing is loaded afterwards all the same).
    int32_t Unload();

    bool IsLoaded() const { return mHandle != nullptr; }
    const IniFileEntryPoints& EntryPoints() const { return mEntryPoints; }
    const std::vector<std::string>& MissingEntryPoints() const { return mMissing; }
    // The loader's message for the last failure.
    const std::string& LastError() const { return mLastError; }

    // The full path Load uses for a folder.
    static std::string LibraryPath(const std::string& folder);

private:
    void* mHandle = nullptr;
    IniFileEntryPoints mEntryPoints;
    std::vector<std::string> mMissing;
    std::string mLastError;
};

// The string-read protocol: call with a 1024-byte buffer; on
// INI_BUFFER_TOO_SMALL call again with a buffer of the reported size (at
// least one byte), whose last byte is then forced to 0 and whose text is
// taken whatever the second call returned. On INI_OK the text is taken;
// on any other result value is left alone. Returns the last call's result.
using IniStringRead = std::function<int32_t(char* buffer, uint32_t bufferSize, uint32_t* neededSize)>;
int32_t ReadIniString(const IniStringRead& read, std::string& value);

}  // namespace Tavo::Platform::App
