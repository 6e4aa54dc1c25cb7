#include "ControlBase/Placement.h"
#include "RecordingRenderer.h"
#include "Renderer/Font.h"
#include "Renderer/TextLayout.h"

#include "../Renderer/TestRenderHost.h"

#include <gtest/gtest.h>

using namespace Tavo;
using Axis = LLayoutDescriptor::Axis;

namespace
{

RCPtr<LMeasurementRenderer> Measurer()
{
    static auto* renderer = new RCPtr<LMeasurementRenderer>(new Tavo::Test::RecordingRenderer());
    return *renderer;
}

// Fonts and layouts measure with the recording renderer from here on.
void UseMeasurer()
{
    static auto* host = new Tavo::Test::TestRenderHost();
    host->measurer = Measurer();
}

// A parent whose outer corner lies at (-2, -3) of its client area, scrolled by 10 down.
Placement::Frames ChildFrames()
{
    Placement::Frames f;
    f.hasParent = true;
    f.parent = {-2, -3, 100, 80};
    f.clientSize = {96, 74};
    f.scroll = {0, 10};
    f.findSibling = [](const WString& name, Placement::Sibling& s)
    {
        if (name != u"sib")
            return false;
        s.rect = {10, 20, 30, 5};
        s.docked[1] = true;
        return true;
    };
    return f;
}

} // namespace

TEST(Placement, PositionsAndSizesFollowTheirReferences)
{
    struct Case
    {
        const char* what;
        std::function<void(Axis& x, Axis& y, LLayoutDescriptor& l)> set;
        RectT<double> expected;
    } cases[] = {
        {"defaults", [](Axis&, Axis&, LLayoutDescriptor&) {}, {0, 0, 16, 40}},
        {"parent-relative",
         [](Axis& x, Axis&, auto&) { x.positionRef = 0, x.positionRel = 0.5f, x.positionAbs = 1; },
         {49, 0, 16, 40}},
        {"negative self size", [](Axis& x, Axis&, auto&) { x.sizeAbs = -5; }, {0, 0, 0, 40}},
        {"to the parent's far edge",
         [](Axis& x, Axis&, auto&) { x.positionAbs = 10, x.sizeRef = 0, x.sizeRel = 1, x.sizeAbs = 0; },
         {10, 0, 88, 40}},
        {"anchor 1 with the end beyond",
         [](Axis& x, Axis&, auto&) { x.placementAnchor = 1, x.sizeRef = 1, x.sizeRel = 1, x.sizeAbs = 0; },
         {0, 0, 0, 40}},
        {"anchor 0.5 centres",
         [](Axis& x, Axis&, auto&)
         { x.placementAnchor = 0.5f, x.positionAbs = 50, x.sizeRef = 1, x.sizeRel = 1, x.sizeAbs = 0; },
         {4, 0, 92, 40}},
        {"anchor 1 reaching back",
         [](Axis& x, Axis&, auto&)
         { x.placementAnchor = 1, x.positionAbs = 50, x.sizeRef = 1, x.sizeAbs = 10; },
         {10, 0, 40, 40}},
        {"after a sibling",
         [](Axis& x, Axis&, auto&) { x.positionRef = 2, x.positionRefName = u"sib", x.positionRel = 1; },
         {40, 0, 16, 40}},
        {"docked sibling loses the scroll",
         [](Axis&, Axis& y, auto&) { y.positionRef = 2, y.positionRefName = u"sib"; },
         {0, 10, 16, 40}},
        {"unknown sibling",
         [](Axis& x, Axis&, auto&) { x.positionRef = 2, x.positionRefName = u"none", x.positionAbs = 7; },
         {7, 0, 16, 40}},
        {"docked keeps its place",
         [](Axis&, Axis& y, auto&) { y.docked = true, y.positionAbs = 5; },
         {0, 15, 16, 40}},
        {"snapped edges", [](Axis& x, Axis&, auto&) { x.positionAbs = 0.5, x.sizeAbs = 1.4; }, {1, 0, 1, 40}},
    };
    for (const Case& c : cases)
    {
        RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
        c.set(layout->x, layout->y, *layout);
        RectT<double> r;
        EXPECT_EQ(Placement::ComputePlacement(layout.Get(), ChildFrames(), r), S_OK);
        EXPECT_EQ(r, c.expected) << c.what;
    }

    // A top control measures against the reference rectangle and point.
    Placement::Frames top;
    top.parent = {5, 6, 1000, 800};
    top.referencePoint = {300, 200};
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.positionRef = 0;
    layout->x.positionAbs = 200;
    layout->y.positionRef = 2;
    layout->y.positionRefName = u"mouse";
    RectT<double> r;
    EXPECT_EQ(Placement::ComputePlacement(layout.Get(), top, r), S_OK);
    EXPECT_EQ(r, (RectT<double>{205, 200, 16, 40}));
    EXPECT_EQ(Placement::ComputePlacement(nullptr, top, r), E_INVALIDARG);
}

