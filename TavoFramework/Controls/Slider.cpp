#include "Controls/Slider.h"

#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ControlNotifications.h"
#include "ObjectBase/Holder.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

constexpr double kPageDelay = 0.3;
constexpr double kPageInterval = 0.1;

double Now()
{
    return GetAppClock().GetSecondsSinceStart();
}

double Distance(const PointT<int32_t>& a, const PointT<int32_t>& b)
{
    return std::hypot(double(a.x) - b.x, double(a.y) - b.y);
}

}  // namespace

TavoResult LSlider::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                        const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mThumbHandler, sender, notification, result))
        return result;
    return LPanel::ReceiveNotification(sender, notification);
}

TavoResult LSlider::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mThumbHandler)
        mThumbHandler->RemoveHandler(distributor, name);
    return LPanel::Unsubscribe(distributor, name);
}

TavoResult LSlider::Initialize()
{
    if (Failed(LPanel::Initialize()))
        return E_FAIL;
    mThumbHandler = SliderHandler::Create(this);
    mThumbEnd = FindChildByName(u"thumbEnd");
    mThumbStart = FindChildByName(u"thumbStart");
    const auto& factory = ControlEnvironment().factory;
    if (RCPtr<LControlDescriptor> thumb = MakeThumbDescriptor(); thumb && factory) {
        // Another class than a button makes no thumb: the slider stays still.
        mThumb = RCPtrDynamicCast<LButton>(factory->CreateControl(thumb, RCPtr<LControl>(this)));
        if (mThumb) {
            mThumb->SetVisible(true);
            mThumb->SetKeepPressedLook(true);
            mThumbHandler->AddHandler(&LSlider::OnThumbMouseMove, mThumb, u"NID_MOUSE_MOVE");
            mThumbHandler->AddHandler(&LSlider::OnThumbDrag, mThumb, u"NID_LEFT_DRAG_CONDITION_CHANGE");
            mThumbHandler->AddHandler(&LSlider::OnThumbClick, mThumb, u"NID_LEFT_CLICK");
        }
    }
    ClampScrollPosition();
    SetValueRange(0.0, 127.0, 0);
    Layout().tabStop = 0;
    return S_OK;
}

RCPtr<LControlDescriptor> LSlider::MakeThumbDescriptor() const
{
    if (!mThumbStart || !mThumbStart->GetDescriptor())
        return nullptr;
    // Only the absolute positions place the thumb.
    RCPtr<LLayoutDescriptor> layout =
        mThumbStart->GetLayout() ? mThumbStart->GetLayout()->Clone() : LLayoutDescriptor::Create();
    layout->tabStop = 0;
    for (LLayoutDescriptor::Axis* axis : {&layout->x, &layout->y}) {
        axis->docked = false;
        axis->placementAnchor = 0.0f;
        axis->positionRel = 0.0f;
    }
    return LControlDescriptor::CloneWithLayout(mThumbStart->GetDescriptor(), layout, u"thumb");
}

TavoResult LSlider::AdoptChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor)
{
    if (!child || descriptor || child->GetName() != u"thumb")
        return LPanel::AdoptChild(child, descriptor);
    const TavoResult result = LPanel::AdoptChild(child, MakeThumbDescriptor());
    child->SetVisible(true);
    return result;
}

TavoResult LSlider::Finalize()
{
    LPanel::Finalize();
    if (mThumbEnd)
        mThumbEnd->SetVisible(false);
    if (mThumbStart) {
        mThumbStart->SetVisible(false);
        const double width = mThumbStart->GetWidth(), height = mThumbStart->GetHeight();
        mHotSpot = {RoundToInt32(width * 0.5), RoundToInt32(height * 0.5)};
        // An anchored marker names the point of the thumb that paging aims with.
        if (const RCPtr<LLayoutDescriptor>& layout = mThumbStart->GetLayout()) {
            if (layout->x.placementAnchor != 0.0f)
                mHotSpot.x = RoundToInt32(layout->x.placementAnchor * width);
            if (layout->y.placementAnchor != 0.0f)
                mHotSpot.y = RoundToInt32(layout->y.placementAnchor * height);
        }
    }
    ClampScrollPosition();
    return S_OK;
}

void LSlider::ClampScrollPosition()
{
    LPanel::ClampScrollPosition();
    if (!mThumb)
        mThumb = RCPtrDynamicCast<LButton>(FindChildByName(u"thumb"));
    if (mThumb)
        UpdateThumbFromValue();
}

