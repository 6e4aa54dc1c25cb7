#pragma once

// A subscriber that records what the MIDI service delivers, for the tests.

#include "Midi/MidiCommInterface.h"
#include "Notification/NotificationClient.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace MidiFwTest {

using namespace Tavo;
using Bytes = std::vector<uint8_t>;

inline constexpr auto kPatience = std::chrono::seconds(10);

struct Captured
{
    Bytes bytes;
    WString portName;
    uintptr_t source = 0;
    uint32_t time = 0;
    std::thread::id thread;
    RCPtr<LNotification> notification;
};

class CaptureClient : public LNotificationClient
{
public:
    using Handler = std::function<void(CaptureClient&, const Captured&)>;

    static RCPtr<CaptureClient> Create(Handler handler = {})
    {
        return RCPtr<CaptureClient>(new CaptureClient(handler));
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& notification) override
    {
        Captured c;
        c.thread = std::this_thread::get_id();
        c.notification = notification;
        if (RCPtr<LMidiCaptureNotificationData> data =
                RCPtrDynamicCast<LMidiCaptureNotificationData>(notification->GetData())) {
            c.bytes = data->GetBytes();
            c.portName = data->GetPortName();
            c.source = data->GetSourcePort();
            c.time = data->GetTime();
        }
        if (mHandler)
            mHandler(*this, c);
        std::lock_guard l(mLock);
        mGot.push_back(std::move(c));
        mChanged.notify_all();
        return S_OK;
    }

    // What arrived once at least count messages did, or after the patience
    // ran out; Wait(0) is what arrived so far.
    std::vector<Captured> Wait(size_t count)
    {
        std::unique_lock l(mLock);
        mChanged.wait_for(l, kPatience, [&] { return mGot.size() >= count; });
        return mGot;
    }

    // Whether a message that pred accepts arrived within the patience.
    bool WaitFor(const std::function<bool(const Captured&)>& pred)
    {
        std::unique_lock l(mLock);
        return mChanged.wait_for(l, kPatience, [&] {
            for (const Captured& c : mGot)
                if (pred(c))
                    return true;
            return false;
        });
    }

protected:
    explicit CaptureClient(Handler handler) : mHandler(std::move(handler)) {}

private:
    Handler mHandler;
    std::mutex mLock;
    std::condition_variable mChanged;
    std::vector<Captured> mGot;
};

inline uintptr_t Identity(const RCPtr<LRefCountedObject>& port)
{
    return LMidiCaptureNotificationData::PortIdentity(port.Get());
}

}  // namespace MidiFwTest
