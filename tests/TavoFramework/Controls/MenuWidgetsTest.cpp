#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ComboMenu.h"
#include "Controls/MainMenu.h"
#include "Notification/NotificationParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

// A drop-down list that only records what its title asks of it.
class ProbePopup : public LControl, public IMenuPopup
{
public:
    using LControl::LControl;
    static void Make(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                     const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<ProbePopup>(result, parent, descriptor);
    }
    TavoResult Finalize() override
    {
        SetVisible(false);
        return S_OK;
    }
    TavoResult SetMenuDescriptor(const RCPtr<LMenuDescriptor>& m) override
    {
        if (!m)
            return E_INVALIDARG;
        menu = m->Clone();
        return S_OK;
    }
    RCPtr<LMenuDescriptor> GetMenuDescriptor() const override { return menu; }
    TavoResult SetNotificationTarget(const RCPtr<LNotificationReceiver>& t) override
    {
        if (target)
            return E_FAIL;
        target = t;
        return S_OK;
    }
    void SetCloseOnActivation(bool close) override { closeOnActivation = close; }
    void SetItemUpdater(const RCPtr<LMenuItemUpdater>& u) override { updater = u; }
    TavoResult UITarget_OnMouseDown(uint32_t button, int32_t x, int32_t y) override
    {
        presses.push_back({int32_t(button), x, y});
        return S_OK;
    }
    TavoResult ReleaseInternalReferences() override
    {
        updater = nullptr;
        target = nullptr;
        return LControl::ReleaseInternalReferences();
    }

    RCPtr<LMenuDescriptor> menu;
    RCPtr<LNotificationReceiver> target;
    RCPtr<LMenuItemUpdater> updater;
    bool closeOnActivation = true;
    std::vector<std::vector<int32_t>> presses;
};

// A title whose pointer state a test sets directly.
class ProbeCombo : public LComboMenu
{
public:
    using LComboMenu::LComboMenu;
    static void Make(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                     const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<ProbeCombo>(result, parent, descriptor);
    }
    void Set(bool hover, bool leftPressed) { mHover = hover, mLeftPressed = leftPressed; }
};

class Sink : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>&) override
    {
        return S_OK;
    }
};

class MenuWindow : public FakeRootWindow
{
public:
    RCPtr<LNotificationReceiver> GetMenuListener() override
    {
        return RCPtr<LNotificationReceiver>(sink.Get());
    }
    RCPtr<Sink> sink{new Sink()};
};

const char* kSkin = R"(<R><Application Name="App"/>
<Parts><Part Name="p" Width="1" Height="1" ResizeType="Stretch"/></Parts>
<Looks><Look Name="l"><ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look></Looks>
<LookLists><LookList Name="four" NumLooks="4">
  <Look Name="l" Index="0"/><Look Name="l" Index="1"/><Look Name="l" Index="2"/><Look Name="l" Index="3"/></LookList></LookLists>
<Skin Name="S">
 <SubControl Class="Test.Panel" Name="main" XSizeAbs="400" YSizeAbs="300">
  <Skin Name="s">
   <SubControl Class="Framework.MainMenu" Name="mainMenu" XSizeAbs="400" YSizeAbs="24">
    <Skin Name="m">
     <SubControl Class="Framework.ComboMenu" Name="templateMenu" XSizeAbs="60" YSizeAbs="24">
      <Skin Name="t" LookList="four">
       <SubControl Class="Test.Popup" Name="popupMenu" YPositionRel="1" XSizeAbs="75" YSizeAbs="77"/>
      </Skin>
     </SubControl>
    </Skin>
   </SubControl>
   <SubControl Class="Framework.ComboMenu" Name="lone" XPositionAbs="360" YPositionAbs="100" XSizeAbs="40" YSizeAbs="24">
    <Skin Name="t2" LookList="four">
     <SubControl Class="Test.Popup" Name="popupMenu" YPositionRel="1" XSizeAbs="75" YSizeAbs="77"/>
    </Skin>
   </SubControl>
  </Skin>
 </SubControl>
