#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// A control that shows its text through its look and nothing else.
class LLabel : public LControl
{
public:
    LLabel(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LLabel>(result, parent, descriptor);
    }

    TavoResult Finalize() override;
    // The whole text when the look cuts it.
    WString GetToolTipText() const override;
};

}  // namespace Tavo
