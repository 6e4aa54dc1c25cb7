#include "Controls/ScrollView.h"

#include "Controls/Scrollbar.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

constexpr double kExtentLimit = 4503599627370496.0;
constexpr double kExtentTolerance = 2.220446049250313e-15;
constexpr uint32_t kModifierShift = 0x8;
constexpr uint32_t kModifierAlt = 0x40;

double ClampExtent(double v)
{
    return std::clamp(v, -kExtentLimit, kExtentLimit);
}

// Switches in create parameters are exact "true", blanks around allowed.
bool IsSwitchOn(const LControl& control, const char16_t* name)
{
    WString value;
    return control.GetProperty(name, value) && value.Trim() == u"true";
}

}  // namespace

TavoResult LScrollView::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                            const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LControl::ReceiveNotification(sender, notification);
}

TavoResult LScrollView::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LControl::Unsubscribe(distributor, name);
}

TavoResult LScrollView::Initialize()
{
    const TavoResult base = LControl::Initialize();
    if (Failed(base))
        return base;
    mHandler = ScrollViewHandler::Create(this);
    mCorner = FindChildByName(u"corner");
    mHBar = RCPtrDynamicCast<LScrollbar>(FindChildByName(u"hBar"));
    mVBar = RCPtrDynamicCast<LScrollbar>(FindChildByName(u"vBar"));
    SetUpBars();
    return S_OK;
}

void LScrollView::SetUpBars()
{
    mBarThickness = {0, 0};
    if (mCorner) {
        LLayoutDescriptor::Axis x, y;
        mCorner->GetPlacement(0, x);
        mCorner->GetPlacement(1, y);
        mBarThickness = {x.sizeAbs, y.sizeAbs};
    }
    if (mHBar) {
        if (!IsCreated())
            mHandler->AddHandler(&LScrollView::OnBarValueChange, mHBar, u"NID_VALUE_CHANGE");
        if (mBarThickness.y == 0)
            mBarThickness.y = mHBar->GetHeight();
    }
    if (mVBar) {
        if (!IsCreated())
            mHandler->AddHandler(&LScrollView::OnBarValueChange, mVBar, u"NID_VALUE_CHANGE");
        if (mBarThickness.x == 0)
            mBarThickness.x = mVBar->GetWidth();
    }
    RefreshScrollbars();
}

TavoResult LScrollView::ApplyProperties()
{
    const TavoResult result = LControl::ApplyProperties();
    if (mDescriptor && mDescriptor->GetCreateParams()) {
        mAutoExtentMode = (IsSwitchOn(*this, u"AUTO_CLIENT_EXTENT_X") ? 1 : 0) +
                          (IsSwitchOn(*this, u"AUTO_CLIENT_EXTENT_Y") ? 2 : 0);
        mAutoExtentMargin = {0, 0};
        UpdateAutoClientExtent();
    }
    return result;
}

TavoResult LScrollView::SetDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    if (!IsCreated())
        return LControl::SetDescriptor(descriptor);
    // A new skin: the bars are set up again before the extent follows the
    // children, or the half-applied layout would feed back into the bars.
    const int32_t mode = mAutoExtentMode;
    mAutoExtentMode = 0;
    const TavoResult result = LControl::SetDescriptor(descriptor);
    if (mHandler)
        SetUpBars();
    mAutoExtentMode = mode;
    UpdateAutoClientExtent();
    RefreshScrollbars();
    ClampScrollPosition();
    return result;
}

TavoResult LScrollView::SetAutoClientExtent(int32_t mode, int32_t marginX, int32_t marginY)
{
    mAutoExtentMode = mode;
    mAutoExtentMargin = {marginX, marginY};
    UpdateAutoClientExtent();
    return S_OK;
}

PointT<int32_t> LScrollView::GetChildrenExtent()
{
    PointT<int32_t> extent{0, 0};
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        RCPtr<LControl> child = mChildren.GetAt(i);
        const RectT<int32_t> r =
            ToIntRect(RectT<double>{child->GetX(), child->GetY(), child->GetWidth(), child->GetHeight()});
        const LLayoutDescriptor* layout = child->GetLayout().Get();
        // Docked children stay in view as the content scrolls.
        if (!layout || !layout->x.docked)
            extent.x =
                std::max(extent.x,
                         int32_t(std::clamp(int64_t(r.x) + r.width, int64_t(INT32_MIN), int64_t(INT32_MAX))));
        if (!layout || !layout->y.docked)
            extent.y = std::max(extent.y, int32_t(std::clamp(int64_t(r.y) + r.height, int64_t(INT32_MIN),
                                                             int64_t(INT32_MAX))));
    }
    return extent;
}