</Skin></R>)";

const char* kStrings = R"(<Root><StringTable ID="Test.Panel|mainMenu">
 <String ID="MENU_LABEL.00"><Locale LCID="0x0009">File</Locale></String>
 <String ID="MENU_LABEL.1"><Locale LCID="0x0009">Edit</Locale></String>
 <String ID="MENU_LABEL.x"><Locale LCID="0x0009">Junk</Locale></String>
 <String ID="MENU_LABEL.99999"><Locale LCID="0x0009">Huge</Locale></String>
 <String ID="CONTEXT_MENU0.00.NID_MENU_FILE_ITEM_1"><Locale LCID="0x0009">Select Firmware File</Locale></String>
 <String ID="CONTEXT_MENU1.00.NID_COPY"><Locale LCID="0x0009">Copy</Locale></String>
</StringTable></Root>)";

class MenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        ControlEnvironment().factory = mFactory;
        mFactory->RegisterControlClass(u"Framework.MainMenu", &LMainMenu::Create);
        mFactory->RegisterControlClass(u"Framework.ComboMenu", &ProbeCombo::Make);
        mFactory->RegisterControlClass(u"Test.Popup", &ProbePopup::Make);
        mFactory->RegisterControlClass(u"Test.Panel", &LControl::CreateT<LControl>);
        mFolder.Write("app.xml", kStrings);
        mFolder.Write("fw.xml", R"(<Root/>)");
        ASSERT_EQ(mFactory->LoadStringTables(mFolder.WPath("app.xml"), mFolder.WPath("fw.xml"), 0x0409),
                  S_OK);
        ASSERT_EQ(mFactory->ParseXML(kSkin, 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mWindow = RCPtr<MenuWindow>(new MenuWindow());
        mWindow->SetClientRect({0, 0, 400, 300});
        mMain = mFactory->CreateControlFromDescriptor(u"main", mWindow.Get());
        ASSERT_TRUE(mMain);
        mBar = RCPtrDynamicCast<LMainMenu>(mMain->FindChildByName(u"mainMenu"));
        ASSERT_TRUE(mBar);
    }
    void TearDown() override
    {
        if (mMain)
            mMain->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    static ProbePopup* Popup(const RCPtr<LComboMenu>& menu)
    {
        return dynamic_cast<ProbePopup*>(menu->GetPopupControl().Get());
    }
    static void Conditions(const RCPtr<LComboMenu>& menu, uint32_t now, uint32_t before, double x = 0,
                           double y = 0)
    {
        menu->ConditionsChanged(LConditionsParam::Create(now | kConditionEnabled | kConditionVisible,
                                                         before | kConditionEnabled | kConditionVisible, x,
                                                         y));
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (int32_t i = 0; i < mBar->GetMenuCount(); ++i)
            names.push_back(NString(mBar->GetMenuAt(i)->GetName()).c_str());
        return names;
    }

    TempFolder mFolder;
    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    RCPtr<LControlFactory> mFactory;
    RCPtr<MenuWindow> mWindow;
    RCPtr<LControl> mMain;
    RCPtr<LMainMenu> mBar;
};

}  // namespace

