#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "ControlBase/MenuDescriptor.h"
#include "Controls/Button.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/NumericUpDown.h"
#include "Controls/TextBox.h"
#include "Renderer/Font.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/TavoFramework/Controls/WidgetClasses.h"
#include "tests/TavoFramework/ControlBase/RecordingRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace Tavo;

namespace {

std::u16string Str(const WString& s)
{
    return std::u16string(s.c_str());
}

// Writes down each notification with the text the text box then shows; a
// test may act as a validation listener.
class Recorder : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        log.push_back(std::u16string(n->GetID()) + u":" + Str(box->GetText()));
        auto* params =
            dynamic_cast<LTextValidationParams*>(const_cast<LRefCountedObject*>(n->GetData().Get()));
        if (params && onValidating && log.back().starts_with(u"NID_TEXTBOX_VALIDATING"))
            onValidating(*params);
        return S_OK;
    }
    void Listen(LControl* control, std::initializer_list<const char16_t*> ids)
    {
        for (const char16_t* id : ids)
            Subscribe(RCPtr<LNotificationDistributor>(control), id);
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
        LControlEnvironment& environment = ControlEnvironment();
        environment.factory = mFactory;
        environment.defaultFont = [] { return LFont::FindOrCreate(u"Arial", 12, 0); };
        environment.getClipboardText = [this](WString& text) {
            text = WString(mClipboard.value_or(u"").c_str());
            return mClipboard.has_value();
        };
        environment.setClipboardText = [this](const WString& text) { return mClipboard = Str(text), S_OK; };
        RegisterWidgetClasses(*mFactory);
        mFactory->LoadStringTables(
            u"", TAVO_SOURCE_DIR u"/tests/TavoFramework/Controls/TextWidgetsStrings.xml", 9);
        ASSERT_EQ(mFactory->LoadSkins(TAVO_SOURCE_DIR u"/tests/TavoFramework/Controls/TextWidgetsSkin.xml"),
                  S_OK);
        mWindow->SetClientRect({0, 0, 400, 300});
        mMain = mFactory->CreateControlFromDescriptor(u"mainControl", mWindow.Get());
        ASSERT_TRUE(mMain);
        mMain->UITarget_UpdateGeometry(400, 300);
        mBox = RCPtrDynamicCast<LTextBox>(mMain->FindChildByName(u"text"));
        mUpDown = RCPtrDynamicCast<LNumericUpDown>(mMain->FindChildByName(u"number"));
        ASSERT_TRUE(mBox && mUpDown && mUpDown->GetTextBox());
        mRecorder->box = mBox;
        mRecorder->Listen(mBox.Get(),
                          {u"NID_TEXTBOX_TEXT_CHANGE", u"NID_TEXTBOX_VALIDATING", u"NID_TEXTBOX_VALIDATED"});
    }
    void TearDown() override
    {
        mRecorder->UnsubscribeAll();
        mRecorder->box = mBox = nullptr;
        mUpDown = nullptr;
        if (mMain)
            mMain->ReleaseInternalReferences();
        ControlEnvironment() = LControlEnvironment();
    }
    TavoResult Key(uint32_t code, LTextBox* box = nullptr)
    {
        return (box ? box : mBox.Get())->OnKey(LKeyParam::Create(KeyCode(code)));
    }
    void Type(const std::u16string& text)
    {
        for (char16_t c : text)
            Key(c);
    }
    // Text, caret, then selection start, length and anchor (the caret for -1).
    void Set(const char16_t* text, int32_t caret, int32_t start = 0, int32_t length = 0, int32_t anchor = -1)
    {
        mBox->SetTextAndCaret(text, true);
        mBox->SetCaretPosition(caret);
        mBox->SetSelection(start, length, anchor < 0 ? caret : anchor);
    }
    // "text|caret start length anchor"
    std::u16string Shown() const
    {
        std::string state = "|" + std::to_string(mBox->GetCaretPosition()) + " " +
                            std::to_string(mBox->GetSelectionStart()) + " " +
                            std::to_string(mBox->GetSelectionLength()) + " " +
                            std::to_string(mBox->GetSelectionAnchor());
        return Str(mBox->GetText()) + std::u16string(state.begin(), state.end());
    }
    // The left edge of a character (the text starts 2 pixels in).
    static int32_t XOf(int32_t index) { return 2 + 7 * index; }

    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    std::optional<std::u16string> mClipboard;
    RCPtr<LControlFactory> mFactory = LControlFactory::Create(u"App");
    RCPtr<FakeRootWindow> mWindow = FakeRootWindow::Create();
    RCPtr<LControl> mMain;
    RCPtr<LTextBox> mBox;
    RCPtr<LNumericUpDown> mUpDown;
    RCPtr<Recorder> mRecorder{new Recorder()};
};

}  // namespace

