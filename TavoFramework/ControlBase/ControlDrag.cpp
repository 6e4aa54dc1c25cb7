// Dragging, drop targets, automatic scrolling and flings, the scroll offset,
// idle requests and the idle step, tooltips and context menus of a control.
#include "Application/AppClock.h"
#include "ControlBase/Control.h"
#include "ControlBase/ToolTipTarget.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/MenuDescriptor.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

constexpr double kDoubleRange = 4503599627370496.0;
constexpr double kEdgeZone = 30.0;
constexpr double kAutoScrollStep = 15.0;
constexpr uint32_t kFlingWindowMs = 100;
constexpr double kFlingMinimumSpeed = 1000.0;
constexpr uint32_t kFlingCoastMs = 1000;
constexpr uint32_t kPressReplayMs = 100;

double Coord(const PointT<double>& p, int axis)
{
    return axis == 0 ? p.x : p.y;
}

double& Coord(PointT<double>& p, int axis)
{
    return axis == 0 ? p.x : p.y;
}

CursorHandle NamedCursor(const char16_t* name)
{
    const auto& lookup = ControlEnvironment().cursor;
    return lookup ? lookup(name) : 0;
}

}  // namespace

double LControl::RoundCoordinate(double v)
{
    return v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
}

void LControl::RoundPoint(PointT<double>& point)
{
    point.x = RoundCoordinate(point.x);
    point.y = RoundCoordinate(point.y);
}

// ---------------------------------------------------------------------------
// Dragging

TavoResult LControl::BeginDrag()
{
    if (!mLeftDrag)
        return S_FALSE;
    RCPtr<LControl> self(this);
    if (mDrag.mode == 1) {
        mDrag.dropTarget = nullptr;
        mDrag.clipWasOff = !(mLayout && mLayout->clipToParent);
        SetClipToParent(false);
        // Carried in view coordinates: placed absolutely, the control stays
        // under the pointer while the content below it scrolls.
        const PointT<double> scroll = mParent ? mParent->GetScrollOffset() : PointT<double>{};
        bool* wasAbsolute[2] = {&mDrag.xWasAbsolute, &mDrag.yWasAbsolute};
        for (int a = 0; a < 2; ++a) {
            LLayoutDescriptor::Axis spec;
            GetPlacement(a, spec);
            *wasAbsolute[a] = spec.docked;
            if (spec.docked)
                continue;
            spec.docked = true;
            spec.positionAbs -= Coord(scroll, a);
            SetAxisPlacement(a, spec);
        }
    }
    SaveDragStart();
    return S_OK;
}

void LControl::SaveDragStart()
{
    mDrag.savedWidth = mWidth;
    mDrag.savedHeight = mHeight;
    const PointT<double> parentScroll = mParent ? mParent->GetScrollOffset() : PointT<double>{};
    mDrag.savedScrollX = parentScroll.x;
    mDrag.savedScrollY = parentScroll.y;
    mDrag.deltaX = mDrag.deltaY = 0;
    const LLayoutDescriptor& layout = Layout();
    mDragStart[0] = {layout.x.positionAbs, layout.x.sizeAbs};
    mDragStart[1] = {layout.y.positionAbs, layout.y.sizeAbs};
}

