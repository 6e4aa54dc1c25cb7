#include "Controls/CenteredSlider.h"

namespace Tavo {

TavoResult LCenteredSlider::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                                const RCPtr<LNotification>& notification)
{
    // The slider moves the thumb first; the panels then follow it.
    const TavoResult result = LSlider::ReceiveNotification(sender, notification);
    if (mCreated && notification && mHandler && mHandler->Handles(sender, notification->GetID()))
        mHandler->DispatchNotification(sender, notification);
    return result;
}

TavoResult LCenteredSlider::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                        const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LSlider::Unsubscribe(distributor, name);
}

TavoResult LCenteredSlider::Initialize()
{
    if (Failed(LSlider::Initialize()))
        return E_FAIL;
    mHandler = CenteredHandler::Create(this);
    mLowBounds = FindChildByName(u"lowRangeBounds");
    mHighBounds = FindChildByName(u"highRangeBounds");
    for (const RCPtr<LControl>& bounds : {mLowBounds, mHighBounds}) {
        if (!bounds)
            continue;
        bounds->SetHitTestSkip(true);
        if (RCPtr<LControl> fill = bounds->FindChildByName(u"fill"))
            fill->SetHitTestSkip(true);
    }
    if (mThumb)
        mHandler->AddHandler(&LCenteredSlider::OnThumbMouseMove, mThumb, u"NID_MOUSE_MOVE");
    SetBoundsPosFromThumbPos();
    return S_OK;
}

double LCenteredSlider::SetNormalizedValue(double value)
{
    const double result = LSlider::SetNormalizedValue(value);
    SetBoundsPosFromThumbPos();
    return result;
}

void LCenteredSlider::SetBoundsPosFromThumbPos()
{
    // Values set before the thumb exists (the initial one) have nothing to follow.
    if (!HasTrack())
        return;
    for (int32_t axis = 0; axis < 2; ++axis) {
        // x follows a horizontal track (markers level), y a vertical one.
        const bool along =
            axis == 0 ? mThumbEnd->GetY() == mThumbStart->GetY() : mThumbEnd->GetX() == mThumbStart->GetX();
        if (!along)
            continue;
        LLayoutDescriptor::Axis thumb;
        mThumb->GetPlacement(axis, thumb);
        const double centre = thumb.positionAbs + thumb.sizeAbs * 0.5;
        for (const RCPtr<LControl>& bounds : {mLowBounds, mHighBounds}) {
            if (!bounds)
                continue;
            LLayoutDescriptor::Axis spec;
            bounds->GetPlacement(axis, spec);
            spec.positionAbs = centre;
            bounds->SetAxisPlacement(axis, spec);
        }
    }
}

TavoResult LCenteredSlider::OnThumbMouseMove(const RCPtr<LNotificationDistributor>&,
                                             const RCPtr<LNotification>&)
{
    SetBoundsPosFromThumbPos();
    return S_OK;
}

}  // namespace Tavo