TEST_F(TextBoxTest, KeyTableMovesCaretSelectionAndAnchor)
{
    // Text, caret, selection start, length and anchor; the key; what is shown after and the answer.
    const auto press = [](uint32_t virtualKey, uint32_t modifiers = 0) {
        return KeyCode::PressCode(virtualKey, modifiers);
    };
    const uint32_t ctrl = KeyCode::kCtrl, shift = KeyCode::kShift;
    const std::tuple<const char16_t*, int32_t, int32_t, int32_t, int32_t, uint32_t, const char16_t*,
                     TavoResult>
        cases[] = {
            {u"abc def", 3, 0, 0, -1, press('A', ctrl), u"abc def|3 0 7 0", S_FALSE},  // Ctrl+A goes on
            {u"abc def", 3, 1, 3, 1, press(VKey::kLeft), u"abc def|2 0 0 2", S_OK},
            {u"abc", 0, 0, 0, -1, press(VKey::kLeft), u"abc|0 0 0 0", S_OK},
            {u"abc", 1, 0, 0, -1, press(VKey::kUp), u"abc|1 0 0 1", S_FALSE},  // Up and Down go on
            {u"abc", 1, 0, 0, -1, press(VKey::kDown, ctrl | shift), u"abc|1 0 0 1", S_FALSE},
            {u"abcd", 3, 1, 2, 1, press(VKey::kLeft, shift), u"abcd|2 1 1 1", S_OK},   // Shift+Left shrinks
            {u"abcd", 1, 1, 2, 3, press(VKey::kLeft, shift), u"abcd|0 0 3 3", S_OK},   // or grows
            {u"abcd", 2, 0, 0, -1, press(VKey::kLeft, shift), u"abcd|1 1 1 2", S_OK},  // or starts
            {u"abcd", 1, 0, 0, -1, press(VKey::kRight, shift), u"abcd|2 1 1 1", S_OK},
            {u"abcd", 1, 1, 2, 3, press(VKey::kRight, shift), u"abcd|2 2 1 3", S_OK},
            {u"abc def", 7, 0, 0, -1, press(VKey::kLeft, ctrl), u"abc def|4 0 0 4", S_OK},
            {u"abc def", 4, 0, 0, -1, press(VKey::kLeft, ctrl), u"abc def|0 0 0 0", S_OK},
            // Blanks that start the text lead to its start.
            {u"  abc", 2, 0, 0, -1, press(VKey::kLeft, ctrl), u"  abc|0 0 0 0", S_OK},
            {u"  abc", 1, 0, 0, -1, press(VKey::kLeft, ctrl), u"  abc|0 0 0 0", S_OK},
            {u" ab  cd", 5, 0, 0, -1, press(VKey::kLeft, ctrl), u" ab  cd|1 0 0 1", S_OK},
            {u"  abc", 2, 0, 0, -1, press(VKey::kLeft, ctrl | shift), u"  abc|0 0 2 2", S_OK},
            {u"abc def", 0, 0, 0, -1, press(VKey::kRight, ctrl), u"abc def|4 0 0 4", S_OK},
            {u"abc def", 4, 0, 0, -1, press(VKey::kRight, ctrl), u"abc def|7 0 0 7", S_OK},
            {u"abc def", 7, 0, 0, -1, press(VKey::kLeft, ctrl | shift), u"abc def|4 4 3 7", S_OK},
            {u"abc def", 5, 0, 2, 0, press(VKey::kHome), u"abc def|0 0 0 0", S_OK},
            {u"abc def", 1, 0, 0, -1, press(VKey::kEnd), u"abc def|7 0 0 7", S_OK},
            {u"abcdef", 3, 0, 0, -1, press(VKey::kHome, shift), u"abcdef|0 0 3 3", S_OK},
            {u"abcdef", 3, 0, 0, -1, press(VKey::kEnd, shift), u"abcdef|6 3 3 3", S_OK},
            {u"abcdef", 3, 0, 0, -1, press(VKey::kBack), u"abdef|2 0 0 2", S_OK},
            {u"abcdef", 0, 0, 0, -1, press(VKey::kBack), u"abcdef|0 0 0 0", S_OK},
            {u"abcdef", 3, 1, 2, 1, press(VKey::kBack), u"adef|1 0 0 1", S_OK},
            {u"abcdef", 3, 0, 0, -1, press(VKey::kDelete), u"abcef|3 0 0 3", S_OK},
            {u"abcdef", 3, 0, 0, -1, press(VKey::kDelete, shift), u"abdef|2 0 0 2", S_OK},
            {u"abcdef", 2, 0, 0, -1, press(VKey::kDelete, ctrl), u"ab|2 0 0 2", S_OK},
            {u"abcdef", 2, 3, 2, 3, press(VKey::kDelete, ctrl), u"abcf|3 0 0 3", S_OK},
            // A surrogate pair is one step and one deletion.
            {u"a\U0001F600b", 1, 0, 0, -1, press(VKey::kRight), u"a\U0001F600b|3 0 0 3", S_OK},
            {u"a\U0001F600b", 3, 0, 0, -1, press(VKey::kBack), u"ab|1 0 0 1", S_OK},
            {u"a\U0001F600b", 3, 0, 0, -1, press(VKey::kLeft, shift), u"a\U0001F600b|1 1 2 3", S_OK},
            // Left to others: letters with Ctrl, function keys, Tab; a plain
            // letter key waits for its character, a release is dropped.
            {u"ab", 1, 0, 0, -1, press('C', ctrl), u"ab|1 0 0 1", S_FALSE},
            {u"ab", 1, 0, 0, -1, press(VKey::F(1)), u"ab|1 0 0 1", S_FALSE},
            {u"ab", 1, 0, 0, -1, u'\t', u"ab|1 0 0 1", S_FALSE},
            {u"ab", 1, 0, 0, -1, press('C'), u"ab|1 0 0 1", S_OK},
            {u"ab", 1, 0, 0, -1, press('C') & ~KeyCode::kKeyDown, u"ab|1 0 0 1", S_OK},
        };
    for (auto [text, caret, start, length, anchor, key, shown, result] : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << key << std::dec << " at " << caret);
        Set(text, caret, start, length, anchor);
        EXPECT_EQ(Key(key), result);
        EXPECT_EQ(Shown(), std::u16string(shown));
    }
}

