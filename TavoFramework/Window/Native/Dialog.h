#pragma once

#include "ControlBase/Control.h"

namespace Tavo {

// Data of "NID_DIALOG_CLOSING": a listener sets cancel to keep the dialog open.
class LCancelArgs : public virtual LRefCountedObject
{
public:
    static RCPtr<LCancelArgs> Create() { return RCPtr<LCancelArgs>(new LCancelArgs); }
    bool cancel = false;
};

// A control whose window is run as a modal dialog. Closing asks its
// listeners first; only when nobody refuses does the modal loop end.
class LDialog : public LControl
{
public:
    LDialog(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    // Sends "NID_DIALOG_CLOSING" to the listeners at once and returns its data.
    RCPtr<LCancelArgs> SendClosing();
    // Stores the result; unless a listener cancels, ends the modal loop with
    // it, sends "NID_DIALOG_CLOSED" and runs OnClose.
    void Close(int32_t result);
    int32_t GetResult() const { return mResult; }

protected:
    // The dialog's own close operation.
    virtual void OnClose() {}

private:
    int32_t mResult = 0;
};

}  // namespace Tavo