TavoResult LControl::DragUpdate(const RCPtr<LPointWithModifiersParam>& pointer)
{
    if (!pointer || mDrag.mode == 0)
        return S_FALSE;
    RCPtr<LControl> self(this);
    mDrag.inUpdate = true;
    // The pointer is given in this control's coordinates before the move below.
    const PointT<int32_t> windowPoint = ToWindowPoint({pointer->mX, pointer->mY});
    const int32_t mode = mDrag.mode, axes = mDrag.edges;
    const PointT<double> press{mPressX, mPressY};
    PointT<double> d{mX + pointer->mX - press.x, mY + pointer->mY - press.y};
    PointT<double> lo{-kDoubleRange, -kDoubleRange}, hi{kDoubleRange, kDoubleRange};
    // Distance into an edge zone per axis, signed by direction; 0 none.
    double zoneDepth[2] = {0, 0};
    const bool axisCounts[2] = {(axes & (1 | 4 | 8)) != 0, (axes & (2 | 0x10 | 0x20)) != 0};

    if (mode >= 2 && mode <= 5 && mParent) {
        RectT<double> area = mParent->GetDragRect();
        const PointT<double> scroll = mParent->GetScrollOffset();
        area.x += scroll.x;
        area.y += scroll.y;
        const double start[2] = {area.x, area.y}, extent[2] = {area.width, area.height};
        const double startSize[2] = {mDrag.savedWidth, mDrag.savedHeight};
        const bool nearEdge[2] = {(axes & 4) != 0, (axes & 0x10) != 0};
        const bool farEdge[2] = {(axes & 8) != 0, (axes & 0x20) != 0};
        for (int a = 0; a < 2; ++a) {
            Coord(lo, a) = start[a] - Coord(press, a);
            Coord(hi, a) = start[a] + extent[a] - Coord(press, a);
            if (mode >= 4) {
                // Outward an edge moves less than the start size; a control
                // of a pixel or less would then never grow, so it is not held.
                if (startSize[a] > 1) {
                    if (nearEdge[a] && Coord(lo, a) <= -startSize[a])
                        Coord(lo, a) = 1 - startSize[a];
                    if (farEdge[a] && Coord(hi, a) >= startSize[a])
                        Coord(hi, a) = startSize[a] - 1;
                }
                // Inward an edge stops a pixel short of the opposite one: a
                // control of no size takes no hits and could not be grabbed
                // again.
                const double room = std::max(0.0, startSize[a] - 1);
                if (nearEdge[a])
                    Coord(hi, a) = std::max(Coord(lo, a), std::min(Coord(hi, a), room));
                else if (farEdge[a])
                    Coord(lo, a) = std::min(Coord(hi, a), std::max(Coord(lo, a), -room));
            }
            if ((mode == 3 || mode == 5) && axisCounts[a]) {
                const double zone = std::max(0.0, kEdgeZone + std::min(0.0, Coord(scroll, a)));
                const double at = Coord(press, a) + Coord(d, a);
                if (at < start[a] + extent[a] / 2) {
                    if (Coord(d, a) - Coord(lo, a) < zone)
                        zoneDepth[a] = -(zone - (Coord(d, a) - Coord(lo, a)));
                } else if (Coord(hi, a) - Coord(d, a) < zone)
                    zoneDepth[a] = zone - (Coord(hi, a) - Coord(d, a));
            }
        }
    }
    if (mode < 6) {
        for (int a = 0; a < 2; ++a) {
            const double clamped = std::clamp(Coord(d, a), Coord(lo, a), Coord(hi, a));
            if (clamped != Coord(d, a))
                zoneDepth[a] = 0;
            Coord(d, a) = clamped;
        }
        mDrag.deltaX = d.x;
        mDrag.deltaY = d.y;
    }

    if (mode >= 1 && mode <= 5) {
        const PointT<double> scroll = mParent ? mParent->GetScrollOffset() : PointT<double>{};
        const double savedScroll[2] = {mDrag.savedScrollX, mDrag.savedScrollY};
        for (int a = 0; a < 2; ++a) {
            LLayoutDescriptor::Axis spec;
            GetPlacement(a, spec);
            const double delta = Coord(d, a);
            // An absolute placement already moves with the parent's scrolling.
            const double shift = spec.docked ? Coord(scroll, a) - savedScroll[a] : 0.0;
            bool changed = false;
            if (mode <= 3 && (axes & (a == 0 ? 1 : 2))) {
                spec.positionAbs = mDragStart[a].position + delta - shift;
                changed = true;
            } else if (mode >= 4) {
                if (axes & (a == 0 ? 4 : 0x10)) {
                    spec.positionAbs = mDragStart[a].position + delta - shift;
                    spec.sizeAbs = mDragStart[a].size - delta;
                    changed = true;
                } else if (axes & (a == 0 ? 8 : 0x20)) {
                    spec.sizeAbs = mDragStart[a].size + delta;
                    changed = true;
                }
            }
            if (changed)
                SetAxisPlacement(a, spec);
        }
    }

    if (mode == 6) {
        const double dt = int32_t(mMoveMs - mPreviousMoveMs) / 1000.0;
        if (dt > 0) {
            const PointT<double> previous{mDrag.deltaX, mDrag.deltaY};
            PointT<double> scroll = GetScrollOffset();
            const RectT<double> limits = mParent ? mParent->GetDragLimits() : GetDragLimits();
            const double limitStart[2] = {limits.x, limits.y}, limitExtent[2] = {limits.width, limits.height};
            bool scrolled = false;
            for (int a = 0; a < 2; ++a) {
                const double delta = Coord(previous, a) - Coord(d, a);
                double& v = mDragVelocity[a];
                v = (v != 0 && dt < 0.2) ? 0.5 * delta / dt + 0.5 * v : delta / dt;
                if ((axes == 3 || axes == a + 1) && delta != 0) {
                    Coord(scroll, a) =
                        std::clamp(Coord(scroll, a) + delta, limitStart[a], limitStart[a] + limitExtent[a]);
                    scrolled = true;
                }
            }
            if (scrolled)
                SetScrollOffset(scroll);
        }
        mDrag.deltaX = d.x;
        mDrag.deltaY = d.y;
    }

    LControl* scrolled = nullptr;
    if (mode == 3 || mode == 5)
        scrolled = mParent;
    else if (mode == 1)
        scrolled = UpdateDropTarget(windowPoint, zoneDepth);
    if (scrolled) {
        const RectT<double> limits = scrolled->GetDragLimits();
        const double limitStart[2] = {limits.x, limits.y}, limitExtent[2] = {limits.width, limits.height};
        for (int a = 0; a < 2; ++a) {
            if (zoneDepth[a] == 0) {
                scrolled->StopAutoScroll(a);
                continue;
            }
            const double speed =
                (std::fabs(zoneDepth[a]) + 1) * kAutoScrollStep * (zoneDepth[a] < 0 ? -1 : 1);
            scrolled->StartAutoScroll(a, speed, limitStart[a], limitStart[a] + limitExtent[a], self, false);
        }
    }
    OnDragUpdated(pointer);
    mDrag.inUpdate = false;
    return S_OK;
}

