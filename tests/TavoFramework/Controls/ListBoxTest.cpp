#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/CheckedListBox.h"
#include "Notification/NotificationParams.h"
#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderer.h"
#include "Renderer/RenderHost.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"

#include <gtest/gtest.h>

#include <set>

using namespace Tavo;

namespace {

const auto Text = [](const WString& s) { return std::string(NString(s).c_str()); };

RCPtr<LLayoutDescriptor> Box(double x, double y, double w, double h)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.positionRef = layout->y.positionRef = 1;
    layout->x.positionAbs = x, layout->y.positionAbs = y;
    layout->x.sizeRef = layout->y.sizeRef = 2;
    layout->x.sizeAbs = w, layout->y.sizeAbs = h;
    return layout;
}

// A list 100 x 70 under a parent, rows made from a 20-pixel template.
class ListBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        factory->RegisterControlClass(u"Framework.ListBoxItem", &LListBoxItem::Create);
        factory->RegisterControlClass(u"Framework.CheckedListBoxItem", &LCheckedListBoxItem::Create);
        factory->RegisterControlClass(u"Test.Box", &LControl::CreateT<LControl>);
        ControlEnvironment().factory = factory;
        top = RCPtr<LControl>(new LControl(nullptr, u"top"));
        top->SetPlacement(Box(0, 0, 400, 300)->x, Box(0, 0, 400, 300)->y);
        top->SetRootWindow(window.Get());
        top->SetCreated(true);
        RCPtr<LControlDescriptor> listDescriptor =
            LControlDescriptor::Create(u"Framework.ListBox", u"list", nullptr);
        listDescriptor->SetLayout(Box(0, 0, 100, 70));
        RCPtr<LStringTable> params = LStringTable::Create();
        const std::pair<const char16_t*, const char16_t*> items[] = {
            {u"ITEM.0", u"A"},       {u"ITEM.2", u"C"},  {u"ITEM.-1", u"bad"}, {u"ITEM.99999999999", u"huge"},
            {u"ITEM.10001", u"far"}, {u"XITEM.1", u"x"}, {u"ITEM.1x", u"y"},
        };
        for (auto [key, value] : items)
            params->SetString(key, value);
        listDescriptor->SetCreateParams(params);
        RCPtr<LControlDescriptor> row = LControlDescriptor::Create(
            checked ? u"Framework.CheckedListBoxItem" : u"Framework.ListBoxItem", u"templateItem", nullptr);
        row->SetLayout(Box(0, 0, 100, 20));
        RCPtr<LControlDescriptor> box = LControlDescriptor::Create(u"Test.Box", u"checkBox", nullptr);
        box->SetLayout(Box(0, 0, 16, 16));
        row->AddChild(box);
        listDescriptor->AddChild(row);
        RCPtr<LControl> made;
        (checked ? &LCheckedListBox::Create : &LListBox::Create)(made, top, listDescriptor);
        list = RCPtrDynamicCast<LListBox>(made);
        recorder->Listen(list,
                         {u"NID_SELECTION_CHANGE", u"NID_ITEM_ACTIVATED", u"NID_ITEM_DOUBLE_CLICKED",
                          u"NID_ITEM_RIGHT_CLICK", u"NID_ITEM_CHECK_CHANGE", u"NID_ITEM_CHECKBOX_CLICKED"});
    }
    void TearDown() override
    {
        recorder->UnsubscribeAll();
        ControlEnvironment().factory = nullptr;
        window->ReleaseInternalReferences();
        top->SetRootWindow(nullptr);
        std::vector<RCPtr<LControl>> all{top};
        top->CollectDescendants(all);
        for (size_t i = all.size(); i-- > 0;)
            all[i]->ReleaseInternalReferences();
    }
    void Fill(std::initializer_list<const char16_t*> texts)
    {
        list->RemoveAllItems();
        for (const char16_t* text : texts)
            list->InsertItemAt(list->GetItemCount(), RCPtr<LRefCountedObject>(new LListText(WString(text))));
    }
    // On the row the item is bound to now: selecting scrolls.
    void Press(uint32_t item, uint32_t modifiers, bool up = false, uint32_t button = 1)
    {
        list->ScrollToItem(item);
        list->GetRow(uint32_t(list->GetRowOfItem(item)))
            ->Notify(up ? u"NID_MOUSE_UP" : u"NID_MOUSE_DOWN",
                     LMouseButtonParam::Create(button, 5, 5, modifiers));
    }
    std::set<uint32_t> Selected() const
    {
        auto v = list->GetSelectedIndices();
        return {v.begin(), v.end()};
    }

    RCPtr<LControlFactory> factory = LControlFactory::Create(u"Test");
    RCPtr<FakeRootWindow> window = FakeRootWindow::Create();
    RCPtr<LControl> top;
    RCPtr<LListBox> list;
    RCPtr<Recorder> recorder{new Recorder()};
    bool checked = false;
};

