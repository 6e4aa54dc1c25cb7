// The one-line text box: text and caret, selection and words, editing,
// keys, pointer, blinking, validation and its context menu. Long because
// every key and pointer rule moves the same caret and selection state.
#include "Controls/TextBox.h"

#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "ControlBase/MenuDescriptor.h"
#include "Notification/NotificationParams.h"
#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

namespace Tavo {

namespace {

constexpr double kBlinkOn = 0.5;
constexpr double kBlinkOff = 0.3;
constexpr float kCoordinateLimit = 8388608.0f;
constexpr double kExtentLimit = 4503599627370496.0;
constexpr uint32_t kModifierCtrl = 0x1;
constexpr uint32_t kModifierShift = 0x8;
// Texts longer than this are measured in runs; the cache of run widths is
// dropped when it grows past its bound.
constexpr int32_t kRunLength = 256;
constexpr size_t kMaxRuns = 8192;

// Key codes the text box reads, with their exact modifier bits.
enum : uint32_t {
    kKeyCtrlA = KeyCode::PressCode('A', KeyCode::kCtrl),
    kKeyLeft = KeyCode::PressCode(VKey::kLeft),
    kKeyRight = KeyCode::PressCode(VKey::kRight),
    kKeyUp = KeyCode::PressCode(VKey::kUp),
    kKeyDown = KeyCode::PressCode(VKey::kDown),
    kKeyShiftLeft = KeyCode::PressCode(VKey::kLeft, KeyCode::kShift),
    kKeyShiftRight = KeyCode::PressCode(VKey::kRight, KeyCode::kShift),
    kKeyShiftUp = KeyCode::PressCode(VKey::kUp, KeyCode::kShift),
    kKeyShiftDown = KeyCode::PressCode(VKey::kDown, KeyCode::kShift),
    kKeyCtrlLeft = KeyCode::PressCode(VKey::kLeft, KeyCode::kCtrl),
    kKeyCtrlRight = KeyCode::PressCode(VKey::kRight, KeyCode::kCtrl),
    kKeyCtrlUp = KeyCode::PressCode(VKey::kUp, KeyCode::kCtrl),
    kKeyCtrlDown = KeyCode::PressCode(VKey::kDown, KeyCode::kCtrl),
    kKeyCtrlShiftLeft = KeyCode::PressCode(VKey::kLeft, KeyCode::kCtrl | KeyCode::kShift),
    kKeyCtrlShiftRight = KeyCode::PressCode(VKey::kRight, KeyCode::kCtrl | KeyCode::kShift),
    kKeyCtrlShiftUp = KeyCode::PressCode(VKey::kUp, KeyCode::kCtrl | KeyCode::kShift),
    kKeyCtrlShiftDown = KeyCode::PressCode(VKey::kDown, KeyCode::kCtrl | KeyCode::kShift),
    kKeyHome = KeyCode::PressCode(VKey::kHome),
    kKeyEnd = KeyCode::PressCode(VKey::kEnd),
    kKeyShiftHome = KeyCode::PressCode(VKey::kHome, KeyCode::kShift),
    kKeyShiftEnd = KeyCode::PressCode(VKey::kEnd, KeyCode::kShift),
    kKeyBackspace = KeyCode::PressCode(VKey::kBack),
    kKeyDelete = KeyCode::PressCode(VKey::kDelete),
    kKeyShiftDelete = KeyCode::PressCode(VKey::kDelete, KeyCode::kShift),
    kKeyCtrlDelete = KeyCode::PressCode(VKey::kDelete, KeyCode::kCtrl),
    kKeyEnter = KeyCode::PressCode(VKey::kReturn),
};

struct EditRow
{
    int32_t kind;
    const char16_t* request;
    const char16_t* stringId;
};
// In menu order.
constexpr EditRow kEditRows[] = {{1, u"NID_EDIT_CUT_REQ", u"EDIT_CUT"},
                                 {2, u"NID_EDIT_COPY_REQ", u"EDIT_COPY"},
                                 {3, u"NID_EDIT_PASTE_REQ", u"EDIT_PASTE"},
                                 {0, u"NID_EDIT_DELETE_REQ", u"EDIT_DELETE"}};

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The C library's classes for ASCII; beyond it every character but the C1
// controls, lone surrogates and the two non-characters of a plane counts, so
// that any script can be typed whatever the process's locale.
bool IsPrintable(uint32_t c)
{
    if (c < 0x80)
        return std::iswprint(wint_t(c)) != 0;
    if (c < 0xA0 || (c >= 0xD800 && c <= 0xDFFF) || (c & 0xFFFE) == 0xFFFE)
        return false;
    return c <= 0x10FFFF;
}

bool IsWhite(char16_t c)
{
    if (c < 0x80)
        return std::iswspace(wint_t(c)) || std::iswblank(wint_t(c));
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

float ClampCoordinate(float v)
{
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

RectT<double> RoundedRect(double left, double top, double right, double bottom)
{
    const double l = std::trunc(left + 0.5), t = std::trunc(top + 0.5);
    return {l, t, std::trunc(right + 0.5) - l, std::trunc(bottom + 0.5) - t};
}

}  // namespace

double LTextBox::Now() const
{
    return GetAppClock().GetSecondsSinceStart();
}

// ---------------------------------------------------------------------------
// Text and caret

TavoResult LTextBox::SetText(const WString& text)
{
    return ApplyText(text, true);
}

TavoResult LTextBox::SetTextAndCaret(const WString& text, bool resetCaret)
{
    return ApplyText(text, resetCaret);
}

TavoResult LTextBox::ApplyText(const WString& text, bool resetCaret)
{
    RCPtr<LControl> self(this);
    if (LControl::SetText(text) != S_OK)
        return S_FALSE;
    mPendingHigh = 0;
    const float width = MeasurePrefix(GetTextLength());
    const RCPtr<LFont> font = GetFont();
    const double height = font ? double(font->ComputeMetrics()) : 0.0;
    SetClientExtent({std::clamp(double(width), -kExtentLimit, kExtentLimit),
                     std::clamp(height, -kExtentLimit, kExtentLimit)});
    ClearSelection();
    // A listener's rewrite may shorten the text under a kept caret.
    const int32_t length = GetTextLength();
    if (resetCaret || mCaret > length || Snap(mCaret) != mCaret)
        SetCaretPosition(resetCaret ? 0 : std::min(mCaret, length), true);
    mAnchor = mCaret;
    if (!mLabel.IsEmpty()) {
        if (const RCPtr<LLook>& label = GetLook(9))
            label->SetText(mLabel);
        UpdateLooks();
    }
    Notify(u"NID_TEXTBOX_TEXT_CHANGE", self);
    return S_OK;
}

float LTextBox::MeasurePrefix(int32_t count)
{
    if (count <= 0)
        return 0.0f;
    const WString& text = GetText();
    if (mMeasuredText.GetBuffer() == text.GetBuffer() && mMeasuredCount == count)
        return mMeasuredWidth;
    const RCPtr<LMeasurementRenderer> renderer = GetMeasurementRenderer();
    const RCPtr<LFont> font = GetFont();
    if (!renderer || !font)
        return 0.0f;
    const auto measure = [&](const char16_t* from, int32_t n) {
        const RectT<float> r = renderer->MeasureString(WString(from, uint32_t(n)), font);
        return r.x + r.width;
    };
    if (font.Get() != mRunFont || mRunWidths.size() > kMaxRuns) {
        mRunWidths.clear();
        mRunFont = font.Get();
    }
    // A long text is measured in runs that end after white space, each
    // measured once by its content: an edit measures only the runs it
    // touched, not the whole text again.
    const char16_t* units = text.c_str();
    float width = 0;
    int32_t start = 0;
    while (count - start > kRunLength) {
        int32_t end = start + kRunLength / 4;
        while (end < start + kRunLength && !IsWhite(units[end - 1]))
            ++end;
        if (IsHighSurrogate(units[end - 1]))
            ++end;
        std::u16string run(units + start, units + end);
        auto found = mRunWidths.find(run);
        if (found == mRunWidths.end())
            found = mRunWidths.emplace(std::move(run), measure(units + start, end - start)).first;
        width += found->second;
        start = end;
    }
    width += measure(units + start, count - start);
    mMeasuredText = text;
    mMeasuredCount = count;
    mMeasuredWidth = width;
    return width;
}

PointT<float> LTextBox::GetLineOrigin()
{
    // The look lays its text out as one line placed by its alignment.
    const RCPtr<LLook>& look = GetLook(0);
    LFontText* block = look ? look->GetTextBlock() : nullptr;
    if (!block)
        return {0, 0};
    const RCPtr<LFont> font = GetFont();
    const float lineHeight = font ? float(font->ComputeMetrics()) : 0.0f;
    const float align = block->horizontalAlignment;
    return {align == 0 ? 0.0f : (float(block->boxWidth) - MeasurePrefix(GetTextLength())) * align,
            (float(block->boxHeight) - lineHeight) * block->verticalAlignment};
}

RectT<float> LTextBox::GetTextRect() const
{
    const RCPtr<LLook>& look = GetLook(0);
    const LLookDescriptor* d = look ? look->GetDescriptor().Get() : nullptr;
    if (!d || !d->hasTextProperties)
        return {0, 0, 0, 0};
    const float w = std::clamp(float(mWidth), -kCoordinateLimit, kCoordinateLimit);
    const float h = std::clamp(float(mHeight), -kCoordinateLimit, kCoordinateLimit);
    return LLook::ComputeTextBox(d->text, w, h);
}

TavoResult LTextBox::SetCaretPosition(int32_t position, bool force)
{
    if (position < 0 || position > GetTextLength())
        return E_INVALIDARG;
    position = Snap(position);
    const bool same = position == mCaret;
    if (same && !force) {
        if (mSelLength == 0)
            mAnchor = mCaret;
        return S_FALSE;
    }
    mCaret = position;
    if (mSelLength == 0)
        mAnchor = position;
    const RectT<float> text = GetTextRect();
    const PointT<float> line = GetLineOrigin();
    const RCPtr<LFont> font = GetFont();
    mCaretRect = {text.x + line.x + MeasurePrefix(position) - 1.0f, text.y + line.y, 1.0f,
                  font ? float(font->ComputeMetrics()) : 0.0f};
    mCaretShown = true;
    mNextBlink = Now() + kBlinkOn;
    InvalidateRect({0, 0, mWidth, mHeight}, true);
    ScrollCaretIntoView();
    return same ? S_FALSE : S_OK;
}

void LTextBox::ScrollCaretIntoView()
{
    const RectT<float> text = GetTextRect();
    const double width = double(text.width - text.x);
    if (!mHasFocus || !(width > 1) || mScrollGuard)
        return;
    // The caret's place in the whole text, and the text area's view of it.
    const double x = double(mCaretRect.x - text.x);
    double offset = mScrollX;
    if (x - offset > width - 1)
        offset = x - width + 1;
    else if (x - offset < 0)
        offset = x;
    offset = std::max(0.0, std::round(offset));
    if (offset != mScrollX)
        SetScrollOffset({offset, mScrollY});
}

int32_t LTextBox::StepLeft(int32_t position) const
{
    if (position <= 0)
        return 0;
    const WString& text = GetText();
    if (position >= 2 && IsLowSurrogate(text[uint32_t(position - 1)]) &&
        IsHighSurrogate(text[uint32_t(position - 2)]))
        return position - 2;
    return position - 1;
}

int32_t LTextBox::StepRight(int32_t position) const
{
    const int32_t length = GetTextLength();
    if (position >= length)
        return length;
    const WString& text = GetText();
    if (position + 1 < length && IsHighSurrogate(text[uint32_t(position)]) &&
        IsLowSurrogate(text[uint32_t(position + 1)]))
        return position + 2;
    return position + 1;
}

int32_t LTextBox::Snap(int32_t position) const
{
    const WString& text = GetText();
    if (position > 0 && position < GetTextLength() && IsLowSurrogate(text[uint32_t(position)]) &&
        IsHighSurrogate(text[uint32_t(position - 1)]))
        return position - 1;
    return position;
}

// ---------------------------------------------------------------------------
// Selection

void LTextBox::SetSelectionSpan(int32_t start, int32_t length)
{
    // Both ends move out of a pair they would split.
    int32_t end = start + length;
    start = Snap(start);
    if (end != Snap(end))
        end = Snap(end) + 2;
    length = end - start;
    if (start == mSelStart && length == mSelLength)
        return;
    mSelStart = start;
    mSelLength = length;
    UpdateLooks();
    InvalidateRect({0, 0, mWidth, mHeight}, true);
}

void LTextBox::ClearSelection()
{
    const bool had = mSelLength != 0;
    mSelStart = mSelLength = mAnchor = 0;
    if (had) {
        UpdateLooks();
        InvalidateRect({0, 0, mWidth, mHeight}, true);
    }
}

void LTextBox::SelectRange(int32_t first, int32_t last)
{
    const int32_t length = GetTextLength();
    if (first == -1) {
        ClearSelection();
        return;
    }
    if (first < 0)
        return;
    if (first == 0 && last == -1) {
        SetSelectionSpan(0, length);
        mAnchor = 0;
        return;
    }
    if (first >= length || last < 0 || last >= length)
        return;
    const int32_t start = std::min(first, last);
    SetSelectionSpan(start, std::abs(last - first) + 1);
    mAnchor = mSelStart;
}

void LTextBox::SetSelection(int32_t start, int32_t length, int32_t anchor)
{
    if (length < 1)
        SetSelectionSpan(std::clamp(start, 0, GetTextLength()), 0);
    else
        SelectRange(start, start + length - 1);
    mAnchor = anchor;
}

void LTextBox::ExtendSelectionTo(int32_t position)
{
    const int32_t a = mAnchor;
    SetSelectionSpan(std::min(a, position), std::abs(position - a));
    mAnchor = a;
    SetCaretPosition(position);
}

bool LTextBox::IsWhiteAt(int32_t index) const
{
    return IsWhite(GetText()[uint32_t(index)]);
}

int32_t LTextBox::NextWordStart() const
{
    const int32_t length = GetTextLength();
    int32_t i = mCaret;
    if (i >= length)
        return mCaret;
    while (i < length && IsWhiteAt(i))
        ++i;
    while (i < length && !IsWhiteAt(i))
        ++i;
    while (i < length && IsWhiteAt(i))
        ++i;
    return i;
}

int32_t LTextBox::PreviousWordStart() const
{
    // Back over white space, then over the word before it; blanks that start
    // the text lead to its start.
    int32_t i = std::min(mCaret, GetTextLength());
    while (i > 0 && IsWhiteAt(i - 1))
        --i;
    while (i > 0 && !IsWhiteAt(i - 1))
        --i;
    return std::max(i, 0);
}

// ---------------------------------------------------------------------------
// Editing

TavoResult LTextBox::DeleteRange(int32_t start, int32_t count)
{
    WString copy(GetText());
    copy.Remove(uint32_t(start), uint32_t(count));
    if (ApplyText(copy, false) != S_OK)
        return S_FALSE;
    SetCaretPosition(std::min(start, GetTextLength()), true);
    return S_OK;
}

TavoResult LTextBox::InsertText(const WString& characters)
{
    WString copy(GetText());
    if (mSelLength > 0) {
        copy.Remove(uint32_t(mSelStart), uint32_t(mSelLength));
        SetCaretPosition(mSelStart);
        ClearSelection();
    }
    const int32_t at = std::min(mCaret, int32_t(copy.GetLength()));
    copy.Insert(uint32_t(at), characters);
    if (ApplyText(copy, false) != S_OK)
        return S_FALSE;
    SetCaretPosition(std::min(at + int32_t(characters.GetLength()), GetTextLength()), true);
    return S_OK;
}

void LTextBox::DeleteSelection()
{
    if (mSelLength <= 0)
        return;
    const int32_t start = mSelStart;
    WString copy(GetText());
    copy.Remove(uint32_t(mSelStart), uint32_t(mSelLength));
    if (ApplyText(copy, false) == S_OK)
        SetCaretPosition(std::min(start, GetTextLength()), true);
}

TavoResult LTextBox::ReplaceSelection(const WString& text)
{
    if (mSelLength <= 0)
        return E_FAIL;
    const int32_t start = mSelStart;
    WString copy(GetText());
    copy.Remove(uint32_t(mSelStart), uint32_t(mSelLength));
    copy.Insert(uint32_t(start), text);
    const TavoResult result = ApplyText(copy, false);
    SetCaretPosition(std::min(start + int32_t(text.GetLength()), GetTextLength()), true);
    ClearSelection();
    mAnchor = mCaret;
    return result;
}

// ---------------------------------------------------------------------------
// Keys

TavoResult LTextBox::OnKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return S_FALSE;
    RCPtr<LControl> self(this);
    const uint32_t code = param->mKey.code;
    const int32_t length = GetTextLength();
    const char16_t pending = mPendingHigh;
    mPendingHigh = 0;
    switch (code) {
    case kKeyCtrlA:
        SetSelectionSpan(0, length);
        mAnchor = 0;
        return S_FALSE;
    case kKeyLeft:
        ClearSelection();
        SetCaretPosition(StepLeft(mCaret));
        return S_OK;
    case kKeyRight:
        ClearSelection();
        SetCaretPosition(StepRight(mCaret));
        return S_OK;
    case kKeyUp:
    case kKeyDown:
    case kKeyShiftUp:
    case kKeyShiftDown:
    case kKeyCtrlUp:
    case kKeyCtrlDown:
    case kKeyCtrlShiftUp:
    case kKeyCtrlShiftDown:
        return S_FALSE;
    case kKeyShiftLeft: {
        if (mCaret == 0)
            return S_OK;
        const int32_t step = mCaret - StepLeft(mCaret);
        if (mSelLength > 0) {
            if (mCaret > mAnchor)
                SetSelection(mSelStart, mSelLength - step, mAnchor);
            else
                SetSelection(mSelStart - step, mSelLength + step, mAnchor);
        } else {
            SetSelection(mCaret - step, step, mCaret);
        }
        SetCaretPosition(mCaret - step);
        return S_OK;
    }
    case kKeyShiftRight: {
        if (mCaret >= length)
            return S_OK;
        const int32_t step = StepRight(mCaret) - mCaret;
        if (mSelLength > 0) {
            if (mCaret < mAnchor)
                SetSelection(mSelStart + step, mSelLength - step, mAnchor);
            else
                SetSelection(mSelStart, mSelLength + step, mAnchor);
        } else {
            SetSelection(mCaret, step, mCaret);
        }
        SetCaretPosition(mCaret + step);
        return S_OK;
    }
    case kKeyCtrlLeft:
        ClearSelection();
        SetCaretPosition(PreviousWordStart());
        return S_OK;
    case kKeyCtrlRight:
        ClearSelection();
        SetCaretPosition(NextWordStart());
        return S_OK;
    case kKeyCtrlShiftLeft:
        ExtendSelectionTo(PreviousWordStart());
        return S_OK;
    case kKeyCtrlShiftRight:
        ExtendSelectionTo(NextWordStart());
        return S_OK;
    case kKeyHome:
        ClearSelection();
        SetCaretPosition(0);
        return S_OK;
    case kKeyEnd:
        ClearSelection();
        SetCaretPosition(length);
        return S_OK;
    case kKeyShiftHome:
        if (mCaret == 0)
            return S_OK;
        SetSelection(0, mAnchor, mAnchor);
        SetCaretPosition(0);
        return S_OK;
    case kKeyShiftEnd:
        if (mCaret >= length)
            return S_OK;
        SetSelection(mAnchor, length - mAnchor, mAnchor);
        SetCaretPosition(length);
        return S_OK;
    case kKeyBackspace:
    case kKeyShiftDelete:
        if (mSelLength > 0)
            DeleteRange(mSelStart, mSelLength);
        else if (mCaret >= 1)
            DeleteRange(StepLeft(mCaret), mCaret - StepLeft(mCaret));
        return S_OK;
    case kKeyDelete:
        if (mSelLength > 0)
            DeleteRange(mSelStart, mSelLength);
        else if (mCaret < length)
            DeleteRange(mCaret, StepRight(mCaret) - mCaret);
        return S_OK;
    case kKeyCtrlDelete:
        if (mSelLength > 0)
            DeleteRange(mSelStart, mSelLength);
        else
            DeleteRange(mCaret, length - mCaret);
        return S_OK;
    case kKeyEnter:
        return Validate()->mValid ? S_FALSE : S_OK;
    default:
        break;
    }

    if ((code & KeyCode::kVirtualKeyMask) == 0 && !(code & KeyCode::kNoKey)) {
        const char16_t c = param->mKey.Character();
        // A character beyond the basic plane comes as two codes: keep the
        // first half until the second arrives.
        if (IsHighSurrogate(c)) {
            mPendingHigh = c;
            return S_OK;
        }
        WString typed;
        uint32_t point = c;
        if (IsLowSurrogate(c)) {
            if (!pending)
                return S_OK;
            point = 0x10000 + ((uint32_t(pending) - 0xD800) << 10) + (uint32_t(c) - 0xDC00);
            typed = WString(pending);
            typed.Append(c);
        } else {
            typed = WString(c);
        }
        if (c != u'\t' && IsPrintable(point)) {
            if (mAllowed.IsEmpty() || mAllowed.Find(typed) >= 0)
                InsertText(typed);
            return S_OK;
        }
        return c == u'\b' ? S_OK : S_FALSE;
    }
    if ((code & KeyCode::kNoKey) || !(code & KeyCode::kKeyDown))
        return S_OK;
    const uint32_t key = param->mKey.VirtualKey();
    if (!(key == VKey::kSpace || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')))
        return S_FALSE;
    return (code & (KeyCode::kCtrl | KeyCode::kAlt | KeyCode::kCmd)) ? S_FALSE : S_OK;
}

// ---------------------------------------------------------------------------
// Pointer

bool LTextBox::CharacterBox(int32_t index, float& left, float& width)
{
    const int32_t length = GetTextLength();
    if (index < 0 || index > length)
        return false;
    const RectT<float> text = GetTextRect();
    const int32_t next = StepRight(index);
    const float before = MeasurePrefix(index);
    left = text.x + GetLineOrigin().x + before;
    width = ClampCoordinate(next > index ? MeasurePrefix(next) - before : 0.0f);
    return true;
}

int32_t LTextBox::HitTestText(PointT<double> point)
{
    const RectT<float> text = GetTextRect();
    point.x = std::clamp(point.x, double(text.x), std::max(double(text.x), double(text.width))) + mScrollX;
    const int32_t length = GetTextLength();
    // One line: binary search over the characters' boxes.
    int32_t lo = 0, hi = length - 1;
    while (lo <= hi) {
        const int32_t mid = Snap(lo + (hi - lo) / 2);
        float left = 0, width = 0;
        CharacterBox(mid, left, width);
        if (point.x < left) {
            hi = mid - 1;
        } else if (point.x >= left + width) {
            lo = StepRight(mid);
        } else {
            return point.x >= left + width * 0.5 ? StepRight(mid) : mid;
        }
    }
    return lo >= length ? length : Snap(lo);
}

void LTextBox::OnLeftDown(const RCPtr<LMouseButtonParam>& param)
{
    if (!param)
        return;
    const int32_t position = HitTestText({double(param->mX), double(param->mY)});
    if (param->mModifiers & kModifierShift) {
        ExtendSelectionTo(position);
        return;
    }
    ClearSelection();
    SetCaretPosition(position);
    mAnchor = position;
}

void LTextBox::OnMouseMove(const RCPtr<LPointWithModifiersParam>& param)
{
    if (!param || !mLeftDrag)
        return;
    const RectT<float> text = GetTextRect();
    PointT<double> p{double(param->mX), double(param->mY)};
    p.x = std::clamp(p.x, double(text.x), std::max(double(text.x), double(text.width)));
    p.y = std::clamp(p.y, double(text.y), std::max(double(text.y), double(text.height)));
    ExtendSelectionTo(HitTestText(p));
}

TavoResult LTextBox::OnLeftClick(const RCPtr<LMouseButtonParam>& param)
{
    if (param && (param->mDoubleClick || (param->mModifiers & kModifierCtrl))) {
        ClearSelection();
        SetCaretPosition(PreviousWordStart());
        int32_t end = NextWordStart();
        while (end > 0 && IsWhiteAt(end - 1))
            --end;
        ExtendSelectionTo(end);
    }
    return LScrollView::OnLeftClick(param);
}

TavoResult LTextBox::SetScrollOffset(const PointT<double>& offset)
{
    if (mScrollGuard)
        return S_OK;
    mScrollGuard = true;
    RCPtr<LControl> self(this);
    const TavoResult result = LScrollView::SetScrollOffset(offset);
    const RectT<float> text = GetTextRect();
    const double end = GetClientExtent().x - double(text.width - text.x) + 3.0;
    if (IsAutoScrolling(0) && (mScrollX <= 0 || mScrollX >= end))
        StopAutoScroll(0);
    if (mLeftDrag) {
        if (LRootWindow* root = GetRootWindow()) {
            const PointT<int32_t> mouse = root->GetMousePosition();
            const PointT<double> origin = GetAbsolutePosition();
            ExtendSelectionTo(HitTestText({mouse.x - origin.x, mouse.y - origin.y}));
        }
    } else {
        UpdateLooks();
    }
    mScrollGuard = false;
    return result;
}

// ---------------------------------------------------------------------------
// Focus, conditions, blinking, drawing

TavoResult LTextBox::SetFocus(bool first)
{
    if (mHasFocus)
        Validate();
    return LScrollView::SetFocus(first);
}

bool LTextBox::UITarget_OnFocusLost()
{
    RCPtr<LControl> self(this);
    if (mHasFocus)
        Validate();
    return LScrollView::UITarget_OnFocusLost();
}

bool LTextBox::UITarget_IsTarget()
{
    return Validate()->mValid;
}

void LTextBox::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    LScrollView::ConditionsChanged(conditions);
    if (!conditions)
        return;
    RCPtr<LControl> self(this);
    const uint32_t now = conditions->mConditions, before = conditions->mPreviousConditions;
    const auto on = [&](uint32_t bit) { return (now & bit) && !(before & bit); };
    const auto off = [&](uint32_t bit) { return !(now & bit) && (before & bit); };
    const auto changed = [&](uint32_t bit) { return ((now ^ before) & bit) != 0; };
    LRootWindow* root = GetRootWindow();
    if (on(kConditionHasFocus)) {
        if (root)
            root->SetTextEntryState(true, self, GetText());
        UpdateLooks();
        mCaretShown = true;
        mNextBlink = Now() + kBlinkOn;
        InvalidateRect({0, 0, mWidth, mHeight}, true);
        RequestIdle();
        ScrollCaretIntoView();
    } else if (off(kConditionHasFocus)) {
        if (root)
            root->SetTextEntryState(false, self, GetText());
        if (mIdleRequests > 0)
            CancelIdle();
        mCaretShown = false;
        SetScrollOffset({0, 0});
        UpdateLooks();
        InvalidateRect({0, 0, mWidth, mHeight}, true);
    } else {
        if (on(kConditionHover)) {
            const auto& cursor = ControlEnvironment().cursor;
            if (cursor)
                SetCursor(cursor(u"UI_CURSOR_IBEAM"));
        }
        if (off(kConditionLeftDrag))
            StopAutoScroll(0);
    }
    if (changed(kConditionHasFocus) || changed(kConditionHover) || changed(kConditionEnabled) ||
        off(kConditionLeftDrag))
        UpdateLooks();
}

void LTextBox::OnIdle()
{
    if (!mHasFocus)
        return;
    const double now = Now();
    if (now < mNextBlink)
        return;
    mCaretShown = !mCaretShown;
    mNextBlink = now + (mCaretShown ? kBlinkOn : kBlinkOff);
    InvalidateRect({0, 0, mWidth, mHeight}, true);
}

void LTextBox::RestrictLook(int32_t index, const RectT<double>& rect)
{
    if (!GetLook(index))
        return;
    RectRegion region;
    if (rect.width > 0 && rect.height > 0)
        region.AddRect(
            RectT<int32_t>{int32_t(rect.x), int32_t(rect.y), int32_t(rect.width), int32_t(rect.height)});
    SetLookRegion(index, region);
}

void LTextBox::UpdateLooks()
{
    if (!IsEnabled(true)) {
        SelectLook(6);
        return;
    }
    const RectT<float> text = GetTextRect();
    if (!mHasFocus && GetText().IsEmpty() && !mLabel.IsEmpty()) {
        RestrictLook(9, RoundedRect(text.x, text.y, text.width, text.height));
        SelectLook(2);
        SetLookWeight(9, 1.0f, false);
        return;
    }
    const int32_t main = mHasFocus ? (HoveredOrDragged() ? 4 : 3) : (HoveredOrDragged() ? 1 : 0);
    SelectLook(main);
    if (!mHasFocus || mSelLength <= 0)
        return;
    float firstLeft = 0, firstWidth = 0, lastLeft = 0, lastWidth = 0;
    CharacterBox(mSelStart, firstLeft, firstWidth);
    CharacterBox(Snap(std::max(mSelStart, mSelStart + mSelLength - 1)), lastLeft, lastWidth);
    const double left = std::max(double(firstLeft) - mScrollX, double(text.x));
    const double right = std::min(double(lastLeft + lastWidth) - mScrollX, double(text.width));
    const int32_t overlay = HoveredOrDragged() ? 11 : 10;
    const RectT<double> area = RoundedRect(left, text.y, std::max(left, right), text.height);
    // An empty region would not limit the highlight at all: a selection
    // scrolled out of the text area shows none.
    if (!(area.width > 0 && area.height > 0))
        return;
    RestrictLook(overlay, area);
    SetLookWeight(overlay, 1.0f, false);
}

TavoResult LTextBox::DrawOverlay(LRenderer* renderer)
{
    if (!renderer || !mHasFocus || !mCaretShown)
        return S_OK;
    const double x = std::round(double(mCaretRect.x) - mScrollX);
    const double top = std::round(double(mCaretRect.y) - mScrollY);
    const double bottom = std::round(double(mCaretRect.y + mCaretRect.height) - mScrollY);
    const uint32_t under = GetLookColorAt({int32_t(x), int32_t(top)}, GetActiveLookIndex());
    const uint32_t mean = (((under >> 16) & 0xFF) + ((under >> 8) & 0xFF) + (under & 0xFF)) / 3;
    ColorRGBA colour;
    colour.FromARGB(mean < 129 ? 0xFFFFFFFFu : 0xFF000000u);
    renderer->DrawLine({float(x), float(top)}, {float(x), float(bottom)}, colour, 1.0f);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Creation

TavoResult LTextBox::SetDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    const WString kept(GetText());
    const TavoResult result = LScrollView::SetDescriptor(descriptor);
    WString label;
    if (GetProperty(u"LABEL", label)) {
        SetText(kept);
        mLabel = label;
        if (!mLabel.IsEmpty()) {
            if (const RCPtr<LLook>& look = GetLook(9))
                look->SetText(mLabel);
            UpdateLooks();
        }
    }
    return result;
}

TavoResult LTextBox::Initialize()
{
    if (Succeeded(LScrollView::Initialize())) {
        if (const RCPtr<LLook>& look = GetLook(9); look && !mLabel.IsEmpty())
            look->SetText(mLabel);
        mCaretShown = true;
        SetCaretPosition(mCaret, true);
        UpdateLooks();
    }
    return S_OK;
}

WString LTextBox::GetToolTipText() const
{
    const RCPtr<LLook> look = GetLookAt(-1);
    LFontText* block = look ? look->GetTextBlock() : nullptr;
    if (!block) {
        if (!GetText().IsEmpty())
            return GetText();
    } else if (block->GetWidth() > block->boxWidth) {
        return GetText();
    }
    return LScrollView::GetToolTipText();
}

// ---------------------------------------------------------------------------
// Validation, edits, context menu

RCPtr<LTextValidationParams> LTextBox::Validate()
{
    RCPtr<LControl> self(this);
    RCPtr<LTextValidationParams> params = LTextValidationParams::Create(GetText());
    Notify(u"NID_TEXTBOX_VALIDATING", params);
    // A rewritten text keeps the caret's index; its place is measured again.
    if (params->mValid && !(params->mText == GetText()) && ApplyText(params->mText, false) == S_OK)
        SetCaretPosition(mCaret, true);
    if (params->mValid)
        Notify(u"NID_TEXTBOX_VALIDATED", params);
    return params;
}

bool LTextBox::CanPerformEdit(int32_t kind)
{
    if (kind >= 0 && kind <= 2)
        return mSelLength > 0;
    WString text;
    const auto& get = ControlEnvironment().getClipboardText;
    return get && get(text);
}

TavoResult LTextBox::PerformEdit(int32_t kind)
{
    RCPtr<LControl> self(this);
    const LControlEnvironment& environment = ControlEnvironment();
    switch (kind) {
    case 0:
    case 1:
    case 2:
        if (mSelLength <= 0)
            return E_FAIL;
        if (kind != 0 && environment.setClipboardText)
            environment.setClipboardText(GetText().Mid(mSelStart, mSelLength));
        if (kind != 2)
            DeleteSelection();
        return S_OK;
    case 3: {
        WString text;
        if (!environment.getClipboardText || !environment.getClipboardText(text))
            return E_FAIL;
        if (mSelLength > 0)
            return ReplaceSelection(text);
        WString copy(GetText());
        const int32_t at = mCaret;
        copy.Insert(uint32_t(at), text);
        if (ApplyText(copy, false) != S_OK)
            return E_FAIL;
        SetCaretPosition(std::min(at + int32_t(text.GetLength()), GetTextLength()), true);
        return S_OK;
    }
    default:
        return E_FAIL;
    }
}

TavoResult LTextBox::ProcessRootWindowAquired()
{
    const RCPtr<LControlFactory>& factory = ControlEnvironment().factory;
    const RCPtr<LStringTable> strings = factory ? factory->GetFrameworkStringTable() : nullptr;
    if (!strings)
        return LScrollView::ProcessRootWindowAquired();
    RCPtr<LMenuDescriptor> menu = LMenuDescriptor::Create();
    for (const EditRow& row : kEditRows) {
        WString text;
        strings->FindString(row.stringId, text);
        menu->InsertItem(menu->GetItemCount(), text, row.request, true, false);
    }
    mContextMenu = menu;
    // The base subscribes idle ticks asked for before the window came.
    return LScrollView::ProcessRootWindowAquired();
}

TavoResult LTextBox::UpdateMenuItemState(const RCPtr<LMenuDescriptor>&, int32_t, const WString& command,
                                         uint32_t& state)
{
    for (const EditRow& row : kEditRows) {
        if (command == row.request) {
            state = CanPerformEdit(row.kind) ? (state | 1u) : (state & ~1u);
            return S_OK;
        }
    }
    return S_FALSE;
}

}  // namespace Tavo