LControl* LControl::UpdateDropTarget(const PointT<int32_t>& windowPoint, double zoneDepth[2])
{
    RCPtr<LControl> self(this);
    mHitTestExcluded = true;
    PointT<int32_t> local;
    // Not strict: what lies under a carried control is found among the
    // floating controls and beneath them (FindDropTarget).
    RCPtr<LControl> hit = HitTestFromTop(windowPoint, local, false);
    mHitTestExcluded = false;
    RCPtr<LControl> target = hit ? hit->FindDropTarget(this, windowPoint) : RCPtr<LControl>();
    LRootWindow* root = GetRootWindow();
    if (target && target == mDrag.dropTarget)
        target->DragOver(this, windowPoint);
    else if (target != mDrag.dropTarget) {
        if (RCPtr<LControl> old = mDrag.dropTarget) {
            old->StopAutoScroll(0);
            old->StopAutoScroll(1);
            old->DragLeave(this);
        }
        mDrag.dropTarget = target;
        if (target) {
            target->DragEnter(this);
            if (root)
                root->SetCursor(NamedCursor(u"UI_CURSOR_DROP_MOVE"));
        }
    }
    if (!target) {
        if (root)
            root->SetCursor(NamedCursor(u"UI_CURSOR_NO_DROP"));
        return nullptr;
    }
    const uint32_t edges = target->GetDropScrollEdges(this);
    const PointT<double> origin = target->GetAbsolutePosition();
    const RectT<double> client = target->GetLookClientRect(-1);
    const PointT<double> scroll = target->GetScrollOffset();
    const double at[2] = {windowPoint.x - origin.x - client.x + scroll.x,
                          windowPoint.y - origin.y - client.y + scroll.y};
    const double visibleStart[2] = {scroll.x, scroll.y};
    const double visibleEnd[2] = {scroll.x + client.width, scroll.y + client.height};
    const uint32_t nearBits[2] = {8, 0x10}, farBits[2] = {4, 0x20};
    for (int a = 0; a < 2; ++a) {
        zoneDepth[a] = 0;
        if ((edges & nearBits[a]) && at[a] - visibleStart[a] < kEdgeZone)
            zoneDepth[a] = -(kEdgeZone - (at[a] - visibleStart[a]));
        else if ((edges & farBits[a]) && visibleEnd[a] - at[a] < kEdgeZone)
            zoneDepth[a] = kEdgeZone - (visibleEnd[a] - at[a]);
    }
    return target.Get();
}

