#include "Controls/Label.h"

namespace Tavo {

TavoResult LLabel::Finalize()
{
    SetNotFocusable(true);
    return S_OK;
}

WString LLabel::GetToolTipText() const
{
    if (IsTextClipped())
        return GetText();
    return LControl::GetToolTipText();
}

}  // namespace Tavo
