#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "ControlBase/MenuDescriptor.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/TextBox.h"
#include "Notification/NotificationParams.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

const char* kSkin = R"(<R><Application Name="App"/>
<Colorizers><Colorizer Name="white" ColorType="SolidFill" Color="0xFFFFFFFF"/>
 <Colorizer Name="black" ColorType="SolidFill" Color="0xFF000000"/>
 <Colorizer Name="navy" ColorType="SolidFill" Color="0xFF101040"/></Colorizers>
<Parts><Part Name="p" Width="1" Height="1" ResizeType="Stretch" ColorizerName="white"/>
 <Part Name="ink" Width="1" Height="1" ResizeType="Stretch" ColorizerName="black"/>
 <Part Name="dark" Width="1" Height="1" ResizeType="Stretch" ColorizerName="navy"/></Parts>
<Looks><Look Name="l"><ClientPart Name="p" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="2" TextRightRel="1" TextRightAbs="-2" TextHAlign="0"
   TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/>
  </Look>
 <Look Name="d"><ClientPart Name="dark" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
  <TextProperties TextLeftRel="0" TextLeftAbs="2" TextRightRel="1" TextRightAbs="-2" TextHAlign="0"
   TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="p"/>
  </Look></Looks>
<LookLists><LookList Name="twelve" NumLooks="12">
  <Look Name="l" Index="0"/><Look Name="l" Index="1"/><Look Name="l" Index="2"/><Look Name="d" Index="3"/>
  <Look Name="l" Index="4"/><Look Name="l" Index="5"/><Look Name="l" Index="6"/><Look Name="l" Index="7"/>
  <Look Name="l" Index="8"/><Look Name="l" Index="9"/><Look Name="l" Index="10"/><Look Name="l" Index="11"/>
  </LookList></LookLists>
<Skin Name="S">
 <SubControl Class="Framework.Panel" Name="main" XSizeAbs="400" YSizeAbs="300">
  <Skin Name="s">
   <SubControl Class="Framework.TextBox" Name="text" XSizeAbs="300" YSizeAbs="20">
    <Skin Name="t" LookList="twelve"/>
    <CreateParamList><CreateParam ID="LABEL">Search</CreateParam></CreateParamList></SubControl>
   <SubControl Class="Framework.Button" Name="other" YPositionAbs="40" XSizeAbs="80" YSizeAbs="20"/>
  </Skin>
 </SubControl>
</Skin></R>)";

const char* kFrameworkStrings = R"(<Root><StringTable ID="Framework">
 <String ID="EDIT_CUT"><Locale LCID="0x0009">Cut</Locale></String>
 <String ID="EDIT_COPY"><Locale LCID="0x0009">Copy</Locale></String>
 <String ID="EDIT_PASTE"><Locale LCID="0x0009">Paste</Locale></String>
 <String ID="EDIT_DELETE"><Locale LCID="0x0009">Delete</Locale></String>
</StringTable></Root>)";

std::u16string Str(const WString& s)
{
    return std::u16string(s.c_str());
}

// Writes down each notification of the text box with the text it then shows.
class Recorder : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        log.push_back(std::u16string(n->GetID()) + u":" + Str(box->GetText()));
        auto* params =
            dynamic_cast<LTextValidationParams*>(const_cast<LRefCountedObject*>(n->GetData().Get()));
        if (params && onValidating && std::u16string(n->GetID()) == u"NID_TEXTBOX_VALIDATING")
            onValidating(*params);
        return S_OK;
    }
    RCPtr<LTextBox> box;
    std::vector<std::u16string> log;
    std::function<void(LTextValidationParams&)> onValidating;
};

class TextBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mFactory = LControlFactory::Create(u"App");
        LControlEnvironment& environment = ControlEnvironment();
        environment.factory = mFactory;
        environment.defaultFont = [] { return LFont::FindOrCreate(u"Arial", 12, 0); };
        environment.getClipboardText = [this](WString& text) {
            if (mClipboard)
                text = WString(mClipboard->c_str());
            return mClipboard.has_value();
        };
        environment.setClipboardText = [this](const WString& text) {
            mClipboard = Str(text);
            return S_OK;
        };
        for (const ControlClassRow& row : FrameworkControlClasses())
            if (row.create)
                mFactory->RegisterControlClass(row.name, row.create);
        mFolder.Write("app.xml", R"(<Root><Application Name="App"/></Root>)");
        mFolder.Write("fw.xml", kFrameworkStrings);
        ASSERT_EQ(mFactory->LoadStringTables(mFolder.WPath("app.xml"), mFolder.WPath("fw.xml"), 0x0409),
                  S_OK);
        ASSERT_EQ(mFactory->ParseXML(kSkin, 0), S_OK);
        mFactory->SetCurrentSkinIndex(0);
        mWindow = FakeRootWindow::Create();
        mWindow->SetClientRect({0, 0, 400, 300});
        mMain = mFactory->CreateControlFromDescriptor(u"main", mWindow.Get());
        ASSERT_TRUE(mMain);
        mMain->UITarget_UpdateGeometry(400, 300);
        mBox = RCPtrDynamicCast<LTextBox>(mMain->FindChildByName(u"text"));
        ASSERT_TRUE(mBox);
        mRecorder->box = mBox;
        for (const char16_t* id :
             {u"NID_TEXTBOX_TEXT_CHANGE", u"NID_TEXTBOX_VALIDATING", u"NID_TEXTBOX_VALIDATED"})
            mRecorder->Subscribe(RCPtr<LNotificationDistributor>(mBox.Get()), id);
    }
    void TearDown() override
    {
        mRecorder->UnsubscribeAll();
        mRecorder->box = nullptr;
        mBox = nullptr;
        if (mMain)
            mMain->ReleaseInternalReferences();
        LControlEnvironment& environment = ControlEnvironment();
        environment.factory = nullptr;
        environment.defaultFont = nullptr;
        environment.getClipboardText = nullptr;
        environment.setClipboardText = nullptr;
    }
    TavoResult Key(uint32_t code) { return mBox->OnKey(LKeyParam::Create(KeyCode(code))); }
    void Type(const std::u16string& text)
    {
        for (char16_t c : text)
            Key(c);
    }
    // Text, then caret, then selection start, length and anchor.
    void Set(const char16_t* text, int32_t caret, int32_t start = 0, int32_t length = 0, int32_t anchor = -1)
    {
        mBox->SetTextAndCaret(text, true);
        mBox->SetCaretPosition(caret);
        mBox->SetSelection(start, length, anchor < 0 ? caret : anchor);
    }
    std::vector<int32_t> State() const
    {
        return {mBox->GetCaretPosition(), mBox->GetSelectionStart(), mBox->GetSelectionLength(),
                mBox->GetSelectionAnchor()};
    }
    // A point in the right half of a character.
    int32_t RightHalfOf(int32_t index)
    {
        const float left = mBox->MeasurePrefix(index), right = mBox->MeasurePrefix(index + 1);
        return int32_t(std::lround(mBox->GetTextRect().x + left + (right - left) * 0.75f));
    }

    TempFolder mFolder;
    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    std::optional<std::u16string> mClipboard;
    RCPtr<LControlFactory> mFactory;
    RCPtr<FakeRootWindow> mWindow;
    RCPtr<LControl> mMain;
    RCPtr<LTextBox> mBox;
    RCPtr<Recorder> mRecorder{new Recorder()};
};

}  // namespace

