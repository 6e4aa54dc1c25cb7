#include "ControlBase/ControlFactory.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace Tavo;

namespace {

LControlFactory* gFactory = nullptr;
int gResolved = 0;

// A control that follows the creator's steps and records what happened.
class TestControl : public IFactoryControl
{
public:
    TestControl(IFactoryControl* parent, WString name) : mParent(parent), mName(std::move(name)) {}

    static void Create(RCPtr<IFactoryControl>& out, const RCPtr<IFactoryControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        ++gResolved;
        RCPtr<TestControl> c(new TestControl(parent.Get(), descriptor->GetName()));
        c->SetDescriptor(descriptor);
        c->CreateChildren(*descriptor);
        c->mSteps.push_back("Initialize");
        c->mSteps.push_back("Finalize");
        c->mCreated = true;
        out = c;
    }
    static void CreateOther(RCPtr<IFactoryControl>& out, const RCPtr<IFactoryControl>& parent,
                            const RCPtr<LControlDescriptor>& descriptor)
    {
        Create(out, parent, descriptor);
        RCPtrDynamicCast<TestControl>(out)->mOther = true;
    }

    void CreateChildren(const LControlDescriptor& d)
    {
        mSteps.push_back("CreateChildren");
        for (const auto& child : d.GetChildren())
            if (!child->IsDeferredCreate())
                mChildren.push_back(RCPtrDynamicCast<TestControl>(gFactory->CreateControl(child, RCPtr<IFactoryControl>(this))));
    }

    WString GetName() const override { return mName; }
    WString GetDescriptorClassName() const override { return mDescriptor ? mDescriptor->GetClassName() : WString(); }
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& d) override
    {
        mSteps.push_back("SetDescriptor");
        mDescriptor = d;
        return S_OK;
    }
    TavoResult SetRootWindow(LRootWindow* window) override
    {
        mRoot = window;
        return mParent ? E_FAIL : S_OK;
    }

    IFactoryControl* mParent;  // the parent owns its children
    WString mName;
    RCPtr<LControlDescriptor> mDescriptor;
    std::vector<RCPtr<TestControl>> mChildren;
    std::vector<std::string> mSteps;
    LRootWindow* mRoot = nullptr;
    bool mCreated = false;
    bool mOther = false;
};

const char* kSkin = R"(<R><Application Name="Pellax"/><Skin Name="S" FontSize="0.5">
  <SubControl Class="T.Panel" Name="main" IsVisible="False">
    <Skin Name="s">
      <SubControl Class="T.Button" Name="ok" LayoutOrder="2"/>
      <SubControl Class="T.Button" Name="cancel" LayoutOrder="1"/>
      <SubControl Class="T.Panel" Name="later"><CreateParamList><CreateParam ID="DEFER_CREATE">true</CreateParam></CreateParamList></SubControl>
    </Skin>
  </SubControl>
  <SubControl Class="T.Panel" Name="twice" LayoutOrder="1"/>
  <SubControl Class="T.Button" Name="twice" LayoutOrder="2"/>
  <SubControl Class="T.Unknown" Name="stranger"/>
</Skin>
<Skin Name="S2" FontName="Verdana" FontStyle="2"><SubControl Class="T.Panel" Name="main"/></Skin></R>)";

class ControlFactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        gFactory = mFactory.Get();
        gResolved = 0;
        ASSERT_EQ(mFactory->ParseXML(kSkin, 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mFactory->RegisterControlClass(u"T.Panel", &TestControl::Create);
        mFactory->RegisterControlClass(u"T.Button", &TestControl::CreateOther);
        // The first registration stays.
        mFactory->RegisterControlClass(u"T.Button", &TestControl::Create);
    }
    RCPtr<LControlFactory> mFactory;
};

}  // namespace

TEST_F(ControlFactoryTest, CreatesATreeThroughRegisteredCreators)
{
    auto window = reinterpret_cast<LRootWindow*>(0x1234);
    auto control = RCPtrDynamicCast<TestControl>(mFactory->CreateControlFromDescriptor(u"main", window));
    ASSERT_TRUE(control);
    EXPECT_EQ(control->mRoot, window);
    EXPECT_TRUE(control->mCreated);
    EXPECT_EQ(control->mSteps, (std::vector<std::string>{"SetDescriptor", "CreateChildren", "Initialize", "Finalize"}));
    // Creation by name shows the top control.
    EXPECT_TRUE(control->mDescriptor->GetLayout()->visible);
    ASSERT_EQ(control->mChildren.size(), 2u);
    EXPECT_EQ(control->mChildren[0]->mName, u"cancel");
    EXPECT_EQ(control->mChildren[1]->mName, u"ok");
    EXPECT_TRUE(control->mChildren[0]->mOther);
    EXPECT_EQ(control->mChildren[0]->mParent, control.Get());
    EXPECT_EQ(control->mChildren[0]->mRoot, nullptr);
}

