// The menus (main menu titles, popup menus and their submenus) on a fake
// root window: rows from descriptors, shortcuts, hover, choosing and keys.
#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"
#include "Controls/Button.h"
#include "Controls/ComboMenu.h"
#include "Controls/Label.h"
#include "Controls/MainMenu.h"
#include "Controls/PopupMenu.h"
#include "System/HotKeyMap.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/MenuActivationParam.h"
#include "Notification/NotificationParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// Entries by label: "-" a separator, "label|hint", "!label" disabled,
// "label\tshortcut".
RCPtr<LMenuDescriptor> MenuOf(std::initializer_list<const char16_t*> labels)
{
    auto menu = LMenuDescriptor::Create();
    int32_t i = 0;
    for (std::u16string text : labels) {
        if (text == u"-") {
            menu->InsertSeparator(i++);
            continue;
        }
        const bool disabled = text[0] == u'!';
        if (disabled)
            text.erase(0, 1);
        std::u16string hint, keys;
        if (const size_t bar = text.find(u'|'); bar != text.npos)
            hint = text.substr(bar + 1), text.erase(bar);
        if (const size_t tab = text.find(u'\t'); tab != text.npos)
            keys = text.substr(tab + 1), text.erase(tab);
        std::u16string key = u"NID_" + text;
        menu->InsertItem(i, WString(text.c_str()), WString(key.c_str()), !disabled, false);
        menu->GetItem(i)->hint = WString(hint.c_str());
        menu->GetItem(i)->secondText = WString(keys.c_str());
        ++i;
    }
    return menu;
}

class MenuWindow : public FakeRootWindow
{
public:
    RCPtr<LNotificationReceiver> GetMenuListener() override
    {
        return RCPtr<LNotificationReceiver>(sink.Get());
    }
    RCPtr<Recorder> sink{new Recorder()};
};

// A menu row: its label from x 20, a check mark and a shortcut label at the
// right; fourteen row looks (the band where selected), nine check looks.
#define ROW(skin)                                                                                            \
    "<SubControl Class=\"Framework.MenuItem\" Name=\"templateItem\" XSizeToControl=\"Parent\" "              \
    "XSizeRel=\"1\" "                                                                                        \
    "XSizeAbs=\"0\" YSizeAbs=\"20\"><Skin Name=\"" skin "\" LookList=\"rows\">"                              \
    "<SubControl Class=\"Framework.Button\" Name=\"checkBox\" XSizeAbs=\"16\" YSizeAbs=\"16\" "              \
    "YPositionAbs=\"2\"><Skin Name=\"" skin "c\" LookList=\"marks\"/></SubControl>"                          \
    "<SubControl Class=\"Framework.Label\" Name=\"hotKeyLabel\" XPlacementAnchor=\"1\" XPositionRel=\"1\" "  \
    "XPositionAbs=\"-4\" XSizeAbs=\"40\" YSizeAbs=\"20\"/></Skin></SubControl>"

const char* kSkin = R"(<R><Application Name="App"/>
<Colorizers><Colorizer Name="black" ColorType="SolidFill" Color="0xFF000000"/></Colorizers>
<Parts><Part Name="p" Width="1" Height="1" ResizeType="Stretch"/>
 <Part Name="ink" Width="1" Height="1" ResizeType="Stretch" ColorizerName="black"/></Parts>
<Looks><Look Name="l"><ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
 <Look Name="row"><TextProperties TextLeftRel="0" TextLeftAbs="20" TextRightRel="1" TextRightAbs="0" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/></Look>
 <Look Name="band"><ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="20" TextRightRel="1" TextRightAbs="0" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/></Look></Looks>