TEST(MainMenuTitles, OnlyPrefixedKeysWithASmallNumberNameAMenu)
{
    struct Case
    {
        std::vector<std::pair<const char16_t*, const char16_t*>> pairs;
        std::vector<std::u16string> titles;
    };
    const Case cases[] = {
        {{{u"MENU_LABEL.00", u"File"}, {u"MENU_LABEL.1", u"Edit"}}, {u"File", u"Edit"}},
        {{{u"MENU_LABEL.03", u"Help"}}, {u"", u"", u"", u"Help"}},
        {{{u"MENU_LABEL.10000", u"Last"}}, std::vector<std::u16string>(10000, u"")},
        {{{u"MENU_LABEL.10001", u"x"}, {u"MENU_LABEL.4294967297", u"x"}, {u"MENU_LABEL.-1", u"x"}}, {}},
        {{{u"MENU_LABEL.abc", u"x"},
          {u"MENU_LABEL.", u"x"},
          {u"MENU_LABELS.0", u"x"},
          {u"XMENU_LABEL.0", u"x"}},
         {}},
    };
    for (const auto& c : cases) {
        LStringTable::Pairs pairs;
        for (const auto& [k, v] : c.pairs)
            pairs.Add({WString(k), WString(v)});
        std::vector<std::u16string> expected = c.titles;
        if (expected.size() == 10000)
            expected.push_back(u"Last");
        std::vector<std::u16string> titles;
        for (const WString& t : LMainMenu::CollectTitles(pairs))
            titles.push_back(t.c_str());
        EXPECT_EQ(titles, expected) << NString(WString(c.pairs.front().first)).c_str();
    }
}

TEST_F(MenuTest, TitlesAndEntriesBecomeMenusConnectedToTheWindow)
{
    EXPECT_EQ(Names(), std::vector<std::string>({"File", "Edit"}));
    EXPECT_EQ(mBar->GetFixedMenuCount(), 0);
    EXPECT_FALSE(mBar->FindChildByName(u"templateMenu")) << "the template leaves the bar";
    auto file = mBar->GetMenuAt(0);
    EXPECT_EQ(file->GetText(), WString(u"File"));
    ProbePopup* popup = Popup(file);
    ASSERT_TRUE(popup && popup->menu);
    EXPECT_EQ(popup->menu->GetItem(0)->key, WString(u"NID_MENU_FILE_ITEM_1"));
    EXPECT_FALSE(popup->closeOnActivation);
    EXPECT_EQ(popup->updater->GetControl().Get(), mBar.Get());
    EXPECT_EQ(popup->target.Get(), static_cast<LNotificationReceiver*>(mWindow->sink.Get()));
    // The second title starts where the first ends.
    EXPECT_EQ(mBar->GetMenuAt(1)->GetX(), file->GetX() + file->GetWidth());
}

TEST_F(MenuTest, AddingAndInsertingKeepsNamesUniqueAndContentsInOrder)
{
    auto menu = LMenuDescriptor::Create();
    menu->InsertItem(0, u"Manual", u"NID_HELP", true, false);
    EXPECT_EQ(mBar->AddMenu(3, u"Help", u"Help", menu), E_INVALIDARG);
    EXPECT_EQ(mBar->InsertMenu(u"Nowhere", u"Help", u"Help", menu), E_INVALIDARG);
    EXPECT_EQ(mBar->CreateMenuControl(u"Edit"), E_INVALIDARG);
    EXPECT_EQ(Names().size(), 2u);

    EXPECT_EQ(mBar->InsertMenu(u"File", u"Help", u"Help!", menu), 0);
    EXPECT_EQ(Names(), std::vector<std::string>({"Help", "File", "Edit"}));
    const char16_t* texts[] = {u"Help!", u"File", u"Edit"};
    const char16_t* keys[] = {u"NID_HELP", u"NID_MENU_FILE_ITEM_1", u"NID_COPY"};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(mBar->GetMenuAt(i)->GetText(), WString(texts[i]));
        EXPECT_EQ(Popup(mBar->GetMenuAt(i))->menu->GetItem(0)->key, WString(keys[i]));
    }
    EXPECT_EQ(mBar->FindMenuByName(u"Edit"), 2);
    EXPECT_EQ(mBar->GetMenuName(1), WString(u"File"));
    EXPECT_EQ(mBar->AddMenu(3, u"Tail", u"Tail", menu), 3);
    EXPECT_EQ(mBar->FindMenuByName(u"Tail"), 3);
}

