#pragma once

#include "ObjectBase/TaggableObject.h"
#include "Utilities/Storage/RCPtrArray.h"

namespace Tavo {

// A pointer array that is itself reference counted, so that several owners
// can share it through owning pointers.
template <class T, uint32_t Step = 1, uint32_t SlackCount = 0>
class LRCPtrArray : public RCPtrArray<T, Step, SlackCount>,
                    public LTaggableObject,
                    public virtual LRefCountedObject
{
public:
    explicit LRCPtrArray(uint32_t count = 0, uint32_t capacity = 0)
        : RCPtrArray<T, Step, SlackCount>(count, capacity)
    {
    }
    ~LRCPtrArray() override = default;
};

}  // namespace Tavo
