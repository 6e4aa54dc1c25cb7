#pragma once

#include "ControlBase/Control.h"
#include "Controls/ValueKeys.h"

namespace Tavo {

class LVisualPart;

// A rotary control showing its value as one of a row of frame looks. Dragging
// turns it: linearly (right or up turns it up, over "LINEAR_GESTURE_FULL_RANGE"
// pixels, finer by "FINE_ADJUST_MULTIPLIER" with Ctrl held) or, with
// "RADIAL_GESTURE_START_ANGLE" and "RADIAL_GESTURE_END_ANGLE" (degrees,
// clockwise from the top), by the pointer's angle round the centre. Looks:
// the frames up to the first empty slot, then a focus look and a disabled
// look drawn over whichever frame shows.
class LKnob : public LControl
{
public:
    LKnob(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LKnob>(result, parent, descriptor);
    }

    // While the knob is dragged the value asked for waits for the drag's end.
    double SetValue(double value) override;
    void OnValueChanged() override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    void OnMouseMove(const RCPtr<LPointWithModifiersParam>& param) override;
    TavoResult OnWheel(const RCPtr<LMouseWheelParam>& param) override;
    TavoResult OnWheelEvent(const RCPtr<LMouseWheelParam>& param) override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    TavoResult Initialize() override;
    TavoResult Finalize() override;

    // Into [0, 360).
    static double NormalizeAngle(double degrees);

    bool IsRadial() const { return mRadial; }
    int32_t GetFullRange() const { return mFullRange; }
    double GetStartAngle() const { return mStartAngle; }
    double GetEndAngle() const { return mEndAngle; }
    double GetFineMultiplier() const { return mFineMultiplier; }
    uint32_t GetFrameCount() const { return mFrameCount; }
    const PointT<int32_t>& GetCentre() const { return mCentre; }

private:
    void LinearGesture(const PointT<int32_t>& point);
    void RadialGesture(const PointT<int32_t>& point);
    bool IsLookUsable(int32_t index) const;
    // Draws the look's part over every frame, or nothing over them for -1.
    void OverlayFrames(int32_t lookIndex);

    bool mRadial = false;
    int32_t mFullRange = 0;
    double mStartAngle = 0.0;
    double mEndAngle = 0.0;
    double mFineMultiplier = 0.0;
    uint32_t mFrameCount = 0;
    PointT<int32_t> mLast{0, 0};
    PointT<int32_t> mPrevious{0, 0};
    PointT<int32_t> mCentre{0, 0};
    double mPendingValue = -1.0;
    int32_t mFocusLook = -1;
    int32_t mDisabledLook = -1;
    ValueKeys mKeys;
};

}  // namespace Tavo
