#pragma once

#include "Controls/DropDownControl.h"
#include "Controls/Panel.h"

namespace Tavo {

class LSlider;

// A drop-down whose face shows the value as a whole number of its range and
// whose "dropDownPanel" holds a "slider" sharing the normalized value. The
// owner sets the range. Looks: 0 normal, 1 focused, 2 hovered, 3 both, 4
// open, 5 open and hovered, 6 disabled.
class LComboSlider : public LDropDownControl
{
public:
    LComboSlider(const RCPtr<LControl>& parent, const WString& name) : LDropDownControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LComboSlider>(result, parent, descriptor);
    }

    double SetValue(double value) override;
    void OnValueChanged() override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult Initialize() override;
    bool IsDroppedDown() override;
    // Opening keeps the panel inside the window's right edge.
    TavoResult SetDroppedDown(bool open) override;

    const RCPtr<LPanel>& GetPanel() const { return mPanel; }
    // Looked up each time: the panel's slider may be replaced.
    RCPtr<LSlider> GetSlider() const;

private:
    TavoResult OnSliderValueChange(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification);
    void SelectStateLook();

    RCPtr<LPanel> mPanel;
};

}  // namespace Tavo
