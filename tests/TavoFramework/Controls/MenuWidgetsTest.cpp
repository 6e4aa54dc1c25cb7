#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ComboMenu.h"
#include "Controls/MainMenu.h"
#include "Controls/PopupMenu.h"
#include "System/HotKeyMap.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/MenuActivationParam.h"
#include "Notification/NotificationParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/TavoFramework/ControlBase/RecordingRenderer.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

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
    bool IsTransparentAt(const PointT<int32_t>&) override { return false; }
};

class MenuWindow : public FakeRootWindow
{
public:
    RCPtr<LNotificationReceiver> GetMenuListener() override
    {
        return RCPtr<LNotificationReceiver>(sink.Get());
    }
    RCPtr<Recorder> sink{new Recorder()};
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
       <SubControl Class="Framework.PopupMenu" Name="popupMenu" YPositionRel="1" XSizeAbs="75" YSizeAbs="77">
        <Skin Name="pm"><SubControl Class="Test.Panel" Name="templateItem" XSizeAbs="75" YSizeAbs="20"/></Skin>
       </SubControl>
      </Skin>
     </SubControl>
    </Skin>
   </SubControl>
   <SubControl Class="Framework.ComboMenu" Name="lone" XPositionAbs="360" YPositionAbs="100" XSizeAbs="40" YSizeAbs="24">
    <Skin Name="t2" LookList="four">
     <SubControl Class="Framework.PopupMenu" Name="popupMenu" YPositionRel="1" XSizeAbs="75" YSizeAbs="77"/>
    </Skin>
   </SubControl>
   <SubControl Class="Framework.PopupMenu" Name="ctx" XPositionAbs="300" XSizeAbs="100" YSizeAbs="100">
    <Skin Name="c"><SubControl Class="Framework.PopupMenu" Name="submenu" XSizeAbs="80" YSizeAbs="60"/></Skin>
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

RCPtr<LKeyParam> Key(const char16_t* name)
{
    return LKeyParam::Create(KeyCode((uint32_t(KeyCode::FindVirtualKey(name)) << 16) | KeyCode::kKeyDown));
}

// Plain, Sub > (A, B), a separator, a disabled entry.
RCPtr<LMenuDescriptor> SampleMenu()
{
    auto menu = LMenuDescriptor::Create();
    menu->InsertItem(0, u"Plain", u"NID_PLAIN", true, false);
    auto sub = LMenuItemDescriptor::Create(u"Sub", u"", true, false);
    sub->InsertItem(0, u"A", u"NID_A", true, false);
    sub->InsertItem(1, u"B", u"NID_B", true, false);
    menu->InsertItem(1, sub);
    menu->InsertSeparator(2);
    menu->InsertItem(3, u"Off", u"NID_OFF", false, false);
    return menu;
}

class MenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        ControlEnvironment().factory = mFactory;
        mFactory->RegisterControlClass(u"Framework.MainMenu", &LMainMenu::Create);
        mFactory->RegisterControlClass(u"Framework.ComboMenu", &ProbeCombo::Make);
        mFactory->RegisterControlClass(u"Framework.PopupMenu", &LPopupMenu::Create);
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
        mMain->UITarget_UpdateGeometry(400, 300);
        mBar = RCPtrDynamicCast<LMainMenu>(mMain->FindChildByName(u"mainMenu"));
        ASSERT_TRUE(mBar);
    }
    void TearDown() override
    {
        mWindow->root = nullptr;
        mWindow->capture = nullptr;
        if (mMain)
            mMain->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
        ControlEnvironment().applicationHotKeys = nullptr;
    }
    static LPopupMenu* Popup(const RCPtr<LComboMenu>& menu)
    {
        return dynamic_cast<LPopupMenu*>(menu->GetPopupControl().Get());
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
    LPopupMenu* popup = Popup(file);
    ASSERT_TRUE(popup && popup->GetMenuDescriptor());
    EXPECT_EQ(popup->GetMenuDescriptor()->GetItem(0)->key, WString(u"NID_MENU_FILE_ITEM_1"));
    EXPECT_FALSE(popup->FindChildByName(u"templateItem"))
        << "a skin's row template would cover the first row";
    EXPECT_FALSE(popup->GetCloseOnActivation());
    EXPECT_EQ(popup->GetItemUpdater()->GetControl().Get(), mBar.Get());
    EXPECT_EQ(popup->GetNotificationTarget().Get(), static_cast<LNotificationReceiver*>(mWindow->sink.Get()));
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
        EXPECT_EQ(Popup(mBar->GetMenuAt(i))->GetMenuDescriptor()->GetItem(0)->key, WString(keys[i]));
    }
    EXPECT_EQ(mBar->FindMenuByName(u"Edit"), 2);
    EXPECT_EQ(mBar->GetMenuName(1), WString(u"File"));
    EXPECT_EQ(mBar->AddMenu(3, u"Tail", u"Tail", menu), 3);
    EXPECT_EQ(mBar->FindMenuByName(u"Tail"), 3);

    // Re-applying the skin brings the same menus back.
    ASSERT_EQ(mBar->SetDescriptor(mBar->GetDescriptor()), S_OK);
    EXPECT_EQ(Names(), std::vector<std::string>({"Help", "File", "Edit", "Tail"}));
    EXPECT_EQ(mBar->GetMenuAt(0)->GetText(), WString(u"Help!"));
    EXPECT_EQ(Popup(mBar->GetMenuAt(2))->GetMenuDescriptor()->GetItem(0)->key, WString(u"NID_COPY"));
}