<LookLists><LookList Name="four" NumLooks="4">
  <Look Name="l" Index="0"/><Look Name="l" Index="1"/><Look Name="l" Index="2"/><Look Name="l" Index="3"/></LookList>
 <LookList Name="rows" NumLooks="14">
  <Look Name="row" Index="0"/><Look Name="row" Index="1"/><Look Name="row" Index="2"/><Look Name="row" Index="3"/>
  <Look Name="row" Index="4"/><Look Name="row" Index="5"/><Look Name="row" Index="6"/><Look Name="band" Index="7"/>
  <Look Name="band" Index="8"/><Look Name="band" Index="9"/><Look Name="band" Index="10"/><Look Name="band" Index="11"/>
  <Look Name="band" Index="12"/><Look Name="row" Index="13"/></LookList>
 <LookList Name="marks" NumLooks="9">
  <Look Name="l" Index="0"/><Look Name="l" Index="1"/><Look Name="l" Index="2"/><Look Name="l" Index="3"/>
  <Look Name="l" Index="4"/><Look Name="l" Index="5"/><Look Name="l" Index="6"/><Look Name="l" Index="7"/>
  <Look Name="l" Index="8"/></LookList></LookLists>
<Skin Name="S">
 <SubControl Class="Test.Panel" Name="main" XSizeAbs="400" YSizeAbs="300">
  <Skin Name="s">
   <SubControl Class="Framework.MainMenu" Name="mainMenu" XSizeAbs="400" YSizeAbs="24">
    <Skin Name="m">
     <SubControl Class="Framework.ComboMenu" Name="templateMenu" XSizeAbs="60" YSizeAbs="24">
      <Skin Name="t" LookList="four">
       <SubControl Class="Framework.PopupMenu" Name="popupMenu" YPositionRel="1" XSizeAbs="75" YSizeAbs="77">
        <Skin Name="pm">)" ROW("r1") R"(</Skin>
       </SubControl>
      </Skin>
     </SubControl>
    </Skin>
   </SubControl>
   <SubControl Class="Framework.ComboMenu" Name="lone" XPositionAbs="360" YPositionAbs="100" XSizeAbs="40" YSizeAbs="24">
    <Skin Name="t2" LookList="four">
     <SubControl Class="Framework.PopupMenu" Name="popupMenu" YPositionRel="1" XSizeAbs="75" YSizeAbs="77">
      <Skin Name="pm2">)" ROW("r2") R"(</Skin>
     </SubControl>
    </Skin>
   </SubControl>
   <SubControl Class="Test.Panel" Name="elsewhere" XPositionAbs="0" YPositionAbs="250" XSizeAbs="50" YSizeAbs="50"/>
   <SubControl Class="Framework.PopupMenu" Name="ctx" XPositionAbs="300" XSizeAbs="100" YSizeAbs="100" YMaxSizeAbs="100">
    <Skin Name="c">)" ROW("r3") R"(
     <SubControl Class="Framework.PopupMenu" Name="submenu" XSizeAbs="80" YSizeAbs="60">
      <Skin Name="sm">)" ROW("r4") R"(</Skin>
     </SubControl>
    </Skin>
   </SubControl>
  </Skin>
 </SubControl>
</Skin></R>)";

