// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/ComboBox.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MultiColumnListBox.h"
#include "Window/Native/OSRootWindow.h"
#include "tests/Common/XServer.h"
#include "tests/TavoFramework/Window/Native/WindowAppRun.h"

#include <fstream>

using namespace Tavo;
using namespace AppTest;

namespace {

// Lists of 14 looks: rows and headers show selection and hover in colour.
const char* kSkin = R"(<R>
<Colorizers>
 <Colorizer Name="paper" ColorType="SolidFill" Color="0xFFF4F4F0"/>
 <Colorizer Name="face" ColorType="SolidFill" Color="0xFFD0D8E0"/>
 <Colorizer Name="open" ColorType="SolidFill" Color="0xFFF0C040"/>
 <Colorizer Name="chosen" ColorType="SolidFill" Color="0xFF3060C0"/>
 <Colorizer Name="ink" ColorType="SolidFill" Color="0xFF101010"/>
</Colorizers>
<Parts>
 <Part Name="paper" Width="1" Height="1" ResizeType="Stretch" ColorizerName="paper"/>
 <Part Name="face" Width="1" Height="1" ResizeType="Stretch" ColorizerName="face"/>
 <Part Name="open" Width="1" Height="1" ResizeType="Stretch" ColorizerName="open"/>
 <Part Name="chosen" Width="1" Height="1" ResizeType="Stretch" ColorizerName="chosen"/>
 <Part Name="ink" Width="1" Height="1" ResizeType="Stretch" ColorizerName="ink"/>
</Parts>
<Looks>
 <Look Name="paper"><ClientPart Name="paper" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
 <Look Name="cell"><ClientPart Name="paper" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="4" TextRightRel="1" TextRightAbs="-4" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/></Look>
 <Look Name="face"><ClientPart Name="face" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="4" TextRightRel="1" TextRightAbs="-4" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/></Look>
 <Look Name="open"><ClientPart Name="open" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="4" TextRightRel="1" TextRightAbs="-4" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/></Look>
 <Look Name="chosen"><ClientPart Name="chosen" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="4" TextRightRel="1" TextRightAbs="-4" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="paper"/></Look>
</Looks>
<LookLists>
 <LookList Name="combo" NumLooks="7"><Look Name="face" Index="0"/><Look Name="face" Index="1"/><Look Name="face" Index="2"/>
  <Look Name="face" Index="3"/><Look Name="open" Index="4"/><Look Name="open" Index="5"/><Look Name="face" Index="6"/></LookList>
 <LookList Name="row" NumLooks="14"><Look Name="cell" Index="0"/><Look Name="face" Index="1"/><Look Name="face" Index="2"/>
  <Look Name="cell" Index="3"/><Look Name="face" Index="4"/><Look Name="face" Index="5"/><Look Name="cell" Index="6"/>
  <Look Name="chosen" Index="7"/><Look Name="chosen" Index="8"/><Look Name="chosen" Index="9"/><Look Name="chosen" Index="10"/>
  <Look Name="chosen" Index="11"/><Look Name="chosen" Index="12"/><Look Name="chosen" Index="13"/></LookList>
 <LookList Name="plain" NumLooks="1"><Look Name="paper" Index="0"/></LookList>
 <LookList Name="header" NumLooks="14"><Look Name="face" Index="0"/><Look Name="face" Index="1"/><Look Name="open" Index="2"/>
  <Look Name="face" Index="3"/><Look Name="face" Index="4"/><Look Name="open" Index="5"/><Look Name="face" Index="6"/></LookList>
</LookLists>
<Skins><Skin Name="S0" FontName="DejaVu Sans" FontSize="9" FontStyle="0">
 <SubControl Class="Framework.Panel" Name="mainControl" XSizeAbs="400" YSizeAbs="300"><Skin Name="m" LookList="plain">
  <SubControl Class="Framework.listbox2ColumnSortable" Name="table" XPositionAbs="10" YPositionAbs="150" XSizeAbs="240" YSizeAbs="120">
   <Skin Name="t" LookList="plain">
    <SubControl Class="Framework.Button" Name="buttonColumnHeader1" XSizeAbs="120" YSizeAbs="20"><Skin Name="h" LookList="header"/></SubControl>
    <SubControl Class="Framework.Button" Name="buttonColumnHeader2" XPositionAbs="120" XSizeAbs="120" YSizeAbs="20"><Skin Name="h" LookList="header"/></SubControl>
    <SubControl Class="Framework.listboxNoScroll" Name="listboxNoScroll1" YPositionAbs="20" XSizeAbs="120" YSizeAbs="100"><Skin Name="c" LookList="plain">
     <SubControl Class="Framework.ListBoxItem" Name="templateItem" XSizeAbs="120" YSizeAbs="20"><Skin Name="r" LookList="row"/></SubControl></Skin></SubControl>
    <SubControl Class="Framework.listboxNoScroll" Name="listboxNoScroll2" XPositionAbs="120" YPositionAbs="20" XSizeAbs="120" YSizeAbs="100"><Skin Name="c" LookList="plain">
     <SubControl Class="Framework.ListBoxItem" Name="templateItem" XSizeAbs="120" YSizeAbs="20"><Skin Name="r" LookList="row"/></SubControl></Skin></SubControl>
   </Skin>
  </SubControl>
  <SubControl Class="Framework.ComboBox" Name="combo" XPositionAbs="10" YPositionAbs="10" XSizeAbs="120" YSizeAbs="20"><Skin Name="cb" LookList="combo">
   <SubControl Class="Framework.ListBox" Name="listBox" YPositionRel="1" XSizeAbs="120" YSizeAbs="60" Z_Order="100" ClipToParent="false"><Skin Name="l" LookList="plain">
    <SubControl Class="Framework.ListBoxItem" Name="templateItem" XSizeAbs="120" YSizeAbs="20"><Skin Name="r" LookList="row"/></SubControl></Skin></SubControl>
  </Skin></SubControl>
 </Skin></SubControl>
</Skin></Skins></R>)";

