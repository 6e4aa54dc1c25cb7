#include "Controls/SplitterBase.h"

#include "ControlBase/ControlEnvironment.h"
#include "Notification/NotificationParams.h"
#include "System/CursorNames.h"
#include "Window/InputParams.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace Tavo {

namespace {

constexpr double kNoLimit = 4503599627370496.0;  // 2^52
constexpr double kEpsilon = 2.220446049250313e-15;
// Moved with the pointer along one axis, without scrolling the parent: the
// panes beside the bar are what changes, not the parent's view of them.
constexpr int32_t kMoveMode = 2;
constexpr int32_t kPositionClient = 1, kPositionNamed = 2;
constexpr int32_t kSizeSelf = 2, kSizeNamed = 3;

double Along(const PointT<double>& p, int32_t axis)
{
    return axis == 0 ? p.x : p.y;
}

double Extent(const LControl& c, int32_t axis)
{
    return axis == 0 ? c.GetWidth() : c.GetHeight();
}

LLayoutDescriptor::Axis Entry(const LControl& c, int32_t axis)
{
    LLayoutDescriptor::Axis spec;
    c.GetPlacement(axis, spec);
    return spec;
}

// Narrows [lo, hi] so that a pane of this size, with these limits, on this
// side of the bar at pos, keeps between its smallest and largest size.
void LimitBySibling(int32_t side, double pos, double size, double smallest, double largest, double& lo,
                    double& hi)
{
    if (side < 0) {
        lo = std::max(lo, pos - (size - smallest));
        if (largest > 0)
            hi = std::min(hi, pos + (largest - size));
    } else {
        hi = std::min(hi, pos + (size - smallest));
        if (largest > 0)
            lo = std::max(lo, pos - (largest - size));
    }
}

}  // namespace

LSplitterBase::~LSplitterBase() = default;

TavoResult LSplitterBase::Initialize()
{
    const TavoResult result = LControl::Initialize();
    const auto& cursor = ControlEnvironment().cursor;
    if (cursor)
        SetCursor(cursor(mOrientation == 0 ? UI_CURSOR_SIZE_NS() : UI_CURSOR_SIZE_WE()));
    return result;
}

int32_t LSplitterBase::SideOf(LControl& sibling) const
{
    const LLayoutDescriptor::Axis spec = Entry(sibling, GetAxis());
    const bool sized = spec.sizeRef == kSizeNamed && spec.sizeRefName == mName;
    const bool positioned =
        spec.positionRef == kPositionNamed && spec.positionRefName == mName && spec.sizeRef != kSizeSelf;
    if (!sized && !positioned)
        return 0;
    const bool after = (sized && spec.sizeRel != 0) || (positioned && spec.positionRel != 0);
    return after ? 1 : -1;
}

void LSplitterBase::ForEachFollower(const std::function<void(LControl&, int32_t)>& visit)
{
    if (!mParent)
        return;
    // Siblings laid out before the bar do not follow it.
    const int32_t order = mLayout ? mLayout->layoutOrder : 0;
    ChildControlList& siblings = mParent->GetChildren();
    for (uint32_t i = 0; i < siblings.Count(); ++i) {
        RCPtr<LControl> sibling = siblings.GetAt(i);
        const RCPtr<LLayoutDescriptor>& layout = sibling->GetLayout();
        if (layout && layout->layoutOrder > order)
            if (const int32_t side = SideOf(*sibling))
                visit(*sibling, side);
    }
}

TavoResult LSplitterBase::BeginDrag()
{
    RCPtr<LControl> self(this);
    const int32_t axis = GetAxis();
    const double pos = axis == 0 ? mX : mY;
    mDragMin = 0;
    mDragMax = kNoLimit;
    mDragStart = pos;
    LLayoutDescriptor::Axis own = Entry(*this, axis);
    mReferenceControl = own.positionRef == kPositionNamed && mParent
                            ? mParent->FindChildByName(own.positionRefName)
                            : nullptr;
    if (mReferenceControl) {
        // The bar keeps its place while the pane it hangs on changes size.
        mSavedOffset = own.positionAbs;
        mSavedFraction = own.positionRel;
        own.positionRef = kPositionClient;
        own.positionAbs = pos;
        own.positionRel = 0;
        SetAxisPlacement(axis, own);
        mReferenceSize = Entry(*mReferenceControl, axis).sizeAbs;
        const double smallest = Along(mReferenceControl->GetMinimumSize(), axis);
        const double largest = Along(mReferenceControl->GetMaximumSize(), axis);
        mDragMin = std::max(mDragMin, pos - (mReferenceSize - smallest));
        if (largest > 0)
            mDragMax = std::min(mDragMax, pos + (largest - mReferenceSize));
    }
    ForEachFollower([&](LControl& sibling, int32_t side) {
        LimitBySibling(side, pos, Extent(sibling, axis), Along(sibling.GetMinimumSize(), axis),
                       Along(sibling.GetMaximumSize(), axis), mDragMin, mDragMax);
    });
    return LControl::BeginDrag();
}

