#include "ControlBase/Placement.h"

#include "Renderer/TextLayout.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Tavo::Placement {

namespace {

constexpr double kLimit = 4503599627370496.0;  // 2^52
const char16_t* const kChildren = u"Children";

enum PositionRef : int32_t { kPosParent = 0, kPosClient = 1, kPosNamed = 2 };
enum SizeRef : int32_t { kSizeParent = 0, kSizeClient = 1, kSizeSelf = 2, kSizeNamed = 3 };
enum LimitRef : int32_t { kLimitSelf = 0, kLimitNamed = 1 };

const LLayoutDescriptor::Axis& AxisOf(const LLayoutDescriptor* layout, int axis)
{
    return axis == 0 ? layout->x : layout->y;
}

double& Pos(RectT<double>& r, int axis)
{
    return axis == 0 ? r.x : r.y;
}
double& Size(RectT<double>& r, int axis)
{
    return axis == 0 ? r.width : r.height;
}
double Pos(const RectT<double>& r, int axis)
{
    return axis == 0 ? r.x : r.y;
}
double Size(const RectT<double>& r, int axis)
{
    return axis == 0 ? r.width : r.height;
}
double Of(const PointT<double>& p, int axis)
{
    return axis == 0 ? p.x : p.y;
}

// Position and size of a named reference on one axis.
void NamedReference(const Frames& frames, const WString& name, int axis, double& position, double& size)
{
    position = 0;
    size = 0;
    if (!frames.hasParent) {
        position = Of(frames.referencePoint, axis);
        return;
    }
    Sibling sibling;
    if (!frames.findSibling || !frames.findSibling(name, sibling))
        return;
    position = Pos(sibling.rect, axis);
    // A docked sibling carries the scroll offset in its position.
    if (sibling.docked[axis])
        position -= Of(frames.scroll, axis);
    size = Size(sibling.rect, axis);
}

// The box of the children in the coordinates of the control's parent; false
// when no child counts.
bool ChildrenBox(const Subject& subject, const RectT<double>& self, bool forMaximum, RectT<double>& box)
{
    std::vector<Child> children;
    if (subject.collectChildren)
        subject.collectChildren(children);
    if (children.empty())
        return false;
    if (forMaximum && children[0].docked[0] && children[0].docked[1])
        return false;
    const double dx = self.x + subject.clientRect.x - subject.scroll.x;
    const double dy = self.y + subject.clientRect.y - subject.scroll.y;
    auto place = [&](const Child& c, bool other) {
        RectT<double> r{c.rect.x + dx, c.rect.y + dy, c.rect.width, c.rect.height};
        if (other && c.docked[0])
            r.x -= subject.scroll.x;
        if (other && c.docked[1])
            r.y -= subject.scroll.y;
        return r;
    };
    box = place(children[0], false);
    for (size_t i = children.size(); i-- > 1;) {
        if (!forMaximum && !children[i].clipToParent)
            continue;
        const RectT<double> r = place(children[i], true);
        const double right = std::max(box.x + box.width, r.x + r.width);
        const double bottom = std::max(box.y + box.height, r.y + r.height);
        box.x = std::min(box.x, r.x);
        box.y = std::min(box.y, r.y);
        box.width = right - box.x;
        box.height = bottom - box.y;
    }
    return true;
}

// The reference rectangle of a named limit; false for no constraint.
bool LimitReference(const Subject& subject, const RectT<double>& self, const WString& name, bool forMaximum,
                    RectT<double>& ref, bool& isChildren)
{
    isChildren = false;
    std::vector<Child> children;
    if (subject.collectChildren)
        subject.collectChildren(children);
    // Looked up from the last, as children are found by name.
    for (size_t i = children.size(); i-- > 0;)
        if (children[i].name == name) {
            const Child& c = children[i];
            ref = {c.rect.x + self.x + subject.clientRect.x - subject.scroll.x,
                   c.rect.y + self.y + subject.clientRect.y - subject.scroll.y, c.rect.width, c.rect.height};
            return true;
        }
    if (name != kChildren)
        return false;
    isChildren = true;
    return ChildrenBox(subject, self, forMaximum, ref);
}

// The room non-client parts take on an axis, at the size the client rectangle was taken.
double NonClientRoom(const Subject& subject, double size, int axis)
{
    return size - Size(subject.clientRect, axis);
}

// Extra size the label text needs on an axis of the current size; 0 when it fits.
double TextGrowth(const Subject& subject, const RectT<double>& rect, int axis)
{
    LFontText* text = subject.text;
    const TextProperties* tp = subject.textProperties;
    const LLayoutDescriptor* layout = subject.layout;
    if (!text || !tp)
        return 0;
    const float w = static_cast<float>(std::clamp(rect.width, -8388608.0, 8388608.0));
    const float h = static_cast<float>(std::clamp(rect.height, -8388608.0, 8388608.0));
    const float left = static_cast<float>(tp->leftAbs) + tp->leftRel * w;
    const float right = static_cast<float>(tp->rightAbs) + tp->rightRel * w;
    if (axis == 0) {
        if (text->wordWrap) {
            text->wordWrap = false;
            text->ClearLayout();
        }
        const double extra = std::ceil(static_cast<double>(text->GetWidth()) - (right - left));
        const double span = static_cast<double>(tp->rightRel) - tp->leftRel;
        // A box that does not widen with the control cannot make room by growing.
        if (!(extra > 0) || !(span > 0))
            return 0;
        double grown = std::ceil(extra / span);
        const LLayoutDescriptor::Axis& x = layout->x;
        if (x.maxRef == kLimitSelf && x.maxAbs > 0 && x.maxAbs < rect.width + grown) {
            grown = x.maxAbs - rect.width;
            text->wordWrap = true;
            text->ClearLayout();
        }
        return grown;
    }
    const float top = static_cast<float>(tp->topAbs) + tp->topRel * h;
    const float bottom = static_cast<float>(tp->bottomAbs) + tp->bottomRel * h;
    const double extra =
        std::ceil(static_cast<double>(text->GetHeight(RoundToInt32(right - left))) - (bottom - top));
    const double span = static_cast<double>(tp->bottomRel) - tp->topRel;
    if (!(extra > 0) || !(span > 0))
        return 0;
    return std::ceil(extra / span);
}

}  // namespace

