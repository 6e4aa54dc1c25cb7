#include "Application/IniFileManager.h"

#include "Platform/App/DebugSinks.h"
#include "Platform/App/IniFileLibrary.h"

#include <map>
#include <set>
#include <string>

namespace Tavo {

namespace App = Platform::App;

namespace {

std::string Narrow(const WString& text)
{
    return NString(text).c_str();
}

WString Wide(const std::string& text)
{
    return WString(text.c_str());
}

// Loads the library and converts between the framework's wide texts and
// the library's UTF-8.
class CIniFileManagerProxy final : public IIniFileManager
{
public:
    int32_t Load(const WString& folder) override
    {
        switch (mLibrary.Load(Narrow(folder))) {
        case App::IniFileLibrary::LoadResult::Loaded:
            return S_OK;
        case App::IniFileLibrary::LoadResult::AlreadyLoaded:
            return S_FALSE;
        default:
            return E_FAIL;
        }
    }

    int32_t Unload() override
    {
        const int32_t result = mLibrary.Unload();
        return result < 0 ? E_FAIL : result;
    }

    int32_t Open(const WString& path, const WString& settingsVersion, const WString& productName,
                 uint32_t& handle) override
    {
        handle = 0;
        if (!Api().openIniFile)
            return E_FAIL;
        const std::string file = Narrow(path);
        const int32_t result = Api().openIniFile(file.c_str(), Narrow(settingsVersion).c_str(),
                                                 Narrow(productName).c_str(), &handle);
        // Opens are tried again on each use; the reason is said once.
        if (result == App::INI_NOT_A_FILE && mToldNotAFile.insert(file).second)
            App::WriteConsole("Settings file \"" + file +
                              "\" is not a regular file: it is left alone and default settings are used.\n");
        if (handle)
            mPaths[handle] = file;
        return result;
    }

    int32_t Write(uint32_t handle) override
    {
        return Reported(handle, Api().writeIniFile ? Api().writeIniFile(handle) : E_FAIL);
    }

    bool DoesNodeExist(uint32_t handle, const WString& keyPath) override
    {
        return Api().doesNodeExist && Api().doesNodeExist(handle, Narrow(keyPath).c_str()) != 0;
    }

    int32_t Close(uint32_t handle, int32_t value) override
    {
        return Reported(handle, Api().closeIniFile ? Api().closeIniFile(handle, value) : E_FAIL);
    }

    int32_t GetInt(uint32_t handle, const WString& keyPath, int32_t defaultValue, int32_t& value) override
    {
        value = defaultValue;
        if (!Api().getIniValueInt)
            return E_FAIL;
        return Api().getIniValueInt(handle, Narrow(keyPath).c_str(), defaultValue, &value);
    }

    int32_t SetInt(uint32_t handle, const WString& keyPath, int32_t value) override
    {
        return Reported(handle, Api().setIniValueInt
                                    ? Api().setIniValueInt(handle, Narrow(keyPath).c_str(), value)
                                    : E_FAIL);
    }

    int32_t GetStr(uint32_t handle, const WString& keyPath, const WString& defaultValue,
                   WString& value) override
    {
        value = defaultValue;
        const auto fn = Api().getIniValueStr;
        if (!fn)
            return E_FAIL;
        const std::string path = Narrow(keyPath);
        const std::string fallback = Narrow(defaultValue);
        return ReadString(value, [&](char* buffer, uint32_t size, uint32_t* needed) {
            return fn(handle, path.c_str(), fallback.c_str(), buffer, size, needed);
        });
    }

    int32_t SetStr(uint32_t handle, const WString& keyPath, const WString& value) override
    {
        if (!Api().setIniValueStr)
            return E_FAIL;
        return Reported(handle, Api().setIniValueStr(handle, Narrow(keyPath).c_str(), Narrow(value).c_str()));
    }

    int32_t GetKeyCount(uint32_t handle, const WString& keyPath, uint32_t& count) override
    {
        count = 0;
        return Api().getKeyCount ? Api().getKeyCount(handle, Narrow(keyPath).c_str(), &count) : E_FAIL;
    }

    int32_t GetKeyNameAt(uint32_t handle, const WString& keyPath, int32_t index, WString& name) override
    {
        name.Empty();
        const auto fn = Api().getKeyNameAt;
        if (!fn)
            return E_FAIL;
        const std::string path = Narrow(keyPath);
        return ReadString(name, [&](char* buffer, uint32_t size, uint32_t* needed) {
            return fn(handle, path.c_str(), index, buffer, size, needed);
        });
    }

    int32_t GetArrayCount(uint32_t handle, const WString& keyPath, uint32_t& count) override
    {
        count = 0;
        return Api().getArrayCount ? Api().getArrayCount(handle, Narrow(keyPath).c_str(), &count) : E_FAIL;
    }

    int32_t SetArrayCount(uint32_t handle, const WString& keyPath, int32_t count) override
    {
        return Reported(handle, Api().setArrayCount
                                    ? Api().setArrayCount(handle, Narrow(keyPath).c_str(), count)
                                    : E_FAIL);
    }