double LSlider::SetValue(double value)
{
    if (mDragging)
        mPendingValue = value;
    else
        SetNormalizedValue(value);
    return GetNormalizedValue();
}

double LSlider::SetNormalizedValue(double value)
{
    LControl::SetValue(value);
    UpdateThumbFromValue();
    return GetNormalizedValue();
}

void LSlider::UpdateValueFromThumb()
{
    if (!mThumb)
        return;
    const PointT<int32_t> at = IntPosition(*mThumb);
    SetNormalizedValue(PositionToNormalized(at.x, at.y));
}

void LSlider::MoveThumb(const PointT<int32_t>& position)
{
    for (int32_t axis = 0; axis < 2; ++axis) {
        LLayoutDescriptor::Axis spec;
        mThumb->GetPlacement(axis, spec);
        spec.positionAbs = axis == 0 ? position.x : position.y;
        mThumb->SetAxisPlacement(axis, spec);
    }
}

void LSlider::UpdateThumbFromValue()
{
    if (mDragging || !HasTrack())
        return;
    const double t = GetNormalizedValue();
    const PointT<int32_t> s = IntPosition(*mThumbStart), e = IntPosition(*mThumbEnd);
    const PointT<int32_t> target{s.x + RoundToInt32((double(e.x) - s.x) * t),
                                 s.y + RoundToInt32((double(e.y) - s.y) * t)};
    if (target != IntPosition(*mThumb))
        MoveThumb(target);
}

PointT<int32_t> LSlider::ConstrainThumbPosition(int32_t x, int32_t y)
{
    if (!HasTrack())
        return {x, y};
    const int32_t px = RoundToInt32(double(x) - mGrabOffset.x), py = RoundToInt32(double(y) - mGrabOffset.y);
    const PointT<int32_t> s = IntPosition(*mThumbStart), e = IntPosition(*mThumbEnd);
    PointT<int32_t> result;
    if (mThumbStart->GetX() == mThumbEnd->GetX()) {
        result = {int32_t(std::trunc(mThumb->GetX())), py};
    } else if (mThumbStart->GetY() == mThumbEnd->GetY()) {
        result = {px, int32_t(std::trunc(mThumb->GetY()))};
    } else {
        // The foot of the perpendicular from the pointer to the track line.
        const float m = float(e.y - s.y) / float(e.x - s.x);
        const float n = -1.0f / m;
        const float b = float(s.y) - float(s.x) * m;
        result.x = RoundToInt32(((float(py) - float(px) * n) - b) / (m - n));
        result.y = RoundToInt32(float(result.x) * m + b);
    }
    result.x = std::clamp(result.x, std::min(s.x, e.x), std::max(s.x, e.x));
    result.y = std::clamp(result.y, std::min(s.y, e.y), std::max(s.y, e.y));
    return result;
}

double LSlider::PositionToNormalized(int32_t x, int32_t y)
{
    if (!mThumbStart || !mThumbEnd)
        return 0.0;
    const double sx = mThumbStart->GetX(), sy = mThumbStart->GetY();
    const double length = std::hypot(mThumbEnd->GetX() - sx, mThumbEnd->GetY() - sy);
    // Markers on one spot make a track without length.
    return length > 0 ? std::hypot(x - sx, y - sy) / length : 0.0;
}

void LSlider::PageTowards(const PointT<int32_t>& point)
{
    if (!HasTrack())
        return;
    const PointT<int32_t> aim{RoundToInt32(double(point.x) - mHotSpot.x),
                              RoundToInt32(double(point.y) - mHotSpot.y)};
    const double under = PositionToNormalized(aim.x, aim.y);
    const PointT<int32_t> start = IntPosition(*mThumbStart);
    const double value = GetNormalizedValue();
    // A step towards the pointer stops at the value under it.
    if (Distance(IntPosition(*mThumb), start) <= Distance(aim, start))
        SetNormalizedValue(std::min(value + mPageStep, under));
    else
        SetNormalizedValue(std::max(value - mPageStep, under));
}