TEST_F(MenuTest, TitlesOpenSwitchAndCloseTheirMenus)
{
    auto file = RCPtrDynamicCast<ProbeCombo>(mBar->GetMenuAt(0));
    auto edit = RCPtrDynamicCast<ProbeCombo>(mBar->GetMenuAt(1));
    ASSERT_TRUE(file && edit);
    // A press opens at once and passes the press on, so a drag into the menu
    // that ends on an entry chooses it.
    mWindow->buttons = 1;
    file->Set(true, true);
    Conditions(file, kConditionHover | kConditionLeftPressed, kConditionHover, 30, 10);
    EXPECT_TRUE(file->IsDroppedDown());
    EXPECT_EQ(file->GetActiveLookIndex(), 2);
    EXPECT_TRUE(Popup(file)->HasCapture());
    EXPECT_EQ(mWindow->capture.Get(), static_cast<LControl*>(Popup(file)));

    // Pointing at the next title moves the open menu there without a click.
    file->Set(false, false);
    edit->Set(true, false);
    Conditions(edit, kConditionHover, 0);
    EXPECT_FALSE(file->IsDroppedDown());
    EXPECT_EQ(file->GetActiveLookIndex(), 0);
    EXPECT_TRUE(edit->IsDroppedDown());
    EXPECT_EQ(edit->GetActiveLookIndex(), 2);
    EXPECT_FALSE(Popup(edit)->HasCapture());

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

TEST_F(MenuTest, ShortcutsComeFromTheControlThenTheWindowThenTheApplication)
{
    auto own = std::make_shared<HotKeyMap>();
    HotKeyMap app;
    const KeyCode f2 = KeyCode::FromString(u"VKEY_F2"), f3 = KeyCode::FromString(u"Ctrl+VKEY_F3"),
                  f4 = KeyCode::FromString(u"VKEY_F4"), f5 = KeyCode::FromString(u"Shift+VKEY_F5");
    own->AddBinding(f2, u"NID_OPEN");
    mWindow->hotKeys.AddBinding(f3, u"NID_OPEN");
    mWindow->hotKeys.AddBinding(f4, u"NID_CLOSE");
    app.AddBinding(f5, u"NID_HELP");
    app.AddBinding(KeyCode::FromString(u"VKEY_F6"), u"NID_KEEP");
    mMain->SetHotKeyMap(own);
    ControlEnvironment().applicationHotKeys = [&] { return &app; };

    auto menu = LMenuDescriptor::Create();
    const char16_t* keys[] = {u"NID_OPEN", u"NID_CLOSE", u"NID_HELP", u"NID_KEEP", u"NID_NONE"};
    for (int32_t i = 0; i < 5; ++i)
        menu->InsertItem(i, u"x", keys[i], true, false);
    menu->GetItem(3)->secondText = u"Mine";
    auto sub = LMenuItemDescriptor::Create(u"More", u"", true, false);
    sub->InsertItem(0, u"y", u"NID_CLOSE", true, false);
    menu->InsertItem(5, sub);

    struct Case
    {
        const char* target;
        std::vector<WString> texts;  // the five entries, then the submenu's entry
    };
    const WString none;
    const Case cases[] = {
        {"implicit: own, window, application",
         {KeyCode::ToDisplayString(f2), KeyCode::ToDisplayString(f4), KeyCode::ToDisplayString(f5), u"Mine",
          none, KeyCode::ToDisplayString(f4)}},
        {"the window's queue: window, application",
         {KeyCode::ToDisplayString(f3), KeyCode::ToDisplayString(f4), KeyCode::ToDisplayString(f5), u"Mine",
          none, KeyCode::ToDisplayString(f4)}},
        {"another target: application alone",
         {none, none, KeyCode::ToDisplayString(f5), u"Mine", none, none}},
    };
    RCPtr<Recorder> other(new Recorder());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].target);
        RCPtr<LControl> created =
            mFactory->CreateControl(LControlDescriptor::CloneWithLayout(
                                        mMain->FindChildByName(u"ctx")->GetDescriptor(),
                                        LLayoutDescriptor::Create(), u"p" + WString(char16_t(u'0' + i))),
                                    mMain);
        auto* popup = dynamic_cast<LPopupMenu*>(created.Get());
        ASSERT_TRUE(popup);
        if (i == 1)
            popup->SetNotificationTarget(RCPtr<LNotificationReceiver>(mWindow->sink.Get()));
        if (i == 2)
            popup->SetNotificationTarget(RCPtr<LNotificationReceiver>(other.Get()));
        popup->SetMenuDescriptor(menu);
        auto shown = popup->GetMenuDescriptor();
        for (int32_t e = 0; e < 5; ++e)
            EXPECT_EQ(shown->GetItem(e)->secondText, cases[i].texts[size_t(e)]) << e;
        EXPECT_EQ(shown->GetItem(5)->GetItem(0)->secondText, cases[i].texts[5]);
    }
    EXPECT_TRUE(menu->GetItem(0)->secondText.IsEmpty()) << "the caller's menu is left alone";
}

