#include "Controls/Scrollbar.h"

#include "Controls/Button.h"
#include "Controls/ControlNotifications.h"

#include "Application/AppClock.h"
#include "Notification/NotificationParams.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

double Now()
{
    return GetAppClock().GetSecondsSinceStart();
}

// Virtual-key codes of the keys the bar takes, with their mask bits.
struct BarKey
{
    uint32_t virtualKey;
    uint32_t mask;
    int32_t orientation;  // 1 vertical, 0 horizontal, -1 either
    int32_t action;       // -1/+1 line, -2/+2 page, 3 start, 4 end
};
constexpr BarKey kBarKeys[] = {
    {VKey::kUp, 0x1, 1, -1},    {VKey::kDown, 0x2, 1, +1},    {VKey::kLeft, 0x4, 0, -1},
    {VKey::kRight, 0x8, 0, +1}, {VKey::kPageUp, 0x10, 1, -2}, {VKey::kPageDown, 0x20, 1, +2},
    {VKey::kHome, 0x40, -1, 3}, {VKey::kEnd, 0x80, -1, 4},
};

}  // namespace

LScrollbar::LScrollbar(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name)
{
    LControl::SetValueRange(0, 100, 0);
}

TavoResult LScrollbar::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LControl::ReceiveNotification(sender, notification);
}

TavoResult LScrollbar::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LControl::Unsubscribe(distributor, name);
}

TavoResult LScrollbar::Initialize()
{
    const TavoResult base = LControl::Initialize();
    if (Failed(base))
        return base;
    mHandler = ScrollbarHandler::Create(this);
    mChannel = FindChildByName(u"channel");
    if (mChannel) {
        mHandler->AddHandler(&LScrollbar::OnChannelPress, mChannel, u"NID_LEFT_DRAG_CONDITION_CHANGE");
        mHandler->AddHandler(&LScrollbar::OnChannelHover, mChannel, u"NID_HOVER_CONDITION_CHANGE");
        // The thumb and the step parts count only as buttons.
        mThumb = RCPtrDynamicCast<LButton>(mChannel->FindChildByName(u"thumb"));
        if (mThumb) {
            mHandler->AddHandler(&LScrollbar::OnThumbMouseMove, mThumb, u"NID_MOUSE_MOVE");
            mHandler->AddHandler(&LScrollbar::OnThumbDrag, mThumb, u"NID_LEFT_DRAG_CONDITION_CHANGE");
            // A dragged thumb keeps its pressed look off the track.
            static_cast<LButton*>(mThumb.Get())->SetKeepPressedLook(true);
        }
    }
    const RCPtr<LButton> dec = StepButton(u"dec"), inc = StepButton(u"inc");
    for (const RCPtr<LButton>& step : {dec, inc}) {
        if (!step)
            continue;
        mHandler->AddHandler(&LScrollbar::OnStepButton, step, u"NID_BUTTON_AUTOREPEAT");
        // Steps come from the button's repeats: one at the press, then on
        // its rhythm, starting from rest.
        step->SetAutoRepeat(true);
        step->StopRepeating();
    }
    if (dec && inc)
        mVertical = (inc->GetX() - dec->GetX()) <= (inc->GetY() - dec->GetY()) ? 1 : 0;
    ClampScrollPosition();
    SetKeyMask(0xFF);
    return S_OK;
}

TavoResult LScrollbar::Finalize()
{
    SetNotFocusable(true);
    for (const char16_t* part : {u"dec", u"inc"})
        if (RCPtr<LButton> step = StepButton(part))
            step->SetNotFocusable(true);
    if (mChannel)
        mChannel->SetNotFocusable(true);
    if (mThumb) {
        mThumb->SetNotFocusable(true);
        mMinThumbLength = mVertical ? mThumb->GetWidth() : mThumb->GetHeight();
    }
    ClampScrollPosition();
    return S_OK;
}

RCPtr<LButton> LScrollbar::StepButton(const char16_t* name)
{
    return RCPtrDynamicCast<LButton>(FindChildByName(name));
}

void LScrollbar::ClampScrollPosition()
{
    if (!mThumb || !mChannel)
        return;
    const RectT<double> r = mChannel->GetLookClientRect(-1);
    mChannelOrigin = mVertical ? mChannel->GetY() + r.y : mChannel->GetX() + r.x;
    mTrackStart = 0;
    mTrackEnd = mVertical ? r.height : r.width;
    UpdateThumbSize();
}

void LScrollbar::UpdateThumbSize()
{
    mThumbLength = std::trunc(std::max(mMinThumbLength, (mTrackEnd - mTrackStart) * mThumbFraction) + 0.5);
    if (mThumb) {
        LLayoutDescriptor::Axis spec;
        const int32_t axis = mVertical ? 1 : 0;
        mThumb->GetPlacement(axis, spec);
        if (spec.sizeRef != 2 || spec.sizeAbs != mThumbLength) {
            spec.sizeRef = 2;
            spec.sizeAbs = mThumbLength;
            mThumb->SetAxisPlacement(axis, spec);
        }
    }
    UpdateThumbPosition();
}