TEST_F(ListBoxTest, SkinItemsKeepToTheirNumbersAndScrollingRebindsTheRows)
{
    // "ITEM.0" and "ITEM.2" give three items; malformed or huge numbers none.
    ASSERT_EQ(list->GetItemCount(), 3u);
    EXPECT_EQ(Text(list->GetItemText(0)), "A");
    EXPECT_EQ(Text(list->GetItemText(1)), "");
    EXPECT_EQ(Text(list->GetItemText(2)), "C");
    EXPECT_EQ(list->GetItemHeight(), 20);
    EXPECT_EQ(list->GetRowCount(), 4u);
    EXPECT_FALSE(list->GetRow(3)->IsEnabled(false));
    EXPECT_EQ(Text(list->GetRow(3)->GetText()), "");
    // Scrolling rebinds the rows.
    Fill({u"i0", u"i1", u"i2", u"i3", u"i4", u"i5", u"i6", u"i7", u"i8", u"i9"});
    EXPECT_EQ(list->GetClientExtent().y, 200);
    list->SetScrollOffset({0, 40});
    EXPECT_EQ(list->GetTopItem(), 2u);
    EXPECT_EQ(Text(list->GetRow(0)->GetText()), "i2");
    list->SelectRange(9, -1, true);
    EXPECT_EQ(list->GetTopItem(), 7u);
    EXPECT_EQ(Text(list->GetRow(2)->GetText()), "i9");
}

// Text measured with the drawing back end, as in the program.
class MeasuringHost : public IRenderHost
{
public:
    RCPtr<LMeasurementRenderer> GetMeasurementRenderer() override { return measurer; }
    TavoResult GetDefaultFont(WString&, float&, int32_t&) override { return E_FAIL; }
    RCPtr<LMeasurementRenderer> measurer{new LGDIRenderer()};
};

TEST_F(ListBoxTest, TheWidestRowFollowsInsertionsChangesAndRemovals)
{
    MeasuringHost host;
    IRenderHost* old = SetRenderHost(&host);
    list->SetFont(LFont::FindOrCreate(u"DejaVu Sans", 10, 0));
    Fill({u"a", u"wide wide wide", u"bb"});
    EXPECT_GT(list->MeasureItemWidth(1), list->MeasureItemWidth(2));
    EXPECT_EQ(list->GetWidestRow(), list->MeasureItemWidth(1));
    list->RemoveItem(1);  // the widest goes: measured again
    EXPECT_EQ(list->GetWidestRow(), list->MeasureItemWidth(1));
    list->SetItemData(0, RCPtr<LRefCountedObject>(new LListText(u"wider than the rest")));
    EXPECT_EQ(list->GetWidestRow(), list->MeasureItemWidth(0));
    list->SetItemData(0, RCPtr<LRefCountedObject>(new LListText(u"a")));
    EXPECT_EQ(list->GetWidestRow(), list->MeasureItemWidth(1));
    list->RemoveAllItems();
    EXPECT_EQ(list->GetWidestRow(), 0);
    // Widths counted, not measured again: equal widest items, removals from
    // either end and a narrowed widest must all give the widest that
    // measuring every item gives.
    const auto widest = [&] {
        int32_t w = 0;
        for (uint32_t i = 0; i < list->GetItemCount(); ++i)
            w = std::max(w, list->MeasureItemWidth(i));
        return w;
    };
    Fill({u"mm", u"wide one", u"x", u"wide one", u"medium", u"wide one"});
    for (const uint32_t index : {1u, 4u, 0u}) {
        list->RemoveItem(index);
        EXPECT_EQ(list->GetWidestRow(), widest()) << index;
    }
    list->SetItemData(2, RCPtr<LRefCountedObject>(new LListText(u"m")));
    EXPECT_EQ(list->GetWidestRow(), widest());
    while (list->GetItemCount() > 0) {
        list->RemoveItem(list->GetItemCount() - 1);
        EXPECT_EQ(list->GetWidestRow(), widest()) << list->GetItemCount();
    }
    SetRenderHost(old);
}