class ControlsApp : public TestApp
{
public:
    using TestApp::TestApp;
    std::span<const ControlClassRow> GetControlClassTable() override { return FrameworkControlClasses(); }
};

void Fill(LListBox& list, std::initializer_list<const char16_t*> texts)
{
    for (const char16_t* text : texts)
        list.InsertItemAt(list.GetItemCount(), RCPtr<LRefCountedObject>(new LListText(WString(text))));
}

TEST(ControlsWindow, ClicksOpenTheComboPickAnItemAndSortTheTable)
{
    ASSERT_TRUE(TestXServer().Running());
    TestFolder dir;
    WriteResources(dir / "res", false, 1);
    std::ofstream(dir / "res/Skins.xml") << kSkin;
    ScopedEnv user("TAVO_USER_APPDATA_DIR", dir / "user"), common("TAVO_COMMON_APPDATA_DIR", dir / "common");
    bool ran = false;
    RunWindowApp<ControlsApp>(
        dir / "res", std::make_shared<Platform::App::MemoryProfileStore>(),
        [&](ControlsApp& app, OSWindow& window) {
            ran = true;
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            ASSERT_TRUE(main);
            auto combo = RCPtrDynamicCast<LComboBox>(main->FindChildByName(u"combo"));
            auto table = RCPtrDynamicCast<LMultiColumnListBox>(main->FindChildByName(u"table"));
            ASSERT_TRUE(combo && table && table->GetColumnCount() == 2);
            Fill(*combo->GetList(), {u"Alpha", u"Beta", u"Gamma"});
            Fill(*table->GetColumn(0), {u"r0", u"r1", u"r2"});
            Fill(*table->GetColumn(1), {u"b", u"A", u"c"});
            const unsigned long id = window.GetWindowId();
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const Platform::Window::Rect client = WindowHost::System()->GetClientRect(id);
            XInput input;
            const auto click = [&](int32_t x, int32_t y) {
                input.MoveTo(client.x + x, client.y + y);
                Settle();
                input.Click(1);
                input.Sync();
                Settle();
            };
            // The face opens its list below; a click on the second row picks it.
            click(70, 20);
            ASSERT_TRUE(TurnUntil([&] { return combo->IsDroppedDown(); }));
            EXPECT_EQ(combo->GetList()->GetY(), 20.0);
            TestXServer().Screenshot("controls-window-open");
            click(70, 60);
            ASSERT_TRUE(TurnUntil([&] { return !combo->IsDroppedDown(); }));
            EXPECT_EQ(combo->GetSelectedIndex(), 1);
            EXPECT_EQ(NString(combo->GetText()), NString("Beta"));
            // The second header sorts by its column; the rows move together.
            table->GetColumn(0)->SelectRange(0, -1, true);
            click(190, 160);
            ASSERT_TRUE(TurnUntil([&] { return table->GetCellText(1, 0) == WString(u"A"); }));
            EXPECT_EQ(NString(table->GetCellText(0, 0)), NString("r1"));
            EXPECT_EQ(NString(table->GetCellText(1, 2)), NString("c"));
            EXPECT_EQ(table->GetColumn(1)->GetSelectedIndices(), std::vector<uint32_t>{1});
            // The selected row shows in the chosen colour in both columns.
            const auto chosen = [&](int32_t x) {
                return TestXServer().ReadPixels(id, {x, 200, 1, 1}).at(0) == 0x3060C0u;
            };
            TurnUntil([&] { return chosen(100) && chosen(200); }, 50);
            EXPECT_TRUE(chosen(100));
            EXPECT_TRUE(chosen(200));
            TestXServer().Screenshot("controls-window");
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_TRUE(ran);
}

}  // namespace