RCPtr<LControl> LControl::FindDropTarget(LControl* dragged, const PointT<int32_t>& point)
{
    std::vector<RCPtr<LControl>> skipped;
    RCPtr<LControl> control(this);
    while (control) {
        if (control->AcceptsDrop(dragged))
            return control;
        if (control->mLayout && !control->mLayout->clipToParent) {
            // A floating control: look beneath it instead of at its parent.
            if (std::find(skipped.begin(), skipped.end(), control) != skipped.end())
                return nullptr;
            skipped.push_back(control);
            const bool draggedExcluded = dragged ? dragged->mHitTestExcluded : false;
            for (const auto& c : skipped)
                c->mHitTestExcluded = true;
            if (dragged)
                dragged->mHitTestExcluded = true;
            PointT<int32_t> local;
            RCPtr<LControl> beneath = control->HitTestFromTop(point, local, true);
            for (const auto& c : skipped)
                c->mHitTestExcluded = false;
            if (dragged)
                dragged->mHitTestExcluded = draggedExcluded;
            control = beneath;
        } else
            control = RCPtr<LControl>(control->mParent);
    }
    return nullptr;
}

TavoResult LControl::EndDrag()
{
    RCPtr<LControl> self(this);
    if (mDrag.mode != 1) {
        if (mParent) {
            mParent->StopAutoScroll(0);
            mParent->StopAutoScroll(1);
        }
        return S_OK;
    }
    if (LRootWindow* root = GetRootWindow())
        root->SetCursor(0);
    if (!mDrag.clipWasOff)
        SetClipToParent(true);
    const PointT<double> scroll = mParent ? mParent->GetScrollOffset() : PointT<double>{};
    const bool wasAbsolute[2] = {mDrag.xWasAbsolute, mDrag.yWasAbsolute};
    for (int a = 0; a < 2; ++a) {
        LLayoutDescriptor::Axis spec;
        GetPlacement(a, spec);
        if (wasAbsolute[a] || !spec.docked)
            continue;
        spec.docked = false;
        spec.positionAbs += Coord(scroll, a);
        SetAxisPlacement(a, spec);
    }
    mDrag.xWasAbsolute = mDrag.yWasAbsolute = true;
    if (RCPtr<LControl> target = mDrag.dropTarget) {
        target->StopAutoScroll(0);
        target->StopAutoScroll(1);
        target->Drop(this);
        target->DragLeave(this);
        mDrag.dropTarget = nullptr;
    }
    return S_OK;
}

TavoResult LControl::RebaseDrag()
{
    if (!mLeftDrag || mDrag.mode == 0)
        return S_FALSE;
    // The drag goes on from where it is: the press point moves by what the
    // drag has done so far, and the start values are taken again.
    mPressX += mDrag.deltaX;
    mPressY += mDrag.deltaY;
    SaveDragStart();
    return S_OK;
}

