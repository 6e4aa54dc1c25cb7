#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Notification/NotificationParams.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/ThrownText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

// Records what a control sends and the steps and hooks it runs.
class Recorder : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        names.push_back(std::u16string(n->GetID()));
        data.push_back(n->GetData());
        return S_OK;
    }
    void Watch(LControl* control, std::initializer_list<const char16_t*> ids)
    {
        for (auto id : ids)
            Subscribe(RCPtr<LNotificationDistributor>(control), id);
    }
    void Clear()
    {
        names.clear();
        data.clear();
    }
    std::vector<std::u16string> names;
    std::vector<ConstRCPtr<LRefCountedObject>> data;
};

std::vector<std::string> gSteps;

class Probe : public LControl
{
public:
    Probe(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}
    static void Create(RCPtr<LControl>& out, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& d)
    {
        CreateT<Probe>(out, parent, d);
    }
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& d) override
    {
        Step("SetDescriptor");
        return LControl::SetDescriptor(d);
    }
    TavoResult Initialize() override
    {
        Step("Initialize");
        if (GetName() == u"broken")
            throw std::runtime_error("missing part");
        LControl::Initialize();
        // The handler table answers only once creation has finished.
        CreateHandlerTable()->AddHandler(static_cast<Handler::Operation>(&Probe::OnPing),
                                         RCPtr<LNotificationDistributor>(this), u"NID_PING");
        Notify(u"NID_PING");
        return S_OK;
    }
    TavoResult Finalize() override
    {
        Step("Finalize");
        return S_OK;
    }
    void OnValueChanged() override { ++valueHooks; }
    TavoResult OnPing(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
    {
        ++pings;
        return S_OK;
    }
    void Step(const char* step) { gSteps.push_back(std::string(step) + " " + NString(GetName()).c_str()); }
    int pings = 0;
    int valueHooks = 0;
};

const char* kSkin = R"(<R><Application Name="App"/>
<Looks><Look Name="a"/><Look Name="b"/></Looks>
<LookLists><LookList Name="two" NumLooks="2"><Look Index="0" Name="a"/><Look Index="1" Name="b"/></LookList></LookLists>
<Skin Name="S">
  <SubControl Class="P" Name="main">
    <Skin Name="s" LookList="two">
      <SubControl Class="P" Name="first"/>
      <SubControl Class="P" Name="later"><CreateParamList><CreateParam ID="DEFER_CREATE"> TRUE
</CreateParam></CreateParamList></SubControl>
      <SubControl Class="P" Name="kept"><CreateParamList><CreateParam ID="DEFER_CREATE">false</CreateParam>
        <CreateParam ID="INITIAL_VALUE">0.25</CreateParam><CreateParam ID="NOT_FOCUSABLE"> True </CreateParam>
      </CreateParamList></SubControl>
      <SubControl Class="P" Name="first"/>
    </Skin>
  </SubControl>
  <SubControl Class="P" Name="other"><Skin Name="o"><SubControl Class="P" Name="kept"/><SubControl Class="P" Name="new"/>
    </Skin></SubControl>
  <SubControl Class="P" Name="faulty"><Skin Name="f"><SubControl Class="P" Name="broken"/></Skin></SubControl>
</Skin></R>)";

class ControlTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gSteps.clear();
        mFactory = LControlFactory::Create(u"App");
        ASSERT_EQ(mFactory->ParseXML(kSkin, 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mFactory->RegisterControlClass(u"P", &Probe::Create);
        ControlEnvironment().factory = mFactory;
    }
    void TearDown() override { ControlEnvironment().factory = nullptr; }
    RCPtr<Probe> Create(const char16_t* name)
    {
        return RCPtrDynamicCast<Probe>(mFactory->CreateControlFromDescriptor(name, nullptr));
    }
    RCPtr<LControlFactory> mFactory;
};

TEST_F(ControlTree, FactoryRunsTheStepsDepthFirstAndHonoursDeferredAndDuplicateChildren)
{
    auto main = Create(u"main");
    ASSERT_TRUE(main);
    EXPECT_EQ(gSteps, (std::vector<std::string>{
                          "SetDescriptor main", "SetDescriptor first", "Initialize first", "Finalize first",
                          "SetDescriptor kept", "Initialize kept", "Finalize kept", "SetDescriptor first",
                          "Initialize first", "Finalize first", "Initialize main", "Finalize main"}));
    // " TRUE\n" defers; the second "first" was built but not adopted.
    ASSERT_EQ(main->GetChildren().Count(), 2u);
    EXPECT_EQ(main->GetChildren().GetAt(1)->GetName(), u"kept");
    auto kept = RCPtrDynamicCast<Probe>(main->FindChildByName(u"kept"));
    EXPECT_EQ(kept->GetValue(), 0.25);
    EXPECT_TRUE(kept->IsNotFocusable());
    EXPECT_EQ(main->GetLookCount(), 2);
    // Sent during Initialize: dropped; after creation: delivered.
    EXPECT_EQ(kept->pings, 0);
    kept->Notify(u"NID_PING");
    EXPECT_EQ(kept->pings, 1);
}

