#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// A transient control that follows the pointer once the left button goes
// down on it and leaves its parent when that drag ends; whoever made it
// learns where it was dropped through the drag-and-drop hooks.
class LFileDropper : public LControl
{
public:
    LFileDropper(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}
    ~LFileDropper() override;

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LFileDropper>(result, parent, descriptor);
    }

    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult EndDrag() override;
    TavoResult Finalize() override;

private:
    WString mPath;
};

}  // namespace Tavo
