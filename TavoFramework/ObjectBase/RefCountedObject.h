#pragma once

// The reference-counted base, its owning pointers and the string type that
// its text form returns.
#include "ObjectBase/RefCountedCore.h"
#include "Utilities/Storage/StringT.h"
