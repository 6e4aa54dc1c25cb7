#include "Controls/Knob.h"

#include "ControlBase/Look.h"
#include "Controls/ControlNotifications.h"
#include "ObjectBase/Holder.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Tavo {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
// Pointer travel for the whole range when the skin names none and has no frames.
constexpr int32_t kDefaultTravel = 128;

}  // namespace

double LKnob::NormalizeAngle(double degrees)
{
    if (!std::isfinite(degrees))
        return 0.0;
    double angle = std::fmod(degrees, 360.0);
    if (angle < 0.0)
        angle += 360.0;
    // A tiny negative angle comes back as 360.
    return angle >= 360.0 ? 0.0 : angle;
}

TavoResult LKnob::Initialize()
{
    const TavoResult base = LControl::Initialize();
    if (base < 0)
        return base;
    WString text;
    if (GetProperty(u"LINEAR_GESTURE_FULL_RANGE", text))
        mFullRange = text.ToInt();
    if (GetProperty(u"RADIAL_GESTURE_START_ANGLE", text))
        mStartAngle = text.ToDouble();
    if (GetProperty(u"RADIAL_GESTURE_END_ANGLE", text))
        mEndAngle = text.ToDouble();
    if (GetProperty(u"FINE_ADJUST_MULTIPLIER", text))
        mFineMultiplier = text.ToDouble();
    mRadial = mStartAngle != 0.0 || mEndAngle != 0.0;
    mStartAngle = NormalizeAngle(mStartAngle);
    mEndAngle = NormalizeAngle(mEndAngle);
    if (mFineMultiplier == 0.0)
        mFineMultiplier = 0.25;
    SetValueRange(0.0, 127.0, 0);
    return base;
}

bool LKnob::IsLookUsable(int32_t index) const
{
    return index >= 0 && index < GetLookCount() && GetLook(index);
}

TavoResult LKnob::Finalize()
{
    mFrameCount = 0;
    while (IsLookUsable(int32_t(mFrameCount)))
        ++mFrameCount;
    const int32_t frames = int32_t(mFrameCount);
    mFocusLook = IsLookUsable(frames + 1) ? frames + 1 : -1;
    if (mFocusLook >= 0 && HasFocus())
        OverlayFrames(mFocusLook);
    mDisabledLook = IsLookUsable(frames + 2) ? frames + 2 : -1;
    if (mDisabledLook >= 0 && !IsEnabled(true))
        OverlayFrames(mDisabledLook);
    // A whole number of pixels per frame; without frames the plain default.
    if (!mRadial && mFullRange == 0)
        mFullRange = frames > 0 ? RoundToInt32(double(kDefaultTravel) / frames) * frames : kDefaultTravel;
    // The gesture divides by the range less one.
    mFullRange = std::max(mFullRange, 2);
    const RectT<double> look = GetLookClientRect(-1);
    mCentre = {int32_t(look.x + look.width * 0.5), int32_t(look.y + look.height * 0.5)};
    OnValueChanged();
    return S_OK;
}

void LKnob::OverlayFrames(int32_t lookIndex)
{
    RCPtr<LVisualPart> part;
    if (IsLookUsable(lookIndex)) {
        const RCPtr<LLook>& look = GetLook(lookIndex);
        part = look->GetClientPart();
        if (!part && look->GetPartCount() > 0)
            part = look->GetPart(0);
    }
    for (int32_t i = int32_t(mFrameCount); i-- > 0;)
        GetLook(i)->SetOverlayPart(part, false);
    InvalidateRect({0, 0, mWidth, mHeight}, true);
}

double LKnob::SetValue(double value)
{
    if (!mLeftDrag)
        return LControl::SetValue(value);
    mPendingValue = value;
    return GetValue();
}

void LKnob::OnValueChanged()
{
    if (mFrameCount > 0)
        SelectLook(int32_t(std::round((mFrameCount - 1) * GetValue())));
}

