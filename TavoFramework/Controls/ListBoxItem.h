#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// A row of a list box. The list binds an item to it (text, selection weight
// as the value, alternate and separator flags); the row only picks its look.
class LListBoxItem : public LControl
{
public:
    LListBoxItem(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LListBoxItem>(result, parent, descriptor);
    }

    void OnValueChanged() override { UpdateLook(); }
    void ConditionsChanged(const RCPtr<LConditionsParam>&) override { UpdateLook(); }
    TavoResult Finalize() override;
    WString GetToolTipText() const override;
    TavoResult UITarget_OnMouseDown(uint32_t button, int32_t x, int32_t y) override;

    // 0-2 normal, hover, pressed; 3-5 the same alternate; 6 disabled; 7-12
    // the selected set; 13 separator, or selected and disabled.
    virtual uint32_t GetLookIndex() const;
    void UpdateLook();
    void SetSeparator(bool separator);
    bool IsSeparator() const { return mSeparator; }

    // Written by the list box, which then calls UpdateLook.
    bool mAlternate = false;
    bool mHoverSelect = false;

private:
    bool mSeparator = false;
};

}  // namespace Tavo
