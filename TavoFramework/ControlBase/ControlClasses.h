#pragma once

#include "ControlBase/SkinDescriptors.h"

#include <cstdint>

namespace Tavo {

// One row of a control class table: the name a skin uses, the create
// function (null until that widget exists: the row registers nothing) and the
// line a failed registration names.
struct ControlClassRow
{
    const char16_t* name;
    ControlCreateFunction create;
    int32_t line;
};

}  // namespace Tavo