double LScrollbar::ThumbPosition() const
{
    LLayoutDescriptor::Axis spec;
    mThumb->GetPlacement(mVertical ? 1 : 0, spec);
    return spec.positionAbs;
}

void LScrollbar::MoveThumb(double position)
{
    LLayoutDescriptor::Axis spec;
    const int32_t axis = mVertical ? 1 : 0;
    mThumb->GetPlacement(axis, spec);
    spec.positionAbs = position;
    mThumb->SetAxisPlacement(axis, spec);
}

void LScrollbar::UpdateThumbPosition()
{
    if (mDragging || !mThumb || !mChannel)
        return;
    // A thumb filling the track stays at its start.
    const double span = std::max(0.0, TrackSpan());
    const double position = RoundCoordinate(mTrackStart + span * GetValue());
    if (position != ThumbPosition())
        MoveThumb(position);
}

double LScrollbar::ApplyValue(double value)
{
    const double held = LControl::SetValue(std::clamp(value, 0.0, 1.0));
    UpdateThumbPosition();
    return held;
}

double LScrollbar::SetValue(double value)
{
    if (mDragging) {
        mPendingValue = value;
        return GetValue();
    }
    return ApplyValue(value);
}

TavoResult LScrollbar::SetValueRange(double minimum, double maximum, int32_t scaleMode)
{
    const double scaled = NormalizedToValue(GetValue());
    const TavoResult result = LControl::SetValueRange(minimum, maximum, scaleMode);
    SetValue(ValueToNormalized(scaled));
    UpdateThumbPosition();
    return result;
}

TavoResult LScrollbar::SetKeyMask(uint32_t mask)
{
    const TavoResult result = (mask & ~0xFFu) ? E_INVALIDARG : S_OK;
    if (mask != 0 && mKeyMask == 0 && mHandler) {
        if (mParent)
            mHandler->AddHandler(&LScrollbar::HandleSiblingKey, RCPtr<LNotificationDistributor>(mParent),
                                 u"NID_SIBLING_KEY");
        mHandler->AddHandler(&LScrollbar::HandleSiblingKey, nullptr, u"NID_SIBLING_KEY");
    }
    mKeyMask = mask & 0xFFu;
    return result;
}

TavoResult LScrollbar::OnStepButton(const RCPtr<LNotificationDistributor>& sender,
                                    const RCPtr<LNotification>&)
{
    auto* button = dynamic_cast<LControl*>(sender.Get());
    if (!button)
        return S_FALSE;
    if (button->GetName() == u"dec")
        SetValue(GetValue() - mLineStep);
    else if (button->GetName() == u"inc")
        SetValue(GetValue() + mLineStep);
    return S_OK;
}

TavoResult LScrollbar::OnThumbDrag(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* c = DataOf<LConditionsParam>(n);
    if (!c || !mThumb)
        return S_FALSE;
    if (TurnedOn(*c, kConditionLeftDrag)) {
        mDragging = true;
        mGrabOffset = {RoundToInt32(c->mX - (mVertical ? 0.0 : ThumbPosition())),
                       RoundToInt32(c->mY - (mVertical ? ThumbPosition() : 0.0))};
    } else if (TurnedOff(*c, kConditionLeftDrag)) {
        mDragging = false;
        if (mPendingValue >= 0.0 && mPendingValue <= 1.0)
            ApplyValue(mPendingValue);
    }
    mPendingValue = -1.0;
    return S_OK;
}

TavoResult LScrollbar::OnThumbMouseMove(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* pointer = DataOf<LPointWithModifiersParam>(n);
    if (!mDragging || !pointer || !mThumb || !mChannel)
        return S_FALSE;
    // A thumb as long as the track has nowhere to go: the limits would
    // cross and the value would divide by a span of zero or less.
    const double span = TrackSpan();
    if (span <= 0)
        return S_OK;
    // The pointer arrives in the thumb's coordinates.
    const RectT<double> client = mChannel->GetLookClientRect(-1);
    const double along =
        mVertical ? pointer->mY + mThumb->GetY() - client.y : pointer->mX + mThumb->GetX() - client.x;
    const double grab = mVertical ? mGrabOffset.y : mGrabOffset.x;
    const double position =
        std::clamp(along - grab, std::trunc(mTrackStart), std::trunc(mTrackEnd - mThumbLength));
    if (position == ThumbPosition())
        return S_OK;
    MoveThumb(position);
    LControl::SetValue(std::clamp((position - mTrackStart) / span, 0.0, 1.0));
    return S_OK;
}

int32_t LScrollbar::HitTestTrack(const PointT<int32_t>& channelPoint) const
{
    if (!mThumb)
        return 0;
    const double c = mVertical ? channelPoint.y : channelPoint.x;
    const double thumb = ThumbPosition();
    if (mTrackStart <= c && c <= thumb)
        return 1;
    if (thumb + mThumbLength <= c && c <= mTrackEnd)
        return 2;
    return 0;
}

