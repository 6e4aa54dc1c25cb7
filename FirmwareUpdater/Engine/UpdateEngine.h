#pragma once

#include <vector>

// The update engine over the MIDI ports: finds the supported devices by their
// port names, asks their firmware version with the identity request, selects
// and re-detects the device, enters the update-mode state and can send an
// image over a MIDI output port.

#include "Engine/UpdateEngineInterface.h"
#include "Midi/MidiCommInterface.h"
#include "Notification/NotificationClient.h"
#include "Notification/NotificationHandler.h"
#include "Threading/Event.h"
#include "Threading/Mutex.h"
#include "Utilities/Storage/IArray.h"

#include <atomic>
#include <cstdint>
#include <functional>

class LUpdateEngine : public LUpdateEngineInterface, public Tavo::LNotificationClient
{
public:
    // A supported device with what the last probe found.
    struct DeviceDefinitionEx : public DeviceDefinition
    {
        DeviceDefinitionEx() = default;
        explicit DeviceDefinitionEx(const DeviceDefinition& definition) : DeviceDefinition(definition) {}
        virtual ~DeviceDefinitionEx() = default;
        DeviceDefinitionEx(const DeviceDefinitionEx&) = default;
        DeviceDefinitionEx& operator=(const DeviceDefinitionEx&) = default;
        void Assign(const DeviceDefinitionEx& other) { *this = other; }

        uint32_t mVersion[4] = {0, 0, 0, 0};
        Tavo::WString mVersionText;
        bool mInUpdateMode = false;
        uint32_t mCannotUpdateReason = kReasonNone;
        uint32_t mSpareValueA = 0;
        uint32_t mSpareValueB = 0;
    };

    static constexpr uint32_t kReplyWaitMs = 2000;
    static constexpr uint32_t kIdentityReplyLength = 37;
    // Every transfer sends the image in chunks of this many bytes (the last
    // one zero-padded) with this pause after each; Initialize restores both.
    static constexpr uint16_t kChunkSize = 128;
    static constexpr uint16_t kChunkPauseMs = 20;

    // The interface's operations this engine gives bodies to.
    TavoResult Initialize(const Tavo::WString& commandLine) override;
    TavoResult GetFoundDevices(Tavo::Array<DeviceDefinition>& devices) override;
    TavoResult RefreshDeviceState() override;
    TavoResult EnterUpdateMode() override;
    bool IsFileNewerThanDevice() override;
    TavoResult AbortUpdate() override;
    TavoResult BuildFoundDeviceList() override;
    // The numbers n of the input ports listed as "name (n)": several mixers
    // of one model plugged in at once.
    static std::vector<uint32_t> NumberedInstances(const Tavo::WString& name);
    uint32_t GetFoundDeviceCount() override;
    bool IsDeviceInUpdateMode(uint32_t index) override;
    TavoResult GetDeviceCannotUpdateReason(uint32_t index, uint32_t* reason) override;
    TavoResult GetDeviceFirmwareVersion(uint32_t index, FirmwareVersion& version) override;
    TavoResult PerformUpdate() override;

    // The engine's own operations, in their fixed order.
    virtual TavoResult GetSelectedDeviceValueA(uint32_t* value);
    virtual TavoResult GetSelectedDeviceValueB(uint32_t* value);
    virtual uint16_t SetChunkDelay(uint16_t milliseconds);
    virtual TavoResult SendSysExMessage(const Tavo::IArray<uint8_t>& body,
                                        Tavo::RCPtr<Tavo::LRefCountedObject> renderPort);
    virtual TavoResult SendImage(const Tavo::IArray<uint8_t>& image, const Tavo::WString& secondName,
                                 const Tavo::WString& renderPortName);
    virtual TavoResult SendImageInChunks(const Tavo::IArray<uint8_t>& image, const Tavo::WString& secondName,
                                         const Tavo::WString& renderPortName);
    virtual TavoResult SendSysExImage(const Tavo::IArray<uint8_t>& image, const Tavo::WString& secondName,
                                      const Tavo::WString& renderPortName);
    virtual void SendIdentityRequest(Tavo::RCPtr<Tavo::LRefCountedObject> renderPort);
    virtual TavoResult QueryDeviceIdentity(DeviceDefinitionEx& device,
                                           Tavo::RCPtr<Tavo::LRefCountedObject>* capturePort,
                                           Tavo::RCPtr<Tavo::LRefCountedObject>* renderPort);

