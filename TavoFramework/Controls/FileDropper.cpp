#include "Controls/FileDropper.h"

#include "Notification/NotificationParams.h"

namespace Tavo {

namespace {
constexpr int32_t kDragAndDrop = 1;
constexpr int32_t kBothAxes = 3;
}  // namespace

LFileDropper::~LFileDropper() = default;

void LFileDropper::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (!conditions)
        return;
    const bool pressed = (conditions->mConditions & kConditionLeftPressed) != 0;
    const bool wasPressed = (conditions->mPreviousConditions & kConditionLeftPressed) != 0;
    if (pressed && !wasPressed) {
        SetDragMode(kDragAndDrop, kBothAxes);
        // First in its parent's tab order while it is carried.
        Layout().tabStop = 0;
        if (mParent)
            mParent->GetChildren().Changed();
    }
}

TavoResult LFileDropper::EndDrag()
{
    // The parent may hold the last reference: stay alive until we return.
    RCPtr<LControl> self(this);
    const TavoResult result = LControl::EndDrag();
    // A stale parent link (no longer in the parent's list) leaves us in place.
    if (mParent && mParent->IndexOfChild(this) >= 0)
        mParent->RemoveChild(self);
    return result;
}

TavoResult LFileDropper::Finalize()
{
    SetNotFocusable(true);
    SetVisible(true);
    return S_OK;
}

}  // namespace Tavo
