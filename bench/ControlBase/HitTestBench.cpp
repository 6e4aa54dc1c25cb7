// Hit testing and routing one pointer move through the product skin's
// control tree, against a plain walk over the same rectangles (window
// coordinates, last drawn first). "Ratio" reports tree time / plain time.
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Placement.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Routes a move as the root window does: hit test with hover, then the move.
class RoutingRoot : public FakeRootWindow
{
public:
    static RCPtr<RoutingRoot> Create() { return RCPtr<RoutingRoot>(new RoutingRoot()); }
    RCPtr<LControl> FindControlAtPoint(const PointT<int32_t>& point, PointT<int32_t>& local,
                                       bool update) override
    {
        RCPtr<LControl> hit = root ? root->HitTestFromTop(point, local, true) : RCPtr<LControl>();
        if (update && hit != hover) {
            if (hover)
                hover->UITarget_MouseLeave();
            hover = hit;
            if (hit)
                hit->UITarget_MouseEnter();
        }
        return hit;
    }
    void RouteMove(const PointT<int32_t>& point)
    {
        PointT<int32_t> local;
        if (RCPtr<LControl> hit = FindControlAtPoint(point, local, true))
            hit->UITarget_MouseMove(LPointWithModifiersParam::Create(local.x, local.y, 0));
    }
};

struct Scene
{
    RCPtr<RoutingRoot> window;
    RCPtr<LControl> top;
    // Every shown control's rectangle in window coordinates, in drawing order.
    std::vector<RectT<double>> rects;
    std::vector<PointT<int32_t>> points;
};

void RegisterClasses(LControlFactory& factory, const RCPtr<LControlDescriptor>& d)
{
    factory.RegisterControlClass(d->GetClassName(), &LControl::CreateT<LControl>);
    for (const auto& child : d->GetChildren())
        RegisterClasses(factory, child);
}

// Places the children by their layout records inside their parent's area.
void Place(LControl* c)
{
    for (uint32_t i = 0; i < c->GetChildren().Count(); ++i) {
        LControl* child = c->GetChildren().GetAt(i).Get();
        Placement::Frames frames;
        frames.hasParent = true;
        frames.parent = {0, 0, c->GetWidth(), c->GetHeight()};
        frames.clientSize = {c->GetWidth(), c->GetHeight()};
        frames.findSibling = [](const WString&, Placement::Sibling&) { return false; };
        RectT<double> rect;
        if (child->GetLayout() && Placement::ComputePlacement(child->GetLayout().Get(), frames, rect) == S_OK)
            child->SetBounds({rect.x, rect.y}, {rect.width, rect.height});
        Place(child);
    }
}

void Collect(LControl* c, std::vector<RectT<double>>& rects)
{
    if (!c->IsShown(true))
        return;
    const PointT<double> at = c->GetAbsolutePosition();
    rects.push_back({at.x, at.y, c->GetWidth(), c->GetHeight()});
    for (uint32_t i = 0; i < c->GetChildren().Count(); ++i)
        Collect(c->GetChildren().GetAt(i, LControl::ChildControlList::kDrawing).Get(), rects);
}

const Scene& GetScene()
{
    static const Scene* scene = [] {
        auto* s = new Scene;
        const std::string root = TAVO_SOURCE_DIR;
        static const std::string skins = ReadFile(root + "/FirmwareUpdater/Resources/Skins.xml");
        static const std::string app = ReadFile(root + "/FirmwareUpdater/Resources/StringTables.xml");
        static const std::string framework = ReadFile(root + "/TavoFramework/Resources/FrameworkStrings.xml");
        LControlFactory::SetResourceLookup([](const WString&, const WString& name) {
            const std::string& t = name == u"APP_SKINS" ? skins : name == u"APP_STRINGS" ? app : framework;
            return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(t.data()), t.size());
        });
        auto factory = LControlFactory::Create(u"Bench");
        factory->LoadStringTables(u"::APP_STRINGS", u"::FRAMEWORK_STRINGS", 1033);
        factory->LoadSkins(u"::APP_SKINS");
        RegisterClasses(*factory, factory->FindDescriptorByName(u"mainControl"));
        ControlEnvironment().factory = factory;
        s->window = RoutingRoot::Create();
        s->top =
            RCPtrDynamicCast<LControl>(factory->CreateControlFromDescriptor(u"mainControl", s->window.Get()));
        s->window->root = s->top;
        s->top->SetBounds({0, 0}, {800, 600});
        Place(s->top.Get());
        Collect(s->top.Get(), s->rects);
        for (int y = 0; y < 600; y += 37)
            for (int x = 0; x < 800; x += 41)
                s->points.push_back({x, y});
        std::fprintf(stderr, "product skin: %zu shown controls, %zu points\n", s->rects.size(),
                     s->points.size());
        return s;
    }();
    return *scene;
}

// The plain baseline: the last rectangle drawn that holds the point.
const RectT<double>* PlainWalk(const std::vector<RectT<double>>& rects, const PointT<int32_t>& p)
{
    for (size_t i = rects.size(); i-- > 0;) {
        const RectT<double>& r = rects[i];
        if (p.x >= r.x && p.y >= r.y && p.x < r.x + r.width && p.y < r.y + r.height)
            return &r;
    }
    return nullptr;
}

void HitTestAll(const Scene& s)
{
    PointT<int32_t> local;
    for (const auto& p : s.points)
        benchmark::DoNotOptimize(s.top->HitTestFromTop(p, local, true));
}

void RouteAll(const Scene& s)
{
    for (const auto& p : s.points)
        s.window->RouteMove(p);
}

void PlainAll(const Scene& s)
{
    for (const auto& p : s.points)
        benchmark::DoNotOptimize(PlainWalk(s.rects, p));
}

template <void (*Tree)(const Scene&)>
void Ratio(benchmark::State& state)
{
    const Scene& s = GetScene();
    using Clock = std::chrono::steady_clock;
    Clock::duration tree{}, plain{};
    for (auto _ : state) {
        auto t0 = Clock::now();
        Tree(s);
        auto t1 = Clock::now();
        PlainAll(s);
        auto t2 = Clock::now();
        tree += t1 - t0;
        plain += t2 - t1;
    }
    state.counters["Ratio"] = double(tree.count()) / double(plain.count() ? plain.count() : 1);
    state.counters["PerEvent_ns"] = benchmark::Counter(
        double(std::chrono::duration_cast<std::chrono::nanoseconds>(tree).count()) / double(s.points.size()),
        benchmark::Counter::kAvgIterations);
}

void BM_HitTestToPlainWalkRatio(benchmark::State& state)
{
    Ratio<&HitTestAll>(state);
}
BENCHMARK(BM_HitTestToPlainWalkRatio);

void BM_RoutePointerMoveToPlainWalkRatio(benchmark::State& state)
{
    Ratio<&RouteAll>(state);
}
BENCHMARK(BM_RoutePointerMoveToPlainWalkRatio);

}  // namespace

BENCHMARK_MAIN();