TEST_F(ListBoxTest, ClicksFollowTheSelectionRules)
{
    // Item, modifiers, press only (else a release follows); the selection, anchor and caret after.
    using Step = std::tuple<uint32_t, uint32_t, bool, std::set<uint32_t>, int32_t, int32_t>;
    const std::pair<bool, std::vector<Step>> cases[] = {
        {false, {{1, 0, false, {1}, 1, 1}, {2, 0x8, false, {2}, 2, 2}, {2, 0x1, false, {2}, 2, 2}}},
        {true,
         {{1, 0, 0, {1}, 1, 1},
          {3, 0x8, 0, {1, 2, 3}, 1, 3},
          {2, 1, 0, {1, 3}, 1, 3},
          {0, 9, 0, {0, 1, 3}, 0, 0}}},
        // A press on a selected item waits for the release, which selects it alone.
        {true, {{1, 0, false, {1}, 1, 1}, {2, 0x8, false, {1, 2}, 1, 2}, {2, 0, true, {1, 2}, 1, 2}}},
    };
    for (const auto& [multi, steps] : cases) {
        Fill({u"a", u"b", u"c", u"d", u"e"});
        list->mMultiSelect = multi;
        for (const auto& [item, modifiers, pressOnly, selected, anchor, caret] : steps) {
            SCOPED_TRACE(testing::Message() << multi << " item " << item << " mods " << modifiers);
            Press(item, modifiers);
            if (!pressOnly)
                Press(item, modifiers, true);
            EXPECT_EQ(Selected(), selected);
            EXPECT_EQ(list->GetAnchor(), anchor);
            EXPECT_EQ(list->GetCaret(), caret);
        }
        if (std::get<2>(steps.back())) {
            Press(std::get<0>(steps.back()), 0, true);
            EXPECT_EQ(Selected(), std::set<uint32_t>{std::get<0>(steps.back())});
        }
    }
}