TavoResult LScrollView::UpdateAutoClientExtent()
{
    if (mAutoExtentMode == 0)
        return S_FALSE;
    const PointT<int32_t> children = GetChildrenExtent();
    const PointT<double> e{ClampExtent(double(children.x) + mAutoExtentMargin.x),
                           ClampExtent(double(children.y) + mAutoExtentMargin.y)};
    switch (mAutoExtentMode) {
    case 1:
        return SetClientExtent({e.x, mClientExtent.y});
    case 2:
        return SetClientExtent({mClientExtent.x, e.y});
    case 3:
        return SetClientExtent(e);
    default:
        return S_OK;
    }
}

TavoResult LScrollView::SetClientExtent(const PointT<double>& extent)
{
    if (std::fabs(extent.x - mClientExtent.x) < kExtentTolerance &&
        std::fabs(extent.y - mClientExtent.y) < kExtentTolerance)
        return S_FALSE;
    mClientExtent = extent;
    RCPtr<LControl> self(this);
    ClientExtentChanged();
    Notify(u"NID_CLIENT_EXTENT_CHANGE");
    return S_OK;
}

void LScrollView::ClientExtentChanged()
{
    RefreshScrollbars();
    if (mLayoutChildrenOnResize)
        for (uint32_t i = 0; i < mChildren.Count(); ++i) {
            RCPtr<LControl> child = mChildren.GetAt(i);
            child->UITarget_UpdateGeometry(RoundToInt32(mWidth), RoundToInt32(mHeight));
        }
}

bool LScrollView::IsScrollbarShown(int32_t axis) const
{
    const LScrollbar* bar = axis == 0 ? mHBar.Get() : mVBar.Get();
    if (!bar)
        return false;
    const LLayoutDescriptor* layout = bar->GetLayout().Get();
    return (!layout || layout->visible) && bar->GetWidth() > 0 && bar->GetHeight() > 0;
}

PointT<double> LScrollView::GetScrollbarThickness() const
{
    if (mCorner)
        return {mCorner->GetWidth(), mCorner->GetHeight()};
    return {mVBar ? mVBar->GetWidth() : 0.0, mHBar ? mHBar->GetHeight() : 0.0};
}

RectT<double> LScrollView::GetClientRect()
{
    RectT<double> r = LControl::GetClientRect();
    const PointT<double> thickness = GetScrollbarThickness();
    if (IsScrollbarShown(1))
        r.width -= thickness.x;
    if (IsScrollbarShown(0))
        r.height -= thickness.y;
    r.width = std::max(0.0, r.width);
    r.height = std::max(0.0, r.height);
    return r;
}

RectT<double> LScrollView::GetScrollLimits()
{
    const RectT<double> client = GetClientRect();
    const double maxX = mClientExtent.x > 0 ? std::max(0.0, mClientExtent.x - client.width) : kExtentLimit;
    const double maxY = mClientExtent.y > 0 ? std::max(0.0, mClientExtent.y - client.height) : kExtentLimit;
    return {0, 0, maxX, maxY};
}

PointT<double> LScrollView::GetMaximumSize()
{
    const PointT<double> base = LControl::GetMaximumSize();
    if (!mLayout)
        return base;
    const bool xSelf = mLayout->x.maxRef == 0, ySelf = mLayout->y.maxRef == 0;
    if (xSelf && ySelf)
        return base;
    const PointT<int32_t> children = GetChildrenExtent();
    return {xSelf ? base.x : double(children.x), ySelf ? base.y : double(children.y)};
}

RectT<double> LScrollView::GetContentRect()
{
    const RectT<double> client = GetClientRect();
    const RectT<double> children = GetChildrenBounds();
    return {std::max(0.0, mScrollX), std::max(0.0, mScrollY),
            std::max(1.0, std::min(client.width, children.x + children.width)),
            std::max(1.0, std::min(client.height, children.y + children.height))};
}

