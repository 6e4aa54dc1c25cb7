#pragma once

#include "ControlBase/Control.h"
#include "Controls/Panel.h"

namespace Tavo {

// A passive meter: the caller hands it a level, a peak and a clip count.
// The "activeOverlay" panel shows the level along the meter's long side, the
// "peakLo" panel travels towards where the hidden "peakHi" part lies, and the
// value of "clipButton" is the clip light, which either follows changes of
// the clip count or, latched, stays lit until clicked.
class LLevelMeter : public LControl
{
public:
    LLevelMeter(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}
    ~LLevelMeter() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LLevelMeter>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // A value set from outside redraws the bar and hides the peak marker.
    void OnValueChanged() override;
    TavoResult Initialize() override;
    TavoResult Finalize() override;

    // Keeps the clip count.
    virtual TavoResult SetLevelAndPeak(double level, double peak);
    virtual TavoResult SetMeter(double level, double peak, int32_t clipCount);
    // E_FAIL without a clip button; switches the light off either way.
    virtual TavoResult SetClipLatch(bool latched);
    virtual bool IsClipLit() const;
    virtual int32_t GetClipCount() const { return mClipCount; }
    // Leaves the clip light as it is.
    virtual void SetClipCount(int32_t count) { mClipCount = count; }

    bool IsVertical() const { return mVertical; }
    bool IsClipLatched() const { return mClipLatched; }

private:
    using MeterHandler = LNotificationHandler<LLevelMeter>;

    TavoResult OnClipButtonClicked(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification);

    RCPtr<MeterHandler> mHandler;
    int32_t mClipCount = 0;
    bool mClipLatched = false;
    PointT<double> mPeakLoPosition;
    PointT<double> mPeakHiPosition;
    RCPtr<LPanel> mPeakMarker;
    RCPtr<LPanel> mActiveOverlay;
    RCPtr<LControl> mClipButton;
    bool mInUpdate = false;
    bool mVertical = false;
};

}  // namespace Tavo
