#pragma once

#include "ObjectBase/RCPtr.h"

#include <cstdint>

namespace Tavo {

// A job that a thread, threader or pool runs.
class LThreadWorker : public virtual LRefCountedObject
{
public:
    // The parameter may be null. The result is recorded, not otherwise used.
    virtual uint32_t DoWork(RCPtr<LRefCountedObject>& param) = 0;
};

}  // namespace Tavo
