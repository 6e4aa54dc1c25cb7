// Drawing, invalidation and geometry update of a control.
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/Look.h"
#include "ControlBase/Placement.h"
#include "Renderer/Renderer.h"
#include "Window/RootWindow.h"

#include <cfloat>
#include <cmath>

namespace Tavo {

namespace {

bool Clips(const LControl* c)
{
    return !c->GetLayout() || c->GetLayout()->clipToParent;
}

int32_t DockedAxes(const LControl* c)
{
    const auto& l = c->GetLayout();
    return l ? int32_t(l->x.docked) + int32_t(l->y.docked) : 0;
}

// Touching edges do not count.
bool Overlaps(const RectT<double>& a, const RectT<double>& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// A state that only clips to rect, for the pass that ignores the parent's clip.
void PushUnclipped(LRenderer& renderer)
{
    renderer.PushState();
    renderer.SetClipRect({RenderState::kNoClipOrigin, RenderState::kNoClipOrigin, RenderState::kNoClipSize,
                          RenderState::kNoClipSize});
}

// Moves the origin by a whole-pixel offset on a state already pushed, keeping
// the clip where it was on the surface.
void ShiftOrigin(LRenderer& renderer, const PointT<double>& offset)
{
    const PointT<double> d{std::round(offset.x), std::round(offset.y)};
    renderer.Translate(d);
    RectT<double>& clip = renderer.GetCurrentContext()->state.clip;
    clip.x -= d.x;
    clip.y -= d.y;
}

// Calls draw once for every rectangle of the region, in the control's
// coordinates, that survives the current clip; each under its own clip.
template <class F>
void ForEachDirtyRect(LRenderer& renderer, const RectRegion& region, const RectT<double>& bounds, F&& draw)
{
    for (const RegionRect& r : region) {
        const RenderState& state = renderer.GetCurrentContext()->state;
        RectT<double> d{double(r.left) - state.translation.x, double(r.top) - state.translation.y,
                        double(r.right) - double(r.left), double(r.bottom) - double(r.top)};
        if (!LControl::IntersectRect(d, d, state.clip))
            continue;
        // Dirty all over the visible part: the clip in force is the right one.
        if (d == state.clip) {
            draw();
            continue;
        }
        renderer.PushClip(bounds, d, nullptr, true);
        draw();
        renderer.PopState();
    }
}

}  // namespace

bool LControl::IntersectRect(RectT<double>& out, const RectT<double>& a, const RectT<double>& b)
{
    const double left = std::max(a.x, b.x);
    const double top = std::max(a.y, b.y);
    const double right = std::min(a.x + a.width, b.x + b.width);
    const double bottom = std::min(a.y + a.height, b.y + b.height);
    out = {left, top, right - left, bottom - top};
    return out.width > DBL_EPSILON && out.height > DBL_EPSILON;
}

TavoResult LControl::Draw(LRenderer* renderer, const RectRegion& region,
                          std::vector<RCPtr<LControl>>& overlays, bool unclippedPass)
{
    // Clipped controls belong to the normal pass, floating ones to the
    // unclipped pass that follows it.
    if (Clips(this) == unclippedPass)
        return E_INVALIDARG;
    if (!IsShown(false))
        return S_OK;
    if (!renderer || !renderer->GetCurrentContext())
        return E_FAIL;
    LRenderContextInfo* context = renderer->GetCurrentContext();
    // A top control's own coordinates are the window's client area: its
    // position is where the window stands on the screen.
    const RectT<double> rect =
        mParent ? RectT<double>{mX, mY, mWidth, mHeight} : RectT<double>{0, 0, mWidth, mHeight};
    RectT<double> visible = rect;
    const bool meets = unclippedPass ? IntersectRect(visible, rect, rect)
                                     : IntersectRect(visible, rect, context->state.clip);
    if (!meets) {
        if (mUnclippedDescendants > 0)
            CollectFloatingControls(overlays, true, false);
        return S_OK;
    }

    int32_t pushed = 0;
    if (unclippedPass)
        PushUnclipped(*renderer), ++pushed;
    renderer->PushClip(rect, rect, nullptr, true), ++pushed;
    struct Pop
    {
        LRenderer* r;
        int32_t& n;
        ~Pop()
        {
            while (n-- > 0)
                r->PopState();
        }
    } pop{renderer, pushed};
    context->state.opacity *= mOpacity;

    const PointT<double> origin = context->state.translation;
    if (!region.IntersectsRect(RectT<double>{0, 0, mWidth, mHeight}, origin)) {
        if (mUnclippedDescendants > 0)
            CollectFloatingControls(overlays, true, false);
        return S_OK;
    }

    const int32_t looks = static_cast<int32_t>(mLooks.size());
    auto eachLook = [&](auto&& body) {
        for (int32_t i = 0; i < looks; ++i) {
            const float weight =
                i < static_cast<int32_t>(mLookWeights.size()) ? mLookWeights[size_t(i)] : 0.0f;
            if (!(weight > 0))
                continue;
            // The weight is all a look changes of the state, and every look
            // operation leaves the state as it found it. An empty slot of the
            // look list draws nothing itself but still shows the children.
            const float opacity = context->state.opacity;
            context->state.opacity = opacity * weight;
            body(i, mLooks[size_t(i)].Get());
            context->state.opacity = opacity;
        }
    };
    // Background parts first, the client part over them.
    eachLook([&](int32_t, LLook* look) {
        if (look)
            look->DrawNonClientParts(*renderer, region);
    });
    eachLook([&](int32_t, LLook* look) {
        if (look)
            look->DrawClientPart(*renderer, region);
    });

    const RectT<double> bounds{0, 0, mWidth, mHeight};
    ForEachDirtyRect(*renderer, region, bounds, [&] { DrawContent(renderer); });

    // Children are drawn once for each visible look, at its weight: a
    // control whose looks are all faded out shows none of them. A control
    // without looks is a plain container and shows them once.
    const PointT<double> labelOffset =
        mLabelScrolls ? PointT<double>{mScrollX, mScrollY} : PointT<double>{0, 0};
    eachLook([&](int32_t index, LLook* look) {
        if (look)
            look->DrawLabelText(*renderer, region, labelOffset);
        if (mChildren.Count() > 0)
            DrawChildren(renderer, region, overlays, index);
    });
    if (mLooks.empty() && mChildren.Count() > 0)
        DrawChildren(renderer, region, overlays, -1);

    ForEachDirtyRect(*renderer, region, bounds, [&] { DrawOverlay(renderer); });

    for (uint32_t i = 0; i < mChildren.Count(); ++i) {
        const RCPtr<LControl>& child = mChildren.GetAt(i, ChildControlList::kDrawing);
        if (!Clips(child.Get()) && child->IsShown(false))
            overlays.push_back(child);
    }
    return S_OK;
}

void LControl::DrawChildren(LRenderer* renderer, const RectRegion& region,
                            std::vector<RCPtr<LControl>>& overlays, int32_t lookIndex)
{
    const RectT<double> client = GetLookClientRect(lookIndex);
    const PointT<double> shift{-mScrollX, -mScrollY};
    // Children not docked on both axes: clipped to the client area, scrolled.
    renderer->PushClip(client, client, nullptr, true);
    ShiftOrigin(*renderer, shift);
    bool clientClip = true;
    for (uint32_t i = 0; i < mChildren.Count(); ++i) {
        RCPtr<LControl> child = mChildren.GetAt(i, ChildControlList::kDrawing);
        if (!Clips(child.Get()))
            break;
        const bool dockedBoth = DockedAxes(child.Get()) == 2;
        if (dockedBoth && clientClip) {
            // They may lie in the look's border: same origin, the control's own clip.
            renderer->PopState();
            renderer->PushState();
            ShiftOrigin(*renderer, {client.x + shift.x, client.y + shift.y});
            clientClip = false;
        }
        const RenderState& state = renderer->GetCurrentContext()->state;
        if (!dockedBoth && !Overlaps({child->mX, child->mY, child->mWidth, child->mHeight}, state.clip)) {
            if (child->mUnclippedDescendants > 0)
                child->CollectFloatingControls(overlays, true, false);
            continue;
        }
        child->Draw(renderer, region, overlays, false);
    }
    renderer->PopState();
}

void LControl::InvalidateRect(const RectT<double>& rect, bool clip)
{
    const PointT<double> p = mParent ? GetPositionInParent() : PointT<double>{0, 0};
    InvalidateLocalRect({rect.x + p.x, rect.y + p.y, rect.width, rect.height}, clip, rect);
}

TavoResult LControl::InvalidateLocalRect(const RectT<double>& rectInParent, bool clip, const RectT<double>&)
{
    if (!IsShown(false))
        return S_FALSE;
    RectT<double> r = rectInParent;
    if (clip && Clips(this)) {
        // What the parent lets this control show: its own rectangle within the
        // parent's client area (the whole parent for controls docked on both axes).
        const PointT<double> p = mParent ? GetPositionInParent() : PointT<double>{0, 0};
        RectT<double> area{p.x, p.y, mWidth, mHeight};
        if (mParent) {
            const RectT<double> parentArea = DockedAxes(this) == 2
                                                 ? RectT<double>{0, 0, mParent->mWidth, mParent->mHeight}
                                                 : mParent->GetLookClientRect(-1);
            if (!IntersectRect(area, area, parentArea))
                return S_FALSE;
        }
        if (!IntersectRect(r, r, area))
            return S_FALSE;
    }
    if (mParent) {
        // What an unclipped control draws may lie outside every ancestor.
        RCPtr<LControl> parent(mParent);
        parent->InvalidateRect(r, clip && Clips(this));
        return S_OK;
    }
    if (mRootWindow) {
        const RegionRect e = LRect::ToIntRect(r);
        mRootWindow->InvalidateRect({double(e.left), double(e.top), double(e.right) - double(e.left),
                                     double(e.bottom) - double(e.top)});
    }
    return S_OK;
}

void LControl::InvalidateLocalRect(const RectT<double>& rect, bool propagate)
{
    if (mVisibleArea.IntersectsRect(rect, {0, 0}))
        LRect::ToIntRect(rect, mDirty);
    if (!propagate)
        return;
    RectT<double> moved{rect.x - mScrollX, rect.y - mScrollY, rect.width, rect.height};
    if (IntersectRect(moved, moved, GetLookClientRect(-1)))
        InvalidateRect(moved, true);
}

void LControl::RefreshUnclipped()
{
    if (mUnclippedDescendants > 0) {
        // Local: invalidating may run code that refreshes again.
        std::vector<RCPtr<LControl>> list;
        CollectFloatingControls(list, true, true);
        for (size_t i = list.size(); i-- > 0;)
            list[i]->InvalidateRect({0, 0, list[i]->mWidth, list[i]->mHeight}, Clips(list[i].Get()));
    } else if (!Clips(this))
        InvalidateRect({0, 0, mWidth, mHeight}, false);
}

void LControl::RepaintAfterStateChange()
{
    if (mUnclippedDescendants > 0)
        RefreshUnclipped();
    else if (mLayout && !mLayout->propagateInvalidation)
        InvalidateLocalRect({0, 0, mWidth, mHeight}, false);
}

TavoResult LControl::ComputePlacement(const LLayoutDescriptor* layout, LControl* parent,
                                      const RectT<double>& reference, const PointT<double>& clientSize,
                                      const PointT<double>& referencePoint, RectT<double>& rect)
{
    Placement::Frames frames;
    if (parent) {
        const RectT<double> client = parent->GetLookClientRect(-1);
        frames.hasParent = true;
        frames.parent = {-client.x, -client.y, parent->mWidth, parent->mHeight};
        frames.clientSize = {client.width, client.height};
        frames.scroll = {parent->mScrollX, parent->mScrollY};
        frames.findSibling = [parent](const WString& name, Placement::Sibling& s) {
            RCPtr<LControl> sibling = parent->FindChildByName(name);
            if (!sibling)
                return false;
            s.rect = {sibling->mX, sibling->mY, sibling->mWidth, sibling->mHeight};
            if (const auto& l = sibling->GetLayout())
                s.docked[0] = l->x.docked, s.docked[1] = l->y.docked;
            return true;
        };
    } else {
        frames.parent = reference;
        frames.clientSize = clientSize;
        frames.referencePoint = referencePoint;
    }
    return Placement::ComputePlacement(layout, frames, rect);
}

namespace {

Placement::Subject SubjectOf(LControl& control)
{
    Placement::Subject s;
    s.layout = control.GetLayout().Get();
    RCPtr<LLook> look = control.GetLookAt(-1);
    if (look && look->GetTextBlock() && look->GetDescriptor() && look->GetDescriptor()->hasTextProperties) {
        s.text = look->GetTextBlock();
        s.textProperties = &look->GetDescriptor()->text;
    }
    s.scroll = control.GetScrollOffset();
    s.clientRect = control.GetLookClientRect(-1);
    if (control.GetChildren().Count() == 0)
        return s;
    s.collectChildren = [&control](std::vector<Placement::Child>& list) {
        auto& children = control.GetChildren();
        for (uint32_t i = 0; i < children.Count(); ++i) {
            const RCPtr<LControl>& c = children.GetAt(i);
            Placement::Child child;
            child.name = c->GetName();
            child.rect = {c->GetX(), c->GetY(), c->GetWidth(), c->GetHeight()};
            if (const auto& l = c->GetLayout())
                child.docked[0] = l->x.docked, child.docked[1] = l->y.docked,
                child.clipToParent = l->clipToParent;
            list.push_back(child);
        }
    };
    return s;
}

}  // namespace

TavoResult LControl::ApplyMinimumSize(RectT<double>& rect)
{
    RCPtr<LLook> look = GetLookAt(-1);  // keeps the text block alive meanwhile
    return Placement::ApplyMinimumSize(SubjectOf(*this), rect);
}

TavoResult LControl::ApplyMaximumSize(RectT<double>& rect)
{
    RCPtr<LLook> look = GetLookAt(-1);
    return Placement::ApplyMaximumSize(SubjectOf(*this), rect);
}

TavoResult LControl::UpdateGeometry()
{
    if (!mLayout)
        return E_FAIL;
    RectT<double> rect;
    TavoResult result = S_OK;
    if (!mParent) {
        // A control still being made may be placed before it has a window.
        LRootWindow* window = mRootWindow.Get();
        if (!window && mCreated)
            return E_FAIL;
        const LControlEnvironment& environment = ControlEnvironment();
        if (!window && environment.placementWindow)
            window = environment.placementWindow();
        if (!window)
            return E_FAIL;
        // The client area's screen position and size.
        const RectT<int32_t> client = window->GetBounds();
        const PointT<int32_t> size = window->GetClientSize();
        // Without a desktop the client area stands for it.
        const RectT<int32_t> area =
            environment.workArea ? environment.workArea() : RectT<int32_t>{0, 0, size.x, size.y};
        PointT<int32_t> mouse;
        if (environment.screenPointer) {
            const PointT<int32_t> screen = environment.screenPointer();
            mouse = {screen.x - client.x, screen.y - client.y};
        } else {
            mouse = window->GetMousePosition();
        }
        result = ComputePlacement(mLayout.Get(), nullptr,
                                  {double(area.x), double(area.y), double(area.width), double(area.height)},
                                  {double(size.x), double(size.y)}, {double(mouse.x), double(mouse.y)}, rect);
    } else
        result = ComputePlacement(mLayout.Get(), mParent, {}, {}, {}, rect);
    if (result < 0)
        return result;
    ApplyMinimumSize(rect);
    ApplyMaximumSize(rect);
    LRect::Normalize(rect);
    return SetBounds({rect.x, rect.y}, {rect.width, rect.height});
}

}  // namespace Tavo