void LControl::StartFling()
{
    const uint32_t now = GetAppClock().GetMilliseconds();
    if (now - mMoveMs >= kFlingWindowMs)
        return;
    const RectT<double> limits = GetDragLimits();
    const double upper[2] = {limits.x + limits.width, limits.y + limits.height};
    for (int a = 0; a < 2; ++a) {
        const bool enabled = mDrag.edges == 3 || mDrag.edges == a + 1;
        if (!enabled || std::fabs(mDragVelocity[a]) < kFlingMinimumSpeed)
            continue;
        StartAutoScroll(a, mDragVelocity[a], 0, upper[a], nullptr, true);
    }
}

// ---------------------------------------------------------------------------
// Automatic scrolling and the idle step

void LControl::StartAutoScroll(int axis, double speed, double lower, double upper,
                               const RCPtr<LControl>& dragged, bool fling)
{
    AutoScroll& s = mAutoScroll[axis];
    s.speed = speed;
    s.lower = lower;
    s.upper = upper;
    s.dragged = dragged;
    s.fling = fling;
    if (fling)
        s.flingStartMs = GetAppClock().GetMilliseconds();
    if (!s.active) {
        s.active = true;
        s.lastTime = GetAppClock().GetSecondsSinceStart();
        RequestIdle();
    }
}

void LControl::StopAutoScroll(int axis)
{
    AutoScroll& s = mAutoScroll[axis];
    s.dragged = nullptr;
    s.fling = false;
    s.speed = 0;
    if (s.active) {
        s.active = false;
        CancelIdle();
    }
}

void LControl::AnimateSize(int axis, bool grow)
{
    Animation& a = mSizeAnimation[axis];
    a.direction = grow ? 1 : -1;
    a.lastMs = GetAppClock().GetMilliseconds();
    if (!a.active) {
        a.active = true;
        RequestIdle();
    }
}

void LControl::AnimateMoveTo(int axis, double target)
{
    Animation& a = mMoveAnimation[axis];
    a.target = target;
    a.lastMs = GetAppClock().GetMilliseconds();
    if (!a.active) {
        a.active = true;
        RequestIdle();
    }
}

void LControl::DetachLater(const RCPtr<LControl>& control)
{
    if (!control)
        return;
    if (mPendingRemoval.empty())
        RequestIdle();
    mPendingRemoval.push_back(control);
}

void LControl::StepAnimations()
{
    const uint32_t now = GetAppClock().GetMilliseconds();
    for (int axis = 0; axis < 2; ++axis) {
        for (Animation* a : {&mSizeAnimation[axis], &mMoveAnimation[axis]}) {
            if (!a->active)
                continue;
            const double elapsed = double(uint32_t(now - a->lastMs));
            a->lastMs = now;
            LLayoutDescriptor::Axis spec;
            GetPlacement(axis, spec);
            if (a == &mSizeAnimation[axis])
                spec.sizeAbs =
                    a->direction > 0 ? spec.sizeAbs + elapsed : std::max(0.0, spec.sizeAbs - elapsed);
            else {
                const double gap = a->target - spec.positionAbs;
                spec.positionAbs += std::clamp(gap, -elapsed, elapsed);
            }
            SetAxisPlacement(axis, spec);
            if (UpdateGeometry() == S_FALSE) {
                a->active = false;
                CancelIdle();
            }
        }
    }
}

