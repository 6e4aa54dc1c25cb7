#include "Controls/LevelMeter.h"

#include <algorithm>

namespace Tavo {

namespace {
constexpr double kLit = 0.5;
}  // namespace

LLevelMeter::~LLevelMeter() = default;

TavoResult LLevelMeter::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                            const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LControl::ReceiveNotification(sender, notification);
}

TavoResult LLevelMeter::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LControl::Unsubscribe(distributor, name);
}

TavoResult LLevelMeter::Initialize()
{
    const TavoResult result = LControl::Initialize();
    mHandler = MeterHandler::Create(this);
    mPeakMarker = RCPtrDynamicCast<LPanel>(FindChildByName(u"peakLo"));
    if (mPeakMarker)
        mPeakMarker->SetUseParentToolTip(true);
    mActiveOverlay = RCPtrDynamicCast<LPanel>(FindChildByName(u"activeOverlay"));
    if (mActiveOverlay)
        mActiveOverlay->SetUseParentToolTip(true);
    mClipButton = FindChildByName(u"clipButton");
    return result;
}

TavoResult LLevelMeter::Finalize()
{
    mVertical = GetWidth() < GetHeight();
    if (mPeakMarker) {
        mPeakMarker->SetVisible(false);
        mPeakMarker->SetNotFocusable(true);
        mPeakLoPosition = {mPeakMarker->GetX(), mPeakMarker->GetY()};
        // The far end only marks the marker's travel.
        if (RCPtr<LControl> far = FindChildByName(u"peakHi")) {
            far->SetVisible(false);
            far->SetNotFocusable(true);
            mPeakHiPosition = {far->GetX(), far->GetY()};
        } else
            mPeakMarker = nullptr;
    }
    if (mActiveOverlay) {
        mActiveOverlay->SetVisible(false);
        mActiveOverlay->SetNotFocusable(true);
    }
    if (mClipButton)
        mClipButton->SetNotFocusable(true);
    SetNotFocusable(true);
    OnValueChanged();
    return S_OK;
}

void LLevelMeter::OnValueChanged()
{
    if (!mInUpdate)
        SetMeter(GetValue(), 0, mClipCount);
}

TavoResult LLevelMeter::SetLevelAndPeak(double level, double peak)
{
    return SetMeter(level, peak, mClipCount);
}

TavoResult LLevelMeter::SetMeter(double level, double peak, int32_t clipCount)
{
    RCPtr<LControl> self(this);
    if (mClipButton) {
        if (clipCount != mClipCount)
            mClipButton->SetValue(1.0);
        else if (!mClipLatched)
            mClipButton->SetValue(0.0);
    }
    mClipCount = clipCount;
    mInUpdate = true;
    SetValue(level);
    mInUpdate = false;

    const int32_t axis = mVertical ? 1 : 0;
    // Out-of-range levels and peaks stop at the meter's ends.
    const double shown = std::clamp(level, 0.0, 1.0);
    if (mActiveOverlay) {
        const double fraction = mVertical ? 1.0 - shown : shown;
        const double n = RoundCoordinate(fraction * (mVertical ? GetHeight() : GetWidth()));
        if (n < 1)
            mActiveOverlay->SetVisible(false);
        else {
            mActiveOverlay->SetVisible(true);
            LLayoutDescriptor::Axis spec;
            mActiveOverlay->GetPlacement(axis, spec);
            spec.sizeRef = 2;
            spec.sizeAbs = n;
            mActiveOverlay->SetAxisPlacement(axis, spec);
        }
    }
    if (mPeakMarker) {
        const double travel =
            mVertical ? mPeakHiPosition.y - mPeakLoPosition.y : mPeakHiPosition.x - mPeakLoPosition.x;
        const double d = RoundCoordinate(travel * std::clamp(peak, 0.0, 1.0));
        if (d == 0)
            mPeakMarker->SetVisible(false);
        else {
            mPeakMarker->SetVisible(true);
            LLayoutDescriptor::Axis spec;
            mPeakMarker->GetPlacement(axis, spec);
            spec.positionAbs = d;
            mPeakMarker->SetAxisPlacement(axis, spec);
        }
    }
    return S_OK;
}

TavoResult LLevelMeter::SetClipLatch(bool latched)
{
    if (!mClipButton)
        return E_FAIL;
    mClipButton->SetValue(0.0);
    if (latched == mClipLatched)
        return S_OK;
    mClipLatched = latched;
    const RCPtr<LNotificationDistributor> button(mClipButton.Get());
    if (latched)
        return mHandler ? mHandler->AddHandler(&LLevelMeter::OnClipButtonClicked, button, u"NID_LEFT_CLICK")
                        : S_OK;
    Unsubscribe(button, u"NID_LEFT_CLICK");
    return S_OK;
}

bool LLevelMeter::IsClipLit() const
{
    return mClipButton && mClipButton->GetValue() >= kLit;
}

TavoResult LLevelMeter::OnClipButtonClicked(const RCPtr<LNotificationDistributor>&,
                                            const RCPtr<LNotification>&)
{
    if (IsClipLit()) {
        mClipButton->SetValue(0.0);
        Notify(u"NID_CLIPLIGHT_UNLATCHED");
    }
    return 1;  // handled
}

}  // namespace Tavo
