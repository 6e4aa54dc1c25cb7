#pragma once

#include "ObjectBase/RCPtr.h"
#include "Platform/Kernel/KernelEvent.h"
#include "Threading/Event.h"

#include <memory>

namespace Tavo {

// A reference-counted auto-reset event, handed between threads as a job's
// completion event.
class LEvent : public virtual LRefCountedObject, public KernelEventOwner
{
public:
    // Unsignalled. Events that are waited on together share one EventSync.
    static RCPtr<LEvent> Create(std::shared_ptr<Platform::EventSync> sync = nullptr);

private:
    explicit LEvent(std::shared_ptr<Platform::EventSync> sync) : KernelEventOwner(false, std::move(sync)) {}
};

}  // namespace Tavo
