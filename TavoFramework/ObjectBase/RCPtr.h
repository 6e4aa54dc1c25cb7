#pragma once

// Owning pointers live with the reference-counted base they point at.
#include "ObjectBase/RefCountedObject.h"