TEST_F(MenuTest, SubmenusOpenAfterTheHoverDelayAndKeysWalkTheChain)
{
    auto ctx = RCPtrDynamicCast<LPopupMenu>(mMain->FindChildByName(u"ctx"));
    ASSERT_TRUE(ctx);
    EXPECT_FALSE(ctx->FindChildByName(u"submenu")) << "the template is no row";
    ctx->SetMenuDescriptor(SampleMenu());
    ctx->SetVisible(true);
    EXPECT_EQ(ctx->GetContentHeight(), 20 * 3 + 7.0);
    EXPECT_FALSE(ctx->IsRowSelectable(2));
    EXPECT_FALSE(ctx->IsRowSelectable(3));
    ctx->SetHotRow(0, false);
    Tavo::Test::RecordingRenderer drawn;
    drawn.Begin();
    ctx->DrawContent(&drawn);
    drawn.End();
    std::vector<std::string> fills;
    std::copy_if(drawn.calls.begin(), drawn.calls.end(), std::back_inserter(fills),
                 [](const std::string& c) { return c.rfind("Fill", 0) == 0; });
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].rfind("Fill 0,0 100x20 FF3366CC", 0), 0u) << "the hot row";
    EXPECT_EQ(fills[1].rfind("Fill 4,43 92x1", 0), 0u) << "the separator below two rows";

    // Opens after more than 250 ms, not at 250.
    ctx->SetHotRow(1, true);
    mClock.Advance(250);
    ctx->OnIdle();
    EXPECT_FALSE(ctx->GetOpenSubmenu());
    mClock.Advance(1);
    ctx->OnIdle();
    auto sub = ctx->GetOpenSubmenu();
    ASSERT_TRUE(sub);
    // No room right of x 400: it opens left of its parent, at the row's top.
    EXPECT_EQ(sub->GetAbsolutePosition().x, 220.0);
    EXPECT_EQ(sub->GetAbsolutePosition().y, 20.0);

    // Resting on a plain entry closes it again after the delay.
    ctx->SetHotRow(0, true);
    mClock.Advance(251);
    ctx->OnIdle();
    EXPECT_FALSE(ctx->GetOpenSubmenu());
    EXPECT_FALSE(ctx->IsHoverPending());

    // Right opens with the first entry hot, Left closes only the submenu,
    // Escape closes the whole chain from the submenu.
    ctx->OnKey(Key(u"VKEY_DOWN"));
    EXPECT_EQ(ctx->GetHotRow(), 1);
    ctx->OnKey(Key(u"VKEY_RIGHT"));
    ASSERT_TRUE(ctx->GetOpenSubmenu());
    EXPECT_EQ(ctx->GetOpenSubmenu()->GetHotRow(), 0);
    ctx->GetOpenSubmenu()->OnKey(Key(u"VKEY_LEFT"));
    EXPECT_FALSE(ctx->GetOpenSubmenu());
    EXPECT_EQ(ctx->GetParent(), mMain.Get());
    ctx->OnKey(Key(u"VKEY_RIGHT"));
    ctx->GetOpenSubmenu()->OnKey(Key(u"VKEY_ESCAPE"));
    EXPECT_FALSE(ctx->GetParent());
}

