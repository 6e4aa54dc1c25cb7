#pragma once

#include "ControlBase/ControlClasses.h"

#include <span>

namespace Tavo {

// The framework's 39 widget classes in registration order; the program hands
// them to the application object.
std::span<const ControlClassRow> FrameworkControlClasses();

}  // namespace Tavo
