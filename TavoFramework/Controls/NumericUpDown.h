#pragma once

#include "Controls/Panel.h"

namespace Tavo {

class LButton;
class LTextBox;

// A whole number in a text box with an up and a down button ("textBox",
// "buttonUp", "buttonDown"). The value is the control's value in its range;
// typed text is checked and corrected in the text box's validation pass, and
// the up-down passes that pass's notifications on.
class LNumericUpDown : public LPanel
{
public:
    LNumericUpDown(const RCPtr<LControl>& parent, const WString& name) : LPanel(parent, name) {}
    ~LNumericUpDown() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LNumericUpDown>(result, parent, descriptor);
    }

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    // The text read as a number becomes the value.
    TavoResult SetText(const WString& text) override;
    void OnValueChanged() override;
    TavoResult SetValueRange(double minimum, double maximum, int32_t scaleMode) override;
    // Up and Down that the text box passes on click the buttons.
    TavoResult RouteUnhandledKey(const RCPtr<LKeyParam>& param) override;
    TavoResult Initialize() override;
    TavoResult Finalize() override;

    const RCPtr<LTextBox>& GetTextBox() const { return mTextBox; }
    // The value as the text box shows it.
    WString GetValueText(double value) const;

private:
    using UpDownHandler = LNotificationHandler<LNumericUpDown>;

    TavoResult OnTextValidating(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnTextValidated(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    TavoResult OnButtonRepeat(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);
    double CurrentValue() const { return NormalizedToValue(GetValue()); }
    void UpdateAllowedCharacters();

    RCPtr<UpDownHandler> mHandler;
    RCPtr<LTextBox> mTextBox;
    RCPtr<LButton> mUpButton;
    RCPtr<LButton> mDownButton;
    double mStep = 1.0;
    int32_t mDecimalPlaces = 0;
};

}  // namespace Tavo