TEST_F(ControlTree, AStepThatThrowsLeavesNoHalfBuiltChildBehind)
{
    EXPECT_EQ(ThrownText([&] { Create(u"faulty"); }), "missing part");
    auto faulty = mFactory->FindDescriptorByName(u"faulty");
    RCPtr<LControl> parent(new Probe(nullptr, u"holder"));
    EXPECT_THROW(mFactory->CreateControl(faulty->GetChildren()[0], parent), std::runtime_error);
    EXPECT_EQ(parent->GetChildren().Count(), 0u);
}

TEST_F(ControlTree, ReapplyingASkinKeepsStateAndSurvivingChildren)
{
    auto window = FakeRootWindow::Create();
    auto main = Create(u"main");
    main->SetRootWindow(window.Get());
    auto kept = main->FindChildByName(u"kept");
    auto first = main->FindChildByName(u"first");
    kept->SetEnabled(false);
    main->SetBounds({0, 0}, {300, 200});
    window->clientRect = {10, 20, 300, 200};
    window->titles.clear();

    ASSERT_EQ(main->SetDescriptor(mFactory->FindDescriptorByName(u"other")), S_OK);
    // The window stays where it was.
    EXPECT_EQ(window->clientRect.x, 10);
    ASSERT_EQ(main->GetChildren().Count(), 1u);
    EXPECT_EQ(main->GetChildren().GetAt(0).Get(), kept.Get());
    EXPECT_FALSE(kept->IsEnabled(false));
    EXPECT_EQ(first->GetParent(), nullptr);
    // The unchanged label still reaches the window.
    EXPECT_EQ(window->titles.size(), 1u);
    main->Detach();
}

TEST(ControlChildren, ListOrdersNamesAndIndices)
{
    RCPtr<LControl> parent(new LControl(nullptr, u"parent"));
    std::vector<RCPtr<LControl>> c;
    for (auto name : {u"a", u"b", u"c", u"d"})
        c.emplace_back(new LControl(parent, name));
    RCPtr<LControl> twin(new LControl(parent, u"a"));
    EXPECT_EQ(parent->GetChildren().Add(twin), E_FAIL);
    EXPECT_EQ(parent->GetChildren().Add(nullptr), E_INVALIDARG);
    // a floats (drawn last), b is docked in x, c has the lower z.
    c[0]->SetClipToParent(false);
    LLayoutDescriptor::Axis docked;
    docked.docked = true;
    c[1]->SetAxisPlacement(0, docked);
    c[2]->SetAxisPlacement(0, {});
    c[3]->SetAxisPlacement(0, {});
    EXPECT_EQ(parent->GetUnclippedDescendants(), 1);
    std::vector<std::u16string> order;
    for (uint32_t i = 0; i < 4; ++i)
        order.push_back(std::u16string(parent->GetChildren().GetAt(i, 1)->GetName().c_str()));
    EXPECT_EQ(order, (std::vector<std::u16string>{u"c", u"d", u"b", u"a"}));
    EXPECT_EQ(ThrownText([&] { parent->GetChildren().GetAt(4, 0); }),
              "Runtime Error : Tavo::LControl::ChildControlList::GetAt : ControlBase\\Control : Line 3330");
    EXPECT_EQ(ThrownText([&] { parent->GetChildren().GetAt(0, 3); }),
              "Runtime Error : Tavo::LControl::ChildControlList::GetAt : ControlBase\\Control : Line 3350");
    EXPECT_EQ(ThrownText([&] { parent->PerformEdit(0); }),
              "Logic Error : LControl::PerformEdit must be overridden : Tavo::LControl::PerformEdit : "
              "../ControlBase/Control : Line 591");
    EXPECT_EQ(c[2]->SetName(u"b"), E_FAIL);
    c[0]->SetParent(nullptr);
    EXPECT_EQ(parent->GetUnclippedDescendants(), 0);
    EXPECT_EQ(c[3]->SetParent(c[3]), E_INVALIDARG);
}

