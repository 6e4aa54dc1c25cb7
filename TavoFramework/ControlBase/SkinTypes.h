#pragma once

#include "ObjectBase/Result.h"

#include <memory>
#include <string>

namespace Tavo {

// Text of skins and string tables: UTF-16.
using SkinString = std::u16string;

// Shared ownership of skin records; the records point at each other only
// downwards (a child's parent link does not own).
template <class T>
using SkinRef = std::shared_ptr<T>;

}  // namespace Tavo
