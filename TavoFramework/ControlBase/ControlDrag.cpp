// Dragging, scrolling, idle requests, tooltips and context menus of a
// control. Minimal bodies: nothing moves and no idle turn is requested.
#include "ControlBase/Control.h"

namespace Tavo
{

TavoResult LControl::BeginDrag()
{
    return S_OK;
}
TavoResult LControl::RebaseDrag()
{
    return S_OK;
}
TavoResult LControl::DragUpdate(const RCPtr<LPointWithModifiersParam>&)
{
    return S_OK;
}
TavoResult LControl::EndDrag()
{
    return S_OK;
}
RCPtr<LControl> LControl::FindDropTarget(LControl*, const PointT<int32_t>&)
{
    return nullptr;
}

TavoResult LControl::SetScrollOffset(const PointT<double>& offset)
{
    mScrollX = offset.x;
    mScrollY = offset.y;
    return S_OK;
}

TavoResult LControl::RequestIdle()
{
    ++mIdleRequests;
    return S_OK;
}

TavoResult LControl::CancelIdle()
{
    if (mIdleRequests <= 0)
        return E_FAIL;
    --mIdleRequests;
    return S_OK;
}

TavoResult LControl::HandleIdleNotification(const RCPtr<LNotificationDistributor>&,
                                            const RCPtr<LNotification>&)
{
    OnIdle();
    return S_OK;
}

TavoResult LControl::ShowToolTip(bool)
{
    return S_FALSE;
}
RCPtr<LControl> LControl::GetToolTip()
{
    return nullptr;
}
TavoResult LControl::OpenContextMenu(const RCPtr<LMenuDescriptor>&)
{
    return S_FALSE;
}

} // namespace Tavo
