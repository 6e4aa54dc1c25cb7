#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "Renderer/Font.h"
#include "ControlBase/MenuDescriptor.h"
#include "Controls/Button.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/NumericUpDown.h"
#include "Controls/TextBox.h"
#include "Notification/NotificationParams.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/TavoFramework/ControlBase/RecordingRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

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
        Tavo::Test::MeasureWithFixedWidths();  // 7 pixels a character
        mFactory = LControlFactory::Create(u"App");
        LControlEnvironment& environment = ControlEnvironment();
        environment.factory = mFactory;
        environment.defaultFont = [] { return LFont::FindOrCreate(u"Arial", 12, 0); };
        environment.getClipboardText = [this](WString& text) {
            text = WString(mClipboard.value_or(u"").c_str());
            return mClipboard.has_value();
        };
        environment.setClipboardText = [this](const WString& text) { return mClipboard = Str(text), S_OK; };
        for (const ControlClassRow& row : FrameworkControlClasses())
            if (row.create)
                mFactory->RegisterControlClass(row.name, row.create);
        const WString strings(TAVO_SOURCE_DIR "/tests/TavoFramework/Controls/TextWidgetsStrings.xml");
        mFactory->LoadStringTables(u"", strings, 0x0409);
        ASSERT_EQ(
            mFactory->LoadSkins(WString(TAVO_SOURCE_DIR "/tests/TavoFramework/Controls/TextWidgetsSkin.xml")),
            S_OK);
        mWindow->SetClientRect({0, 0, 400, 300});
        mMain = mFactory->CreateControlFromDescriptor(u"mainControl", mWindow.Get());
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
    static int32_t RightHalfOf(int32_t index) { return 2 + 7 * index + 5; }

    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    std::optional<std::u16string> mClipboard;
    RCPtr<LControlFactory> mFactory;
    RCPtr<FakeRootWindow> mWindow = FakeRootWindow::Create();
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
        {u"abc", 1, 0, 0, -1, 0x20260000, u"abc", {1, 0, 0, 1}, S_FALSE},
        {u"abc", 1, 0, 0, -1, 0x23280000, u"abc", {1, 0, 0, 1}, S_FALSE},
        {u"abcd", 3, 1, 2, 1, 0x22250000, u"abcd", {2, 1, 1, 1}, S_OK},   // Shift+Left shrinks
        {u"abcd", 1, 1, 2, 3, 0x22250000, u"abcd", {0, 0, 3, 3}, S_OK},   // or grows
        {u"abcd", 2, 0, 0, -1, 0x22250000, u"abcd", {1, 1, 1, 2}, S_OK},  // or starts
        {u"abcd", 1, 0, 0, -1, 0x22270000, u"abcd", {2, 1, 1, 1}, S_OK},  // Shift+Right
        {u"abcd", 1, 1, 2, 3, 0x22270000, u"abcd", {2, 2, 1, 3}, S_OK},
        {u"abc def", 7, 0, 0, -1, 0x21250000, u"abc def", {4, 0, 0, 4}, S_OK},  // Ctrl+Left
        {u"abc def", 0, 0, 0, -1, 0x21270000, u"abc def", {4, 0, 0, 4}, S_OK},  // Ctrl+Right
        {u"abc def", 7, 0, 0, -1, 0x23250000, u"abc def", {4, 4, 3, 7}, S_OK},  // Ctrl+Shift+Left
        {u"abc def", 5, 0, 2, 0, 0x20240000, u"abc def", {0, 0, 0, 0}, S_OK},   // Home
        {u"abc def", 1, 0, 0, -1, 0x20230000, u"abc def", {7, 0, 0, 7}, S_OK},  // End
        {u"abcdef", 3, 0, 0, -1, 0x22240000, u"abcdef", {0, 0, 3, 3}, S_OK},    // Shift+Home
        {u"abcdef", 3, 0, 0, -1, 0x22230000, u"abcdef", {6, 3, 3, 3}, S_OK},    // Shift+End
        {u"abcdef", 3, 0, 0, -1, 0x20080000, u"abdef", {2, 0, 0, 2}, S_OK},     // Backspace
        {u"abcdef", 0, 0, 0, -1, 0x20080000, u"abcdef", {0, 0, 0, 0}, S_OK},
        {u"abcdef", 3, 1, 2, 1, 0x20080000, u"adef", {1, 0, 0, 1}, S_OK},
        {u"abcdef", 3, 0, 0, -1, 0x202e0000, u"abcef", {3, 0, 0, 3}, S_OK},  // Delete
        {u"abcdef", 3, 0, 0, -1, 0x222e0000, u"abdef", {2, 0, 0, 2}, S_OK},  // Shift+Delete
        {u"abcdef", 2, 0, 0, -1, 0x212e0000, u"ab", {2, 0, 0, 2}, S_OK},     // Ctrl+Delete
        {u"abcdef", 2, 3, 2, 3, 0x212e0000, u"abcf", {3, 0, 0, 3}, S_OK},
        // A surrogate pair is one step and one deletion.
        {u"a\U0001F600b", 1, 0, 0, -1, 0x20270000, u"a\U0001F600b", {3, 0, 0, 3}, S_OK},
        {u"a\U0001F600b", 3, 0, 0, -1, 0x20080000, u"ab", {1, 0, 0, 1}, S_OK},
        {u"a\U0001F600b", 3, 0, 0, -1, 0x22250000, u"a\U0001F600b", {1, 1, 2, 3}, S_OK},
        // Keys the text box leaves: letters with Ctrl, function keys, Tab.
        {u"ab", 1, 0, 0, -1, 0x21430000, u"ab", {1, 0, 0, 1}, S_FALSE},
        {u"ab", 1, 0, 0, -1, 0x20700000, u"ab", {1, 0, 0, 1}, S_FALSE},
        {u"ab", 1, 0, 0, -1, 0x20430000, u"ab", {1, 0, 0, 1}, S_OK},  // the character follows
        {u"ab", 1, 0, 0, -1, 0x00000009, u"ab", {1, 0, 0, 1}, S_FALSE},
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
    const int32_t x = 2 + 7 * 4 + 2;
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
    using Log = std::vector<std::u16string>;
    const std::u16string validating = u"NID_TEXTBOX_VALIDATING:abcdef";
    struct Case
    {
        std::function<void(LTextValidationParams&)> listener;
        TavoResult result;
        const char16_t* text;
        Log log;
    };
    const Case cases[] = {
        {[](LTextValidationParams& p) { p.mValid = false; }, S_OK, u"abcdef", Log{validating}},
        {[](LTextValidationParams& p) { p.mText = u"xy"; }, S_FALSE, u"xy",
         Log{validating, u"NID_TEXTBOX_TEXT_CHANGE:xy", u"NID_TEXTBOX_VALIDATED:xy"}},
        {[](LTextValidationParams& p) { p.mText = WString(p.mText.c_str()); }, S_FALSE, u"abcdef",
         Log{validating, u"NID_TEXTBOX_VALIDATED:abcdef"}},
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
    ASSERT_EQ(menu->GetItemCount(), 4);
    EXPECT_EQ(Str(menu->GetItem(2)->label), u"Paste");
    EXPECT_EQ(Str(menu->GetItem(2)->key), u"NID_EDIT_PASTE_REQ");
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

TEST_F(TextBoxTest, NumericUpDownCorrectsTypedTextsOnValidation)
{
    auto upDown = RCPtrDynamicCast<LNumericUpDown>(mMain->FindChildByName(u"number"));
    ASSERT_TRUE(upDown && upDown->GetTextBox());
    const RCPtr<LTextBox> box = upDown->GetTextBox();
    RCPtr<Recorder> forwarded(new Recorder());
    forwarded->box = box;
    for (const char16_t* id : {u"NID_TEXTBOX_VALIDATING", u"NID_TEXTBOX_VALIDATED"})
        forwarded->Subscribe(RCPtr<LNotificationDistributor>(upDown.Get()), id);
    struct Case
    {
        double minimum, maximum, value;
        const char16_t* typed;
        double after;
        const char16_t* shown;
    };
    const Case cases[] = {
        {0, 10, 5, u"12", 10, u"10"},   {0, 10, 5, u"-3", 0, u"0"},    {-5, 5, 2, u"3-", 2, u"2"},
        {-5, 5, 2, u"-", 2, u"2"},      {-5, 5, 2, u"-4", -4, u"-4"},  {0, 10, 5, u"1.2.3", 5, u"5"},
        {0, 10, 5, u"2.6", 2.6, u"3"},  {0, 10, 7, u"007", 7, u"007"}, {0, 10, 0, u"00", 0, u"0"},
        {0, 10, 10, u"010", 10, u"10"}, {0, 10, 5, u"", 5, u"5"},      {0, 10, 5, u".", 5, u"5"},
        {0, 10, 5, u"nan", 5, u"5"},    {0, 10, 5, u"1e999", 5, u"5"}, {1, 100, 10, u"50", 50, u"50"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(NString(WString(c.typed)).c_str()));
        upDown->SetValueRange(c.minimum, c.maximum, c.minimum > 0 ? 1 : 0);
        upDown->SetText(WString(NString(std::to_string(c.value).c_str())));
        box->SetTextAndCaret(c.typed, true);
        forwarded->log.clear();
        EXPECT_EQ(box->OnKey(LKeyParam::Create(KeyCode(0x200d0000))), S_FALSE);
        EXPECT_NEAR(upDown->NormalizedToValue(upDown->GetValue()), c.after, 1e-9);
        EXPECT_EQ(Str(box->GetText()), std::u16string(c.shown));
        // A changed value adds the nested pass of the freshly printed text.
        ASSERT_GE(forwarded->log.size(), 2u);
        EXPECT_EQ(forwarded->log.front(), u"NID_TEXTBOX_VALIDATING:" + std::u16string(c.typed));
        EXPECT_EQ(forwarded->log.back(), u"NID_TEXTBOX_VALIDATED:" + std::u16string(c.shown));
    }
    forwarded->UnsubscribeAll();

    // The minus sign is typed only when the range goes below 0.
    upDown->SetValueRange(0, 10, 0);
    box->SetText(u"");
    for (char16_t ch : u"-7")
        box->OnKey(LKeyParam::Create(KeyCode(ch)));
    EXPECT_EQ(Str(box->GetText()), u"7");
    // Exponential ranges need both bounds above 0.
    EXPECT_EQ(upDown->SetValueRange(0, 10, 1), E_INVALIDARG);
    EXPECT_EQ(upDown->SetValueRange(1, 10, 2), E_INVALIDARG);
    EXPECT_EQ(upDown->GetScaleMode(), 0);
    EXPECT_EQ(upDown->SetValueRange(1, 10, 1), S_OK);
}

TEST_F(TextBoxTest, NumericUpDownStepsThroughItsButtonsOnUpAndDown)
{
    auto upDown = RCPtrDynamicCast<LNumericUpDown>(mMain->FindChildByName(u"number"));
    ASSERT_TRUE(upDown);
    auto up = RCPtrDynamicCast<LButton>(upDown->FindChildByName(u"buttonUp"));
    auto down = RCPtrDynamicCast<LButton>(upDown->FindChildByName(u"buttonDown"));
    EXPECT_TRUE(up->IsNotFocusable() && down->IsNotFocusable());
    EXPECT_FALSE(upDown->IsNotFocusable());
    upDown->SetValueRange(0, 3, 0);
    upDown->SetText(u"2");
    const RCPtr<LTextBox> box = upDown->GetTextBox();
    auto press = [&](uint32_t key) {
        box->UITarget_Key(LKeyParam::Create(KeyCode(key)));
        for (const RCPtr<LButton>& b : {up, down}) {
            mClock.Advance(150);
            b->OnIdle();
        }
        return Str(box->GetText());
    };
    EXPECT_EQ(press(0x20260000), u"3");
    EXPECT_EQ(press(0x20260000), u"3") << "the maximum holds";
    EXPECT_EQ(press(0x20280000), u"2");
    EXPECT_EQ(press(0x22280000), u"2") << "only the plain key";
}