PointT<int32_t> LScrollbar::MouseInChannel()
{
    LRootWindow* root = GetRootWindow();
    if (!root || !mChannel)
        return {INT32_MIN / 2, INT32_MIN / 2};
    const PointT<int32_t> mouse = root->GetMousePosition();
    const PointT<double> origin = mChannel->GetAbsolutePosition();
    const RectT<double> client = mChannel->GetLookClientRect(-1);
    return {RoundToInt32(mouse.x - origin.x - client.x), RoundToInt32(mouse.y - origin.y - client.y)};
}

void LScrollbar::Page()
{
    SetValue(GetValue() + (mPagingSide == 1 ? -mPageStep : mPageStep));
}

TavoResult LScrollbar::OnChannelPress(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* c = DataOf<LConditionsParam>(n);
    if (!c || !mChannel)
        return S_FALSE;
    if (TurnedOn(*c, kConditionLeftPressed)) {
        // The press point is in the bar's coordinates, where the channel's
        // client area starts at its position plus its look's offset.
        const RectT<double> client = mChannel->GetLookClientRect(-1);
        mPagingSide = HitTestTrack({RoundToInt32(c->mX - mChannel->GetX() - client.x),
                                    RoundToInt32(c->mY - mChannel->GetY() - client.y)});
        if (mPagingSide != 0) {
            Page();
            UpdatePagingLook();
            mLastPageTime = Now();
            mPageCountdown = mPageRepeatDelay;
            RequestIdle();
        }
    } else if (TurnedOff(*c, kConditionCapture) && mPagingSide != 0) {
        mPagingSide = 0;
        ResetChannelLook();
        CancelIdle();
    }
    if (mPagingSide != 0)
        UpdatePagingLook();
    return S_OK;
}

TavoResult LScrollbar::OnChannelHover(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* c = DataOf<LConditionsParam>(n);
    if (!c)
        return S_FALSE;
    if (TurnedOn(*c, kConditionHover))
        mLastPageTime = Now();
    if (mPagingSide != 0)
        UpdatePagingLook();
    return S_OK;
}

void LScrollbar::OnIdle()
{
    if (mPagingSide == 0 || !mChannel || !mChannel->IsHovered())
        return;
    if (HitTestTrack(MouseInChannel()) != mPagingSide)
        return;
    const double now = Now();
    mPageCountdown -= now - mLastPageTime;
    mLastPageTime = now;
    // Within a microsecond counts as due: the countdown is a sum of steps.
    if (mPageCountdown <= 1e-6) {
        mPageCountdown = mPageRepeatInterval;
        Page();
        UpdatePagingLook();
    }
}

void LScrollbar::UpdatePagingLook()
{
    if (!mChannel || !mThumb || HitTestTrack(MouseInChannel()) != mPagingSide) {
        ResetChannelLook();
        return;
    }
    const RectT<double> client = mChannel->GetLookClientRect(-1);
    const double thumb = ThumbPosition();
    const double from = mPagingSide == 1 ? 0.0 : thumb + mThumbLength;
    const double to = mPagingSide == 1 ? thumb : (mVertical ? client.height : client.width);
    const RectT<double> area = mVertical ? RectT<double>{client.x, client.y + from, client.width, to - from}
                                         : RectT<double>{client.x + from, client.y, to - from, client.height};
    mChannel->SetLookWeight(1, 1.0f, false);
    RectRegion region;
    region.AddRect(ToIntRect(area));
    mChannel->SetLookRegion(1, region);
    mChannel->InvalidateRect({0, 0, mChannel->GetWidth(), mChannel->GetHeight()}, true);
}

void LScrollbar::ResetChannelLook()
{
    if (mChannel)
        mChannel->SetLookWeight(0, 1.0f, true);
}

TavoResult LScrollbar::HandleSiblingKey(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* data = DataOf<LSiblingKeyParam>(n);
    if (!data || !IsShown(true))
        return S_FALSE;
    const uint32_t code = data->mKey.code;
    if (code & (KeyCode::kCtrl | KeyCode::kShift | KeyCode::kAlt) || !(code & KeyCode::kKeyDown))
        return S_FALSE;
    for (const BarKey& key : kBarKeys) {
        if (data->mKey.VirtualKey() != key.virtualKey || !(mKeyMask & key.mask))
            continue;
        if (key.orientation >= 0 && key.orientation != mVertical)
            return S_FALSE;
        double value = GetValue();
        switch (key.action) {
        case -1:
            value -= mLineStep;
            break;
        case +1:
            value += mLineStep;
            break;
        case -2:
            value -= mPageStep;
            break;
        case +2:
            value += mPageStep;
            break;
        case 3:
            value = 0.0;
            break;
        default:
            value = 1.0;
            break;
        }
        SetValue(value);
        data->mResult = 0;
        return S_OK;
    }
    return S_FALSE;
}

}  // namespace Tavo
