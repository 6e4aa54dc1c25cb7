// Drawing, invalidation and the placement pass of a control. Minimal bodies:
// the dirty area is kept, nothing is drawn and placement keeps the bounds.
#include "ControlBase/Control.h"
#include "Window/RootWindow.h"

namespace Tavo
{

TavoResult LControl::Draw(LRenderer*, const RectRegion&, std::vector<RCPtr<LControl>>&, bool)
{
    return S_OK;
}

void LControl::InvalidateLocalRect(const RectT<double>& rect, bool propagate)
{
    if (!(rect.width > 0) || !(rect.height > 0))
        return;
    LRect::ToIntRect(rect, mDirty);
    if (!propagate)
        return;
    const PointT<double> p = GetPositionInParent();
    const RectT<double> moved{rect.x + p.x, rect.y + p.y, rect.width, rect.height};
    if (mParent)
        mParent->InvalidateLocalRect(moved, !mParent->GetLayout() || mParent->GetLayout()->clipToParent);
    else if (mRootWindow)
        mRootWindow->InvalidateRect(moved);
}

void LControl::InvalidateRect(const RectT<double>& rect, bool propagate)
{
    InvalidateLocalRect(rect, propagate);
}

void LControl::RepaintAfterStateChange() {}

TavoResult LControl::UpdateGeometry()
{
    return mLayout ? S_FALSE : E_FAIL;
}

} // namespace Tavo
