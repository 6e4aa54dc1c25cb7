#include "Threading/Event.h"

namespace Tavo {

Event::Event(bool autoReset) : KernelEventOwner(!autoReset) {}

Event::~Event() = default;

}  // namespace Tavo
