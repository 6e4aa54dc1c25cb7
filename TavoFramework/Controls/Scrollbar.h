#pragma once

#include "ControlBase/Control.h"
#include "Notification/NotificationHandler.h"

namespace Tavo {

class LButton;

// A normalized value shown as a thumb sliding along a channel, with step
// buttons at the ends. Parts: "dec", "inc", "channel" and the channel's
// "thumb". The value reaches subscribers as "NID_VALUE_CHANGE".
class LScrollbar : public LControl
{
public:
    using ScrollbarHandler = LNotificationHandler<LScrollbar>;

    LScrollbar(const RCPtr<LControl>& parent, const WString& name);

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LScrollbar>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    double SetValue(double value) override;
    TavoResult SetValueRange(double minimum, double maximum, int32_t scaleMode) override;
    void ClampScrollPosition() override;
    void OnIdle() override;
    TavoResult Initialize() override;
    TavoResult Finalize() override;

    // E_INVALIDARG for bits above 0xFF; the low byte is taken either way.
    TavoResult SetKeyMask(uint32_t mask);
    void UpdateThumbSize();
    void UpdateThumbPosition();

    bool IsVertical() const { return mVertical != 0; }
    double GetThumbLength() const { return mThumbLength; }
    double GetTrackStart() const { return mTrackStart; }
    double GetTrackEnd() const { return mTrackEnd; }
    int32_t GetPagingSide() const { return mPagingSide; }
    double GetPendingValue() const { return mPendingValue; }
    const RCPtr<LControl>& GetThumb() const { return mThumb; }

    // Written by the owning scroll view, which then calls UpdateThumbSize.
    double mLineStep = 0.02;
    double mPageStep = 0.2;
    double mThumbFraction = 0.1;

private:
    TavoResult OnChannelPress(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnChannelHover(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnThumbMouseMove(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnThumbDrag(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnStepButton(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult HandleSiblingKey(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);

    // The child of that name when it is a button, else null.
    RCPtr<LButton> StepButton(const char16_t* name);
    double ApplyValue(double value);
    // Room the thumb can travel; 0 or less when it fills the track.
    double TrackSpan() const { return mTrackEnd - mTrackStart - mThumbLength; }
    double ThumbPosition() const;
    void MoveThumb(double position);
    // 1 before the thumb, 2 after it, 0 on it or off the track.
    int32_t HitTestTrack(const PointT<int32_t>& channelPoint) const;
    PointT<int32_t> MouseInChannel();
    void UpdatePagingLook();
    void ResetChannelLook();
    void Page();

    RCPtr<ScrollbarHandler> mHandler;
    int32_t mVertical = 1;
    RCPtr<LControl> mThumb;
    RCPtr<LControl> mChannel;
    double mMinThumbLength = 10.0;
    double mThumbLength = 0;
    double mTrackStart = 0, mTrackEnd = 0;
    double mChannelOrigin = 0;
    bool mDragging = false;
    PointT<int32_t> mGrabOffset{0, 0};
    int32_t mPagingSide = 0;
    double mPageRepeatInterval = 0.2;
    double mPageRepeatDelay = 0.4;
    double mLastPageTime = 0;
    double mPageCountdown = 0;
    double mPendingValue = -1.0;
    uint32_t mKeyMask = 0;
};

}  // namespace Tavo