    int32_t GetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index, WString& value) override
    {
        value.Empty();
        const auto fn = Api().getArrayItemAt;
        if (!fn)
            return E_FAIL;
        const std::string path = Narrow(keyPath);
        return ReadString(value, [&](char* buffer, uint32_t size, uint32_t* needed) {
            return fn(handle, path.c_str(), index, buffer, size, needed);
        });
    }

    int32_t SetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index,
                           const WString& value) override
    {
        if (!Api().setArrayItemAt)
            return E_FAIL;
        return Reported(handle,
                        Api().setArrayItemAt(handle, Narrow(keyPath).c_str(), index, Narrow(value).c_str()));
    }

    int32_t RemoveArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index) override
    {
        if (!Api().removeArrayItemAt)
            return E_FAIL;
        return Reported(handle, Api().removeArrayItemAt(handle, Narrow(keyPath).c_str(), index));
    }

private:
    const App::IniFileEntryPoints& Api() const { return mLibrary.EntryPoints(); }

    // A change that a read-only file keeps from the disk is said once per file.
    int32_t Reported(uint32_t handle, int32_t result)
    {
        if (result == App::INI_READ_ONLY && mToldReadOnly.insert(handle).second) {
            const auto path = mPaths.find(handle);
            App::WriteConsole("Settings file \"" + (path == mPaths.end() ? std::string() : path->second) +
                              "\" is read-only: changed settings are not saved.\n");
        }
        return result;
    }

    static int32_t ReadString(WString& value, const App::IniStringRead& read)
    {
        std::string text;
        bool taken = false;
        const int32_t result = App::ReadIniString(
            [&](char* buffer, uint32_t size, uint32_t* needed) {
                const int32_t r = read(buffer, size, needed);
                // The second call's text is taken whatever it returns.
                taken = taken || r == App::INI_BUFFER_TOO_SMALL || r == App::INI_OK;
                return r;
            },
            text);
        if (taken)
            value = Wide(text);
        return result;
    }

    App::IniFileLibrary mLibrary;
    std::map<uint32_t, std::string> mPaths;
    std::set<uint32_t> mToldReadOnly;
    std::set<std::string> mToldNotAFile;
};

}  // namespace

RCPtr<LIniFileManager> LIniFileManager::Create()
{
    return RCPtr<LIniFileManager>(new LIniFileManager());
}

LIniFileManager::LIniFileManager() : mImpl(std::make_unique<CIniFileManagerProxy>()) {}

LIniFileManager::~LIniFileManager() = default;

int32_t LIniFileManager::Load(const WString& folder)
{
    return mImpl->Load(folder);
}
int32_t LIniFileManager::Unload()
{
    return mImpl->Unload();
}
int32_t LIniFileManager::Open(const WString& path, const WString& settingsVersion, const WString& productName,
                              uint32_t& handle)
{
    return mImpl->Open(path, settingsVersion, productName, handle);
}
int32_t LIniFileManager::Write(uint32_t handle)
{
    return mImpl->Write(handle);
}
bool LIniFileManager::DoesNodeExist(uint32_t handle, const WString& keyPath)
{
    return mImpl->DoesNodeExist(handle, keyPath);
}
int32_t LIniFileManager::Close(uint32_t handle, int32_t value)
{
    return mImpl->Close(handle, value);
}
int32_t LIniFileManager::GetInt(uint32_t handle, const WString& keyPath, int32_t defaultValue, int32_t& value)
{
    return mImpl->GetInt(handle, keyPath, defaultValue, value);
}
int32_t LIniFileManager::SetInt(uint32_t handle, const WString& keyPath, int32_t value)
{
    return mImpl->SetInt(handle, keyPath, value);
}
int32_t LIniFileManager::GetStr(uint32_t handle, const WString& keyPath, const WString& defaultValue,
                                WString& value)
{
    return mImpl->GetStr(handle, keyPath, defaultValue, value);
}
int32_t LIniFileManager::SetStr(uint32_t handle, const WString& keyPath, const WString& value)
{
    return mImpl->SetStr(handle, keyPath, value);
}
int32_t LIniFileManager::GetKeyCount(uint32_t handle, const WString& keyPath, uint32_t& count)
{
    return mImpl->GetKeyCount(handle, keyPath, count);
}
int32_t LIniFileManager::GetKeyNameAt(uint32_t handle, const WString& keyPath, int32_t index, WString& name)
{
    return mImpl->GetKeyNameAt(handle, keyPath, index, name);
}
int32_t LIniFileManager::GetArrayCount(uint32_t handle, const WString& keyPath, uint32_t& count)
{
    return mImpl->GetArrayCount(handle, keyPath, count);
}
int32_t LIniFileManager::SetArrayCount(uint32_t handle, const WString& keyPath, int32_t count)
{
    return mImpl->SetArrayCount(handle, keyPath, count);
}
int32_t LIniFileManager::GetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index,
                                        WString& value)
{
    return mImpl->GetArrayItemAt(handle, keyPath, index, value);
}
int32_t LIniFileManager::SetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index,
                                        const WString& value)
{
    return mImpl->SetArrayItemAt(handle, keyPath, index, value);
}
int32_t LIniFileManager::RemoveArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index)
{
    return mImpl->RemoveArrayItemAt(handle, keyPath, index);
}

}  // namespace Tavo