TEST_F(TextBoxTest, KeyTableMovesCaretSelectionAndAnchor)
{
    struct Case
    {
        const char16_t* text;
        int32_t caret, start, length, anchor;
        uint32_t key;
        const char16_t* after;
        std::vector<int32_t> state;  // caret, start, length, anchor
        TavoResult result;
    };
    const Case cases[] = {
        {u"abc def", 3, 0, 0, -1, 0x21410000, u"abc def", {3, 0, 7, 0}, S_FALSE},  // Ctrl+A goes on
        {u"abc def", 3, 1, 3, 1, 0x20250000, u"abc def", {2, 0, 0, 2}, S_OK},      // Left
        {u"abc", 0, 0, 0, -1, 0x20250000, u"abc", {0, 0, 0, 0}, S_OK},
        {u"abc", 3, 0, 0, -1, 0x20270000, u"abc", {3, 0, 0, 3}, S_OK},  // Right at the end
        {u"abc", 1, 0, 0, -1, 0x20260000, u"abc", {1, 0, 0, 1}, S_FALSE},
        {u"abc", 1, 0, 0, -1, 0x23280000, u"abc", {1, 0, 0, 1}, S_FALSE},
        {u"abcd", 3, 1, 2, 1, 0x22250000, u"abcd", {2, 1, 1, 1}, S_OK},   // Shift+Left shrinks
        {u"abcd", 1, 1, 2, 3, 0x22250000, u"abcd", {0, 0, 3, 3}, S_OK},   // or grows
        {u"abcd", 2, 0, 0, -1, 0x22250000, u"abcd", {1, 1, 1, 2}, S_OK},  // or starts
        {u"abcd", 1, 0, 0, -1, 0x22270000, u"abcd", {2, 1, 1, 1}, S_OK},  // Shift+Right
        {u"abcd", 1, 1, 2, 3, 0x22270000, u"abcd", {2, 2, 1, 3}, S_OK},
        {u"abcd", 4, 0, 0, -1, 0x22270000, u"abcd", {4, 0, 0, 4}, S_OK},
        {u"abc def", 7, 0, 0, -1, 0x21250000, u"abc def", {4, 0, 0, 4}, S_OK},  // Ctrl+Left
        {u"abc def", 0, 0, 0, -1, 0x21270000, u"abc def", {4, 0, 0, 4}, S_OK},  // Ctrl+Right
        {u"abc def", 7, 0, 0, -1, 0x23250000, u"abc def", {4, 4, 3, 7}, S_OK},  // Ctrl+Shift+Left
        {u"abc def", 0, 0, 0, -1, 0x23270000, u"abc def", {4, 0, 4, 0}, S_OK},
        {u"abc def", 5, 0, 2, 0, 0x20240000, u"abc def", {0, 0, 0, 0}, S_OK},   // Home
        {u"abc def", 1, 0, 0, -1, 0x20230000, u"abc def", {7, 0, 0, 7}, S_OK},  // End
        {u"abcdef", 3, 0, 0, -1, 0x22240000, u"abcdef", {0, 0, 3, 3}, S_OK},    // Shift+Home
        {u"abcdef", 3, 0, 0, -1, 0x22230000, u"abcdef", {6, 3, 3, 3}, S_OK},    // Shift+End
        {u"abcdef", 3, 0, 0, -1, 0x20080000, u"abdef", {2, 0, 0, 2}, S_OK},     // Backspace
        {u"abcdef", 0, 0, 0, -1, 0x20080000, u"abcdef", {0, 0, 0, 0}, S_OK},
        {u"abcdef", 3, 1, 2, 1, 0x20080000, u"adef", {1, 0, 0, 1}, S_OK},
        {u"abcdef", 3, 0, 0, -1, 0x202e0000, u"abcef", {3, 0, 0, 3}, S_OK},  // Delete
        {u"abcdef", 6, 0, 0, -1, 0x202e0000, u"abcdef", {6, 0, 0, 6}, S_OK},
        {u"abcdef", 3, 0, 0, -1, 0x222e0000, u"abdef", {2, 0, 0, 2}, S_OK},  // Shift+Delete
        {u"abcdef", 2, 0, 0, -1, 0x212e0000, u"ab", {2, 0, 0, 2}, S_OK},     // Ctrl+Delete
        {u"abcdef", 2, 3, 2, 3, 0x212e0000, u"abcf", {3, 0, 0, 3}, S_OK},
        // A surrogate pair is one step and one deletion.
        {u"a\U0001F600b", 1, 0, 0, -1, 0x20270000, u"a\U0001F600b", {3, 0, 0, 3}, S_OK},
        {u"a\U0001F600b", 3, 0, 0, -1, 0x20080000, u"ab", {1, 0, 0, 1}, S_OK},
        {u"a\U0001F600b", 1, 0, 0, -1, 0x202e0000, u"ab", {1, 0, 0, 1}, S_OK},
        {u"a\U0001F600b", 3, 0, 0, -1, 0x22250000, u"a\U0001F600b", {1, 1, 2, 3}, S_OK},
        // Keys the text box leaves: letters with Ctrl, function keys, Tab.
        {u"ab", 1, 0, 0, -1, 0x21430000, u"ab", {1, 0, 0, 1}, S_FALSE},
        {u"ab", 1, 0, 0, -1, 0x20700000, u"ab", {1, 0, 0, 1}, S_FALSE},
        {u"ab", 1, 0, 0, -1, 0x20430000, u"ab", {1, 0, 0, 1}, S_OK},  // the character follows
        {u"ab", 1, 0, 0, -1, 0x00000009, u"ab", {1, 0, 0, 1}, S_FALSE},
        {u"ab", 1, 0, 0, -1, 0x00000008, u"ab", {1, 0, 0, 1}, S_OK},
        {u"ab", 1, 0, 0, -1, 0x00430000, u"ab", {1, 0, 0, 1}, S_OK},  // a release
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.key << std::dec << " caret " << c.caret);
        Set(c.text, c.caret, c.start, c.length, c.anchor);
        EXPECT_EQ(Key(c.key), c.result);
        EXPECT_EQ(Str(mBox->GetText()), std::u16string(c.after));
        EXPECT_EQ(State(), c.state);
    }
}

