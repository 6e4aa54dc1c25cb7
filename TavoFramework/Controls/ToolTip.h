#pragma once

#include "ControlBase/Control.h"
#include "ControlBase/ToolTipTarget.h"

namespace Tavo {

// The text window a control shows near the pointer: it appears after 500 ms
// (at once within 50 ms of the last one closing), stays 5000 ms and then
// removes itself. All timing runs on idle turns.
class LToolTip : public LControl, public IToolTipTarget
{
public:
    enum State : int32_t { kInactive = 0, kWaiting = 1, kShown = 2 };

    LToolTip(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LToolTip>(result, parent, descriptor);
    }

    TavoResult Open() override;
    TavoResult Close() override;
    int32_t GetState() const { return mState; }

    void OnIdle() override;
    TavoResult ApplyProperties() override;
    TavoResult Finalize() override;
    bool TestActiveLooks() override { return false; }

private:
    void Place();

    int32_t mState = kInactive;
    uint32_t mSince = 0;
};

}  // namespace Tavo
