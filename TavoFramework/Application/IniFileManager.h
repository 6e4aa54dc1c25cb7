#pragma once

#include "ObjectBase/RefCountedObject.h"

#include <cstdint>
#include <memory>

namespace Tavo {

// Settings files read and written through the run-time loaded settings
// library. Every operation fails softly when the library or its entry point
// is missing: reads give their defaults, the rest E_FAIL.
class IIniFileManager
{
public:
    virtual int32_t Load(const WString& folder) = 0;
    virtual int32_t Unload() = 0;
    virtual int32_t Open(const WString& path, const WString& settingsVersion, const WString& productName,
                         uint32_t& handle) = 0;
    virtual int32_t Write(uint32_t handle) = 0;
    virtual bool DoesNodeExist(uint32_t handle, const WString& keyPath) = 0;
    virtual int32_t Close(uint32_t handle, int32_t value) = 0;
    virtual int32_t GetInt(uint32_t handle, const WString& keyPath, int32_t defaultValue, int32_t& value) = 0;
    virtual int32_t SetInt(uint32_t handle, const WString& keyPath, int32_t value) = 0;
    virtual int32_t GetStr(uint32_t handle, const WString& keyPath, const WString& defaultValue,
                           WString& value) = 0;
    virtual int32_t SetStr(uint32_t handle, const WString& keyPath, const WString& value) = 0;
    virtual int32_t GetKeyCount(uint32_t handle, const WString& keyPath, uint32_t& count) = 0;
    virtual int32_t GetKeyNameAt(uint32_t handle, const WString& keyPath, int32_t index, WString& name) = 0;
    virtual int32_t GetArrayCount(uint32_t handle, const WString& keyPath, uint32_t& count) = 0;
    virtual int32_t SetArrayCount(uint32_t handle, const WString& keyPath, int32_t count) = 0;
    virtual int32_t GetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index,
                                   WString& value) = 0;
    virtual int32_t SetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index,
                                   const WString& value) = 0;
    virtual int32_t RemoveArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index) = 0;
    virtual ~IIniFileManager() = default;
};

// The reference-counted settings manager the application holds; forwards to
// a proxy over the library.
class LIniFileManager : public IIniFileManager, public virtual LRefCountedObject
{
public:
    static RCPtr<LIniFileManager> Create();
    LIniFileManager();
    ~LIniFileManager() override;

    // folder empty: the program's folder.
    int32_t Load(const WString& folder) override;
    int32_t Unload() override;
    int32_t Open(const WString& path, const WString& settingsVersion, const WString& productName,
                 uint32_t& handle) override;
    int32_t Write(uint32_t handle) override;
    bool DoesNodeExist(uint32_t handle, const WString& keyPath) override;
    int32_t Close(uint32_t handle, int32_t value) override;
    int32_t GetInt(uint32_t handle, const WString& keyPath, int32_t defaultValue, int32_t& value) override;
    int32_t SetInt(uint32_t handle, const WString& keyPath, int32_t value) override;
    int32_t GetStr(uint32_t handle, const WString& keyPath, const WString& defaultValue,
                   WString& value) override;
    int32_t SetStr(uint32_t handle, const WString& keyPath, const WString& value) override;
    int32_t GetKeyCount(uint32_t handle, const WString& keyPath, uint32_t& count) override;
    int32_t GetKeyNameAt(uint32_t handle, const WString& keyPath, int32_t index, WString& name) override;
    int32_t GetArrayCount(uint32_t handle, const WString& keyPath, uint32_t& count) override;
    int32_t SetArrayCount(uint32_t handle, const WString& keyPath, int32_t count) override;
    int32_t GetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index, WString& value) override;
    int32_t SetArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index,
                           const WString& value) override;
    int32_t RemoveArrayItemAt(uint32_t handle, const WString& keyPath, int32_t index) override;

private:
    std::unique_ptr<IIniFileManager> mImpl;
};

}  // namespace Tavo