TEST_F(ControlFactoryTest, ResolvesEachDescriptorOnce)
{
    RCPtr<LControlDescriptor> d;
    for (const auto& c : mFactory->FindDescriptorByName(u"main")->GetChildren())
        if (c->GetName() == u"ok")
            d = c;
    ASSERT_TRUE(d);
    EXPECT_EQ(d->GetCreateFunction(), nullptr);
    mFactory->CreateControl(d, nullptr);
    EXPECT_EQ(d->GetCreateFunction(), &TestControl::CreateOther);
    mFactory->RegisterControlClass(u"T.Late", &TestControl::Create);
    auto again = mFactory->CreateControl(d, nullptr);
    EXPECT_TRUE(RCPtrDynamicCast<TestControl>(again)->mOther);
}

TEST_F(ControlFactoryTest, UnregisteredClassThrowsTheFixedText)
{
    auto d = mFactory->FindDescriptorByName(u"stranger");
    ASSERT_TRUE(d);
    try
    {
        mFactory->CreateControl(d, nullptr);
        FAIL() << "no exception";
    }
    catch (const Exception<std::runtime_error>& e)
    {
        EXPECT_STREQ(e.what(), "Runtime Error : Tavo::LControlFactory::GetControlCreateFunction : ControlBase\\ControlFactory : Line 51");
    }
    EXPECT_EQ(gResolved, 0);
    ControlCreateFunction f = nullptr;
    EXPECT_THROW(mFactory->GetControlCreateFunction(u"t.panel", f), std::runtime_error);
}

TEST_F(ControlFactoryTest, LookupsCoverOnlyTheCurrentSkinsTopLevel)
{
    // Of two of the same name the later in layout order wins.
    EXPECT_EQ(mFactory->FindDescriptorByName(u"twice")->GetClassName(), u"T.Button");
    EXPECT_FALSE(mFactory->FindDescriptorByName(u"ok"));
    EXPECT_FALSE(mFactory->CreateControlFromDescriptor(u"nothing", nullptr));

    auto control = mFactory->CreateControlFromDescriptor(u"main", nullptr);
    mFactory->SetCurrentSkinIndex(1);
    EXPECT_EQ(mFactory->ReapplyDescriptor(control), S_OK);
    EXPECT_EQ(RCPtrDynamicCast<TestControl>(control)->mDescriptor, mFactory->FindDescriptorByName(u"main"));
    EXPECT_FALSE(mFactory->FindDescriptorByName(u"twice"));
    EXPECT_EQ(mFactory->ReapplyDescriptor(nullptr), E_FAIL);
    RCPtr<IFactoryControl> orphan(new TestControl(nullptr, u"twice"));
    EXPECT_EQ(mFactory->ReapplyDescriptor(orphan), E_FAIL);

    // Per-control tables are named after the owner's descriptor class.
    EXPECT_EQ(mFactory->GetApplicationName(), u"Pellax");
}

TEST_F(ControlFactoryTest, FontOverrideReportsOnlySetValues)
{
    WString name = u"face";
    float size = 3.0f;
    int32_t style = 7;
    // First skin: size below 1, style and name unset.
    EXPECT_EQ(mFactory->GetCurrentSkinFontOverride(name, size, style), S_FALSE);
    EXPECT_EQ(name, u"face");
    EXPECT_EQ(size, 3.0f);
    EXPECT_EQ(style, 7);
    mFactory->SetCurrentSkinIndex(1);
    EXPECT_EQ(mFactory->GetCurrentSkinFontOverride(name, size, style), S_OK);
    EXPECT_EQ(name, u"Verdana");
    EXPECT_EQ(size, 3.0f);
    EXPECT_EQ(style, 2);
    mFactory->SetCurrentSkinIndex(5);
    EXPECT_EQ(mFactory->GetCurrentSkinFontOverride(name, size, style), S_FALSE);
}

TEST(SkinDescriptors, ClonesShareRecords)
{
    auto parent = LControlDescriptor::Create(u"C", u"parent", nullptr);
    auto templ = LControlDescriptor::Create(u"C", u"templateItem", parent.Get());
    templ->AddChild(LControlDescriptor::Create(u"C", u"child", templ.Get()));
    templ->SetLayout(LLayoutDescriptor::Create());
    auto layout = LLayoutDescriptor::Create();
    auto clone = LControlDescriptor::CloneWithLayout(templ, layout, u"item1");
    EXPECT_EQ(clone->GetName(), u"item1");
    EXPECT_EQ(clone->GetLayout(), layout);
    EXPECT_EQ(clone->GetParent(), parent.Get());
    EXPECT_EQ(clone->GetChildren()[0], templ->GetChildren()[0]);
    EXPECT_EQ(templ->Clone(u"")->GetName(), u"templateItem");

    auto table = LStringTable::Create();
    EXPECT_EQ(table->SetString(u"", u"x"), E_INVALIDARG);
    EXPECT_EQ(table->SetString(u"a", u"x"), S_OK);
    EXPECT_EQ(table->SetString(u"a", u"y"), S_FALSE);
    EXPECT_TRUE(table->Strings().size() == 1);

    EXPECT_FALSE(LVisualPartDescriptor::CreateImagePart(u"p", u"", {}, 0, nullptr, 1.0f, u"", {}));
    EXPECT_FALSE(LVisualPartDescriptor::CreateColorPart(u"p", nullptr, 1, 1, 0, 1.0f, u"", {}));
}
