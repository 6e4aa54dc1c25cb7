#pragma once

#include "Controls/Slider.h"

namespace Tavo {

// A slider with two range-bound panels, "lowRangeBounds" and
// "highRangeBounds", each holding a "fill": along the track's axis both
// stand at the thumb's centre, across it and in what they draw they follow
// the skin. Pointer input passes through them to the track.
class LCenteredSlider : public LSlider
{
public:
    using CenteredHandler = LNotificationHandler<LCenteredSlider>;

    LCenteredSlider(const RCPtr<LControl>& parent, const WString& name) : LSlider(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LCenteredSlider>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    TavoResult Initialize() override;
    double SetNormalizedValue(double value) override;

    // A horizontal track places the panels' x, a vertical one their y; a
    // slanted track, or a slider without a thumb, leaves them where they are.
    virtual void SetBoundsPosFromThumbPos();

private:
    TavoResult OnThumbMouseMove(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);

    RCPtr<CenteredHandler> mHandler;
    RCPtr<LControl> mLowBounds;
    RCPtr<LControl> mHighBounds;
};

}  // namespace Tavo