TEST_F(TextBoxTest, TypingInsertsFiltersAndKeepsPairsWhole)
{
    Type(u"h\u00e9llo");
    EXPECT_EQ(Str(mBox->GetText()), u"h\u00e9llo");
    EXPECT_EQ(mBox->GetCaretPosition(), 5);
    // Over a selection the typed character replaces it.
    mBox->SetSelection(1, 3, 1);
    Type(u"\u4e2d");
    EXPECT_EQ(Str(mBox->GetText()), u"h\u4e2do");
    EXPECT_EQ(State(), (std::vector<int32_t>{2, 0, 0, 2}));
    // A character beyond the basic plane arrives as two codes.
    Type(u"\U0001F600");
    EXPECT_EQ(Str(mBox->GetText()), u"h\u4e2d\U0001F600o");
    EXPECT_EQ(mBox->GetCaretPosition(), 4);
    EXPECT_FLOAT_EQ(mBox->GetCaretRect().x, mBox->GetTextRect().x + mBox->MeasurePrefix(4) - 1.0f);
    // Controls and a half pair alone are not text.
    Type(std::u16string(u"\x01\x7f") + char16_t(0xDE00));
    EXPECT_EQ(mBox->GetTextLength(), 5);

    mBox->SetText(u"");
    mBox->SetAllowedCharacters(u"0123456789-");
    Type(u"4a-2.");
    EXPECT_EQ(Str(mBox->GetText()), u"4-2");
    mRecorder->log.clear();
    mBox->SetText(u"4-2");
    EXPECT_TRUE(mRecorder->log.empty()) << "an equal text sends nothing";
}

TEST_F(TextBoxTest, WordSelectionByDoubleClickAndCtrlClick)
{
    struct Case
    {
        int32_t index;  // the character clicked (its right half unless noted)
        bool doubleClick;
        uint32_t modifiers;
        std::vector<int32_t> state;
    };
    const Case cases[] = {
        {5, true, 0, {7, 4, 3, 4}},   // inside the second word
        {1, true, 0, {3, 0, 3, 0}},   // the first word, without the space
        {5, false, 1, {7, 4, 3, 4}},  // Ctrl+click as a double click
        {5, false, 0, {6, 0, 0, 6}},  // a plain click only places the caret
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        mBox->SetText(u"abc def");
        const int32_t x = RightHalfOf(c.index);
        mBox->OnLeftDown(LMouseButtonParam::Create(1, x, 5, c.modifiers));
        mBox->OnLeftClick(LMouseButtonParam::Create(1, x, 5, c.modifiers, c.doubleClick));
        EXPECT_EQ(State(), c.state);
    }
    // A press in the left half of the second word's first letter puts the
    // caret at 4: the word search starts left of it and takes the first word.
    mBox->SetText(u"abc def");
    const int32_t x = int32_t(mBox->GetTextRect().x + mBox->MeasurePrefix(4));
    mBox->OnLeftDown(LMouseButtonParam::Create(1, x, 5, 0));
    ASSERT_EQ(mBox->GetCaretPosition(), 4);
    mBox->OnLeftClick(LMouseButtonParam::Create(1, x, 5, 0, true));
    EXPECT_EQ(State(), (std::vector<int32_t>{3, 0, 3, 0}));
    // Shift+press extends from the anchor.
    mBox->OnLeftDown(LMouseButtonParam::Create(1, RightHalfOf(5), 5, 8));
    EXPECT_EQ(State(), (std::vector<int32_t>{6, 0, 6, 0}));
}

