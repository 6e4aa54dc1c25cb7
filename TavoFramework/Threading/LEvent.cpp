#include "Threading/LEvent.h"

namespace Tavo {

RCPtr<LEvent> LEvent::Create(std::shared_ptr<Platform::EventSync> sync)
{
    return RCPtr<LEvent>(new LEvent(std::move(sync)));
}

}  // namespace Tavo
