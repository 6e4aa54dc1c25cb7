#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "tests/Common/FakeRootWindow.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <stdexcept>
#include <vector>

using namespace Tavo;

namespace {

int gResolved = 0;

// Counts the lookups of its creator; the other creator marks what it made.
class TestControl : public LControl
{
public:
    TestControl(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    static void Create(RCPtr<LControl>& out, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        ++gResolved;
        CreateT<TestControl>(out, parent, descriptor);
    }
    static void CreateOther(RCPtr<LControl>& out, const RCPtr<LControl>& parent,
                            const RCPtr<LControlDescriptor>& descriptor)
    {
        Create(out, parent, descriptor);
        RCPtrDynamicCast<TestControl>(out)->mOther = true;
    }

    TestControl* Child(uint32_t i) { return static_cast<TestControl*>(GetChildren().GetAt(i).Get()); }

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
  <SubControl Class="T.Blank" Name="blank"/>
  <SubControl Class="T.Panel" Name="holder"><Skin Name="h"><SubControl Class="T.Blank" Name="hole"/></Skin></SubControl>
</Skin>
<Skin Name="S2" FontName="Verdana" FontStyle="2"><SubControl Class="T.Panel" Name="main"/></Skin></R>)";

class ControlFactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        gResolved = 0;
        ControlEnvironment().factory = mFactory;
        ASSERT_EQ(mFactory->ParseXML(kSkin, 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mFactory->RegisterControlClass(u"T.Panel", &TestControl::Create);
        mFactory->RegisterControlClass(u"T.Button", &TestControl::CreateOther);
        // The first registration stays.
        mFactory->RegisterControlClass(u"T.Button", &TestControl::Create);
        mFactory->RegisterControlClass(u"T.Blank", nullptr);
    }
    void TearDown() override { ControlEnvironment().factory = nullptr; }
    RCPtr<LControlFactory> mFactory;
};

}  // namespace

TEST_F(ControlFactoryTest, CreatesThroughTheFirstRegistrationResolvedOncePerDescriptor)
{
    auto window = FakeRootWindow::Create();
    auto control =
        RCPtrDynamicCast<TestControl>(mFactory->CreateControlFromDescriptor(u"main", window.Get()));
    ASSERT_TRUE(control);
    // Creation by name shows the top control.
    EXPECT_TRUE(control->GetDescriptor()->GetLayout()->visible);
    ASSERT_EQ(control->GetChildren().Count(), 2u);
    EXPECT_TRUE(control->Child(0)->mOther);
    EXPECT_EQ(control->Child(0)->GetRootWindow(), window.Get());
    control->Detach();

    // The creator is remembered on the descriptor and not looked up again.
    RCPtr<LControlDescriptor> ok;
    for (const auto& c : mFactory->FindDescriptorByName(u"main")->GetChildren())
        ok = c->GetName() == u"ok" ? c : ok;
    EXPECT_EQ(ok->GetCreateFunction(), &TestControl::CreateOther);
    const int resolved = gResolved;
    mFactory->RegisterControlClass(u"T.Late", &TestControl::Create);
    EXPECT_TRUE(RCPtrDynamicCast<TestControl>(mFactory->CreateControl(ok, nullptr))->mOther);
    EXPECT_EQ(gResolved, resolved + 1);
}

TEST_F(ControlFactoryTest, UnregisteredClassThrowsTheFixedText)
{
    auto d = mFactory->FindDescriptorByName(u"stranger");
    ASSERT_TRUE(d);
    EXPECT_EQ(
        ThrownText<Exception<std::runtime_error>>([&] { mFactory->CreateControl(d, nullptr); }),
        "Runtime Error : Tavo::LControlFactory::GetControlCreateFunction : ControlBase\\ControlFactory : "
        "Line 51");
    EXPECT_EQ(gResolved, 0);
    ControlCreateFunction f = nullptr;
    EXPECT_THROW(mFactory->GetControlCreateFunction(u"t.panel", f), std::runtime_error);
}

TEST_F(ControlFactoryTest, ClassWithoutCreatorThrowsNamingItAlsoFromInsideATree)
{
    for (const char16_t* name : {u"blank", u"holder"})
        EXPECT_EQ(ThrownText<Exception<std::runtime_error>>(
                      [&] { mFactory->CreateControlFromDescriptor(name, nullptr); }),
                  "Runtime Error : No Create Function For T.Blank : Tavo::LControlFactory::CreateControl : "
                  "ControlBase\\ControlFactory : Line 88");
}

TEST_F(ControlFactoryTest, LookupsAndFontOverrideCoverOnlyTheCurrentSkin)
{
    // Of two of the same name the later in layout order wins.
    EXPECT_EQ(mFactory->FindDescriptorByName(u"twice")->GetClassName(), u"T.Button");
    EXPECT_FALSE(mFactory->FindDescriptorByName(u"ok"));
    WString name = u"face";
    float size = 3.0f;
    int32_t style = 7;
    // First skin: size below 1, style and name unset: nothing is reported.
    EXPECT_EQ(mFactory->GetCurrentSkinFontOverride(name, size, style), S_FALSE);
    EXPECT_TRUE(name == u"face" && size == 3.0f && style == 7);

    auto control = mFactory->CreateControlFromDescriptor(u"main", nullptr);
    mFactory->SetCurrentSkinIndex(1);
    EXPECT_EQ(mFactory->ReapplyDescriptor(control), S_OK);
    EXPECT_EQ(control->GetDescriptor(), mFactory->FindDescriptorByName(u"main"));
    EXPECT_FALSE(mFactory->FindDescriptorByName(u"twice"));
    RCPtr<LControl> orphan(new TestControl(nullptr, u"twice"));
    EXPECT_EQ(mFactory->ReapplyDescriptor(orphan), E_FAIL);
    EXPECT_EQ(mFactory->GetCurrentSkinFontOverride(name, size, style), S_OK);
    EXPECT_TRUE(name == u"Verdana" && size == 3.0f && style == 2);
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
    EXPECT_EQ(clone->GetLayout(), layout);
    EXPECT_EQ(clone->GetParent(), parent.Get());
    EXPECT_EQ(clone->GetChildren()[0], templ->GetChildren()[0]);

    auto table = LStringTable::Create();
    EXPECT_EQ(table->SetString(u"", u"x"), E_INVALIDARG);
    EXPECT_EQ(table->SetString(u"a", u"x"), S_OK);
    EXPECT_EQ(table->SetString(u"a", u"y"), S_FALSE);

    EXPECT_FALSE(LVisualPartDescriptor::CreateImagePart(u"p", u"", {}, 0, nullptr, 1.0f, u"", {}));
    EXPECT_FALSE(LVisualPartDescriptor::CreateColorPart(u"p", nullptr, 1, 1, 0, 1.0f, u"", {}));
}