TavoResult LControl::HandleIdleNotification(const RCPtr<LNotificationDistributor>&,
                                            const RCPtr<LNotification>&)
{
    RCPtr<LControl> self(this);
    IAppClock& clock = GetAppClock();
    for (int axis = 0; axis < 2; ++axis) {
        AutoScroll& s = mAutoScroll[axis];
        if (!s.active)
            continue;
        const double now = clock.GetSecondsSinceStart();
        const double elapsed = now - s.lastTime;
        const double step = RoundCoordinate(s.speed * elapsed);
        s.lastTime = now;
        if (step != 0) {
            PointT<double> scroll = GetScrollOffset();
            const double moved = std::clamp(Coord(scroll, axis) + step, s.lower, s.upper);
            const bool atBound = moved != Coord(scroll, axis) + step;
            Coord(scroll, axis) = moved;
            SetScrollOffset(scroll);
            if (RCPtr<LControl> dragged = s.dragged) {
                if (LRootWindow* root = GetRootWindow()) {
                    const PointT<double> origin = dragged->GetAbsolutePosition();
                    const PointT<int32_t> mouse = root->GetMousePosition();
                    dragged->DragUpdate(LPointWithModifiersParam::Create(RoundToInt32(mouse.x - origin.x),
                                                                         RoundToInt32(mouse.y - origin.y),
                                                                         root->GetAppModifierFlags()));
                }
            }
            if (atBound && s.fling) {
                StopAutoScroll(axis);
                continue;
            }
        }
        if (s.active && s.fling && uint32_t(clock.GetMilliseconds() - s.flingStartMs) > kFlingCoastMs) {
            const double slow = RoundCoordinate(mFlingDeceleration * elapsed);
            if (std::fabs(s.speed) <= slow)
                StopAutoScroll(axis);
            else
                s.speed += s.speed > 0 ? -slow : slow;
        }
    }
    StepAnimations();
    ReplayDelayedPress();
    if (!mPendingRemoval.empty()) {
        while (!mPendingRemoval.empty()) {
            RCPtr<LControl> control = mPendingRemoval.front();
            mPendingRemoval.erase(mPendingRemoval.begin());
            control->Detach();
        }
        CancelIdle();
    }
    OnIdle();
    return S_OK;
}

void LControl::ReplayDelayedPress()
{
    if (!mPressReplayIdle)
        return;
    const bool pending = mInterceptChildren && mLeftPressed && mPressParam;
    if (pending && uint32_t(GetAppClock().GetMilliseconds() - mPressMs) <= kPressReplayMs)
        return;
    mPressReplayIdle = false;
    CancelIdle();
    RCPtr<LControl> child = mLastHitChild;
    if (!pending || !child)
        return;
    RCPtr<LMouseButtonParam> press = mPressParam->MovedTo(mLastHitLocal.x, mLastHitLocal.y);
    UITarget_ReleaseCapture();
    child->UITarget_MouseDown(press);
}

TavoResult LControl::RequestIdle()
{
    if (mIdleRequests++ != 0)
        return S_OK;
    if (LRootWindow* root = GetRootWindow()) {
        const TavoResult result = CreateHandlerTable()->AddHandler(
            &LControl::HandleIdleNotification, RCPtr<LNotificationDistributor>(root), u"NID_IDLE");
        if (Failed(result)) {
            mIdleRequests = 0;
            return result;
        }
    }
    return S_OK;
}

