#pragma once

// What the engine tests share: a recorder of the engine's posts on the main
// notification center, and an engine whose devices and transfer are scripted.

#include "Engine/UpdateEngineInterface.h"
#include "Notification/NotificationCenter.h"
#include "Notification/NotificationClient.h"

#include <functional>
#include <string>
#include <vector>

namespace EngineTest {

using namespace Tavo;
using Version = LUpdateEngineInterface::FirmwareVersion;

inline Version MakeVersion(uint32_t a, uint32_t b, uint32_t c, uint32_t d, const char16_t* text = u"")
{
    Version v;
    v.mNumbers[0] = a;
    v.mNumbers[1] = b;
    v.mNumbers[2] = c;
    v.mNumbers[3] = d;
    v.mText = text;
    return v;
}

// One post as "NAME new old", "NAME fraction" or "NAME success".
class PostRecorder : public LNotificationClient
{
public:
    static RCPtr<PostRecorder> Create()
    {
        RCPtr<PostRecorder> recorder(new PostRecorder());
        RCPtr<LNotificationCenter> center = GetMainNotificationCenter();
        for (const char16_t* name :
             {kDeviceStateChangeName, kFirmwareFileStateChangeName, kFoundDeviceListChangeName,
              kFirmwareUpdateProgressName, kFirmwareUpdateCompletedName})
            recorder->Subscribe(center, name);
        return recorder;
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& notification) override
    {
        const LNotificationId id = notification->GetID();
        const auto& data = notification->GetData();
        std::string entry = NString(WString(id)).c_str();
        if (auto d = RCPtrDynamicCast<LDeviceStateChangeNotificationData>(data))
            entry += " " + std::to_string(d->GetNewState()) + " " + std::to_string(d->GetOldState());
        else if (auto f = RCPtrDynamicCast<LFirmwareFileStateChangeNotificationData>(data))
            entry += " " + std::to_string(f->GetNewState()) + " " + std::to_string(f->GetOldState());
        else if (auto c = RCPtrDynamicCast<LFirmwareUpdateCompletedNotificationData>(data))
            entry += c->GetSuccess() ? " true" : " false";
        else if (auto p = RCPtrDynamicCast<LFirmwareUpdateProgressNotificationData>(data)) {
            fractions.push_back(p->GetFraction());
            progress.push_back(p);
            entry += " progress";
        }
        posts.push_back(entry);
        return S_OK;
    }

    // Delivers what is queued and returns the posts seen since the last call;
    // the progress seen stays until cleared.
    std::vector<std::string> Take()
    {
        GetMainNotificationCenter()->Process(false);
        return std::exchange(posts, {});
    }

    std::vector<double> fractions;
    std::vector<RCPtr<LFirmwareUpdateProgressNotificationData>> progress;
    std::vector<std::string> posts;
};

// Found devices and the transfer are whatever the test says.
class ScriptedEngine : public LUpdateEngineInterface
{
public:
    struct Found
    {
        bool inUpdateMode = false;
        uint32_t reason = 0;
        Version version;
    };

    static RCPtr<ScriptedEngine> Create() { return RCPtr<ScriptedEngine>(new ScriptedEngine()); }

    TavoResult GetFoundDevices(Array<DeviceDefinition>& devices) override
    {
        devices.SetCount(static_cast<uint32_t>(found.size()));
        return S_OK;
    }
    TavoResult RefreshDeviceState() override { return E_NOTIMPL; }
    TavoResult EnterUpdateMode() override
    {
        SetDeviceState(kDeviceEnteringUpdateMode);
        return S_OK;
    }
    TavoResult AbortUpdate() override
    {
        if (GetDeviceState() != kDeviceUpdating)
            return E_FAIL;
        SetAbort(true);
        return S_OK;
    }
    TavoResult BuildFoundDeviceList() override
    {
        found = scanResult;
        return buildResult;
    }
    uint32_t GetFoundDeviceCount() override { return static_cast<uint32_t>(found.size()); }
    bool IsDeviceInUpdateMode(uint32_t index) override
    {
        return index < found.size() && found[index].inUpdateMode;
    }
    TavoResult GetDeviceCannotUpdateReason(uint32_t index, uint32_t* reason) override
    {
        if (index >= found.size()) {
            *reason = 0;
            return E_FAIL;
        }
        *reason = found[index].reason;
        return S_OK;
    }
    TavoResult GetDeviceFirmwareVersion(uint32_t index, FirmwareVersion& version) override
    {
        if (index >= found.size())
            return E_FAIL;
        version = found[index].version;
        return S_OK;
    }
    TavoResult PerformUpdate() override { return transfer ? transfer(*this) : S_OK; }

    using LUpdateEngineInterface::HandOver;

    std::vector<Found> scanResult;
    TavoResult buildResult = S_OK;
    std::vector<Found> found;
    std::function<TavoResult(ScriptedEngine&)> transfer;

protected:
    ScriptedEngine() = default;
};

}  // namespace EngineTest