TavoResult LSlider::OnThumbDrag(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* c = DataOf<LConditionsParam>(n);
    if (!c || !mThumb)
        return S_FALSE;
    if (TurnedOn(*c, kConditionLeftDrag)) {
        mDragging = true;
        mGrabOffset = {RoundToInt32(c->mX - mThumb->GetX()), RoundToInt32(c->mY - mThumb->GetY())};
        mPendingValue = -1.0;
        Notify(u"NID_VALUE_CHANGE_CAPTURE", RCPtr<LHolder<bool>>(new LHolder<bool>(true)));
    } else if (TurnedOff(*c, kConditionLeftDrag)) {
        mDragging = false;
        if (mPendingValue >= 0.0 && mPendingValue <= 1.0)
            SetNormalizedValue(mPendingValue);
        mPendingValue = -1.0;
        Notify(u"NID_VALUE_CHANGE_CAPTURE", RCPtr<LHolder<bool>>(new LHolder<bool>(false)));
    }
    return S_OK;
}

TavoResult LSlider::OnThumbMouseMove(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* pointer = DataOf<LPointWithModifiersParam>(n);
    if (!mDragging || !pointer || !mThumb)
        return S_FALSE;
    // The pointer comes in the thumb's coordinates.
    const RectT<double> look = GetLookClientRect(-1);
    const int32_t x = RoundToInt32(pointer->mX + mThumb->GetX() - mScrollX + look.x);
    const int32_t y = RoundToInt32(pointer->mY + mThumb->GetY() - mScrollY + look.y);
    const PointT<int32_t> position = ConstrainThumbPosition(x, y);
    if (position != IntPosition(*mThumb)) {
        MoveThumb(position);
        UpdateValueFromThumb();
    }
    return S_OK;
}

void LSlider::OnLeftClicked(const RCPtr<LMouseButtonParam>& param)
{
    if (param)
        PageTowards({param->mX, param->mY});
}

void LSlider::StartPaging(bool start)
{
    if (start && !mPaging && IsEnabled(true)) {
        mPaging = true;
        RequestIdle();
        mPagingLastTime = Now();
        mPagingCountdown = kPageDelay;
    } else if (!start && mPaging) {
        mPaging = false;
        CancelIdle();
    }
}

void LSlider::OnIdle()
{
    LRootWindow* root = GetRootWindow();
    if (!mPaging || !(mHover || mHoverOverride) || !IsEnabled(true) || !root)
        return;
    const double now = Now();
    mPagingCountdown -= now - mPagingLastTime;
    mPagingLastTime = now;
    // Within a microsecond counts as due: the countdown is a sum of steps.
    if (mPagingCountdown > 1e-6)
        return;
    mPagingCountdown = kPageInterval;
    const PointT<int32_t> mouse = root->GetMousePosition();
    const PointT<double> origin = GetAbsolutePosition();
    PageTowards({RoundToInt32(mouse.x - origin.x), RoundToInt32(mouse.y - origin.y)});
}

void LSlider::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (!conditions)
        return;
    const LConditionsParam& c = *conditions;
    // The button held on the track pages, whether the pointer moves or not.
    const uint32_t held = kConditionLeftPressed | kConditionLeftDrag;
    const bool wasHeld = (c.mPreviousConditions & held) != 0, isHeld = (c.mConditions & held) != 0;
    if (wasHeld != isHeld)
        StartPaging(isHeld);
    if (TurnedOn(c, kConditionContainsFocus)) {
        SelectLook(1);
    } else if (TurnedOff(c, kConditionContainsFocus)) {
        mKeys.FocusLost(*this);
        SelectLook(IsEnabled(true) ? 0 : 2);
    } else if (TurnedOn(c, kConditionEnabled) || TurnedOff(c, kConditionEnabled)) {
        const bool enabled = (c.mConditions & kConditionEnabled) != 0;
        SelectLook(!enabled ? 2 : (c.mConditions & kConditionContainsFocus) ? 1 : 0);
    }
}

TavoResult LSlider::OnWheel(const RCPtr<LMouseWheelParam>& param)
{
    return ValueKeys::Wheel(*this, param);
}

TavoResult LSlider::OnWheelEvent(const RCPtr<LMouseWheelParam>& param)
{
    return ValueKeys::Wheel(*this, param);
}

TavoResult LSlider::RouteUnhandledKey(const RCPtr<LKeyParam>& param)
{
    if (mKeys.HandleKey(*this, param) == S_OK)
        return S_OK;
    return LPanel::RouteUnhandledKey(param);
}

}  // namespace Tavo
