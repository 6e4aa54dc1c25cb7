// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/ComboBox.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MultiColumnListBox.h"
#include "Window/Native/OSRootWindow.h"
#include "tests/Common/XServer.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

using namespace Tavo;
using WidgetWindow::TurnUntil;

namespace {

void Fill(LListBox& list, std::initializer_list<const char16_t*> texts)
{
    for (const char16_t* text : texts)
        list.InsertItemAt(list.GetItemCount(), RCPtr<LRefCountedObject>(new LListText(WString(text))));
}

TEST(ControlsWindow, ClicksOpenTheComboPickAnItemAndSortTheTable)
{
    ASSERT_TRUE(TestXServer().Running());
    bool ran = false;
    WidgetWindow::Run(
        TAVO_TABLE_COMBO_SKIN, FrameworkControlClasses(), [&](WidgetWindow::App& app, OSWindow& window) {
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
                TurnUntil([] { return false; }, 3);
                input.Click(1);
                input.Sync();
                TurnUntil([] { return false; }, 3);
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