void LKnob::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (!conditions)
        return;
    const LConditionsParam& c = *conditions;
    if (TurnedOn(c, kConditionLeftDrag)) {
        mLast = mPrevious = {RoundToInt32(c.mX - mX), RoundToInt32(c.mY - mY)};
        if (mRadial)
            RadialGesture(mLast);
        mPendingValue = -1.0;
        Notify(u"NID_VALUE_CHANGE_CAPTURE", RCPtr<LHolder<bool>>(new LHolder<bool>(true)));
    } else if (TurnedOff(c, kConditionLeftDrag)) {
        if (mPendingValue >= 0.0 && mPendingValue <= 1.0)
            LControl::SetValue(mPendingValue);
        mPendingValue = -1.0;
        Notify(u"NID_VALUE_CHANGE_CAPTURE", RCPtr<LHolder<bool>>(new LHolder<bool>(false)));
    }
    if (TurnedOff(c, kConditionHasFocus))
        mKeys.FocusLost(*this);
    const uint32_t changed = c.mConditions ^ c.mPreviousConditions;
    if ((changed & kConditionHasFocus) && mFocusLook >= 0)
        OverlayFrames((c.mConditions & kConditionHasFocus) ? mFocusLook : -1);
    if ((changed & kConditionEnabled) && mDisabledLook >= 0)
        OverlayFrames((c.mConditions & kConditionEnabled) ? -1 : mDisabledLook);
}

void LKnob::OnMouseMove(const RCPtr<LPointWithModifiersParam>& param)
{
    if (!mLeftDrag || !param)
        return;
    if (mRadial)
        RadialGesture({param->mX, param->mY});
    else
        LinearGesture({param->mX, param->mY});
}

void LKnob::LinearGesture(const PointT<int32_t>& point)
{
    LRootWindow* root = GetRootWindow();
    const bool fine = root && (root->GetAppModifierFlags() & Modifier::kCtrl);
    int64_t dx = int64_t(point.x) - mLast.x, dy = int64_t(point.y) - mLast.y;
    const int64_t turn = (int64_t(point.x) - mPrevious.x) - (int64_t(point.y) - mPrevious.y);
    // A diagonal move counts along the axis the gesture has been following.
    if (dx > 0 && dy > 0) {
        if (turn > 0 && dy > dx)
            dy = 0;
        else if (turn < 0 && dx > dy)
            dx = 0;
    } else if (dx < 0 && dy < 0) {
        if (turn > 0 && dy > dx)
            dx = 0;
        else if (turn < 0 && dx > dy)
            dy = 0;
    }
    double delta = double(dx - dy) / (mFullRange - 1);
    double steps = mFullRange - 1;
    if (fine) {
        delta *= mFineMultiplier;
        // A multiplier as large as the range would leave no step at all.
        steps = std::max(mFullRange / mFineMultiplier - 1, 1.0);
    }
    const double value = std::clamp(GetValue() + delta, 0.0, 1.0);
    LControl::SetValue(std::round(steps * value) / steps);
    mPrevious = mLast;
    mLast = point;
}

void LKnob::RadialGesture(const PointT<int32_t>& point)
{
    const double dx = double(point.x) - mCentre.x, dy = double(point.y) - mCentre.y;
    if (dx == 0.0 && dy == 0.0)
        return;
    // 0 degrees points up and angles grow clockwise (y grows downwards).
    double angle = NormalizeAngle((std::atan2(dy, dx) + std::numbers::pi / 2) * kDegreesPerRadian);
    const double start = mStartAngle;
    double end = mEndAngle;
    if (start >= end)
        end += 360.0;
    if (angle <= start)
        angle += 360.0;
    if (start <= angle && angle <= end)
        LControl::SetValue((angle - start) / (end - start));
    else  // the dead zone: the nearer end
        LControl::SetValue(angle <= ((start + 360.0) - end) * 0.5 + end ? 1.0 : 0.0);
}

TavoResult LKnob::OnWheel(const RCPtr<LMouseWheelParam>& param)
{
    return ValueKeys::Wheel(*this, param);
}

TavoResult LKnob::OnWheelEvent(const RCPtr<LMouseWheelParam>& param)
{
    return ValueKeys::Wheel(*this, param);
}

TavoResult LKnob::OnKey(const RCPtr<LKeyParam>& param)
{
    return mKeys.HandleKey(*this, param);
}

}  // namespace Tavo