TEST(Placement, MinimumAndMaximumKeepTheAnchorPoint)
{
    UseMeasurer();
    struct Case
    {
        const char* what;
        std::function<void(LLayoutDescriptor& l, TextProperties& t)> set;
        const char16_t* text;
        RectT<double> expected;
        TavoResult result;
    } cases[] = {
        {"self minimum",
         [](auto& l, auto&) { l.x.minAbs = 50, l.x.placementAnchor = 0.5f; },
         nullptr,
         {0, 0, 50, 40},
         1},
        {"self maximum",
         [](auto& l, auto&) { l.x.maxAbs = 20, l.x.placementAnchor = 1; },
         nullptr,
         {20, 0, 20, 40},
         1},
        {"no maximum", [](auto& l, auto&) { l.x.maxAbs = 0; }, nullptr, {10, 0, 30, 40}, 0},
        {"text widens", [](auto& l, auto&) { l.textOverflowX = 1; }, u"Hello", {10, 0, 43, 40}, 1},
        {"text fits", [](auto& l, auto&) { l.textOverflowX = 1; }, u"Hi", {10, 0, 30, 40}, 0},
        {"half-width box doubles the need",
         [](auto& l, auto& t) { l.textOverflowX = 1, t.rightRel = 0.5f; },
         u"Hello",
         {10, 0, 86, 40},
         1},
        // A box of fixed width does not grow with the control: growing cannot help.
        {"fixed box",
         [](auto& l, auto& t) { l.textOverflowX = 1, t.rightRel = 0, t.rightAbs = 10; },
         u"Hello",
         {10, 0, 30, 40},
         0},
        {"wrapped text grows taller",
         [](auto& l, auto&) { l.textOverflowX = 1, l.textOverflowY = 1, l.x.maxAbs = 40, l.y.minAbs = 0; },
         u"aaaa bbbb cccc dddd",
         {10, 0, 40, 60},
         1},
    };
    for (const Case& c : cases)
    {
        RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
        TextProperties tp{0, 4, 1, -4, 0, 0, 0, 1, 0, 0};
        c.set(*layout, tp);
        LFontText text;
        text.font = LFont::FindOrCreate(u"Arial", 10, 0);
        text.text = c.text ? c.text : u"";
        Placement::Subject s;
        s.layout = layout.Get();
        s.text = c.text ? &text : nullptr;
        s.textProperties = &tp;
        RectT<double> r{10, 0, 30, 40};
        TavoResult result = Placement::ApplyMinimumSize(s, r);
        const TavoResult max = Placement::ApplyMaximumSize(s, r);
        EXPECT_EQ(result == 1 || max == 1 ? 1 : 0, c.result) << c.what;
        EXPECT_EQ(r, c.expected) << c.what;
    }
}

TEST(Placement, NamedLimitsFollowChildren)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    Placement::Subject s;
    s.layout = layout.Get();
    s.clientRect = {2, 2, 26, 36}; // two pixels of border all round
    s.collectChildren = [](std::vector<Placement::Child>& list)
    {
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

    // A child left of the control needs an anchor above 0 to pull it left.
    layout->y.minRefName = u"none";
    layout->x.minRefName = u"a";
    layout->x.minRel = 0;
    layout->x.minAbs = -30;
    RectT<double> moved{20, 0, 30, 40};
    EXPECT_EQ(Placement::ApplyMinimumSize(s, moved), E_FAIL);
    EXPECT_EQ(moved, (RectT<double>{20, 0, 30, 40}));

    layout->x.maxRef = 1;
    layout->x.maxRefName = u"b";
    layout->x.maxRel = 1;
    RectT<double> wide{10, 0, 100, 40};
    EXPECT_EQ(Placement::ApplyMaximumSize(s, wide), 1);
    EXPECT_EQ(wide, (RectT<double>{10, 0, 17, 40})); // ends at child b's right edge, x 27
}
