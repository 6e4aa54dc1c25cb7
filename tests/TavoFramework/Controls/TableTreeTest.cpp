#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/MultiColumnListBox.h"
#include "Controls/TreeView.h"
#include "Notification/NotificationParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/NotificationRecorder.h"
#include "tests/Common/TempFolder.h"
#include "tests/TavoFramework/Controls/WidgetClasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

std::string Text(const WString& s)
{
    return NString(s).c_str();
}

class TableTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        ControlEnvironment().factory = mFactory;
        RegisterWidgetClasses(*mFactory);
        mFolder.Write("app.xml", R"(<Root><Application Name="App"/></Root>)");
        mFolder.Write("fw.xml", R"(<Root><StringTable ID="Framework"/></Root>)");
        ASSERT_EQ(mFactory->LoadStringTables(mFolder.WPath("app.xml"), mFolder.WPath("fw.xml"), 0x0409),
                  S_OK);
        std::ifstream file(TAVO_TABLE_TREE_SKIN);
        const std::string skin((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_EQ(mFactory->ParseXML(skin.c_str(), 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mWindow = FakeRootWindow::Create();
        mWindow->SetClientRect({0, 0, 600, 400});
        mMain = mFactory->CreateControlFromDescriptor(u"main", mWindow.Get());
        ASSERT_TRUE(mMain);
        mTable = Child<LMultiColumnListBox>(u"table");
        mTree = Child<LTreeView>(u"tree");
        ASSERT_TRUE(mTable && mTree);
        for (const char16_t* id :
             {u"NID_SELECTION_CHANGE", u"NID_ITEM_DOUBLE_CLICKED", u"NID_ITEM_ACTIVATED"})
            mRecorder->Subscribe(RCPtr<LNotificationDistributor>(mTable.Get()), id);
    }
    void TearDown() override
    {
        mRecorder->UnsubscribeAll();
        if (mMain)
            mMain->ReleaseInternalReferences();
        ControlEnvironment().factory = nullptr;
    }
    template <class T>
    RCPtr<T> Child(const char16_t* name)
    {
        return RCPtrDynamicCast<T>(mMain->FindChildByName(name));
    }
    static void Fill(LListBox& list, std::vector<const char16_t*> texts)
    {
        list.RemoveAllItems();
        for (const char16_t* text : texts)
            list.InsertItemAt(list.GetItemCount(), RCPtr<LRefCountedObject>(new LListText(WString(text))));
    }
    std::vector<std::string> Column(uint32_t c) const
    {
        std::vector<std::string> texts;
        for (uint32_t r = 0; r < mTable->GetColumn(c)->GetItemCount(); ++r)
            texts.push_back(Text(mTable->GetCellText(c, r)));
        return texts;
    }
    std::vector<uint32_t> Selected(uint32_t c) const { return mTable->GetColumn(c)->GetSelectedIndices(); }
    // Items appended at the top level, then attached to their parents in order.
    void Build(const std::vector<int32_t>& parents)
    {
        mTree->RemoveAllItems();
        for (size_t i = 0; i < parents.size(); ++i) {
            mTree->InsertItemAt(mTree->GetItemCount(), nullptr);
            mTree->SetItemParent(uint32_t(i), parents[i]);
        }
    }
    std::vector<int32_t> Parents() const
    {
        std::vector<int32_t> parents;
        for (uint32_t i = 0; i < mTree->GetItemCount(); ++i)
            parents.push_back(mTree->GetParentIndex(i));
        return parents;
    }
    // Holds when every item follows its parent and subtrees are runs.
    bool Consistent() const
    {
        for (uint32_t i = 0; i < mTree->GetItemCount(); ++i) {
            const int32_t p = mTree->GetParentIndex(i);
            if (p >= int32_t(i) || (p >= 0 && i != uint32_t(p) + 1 && !mTree->IsAncestor(uint32_t(p), i - 1)))
                return false;
        }
        return true;
    }

    RCPtr<LControlFactory> mFactory;
    TempFolder mFolder;
    RCPtr<FakeRootWindow> mWindow;
    RCPtr<LControl> mMain;
    RCPtr<LMultiColumnListBox> mTable;
    RCPtr<LTreeView> mTree;
    RCPtr<Recorder> mRecorder{new Recorder()};
};

TEST_F(TableTreeTest, TablesFindTheirNumberedColumnsAndHeaders)
{
    struct Case
    {
        const char16_t* name;
        uint32_t columns, headers;
    } cases[] = {{u"table", 2, 2}, {u"mismatch", 2, 1}, {u"gap", 1, 0}, {u"empty", 0, 0}};
    for (const Case& c : cases) {
        RCPtr<LMultiColumnListBox> table = Child<LMultiColumnListBox>(c.name);
        ASSERT_TRUE(table) << Text(c.name);
        EXPECT_EQ(table->GetColumnCount(), c.columns) << Text(c.name);
        EXPECT_EQ(table->GetHeaderCount(), c.headers) << Text(c.name);
        if (c.columns) {
            EXPECT_EQ(table->GetClientExtent().x, 100.0 * (c.columns == 2 ? 2 : 1)) << Text(c.name);
        }
    }
    EXPECT_EQ(mTable->GetLookCount(), 3);
    EXPECT_EQ(mTable->GetActiveLookIndex(), 0);
    // A columnless table is inert: no extent, no client area, sorting and
    // scrolling do nothing.
    RCPtr<LMultiColumnListBox> empty = Child<LMultiColumnListBox>(u"empty");
    const RectT<double> client = empty->GetClientRect();
    EXPECT_EQ(client.width + client.height + client.x + client.y, 0.0);
    empty->PerformSort(0);
    EXPECT_EQ(empty->SetScrollOffset({0, 20}), S_OK);
    EXPECT_EQ(empty->Finalize(), S_OK);
    // The header of a one-header table sorts the first column.
    RCPtr<LMultiColumnListBox> mismatch = Child<LMultiColumnListBox>(u"mismatch");
    Fill(*mismatch->GetColumn(0), {u"b", u"a"});
    mismatch->GetHeader(0)->Notify(u"NID_LEFT_CLICK");
    EXPECT_EQ(Text(mismatch->GetCellText(0, 0)), "a");
    EXPECT_FALSE(mismatch->IsNextSortAscending(0));
}

TEST_F(TableTreeTest, SelectionHoverAndScrollingAreMirrored)
{
    for (bool multi : {false, true}) {
        Fill(*mTable->GetColumn(0), {u"0", u"1", u"2", u"3"});
        Fill(*mTable->GetColumn(1), {u"a", u"b", u"c", u"d"});
        mTable->GetColumn(0)->mMultiSelect = mTable->GetColumn(1)->mMultiSelect = multi;
        mTable->GetColumn(0)->SelectRange(1, -1, true);
        mRecorder->names.clear();
        mTable->GetColumn(1)->SelectRange(3, -1, !multi);
        const std::vector<uint32_t> expected = multi ? std::vector<uint32_t>{1, 3} : std::vector<uint32_t>{3};
        EXPECT_EQ(Selected(0), expected) << multi;
        EXPECT_EQ(Selected(1), expected) << multi;
        EXPECT_EQ(mRecorder->Count(u"NID_SELECTION_CHANGE"), 1) << multi;
    }
    // Hover on a row of one column shows in the other; leaving clears it.
    LListBox& first = *mTable->GetColumn(0);
    LListBoxItem* mirrored = mTable->GetColumn(1)->GetRow(uint32_t(mTable->GetColumn(1)->GetRowOfItem(2)));
    ASSERT_TRUE(mirrored);
    const auto began = LConditionsParam::Create(kConditionHover, 0, 0, 0);
    const auto ended = LConditionsParam::Create(0, kConditionHover, 0, 0);
    first.Notify(u"NID_ITEM_HOVER_CONDITION_CHANGE", LItemConditionsParam::Create(*began, 2, 0, true));
    EXPECT_TRUE(mirrored->GetConditionBits() & kConditionHover);
    first.Notify(u"NID_ITEM_HOVER_CONDITION_CHANGE", LItemConditionsParam::Create(*ended, 2, 0, true));
    EXPECT_FALSE(mirrored->GetConditionBits() & kConditionHover);
    // The first column's scrolling moves every column and the table.
    Fill(first, {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9"});
    Fill(*mTable->GetColumn(1), {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9"});
    EXPECT_EQ(mTable->GetClientExtent().y, 200.0);
    EXPECT_EQ(mTable->GetClientExtent().x, 200.0);
    first.ScrollToItem(9);
    EXPECT_EQ(first.GetScrollOffset().y, 140.0);
    EXPECT_EQ(mTable->GetColumn(1)->GetScrollOffset().y, 140.0);
    EXPECT_EQ(mTable->GetScrollOffset().y, 140.0);
    mTable->SetScrollOffset({0, 40});
    EXPECT_EQ(mTable->GetColumn(1)->GetTopItem(), 2u);
    EXPECT_EQ(first.GetTopItem(), 2u);
    // Column reports come from the table without their data.
    mRecorder->names.clear();
    mTable->GetColumn(1)->Notify(u"NID_ITEM_DOUBLE_CLICKED", RCPtr<LHolder<int>>(new LHolder<int>(1)));
    EXPECT_EQ(mRecorder->names, std::vector<std::u16string>{u"NID_ITEM_DOUBLE_CLICKED"});
    EXPECT_FALSE(mRecorder->data);
}

TEST_F(TableTreeTest, HeaderClicksSortRowsWithTheirSelection)
{
    Fill(*mTable->GetColumn(0), {u"r0", u"r1", u"r2"});
    Fill(*mTable->GetColumn(1), {u"b", u"A", u"c"});
    mTable->GetColumn(0)->mMultiSelect = mTable->GetColumn(1)->mMultiSelect = true;
    mTable->GetColumn(0)->SelectRange(0, -1, false);
    mTable->GetColumn(0)->SelectRange(2, -1, false);
    mTable->GetColumn(0)->SetItemAlternate(2, true);
    struct Step
    {
        uint32_t header;
        std::vector<std::string> first, second;
        std::vector<uint32_t> selected;
        int32_t alternate;
    } steps[] = {
        {1, {"r1", "r0", "r2"}, {"A", "b", "c"}, {1, 2}, 2},
        {1, {"r2", "r0", "r1"}, {"c", "b", "A"}, {0, 1}, 0},
        // Column 1 keeps its own direction: ascending first.
        {0, {"r0", "r1", "r2"}, {"b", "A", "c"}, {0, 2}, 2},
    };
    for (const Step& s : steps) {
        mRecorder->names.clear();
        mTable->GetHeader(s.header)->Notify(u"NID_LEFT_CLICK");
        EXPECT_EQ(Column(0), s.first) << s.header;
        EXPECT_EQ(Column(1), s.second) << s.header;
        EXPECT_EQ(Selected(0), s.selected);
        EXPECT_EQ(Selected(1), s.selected);
        for (uint32_t c = 0; c < 2; ++c)
            EXPECT_TRUE(mTable->GetColumn(c)->GetItemAlternate(uint32_t(s.alternate)));
        EXPECT_EQ(mRecorder->Count(u"NID_SELECTION_CHANGE"), 0);
    }
    // Mirroring is back after the sort.
    mTable->GetColumn(1)->SelectRange(1, -1, true);
    EXPECT_EQ(Selected(0), std::vector<uint32_t>{1});
    EXPECT_EQ(mRecorder->Count(u"NID_SELECTION_CHANGE"), 1);
}

TEST_F(TableTreeTest, SortingKeepsTheCellsOfAShortColumnWithTheirRows)
{
    using Texts = std::vector<std::string>;
    struct Case
    {
        std::vector<const char16_t*> first, second;
        uint32_t header;
        Texts sortedFirst, sortedSecond;
    } cases[] = {
        {{u"c", u"a", u"b"}, {u"x"}, 0, {"a", "b", "c"}, {"", "", "x"}},
        {{u"c", u"a", u"b"}, {u"x", u"y"}, 0, {"a", "b", "c"}, {"y", "", "x"}},
        // The short column itself sorts its missing cells as empty texts.
        {{u"c", u"a", u"b"}, {u"x"}, 1, {"a", "b", "c"}, {"", "", "x"}},
    };
    for (const Case& c : cases) {
        Fill(*mTable->GetColumn(0), c.first);
        Fill(*mTable->GetColumn(1), c.second);
        mTable->PerformSort(c.header);
        EXPECT_EQ(Column(0), c.sortedFirst) << &c - cases;
        EXPECT_EQ(Column(1), c.sortedSecond) << &c - cases;
        // The next sort by that header runs the other way.
        mTable->PerformSort(c.header);
    }
}

TEST_F(TableTreeTest, TreeMovesAndInsertsKeepParentsConsistent)
{
    struct Case
    {
        std::vector<int32_t> build;
        uint32_t item;
        int32_t parent;
        int32_t result;
        std::vector<int32_t> parents;
    } cases[] = {
        // P, Q, R appended and attached to P: R moves before Q.
        {{-1, -1, -1}, 2, 0, 1, {-1, 0, -1}},
        {{-1, -1, -1}, 0, 1, 0, {-1, -1, -1}},
        // An item with children moves past a parent: everything renumbered.
        {{-1, 0, 1, -1, 3}, 1, 3, 3, {-1, -1, 1, 1, 3}},
        // Under a parent that comes after it, and back to the top level.
        {{-1, -1, 1, -1}, 1, 3, 2, {-1, -1, 1, 2}},
        {{-1, 0, 1, 0}, 1, -1, 2, {-1, 0, -1, 2}},
        // Under its own descendant: refused.
        {{-1, 0, 1}, 1, 2, 1, {-1, 0, 1}},
    };
    for (const Case& c : cases) {
        Build(c.build);
        EXPECT_EQ(mTree->SetItemParent(c.item, c.parent), c.result) << &c - cases;
        EXPECT_EQ(Parents(), c.parents) << &c - cases;
        EXPECT_TRUE(Consistent()) << &c - cases;
    }
    // Attaching expands the parent and indents the child by one check box.
    Build({-1, -1});
    mTree->InsertItemAt(2, nullptr);
    ASSERT_EQ(mTree->SetItemParent(2, 0), 1);
    EXPECT_TRUE(mTree->IsItemChecked(0));
    EXPECT_EQ(mTree->GetRow(1)->GetX(), 16.0);
    EXPECT_TRUE(mTree->GetRow(0)->FindChildByName(u"checkBox")->IsEnabled(false));
    EXPECT_FALSE(mTree->GetRow(2)->FindChildByName(u"checkBox")->IsEnabled(false));
    // Inserting inside a subtree makes a sibling and renumbers the rest.
    Build({-1, 0, 1});
    mTree->InsertItemAt(1, nullptr);
    EXPECT_EQ(Parents(), (std::vector<int32_t>{-1, 0, 0, 2}));
    EXPECT_TRUE(Consistent());
    EXPECT_EQ(mTree->SortRange(0, 4), E_NOTIMPL);
}

TEST_F(TableTreeTest, TreeMovesShowExactlyTheItemsWhoseAncestorsAreAllExpanded)
{
    struct Case
    {
        std::vector<int32_t> build;
        std::vector<uint32_t> collapsed;
        uint32_t item;
        int32_t parent;
        std::vector<bool> hidden;
    } cases[] = {
        // Under a child of a collapsed item: the moved subtree hides.
        {{-1, 0, 1, -1, 3}, {1}, 3, 2, {false, false, true, true, true}},
        // Attaching expands a collapsed parent: its other children show too.
        {{-1, 0, -1, 2, 2}, {2}, 1, 2, {false, false, false, false, false}},
        // Out of a collapsed branch to the top level: shown again.
        {{-1, 0, 1}, {0}, 2, -1, {false, true, false}},
        {{-1, -1, 1, 2}, {}, 1, 0, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        Build(c.build);
        for (uint32_t i : c.collapsed) {
            mTree->SetItemChecked(i, false);
            mTree->UpdateDescendantVisibility(i);
        }
        mTree->SetItemParent(c.item, c.parent);
        std::vector<bool> hidden;
        for (uint32_t i = 0; i < mTree->GetItemCount(); ++i)
            hidden.push_back(mTree->GetRowOfItem(i) < 0);
        EXPECT_EQ(hidden, c.hidden) << &c - cases;
        EXPECT_TRUE(Consistent()) << &c - cases;
    }
}

TEST_F(TableTreeTest, TreeRemovesSubtreesAndHidesCollapsedBranches)
{
    struct Case
    {
        std::vector<int32_t> build;
        uint32_t removed;
        std::vector<int32_t> parents;
    } cases[] = {
        {{-1, 0, 0}, 0, {}},
        {{-1, 0, 0}, 1, {-1, 0}},
        {{-1, 0, 1, -1, 3}, 1, {-1, -1, 1}},
    };
    for (const Case& c : cases) {
        Build(c.build);
        mTree->SelectRange(uint32_t(c.build.size() - 1), -1, true);
        mTree->RemoveItem(c.removed);
        EXPECT_EQ(Parents(), c.parents) << &c - cases;
        EXPECT_EQ(mTree->GetSelectedCount(), uint32_t(mTree->GetSelectedIndices().size()));
    }
    EXPECT_EQ(mTree->RemoveItem(9), E_INVALIDARG);
    // P > Q > R: collapsing P hides both; expanding P shows Q, and R only
    // while Q is expanded too.
    Build({-1, 0, 1});
    const auto hidden = [&] {
        std::vector<bool> h;
        for (uint32_t i = 0; i < 3; ++i)
            h.push_back(mTree->GetRowOfItem(i) < 0);
        return h;
    };
    EXPECT_EQ(hidden(), (std::vector<bool>{false, false, false}));
    RCPtr<LControl> expander = mTree->GetRow(0)->FindChildByName(u"checkBox");
    expander->SetValue(0.0);
    const int32_t pitch = mTree->GetItemHeight();
    EXPECT_EQ(hidden(), (std::vector<bool>{false, true, true}));
    // The scrolled height counts only the items shown.
    EXPECT_EQ(mTree->GetContentHeight(), pitch);
    mTree->SetItemChecked(1, false);
    expander->SetValue(1.0);
    EXPECT_EQ(hidden(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(mTree->GetContentHeight(), 2 * pitch);
    EXPECT_EQ(mTree->GetCheckedCount(), 1u);
    mTree->RemoveItem(1);
    EXPECT_EQ(mTree->GetContentHeight(), pitch);
    mTree->RemoveItem(0);
    EXPECT_EQ(mTree->GetContentHeight(), 0);
}

TEST_F(TableTreeTest, ASubtreeRemovedAtOnceLeavesWhatSingleRemovalsLeave)
{
    // Random trees, collapsed branches, scroll positions and selections;
    // each subtree removed both ways from the same start.
    struct Start
    {
        std::vector<int32_t> parents;
        std::vector<uint32_t> textLengths, collapsed;
        int32_t selected;  // -1 none
        double scroll;
        uint32_t removed;
    };
    const auto state = [&] {
        std::vector<int64_t> s{
            mTree->GetItemCount(),    mTree->GetAnchor(),        mTree->GetCaret(),
            mTree->GetTopItem(),      mTree->GetContentHeight(), mTree->GetWidestRow(),
            mTree->GetCheckedCount(), mTree->GetSelectedCount(), int64_t(mTree->GetScrollOffset().y)};
        for (uint32_t i = 0; i < mTree->GetItemCount(); ++i) {
            s.push_back(mTree->GetParentIndex(i));
            s.push_back(mTree->GetRowOfItem(i));
            s.push_back(mTree->IsItemChecked(i));
            s.push_back(mTree->IsItemSelected(i));
            s.push_back(int64_t(Text(mTree->GetItemText(i)).size()));
        }
        return s;
    };
    const auto prepare = [&](const Start& c) {
        Build(c.parents);
        for (uint32_t i = 0; i < c.parents.size(); ++i)
            mTree->SetItemData(i, RCPtr<LRefCountedObject>(new LListText(
                                      WString(NString(std::string(c.textLengths[i], 'w').c_str())))));
        for (uint32_t i : c.collapsed) {
            mTree->SetItemChecked(i, false);
            mTree->UpdateDescendantVisibility(i);
        }
        if (c.selected >= 0)
            mTree->SelectRange(uint32_t(c.selected), -1, true);
        // Placed afresh: hiding items leaves the top item as it was.
        mTree->SetScrollOffset({0, c.scroll + 1});
        mTree->SetScrollOffset({0, c.scroll});
    };
    std::mt19937 random(7);
    const auto below = [&](uint32_t n) { return uint32_t(random() % n); };
    for (int round = 0; round < 60; ++round) {
        Start c;
        const uint32_t n = 3 + below(25);
        for (uint32_t i = 0; i < n; ++i) {
            c.parents.push_back(i == 0 || below(3) == 0 ? -1 : int32_t(below(i)));
            c.textLengths.push_back(1 + below(12));
            if (below(6) == 0)
                c.collapsed.push_back(i);
        }
        c.selected = below(3) == 0 ? -1 : int32_t(below(n));
        c.scroll = double(below(n)) * mTree->GetItemHeight();
        c.removed = below(n);
        prepare(c);
        const uint32_t end = c.removed + mTree->GetDescendantCount(c.removed) + 1;
        for (uint32_t k = end; k-- > c.removed;)
            mTree->LListBox::RemoveItem(k);
        const std::vector<int64_t> single = state();
        prepare(c);
        mTree->RemoveItem(c.removed);
        EXPECT_EQ(state(), single) << "round " << round;
        EXPECT_TRUE(Consistent()) << "round " << round;
    }
}

}  // namespace