const char* kStrings = R"(<Root><StringTable ID="Test.Panel|mainMenu">
 <String ID="MENU_LABEL.00"><Locale LCID="0x0009">File</Locale></String>
 <String ID="MENU_LABEL.1"><Locale LCID="0x0009">Edit</Locale></String>
 <String ID="MENU_LABEL.-1"><Locale LCID="0x0009">Junk</Locale></String>
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
        // Entries are measured in the rows' font.
        ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"DejaVu Sans", 10, 0); };
        mFactory->RegisterControlClass(u"Framework.MainMenu", &LMainMenu::Create);
        mFactory->RegisterControlClass(u"Framework.ComboMenu", &ProbeCombo::Make);
        mFactory->RegisterControlClass(u"Framework.PopupMenu", &LPopupMenu::Create);
        mFactory->RegisterControlClass(u"Framework.MenuItem", &LMenuListBoxItem::Create);
        mFactory->RegisterControlClass(u"Framework.Button", &LButton::Create);
        mFactory->RegisterControlClass(u"Framework.Label", &LLabel::Create);
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
        ControlEnvironment().defaultFont = nullptr;
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
    // The skin's context menu showing `menu`, laid out.
    RCPtr<LPopupMenu> Ctx(const RCPtr<LMenuDescriptor>& menu)
    {
        auto ctx = RCPtrDynamicCast<LPopupMenu>(mMain->FindChildByName(u"ctx"));
        ctx->SetMenuDescriptor(menu);
        ctx->SetVisible(true);
        mMain->UITarget_UpdateGeometry(400, 300);
        return ctx;
    }
    // A new popup of the context menu's skin, named `name`.
    RCPtr<LPopupMenu> NewPopup(const WString& name)
    {
        const RCPtr<LControlDescriptor> d = mMain->FindChildByName(u"ctx")->GetDescriptor();
        return RCPtrDynamicCast<LPopupMenu>(mFactory->CreateControl(
            LControlDescriptor::CloneWithLayout(d, d->GetLayout()->Clone(), name), mMain));
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

// The number is read as the runtime reads an integer from text: leading
// digits after white space and a sign, 0 when there are none.
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
        {{{u"MENU_LABEL.abc", u"Text"}}, {u"Text"}},
        {{{u"MENU_LABEL.", u"Empty"}}, {u"Empty"}},
        {{{u"MENU_LABEL.2nd", u"Second"}, {u"MENU_LABEL. +1", u"First"}, {u"MENU_LABEL.-0", u"Zero"}},
         {u"Zero", u"First", u"Second"}},
        {{{u"MENU_LABELS.0", u"x"}, {u"XMENU_LABEL.0", u"x"}}, {}},
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
    LPopupMenu* popup = Popup(file);
    ASSERT_TRUE(popup && popup->GetMenuDescriptor());
    EXPECT_EQ(popup->GetMenuDescriptor()->GetItem(0)->key, WString(u"NID_MENU_FILE_ITEM_1"));
    EXPECT_FALSE(popup->FindChildByName(u"templateItem")) << "the template is no row";
    ASSERT_GE(popup->GetRowCount(), 1u);
    EXPECT_EQ(popup->GetRow(0)->GetText(), WString(u"Select Firmware File"));
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
    // 360 plus the menu's width would pass the 400 wide window: the menu
    // ends at its edge.
    EXPECT_EQ(Popup(lone)->GetAbsolutePosition().x, 400.0 - Popup(lone)->GetWidth());

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

    const WString none, F2 = KeyCode::ToDisplayString(f2), F3 = KeyCode::ToDisplayString(f3),
                        F4 = KeyCode::ToDisplayString(f4), F5 = KeyCode::ToDisplayString(f5);
    RCPtr<Recorder> other(new Recorder());
    const struct
    {
        const char* what;
        LNotificationReceiver* target;
        std::vector<WString> texts;  // the five entries, then the submenu's entry
    } cases[] = {
        {"implicit: own, window, application", nullptr, {F2, F4, F5, u"Mine", none, F4}},
        {"the window's queue: window, application", mWindow->sink.Get(), {F3, F4, F5, u"Mine", none, F4}},
        {"another target: application alone", other.Get(), {none, none, F5, u"Mine", none, none}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RCPtr<LPopupMenu> popup = NewPopup(u"p" + WString(char16_t(u'0' + n++)));
        ASSERT_TRUE(popup);
        if (c.target)
            popup->SetNotificationTarget(RCPtr<LNotificationReceiver>(c.target));
        popup->SetMenuDescriptor(menu);
        auto shown = popup->GetMenuDescriptor();
        for (int32_t e = 0; e < 5; ++e)
            EXPECT_EQ(shown->GetItem(e)->secondText, c.texts[size_t(e)]) << e;
        EXPECT_EQ(shown->GetItem(5)->GetItem(0)->secondText, c.texts[5]);
    }
    EXPECT_TRUE(menu->GetItem(0)->secondText.IsEmpty()) << "the caller's menu is left alone";
}

TEST_F(MenuTest, SubmenusOpenAfterTheHoverDelayAndKeysWalkTheChain)
{
    auto ctx = Ctx(SampleMenu());
    EXPECT_FALSE(ctx->FindChildByName(u"submenu")) << "the template is no row";
    EXPECT_EQ(ctx->GetContentHeight(), 20 * 3 + ctx->GetSeparatorHeight());
    EXPECT_FALSE(ctx->IsRowSelectable(2));
    EXPECT_FALSE(ctx->IsRowSelectable(3));

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
    EXPECT_EQ(ctx->GetHotRow(), 1);
    ctx->OnKey(Key(u"VKEY_RIGHT"));
    ASSERT_TRUE(ctx->GetOpenSubmenu());
    ctx->GetOpenSubmenu()->OnKey(Key(u"VKEY_ESCAPE"));
    EXPECT_FALSE(ctx->GetParent());
}

TEST_F(MenuTest, ChoosingAnEntryDeliversItsNotificationAndClosesAsItsOpenerWants)
{
    auto ctx = Ctx(SampleMenu());
    RCPtr<Recorder> target(new Recorder());
    ctx->SetNotificationTarget(RCPtr<LNotificationReceiver>(target.Get()));
    ctx->SetHotRow(3, false);
    ctx->OnKey(Key(u"VKEY_RETURN"));
    EXPECT_TRUE(target->names.empty()) << "a disabled entry is not chosen";
    ctx->SetHotRow(1, false);
    ctx->OnItemActivated();
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

    // A title's menu ignores Escape and outlives a choice, hidden by its
    // title; its opener hears of the choice (twice: from the list too).
    auto file = mBar->GetMenuAt(0);
    LPopupMenu* popup = Popup(file);
    RCPtr<Recorder> opener(new Recorder());
    opener->Listen(RCPtr<LPopupMenu>(popup), {u"NID_ITEM_ACTIVATED"});
    file->SetDroppedDown(true);
    popup->OnKey(Key(u"VKEY_ESCAPE"));
    EXPECT_TRUE(file->IsDroppedDown());
    popup->SetHotRow(0, false);
    popup->OnKey(Key(u"VKEY_RETURN"));
    EXPECT_EQ(mWindow->sink->names, std::vector<std::u16string>({u"NID_MENU_FILE_ITEM_1"}));
    EXPECT_EQ(RCPtrDynamicCast<LMenuActivationParam>(
                  RCPtr<LRefCountedObject>(const_cast<LRefCountedObject*>(mWindow->sink->data.Get())))
                  ->GetValue(),
              0u);
    EXPECT_FALSE(file->IsDroppedDown());
    EXPECT_EQ(popup->GetParent(), file.Get());
    EXPECT_EQ(opener->Count(u"NID_ITEM_ACTIVATED"), 2);
    opener->UnsubscribeAll();
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

namespace {

int32_t TextWidth(const LControl& row, const char16_t* text)
{
    return RoundToInt32(GetMeasurementRenderer()->MeasureString(WString(text), row.GetFont()).width);
}

// Disables "NID_A", checks "NID_B" and renames "NID_C" when asked.
class StateSource : public LControl
{
public:
    StateSource() : LControl(nullptr, u"states") {}
    TavoResult UpdateMenuItemState(const RCPtr<LMenuDescriptor>& menu, int32_t item, const WString& command,
                                   uint32_t& state) override
    {
        ++asked;
        if (command == u"NID_A")
            state &= ~1u;
        else if (command == u"NID_B")
            state |= 2u;
        else if (command == u"NID_C")
            menu->GetItem(item)->label = u"C renamed to a much longer label";
        else
            return S_FALSE;
        return S_OK;
    }
    int asked = 0;
};

bool Banded(LListBoxItem* row)
{
    return row->GetActiveLookIndex() >= 7 && row->GetActiveLookIndex() <= 12;
}

}  // namespace

TEST_F(MenuTest, PopupGrowsFromItsSkinSizeToFitItsEntries)
{
    struct Case
    {
        RCPtr<LMenuDescriptor> menu;
        const char16_t *widest, *widestKeys;  // label and shortcut of the widest entry
        int rows, separators;
    } const cases[] = {
        {MenuOf({u"Select Firmware File"}), u"Select Firmware File", u"", 1, 0},
        {MenuOf({u"A"}), u"A", u"", 1, 0},
        {MenuOf({u"Open\tCtrl+O", u"-", u"Quit"}), u"Open", u"Ctrl+O", 2, 1},
        {MenuOf({u"-", u"-", u"-"}), u"", u"", 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(NString(WString(c.widest)).c_str());
        auto ctx = Ctx(c.menu);
        const LListBoxItem& row = *ctx->GetRow(0);
        // The check mark, a gap of 20, the 4 right of the shortcut and the
        // shortcut within the row look's margins (20 on the left).
        const int32_t keys = *c.widestKeys ? TextWidth(row, c.widestKeys) + 20 : 0;
        const int32_t content = 16 + 20 + 4 + TextWidth(row, c.widest) + keys;
        EXPECT_EQ(ctx->GetWidth(), std::max(100, c.separators == 3 ? 0 : content));
        EXPECT_EQ(ctx->GetHeight(), c.rows * 20 + c.separators * ctx->GetSeparatorHeight());
        // A shortcut label starts after its row's text ends; without a
        // shortcut it draws nothing.
        for (uint32_t r = 0; r < ctx->GetItemCount(); ++r) {
            LListBoxItem& shown = *ctx->GetRow(r);
            RCPtr<LControl> label = shown.FindChildByName(u"hotKeyLabel");
            if (shown.IsSeparator() || label->GetText().IsEmpty()) {
                EXPECT_FALSE(label->IsShown(false)) << r;
                continue;
            }
            EXPECT_GE(label->GetX(), 20 + TextWidth(shown, shown.GetText().c_str())) << r;
            EXPECT_EQ(label->GetX() + label->GetWidth(), ctx->GetWidth() - 4) << r;
        }
    }
}

TEST_F(MenuTest, KeysMoveTheHotRowOverEntriesThatCanBeChosen)
{
    // 0 A, 1 separator, 2 disabled, 3..10 C..J, 11 disabled; five rows show.
    auto ctx = Ctx(MenuOf({u"A", u"-", u"!B", u"C", u"D", u"E", u"F", u"G", u"H", u"I", u"J", u"!K"}));
    ASSERT_EQ(ctx->GetHeight(), 100.0) << "the skin's maximum";
    struct Case
    {
        int32_t from;
        const char16_t* key;
        int32_t to;
    } const cases[] = {
        {-1, u"VKEY_DOWN", 0},    {0, u"VKEY_DOWN", 3},    {3, u"VKEY_UP", 0},     {0, u"VKEY_UP", 0},
        {-1, u"VKEY_END", 10},    {5, u"VKEY_HOME", 0},    {0, u"VKEY_PAGEDN", 5}, {8, u"VKEY_PAGEDN", 10},
        {10, u"VKEY_PAGEDN", 10}, {10, u"VKEY_PAGEUP", 5}, {3, u"VKEY_PAGEUP", 0}, {0, u"VKEY_PAGEUP", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(NString(WString(c.key)).c_str() + (" from " + std::to_string(c.from)));
        ctx->SetHotRow(c.from, false);
        EXPECT_EQ(ctx->OnKey(Key(c.key)), S_OK);
        EXPECT_EQ(ctx->GetHotRow(), c.to);
        // The hot row is in view, and it is the only one with the band.
        const int32_t row = ctx->GetRowOfItem(uint32_t(c.to));
        ASSERT_GE(row, 0);
        for (uint32_t r = 0; r < ctx->GetRowCount(); ++r)
            EXPECT_EQ(Banded(ctx->GetRow(r)), int32_t(r) == row) << r;
    }
    EXPECT_EQ(ctx->SwapItems(0, 3), E_NOTIMPL);
    EXPECT_TRUE(ctx->SortItems());
    EXPECT_EQ(ctx->GetItemText(3), WString(u"C")) << "the entries keep their order";
}

TEST_F(MenuTest, TheHoveredRowTakesTheBandAndItsHintIsTheStatusText)
{
    std::vector<WString> status;
    ControlEnvironment().setStatusText = [&](const WString& text) {
        status.push_back(text);
        return S_OK;
    };
    auto ctx = Ctx(MenuOf({u"First|first hint", u"Middle", u"Last|last hint"}));
    const uint32_t plain = kConditionEnabled | kConditionVisible, hover = kConditionHover | plain;
    const struct
    {
        uint32_t row;
        std::vector<WString> status;
    } cases[] = {{0, {u"first hint"}}, {1, {}}, {2, {u"last hint"}}};
    for (const auto& c : cases) {
        status.clear();
        LListBoxItem* row = ctx->GetRow(c.row);
        row->Notify(u"NID_HOVER_CONDITION_CHANGE", LConditionsParam::Create(hover, plain, 5, 5));
        EXPECT_EQ(ctx->GetHotRow(), int32_t(c.row));
        EXPECT_EQ(row->GetY(), 20.0 * c.row) << "the band is drawn where the row is";
        for (uint32_t r = 0; r < 3; ++r)
            EXPECT_EQ(Banded(ctx->GetRow(r)), r == c.row) << r;
        EXPECT_EQ(status, c.status);
        row->Notify(u"NID_HOVER_CONDITION_CHANGE", LConditionsParam::Create(plain, hover, 5, 5));
        EXPECT_EQ(status.empty() ? WString(u"none") : status.back(), WString()) << "cleared as it leaves";
    }
    ControlEnvironment().setStatusText = nullptr;
}

TEST_F(MenuTest, ShowingAPopupAppliesTheUpdatersStatesAndLabels)
{
    auto ctx = RCPtrDynamicCast<LPopupMenu>(mMain->FindChildByName(u"ctx"));
    ctx->SetMenuDescriptor(MenuOf({u"A", u"B", u"C", u"D"}));
    RCPtr<StateSource> source(new StateSource());
    ctx->SetItemUpdater(LMenuItemUpdater::Create(RCPtr<LControl>(source.Get())));
    const double narrow = ctx->GetWidth();
    ctx->SetVisible(true);
    mMain->UITarget_UpdateGeometry(400, 300);
    EXPECT_EQ(source->asked, 4);
    auto* b = dynamic_cast<LCheckedListBoxItem*>(ctx->GetRow(1));
    ASSERT_TRUE(b);
    EXPECT_EQ(ctx->GetRow(0)->GetActiveLookIndex(), 6) << "the disabled look";
    EXPECT_FALSE(ctx->IsRowSelectable(0));
    EXPECT_EQ(b->GetCheckBox()->GetActiveLookIndex(), 7) << "the check mark";
    EXPECT_EQ(ctx->GetRow(2)->GetText(), WString(u"C renamed to a much longer label"));
    EXPECT_GT(ctx->GetWidth(), narrow) << "the popup fits the new label";
    EXPECT_FALSE(ctx->GetRow(2)->IsTextClipped());
    LMenuDescriptor::ItemInfo same;
    ctx->GetMenuDescriptor()->GetItemInfo(3, same);
    EXPECT_EQ(ctx->ApplyItemInfo(3, same), S_FALSE);
    EXPECT_EQ(ctx->ApplyItemInfo(4, same), E_INVALIDARG);
    ctx->SetItemUpdater(nullptr);
}

TEST_F(MenuTest, APressOutsideAnOpenMenuOrTheWindowLosingFocusClosesIt)
{
    auto file = mBar->GetMenuAt(0);
    RCPtr<LControl> elsewhere = mMain->FindChildByName(u"elsewhere");
    RCPtr<LPopupMenu> ctx;
    const struct
    {
        const char* where;
        std::function<LControl*()> target;
        bool menuStays, contextStays;
    } cases[] = {
        {"its own row", [&] { return static_cast<LControl*>(Popup(file)->GetRow(0)); }, true, false},
        {"the title", [&] { return static_cast<LControl*>(file.Get()); }, true, false},
        {"the context menu", [&] { return static_cast<LControl*>(ctx->GetRow(0)); }, false, true},
        {"another control", [&] { return elsewhere.Get(); }, false, false},
        {"the window losing the focus", [] { return static_cast<LControl*>(nullptr); }, false, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        ctx = NewPopup(u"opened" + WString(char16_t(u'0' + n++)));
        ASSERT_TRUE(ctx);
        ctx->SetMenuDescriptor(SampleMenu());
        ctx->PositionAndOpen({10, 50});
        // Both open at once: the title's menu shown without taking the
        // focus, which would close the context menu.
        Popup(file)->SetVisible(true);
        ASSERT_TRUE(file->IsDroppedDown() && ctx->IsShown(false));
        mMain->ClosePopupsOutside(c.target());
        EXPECT_EQ(file->IsDroppedDown(), c.menuStays);
        EXPECT_EQ(ctx->GetParent() != nullptr, c.contextStays);
        file->SetDroppedDown(false);
        if (ctx->GetParent())
            ctx->CloseMenuChain();
    }
}
