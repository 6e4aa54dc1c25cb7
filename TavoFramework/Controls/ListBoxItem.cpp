#include "Controls/ListBoxItem.h"

namespace Tavo {

TavoResult LListBoxItem::Finalize()
{
    // The list keeps the keyboard; its rows never take it.
    SetNotFocusable(true);
    return S_OK;
}

WString LListBoxItem::GetToolTipText() const
{
    return IsTextClipped() ? GetText() : LControl::GetToolTipText();
}

TavoResult LListBoxItem::UITarget_OnMouseDown(uint32_t button, int32_t x, int32_t y)
{
    if (mHoverSelect && mParent)
        return mParent->UITarget_OnMouseDown(button, x + RoundToInt32(mX), y + RoundToInt32(mY));
    return LControl::UITarget_OnMouseDown(button, x, y);
}

uint32_t LListBoxItem::GetLookIndex() const
{
    if (mSeparator)
        return 13;
    const bool selected = GetValue() >= 0.5;
    if (!IsEnabled(true))
        return selected ? 13 : 6;
    const bool hover = mHover || mHoverOverride;
    const bool pressed = mCapture && mLeftDrag;
    const uint32_t alternate = mAlternate ? 3 : 0;
    if (pressed && hover)
        return (selected ? 9 : 2) + alternate;
    if (pressed || (hover && !mCapture))
        return (selected ? 8 : 1) + alternate;
    return (selected ? 7 : 0) + alternate;
}

void LListBoxItem::UpdateLook()
{
    SelectLook(int32_t(GetLookIndex()));
    InvalidateLocalRect({0, 0, mWidth, mHeight}, !mLayout || mLayout->propagateInvalidation);
}

void LListBoxItem::SetSeparator(bool separator)
{
    if (separator == mSeparator)
        return;
    mSeparator = separator;
    if (separator)
        SetLabelText(WString(), true);
    UpdateLook();
}

}  // namespace Tavo