void LScrollView::ScrollRectIntoView(const RCPtr<LControl>& child)
{
    if (!mRefreshing && !mSettingOffset && !mResizing && child) {
        const LLayoutDescriptor* layout = child->GetLayout().Get();
        if (layout && layout->x.docked && layout->y.docked)
            RefreshScrollbars();
        else
            UpdateAutoClientExtent();
    }
    LControl::ScrollRectIntoView(child);
}

void LScrollView::ChildRemoved(const RCPtr<LControl>& child, int32_t index)
{
    if (GetRootWindow())
        UpdateAutoClientExtent();
    LControl::ChildRemoved(child, index);
}

void LScrollView::GetLookNaturalSize()
{
    mResizing = true;
    LControl::GetLookNaturalSize();
}

void LScrollView::ClampScrollPosition()
{
    LControl::ClampScrollPosition();
    mResizing = false;
    UpdateAutoClientExtent();
    RefreshScrollbars();
}

TavoResult LScrollView::RefreshScrollbars()
{
    if (mRefreshing)
        return S_FALSE;
    mRefreshing = true;
    RCPtr<LControl> self(this);
    const PointT<double> thickness = GetScrollbarThickness();
    const bool vBefore = thickness.x > 0, hBefore = thickness.y > 0;
    const RectT<double> old = GetClientRect();
    const double fullWidth = old.width + (IsScrollbarShown(1) ? thickness.x : 0);
    const double fullHeight = old.height + (IsScrollbarShown(0) ? thickness.y : 0);
    UpdateAutoClientExtent();
    bool needV = mClientExtent.y > fullHeight;
    const bool needH = mClientExtent.x > fullWidth - (needV ? mBarThickness.x : 0);
    if (needH && !needV)
        needV = mClientExtent.y > fullHeight - mBarThickness.y;
    SetScrollbarShown(1, needV);
    SetScrollbarShown(0, needH);
    UpdateScrollbars();
    const PointT<double> after = GetScrollbarThickness();
    if ((after.x > 0) != vBefore)
        ScrollbarShownChanged(1);
    if ((after.y > 0) != hBefore)
        ScrollbarShownChanged(0);
    const RectT<double> now = GetClientRect();
    if (now.x != old.x || now.y != old.y || now.width != old.width || now.height != old.height)
        ClientRectChanged();
    UpdateAutoClientExtent();
    mRefreshing = false;
    return S_OK;
}

void LScrollView::SetScrollbarShown(int32_t axis, bool shown)
{
    LScrollbar* bar = axis == 0 ? mHBar.Get() : mVBar.Get();
    if (!bar || IsScrollbarShown(axis) == shown)
        return;
    RCPtr<LControl> target = mCorner ? mCorner : RCPtr<LControl>(bar);
    const int32_t across = axis == 0 ? 1 : 0;
    LLayoutDescriptor::Axis spec;
    target->GetPlacement(across, spec);
    spec.sizeRef = 2;
    spec.sizeAbs = shown ? std::trunc(axis == 0 ? mBarThickness.y : mBarThickness.x) : 0.0;
    target->SetAxisPlacement(across, spec);
}

void LScrollView::UpdateScrollbars()
{
    UpdateBar(0);
    UpdateBar(1);
}

void LScrollView::UpdateBar(int32_t axis)
{
    RCPtr<LScrollbar> bar = axis == 0 ? mHBar : mVBar;
    if (!bar || !bar->GetParent())
        return;
    const RectT<double> client = GetClientRect();
    if (mScrollUnit[axis] == 0) {
        const double view = axis == 0 ? client.width : client.height;
        const double extent = axis == 0 ? mClientExtent.x : mClientExtent.y;
        float page = 1.0f, step = 1.0f;
        if (extent > view) {
            page = float(view / extent);
            step = std::clamp(float(view / (extent - view)), 0.0f, 1.0f);
        }
        bar->SetValueRange(0.0, extent - view, 0);
        bar->mThumbFraction = page;
        bar->UpdateThumbSize();
        bar->mPageStep = step;
        bar->mLineStep = step / 10.0;
        double offset = RoundCoordinate((extent - view) * bar->GetValue());
        if (offset < 0)
            offset = 0;
        const PointT<double> present = GetScrollOffset();
        if ((axis == 0 ? present.x : present.y) != offset)
            SetScrollOffset(axis == 0 ? PointT<double>{offset, present.y}
                                      : PointT<double>{present.x, offset});
        return;
    }
    // Rows: the bar's range counts rows, so the first visible row stays put.
    const int32_t line = std::max(1, mLineSize[1]);
    const double rows = std::trunc(mClientExtent.y / line);
    const double visible = std::trunc(client.height / line);
    const double step = rows > visible ? 1.0 / (rows - visible) : 1.0;
    bar->mLineStep = step;
    bar->mPageStep = std::min(visible * step, 1.0);
    bar->mThumbFraction = rows > visible ? visible / rows : 1.0;
    bar->UpdateThumbSize();
    const double top = bar->NormalizedToValue(bar->GetValue());
    const double max = rows > visible ? rows - visible : 0.0;
    bar->SetValueRange(0.0, max, 0);
    bar->SetValue(bar->ValueToNormalized(std::min(top, max)));
}