double Round(double v)
{
    if (std::isnan(v))
        return 0;
    return std::round(std::clamp(v, -kLimit, kLimit));
}

RectT<double> SnapToPixels(const RectT<double>& r)
{
    const double left = Round(r.x);
    const double top = Round(r.y);
    return {left, top, Round(r.x + r.width) - left, Round(r.y + r.height) - top};
}

TavoResult ComputePlacement(const LLayoutDescriptor* layout, const Frames& frames, RectT<double>& rect)
{
    if (!layout)
        return E_INVALIDARG;
    RectT<double> out;
    for (int axis = 0; axis < 2; ++axis) {
        const LLayoutDescriptor::Axis& spec = AxisOf(layout, axis);
        const double parentOrigin = Pos(frames.parent, axis);
        const double parentSize = Size(frames.parent, axis);
        const double clientSize = Of(frames.clientSize, axis);
        const double rel = spec.positionRel;
        double p = 0;
        switch (spec.positionRef) {
        case kPosParent:
            p = Round(rel * parentSize) + spec.positionAbs + parentOrigin;
            break;
        case kPosClient:
            p = Round(rel * clientSize) + spec.positionAbs;
            break;
        default: {
            double q = 0, r = 0;
            NamedReference(frames, spec.positionRefName, axis, q, r);
            p = Round(rel * r) + q + spec.positionAbs;
            break;
        }
        }

        double s = 0;
        if (spec.sizeRef == kSizeSelf)
            s = std::max(spec.sizeAbs, 0.0);
        else {
            double q = 0, r = 0;
            if (spec.sizeRef == kSizeParent)
                q = parentOrigin, r = parentSize;
            else if (spec.sizeRef == kSizeClient)
                r = clientSize;
            else
                NamedReference(frames, spec.sizeRefName, axis, q, r);
            const double d = Round(static_cast<double>(spec.sizeRel) * r) + q + spec.sizeAbs - p;
            const double a = spec.placementAnchor;
            if (d > 0 && a >= 0 && a < 1)
                s = d / (1 - a);
            else if (d < 0 && a > 0 && a <= 1)
                s = d / -a;
        }
        double position = p - static_cast<double>(spec.placementAnchor) * s;
        if (spec.docked)
            position += Of(frames.scroll, axis);
        Pos(out, axis) = position;
        Size(out, axis) = s;
    }
    rect = SnapToPixels(out);
    return S_OK;
}

