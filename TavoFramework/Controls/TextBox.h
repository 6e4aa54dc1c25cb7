#pragma once

#include "Controls/ScrollView.h"

#include <string>
#include <unordered_map>

namespace Tavo {

// The data of "NID_TEXTBOX_VALIDATING" and "NID_TEXTBOX_VALIDATED": a
// listener may refuse the text (valid false) or replace it.
class LTextValidationParams : public virtual LRefCountedObject
{
public:
    static RCPtr<LTextValidationParams> Create(const WString& text)
    {
        return RCPtr<LTextValidationParams>(new LTextValidationParams(text));
    }

    WString mText;
    WString mInitialText;
    bool mValid = true;

private:
    explicit LTextValidationParams(const WString& text) : mText(text), mInitialText(text) {}
};

// One line of editable text with a caret, a selection, a label shown while it
// is empty and unfocused, and a blinking caret over the skin's looks. Looks:
// 0/1 normal and hovered, 2 empty with a label (9 over it), 3/4 focused, 6
// disabled; overlays 9 label, 10/11 selection. Positions count UTF-16 units
// and never fall between the two halves of a surrogate pair.
class LTextBox : public LScrollView
{
public:
    // The text moves with the scroll offset, as the caret does.
    LTextBox(const RCPtr<LControl>& parent, const WString& name) : LScrollView(parent, name)
    {
        mLabelScrolls = true;
    }

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LTextBox>(result, parent, descriptor);
    }

    // Replaces the text with the caret at 0: 0 changed, 1 equal.
    TavoResult SetText(const WString& text) override;
    // Keeps the caret where it stands (within the new text) unless told.
    virtual TavoResult SetTextAndCaret(const WString& text, bool resetCaret);

    TavoResult SetScrollOffset(const PointT<double>& offset) override;
    bool IsEditTarget() const override { return true; }
    bool AcceptsEditCommands() const override { return true; }
    // Kinds 0 delete, 1 cut, 2 copy, 3 paste.
    bool CanPerformEdit(int32_t kind) override;
    TavoResult PerformEdit(int32_t kind) override;
    TavoResult SetFocus(bool first) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult ProcessRootWindowAquired() override;
    TavoResult UpdateMenuItemState(const RCPtr<LMenuDescriptor>& menu, int32_t item, const WString& command,
                                   uint32_t& state) override;
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor) override;
    void OnLeftDown(const RCPtr<LMouseButtonParam>& param) override;
    void OnMouseMove(const RCPtr<LPointWithModifiersParam>& param) override;
    TavoResult OnLeftClick(const RCPtr<LMouseButtonParam>& param) override;
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override;
    void OnIdle() override;
    TavoResult DrawOverlay(LRenderer* renderer) override;
    TavoResult Initialize() override;
    WString GetToolTipText() const override;
    // Asked by the window before it moves on: runs the validation pass.
    bool UITarget_IsTarget() override;
    // Validates before the focus moves on.
    bool UITarget_OnFocusLost() override;

    // The validation pass: listeners of "NID_TEXTBOX_VALIDATING" may refuse
    // or rewrite the text; "NID_TEXTBOX_VALIDATED" follows when accepted.
    RCPtr<LTextValidationParams> Validate();

    // A typed character is taken only when it occurs here (empty: any).
    void SetAllowedCharacters(const WString& characters) { mAllowed = characters; }
    const WString& GetAllowedCharacters() const { return mAllowed; }
    const WString& GetLabel() const { return mLabel; }
    int32_t GetTextLength() const { return int32_t(GetText().GetLength()); }
    int32_t GetCaretPosition() const { return mCaret; }
    int32_t GetSelectionStart() const { return mSelStart; }
    int32_t GetSelectionLength() const { return mSelLength; }
    int32_t GetSelectionAnchor() const { return mAnchor; }
    bool IsCaretShown() const { return mCaretShown; }
    // x, y, width (1), height in text coordinates.
    const RectT<float>& GetCaretRect() const { return mCaretRect; }

    // E_INVALIDARG outside the text; 1 when the caret stood there already.
    TavoResult SetCaretPosition(int32_t position, bool force = false);
    void ClearSelection();
    // -1 clears; (0, -1) selects all; else the characters first..last.
    void SelectRange(int32_t first, int32_t last);
    void SetSelection(int32_t start, int32_t length, int32_t anchor);
    // The characters between the anchor and the position; the caret goes there.
    void ExtendSelectionTo(int32_t position);
    TavoResult DeleteRange(int32_t start, int32_t count);
    // One character, or a surrogate pair, at the caret over the selection.
    TavoResult InsertText(const WString& characters);
    void DeleteSelection();
    TavoResult ReplaceSelection(const WString& text);
    int32_t PreviousWordStart() const;
    int32_t NextWordStart() const;
    // The text position under a point of the control's coordinates.
    int32_t HitTestText(PointT<double> point);
    void UpdateLooks();
    // While focused, scrolls the text so that the caret is inside its area.
    void ScrollCaretIntoView();

    // left, top, right, bottom of the text area (look 0's text properties).
    RectT<float> GetTextRect() const;
    // Width of the first count units in the control's font.
    float MeasurePrefix(int32_t count);
    // Where the look places the text's one line inside the text area.
    PointT<float> GetLineOrigin();

private:
    using TextBoxHandler = LNotificationHandler<LTextBox>;

    TavoResult ApplyText(const WString& text, bool resetCaret);
    void SetSelectionSpan(int32_t start, int32_t length);
    bool IsFocusedForLooks() const { return mHasFocus; }
    bool HoveredOrDragged() const { return mHover || mLeftDrag; }
    // Steps over a whole surrogate pair.
    int32_t StepLeft(int32_t position) const;
    int32_t StepRight(int32_t position) const;
    // Moves a position inside a pair to the pair's start.
    int32_t Snap(int32_t position) const;
    bool IsWhiteAt(int32_t index) const;
    // left, width of the box of character index.
    bool CharacterBox(int32_t index, float& left, float& width);
    void RestrictLook(int32_t index, const RectT<double>& rect);
    double Now() const;

    WString mAllowed;
    WString mLabel;
    int32_t mCaret = 0;
    int32_t mSelStart = 0;
    int32_t mSelLength = 0;
    int32_t mAnchor = 0;
    RectT<float> mCaretRect{0, 0, 1.0f, 0};
    bool mScrollGuard = false;
    bool mCaretShown = true;
    double mNextBlink = 0;
    // The first half of a pair typed as its own key.
    char16_t mPendingHigh = 0;
    // The last prefix measured (sharing the text's buffer), so that typing
    // at the end measures the text once.
    WString mMeasuredText;
    int32_t mMeasuredCount = -1;
    float mMeasuredWidth = 0;
    std::unordered_map<std::u16string, float> mRunWidths;
    const LFont* mRunFont = nullptr;
};

}  // namespace Tavo
