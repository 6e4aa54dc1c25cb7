#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "Utilities/Geometry/Rect.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace Tavo {

class LFontText;

// The placement solver: turns a control's layout record into a rectangle in
// its parent's client coordinates, then grows it to its minimum (including
// room for its label text) and shrinks it to its maximum. It works on plain
// records so the control, the root window and the splitters share it.
namespace Placement {

// What a named sibling contributes as a reference.
struct Sibling
{
    RectT<double> rect;  // position and size in the parent's client coordinates
    bool docked[2] = {false, false};
};

// The reference frames of one placement.
struct Frames
{
    bool hasParent = false;
    // The Parent frame: the parent's outer corner seen from its client area
    // and its size; for a top control the reference rectangle.
    RectT<double> parent;
    // The Client frame's size; its origin is (0, 0).
    PointT<double> clientSize;
    // The parent's scroll offset; (0, 0) without a parent.
    PointT<double> scroll;
    // Stands in for any named control (with size 0) without a parent.
    PointT<double> referencePoint;
    // A sibling by name; false when there is none.
    std::function<bool(const WString& name, Sibling& sibling)> findSibling;
};

// A child of the control being sized, in the control's client coordinates.
struct Child
{
    WString name;
    RectT<double> rect;
    bool docked[2] = {false, false};
    bool clipToParent = true;
};

// What the minimum and maximum rules read of the control.
struct Subject
{
    const LLayoutDescriptor* layout = nullptr;
    // The current look's label text and its box; null without.
    LFontText* text = nullptr;
    const TextProperties* textProperties = nullptr;
    // The control's own scroll offset and its current look's client rectangle.
    PointT<double> scroll;
    RectT<double> clientRect;
    // Called only when a named limit needs them.
    std::function<void(std::vector<Child>& children)> collectChildren;
};

// 0, or E_INVALIDARG without a layout record.
TavoResult ComputePlacement(const LLayoutDescriptor* layout, const Frames& frames, RectT<double>& rect);
// 1 changed, 0 not, E_FAIL when a named minimum needs an anchor outside its range.
TavoResult ApplyMinimumSize(const Subject& subject, RectT<double>& rect);
// 1 changed, 0 not.
TavoResult ApplyMaximumSize(const Subject& subject, RectT<double>& rect);

// Rounds each edge half away from zero; width and height follow the edges.
RectT<double> SnapToPixels(const RectT<double>& rect);
// Half away from zero, as a double.
double Round(double v);

}  // namespace Placement

}  // namespace Tavo