TavoResult LControl::CancelIdle()
{
    if (mIdleRequests <= 0)
        return S_FALSE;
    if (--mIdleRequests != 0)
        return S_OK;
    if (LRootWindow* root = GetRootWindow())
        if (Unsubscribe(RCPtr<LNotificationDistributor>(root), u"NID_IDLE") != S_OK)
            return E_FAIL;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Scroll offset

TavoResult LControl::SetScrollOffset(const PointT<double>& offset)
{
    RCPtr<LControl> self(this);
    mScrolling = true;
    // As the bounds take them: NaN counts as 0 and magnitudes stop at 2^52,
    // so that an offset equals itself and a repeated one changes nothing.
    const auto sane = [](double v) {
        return std::isnan(v) ? 0.0 : std::clamp(v, -kDoubleRange, kDoubleRange);
    };
    PointT<double> wanted{sane(offset.x), sane(offset.y)};
    RoundPoint(wanted);
    if (wanted.x != mScrollX || wanted.y != mScrollY) {
        RepaintAfterStateChange();
        const PointT<double> old{mScrollX, mScrollY};
        mScrollX = wanted.x;
        mScrollY = wanted.y;
        for (uint32_t i = 0; i < mChildren.Count(); ++i) {
            RCPtr<LControl> child = mChildren.GetAt(i);
            child->ParentScrollOffsetChanged(old, wanted);
        }
        InvalidateRect({0, 0, mWidth, mHeight}, !mLayout || mLayout->propagateInvalidation);
        UpdateScrollState();
        Notify(u"NID_SCROLL_OFFSET_CHANGE");
        if (LRootWindow* root = GetRootWindow(); root && root->GetHoverControl()) {
            const PointT<int32_t> mouse = root->GetMousePosition();
            const PointT<double> origin = GetAbsolutePosition();
            const int32_t x = RoundToInt32(ClampToDoubleRange(mouse.x) - origin.x);
            const int32_t y = RoundToInt32(ClampToDoubleRange(mouse.y) - origin.y);
            if (x >= 0 && y >= 0 && x < RoundToInt32(mWidth) && y < RoundToInt32(mHeight)) {
                PointT<int32_t> local;
                root->FindControlAtPoint(mouse, local, true);
            }
        }
    }
    mScrolling = false;
    return S_OK;
}

TavoResult LControl::ParentScrollOffsetChanged(const PointT<double>&, const PointT<double>&)
{
    // A docked control's position carries its parent's scroll offset: placed
    // again, it stays where it is in view.
    if (mLayout && (mLayout->x.docked || mLayout->y.docked))
        UpdateGeometry();
    return S_OK;
}

// ---------------------------------------------------------------------------
// Tooltip, context menu, direct delivery

TavoResult LControl::ShowToolTip(bool show)
{
    RCPtr<LControl> self(this);
    if (!show) {
        if (RCPtr<LControl> tip = FindChildByName(u"toolTip")) {
            if (auto* target = dynamic_cast<IToolTipTarget*>(tip.Get()))
                target->Close();
            else
                RemoveChild(tip);
        }
        return S_OK;
    }
    const WString text = GetToolTipText();
    const auto& factory = ControlEnvironment().factory;
    if (text.IsEmpty() || !factory)
        return S_OK;
    RCPtr<LControlDescriptor> descriptor = factory->FindDescriptorByName(u"toolTip");
    if (!descriptor)
        return S_OK;
    if (RCPtr<LControl> tip = RCPtrDynamicCast<LControl>(factory->CreateControl(descriptor, self))) {
        tip->SetText(text);
        if (auto* target = dynamic_cast<IToolTipTarget*>(tip.Get()))
            target->Open();
    }
    return S_OK;
}

RCPtr<LControl> LControl::GetToolTip()
{
    return FindChildByName(u"toolTip");
}

TavoResult LControl::OpenContextMenu(const RCPtr<LMenuDescriptor>& menu)
{
    const auto& factory = ControlEnvironment().factory;
    if (!menu || !factory)
        return S_OK;
    RCPtr<LControlDescriptor> descriptor = factory->FindDescriptorByName(u"contextMenu");
    if (!descriptor)
        return S_OK;
    RCPtr<LControl> self(this);
    RCPtr<LControl> popup = RCPtrDynamicCast<LControl>(factory->CreateControl(descriptor, self));
    if (!popup)
        return S_OK;
    popup->SetVisible(false);
    auto* host = dynamic_cast<IContextMenuHost*>(popup.Get());
    if (host)
        host->SetMenuDescriptor(menu);
    ContextMenuOpening(popup);
    if (host) {
        PointT<int32_t> at;
        if (LRootWindow* root = GetRootWindow())
            at = root->GetMousePosition();
        host->PositionAndOpen(at);
    }
    return S_OK;
}

void LControl::SendToClient(const RCPtr<LNotificationReceiver>& receiver, const char16_t* name,
                            const ConstRCPtr<LRefCountedObject>& data)
{
    RCPtr<LNotification> notification = LNotification::Create(name, data);
    if (notification && receiver)
        receiver->ReceiveNotification(nullptr, notification);
}

}  // namespace Tavo