TavoResult ApplyMinimumSize(const Subject& subject, RectT<double>& rect)
{
    const LLayoutDescriptor* layout = subject.layout;
    if (!layout)
        return S_OK;
    TavoResult result = S_OK;
    for (int axis = 0; axis < 2; ++axis) {
        const LLayoutDescriptor::Axis& spec = AxisOf(layout, axis);
        const double a = spec.placementAnchor;
        if (spec.minRef == kLimitSelf) {
            double m = spec.minAbs;
            const int32_t overflow = axis == 0 ? layout->textOverflowX : layout->textOverflowY;
            if (overflow == 1)
                m = std::max(m, Size(rect, axis) + TextGrowth(subject, rect, axis));
            const double old = Size(rect, axis);
            if (old < m) {
                Size(rect, axis) = m;
                Pos(rect, axis) -= Round(a * (m - old));
                result = 1;
            }
            continue;
        }
        RectT<double> ref;
        bool isChildren = false;
        if (!subject.collectChildren ||
            !LimitReference(subject, rect, spec.minRefName, false, ref, isChildren))
            continue;
        if (!(Size(ref, axis) > 0))
            continue;
        const double edge = static_cast<double>(spec.minRel) * Size(ref, axis) + Pos(ref, axis) + spec.minAbs;
        const double pos = Pos(rect, axis);
        const double old = Size(rect, axis);
        const double end = pos + old;
        bool changed = false;
        if (pos <= edge && end < edge) {
            if (!(a >= 0 && a < 1)) {
                result = E_FAIL;
                continue;
            }
            Pos(rect, axis) -= Round(a * (edge - end) / (1 - a));
            Size(rect, axis) = Round(edge) - Pos(rect, axis);
            changed = true;
        } else if (pos > edge) {
            if (!(a > 0 && a <= 1)) {
                result = E_FAIL;
                continue;
            }
            const double d = pos - edge;
            Pos(rect, axis) -= d;
            Size(rect, axis) += Round(d / a);
            changed = true;
        }
        // The children sit in the client area: leave room for the parts around it.
        if (changed && isChildren)
            Size(rect, axis) += NonClientRoom(subject, old, axis);
        if (changed)
            result = 1;
    }
    return result;
}

TavoResult ApplyMaximumSize(const Subject& subject, RectT<double>& rect)
{
    const LLayoutDescriptor* layout = subject.layout;
    if (!layout)
        return S_OK;
    TavoResult result = S_OK;
    for (int axis = 0; axis < 2; ++axis) {
        const LLayoutDescriptor::Axis& spec = AxisOf(layout, axis);
        const double a = spec.placementAnchor;
        const double old = Size(rect, axis);
        if (spec.maxRef == kLimitSelf) {
            const double m = spec.maxAbs;
            if (m != 0 && m < old) {
                Size(rect, axis) = m;
                Pos(rect, axis) -= Round(a * (m - old));
                result = 1;
            }
            continue;
        }
        RectT<double> ref;
        bool isChildren = false;
        if (!subject.collectChildren ||
            !LimitReference(subject, rect, spec.maxRefName, true, ref, isChildren))
            continue;
        if (!(ref.width > DBL_EPSILON && ref.height > DBL_EPSILON))
            continue;
        const double edge = static_cast<double>(spec.maxRel) * Size(ref, axis) + Pos(ref, axis) + spec.maxAbs;
        const double pos = Pos(rect, axis);
        if (!(pos < edge && pos + old > edge))
            continue;
        // Ends at the edge; for anchors below 1 the anchor point keeps its place
        // as far as the edge allows.
        double start = pos;
        if (a >= 0 && a < 1) {
            const double anchor = pos + a * old;
            const double size = std::max(0.0, (edge - anchor) / (1 - a));
            start = std::max(pos, edge - size);
        }
        Pos(rect, axis) = Round(start);
        Size(rect, axis) = Round(edge) - Pos(rect, axis);
        if (isChildren)
            Size(rect, axis) += NonClientRoom(subject, old, axis);
        result = 1;
    }
    return result;
}

}  // namespace Tavo::Placement
