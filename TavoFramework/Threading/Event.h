#pragma once

#include "Platform/Kernel/KernelEvent.h"

#include <cstdint>
#include <memory>

namespace Tavo {

using Platform::INFINITE;
using Platform::WAIT_FAILED;
using Platform::WAIT_OBJECT_0;
using Platform::WAIT_TIMEOUT;

using EventHandle = Platform::KernelEvent*;

// The operations every event wrapper offers over its kernel event.
class KernelEventOwner
{
public:
    KernelEventOwner(const KernelEventOwner&) = delete;
    KernelEventOwner& operator=(const KernelEventOwner&) = delete;

    bool Set() { return mEvent.Set(); }
    bool Signal() { return mEvent.Set(); }
    bool Reset() { return mEvent.Reset(); }
    // WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT when the time-out passed.
    uint32_t Wait(uint32_t timeoutMs = INFINITE) { return mEvent.Wait(timeoutMs); }
    // A zero-time wait: consumes the signal of an auto-reset event.
    bool IsSignalled() { return Wait(0) != WAIT_TIMEOUT; }
    EventHandle GetHandle() { return &mEvent; }

protected:
    explicit KernelEventOwner(bool manualReset, std::shared_ptr<Platform::EventSync> sync = nullptr)
        : mEvent(manualReset, false, std::move(sync))
    {
    }
    ~KernelEventOwner() = default;

private:
    Platform::KernelEvent mEvent;
};

// An auto-reset or manual-reset event, created unsignalled.
class Event : public KernelEventOwner
{
public:
    explicit Event(bool autoReset);
    virtual ~Event();
};

// A manual-reset event used as an open (signalled) or closed gate.
class TrafficLight : private Event
{
public:
    TrafficLight() : Event(false) {}

    void Set() { Event::Set(); }
    void Reset() { Event::Reset(); }
    using Event::GetHandle;
    using Event::IsSignalled;
    using Event::Wait;
};

}  // namespace Tavo