TEST_F(TextBoxTest, TypingInsertsFiltersAndKeepsPairsWholeAndPressesPlaceTheCaret)
{
    Type(u"h\u00e9llo");
    mBox->SetSelection(1, 3, 1);
    Type(u"\u4e2d");                                       // over the selection
    Type(u"\U0001F600");                                   // two codes, one character
    Type(std::u16string(u"\x01\x7f") + char16_t(0xDE00));  // no text
    EXPECT_EQ(Shown(), u"h\u4e2d\U0001F600o|4 0 0 4");
    EXPECT_FLOAT_EQ(mBox->GetCaretRect().x, 2 + 7 * 4 - 1.0f);

    mBox->SetText(u"");
    mBox->SetAllowedCharacters(u"0123456789-");
    Type(u"4a-2.");
    EXPECT_EQ(Shown(), u"4-2|3 0 0 3");
    mRecorder->log.clear();
    mBox->SetText(u"4-2");
    EXPECT_TRUE(mRecorder->log.empty()) << "an equal text sends nothing";
    // Presses place the caret; double or Ctrl clicks select a word.
    const std::tuple<int32_t, uint32_t, bool, const char16_t*> cases[] = {
        {XOf(5) + 5, 0, true, u"abc def|7 4 3 4"},   // inside the second word
        {XOf(1) + 5, 0, true, u"abc def|3 0 3 0"},   // the first word without the space
        {XOf(5) + 5, 1, false, u"abc def|7 4 3 4"},  // Ctrl+click
        {XOf(5) + 5, 0, false, u"abc def|6 0 0 6"},  // a plain click places the caret
        {XOf(5) + 2, 0, false, u"abc def|5 0 0 5"},  // the left half of a character
        // Left of the second word's first letter: the caret at 4, the word
        // search starts left of it and takes the first word.
        {XOf(4) + 2, 0, true, u"abc def|3 0 3 0"},
    };
    for (auto [x, modifiers, doubleClick, shown] : cases) {
        SCOPED_TRACE(x);
        Set(u"abc def", 0);
        mBox->OnLeftDown(LMouseButtonParam::Create(1, x, 5, modifiers));
        mBox->OnLeftClick(LMouseButtonParam::Create(1, x, 5, modifiers, doubleClick));
        EXPECT_EQ(Shown(), std::u16string(shown));
    }
    mBox->OnLeftDown(LMouseButtonParam::Create(1, XOf(6) + 5, 5, 8));  // Shift extends from the anchor
    EXPECT_EQ(Shown(), u"abc def|7 0 7 0");
}

