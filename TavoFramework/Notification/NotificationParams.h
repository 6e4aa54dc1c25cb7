#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Storage/ReuseAllocator.h"

#include <cstdint>

namespace Tavo {

// The framework's small notification data classes, pooled. Input event data
// lives with the windows (Window/InputParams.h).

class LValueParam : public virtual LRefCountedObject
{
    TAVO_POOLED_CLASS(LValueParam, 4, true)

public:
    // value: normalised 0..1; rangeValue: the same mapped into the control's range.
    static RCPtr<LValueParam> Create(double value, double rangeValue)
    {
        return RCPtr<LValueParam>(new LValueParam(value, rangeValue));
    }
    WString ToString() const override;

    double mValue = 0;
    double mRangeValue = 0;

protected:
    LValueParam(double value, double rangeValue) : mValue(value), mRangeValue(rangeValue) {}
};

class LConditionsParam : public virtual LRefCountedObject
{
    TAVO_POOLED_CLASS(LConditionsParam, 4, true)

public:
    static RCPtr<LConditionsParam> Create(uint32_t conditions, uint32_t previousConditions, double x = 0,
                                          double y = 0)
    {
        return RCPtr<LConditionsParam>(new LConditionsParam(conditions, previousConditions, x, y));
    }
    WString ToString() const override;

    uint32_t mConditions = 0;
    uint32_t mPreviousConditions = 0;
    double mX = 0;
    double mY = 0;

protected:
    LConditionsParam(uint32_t conditions, uint32_t previousConditions, double x, double y)
        : mConditions(conditions), mPreviousConditions(previousConditions), mX(x), mY(y)
    {
    }
};

}  // namespace Tavo
