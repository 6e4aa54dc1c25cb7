#include "Controls/NumericUpDown.h"

#include "Controls/Button.h"
#include "Controls/TextBox.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>

namespace Tavo {

namespace {

constexpr uint32_t kKeyUp = KeyCode::PressCode(VKey::kUp);
constexpr uint32_t kKeyDown = KeyCode::PressCode(VKey::kDown);

// As the C library reads a number: leading blanks, sign, digits, point,
// exponent; 0 when the text starts with none.
double ReadNumber(const WString& text)
{
    std::wstring wide;
    for (uint32_t i = 0; i < text.GetLength(); ++i)
        wide.push_back(wchar_t(text[i]));
    return std::wcstod(wide.c_str(), nullptr);
}

LTextValidationParams* ParamsOf(const RCPtr<LNotification>& n)
{
    return n ? dynamic_cast<LTextValidationParams*>(const_cast<LRefCountedObject*>(n->GetData().Get()))
             : nullptr;
}

}  // namespace

LNumericUpDown::~LNumericUpDown() = default;

TavoResult LNumericUpDown::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                               const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LPanel::ReceiveNotification(sender, notification);
}

TavoResult LNumericUpDown::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                       const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LPanel::Unsubscribe(distributor, name);
}

WString LNumericUpDown::GetValueText(double value) const
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%0.*f", int(mDecimalPlaces), value);
    return WString(NString(buffer));
}

void LNumericUpDown::UpdateAllowedCharacters()
{
    if (mTextBox)
        mTextBox->SetAllowedCharacters(GetRangeMin() < 0 ? u"0123456789-" : u"0123456789");
}

TavoResult LNumericUpDown::SetText(const WString& text)
{
    const double value = ReadNumber(text);
    if (std::isfinite(value))
        SetValue(ValueToNormalized(value));
    return S_OK;
}

void LNumericUpDown::OnValueChanged()
{
    if (!mTextBox)
        return;
    RCPtr<LControl> self(this);
    mTextBox->SetText(GetValueText(CurrentValue()));
    // The pass lets this control's own validation handler see the new text.
    mTextBox->UITarget_IsTarget();
}

TavoResult LNumericUpDown::SetValueRange(double minimum, double maximum, int32_t scaleMode)
{
    // A bound that is no number would show as "nan" and never compare.
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return E_INVALIDARG;
    const TavoResult result = LPanel::SetValueRange(minimum, maximum, scaleMode);
    if (Failed(result))
        return result;
    UpdateAllowedCharacters();
    if (mTextBox)
        mTextBox->SetText(GetValueText(CurrentValue()));
    return S_OK;
}

TavoResult LNumericUpDown::RouteUnhandledKey(const RCPtr<LKeyParam>& param)
{
    if (param && (param->mKey.code == kKeyUp || param->mKey.code == kKeyDown)) {
        const RCPtr<LButton>& button = param->mKey.code == kKeyUp ? mUpButton : mDownButton;
        if (button)
            SendToClient(RCPtr<LNotificationReceiver>(button.Get()), u"NID_SIMULATE_CLICK");
        return S_OK;
    }
    return LPanel::RouteUnhandledKey(param);
}

TavoResult LNumericUpDown::Initialize()
{
    const TavoResult base = LPanel::Initialize();
    mTextBox = RCPtrDynamicCast<LTextBox>(FindChildByName(u"textBox"));
    mUpButton = RCPtrDynamicCast<LButton>(FindChildByName(u"buttonUp"));
    mDownButton = RCPtrDynamicCast<LButton>(FindChildByName(u"buttonDown"));
    // Without all three parts the skin is wrong: the control stays inert.
    if (!mTextBox || !mUpButton || !mDownButton)
        return Failed(base) ? base : E_FAIL;
    for (const RCPtr<LButton>& button : {mUpButton, mDownButton}) {
        button->SetAutoRepeat(true);
        button->SetState(false);
    }
    UpdateAllowedCharacters();
    mHandler = UpDownHandler::Create(this);
    const RCPtr<LNotificationDistributor> text(mTextBox.Get());
    mHandler->AddHandler(&LNumericUpDown::OnTextValidating, text, u"NID_TEXTBOX_VALIDATING");
    mHandler->AddHandler(&LNumericUpDown::OnTextValidated, text, u"NID_TEXTBOX_VALIDATED");
    for (const RCPtr<LButton>& button : {mUpButton, mDownButton})
        mHandler->AddHandler(&LNumericUpDown::OnButtonRepeat, RCPtr<LNotificationDistributor>(button.Get()),
                             u"NID_BUTTON_AUTOREPEAT");
    return base;
}

TavoResult LNumericUpDown::Finalize()
{
    SetNotFocusable(false);
    for (const RCPtr<LButton>& button : {mUpButton, mDownButton})
        if (button)
            button->SetNotFocusable(true);
    return S_OK;
}

TavoResult LNumericUpDown::OnButtonRepeat(const RCPtr<LNotificationDistributor>& sender,
                                          const RCPtr<LNotification>&)
{
    const LNotificationDistributor* from = sender.Get();
    double next = CurrentValue();
    if (mUpButton && from == static_cast<LNotificationDistributor*>(mUpButton.Get()))
        next += mStep;
    else if (mDownButton && from == static_cast<LNotificationDistributor*>(mDownButton.Get()))
        next -= mStep;
    else
        return S_FALSE;
    RCPtr<LControl> self(this);
    SetValue(ValueToNormalized(next));
    return S_FALSE;
}

TavoResult LNumericUpDown::OnTextValidating(const RCPtr<LNotificationDistributor>&,
                                            const RCPtr<LNotification>& n)
{
    LTextValidationParams* params = ParamsOf(n);
    if (!params)
        return S_FALSE;
    RCPtr<LControl> self(this);
    Notify(u"NID_TEXTBOX_VALIDATING", RCPtr<LRefCountedObject>(params));
    if (!params->mValid)
        return S_FALSE;
    const WString& t = params->mText;
    const double current = CurrentValue();
    // The value's own text (the pass that follows a value change) stands,
    // also for a value between whole numbers that it shows rounded.
    if (t == GetValueText(current))
        return S_FALSE;
    const double typed = ReadNumber(t);
    const int32_t firstPoint = t.Find(u'.'), lastPoint = t.ReverseFind(u'.');
    // Misplaced signs, lone signs or points, two points, nothing, and what
    // reads as no number at all give the current value back; a number too
    // large to hold ("1e999", "inf") is beyond a bound like any other.
    const bool revert = t.ReverseFind(u'-') >= 1 || t == u"-" || firstPoint != lastPoint || t == u"." ||
                        t.IsEmpty() || std::isnan(typed);
    if (revert) {
        params->mText = GetValueText(current);
        params->mValid = true;
    }
    const double v = revert ? current : typed;
    const double c = std::clamp(v, GetRangeMin(), std::max(GetRangeMin(), GetRangeMax()));
    if (c == current) {
        if (current == GetRangeMin() || current == GetRangeMax() || c == 0) {
            params->mText = GetValueText(current);
            params->mValid = true;
        }
        return S_FALSE;
    }
    SetValue(ValueToNormalized(c));
    params->mText = GetValueText(CurrentValue());
    params->mValid = true;
    return S_FALSE;
}

TavoResult LNumericUpDown::OnTextValidated(const RCPtr<LNotificationDistributor>&,
                                           const RCPtr<LNotification>& n)
{
    if (LTextValidationParams* params = ParamsOf(n))
        Notify(u"NID_TEXTBOX_VALIDATED", RCPtr<LRefCountedObject>(params));
    return S_FALSE;
}

}  // namespace Tavo
