#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// Push button; with "AUTO_VALUE_SET" a toggle, with "IS_RADIO" too a radio
// button. Fourteen looks: 0-6 off (normal, hover, pressed, the three focused,
// disabled), 7-13 the same on.
class LButton : public LControl
{
public:
    LButton(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}
    ~LButton() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LButton>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    void OnValueChanged() override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    void SetEnabled(bool enabled) override;
    void OnLeftClicked(const RCPtr<LMouseButtonParam>& param) override;
    bool HitTestPoint(const PointT<int32_t>& point) override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    void OnIdle() override;
    void CompletePendingPress() override;
    TavoResult Initialize() override;
    WString GetToolTipText() const override;

    virtual TavoResult SetAutoValueSet(bool on);
    virtual TavoResult SetRadio(bool on);
    // True when the value is on afterwards.
    virtual bool SetState(bool on);
    virtual TavoResult UpdateLook();
    virtual void SimulateClick();

    // Owners (scrollbar, up-down, checked items) set these directly.
    void SetAutoRepeat(bool on) { mAutoRepeat = on; }
    // Ends a held repeat: no more repeats until the next press.
    void StopRepeating();
    void SetPassive(bool on) { mPassive = on; }
    void SetKeepPressedLook(bool on) { mKeepPressedLook = on; }
    bool IsRadio() const { return mIsRadio; }
    bool IsAutoValueSet() const { return mAutoValueSet; }
    bool IsSimulatedClickPending() const { return mSimulatedClickPending; }

private:
    using ButtonHandler = LNotificationHandler<LButton>;

    TavoResult OnSimulateClick(const RCPtr<LNotificationDistributor>& sender,
                               const RCPtr<LNotification>& notification);
    void FinishSimulatedClick();
    // A left click at (0, 0) with the buttons the window holds.
    void ClickNow();
    void HoldIdle();
    void ReleaseIdle();
    double Now() const;

    RCPtr<ButtonHandler> mHandler;
    bool mAutoValueSet = false;
    bool mIsRadio = false;
    bool mAutoRepeat = false;
    bool mPassive = false;
    bool mRepeatPressed = false;
    bool mKeepPressedLook = false;
    double mRepeatInterval = 0.1;
    double mRepeatDelay = 0.3;
    double mLastRepeatTime = 0;
    double mRepeatCountdown = 0;
    double mSimulatedPressTime = 0.15;
    double mSimulatedPressStart = 0;
    bool mSimulatedClickPending = false;
    bool mHoldsIdle = false;
};

}  // namespace Tavo
