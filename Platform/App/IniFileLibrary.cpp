#include "Platform/App/IniFileLibrary.h"

#include <dlfcn.h>
#include <memory>
#include <unistd.h>

#include "Platform/App/Folders.h"

namespace Tavo::Platform::App {

namespace {

template <typename Fn>
void Resolve(void* handle, const char* name, Fn& slot, std::vector<std::string>& missing)
{
    slot = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!slot)
        missing.emplace_back(name);
}

}  // namespace

IniFileLibrary::~IniFileLibrary()
{
    Unload();
}

std::string IniFileLibrary::LibraryPath(const std::string& folder)
{
    if (folder.empty()) {
        // The program's own copy first; otherwise the bare name, which the
        // dynamic loader looks up along its own search path.
        const std::string program = GetSystemFolder(FolderId::Program);
        const std::string own = program.empty() ? std::string() : LibraryPath(program);
        return !own.empty() && access(own.c_str(), F_OK) == 0 ? own : std::string(kFileName);
    }
    // A backslash is a character of the folder's name, not a separator.
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    return path + kFileName;
}

IniFileLibrary::LoadResult IniFileLibrary::Load(const std::string& folder)
{
    if (mHandle)
        return LoadResult::AlreadyLoaded;
    const std::string path = LibraryPath(folder);
    dlerror();
    mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mHandle) {
        const char* error = dlerror();
        mLastError = error ? error : "cannot load " + path;
        return LoadResult::LibraryMissing;
    }
    mMissing.clear();
    IniFileEntryPoints& e = mEntryPoints;
    Resolve(mHandle, "OpenIniFile", e.openIniFile, mMissing);
    Resolve(mHandle, "WriteIniFile", e.writeIniFile, mMissing);
    Resolve(mHandle, "CloseIniFile", e.closeIniFile, mMissing);
    Resolve(mHandle, "DoesNodeExist", e.doesNodeExist, mMissing);
    Resolve(mHandle, "GetIniValueInt", e.getIniValueInt, mMissing);
    Resolve(mHandle, "SetIniValueInt", e.setIniValueInt, mMissing);
    Resolve(mHandle, "GetIniValueStr", e.getIniValueStr, mMissing);
    Resolve(mHandle, "SetIniValueStr", e.setIniValueStr, mMissing);
    Resolve(mHandle, "GetKeyCount", e.getKeyCount, mMissing);
    Resolve(mHandle, "GetKeyNameAt", e.getKeyNameAt, mMissing);
    Resolve(mHandle, "GetArrayCount", e.getArrayCount, mMissing);
    Resolve(mHandle, "SetArrayCount", e.setArrayCount, mMissing);
    Resolve(mHandle, "GetArrayItemAt", e.getArrayItemAt, mMissing);
    Resolve(mHandle, "SetArrayItemAt", e.setArrayItemAt, mMissing);
    Resolve(mHandle, "RemoveArrayItemAt", e.removeArrayItemAt, mMissing);
    if (!mMissing.empty()) {
        mLastError = path + " lacks " + mMissing.front();
        return LoadResult::EntryPointMissing;
    }
    mLastError.clear();
    return LoadResult::Loaded;
}

int32_t IniFileLibrary::Unload()
{
    if (!mHandle)
        return 1;
    const int closed = dlclose(mHandle);
    mHandle = nullptr;
    mEntryPoints = IniFileEntryPoints{};
    mMissing.clear();
    return closed == 0 ? 0 : -1;
}

int32_t ReadIniString(const IniStringRead& read, std::string& value)
{
    char first[1024];
    first[0] = 0;
    uint32_t needed = 0;
    const int32_t result = read(first, sizeof first, &needed);
    if (result == INI_BUFFER_TOO_SMALL) {
        const uint32_t size = needed == 0 ? 1 : needed;
        std::unique_ptr<char[]> second(new char[size]);
        second[0] = 0;
        const int32_t again = read(second.get(), size, &needed);
        second[size - 1] = 0;
        value = second.get();
        return again;
    }
    if (result == INI_OK) {
        first[sizeof first - 1] = 0;
        value = first;
    }
    return result;
}

}  // namespace Tavo::Platform::App
