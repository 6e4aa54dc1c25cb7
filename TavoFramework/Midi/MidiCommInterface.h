#pragma once

// The MIDI port service as clients see it: ports by name, sends, and every
// captured message delivered as "NID_MIDI_DATA_CAPTURED", optionally through
// a per-client filter.

#include "Notification/Notification.h"
#include "Notification/NotificationDistributor.h"
#include "ObjectBase/RefCountedObject.h"
#include "Threading/Mutex.h"
#include "Utilities/Storage/Buffer.h"
#include "Utilities/Storage/ReuseAllocator.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>
#include <vector>

namespace Tavo {

inline constexpr char16_t kMidiDataCapturedName[] = u"NID_MIDI_DATA_CAPTURED";

// One captured message. Records come from a process-wide pool.
class LMidiCaptureNotificationData : public virtual LRefCountedObject
{
    TAVO_POOLED_CLASS(LMidiCaptureNotificationData, 4, true)

public:
    static RCPtr<LMidiCaptureNotificationData> Create(uintptr_t sourcePort, const WString& portName,
                                                      uint32_t time);

    // The capturing port's identity, equal to PortIdentity of its handle; not
    // a counted reference.
    uintptr_t GetSourcePort() const { return mSourcePort; }
    bool IsFrom(const RCPtr<LRefCountedObject>& port) const;
    const std::vector<uint8_t>& GetBytes() const { return mBytes; }
    std::vector<uint8_t>& Bytes() { return mBytes; }
    const WString& GetPortName() const { return mPortName; }
    // Milliseconds since input started for a short message; 0 for System
    // Exclusive.
    uint32_t GetTime() const { return mTime; }

    static uintptr_t PortIdentity(const LRefCountedObject* port) { return reinterpret_cast<uintptr_t>(port); }

private:
    LMidiCaptureNotificationData(uintptr_t sourcePort, const WString& portName, uint32_t time)
        : mSourcePort(sourcePort), mPortName(portName), mTime(time)
    {
    }

    uintptr_t mSourcePort;
    std::vector<uint8_t> mBytes;
    WString mPortName;
    uint32_t mTime;
};

// A client's message filter. The service keeps its own copies, so a filter
// must implement CreateCopy.
class LIMidiFilter : public virtual LRefCountedObject
{
public:
    virtual bool AcceptsMessage(const uint8_t* data, uint32_t count) = 0;
};

class LMidiCommInterface : public LNotificationDistributor
{
public:
    struct MidiFilterEntry
    {
        uintptr_t key;
        RCPtr<LIMidiFilter> filter;
    };

    // The filter key of a subscribed client.
    static uintptr_t FilterKey(const LNotificationClient* client)
    {
        return reinterpret_cast<uintptr_t>(client);
    }

    // S_OK with a port; E_INVALIDARG when the name matches several devices;
    // E_FAIL when no port could be opened.
    virtual TavoResult OpenCapturePort(const WString& name, RCPtr<LRefCountedObject>& port) = 0;
    virtual TavoResult OpenRenderPort(const WString& name, RCPtr<LRefCountedObject>& port) = 0;
    // One message; the number of bytes sent, E_INVALIDARG for no render port
    // or no bytes, E_FAIL when the device failed or did not take it in time.
    virtual TavoResult Send(const RCPtr<LRefCountedObject>& port, const ConstRCPtr<LIBuffer>& buffer) = 0;
    virtual TavoResult Send(const RCPtr<LRefCountedObject>& port, const uint8_t* data, uint32_t length) = 0;
    TavoResult Send(const RCPtr<LRefCountedObject>& port, const std::vector<uint8_t>& bytes)
    {
        return Send(port, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    // A copy of the client's filter, or null.
    virtual RCPtr<LIMidiFilter> GetFilter(const uintptr_t& key);
    // Stores a copy; null removes the entry. Always S_OK.
    virtual TavoResult SetFilter(const uintptr_t& key, const RCPtr<LIMidiFilter>& filter);
    // Sends the record to each subscriber whose filter accepts it, last
    // subscriber first; S_FALSE when nobody is subscribed.
    virtual TavoResult DistributeCapturedData(const ConstRCPtr<LMidiCaptureNotificationData>& data);

protected:
    ~LMidiCommInterface() override = default;

private:
    int32_t FindFilterIndex(uintptr_t key) const;

    std::vector<MidiFilterEntry> mFilters;
    Mutex mFilterLock;
};

}  // namespace Tavo
