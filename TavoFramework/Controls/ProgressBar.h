#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

class LLabel;

// Shows a long operation's progress through three skin parts: the
// "activeOverlay" panel whose width follows the value, the bare percentage in
// "percentCompleteLabel" and the time left in "timeRemainingLabel". The
// value range is 0..100, so value listeners receive the percentage.
class LProgressBar : public LControl
{
public:
    LProgressBar(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}
    ~LProgressBar() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LProgressBar>(result, parent, descriptor);
    }

    void OnValueChanged() override;
    TavoResult Initialize() override;
    TavoResult Finalize() override;

    // Shows the time-remaining label with s whole seconds.
    virtual void SetTimeRemaining(int32_t seconds);
    // Estimates the time left from the average speed since switched on.
    virtual void SetEstimateTimeRemaining(bool on);

    bool IsEstimating() const { return mEstimating; }
    // The text SetTimeRemaining shows for s seconds.
    WString FormatTimeRemaining(int32_t seconds) const;

private:
    double Now() const;

    RCPtr<LNotificationHandler<LProgressBar>> mHandler;
    // The skin makes it a panel; only its placement and visibility are used.
    RCPtr<LControl> mActiveOverlay;
    RCPtr<LLabel> mTimeRemainingLabel;
    RCPtr<LLabel> mPercentLabel;
    WString mHour, mHours, mMinute, mMinutes, mSecond, mSeconds, mRemaining;
    double mEstimateStartTime = 0;
    double mEstimateStartValue = 0;
    double mMarkTime = 0;
    double mMarkValue = 0;
    bool mEstimating = false;
};

}  // namespace Tavo