TEST_F(TextBoxTest, EnterValidationRefusesRewritesAndOrdersNotifications)
{
    using Log = std::vector<std::u16string>;
    const std::u16string validating = u"NID_TEXTBOX_VALIDATING:abcdef";
    struct Case
    {
        std::function<void(LTextValidationParams&)> listener;
        TavoResult result;
        Log log;
    };
    const Case cases[] = {
        {[](LTextValidationParams& p) { p.mValid = false; }, S_OK, Log{validating}},
        {[](LTextValidationParams& p) { p.mText = u"xy"; }, S_FALSE,
         Log{validating, u"NID_TEXTBOX_TEXT_CHANGE:xy", u"NID_TEXTBOX_VALIDATED:xy"}},
        {[](LTextValidationParams& p) { p.mText = WString(p.mText.c_str()); }, S_FALSE,
         Log{validating, u"NID_TEXTBOX_VALIDATED:abcdef"}},
    };
    for (const Case& c : cases) {
        Set(u"abcdef", 5, 1, 4, 1);
        mRecorder->log.clear();
        mRecorder->onValidating = c.listener;
        EXPECT_EQ(Key(KeyCode::PressCode(VKey::kReturn)), c.result);
        EXPECT_EQ(mRecorder->log, c.log);
    }
    // The rewrite shortened the text under the caret: caret and anchor stay
    // inside it, and keys go on working.
    EXPECT_EQ(Shown(), u"abcdef|5 1 4 1");
    mRecorder->onValidating = [](LTextValidationParams& p) { p.mText = u"xy"; };
    Key(KeyCode::PressCode(VKey::kReturn));
    EXPECT_EQ(Shown(), u"xy|2 0 0 2");
    EXPECT_EQ(Key(KeyCode::PressCode(VKey::kLeft, KeyCode::kShift)), S_OK);
    EXPECT_EQ(Shown(), u"xy|1 1 1 2");
}

