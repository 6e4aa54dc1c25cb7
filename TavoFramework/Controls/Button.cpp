#include "Controls/Button.h"

#include "Application/AppClock.h"
#include "ControlBase/Look.h"
#include "Notification/NotificationParams.h"
#include "ObjectBase/Exception.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <stdexcept>

namespace Tavo {

namespace {
constexpr uint32_t kModifierBits =
    KeyCode::kCtrl | KeyCode::kShift | KeyCode::kAlt | KeyCode::kCmd | KeyCode::kFifth;
}  // namespace

LButton::~LButton() = default;

double LButton::Now() const
{
    return GetAppClock().GetSecondsSinceStart();
}

TavoResult LButton::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                        const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LControl::ReceiveNotification(sender, notification);
}

TavoResult LButton::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LControl::Unsubscribe(distributor, name);
}

TavoResult LButton::Initialize()
{
    const TavoResult base = LControl::Initialize();
    if (Failed(base))
        return base;
    mHandler = ButtonHandler::Create(this);
    try {
        const TavoResult added =
            mHandler->AddHandler(&LButton::OnSimulateClick, nullptr, u"NID_SIMULATE_CLICK");
        if (Failed(added))
            TAVO_THROW_IF_FAILED(added, "Tavo::LButton::Initialize", "Controls\\Button", 50);
        WString value;
        if (GetProperty(u"AUTO_VALUE_SET", value))
            SetAutoValueSet(value == u"true");
        if (GetProperty(u"IS_RADIO", value))
            SetRadio(value == u"true");
    } catch (const std::runtime_error&) {
        return base;
    }
    return S_OK;
}

TavoResult LButton::SetAutoValueSet(bool on)
{
    mAutoValueSet = on;
    return S_OK;
}

TavoResult LButton::SetRadio(bool on)
{
    mIsRadio = on;
    return S_OK;
}

bool LButton::SetState(bool on)
{
    SetValue(on ? 1.0 : 0.0);
    return GetValue() >= 0.5;
}

TavoResult LButton::OnSimulateClick(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    if (IsEnabled(true))
        SimulateClick();
    return S_OK;
}

void LButton::OnLeftClicked(const RCPtr<LMouseButtonParam>&)
{
    if (!mAutoValueSet)
        return;
    if (mIsRadio)
        SetValue(1.0);
    else
        SetValue(GetValue() >= 0.5 ? 0.0 : 1.0);
}

void LButton::OnValueChanged()
{
    if (mIsRadio && GetValue() >= 0.5 && GetParent()) {
        ChildControlList& siblings = GetParent()->GetChildren();
        for (uint32_t i = siblings.Count(); i-- > 0;) {
            if (i >= siblings.Count())
                continue;
            RCPtr<LControl> sibling = siblings.GetAt(i);
            auto* button = dynamic_cast<LButton*>(sibling.Get());
            if (button && button->mIsRadio && button != this)
                button->SetValue(0.0);
        }
    }
    UpdateLook();
}

TavoResult LButton::UpdateLook()
{
    if (mPassive || mSimulatedClickPending)
        return S_OK;
    const bool on = GetValue() >= 0.5;
    int32_t index;
    if (!IsEnabled(true)) {
        index = on ? 13 : 6;
    } else {
        // Down from the press on, not only once the pointer has moved past
        // the drag threshold.
        const bool pressed = HasCapture() && (mLeftPressed || mLeftDrag);
        const int32_t normal = on ? 7 : 0, hover = on ? 8 : 1, down = on ? 9 : 2;
        if (pressed)
            index = (mHover || mKeepPressedLook) ? down : hover;
        else if (mHover && !HasCapture())
            index = hover;
        else
            index = normal;
        if (HasFocus())
            index += 3;
    }
    SelectLook(index);
    return S_OK;
}

void LButton::SetEnabled(bool enabled)
{
    LControl::SetEnabled(enabled);
    UpdateLook();
}