TavoResult LSplitterBase::DragUpdate(const RCPtr<LPointWithModifiersParam>& pointer)
{
    if (!pointer || !mLeftDrag)
        return LControl::DragUpdate(pointer);
    // The displacement the base derives from the pointer stays within the
    // limits: the pointer is moved back to where the bar stops.
    const bool vertical = GetAxis() == 1;
    const double press = vertical ? mPressY : mPressX, origin = vertical ? mY : mX;
    const double at = origin + (vertical ? pointer->mY : pointer->mX);
    const double d = std::max(mDragMin - mDragStart, std::min(at - press, mDragMax - mDragStart));
    const int32_t moved = RoundToInt32(press + d - origin);
    return LControl::DragUpdate(LPointWithModifiersParam::Create(vertical ? pointer->mX : moved,
                                                                 vertical ? moved : pointer->mY,
                                                                 pointer->mModifiers, pointer->mPointerId));
}

void LSplitterBase::OnDragUpdated(const RCPtr<LPointWithModifiersParam>&)
{
    if (!mReferenceControl)
        return;
    const int32_t axis = GetAxis();
    LLayoutDescriptor::Axis spec = Entry(*mReferenceControl, axis);
    spec.sizeAbs = mReferenceSize + (axis == 0 ? mDrag.deltaX : mDrag.deltaY);
    mReferenceControl->SetAxisPlacement(axis, spec);
}

TavoResult LSplitterBase::EndDrag()
{
    RCPtr<LControl> self(this);
    if (mReferenceControl) {
        // Hangs on its pane again, where the pane's new size puts it.
        const int32_t axis = GetAxis();
        LLayoutDescriptor::Axis own = Entry(*this, axis);
        own.positionRef = kPositionNamed;
        own.positionAbs = mSavedOffset;
        own.positionRel = mSavedFraction;
        SetAxisPlacement(axis, own);
    }
    return LControl::EndDrag();
}

void LSplitterBase::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (conditions) {
        const bool dragging = (conditions->mConditions & kConditionLeftDrag) != 0;
        const bool wasDragging = (conditions->mPreviousConditions & kConditionLeftDrag) != 0;
        if (dragging && !wasDragging)
            SetDragMode(kMoveMode, mOrientation == 0 ? 2 : 1);
        else if (wasDragging && !dragging)
            mReferenceControl = nullptr;
    }
    UpdateLook();
}

void LSplitterBase::UpdateLook()
{
    if (!IsEnabled(true)) {
        SelectLook(6);
        return;
    }
    const bool pressed = mCapture && mLeftDrag;
    int32_t look = 0;
    if (pressed && mHover)
        look = 2;
    else if ((mHover && !mCapture) || pressed)
        look = 1;
    SelectLook(mHasFocus ? look + 3 : look);
}

TavoResult LSplitterBase::UITarget_UpdateGeometry(int32_t width, int32_t height)
{
    const TavoResult result = LControl::UITarget_UpdateGeometry(width, height);
    if (!mParent)
        return result;
    RCPtr<LControl> self(this);
    const int32_t axis = GetAxis();
    const double pos = axis == 0 ? mX : mY;
    double lo = 0, hi = kNoLimit;
    const LLayoutDescriptor::Axis own = Entry(*this, axis);
    RCPtr<LControl> reference =
        own.positionRef == kPositionNamed ? mParent->FindChildByName(own.positionRefName) : nullptr;
    if (reference) {
        const double size = Entry(*reference, axis).sizeAbs;
        const double largest = Along(reference->GetMaximumSize(), axis);
        lo = std::max(0.0, pos - (size - Along(reference->GetMinimumSize(), axis)));
        if (largest > 0)
            hi = std::min(kNoLimit, pos + (largest - size));
    }
    // Only a follower whose limits change its placed size moves the bar.
    ForEachFollower([&](LControl& sibling, int32_t side) {
        RectT<double> placed;
        if (Failed(sibling.ComputePlacement(sibling.GetLayout().Get(), mParent, {}, {}, {}, placed)))
            return;
        RectT<double> measured = placed;
        sibling.ApplyMinimumSize(measured);
        sibling.ApplyMaximumSize(measured);
        const double size = axis == 0 ? placed.width : placed.height;
        if (std::fabs((axis == 0 ? measured.width : measured.height) - size) >= kEpsilon)
            LimitBySibling(side, pos, size, Along(sibling.GetMinimumSize(), axis),
                           Along(sibling.GetMaximumSize(), axis), lo, hi);
    });
    if (lo > hi)
        std::swap(lo, hi);
    const double correction = pos < lo ? lo - pos : pos > hi ? hi - pos : 0;
    if (correction != 0 && reference) {
        LLayoutDescriptor::Axis spec = Entry(*reference, axis);
        spec.sizeAbs += correction;
        reference->SetAxisPlacement(axis, spec);
    }
    return result;
}

}  // namespace Tavo
