#include "ControlBase/Placement.h"
#include "RecordingRenderer.h"
#include "Renderer/Font.h"
#include "Renderer/TextLayout.h"

#include <gtest/gtest.h>

using namespace Tavo;
using Axis = LLayoutDescriptor::Axis;

namespace {

// A parent whose outer corner lies at (-2, -3) of its client area, scrolled by 10 down.
Placement::Frames ChildFrames()
{
    Placement::Frames f;
    f.hasParent = true;
    f.parent = {-2, -3, 100, 80};
    f.clientSize = {96, 74};
    f.scroll = {0, 10};
    f.findSibling = [](const WString& name, Placement::Sibling& s) {
        if (name != u"sib")
            return false;
        s.rect = {10, 20, 30, 5};
        s.docked[1] = true;
        return true;
    };
    return f;
}

}  // namespace

TEST(Placement, PositionsAndSizesFollowTheirReferences)
{
    // One axis of the record; references 0 parent, 1 client, 2/3 named; the other axis keeps its defaults.
    struct Case
    {
        int axis;
        float anchor;
        bool docked;
        int32_t posRef;
        float posRel;
        double posAbs;
        int32_t sizeRef;
        float sizeRel;
        double sizeAbs;
        const char16_t* name;
        double pos, size;
    } cases[] = {
        {0, 0, false, 1, 0, 0, 2, 0, 16, u"", 0, 16},      // defaults
        {0, 0, false, 0, 0.5f, 1, 2, 0, 16, u"", 49, 16},  // half the parent from its outer corner
        {0, 0, false, 1, 0, 0, 2, 0, -5, u"", 0, 0},       // negative self size
        {0, 0, false, 1, 0, 10, 0, 1, 0, u"", 10, 88},     // to the parent's far edge
        {0, 1, false, 1, 0, 0, 1, 1, 0, u"", 0, 0},        // anchor 1, end beyond: nothing after it
        {0, 0.5f, false, 1, 0, 50, 1, 1, 0, u"", 4, 92},   // centred on the position
        {0, 1, false, 1, 0, 50, 1, 0, 10, u"", 10, 40},    // anchor 1 reaching back
        {0, 0, false, 2, 1, 0, 2, 0, 16, u"sib", 40, 16},  // after a sibling
        {0, 0, false, 2, 0, 7, 2, 0, 16, u"none", 7, 16},  // no such sibling
        {0, 0, false, 1, 0, 0, 3, 1, 0, u"sib", 0, 40},    // to a sibling's far edge
        {1, 0, false, 2, 0, 0, 2, 0, 40, u"sib", 10, 40},  // a docked sibling's place, unscrolled
        {1, 0, true, 1, 0, 5, 2, 0, 40, u"", 15, 40},      // docked: keeps its place when scrolled
        {0, 0, false, 1, 0, 0.5, 2, 0, 1.4, u"", 1, 1},    // edges 0.5 and 1.9 snap to 1 and 2
    };
    for (const Case& c : cases) {
        RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
        Axis& a = c.axis == 0 ? layout->x : layout->y;
        a = {c.anchor,  c.docked,  c.posRef, c.name, c.posRel, c.posAbs, c.sizeRef, c.name,
             c.sizeRel, c.sizeAbs, 0,        u"",    0,        0,        0,         u""};
        RectT<double> r;
        EXPECT_EQ(Placement::ComputePlacement(layout.Get(), ChildFrames(), r), S_OK);
        EXPECT_EQ(c.axis == 0 ? PointT<double>(r.x, r.width) : PointT<double>(r.y, r.height),
                  PointT<double>(c.pos, c.size))
            << &c - cases;
    }
}

TEST(Placement, MinimumAndMaximumKeepTheAnchorPoint)
{
    Tavo::Test::MeasureWithFixedWidths();
    // X limits and text overflow (1 expand) of a control at (10, 0) 30 x 40 whose text box
    // reaches from 4 to rightRel * width - 4; characters are 7 pixels wide, lines 15 high.
    struct Case
    {
        float anchor;
        double minX, maxX;
        int32_t overflowX, overflowY;
        float rightRel;
        const char16_t* text;
        RectT<double> expected;
    } cases[] = {
        {0.5f, 50, 0, 0, 0, 1, nullptr, {0, 0, 50, 40}},   // grows about its middle
        {1, 0, 20, 0, 0, 1, nullptr, {20, 0, 20, 40}},     // shrinks towards its right edge
        {0, 0, 0, 1, 0, 1, u"Hello", {10, 0, 43, 40}},     // widened for 35 pixels of text
        {0, 0, 0, 1, 0, 1, u"Hi", {10, 0, 30, 40}},        // fits
        {0, 0, 0, 1, 0, 0.5f, u"Hello", {10, 0, 86, 40}},  // a box growing at half the rate
        {0, 0, 0, 1, 0, 0, u"Hello", {10, 0, 30, 40}},     // a box that never grows: no use growing
        {0, 0, 40, 1, 1, 1, u"aaaa bbbb cccc dddd", {10, 0, 40, 60}},  // stopped at 40, wrapped, taller
    };
    for (const Case& c : cases) {
        RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
        layout->x.placementAnchor = c.anchor;
        layout->x.minAbs = c.minX;
        layout->x.maxAbs = c.maxX;
        layout->textOverflowX = c.overflowX;
        layout->textOverflowY = c.overflowY;
        TextProperties tp{0, 4, c.rightRel, -4, 0, 0, 0, 1, 0, 0};
        LFontText text;
        text.font = LFont::FindOrCreate(u"Arial", 10, 0);
        text.text = c.text ? c.text : u"";
        Placement::Subject s;
        s.layout = layout.Get();
        s.text = c.text ? &text : nullptr;
        s.textProperties = &tp;
        RectT<double> r{10, 0, 30, 40};
        const bool changed =
            (Placement::ApplyMinimumSize(s, r) == 1) | (Placement::ApplyMaximumSize(s, r) == 1);
        EXPECT_EQ(r, c.expected) << &c - cases;
        EXPECT_EQ(changed, !(r == RectT<double>{10, 0, 30, 40}));
    }
}

TEST(Placement, ChildrenSetTheMinimumWithRoomForTheBorder)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    Placement::Subject s;
    s.layout = layout.Get();
    s.clientRect = {2, 2, 26, 36};  // two pixels of border all round
    s.collectChildren = [](std::vector<Placement::Child>& list) {
        list.push_back({u"a", {0, 0, 50, 10}});
        list.push_back({u"b", {10, 60, 5, 5}});
        list.push_back({u"loose", {500, 500, 5, 5}, {false, false}, false});
    };
    layout->x.minRef = layout->y.minRef = 1;
    layout->x.minRefName = layout->y.minRefName = u"Children";
    layout->x.minRel = layout->y.minRel = 1;
    RectT<double> r{10, 0, 30, 40};
    EXPECT_EQ(Placement::ApplyMinimumSize(s, r), 1);
    // Children reach x 62 and y 67 in the parent; the border adds 4 on each axis.
    EXPECT_EQ(r, (RectT<double>{10, 0, 56, 71}));
}
