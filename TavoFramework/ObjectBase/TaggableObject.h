#pragma once

#include "ObjectBase/RefCountedObject.h"

#include <cstdint>

namespace Tavo {

// A reference-counted object that can carry a tag of its owner's choosing:
// controls, list items, menu descriptors, clipboard data.
class LTaggableObject : public virtual LRefCountedObject
{
public:
    LTaggableObject() = default;
    ~LTaggableObject() override = default;

    uintptr_t GetTag() const { return mTag; }
    void SetTag(uintptr_t tag) { mTag = tag; }

private:
    uintptr_t mTag = 0;
};

}  // namespace Tavo