bool LButton::HitTestPoint(const PointT<int32_t>& point)
{
    if (mPassive)
        return false;
    return LControl::HitTestPoint(point);
}

TavoResult LButton::OnKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return S_FALSE;
    const uint32_t code = param->mKey.code;
    if ((code & KeyCode::kKeyDown) && !(code & kModifierBits) && param->mKey.VirtualKey() == VKey::kReturn) {
        SimulateClick();
        return S_OK;
    }
    return S_FALSE;
}

void LButton::HoldIdle()
{
    if (mHoldsIdle)
        return;
    mHoldsIdle = true;
    RequestIdle();
}

void LButton::ReleaseIdle()
{
    if (!mHoldsIdle)
        return;
    mHoldsIdle = false;
    CancelIdle();
}

void LButton::StopRepeating()
{
    if (!mRepeatPressed)
        return;
    mRepeatPressed = false;
    if (!mSimulatedClickPending)
        ReleaseIdle();
}

void LButton::SimulateClick()
{
    if (mSimulatedClickPending) {
        if (mAutoRepeat)
            Notify(u"NID_BUTTON_AUTOREPEAT");
        ClickNow();
    }
    mSimulatedClickPending = true;
    SetFocus(true);
    HoldIdle();
    mSimulatedPressStart = Now();
    SelectLook(GetValue() >= 0.5 ? 9 : 2);
    InvalidateLocalRect({0, 0, GetWidth(), GetHeight()}, !GetLayout() || GetLayout()->clipToParent);
}

void LButton::FinishSimulatedClick()
{
    mSimulatedClickPending = false;
    if (!mRepeatPressed)
        ReleaseIdle();
    mSimulatedPressStart = 0.0;
    UpdateLook();
    if (mAutoRepeat)
        Notify(u"NID_BUTTON_AUTOREPEAT");
    ClickNow();
}

void LButton::CompletePendingPress()
{
    if (mSimulatedClickPending) {
        RCPtr<LButton> self(this);
        FinishSimulatedClick();
    }
}

void LButton::ClickNow()
{
    LRootWindow* root = GetRootWindow();
    OnLeftClick(LMouseButtonParam::Create(1, 0, 0, 0, false, root ? root->GetMouseButtons() : 0));
}

void LButton::OnIdle()
{
    RCPtr<LButton> self(this);
    const double now = Now();
    if (mSimulatedClickPending && now - mSimulatedPressStart >= mSimulatedPressTime)
        FinishSimulatedClick();
    if (mRepeatPressed && mHover && IsEnabled(true)) {
        mRepeatCountdown -= now - mLastRepeatTime;
        mLastRepeatTime = now;
        if (mRepeatCountdown <= 0) {
            mRepeatCountdown = mRepeatInterval;
            Notify(u"NID_BUTTON_AUTOREPEAT");
        }
    }
}

void LButton::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (conditions) {
        const uint32_t now = conditions->mConditions, before = conditions->mPreviousConditions;
        const auto newlySet = [&](uint32_t bit) { return (now & bit) && !(before & bit); };
        const auto newlyClear = [&](uint32_t bit) { return !(now & bit) && (before & bit); };
        if (mAutoRepeat && newlySet(kConditionHover)) {
            mLastRepeatTime = Now();
        } else if (newlySet(kConditionLeftPressed)) {
            if (mAutoRepeat && IsEnabled(true) && !mRepeatPressed) {
                mRepeatPressed = true;
                HoldIdle();
                mLastRepeatTime = Now();
                mRepeatCountdown = mRepeatDelay;
                Notify(u"NID_BUTTON_AUTOREPEAT");
            }
        } else if (newlyClear(kConditionCapture)) {
            if (mAutoRepeat && mRepeatPressed) {
                mRepeatPressed = false;
                if (!mSimulatedClickPending)
                    ReleaseIdle();
            }
        }
    }
    UpdateLook();
}

WString LButton::GetToolTipText() const
{
    if (IsTextClipped())
        return GetText();
    return LControl::GetToolTipText();
}

}  // namespace Tavo