// Names are looked up in an index: it follows renames, removals, moves to
// another parent and emptying.
TEST(ControlChildren, NamesStayUniqueAndFoundThroughRenamesAndRemovals)
{
    RCPtr<LControl> parent(new LControl(nullptr, u"parent")), other(new LControl(nullptr, u"other"));
    std::map<std::u16string, RCPtr<LControl>> made;
    const auto add = [&](const RCPtr<LControl>& to, const char16_t* name) {
        RCPtr<LControl> c(new LControl(nullptr, name));
        made[name] = c;
        return c->SetParent(to);
    };
    const auto named = [&](const char16_t* name) { return made.at(name).Get(); };
    for (auto name : {u"a", u"b", u"c"})
        ASSERT_EQ(add(parent, name), S_OK);
    RCPtr<LControl> moved;
    const struct
    {
        std::function<TavoResult()> change;
        TavoResult result;
        // Expected lookups in parent: name and the control made under that key, or null.
        std::vector<std::pair<const char16_t*, const char16_t*>> finds;
    } steps[] = {
        {[&] { return named(u"b")->SetName(u"x"); }, S_OK, {{u"x", u"b"}, {u"b", nullptr}}},
        {[&] { return add(parent, u"b2") == S_OK ? named(u"b2")->SetName(u"b") : E_FAIL; },
         S_OK,
         {{u"b", u"b2"}, {u"x", u"b"}}},
        {[&] { return named(u"c")->SetName(u"x"); }, E_FAIL, {{u"x", u"b"}, {u"c", u"c"}}},
        {[&] { return named(u"c")->SetName(u"c"); }, S_FALSE, {{u"c", u"c"}}},
        {[&] { return made.at(u"a")->SetParent(nullptr); }, S_OK, {{u"a", nullptr}}},
        {[&] { return add(parent, u"a"); }, S_OK, {{u"a", u"a"}}},
        {[&] { return (moved = made.at(u"c"))->SetParent(other); }, S_OK, {{u"c", nullptr}}},
        {[&] { return add(parent, u"c"); }, S_OK, {{u"c", u"c"}}},
        {[&] { return add(parent, u"x"); }, E_FAIL, {{u"x", u"b"}}},
        {[&] { return parent->ReleaseInternalReferences(), add(parent, u"x"); },
         S_OK,
         {{u"x", u"x"}, {u"b", nullptr}, {u"a", nullptr}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << &step - steps);
        EXPECT_EQ(step.change(), step.result);
        for (auto [name, control] : step.finds)
            EXPECT_EQ(parent->FindChildByName(name).Get(), control ? named(control) : nullptr)
                << NString(WString(name)).c_str();
    }
    EXPECT_EQ(other->FindChildByName(u"c").Get(), moved.Get()) << "the first c, in its new parent";
    parent->ReleaseInternalReferences();
    other->ReleaseInternalReferences();
}

TEST(ControlChildren, BoundsOfChildrenLeaveOutDockedOnesAndAreEmptyWithoutAny)
{
    RCPtr<LControl> parent(new LControl(nullptr, u"parent"));
    EXPECT_EQ(parent->GetChildrenBounds(), (RectT<double>{0, 0, 0, 0}));
    RCPtr<LControl> a(new LControl(parent, u"a")), b(new LControl(parent, u"b"));
    a->SetBounds({5, 5}, {10, 10});
    b->SetBounds({-3, 40}, {2.4, 2.6});
    // Edges are x + 0.5 truncated: -2.5 gives -2.
    EXPECT_EQ(parent->GetChildrenBounds(), (RectT<double>{-2, 5, 17, 38}));
    // A NaN from the skin settles as 0 instead of counting as a change forever.
    const double nan = std::nan("");
    EXPECT_EQ(b->SetBounds({nan, -1e300}, {nan, 1e300}), S_OK);
    EXPECT_EQ(b->SetBounds({nan, -1e300}, {nan, 1e300}), S_FALSE);
    EXPECT_EQ(b->GetX(), 0);
    EXPECT_EQ(b->GetY(), -4503599627370496.0);
    LLayoutDescriptor::Axis docked;
    docked.docked = true;
    a->SetAxisPlacement(1, docked);
    b->SetAxisPlacement(1, docked);
    EXPECT_EQ(parent->GetChildrenBounds(), (RectT<double>{0, 0, 0, 0}));
}

TEST(ControlValue, SetValueClampsReportsOnceAndMapsIntoTheRange)
{
    RCPtr<Probe> c(new Probe(nullptr, u"c"));
    RCPtr<Recorder> recorder(new Recorder);
    Recorder& rec = *recorder;
    rec.Watch(c.Get(), {u"NID_VALUE_CHANGE"});
    struct Row
    {
        double min, max;
        int32_t mode;
        TavoResult result;
        double set, stored, reported;
    } rows[] = {{0, 10, 0, S_OK, 1.5, 1.0, 10.0},         {0, 10, 0, S_OK, -0.2, 0.0, 0.0},
                {20, 20000, 1, S_OK, 0.5, 0.5, 632.4555}, {5, 1, 0, S_OK, 0.25, 0.25, 4.0},
                {0, 10, 1, E_INVALIDARG, 1, 1, 1.0},      {2, -1, 1, E_INVALIDARG, 0, 0, 5.0},
                {1, 2, 2, E_INVALIDARG, 0.5, 0.5, 3.0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.set);
        const double min = c->GetRangeMin(), max = c->GetRangeMax();
        EXPECT_EQ(c->SetValueRange(r.min, r.max, r.mode), r.result);
        if (r.result != S_OK) {
            EXPECT_EQ(c->GetRangeMin() + c->GetRangeMax(), min + max);
        }
        rec.Clear();
        EXPECT_EQ(c->SetValue(r.set), r.stored);
        auto param = RCPtrDynamicCast<LValueParam>(rec.data.empty() ? nullptr : rec.data.back());
        if (!rec.names.empty()) {
            EXPECT_NEAR(param->mRangeValue, r.reported, 1e-3);
        }
    }
    const int hooks = c->valueHooks;
    rec.Clear();
    c->SetValue(0.5);
    c->SetValue(std::nan(""));
    EXPECT_TRUE(rec.names.empty());
    EXPECT_EQ(c->valueHooks, hooks);
    EXPECT_EQ(c->GetValue(), 0.5);
    rec.UnsubscribeAll();
}

TEST(ControlConditions, ChangesAreReportedInTheirOrderAndCascadeDown)
{
    auto window = FakeRootWindow::Create();
    RCPtr<LControl> parent(new LControl(nullptr, u"parent"));
    parent->SetRootWindow(window.Get());
    RCPtr<LControl> a(new LControl(parent, u"a")), b(new LControl(parent, u"b"));
    for (auto* c : {parent.Get(), a.Get(), b.Get()})
        c->SetBounds({0, 0}, {10, 10});
    RCPtr<Recorder> recorder(new Recorder);
    Recorder& rec = *recorder;
    const auto all = {u"NID_CONDITION_CHANGE",           u"NID_HAS_FOCUS_CONDITION_CHANGE",
                      u"NID_HOVER_CONDITION_CHANGE",     u"NID_CAPTURE_CONDITION_CHANGE",
                      u"NID_LEFT_DRAG_CONDITION_CHANGE", u"NID_ENABLED_CONDITION_CHANGE",
                      u"NID_VISIBLITY_CONDITION_CHANGE"};
    for (auto* c : {parent.Get(), a.Get(), b.Get()})
        rec.Watch(c, all);
    // The record starts from the bits after sizing: the next change is all that counts.
    a->UpdateConditions();
    b->UpdateConditions();
    parent->UpdateConditions();
    rec.Clear();

    a->SetConditionFlag(true);
    EXPECT_EQ(rec.names,
              (std::vector<std::u16string>{u"NID_CONDITION_CHANGE", u"NID_HOVER_CONDITION_CHANGE"}));
    rec.Clear();
    a->SetConditionFlag(true);
    EXPECT_TRUE(rec.names.empty());

    // A left press with threshold 0: pressed, then dragged, each reported.
    window->buttons = 1;
    b->SetDragThreshold(0);
    ASSERT_EQ(b->UITarget_OnMouseDown(1, 2, 3), S_OK);
    EXPECT_EQ(rec.names,
              (std::vector<std::u16string>{u"NID_CONDITION_CHANGE", u"NID_CAPTURE_CONDITION_CHANGE",
                                           u"NID_LEFT_DRAG_CONDITION_CHANGE", u"NID_CONDITION_CHANGE",
                                           u"NID_LEFT_DRAG_CONDITION_CHANGE"}));
    EXPECT_EQ(b->UITarget_OnMouseDown(1, 2, 3), S_FALSE);
    b->UITarget_ReleaseCapture();
    rec.Clear();

    parent->SetEnabled(false);
    const std::vector<std::u16string> enabled{u"NID_CONDITION_CHANGE", u"NID_ENABLED_CONDITION_CHANGE"};
    std::vector<std::u16string> expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), enabled.begin(), enabled.end());
    EXPECT_EQ(rec.names, expected);
    // Parent first, then the children last first.
    EXPECT_EQ(rec.data[1].Get(), parent->GetConditions().Get());
    EXPECT_EQ(rec.data[3].Get(), b->GetConditions().Get());
    EXPECT_FALSE(b->GetConditionBits() & kConditionEnabled);
    rec.UnsubscribeAll();
    parent->Detach();
}

}  // namespace
