#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "Controls/CheckedComboBox.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/TextBox.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/Common/TempFolder.h"
#include "tests/TavoFramework/Controls/WidgetClasses.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

#define LIST(cls, row)                                                                                       \
    "<SubControl Class=\"" cls "\" Name=\"listBox\" YPositionRel=\"1\" XSizeAbs=\"100\" YSizeAbs=\"60\">"    \
    "<Skin Name=\"lb\" LookList=\"icons\"><SubControl Class=\"" row "\" Name=\"templateItem\" "              \
    "XSizeAbs=\"100\" YSizeAbs=\"20\"><Skin Name=\"r\"><SubControl Class=\"Framework.Button\" "              \
    "Name=\"checkBox\" XSizeAbs=\"16\" YSizeAbs=\"16\"/></Skin></SubControl></Skin></SubControl>"

const char* kSkin = R"(<R><Application Name="App"/>
<Parts><Part Name="p" Width="1" Height="1" ResizeType="Stretch"/>
 <Part Name="icon" Width="2" Height="2" ResizeType="Stretch" ImageFile="@ICON@" ImageLocX="0" ImageLocY="0"/></Parts>
<Looks><Look Name="l"><ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
 <Look Name="i"><NonClientPart Name="icon" OffsetLeft="0" OffsetTop="0"/>
  <ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
 <Look Name="two"><NonClientPart Name="icon" OffsetLeft="0" OffsetTop="0"/><NonClientPart Name="icon" OffsetLeft="2" OffsetTop="0"/>
  <ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look></Looks>
<LookLists><LookList Name="twoIcons" NumLooks="4"><Look Name="l" Index="0"/><Look Name="l" Index="1"/>
  <Look Name="l" Index="2"/><Look Name="two" Index="3"/></LookList>
 <LookList Name="fourteen" NumLooks="14">
  <Look Name="l" Index="0"/><Look Name="l" Index="1"/><Look Name="l" Index="2"/><Look Name="l" Index="3"/>
  <Look Name="l" Index="4"/><Look Name="l" Index="5"/><Look Name="l" Index="6"/><Look Name="l" Index="7"/>
  <Look Name="l" Index="8"/><Look Name="l" Index="9"/><Look Name="l" Index="10"/><Look Name="l" Index="11"/>
  <Look Name="l" Index="12"/><Look Name="l" Index="13"/></LookList>
 <LookList Name="icons" NumLooks="4"><Look Name="l" Index="0"/><Look Name="l" Index="1"/>
  <Look Name="l" Index="2"/><Look Name="i" Index="3"/></LookList>
 <LookList Name="face" NumLooks="2"><Look Name="i" Index="0"/><Look Name="i" Index="1"/></LookList></LookLists>
<Skin Name="S">
 <SubControl Class="Test.Panel" Name="main" XSizeAbs="600" YSizeAbs="600">
  <Skin Name="s">
   <SubControl Class="Framework.ComboBox" Name="combo" XPositionAbs="10" YPositionAbs="400" XSizeAbs="100" YSizeAbs="20">
    <Skin Name="cb" LookList="fourteen">)" LIST("Framework.ListBox", "Framework.ListBoxItem") R"(</Skin>
    <CreateParamList><CreateParam ID="INITIAL_SELECTED_INDEX">2</CreateParam></CreateParamList>
   </SubControl>
   <SubControl Class="Framework.ListBoxWithIcons" Name="iconList" XPositionAbs="300" YPositionAbs="100" XSizeAbs="100" YSizeAbs="80">
    <Skin Name="il" LookList="twoIcons"><SubControl Class="Framework.CheckedListBoxItem" Name="templateItem" XSizeAbs="100" YSizeAbs="20">
     <Skin Name="ilr"><SubControl Class="Framework.Button" Name="checkBox" XSizeAbs="16" YSizeAbs="16"><Skin Name="ilc" LookList="face"/></SubControl></Skin>
    </SubControl></Skin>
   </SubControl>
   <SubControl Class="Framework.ComboTextBox" Name="typed" XPositionAbs="400" XSizeAbs="100" YSizeAbs="20">
    <Skin Name="ct" LookList="fourteen">)" LIST("Framework.ListBox", "Framework.ListBoxItem") R"(
     <SubControl Class="Framework.TextBox" Name="textBox" XSizeAbs="80" YSizeAbs="20"/></Skin>
   </SubControl>
   <SubControl Class="Framework.ComboBoxWithIcons" Name="checked" XPositionAbs="200" XSizeAbs="100" YSizeAbs="20">
    <Skin Name="cc" LookList="fourteen">)" LIST("Framework.CheckedListBox",
                                                "Framework.CheckedListBoxItem") R"(
     <SubControl Class="Framework.Button" Name="checkBox" XSizeAbs="16" YSizeAbs="16"><Skin Name="f" LookList="face"/></SubControl>
    </Skin>
   </SubControl>
  </Skin>
 </SubControl>
