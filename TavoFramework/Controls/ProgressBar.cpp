#include "Controls/ProgressBar.h"

#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/Label.h"
#include "Utilities/Storage/Format.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace Tavo {

namespace {
// Half away from zero; what an int cannot hold counts as 0.
int32_t RoundToInt(double v)
{
    const double r = v < 0 ? v - 0.5 : v + 0.5;
    if (!std::isfinite(r) || r >= static_cast<double>(INT32_MAX) + 1.0 ||
        r <= static_cast<double>(INT32_MIN) - 1.0)
        return 0;
    return static_cast<int32_t>(r);
}
}  // namespace

LProgressBar::~LProgressBar() = default;

double LProgressBar::Now() const
{
    return GetAppClock().GetSecondsSinceStart();
}

TavoResult LProgressBar::Initialize()
{
    const TavoResult result = LControl::Initialize();
    mHandler = LNotificationHandler<LProgressBar>::Create(this);
    mActiveOverlay = FindChildByName(u"activeOverlay");
    mTimeRemainingLabel = RCPtrDynamicCast<LLabel>(FindChildByName(u"timeRemainingLabel"));
    if (mTimeRemainingLabel)
        mTimeRemainingLabel->SetVisible(false);
    mPercentLabel = RCPtrDynamicCast<LLabel>(FindChildByName(u"percentCompleteLabel"));

    RCPtr<LStringTable> table;
    if (ControlEnvironment().factory)
        table = ControlEnvironment().factory->GetFrameworkStringTable();
    struct
    {
        const char16_t* id;
        WString* text;
    } const texts[] = {{u"HOURS_SINGULAR", &mHour},     {u"HOURS_PLURAL", &mHours},
                       {u"MINUTES_SINGULAR", &mMinute}, {u"MINUTES_PLURAL", &mMinutes},
                       {u"SECONDS_SINGULAR", &mSecond}, {u"SECONDS_PLURAL", &mSeconds},
                       {u"REMAINING", &mRemaining}};
    for (const auto& t : texts) {
        t.text->Empty();
        if (table)
            table->FindString(t.id, *t.text);
    }
    SetValue(0.0);
    SetValueRange(0.0, 100.0, 0);
    return result;
}

TavoResult LProgressBar::Finalize()
{
    SetNotFocusable(true);
    OnValueChanged();
    return S_OK;
}

void LProgressBar::OnValueChanged()
{
    const double value = GetValue();
    const double percent = value * 100.0;
    // The fill grows inside the client area from its left inset and at 100 %
    // keeps the same inset on its right, so it never runs over the border.
    double room = GetWidth();
    if (mActiveOverlay)
        room = std::max(0.0, GetLookClientRect(-1).width - 2 * mActiveOverlay->GetX());
    const int32_t n = RoundToInt(room * percent / 100.0);
    if (mActiveOverlay) {
        if (n < 1) {
            mActiveOverlay->SetVisible(false);
        } else {
            mActiveOverlay->SetVisible(true);
            LLayoutDescriptor::Axis axis;
            mActiveOverlay->GetPlacement(0, axis);
            axis.sizeRef = 2;
            axis.sizeAbs = n;
            mActiveOverlay->SetAxisPlacement(0, axis);
        }
    }
    if (mPercentLabel)
        mPercentLabel->SetText(DoubleToString(percent, 0));

    if (!mEstimating)
        return;
    const double now = Now();
    const double gainSinceMark = value - mMarkValue, timeSinceMark = now - mMarkTime;
    const double gainSinceStart = value - mEstimateStartValue, timeSinceStart = now - mEstimateStartTime;
    if (gainSinceMark > 0 && timeSinceMark > 0) {
        const double rate = gainSinceStart / timeSinceStart;
        if (timeSinceMark > 1.0) {
            mMarkValue = value;
            mMarkTime = now;
        }
        SetTimeRemaining(RoundToInt((1.0 - value) / rate));
    }
    if (value >= 1.0)
        mEstimating = false;
}

WString LProgressBar::FormatTimeRemaining(int32_t s) const
{
    const int32_t h = s >= 3600 ? s / 3600 : 0;
    const int32_t m = s >= 60 ? (s - (s / 3600) * 3600) / 60 : 0;
    const int32_t c = s > 0 ? (s - (s / 3600) * 3600) % 60 : 0;
    WString text;
    if (h >= 1) {
        text += IntToString(h) + u" " + (h == 1 ? mHour : mHours) + u" ";
        if (m == 0)
            text += IntToString(0) + u" " + mMinutes + u" ";
    }
    if (m >= 1)
        text += IntToString(m) + u" " + (m == 1 ? mMinute : mMinutes) + u" ";
    text += IntToString(c) + u" " + (c == 1 ? mSecond : mSeconds) + u" " + mRemaining;
    return text;
}

void LProgressBar::SetTimeRemaining(int32_t seconds)
{
    if (!mTimeRemainingLabel)
        return;
    mTimeRemainingLabel->SetVisible(true);
    mTimeRemainingLabel->SetText(FormatTimeRemaining(seconds));
}

void LProgressBar::SetEstimateTimeRemaining(bool on)
{
    if (on == mEstimating)
        return;
    mEstimating = on;
    if (on) {
        mEstimateStartTime = mMarkTime = Now();
        mEstimateStartValue = mMarkValue = GetValue();
    }
}

}  // namespace Tavo
