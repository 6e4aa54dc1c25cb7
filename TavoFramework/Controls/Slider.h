#pragma once

#include "Controls/Button.h"
#include "Controls/Panel.h"
#include "Controls/ValueKeys.h"

namespace Tavo {

// A thumb moving on a straight track between the markers "thumbStart" and
// "thumbEnd", which stand where the thumb's origin is at the lowest and at
// the highest value; the track may run in any direction. The thumb is made
// from "thumbStart"'s description. Dragging the thumb, holding the button on
// the track (one tenth of the range at a time, never past the pointer), the
// arrow keys and the wheel set the value. Looks: 0 normal, 1 focused, 2
// disabled.
class LSlider : public LPanel
{
public:
    using SliderHandler = LNotificationHandler<LSlider>;

    LSlider(const RCPtr<LControl>& parent, const WString& name) : LPanel(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LSlider>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // While the thumb is dragged the value asked for waits for the drag's end.
    double SetValue(double value) override;
    void ClampScrollPosition() override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult OnWheel(const RCPtr<LMouseWheelParam>& param) override;
    TavoResult OnWheelEvent(const RCPtr<LMouseWheelParam>& param) override;
    void OnLeftClicked(const RCPtr<LMouseButtonParam>& param) override;
    TavoResult RouteUnhandledKey(const RCPtr<LKeyParam>& param) override;
    void OnIdle() override;
    TavoResult Initialize() override;
    // A "thumb" given without a description gets "thumbStart"'s.
    TavoResult AdoptChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor) override;
    TavoResult Finalize() override;

    virtual double SetNormalizedValue(double value);
    virtual void UpdateValueFromThumb();
    virtual void UpdateThumbFromValue();
    // Where the thumb goes for a pointer at (x, y) of the slider.
    virtual PointT<int32_t> ConstrainThumbPosition(int32_t x, int32_t y);
    // The share of the track from "thumbStart" to a thumb position; unclamped.
    virtual double PositionToNormalized(int32_t x, int32_t y);
    virtual double GetNormalizedValue() { return GetValue(); }

    // One page step towards a point of the slider.
    void PageTowards(const PointT<int32_t>& point);

    const RCPtr<LButton>& GetThumb() const { return mThumb; }
    bool IsDragging() const { return mDragging; }
    bool IsPaging() const { return mPaging; }
    double GetPendingValue() const { return mPendingValue; }
    const PointT<int32_t>& GetHotSpot() const { return mHotSpot; }
    bool IsKeyHeld() const { return mKeys.IsHeld(); }

protected:
    static PointT<int32_t> IntPosition(const LControl& control)
    {
        return {RoundToInt32(control.GetX()), RoundToInt32(control.GetY())};
    }
    bool HasTrack() const { return mThumb && mThumbStart && mThumbEnd; }
    void MoveThumb(const PointT<int32_t>& position);

    RCPtr<LButton> mThumb;
    RCPtr<LControl> mThumbStart;
    RCPtr<LControl> mThumbEnd;

private:
    RCPtr<LControlDescriptor> MakeThumbDescriptor() const;
    void StartPaging(bool start);
    TavoResult OnThumbMouseMove(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnThumbDrag(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnThumbClick(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
    {
        return S_OK;
    }

    RCPtr<SliderHandler> mThumbHandler;
    bool mDragging = false;
    PointT<int32_t> mGrabOffset{0, 0};
    double mPageStep = 0.1;
    bool mPaging = false;
    double mPagingLastTime = 0;
    double mPagingCountdown = 0;
    double mPendingValue = -1.0;
    ValueKeys mKeys;
    PointT<int32_t> mHotSpot{0, 0};
};

}  // namespace Tavo
