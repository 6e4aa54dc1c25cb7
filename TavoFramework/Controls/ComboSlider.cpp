#include "Controls/ComboSlider.h"

#include "Controls/Slider.h"
#include "Notification/NotificationParams.h"

#include <algorithm>

namespace Tavo {

TavoResult LComboSlider::Initialize()
{
    if (Failed(LDropDownControl::Initialize()))
        return E_FAIL;
    mPanel = RCPtrDynamicCast<LPanel>(FindChildByName(u"dropDownPanel"));
    if (!mPanel)
        return S_OK;
    mPanel->SetVisible(false);
    if (RCPtr<LSlider> slider = GetSlider())
        CreateHandlerTable()->AddHandler(static_cast<Handler::Operation>(&LComboSlider::OnSliderValueChange),
                                         RCPtr<LNotificationDistributor>(slider.Get()), u"NID_VALUE_CHANGE");
    return S_OK;
}

RCPtr<LSlider> LComboSlider::GetSlider() const
{
    return mPanel ? RCPtrDynamicCast<LSlider>(mPanel->FindChildByName(u"slider")) : nullptr;
}

double LComboSlider::SetValue(double value)
{
    if (RCPtr<LSlider> slider = GetSlider())
        slider->SetValue(value);
    return LDropDownControl::SetValue(value);
}

void LComboSlider::OnValueChanged()
{
    if (RCPtr<LSlider> slider = GetSlider())
        slider->SetValue(GetValue());
    SetText(WString::Format(u"%0.0f", NormalizedToValue(GetValue())));
}

TavoResult LComboSlider::OnSliderValueChange(const RCPtr<LNotificationDistributor>&,
                                             const RCPtr<LNotification>&)
{
    // A slider no longer in the panel has nothing to say.
    if (RCPtr<LSlider> slider = GetSlider())
        LDropDownControl::SetValue(slider->GetNormalizedValue());
    return 1;
}

bool LComboSlider::IsDroppedDown()
{
    return mPanel && mPanel->GetLayout() && mPanel->GetLayout()->visible && mPanel->GetWidth() > 0 &&
           mPanel->GetHeight() > 0;
}

TavoResult LComboSlider::SetDroppedDown(bool open)
{
    if (!mPanel)
        return E_FAIL;
    LControl* top = GetTopLevelControl();
    const RCPtr<LControlDescriptor>& descriptor = mPanel->GetDescriptor();
    if (open && top && descriptor && descriptor->GetLayout()) {
        // Where the skin puts the panel, unless that sticks out on the right.
        const double skinX = descriptor->GetLayout()->x.positionAbs;
        PointT<int32_t> at = top->ConvertPointFrom(this, {RoundToInt32(skinX), 0});
        double x = skinX;
        if (at.x + mPanel->GetWidth() > top->GetWidth()) {
            at.x = RoundToInt32(std::max(0.0, top->GetWidth() - mPanel->GetWidth()));
            x = ConvertPointFrom(top, at).x;
        }
        LLayoutDescriptor::Axis axis;
        if (!Failed(mPanel->GetPlacement(0, axis)) && axis.positionAbs != x) {
            axis.positionAbs = x;
            mPanel->SetAxisPlacement(0, axis);
        }
    }
    mPanel->SetVisible(open);
    SelectStateLook();
    return S_OK;
}

void LComboSlider::SelectStateLook()
{
    const bool hover = (GetConditionBits() & kConditionHover) != 0;
    const bool focus = HasFocus() || ContainsFocus();
    if (!IsEnabled(true))
        SelectLook(6);
    else if (IsDroppedDown())
        SelectLook(hover ? 5 : 4);
    else
        SelectLook(hover ? (focus ? 3 : 2) : (focus ? 1 : 0));
}

void LComboSlider::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    LDropDownControl::ConditionsChanged(conditions);
    SelectStateLook();
}

}  // namespace Tavo