    bool ProbeDevicePorts(const Tavo::WString& inputName, const Tavo::WString& outputName);
    TavoResult DetectDevice(DeviceDefinitionEx& device);
    TavoResult OnMidiDataCaptured(const Tavo::RCPtr<Tavo::LNotificationDistributor>& sender,
                                  const Tavo::RCPtr<Tavo::LNotification>& notification);

    // The identity reply and the version it carries.
    static bool IsIdentityReply(const uint8_t* message, uint32_t count);
    static void ParseIdentityReply(const uint8_t* message, FirmwareVersion& target);
    // The text shown for the four version bytes of a reply.
    static Tavo::WString GetVersionText(const uint32_t numbers[4]);
    // True when the file's version is newer than the device's.
    static bool IsVersionNewer(const FirmwareVersion& device, const FirmwareVersion& file);

    // For the transfers that run on the worker: the chunk size is read once
    // when a transfer starts, the pause after every chunk, so SetChunkDelay
    // during a transfer holds from its next pause on.
    uint16_t GetChunkSize() const { return mChunkSize.load(std::memory_order_relaxed); }
    uint16_t GetChunkDelay() const { return mChunkDelay.load(std::memory_order_relaxed); }
    // Sets the reason of the selected found device; false without one.
    bool SetSelectedCannotUpdateReason(uint32_t reason);

    // How a query waits for its reply on the gate: the gate's own wait unless
    // a test runs the wait on its own clock.
    using ReplyWait = std::function<uint32_t(Tavo::TrafficLight& gate, uint32_t timeoutMs)>;
    void SetReplyWait(ReplyWait wait) { mReplyWait = std::move(wait); }

    // The MIDI service held now; null before Initialize.
    Tavo::RCPtr<Tavo::LMidiCommInterface> GetMidiService();

    // Hands captured data to the handler table.
    TavoResult ReceiveNotification(const Tavo::RCPtr<Tavo::LNotificationDistributor>& sender,
                                   const Tavo::RCPtr<Tavo::LNotification>& notification) override;
    TavoResult ReleaseInternalReferences() override;

protected:
    LUpdateEngine();
    ~LUpdateEngine() override;

    // The MIDI-port transfer's outcome when the device or the file failed.
    void FailUpdate(uint32_t reason);

private:
    TavoResult RegisterCaptureHandler(const Tavo::RCPtr<Tavo::LNotificationDistributor>& sender);
    // Unsubscribes from the held service and drops it.
    void ReleaseMidiService();
    // Replaces the held service with a new one that has the handler.
    TavoResult RenewMidiService();

    Tavo::Array<DeviceDefinitionEx> mFoundDevices;
    Tavo::RCPtr<Tavo::LNotificationHandler<LUpdateEngine>> mHandlers;
    Tavo::RCPtr<Tavo::LMidiCommInterface> mMidiService;
    Tavo::TrafficLight mReplyGate;
    ReplyWait mReplyWait;
    std::atomic<uint16_t> mChunkSize{kChunkSize};
    std::atomic<uint16_t> mChunkDelay{kChunkPauseMs};

    // The mailbox between a query and the reply handler on the service's
    // thread: written only while a query is open, by replies of the service
    // held now.
    Tavo::Mutex mProbeLock;
    DeviceDefinitionEx mProbeRecord;
    bool mQueryOpen = false;
    const Tavo::LNotificationDistributor* mProbeService = nullptr;
};