TEST_F(TextBoxTest, EnterValidationRefusesRewritesAndOrdersNotifications)
{
    struct Case
    {
        std::function<void(LTextValidationParams&)> listener;
        TavoResult result;
        const char16_t* text;
        std::vector<std::u16string> log;
    };
    const Case cases[] = {
        {[](LTextValidationParams& p) { p.mValid = false; },
         S_OK,
         u"abcdef",
         {u"NID_TEXTBOX_VALIDATING:abcdef"}},
        {[](LTextValidationParams& p) { p.mText = u"xy"; },
         S_FALSE,
         u"xy",
         {u"NID_TEXTBOX_VALIDATING:abcdef", u"NID_TEXTBOX_TEXT_CHANGE:xy", u"NID_TEXTBOX_VALIDATED:xy"}},
        {[](LTextValidationParams& p) { p.mText = WString(p.mText.c_str()); },
         S_FALSE,
         u"abcdef",
         {u"NID_TEXTBOX_VALIDATING:abcdef", u"NID_TEXTBOX_VALIDATED:abcdef"}},
    };
    for (const Case& c : cases) {
        Set(u"abcdef", 5, 1, 4, 1);
        mRecorder->log.clear();
        mRecorder->onValidating = c.listener;
        EXPECT_EQ(Key(0x200d0000), c.result);
        EXPECT_EQ(Str(mBox->GetText()), std::u16string(c.text));
        EXPECT_EQ(mRecorder->log, c.log);
    }
    // The rewrite shortened the text under the caret: caret and anchor
    // stay inside it and keys go on working.
    Set(u"abcdef", 5);
    mRecorder->onValidating = [](LTextValidationParams& p) { p.mText = u"xy"; };
    Key(0x200d0000);
    EXPECT_EQ(State(), (std::vector<int32_t>{2, 0, 0, 2}));
    EXPECT_EQ(Key(0x22250000), S_OK);
    EXPECT_EQ(State(), (std::vector<int32_t>{1, 1, 1, 2}));
}

