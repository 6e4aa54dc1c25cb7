#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Storage/ReuseAllocator.h"

#include <cstdint>

namespace Tavo {

// The framework's small notification data classes. The ones sent per input
// event take their memory from reuse pools.

class LPointParam : public virtual LRefCountedObject
{
public:
    static RCPtr<LPointParam> Create(int32_t x, int32_t y) { return RCPtr<LPointParam>(new LPointParam(x, y)); }
    WString ToString() const override;

    int32_t mX = 0;
    int32_t mY = 0;

protected:
    LPointParam(int32_t x, int32_t y) : mX(x), mY(y) {}
};

class LPointWithModifiersParam : public LPointParam
{
    TAVO_POOLED_CLASS(LPointWithModifiersParam, 32, true)

public:
    static RCPtr<LPointWithModifiersParam> Create(int32_t x, int32_t y, uint32_t modifiers, uint32_t extra = 0)
    {
        return RCPtr<LPointWithModifiersParam>(new LPointWithModifiersParam(x, y, modifiers, extra));
    }
    WString ToString() const override;

    uint32_t mModifiers = 0;
    // Filled and read by the windows and controls (the pointer id).
    uint32_t mExtra = 0;

protected:
    LPointWithModifiersParam(int32_t x, int32_t y, uint32_t modifiers, uint32_t extra)
        : LPointParam(x, y), mModifiers(modifiers), mExtra(extra)
    {
    }
};

class LMouseButtonParam : public LPointWithModifiersParam
{
    TAVO_POOLED_CLASS(LMouseButtonParam, 32, true)

public:
    // button: 1, 2 or 4, one bit per mouse button.
    static RCPtr<LMouseButtonParam> Create(int32_t x, int32_t y, uint32_t modifiers, uint32_t extra, uint32_t button,
                                           bool flag = false, uint32_t value = 0)
    {
        return RCPtr<LMouseButtonParam>(new LMouseButtonParam(x, y, modifiers, extra, button, flag, value));
    }

    uint32_t mButton = 0;
    bool mFlag = false;
    uint32_t mValue = 0;

protected:
    LMouseButtonParam(int32_t x, int32_t y, uint32_t modifiers, uint32_t extra, uint32_t button, bool flag,
                      uint32_t value)
        : LPointWithModifiersParam(x, y, modifiers, extra), mButton(button), mFlag(flag), mValue(value)
    {
    }
};

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
    static RCPtr<LConditionsParam> Create(uint32_t conditions, uint32_t previousConditions, double x = 0, double y = 0)
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
