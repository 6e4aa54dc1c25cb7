#include "Window/Native/Dialog.h"

#include "Window/RootWindow.h"

namespace Tavo {

RCPtr<LCancelArgs> LDialog::SendClosing()
{
    const RCPtr<LCancelArgs> args = LCancelArgs::Create();
    SendNotification(LNotification::Create(u"NID_DIALOG_CLOSING", args));
    return args;
}

void LDialog::Close(int32_t result)
{
    mResult = result;
    if (SendClosing()->cancel)
        return;
    if (LControl* top = GetTopLevelControl()) {
        if (LRootWindow* root = top->GetRootWindow())
            root->RequestEndModal(result);
    }
    SendNotification(LNotification::Create(u"NID_DIALOG_CLOSED"));
    OnClose();
}

}  // namespace Tavo