TEST_F(TextBoxTest, ClipboardEditsAndTheirMenuStates)
{
    const RCPtr<LMenuDescriptor> menu = *mBox->GetContextMenu();
    ASSERT_TRUE(menu);
    std::vector<std::u16string> labels;
    for (int32_t i = 0; i < menu->GetItemCount(); ++i)
        labels.push_back(Str(menu->GetItem(i)->label) + u"=" + Str(menu->GetItem(i)->key));
    EXPECT_EQ(labels,
              (std::vector<std::u16string>{u"Cut=NID_EDIT_CUT_REQ", u"Copy=NID_EDIT_COPY_REQ",
                                           u"Paste=NID_EDIT_PASTE_REQ", u"Delete=NID_EDIT_DELETE_REQ"}));
    auto enabled = [&] {
        std::u16string bits;
        for (const char16_t* id :
             {u"NID_EDIT_CUT_REQ", u"NID_EDIT_COPY_REQ", u"NID_EDIT_PASTE_REQ", u"NID_EDIT_DELETE_REQ"}) {
            uint32_t state = 0;
            EXPECT_EQ(mBox->UpdateMenuItemState(menu, 0, id, state), S_OK);
            bits += (state & 1) ? u'1' : u'0';
        }
        return bits;
    };
    uint32_t untouched = 7;
    EXPECT_EQ(mBox->UpdateMenuItemState(menu, 0, u"NID_OTHER", untouched), S_FALSE);
    EXPECT_EQ(untouched, 7u);

    Set(u"abcdefg", 2);
    EXPECT_EQ(enabled(), u"0000");
    for (int32_t kind : {0, 1, 2, 3, 7})
        EXPECT_EQ(mBox->PerformEdit(kind), E_FAIL) << kind;

    // Cut of characters 3 to 5.
    mBox->SetSelection(3, 3, 3);
    EXPECT_EQ(enabled(), u"1101");
    EXPECT_EQ(mBox->PerformEdit(1), S_OK);
    EXPECT_EQ(Str(mBox->GetText()), u"abcg");
    EXPECT_EQ(mClipboard, u"def");
    EXPECT_EQ(State(), (std::vector<int32_t>{3, 0, 0, 3}));
    EXPECT_EQ(enabled(), u"0010");

    // Paste over characters 2 to 4 of a longer text leaves the caret at 4.
    Set(u"abcdefg", 0, 2, 3, 2);
    mClipboard = u"XY";
    EXPECT_EQ(mBox->PerformEdit(3), S_OK);
    EXPECT_EQ(Str(mBox->GetText()), u"abXYfg");
    EXPECT_EQ(State(), (std::vector<int32_t>{4, 0, 0, 4}));
    // Without a selection at the caret, pairs and all.
    mClipboard = u"\U0001F600!";
    EXPECT_EQ(mBox->PerformEdit(3), S_OK);
    EXPECT_EQ(Str(mBox->GetText()), u"abXY\U0001F600!fg");
    EXPECT_EQ(mBox->GetCaretPosition(), 7);

    Set(u"abcdefg", 0, 1, 2, 1);
    EXPECT_EQ(mBox->PerformEdit(2), S_OK);
    EXPECT_EQ(mClipboard, u"bc");
    EXPECT_EQ(Str(mBox->GetText()), u"abcdefg");
    EXPECT_EQ(mBox->PerformEdit(0), S_OK);
    EXPECT_EQ(Str(mBox->GetText()), u"adefg");
    EXPECT_EQ(mClipboard, u"bc");
}

TEST_F(TextBoxTest, LooksLabelFocusAndCaretBlink)
{
    EXPECT_EQ(Str(mBox->GetLabel()), u"Search");
    EXPECT_TRUE(mBox->GetText().IsEmpty()) << "the label does not become the text";
    EXPECT_EQ(mBox->GetActiveLookIndex(), 2);
    EXPECT_EQ(mBox->GetLookWeight(9), 1.0f);
    EXPECT_EQ(Str(mBox->GetLook(9)->GetText()), u"Search");

    mBox->SetFocus(true);
    ASSERT_TRUE(mBox->HasFocus());
    EXPECT_EQ(mBox->GetActiveLookIndex(), 3);
    EXPECT_EQ(mBox->GetLookWeight(9), 0.0f);
    EXPECT_EQ(mBox->GetIdleRequests(), 1);

    // Focused with a selection: the highlight overlay over the main look.
    Type(u"hello");
    mBox->SetSelection(1, 2, 1);
    EXPECT_EQ(mBox->GetActiveLookIndex(), 3);
    EXPECT_EQ(mBox->GetLookWeight(10), 1.0f);

    // Blink: on for 0.5 s, off for 0.3 s, on the application clock.
    mBox->SetCaretPosition(2);
    std::vector<bool> phases;
    for (uint32_t ms : {499, 1, 299, 1, 499, 1}) {
        mClock.Advance(ms);
        mBox->OnIdle();
        phases.push_back(mBox->IsCaretShown());
    }
    EXPECT_EQ(phases, (std::vector<bool>{true, false, false, true, true, false}));

    // Losing the focus hides the caret, scrolls home and shows the plain look.
    mBox->SetScrollOffset({10, 0});
    RCPtrDynamicCast<LControl>(mMain->FindChildByName(u"other"))->SetFocus(true);
    EXPECT_FALSE(mBox->HasFocus());
    EXPECT_FALSE(mBox->IsCaretShown());
    EXPECT_EQ(mBox->GetScrollOffset().x, 0.0);
    EXPECT_EQ(mBox->GetActiveLookIndex(), 0);
    EXPECT_EQ(mBox->GetIdleRequests(), 0);
    EXPECT_EQ(mRecorder->log.back(), u"NID_TEXTBOX_VALIDATED:hello") << "leaving validates";

    mBox->SetEnabled(false);
    EXPECT_EQ(mBox->GetActiveLookIndex(), 6);
}