void LScrollView::SetScrollUnit(int32_t axis, int32_t unit, int32_t lineSize)
{
    if (axis != 0 && axis != 1)
        return;
    mScrollUnit[axis] = unit;
    mLineSize[axis] = lineSize;
    RefreshScrollbars();
}

TavoResult LScrollView::OnBarValueChange(const RCPtr<LNotificationDistributor>& sender,
                                         const RCPtr<LNotification>&)
{
    const PointT<double> present = GetScrollOffset();
    for (int32_t axis = 0; axis < 2; ++axis) {
        LScrollbar* bar = axis == 0 ? mHBar.Get() : mVBar.Get();
        if (!bar || static_cast<LNotificationDistributor*>(bar) != sender.Get())
            continue;
        const double v = bar->NormalizedToValue(bar->GetValue());
        const double pixels = mScrollUnit[axis] == 0 ? RoundCoordinate(v) : std::trunc(v) * mLineSize[axis];
        SetScrollOffset(axis == 0 ? PointT<double>{pixels, present.y} : PointT<double>{present.x, pixels});
    }
    return S_OK;
}

TavoResult LScrollView::SetScrollOffset(const PointT<double>& offset)
{
    mSettingOffset = true;
    const TavoResult result = LControl::SetScrollOffset(offset);
    mSettingOffset = false;
    return result;
}

void LScrollView::UpdateScrollState()
{
    const PointT<double> offset = GetScrollOffset();
    const RectT<double> client = GetClientRect();
    for (int32_t axis = 0; axis < 2; ++axis) {
        RCPtr<LScrollbar> bar = axis == 0 ? mHBar : mVBar;
        if (!bar)
            continue;
        const double range =
            std::max(0.0, axis == 0 ? mClientExtent.x - client.width : mClientExtent.y - client.height);
        const double position = axis == 0 ? offset.x : offset.y;
        // The bar tells its other subscribers; the view does not follow its own move.
        if (mHandler && mHandler->FindHandler(bar, u"NID_VALUE_CHANGE")) {
            CAutoNotificationDisabler<LScrollView> quiet(mHandler, bar, u"NID_VALUE_CHANGE");
            bar->SetValue(range == 0 ? 0.0 : position / range);
        } else
            bar->SetValue(range == 0 ? 0.0 : position / range);
    }
    LControl::UpdateScrollState();
}

TavoResult LScrollView::ScrollByWheel(LScrollbar* bar, uint32_t modifiers, bool increase)
{
    const double step = (modifiers & kModifierShift) ? bar->mPageStep : bar->mLineStep;
    bar->SetValue(bar->GetValue() + (increase ? step : -step));
    return S_OK;
}

TavoResult LScrollView::OnWheel(const RCPtr<LMouseWheelParam>& param)
{
    const bool h = IsScrollbarShown(0), v = IsScrollbarShown(1);
    if (!param || (!h && !v))
        return S_FALSE;
    LScrollbar* bar = mVBar.Get();
    if ((h && !v) || (h && v && (param->mModifiers & kModifierAlt)))
        bar = mHBar.Get();
    return ScrollByWheel(bar, param->mModifiers, param->mDirection == LMouseWheelParam::kDown);
}

TavoResult LScrollView::OnWheelEvent(const RCPtr<LMouseWheelParam>& param)
{
    const bool h = IsScrollbarShown(0), v = IsScrollbarShown(1);
    if (!param || (!h && !v))
        return S_FALSE;
    LScrollbar* bar = h ? mHBar.Get() : mVBar.Get();
    return ScrollByWheel(bar, param->mModifiers, param->mDirection == LMouseWheelParam::kLeft);
}

}  // namespace Tavo
