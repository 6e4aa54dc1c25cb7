#pragma once

#include "ObjectBase/RCPtr.h"
#include "Utilities/Storage/ReuseAllocator.h"

namespace Tavo {

// Data of an activated menu item: the item and the sender's value; pooled.
class LMenuActivationParam : public virtual LRefCountedObject
{
    TAVO_POOLED_CLASS(LMenuActivationParam, 4, false)

public:
    static RCPtr<LMenuActivationParam> Create(const RCPtr<LRefCountedObject>& item, uint32_t value)
    {
        // A throwing constructor gives the memory back through operator delete.
        return RCPtr<LMenuActivationParam>(new LMenuActivationParam(item, value));
    }

    const RCPtr<LRefCountedObject>& GetItem() const { return mItem; }
    uint32_t GetValue() const { return mValue; }

private:
    LMenuActivationParam(const RCPtr<LRefCountedObject>& item, uint32_t value) : mItem(item), mValue(value) {}

    RCPtr<LRefCountedObject> mItem;
    uint32_t mValue;
};

}  // namespace Tavo
