// Mouse and key input of a control. Minimal bodies: nothing is handled.
#include "ControlBase/Control.h"
#include "Window/RootWindow.h"

namespace Tavo
{

TavoResult LControl::UITarget_MouseEnter()
{
    return S_FALSE;
}
TavoResult LControl::UITarget_MouseMove(const RCPtr<LPointWithModifiersParam>&)
{
    return S_FALSE;
}
TavoResult LControl::UITarget_MouseDown(const RCPtr<LMouseButtonParam>&)
{
    return S_FALSE;
}
TavoResult LControl::UITarget_MouseUp(const RCPtr<LMouseButtonParam>&)
{
    return S_FALSE;
}
TavoResult LControl::UITarget_MouseLeave()
{
    return S_FALSE;
}

TavoResult LControl::UITarget_ReleaseCapture()
{
    if (!mCapture)
        return S_FALSE;
    RCPtr<LControl> self(this);
    mCapture = false;
    mLeftPressed = mMiddlePressed = mRightPressed = false;
    mLeftDrag = mMiddleDrag = mRightDrag = false;
    if (LRootWindow* root = GetRootWindow())
        if (root->GetCaptureControl().Get() == this)
            root->ReleaseCaptureControl();
    UpdateConditions();
    return S_OK;
}

TavoResult LControl::UITarget_Key(const RCPtr<LKeyParam>&)
{
    return S_FALSE;
}
TavoResult LControl::UITarget_WheelVertical(const RCPtr<LMouseWheelParam>&)
{
    return S_FALSE;
}
TavoResult LControl::UITarget_WheelHorizontal(const RCPtr<LMouseWheelParam>&)
{
    return S_FALSE;
}
TavoResult LControl::UITarget_Deactivate()
{
    return S_OK;
}

bool LControl::IsTransparentAt(const PointT<int32_t>&)
{
    return false;
}
uint32_t LControl::GetLookColorAt(const PointT<int32_t>&, int32_t)
{
    return 0x00FFFFFFu;
}
RCPtr<LControl> LControl::HitTest(const PointT<int32_t>&, PointT<int32_t>&, bool)
{
    return nullptr;
}
TavoResult LControl::TakeFocusFromChild(const RCPtr<LControl>&)
{
    return S_FALSE;
}
bool LControl::ContainsPoint(const PointT<int32_t>& point)
{
    return HitTestPoint(point);
}

bool LControl::HitTestPoint(const PointT<int32_t>& point)
{
    const RectT<int32_t> r = ToIntRect(RectT<double>{mX, mY, mWidth, mHeight});
    return point.x >= r.x && point.y >= r.y && int64_t(point.x) < int64_t(r.x) + r.width &&
           int64_t(point.y) < int64_t(r.y) + r.height;
}

TavoResult LControl::TakeFocusOnPress()
{
    return S_FALSE;
}
TavoResult LControl::OnSiblingKey(const RCPtr<LKeyParam>&)
{
    return S_FALSE;
}
TavoResult LControl::RouteUnhandledKey(const RCPtr<LKeyParam>&)
{
    return S_FALSE;
}
TavoResult LControl::ProcessTabKey(const RCPtr<LKeyParam>&)
{
    return S_FALSE;
}
TavoResult LControl::SubscribeSiblingKeys()
{
    return S_OK;
}

} // namespace Tavo