TEST_F(TextBoxTest, ClipboardEditsAndTheirMenuStates)
{
    const RCPtr<LMenuDescriptor> menu = *mBox->GetContextMenu();
    ASSERT_TRUE(menu && menu->GetItemCount() == 4);
    EXPECT_EQ(Str(menu->GetItem(2)->label) + u"=" + Str(menu->GetItem(2)->key), u"Paste=NID_EDIT_PASTE_REQ");
    uint32_t untouched = 7;
    EXPECT_EQ(mBox->UpdateMenuItemState(menu, 0, u"NID_OTHER", untouched), S_FALSE);
    EXPECT_EQ(untouched, 7u);
    struct Case
    {
        int32_t caret, start, length;
        std::optional<std::u16string> clipboard;
        const char16_t* enabled;  // cut, copy, paste, delete
        int32_t kind;
        TavoResult result;
        const char16_t* shown;
        std::optional<std::u16string> clipboardAfter;
    };
    const Case cases[] = {
        {2, 0, 0, {}, u"0000", 1, E_FAIL, u"abcdefg|2 0 0 2", {}},  // nothing to cut or paste
        {2, 0, 0, {}, u"0000", 3, E_FAIL, u"abcdefg|2 0 0 2", {}},
        {2, 0, 0, u"x", u"0010", 7, E_FAIL, u"abcdefg|2 0 0 2", u"x"},
        {2, 3, 3, {}, u"1101", 1, S_OK, u"abcg|3 0 0 3", u"def"},  // cut of 3 to 5
        {2, 1, 2, u"x", u"1111", 2, S_OK, u"abcdefg|2 1 2 1", u"bc"},
        {2, 1, 2, u"x", u"1111", 0, S_OK, u"adefg|1 0 0 1", u"x"},
        {0, 2, 3, u"XY", u"1111", 3, S_OK, u"abXYfg|4 0 0 4", u"XY"},  // paste over 2 to 4
        {1, 0, 0, u"\U0001F600!", u"0010", 3, S_OK, u"a\U0001F600!bcdefg|4 0 0 4", u"\U0001F600!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Set(u"abcdefg", c.caret, c.start, c.length, c.length ? c.start : -1);
        mClipboard = c.clipboard;
        std::u16string enabled;
        for (const char16_t* id :
             {u"NID_EDIT_CUT_REQ", u"NID_EDIT_COPY_REQ", u"NID_EDIT_PASTE_REQ", u"NID_EDIT_DELETE_REQ"}) {
            uint32_t state = 0;
            EXPECT_EQ(mBox->UpdateMenuItemState(menu, 0, id, state), S_OK);
            enabled += (state & 1) ? u'1' : u'0';
        }
        EXPECT_EQ(enabled, std::u16string(c.enabled));
        EXPECT_EQ(mBox->PerformEdit(c.kind), c.result);
        EXPECT_EQ(Shown(), std::u16string(c.shown));
        EXPECT_EQ(mClipboard, c.clipboardAfter);
    }
}

TEST_F(TextBoxTest, LooksLabelFocusAndCaretBlink)
{
    // Empty and unfocused: the label over look 2, not as the text.
    EXPECT_TRUE(mBox->GetText().IsEmpty());
    EXPECT_EQ(mBox->GetActiveLookIndex(), 2);
    EXPECT_EQ(mBox->GetLookWeight(9), 1.0f);
    EXPECT_EQ(Str(mBox->GetLook(9)->GetText()), u"Search");

    mBox->SetFocus(true);
    ASSERT_TRUE(mBox->HasFocus());
    EXPECT_EQ(mBox->GetActiveLookIndex(), 3);
    EXPECT_EQ(mBox->GetLookWeight(9), 0.0f);
    Type(u"hello");
    mBox->SetSelection(1, 2, 1);
    EXPECT_EQ(mBox->GetLookWeight(10), 1.0f) << "the selection's overlay";

    // Blink: on for 0.5 s, off for 0.3 s, on the application clock.
    mBox->SetCaretPosition(2);
    std::vector<bool> phases;
    for (uint32_t ms : {499, 1, 299, 1, 499, 1}) {
        mClock.Advance(ms);
        mBox->OnIdle();
        phases.push_back(mBox->IsCaretShown());
    }
    EXPECT_EQ(phases, (std::vector<bool>{true, false, false, true, true, false}));

    Type(std::u16string(60, u'x'));  // past the right edge: the view follows the caret
    EXPECT_EQ(mBox->GetScrollOffset().x, 2 + 7 * 61 - 1 - 297);
    // Leaving validates, hides the caret, stops the idle ticks, scrolls home.
    mMain->FindChildByName(u"other")->SetFocus(true);
    EXPECT_FALSE(mBox->HasFocus() || mBox->IsCaretShown());
    EXPECT_EQ(mBox->GetScrollOffset().x, 0.0);
    EXPECT_EQ(mBox->GetActiveLookIndex(), 0);
    EXPECT_EQ(mBox->GetIdleRequests(), 0);
    EXPECT_EQ(mRecorder->log.back(), u"NID_TEXTBOX_VALIDATED:h" + std::u16string(60, u'x') + u"lo");
    mBox->SetEnabled(false);
    EXPECT_EQ(mBox->GetActiveLookIndex(), 6);
}

TEST_F(TextBoxTest, NumericUpDownCorrectsTypedTextsAndStepsOnUpAndDown)
{
    LTextBox* box = mUpDown->GetTextBox().Get();
    RCPtr<Recorder> forwarded(new Recorder());
    forwarded->box = mUpDown->GetTextBox();
    forwarded->Listen(mUpDown.Get(), {u"NID_TEXTBOX_VALIDATING", u"NID_TEXTBOX_VALIDATED"});
    // Range, value, the text typed; the value and text after.
    const std::tuple<double, double, const char16_t*, const char16_t*, double, const char16_t*> cases[] = {
        {0, 10, u"5", u"12", 10, u"10"},   {0, 10, u"5", u"-3", 0, u"0"},
        {-5, 5, u"2", u"3-", 2, u"2"},     {-5, 5, u"2", u"-", 2, u"2"},
        {-5, 5, u"2", u"-4", -4, u"-4"},   {0, 10, u"5", u"1.2.3", 5, u"5"},
        {0, 10, u"5", u"2.6", 2.6, u"3"},  {0, 10, u"7", u"007", 7, u"007"},
        {0, 10, u"0", u"00", 0, u"0"},     {0, 10, u"10", u"010", 10, u"10"},
        {0, 10, u"5", u"", 5, u"5"},       {0, 10, u"5", u".", 5, u"5"},
        {0, 10, u"5", u"nan", 5, u"5"},    {0, 10, u"5", u"1e999", 10, u"10"},
        {0, 10, u"5", u"inf", 10, u"10"},  {-5, 5, u"2", u"-1e999", -5, u"-5"},
        {-5, 5, u"2", u"-inf", -5, u"-5"}, {0, 10, u"5", u"1e300", 10, u"10"},
        {1, 100, u"10", u"50", 50, u"50"},
    };
    for (auto [minimum, maximum, value, typed, after, shown] : cases) {
        SCOPED_TRACE(testing::Message() << minimum << " " << std::string(NString(WString(typed)).c_str()));
        mUpDown->SetValueRange(minimum, maximum, minimum > 0 ? 1 : 0);
        mUpDown->SetText(value);
        box->SetTextAndCaret(typed, true);
        forwarded->log.clear();
        EXPECT_EQ(Key(KeyCode::PressCode(VKey::kReturn), box), S_FALSE);
        EXPECT_NEAR(mUpDown->NormalizedToValue(mUpDown->GetValue()), after, 1e-9);
        // A changed value adds the nested pass of the freshly printed text.
        ASSERT_GE(forwarded->log.size(), 2u);
        EXPECT_EQ(forwarded->log.front(), u"NID_TEXTBOX_VALIDATING:" + std::u16string(typed));
        EXPECT_EQ(forwarded->log.back(), u"NID_TEXTBOX_VALIDATED:" + std::u16string(shown));
    }
    forwarded->UnsubscribeAll();

    mUpDown->SetValueRange(0, 10, 0);
    box->SetText(u"");
    for (char16_t ch : u"-7")
        Key(ch, box);
    EXPECT_EQ(Str(box->GetText()), u"7") << "no minus sign without negative values";
    EXPECT_EQ(mUpDown->SetValueRange(0, 10, 1), E_INVALIDARG);
    EXPECT_EQ(mUpDown->SetValueRange(1, 10, 2), E_INVALIDARG);
    EXPECT_EQ(mUpDown->GetScaleMode(), 0);
    // A bound that is no number leaves the range and the text as they were.
    const std::pair<double, double> notNumbers[] = {{std::nan(""), 10}, {0, std::nan("")}, {0, HUGE_VAL}};
    for (auto [minimum, maximum] : notNumbers) {
        EXPECT_EQ(mUpDown->SetValueRange(minimum, maximum, 0), E_INVALIDARG);
        EXPECT_EQ(mUpDown->GetRangeMin(), 0.0);
        EXPECT_EQ(mUpDown->GetRangeMax(), 10.0);
        EXPECT_EQ(Str(box->GetText()), u"7");
    }
    // Up and Down step through the buttons.
    auto up = RCPtrDynamicCast<LButton>(mUpDown->FindChildByName(u"buttonUp"));
    auto down = RCPtrDynamicCast<LButton>(mUpDown->FindChildByName(u"buttonDown"));
    EXPECT_TRUE(up->IsNotFocusable() && down->IsNotFocusable() && !mUpDown->IsNotFocusable());
    mUpDown->SetValueRange(0, 3, 0);
    mUpDown->SetText(u"2");
    std::u16string shown;
    const uint32_t upKey = KeyCode::PressCode(VKey::kUp), downKey = KeyCode::PressCode(VKey::kDown);
    for (uint32_t key : {upKey, upKey, downKey, KeyCode::PressCode(VKey::kDown, KeyCode::kShift)}) {
        mUpDown->GetTextBox()->UITarget_Key(LKeyParam::Create(KeyCode(key)));
        for (const RCPtr<LButton>& b : {up, down}) {
            mClock.Advance(150);
            b->OnIdle();
        }
        shown += Str(mUpDown->GetTextBox()->GetText());
    }
    EXPECT_EQ(shown, u"3322") << "the maximum holds, only the plain keys step";
}

TEST_F(TextBoxTest, SelectionHighlightIsLimitedToTheSelectedCharactersInView)
{
    mBox->SetFocus(true);
    const std::u16string sixty(60, u'x');
    struct Case
    {
        const char16_t* text;
        int32_t caret, start, length;
        int32_t left, right;  // highlighted columns; equal for none
    } cases[] = {
        {u"hello world", 11, 6, 5, XOf(6), XOf(11)},
        // The caret at the end scrolls the view 124 pixels to the left.
        {sixty.c_str(), 60, 17, 4, 2, XOf(21) - 124},  // cut at the text area's left edge
        {sixty.c_str(), 60, 0, 3, 0, 0},               // scrolled out of view: no highlight
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << &c - cases);
        Set(c.text, c.caret, c.start, c.length, c.start);
        ASSERT_EQ(mBox->GetSelectionLength(), c.length);
        if (c.left == c.right) {
            EXPECT_EQ(mBox->GetLookWeight(10), 0.0f);
            EXPECT_EQ(mBox->GetLookWeight(11), 0.0f);
            continue;
        }
        EXPECT_EQ(mBox->GetLookWeight(10), 1.0f);
        RectT<int32_t> bounds;
        ASSERT_TRUE(mBox->GetLook(10)->GetRegion().GetBounds(bounds));
        EXPECT_EQ(bounds.x, c.left);
        EXPECT_EQ(bounds.x + bounds.width, c.right);
        EXPECT_EQ(bounds.height, 20);
    }
}