TEST_F(ListBoxTest, RangesReportOnceAndOnlyOnChangeAndRemovalMovesAnchorAndCaret)
{
    Fill({u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9"});
    list->SelectRange(8, -1, true);
    recorder->names.clear();
    list->SelectRange(2, 5, true);
    EXPECT_EQ(Selected(), (std::set<uint32_t>{2, 3, 4, 5}));
    EXPECT_EQ(list->GetAnchor(), 2);
    EXPECT_EQ(list->GetCaret(), 5);
    EXPECT_EQ(recorder->Count(u"NID_SELECTION_CHANGE"), 1);
    list->SelectRange(3, -1, true);
    list->SelectRange(3, -1, true);
    EXPECT_EQ(recorder->Count(u"NID_SELECTION_CHANGE"), 2);
    EXPECT_EQ(list->SelectRange(10, -1, true), E_INVALIDARG);
    // Hover-select lists never announce selections.
    list->SetHoverSelect(true);
    list->SelectRange(7, -1, true);
    EXPECT_EQ(recorder->Count(u"NID_SELECTION_CHANGE"), 2);
    // Removal moves anchor and caret.
    for (auto [anchor, caret, removed, newAnchor, newCaret] :
         {std::tuple{2u, 4, 0u, 1, 3}, {2u, 4, 3u, -1, -1}, {1u, 2, 4u, 1, 2}}) {
        Fill({u"0", u"1", u"2", u"3", u"4", u"5"});
        list->mMultiSelect = true;
        list->SelectRange(anchor, caret, true);
        list->RemoveItem(removed);
        EXPECT_EQ(list->GetAnchor(), newAnchor) << removed;
        EXPECT_EQ(list->GetCaret(), newCaret) << removed;
    }
}

TEST_F(ListBoxTest, KeysAndClicksReportAndSortingKeepsTheCaret)
{
    Fill({u"a", u"b", u"c"});
    const std::tuple<const char16_t*, int32_t, int> cases[] = {
        {u"VKEY_UP", -1, 0},    {u"VKEY_DOWN", 0, 0}, {u"VKEY_UP", 0, 0},   {u"VKEY_DOWN", 1, 0},
        {u"VKEY_RETURN", 1, 1}, {u"VKEY_DOWN", 2, 1}, {u"VKEY_DOWN", 2, 1}, {u"VKEY_F5", 2, 1},
    };
    for (auto [key, caret, activated] : cases) {
        list->OnKey(LKeyParam::Create(KeyCode::FromString(key)));
        EXPECT_EQ(list->GetCaret(), caret) << Text(WString(key));
        EXPECT_EQ(recorder->Count(u"NID_ITEM_ACTIVATED"), activated);
    }
    Press(1, 0, false, 4);
    EXPECT_EQ(recorder->Count(u"NID_ITEM_RIGHT_CLICK"), 1);
    list->GetRow(0)->Notify(u"NID_MOUSE_DOWN", LMouseButtonParam::Create(1, 5, 5, 0, true));
    EXPECT_EQ(recorder->Count(u"NID_ITEM_DOUBLE_CLICKED"), 1);
    EXPECT_TRUE(list->IsItemSelected(0));
    // Sorting ignores case and keeps the caret on its item.
    Fill({u"b", u"A", u"c", u"B2"});
    list->SelectRange(0, -1, true);
    EXPECT_TRUE(list->SortItems());
    std::string order;
    for (uint32_t i = 0; i < list->GetItemCount(); ++i)
        order += Text(list->GetItemText(i)) + " ";
    EXPECT_EQ(order, "A b B2 c ");
    EXPECT_EQ(list->GetCaret(), 1);
    EXPECT_TRUE(list->IsItemSelected(1));
    EXPECT_EQ(list->FindItemByText(u"B2", true), 2);
    EXPECT_EQ(list->FindItemByText(u"b2", false), 2);
}

TEST_F(ListBoxTest, RowLooksShowState)
{
    LListBoxItem& row = *list->GetRow(0);
    // Value, enabled, alternate, separator; the look.
    const std::tuple<double, bool, bool, bool, uint32_t> cases[] = {
        {0, 1, 0, 0, 0},  {1, 1, 0, 0, 7}, {1, 1, 1, 0, 10}, {0, 1, 1, 0, 3},
        {1, 0, 0, 0, 13}, {0, 0, 0, 0, 6}, {0, 1, 0, 1, 13},
    };
    for (auto [value, enabled, alternate, separator, look] : cases) {
        row.SetValue(value);
        row.SetEnabled(enabled);
        row.mAlternate = alternate;
        row.SetSeparator(separator);
        EXPECT_EQ(row.GetLookIndex(), look) << value << enabled << alternate << separator;
    }
    EXPECT_EQ(Text(row.GetText()), "");
}

class CheckedListBoxTest : public ListBoxTest
{
protected:
    CheckedListBoxTest() { checked = true; }
    LCheckedListBox& Checked() { return dynamic_cast<LCheckedListBox&>(*list); }
    LControl& Box(uint32_t item)
    {
        list->ScrollToItem(item);
        return *list->GetRow(uint32_t(list->GetRowOfItem(item)))->FindChildByName(u"checkBox");
    }
};

TEST_F(CheckedListBoxTest, CheckBoxesReportAndSelectTheirRowButBindingDoesNot)
{
    Fill({u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7"});
    Box(1).SetValue(1.0);
    EXPECT_TRUE(Checked().IsItemChecked(1));
    EXPECT_EQ(Checked().GetCheckedCount(), 1u);
    EXPECT_TRUE(list->IsItemSelected(1));
    EXPECT_EQ(recorder->Count(u"NID_ITEM_CHECK_CHANGE"), 1);
    Checked().SetItemChecked(6, true);
    list->SetScrollOffset({0, 100});
    list->SetScrollOffset({0, 0});
    EXPECT_EQ(recorder->Count(u"NID_ITEM_CHECK_CHANGE"), 1);
    EXPECT_EQ(Box(6).GetValue(), 1.0);
    EXPECT_EQ(Checked().GetCheckedCount(), 2u);
    // Rows past the last item hide their check boxes.
    list->SetItemCount(2);
    EXPECT_FALSE(list->GetRow(3)->FindChildByName(u"checkBox")->IsShown(false));
    EXPECT_EQ(Checked().GetCheckedCount(), 1u);
    // Without auto value, clicks leave the value to the owner.
    Checked().SetItemChecked(1, false);
    Checked().SetCheckBoxAutoValue(false);
    recorder->names.clear();
    Box(0).Notify(u"NID_LEFT_CLICK");
    EXPECT_EQ(recorder->Count(u"NID_ITEM_CHECKBOX_CLICKED"), 1);
    EXPECT_EQ(Checked().GetCheckedCount(), 0u);
    Box(0).SetValue(1.0);
    EXPECT_EQ(recorder->Count(u"NID_ITEM_CHECK_CHANGE"), 0);
    EXPECT_EQ(Text(LIndexedDataWithValueParam(nullptr, 3, 1.0).ToString()),
              "LIndexedDataParam: Index = 3, Data =  Value = 1.000000");
}

}  // namespace