</Skin></R>)";

std::string Items(const char* table, int count)
{
    std::string xml = std::string("<StringTable ID=\"") + table + "\">";
    for (int i = 0; i < count; ++i)
        xml += "<String ID=\"ITEM." + std::to_string(i) + "\"><Locale LCID=\"0x0009\">Item" + char('A' + i) +
               "</Locale></String>";
    return xml + "</StringTable>";
}

class ComboBoxTest : public ::testing::Test
{
protected:
    void Make(int items)
    {
        Release();
        mFactory = LControlFactory::Create(u"App");
        ControlEnvironment().factory = mFactory;
        RegisterWidgetClasses(*mFactory);
        cairo_surface_t* icon = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
        cairo_surface_write_to_png(icon, mFolder.Join("icon.png").c_str());
        cairo_surface_destroy(icon);
        std::string skin = kSkin;
        skin.replace(skin.find("@ICON@"), 6, mFolder.Join("icon.png"));
        mFolder.Write("app.xml", R"(<Root><Application Name="App"/></Root>)");
        mFolder.Write("fw.xml", "<Root>" + Items("Test.Panel|combo", items) + Items("Test.Panel|checked", 3) +
                                    Items("Test.Panel|typed", 3) + "</Root>");
        ASSERT_EQ(mFactory->LoadStringTables(mFolder.WPath("app.xml"), mFolder.WPath("fw.xml"), 0x0409),
                  S_OK);
        ASSERT_EQ(mFactory->ParseXML(skin.c_str(), 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mWindow = FakeRootWindow::Create();
        mWindow->SetClientRect({0, 0, 600, 600});
        mMain = mFactory->CreateControlFromDescriptor(u"main", mWindow.Get());
        ASSERT_TRUE(mMain);
        mMain->UITarget_UpdateGeometry(600, 600);
        mCombo = RCPtrDynamicCast<LComboBox>(mMain->FindChildByName(u"combo"));
        mChecked = RCPtrDynamicCast<LCheckedComboBox>(mMain->FindChildByName(u"checked"));
        ASSERT_TRUE(mCombo && mChecked);
        mRecorder->Subscribe(RCPtr<LNotificationDistributor>(mCombo.Get()), u"NID_SELECTION_CHANGE");
        mRecorder->Subscribe(RCPtr<LNotificationDistributor>(mCombo.Get()), u"NID_DROPDOWN_OPENING");
    }
    void Release()
    {
        mRecorder->UnsubscribeAll();
        if (mMain)
            mMain->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    void TearDown() override { Release(); }
    static RCPtr<LKeyParam> Key(uint32_t vk) { return LKeyParam::Create(KeyCode(KeyCode::PressCode(vk))); }

    TempFolder mFolder;
    RCPtr<LControlFactory> mFactory;
    RCPtr<FakeRootWindow> mWindow;
    RCPtr<LControl> mMain;
    RCPtr<LComboBox> mCombo;
    RCPtr<LCheckedComboBox> mChecked;
    RCPtr<Recorder> mRecorder{new Recorder()};
};

TEST_F(ComboBoxTest, ListOpensOnTheSideWithRoom)
{
    // The face is 20 high at y 400 of 600: 175 below and 395 above. An
    // empty list keeps its one-row minimum.
    struct Case
    {
        int items;
        double y, height, maxHeight;
    } cases[] = {{10, -200, 200, 0}, {3, 20, 60, 0}, {25, -395, 395, 395}, {0, 20, 20, 0}};
    for (const Case& c : cases) {
        Make(c.items);
        mRecorder->names.clear();
        ASSERT_EQ(mCombo->SetDroppedDown(true), S_OK);
        LListBox& list = *mCombo->GetList();
        LLayoutDescriptor::Axis y;
        list.GetPlacement(1, y);
        EXPECT_EQ(list.GetY(), c.y) << c.items;
        EXPECT_EQ(list.GetHeight(), c.height) << c.items;
        EXPECT_EQ(y.maxAbs, c.maxHeight) << c.items;
        EXPECT_EQ(mRecorder->names, std::vector<std::u16string>{u"NID_DROPDOWN_OPENING"});
        // The chosen item is marked in the list; an empty list marks none.
        EXPECT_EQ(list.GetSelectedIndices(), c.items ? std::vector<uint32_t>{2} : std::vector<uint32_t>{});
        EXPECT_TRUE(mCombo->IsDroppedDown());
    }
}

TEST_F(ComboBoxTest, TextAndSelectionFollowEachOther)
{
    Make(3);
    EXPECT_EQ(mCombo->GetSelectedIndex(), 2);
    EXPECT_EQ(std::string(NString(mCombo->GetText()).c_str()), "ItemC");
    struct Step
    {
        const char16_t* text;  // null: select by index
        int32_t index, result, selected;
        const char* shown;
        int reports;
    } steps[] = {
        {nullptr, 5, -1, -1, "ItemC", 0},      {nullptr, 1, 1, 1, "ItemB", 1},
        {nullptr, -1, -1, -1, "ItemB", 0},     {u"itema", 0, S_OK, 0, "ItemA", 1},
        {u"ItemA", 0, S_FALSE, 0, "ItemA", 0}, {u"other", 0, S_OK, -1, "other", 0},
    };
    for (const Step& s : steps) {
        mRecorder->names.clear();
        const int32_t result = s.text ? mCombo->SetText(s.text) : mCombo->SetSelectedIndex(s.index);
        EXPECT_EQ(result, s.result) << s.shown;
        EXPECT_EQ(mCombo->GetSelectedIndex(), s.selected) << s.shown;
        EXPECT_EQ(std::string(NString(mCombo->GetText()).c_str()), std::string(s.shown));
        EXPECT_EQ(mRecorder->Count(u"NID_SELECTION_CHANGE"), s.reports) << s.shown;
    }
    // Choosing in the list selects; fewer items drop a choice past them.
    mCombo->GetList()->SelectRange(1, -1, true);
    mCombo->GetList()->Notify(u"NID_ITEM_ACTIVATED");
    EXPECT_EQ(mCombo->GetSelectedIndex(), 1);
    mCombo->SetItemCount(1);
    EXPECT_EQ(mCombo->GetSelectedIndex(), -1);
}

TEST_F(ComboBoxTest, KeysOpenAndCloseAndLooksFollow)
{
    Make(3);
    EXPECT_EQ(mCombo->GetActiveLookIndex(), 0);
    // The open list holds the focus and gives it back to the face on closing.
    struct Step
    {
        uint32_t vk;
        TavoResult result;
        bool open;
        int32_t look;
    } steps[] = {{VKey::kDown, S_OK, true, 4},    {VKey::kDown, S_FALSE, true, 4},
                 {VKey::kEscape, S_OK, false, 1}, {VKey::kReturn, S_OK, true, 4},
                 {VKey::kEscape, S_OK, false, 1}, {'A', S_FALSE, false, 1}};
    for (const Step& s : steps) {
        EXPECT_EQ(mCombo->OnKey(Key(s.vk)), s.result) << s.vk;
        EXPECT_EQ(mCombo->IsDroppedDown(), s.open) << s.vk;
        EXPECT_EQ(mCombo->GetActiveLookIndex(), s.look) << s.vk;
    }
    mCombo->SetDroppedDown(true);
    mCombo->RouteUnhandledKey(Key(VKey::kEscape));
    EXPECT_FALSE(mCombo->IsDroppedDown());
    mCombo->SetEnabled(false);
    mCombo->UpdateLook();
    EXPECT_EQ(mCombo->GetActiveLookIndex(), 6);
}

TEST_F(ComboBoxTest, TypedTextChoosesAMatchingItemOrNone)
{
    Make(3);
    auto typed = RCPtrDynamicCast<LComboBox>(mMain->FindChildByName(u"typed"));
    auto box = RCPtrDynamicCast<LTextBox>(typed->FindChildByName(u"textBox"));
    ASSERT_TRUE(typed && box);
    mRecorder->Subscribe(RCPtr<LNotificationDistributor>(typed.Get()), u"NID_TEXTBOX_VALIDATED");
    struct Case
    {
        const char16_t* typed;
        int32_t selected;
        const char *face, *box;
    } cases[] = {{u"itemb", 1, "ItemB", "ItemB"}, {u"nothing", -1, "ItemB", "nothing"}};
    for (const Case& c : cases) {
        box->SetText(c.typed);
        box->Validate();
        EXPECT_EQ(typed->GetSelectedIndex(), c.selected);
        EXPECT_EQ(std::string(NString(typed->GetText()).c_str()), std::string(c.face));
        EXPECT_EQ(std::string(NString(box->GetText()).c_str()), std::string(c.box));
    }
    EXPECT_EQ(mRecorder->Count(u"NID_TEXTBOX_VALIDATED"), 2);
}

TEST_F(ComboBoxTest, CheckedComboMirrorsTheChosenItem)
{
    Make(3);
    LCheckedListBox& list = *mChecked->GetCheckedList();
    ASSERT_EQ(list.GetIconList().size(), 1u);
    EXPECT_TRUE(mChecked->ShowsIcons());
    RCPtr<LControl> face = mChecked->FindChildByName(u"checkBox");
    const auto icon = [&](int32_t look) { return face->GetLook(look)->GetPart(0)->GetBitmap(); };
    // The initial choice shows the list's icon on every look of the face.
    EXPECT_EQ(icon(0), list.GetIconList()[0]);
    EXPECT_EQ(icon(1), list.GetIconList()[0]);
    // Checks move the look to 7..13 on the first check and back on the last.
    const int32_t base = mChecked->GetActiveLookIndex();
    for (auto [item, checked, look] :
         {std::tuple{0u, true, base + 7}, {1u, true, base + 7}, {0u, false, base + 7}, {1u, false, base}}) {
        list.SetItemChecked(item, checked);
        list.Notify(u"NID_ITEM_CHECK_CHANGE");
        EXPECT_EQ(mChecked->GetActiveLookIndex(), look) << item << checked;
    }
    list.SetItemChecked(1, true);
    EXPECT_EQ(mChecked->SetSelectedIndex(1), 1);
    EXPECT_EQ(face->GetValue(), 1.0);
    // No choice, or one past the items, clears the icons and keeps the value.
    for (int32_t index : {-1, 3}) {
        EXPECT_EQ(mChecked->SetSelectedIndex(index), -1);
        EXPECT_FALSE(icon(0)) << index;
        EXPECT_EQ(face->GetValue(), 1.0);
    }
}

TEST_F(ComboBoxTest, AListWithIconsShowsItsSkinsIconsInTurnOnItsRows)
{
    Make(3);
    auto list = RCPtrDynamicCast<LCheckedListBox>(mMain->FindChildByName(u"iconList"));
    ASSERT_TRUE(list) << "the class makes a checked list";
    ASSERT_EQ(list->GetIconList().size(), 2u);
    list->SetItemCount(5);
    ASSERT_EQ(list->GetRowCount(), 4u);
    for (uint32_t r = 0; r < 4; ++r) {
        auto* row = dynamic_cast<LCheckedListBoxItem*>(list->GetRow(r));
        ASSERT_TRUE(row && row->GetCheckBox());
        EXPECT_EQ(list->GetItemIcon(r), list->GetIconList()[r % 2]) << r;
        EXPECT_EQ(row->GetCheckBox()->GetLook(0)->GetPart(0)->GetBitmap(), list->GetItemIcon(r)) << r;
    }
    // Scrolling rebinds the rows to the next items' icons.
    ASSERT_EQ(list->ScrollToItem(4), S_OK);
    const uint32_t top = list->GetTopItem();
    EXPECT_GT(top, 0u);
    auto* first = dynamic_cast<LCheckedListBoxItem*>(list->GetRow(0));
    EXPECT_EQ(first->GetCheckBox()->GetLook(0)->GetPart(0)->GetBitmap(), list->GetIconList()[top % 2]);
}

TEST_F(ComboBoxTest, AClosedComboFilledWithManyItemsMakesRowsOnlyForWhatCanBeSeen)
{
    const auto text = [](uint32_t i) { return WString(NString(("Entry " + std::to_string(i)).c_str())); };
    for (uint32_t count : {0u, 5u, 100u, 3000u}) {
        SCOPED_TRACE(count);
        Make(0);
        LListBox& list = *mCombo->GetList();
        for (uint32_t i = 0; i < count; ++i)
            list.InsertItemAt(i, RCPtr<LRefCountedObject>(new LListText(text(i))));
        ASSERT_EQ(list.GetItemCount(), count);
        EXPECT_EQ(list.GetContentHeight(), int32_t(count) * 20);
        // No more rows than the 600-high window shows, each bound in order.
        EXPECT_LE(list.GetRowCount(), 31u);
        for (uint32_t r = 0; r < list.GetRowCount() && r < count; ++r)
            EXPECT_EQ(list.GetRow(r)->GetText(), text(r)) << r;
        if (count == 0)
            continue;
        // Opened and scrolled to the end, the rows show the last items.
        ASSERT_EQ(mCombo->SetDroppedDown(true), S_OK);
        EXPECT_GE(list.GetRowCount() * 20.0, list.GetClientRect().height);
        ASSERT_EQ(list.ScrollToItem(count - 1), S_OK);
        const int32_t last = list.GetRowOfItem(count - 1);
        ASSERT_GE(last, 0);
        EXPECT_EQ(list.GetRow(uint32_t(last))->GetText(), text(count - 1));
        EXPECT_EQ(list.FindItemByText(text(count - 1), true), int32_t(count - 1));
    }
}

TEST_F(ComboBoxTest, APressOutsideTheOpenComboOrItsListClosesIt)
{
    Make(3);
    const struct
    {
        const char* where;
        std::function<LControl*()> target;
        bool stays;
    } cases[] = {
        {"a row of its list", [&] { return static_cast<LControl*>(mCombo->GetList()->GetRow(0)); }, true},
        {"its face", [&] { return static_cast<LControl*>(mCombo.Get()); }, true},
        {"another control", [&] { return static_cast<LControl*>(mChecked.Get()); }, false},
        {"nowhere: the window lost the focus", [] { return static_cast<LControl*>(nullptr); }, false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(mCombo->SetDroppedDown(true), S_OK);
        mMain->ClosePopupsOutside(c.target());
        EXPECT_EQ(mCombo->IsDroppedDown(), c.stays) << c.where;
        mCombo->SetDroppedDown(false);
    }
}

}  // namespace