TEST_F(MenuTest, ItemStatesAreAskedThroughTheApplicationsControl)
{
    uint32_t state = 0;
    EXPECT_EQ(mBar->UpdateMenuItemState(nullptr, 0, u"NID_COPY", state), 1);
    auto updater = LMenuItemUpdater::Create(mMain);
    EXPECT_EQ(mBar->SetMenuItemUpdater(updater), 0);
    EXPECT_EQ(mBar->SetMenuItemUpdater(updater), 1);
    updater->Drop();
    EXPECT_EQ(mBar->UpdateMenuItemState(nullptr, 0, u"NID_COPY", state), E_FAIL);
}

TEST_F(MenuTest, TitlesOpenSwitchAndCloseTheirMenus)
{
    auto file = RCPtrDynamicCast<ProbeCombo>(mBar->GetMenuAt(0));
    auto edit = RCPtrDynamicCast<ProbeCombo>(mBar->GetMenuAt(1));
    ASSERT_TRUE(file && edit);
    // A press opens at once and passes the press on, so a drag into the menu
    // that ends on an entry chooses it.
    file->Set(true, true);
    Conditions(file, kConditionHover | kConditionLeftPressed, kConditionHover, 30, 10);
    EXPECT_TRUE(file->IsDroppedDown());
    EXPECT_EQ(file->GetActiveLookIndex(), 2);
    EXPECT_EQ(Popup(file)->presses, std::vector<std::vector<int32_t>>({{1, 30, -14}}));

    // Pointing at the next title moves the open menu there without a click.
    file->Set(false, false);
    edit->Set(true, false);
    Conditions(edit, kConditionHover, 0);
    EXPECT_FALSE(file->IsDroppedDown());
    EXPECT_EQ(file->GetActiveLookIndex(), 0);
    EXPECT_TRUE(edit->IsDroppedDown());
    EXPECT_EQ(edit->GetActiveLookIndex(), 2);
    EXPECT_TRUE(Popup(edit)->presses.empty());

    // A chosen entry closes the menu; the title stays hovered.
    Popup(edit)->Notify(u"NID_ITEM_ACTIVATED");
    EXPECT_FALSE(edit->IsDroppedDown());
    EXPECT_EQ(edit->GetActiveLookIndex(), 1);

    // Pressing an open title of the bar closes it and it stays closed.
    edit->Set(true, true);
    Conditions(edit, kConditionHover | kConditionLeftPressed, kConditionHover);
    ASSERT_TRUE(edit->IsDroppedDown());
    Conditions(edit, kConditionHover, kConditionHover | kConditionLeftPressed);
    Conditions(edit, kConditionHover | kConditionLeftPressed, kConditionHover);
    EXPECT_FALSE(edit->IsDroppedDown());
}

TEST_F(MenuTest, LoneTitleKeepsItsMenuInTheWindowAndFollowsFocusAndState)
{
    auto lone = RCPtrDynamicCast<ProbeCombo>(mMain->FindChildByName(u"lone"));
    ASSERT_TRUE(lone);
    ASSERT_EQ(lone->SetDroppedDown(true), S_OK);
    // 360 + 75 would pass the 400 wide window: the menu ends at its edge.
    EXPECT_EQ(Popup(lone)->GetAbsolutePosition().x, 325.0);

    // A press while open: the focus coming back closes it and the press does
    // not open it again; the next press does.
    lone->SetFocus(true);
    EXPECT_FALSE(lone->IsDroppedDown());
    lone->Notify(u"NID_MOUSE_DOWN");
    Conditions(lone, kConditionLeftPressed, 0);
    EXPECT_FALSE(lone->IsDroppedDown());
    Conditions(lone, kConditionLeftPressed, 0);
    EXPECT_TRUE(lone->IsDroppedDown());
    lone->UITarget_OnFocusLost();
    EXPECT_FALSE(lone->IsDroppedDown());

    lone->SetEnabled(false);
    lone->Set(true, false);
    Conditions(lone, kConditionHover, 0);
    EXPECT_EQ(lone->GetActiveLookIndex(), 3);
}
