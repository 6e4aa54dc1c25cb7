#include "Threading/Event.h"

namespace Tavo {

Event::Event(bool autoReset) : mEvent(!autoReset) {}

Event::~Event() = default;

}  // namespace Tavo
