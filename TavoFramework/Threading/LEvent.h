#pragma once

#include "ObjectBase/RCPtr.h"
#include "Platform/Kernel/KernelEvent.h"
#include "Threading/Event.h"

#include <memory>

namespace Tavo {

// A reference-counted auto-reset event, handed between threads as a job's
// completion event.
class LEvent : public virtual LRefCountedObject
{
public:
    // Unsignalled. Events that are waited on together share one EventSync.
    static RCPtr<LEvent> Create(std::shared_ptr<Platform::EventSync> sync = nullptr);

    bool Set() { return mEvent.Set(); }
    bool Signal() { return mEvent.Set(); }
    bool Reset() { return mEvent.Reset(); }
    uint32_t Wait(uint32_t timeoutMs = INFINITE) { return mEvent.Wait(timeoutMs); }
    // A zero-time wait: consumes the signal.
    bool IsSignalled() { return Wait(0) != WAIT_TIMEOUT; }
    EventHandle GetHandle() { return &mEvent; }

private:
    explicit LEvent(std::shared_ptr<Platform::EventSync> sync) : mEvent(false, false, std::move(sync)) {}

    Platform::KernelEvent mEvent;
};

}  // namespace Tavo