TEST_F(MenuTest, ChoosingAnEntryDeliversItsNotificationAndClosesAsItsOpenerWants)
{
    auto ctx = RCPtrDynamicCast<LPopupMenu>(mMain->FindChildByName(u"ctx"));
    RCPtr<Recorder> target(new Recorder());
    ctx->SetNotificationTarget(RCPtr<LNotificationReceiver>(target.Get()));
    ctx->SetMenuDescriptor(SampleMenu());
    ctx->SetVisible(true);
    ctx->OnItemActivated(3);
    EXPECT_TRUE(target->names.empty()) << "a disabled entry is not chosen";
    ctx->OnItemActivated(1);
    auto sub = ctx->GetOpenSubmenu();
    ASSERT_TRUE(sub);
    sub->OnKey(Key(u"VKEY_DOWN"));
    sub->OnKey(Key(u"VKEY_RETURN"));
    EXPECT_EQ(target->names, std::vector<std::u16string>({u"NID_B"}));
    auto param = RCPtrDynamicCast<LMenuActivationParam>(
        RCPtr<LRefCountedObject>(const_cast<LRefCountedObject*>(target->data.Get())));
    ASSERT_TRUE(param);
    EXPECT_EQ(param->GetValue(), 1u);
    EXPECT_EQ(param->GetItem().Get(), static_cast<LRefCountedObject*>(sub->GetMenuDescriptor().Get()));
    EXPECT_FALSE(ctx->GetParent()) << "a context menu closes its chain";

    // A title's menu ignores Escape and outlives a choice, hidden by its title.
    auto file = mBar->GetMenuAt(0);
    file->SetDroppedDown(true);
    LPopupMenu* popup = Popup(file);
    popup->OnKey(Key(u"VKEY_ESCAPE"));
    EXPECT_TRUE(file->IsDroppedDown());
    popup->OnItemActivated(0);
    EXPECT_EQ(mWindow->sink->names, std::vector<std::u16string>({u"NID_MENU_FILE_ITEM_1"}));
    EXPECT_FALSE(file->IsDroppedDown());
    EXPECT_EQ(popup->GetParent(), file.Get());
}

TEST_F(MenuTest, ADragFromAnOpenMenuOntoAnotherTitlePressesIt)
{
    auto file = mBar->GetMenuAt(0), edit = mBar->GetMenuAt(1);
    mWindow->root = mMain;
    mWindow->buttons = 1;
    file->SetDroppedDown(true);
    LPopupMenu* popup = Popup(file);
    ASSERT_EQ(popup->UITarget_OnMouseDown(1, 5, 5), S_OK);
    // The edit title lies at window (60..120, 0..24); the popup starts at y 24.
    popup->UITarget_MouseMove(LPointWithModifiersParam::Create(90, -12, 0, 0));
    // The title opens and hands the press on to its own menu.
    EXPECT_TRUE(edit->IsDroppedDown());
    EXPECT_EQ(mWindow->capture.Get(), static_cast<LControl*>(Popup(edit)));
}
