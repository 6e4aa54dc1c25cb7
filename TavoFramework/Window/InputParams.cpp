#include "Window/InputParams.h"

#include "Utilities/Storage/Format.h"

namespace Tavo {

WString LPointParam::ToString() const
{
    return WString::Format(u"point(%d, %d)", mX, mY);
}

WString LPointWithModifiersParam::ToString() const
{
    return LPointParam::ToString() + WString::Format(u"  modifiers: 0x%08x", mModifiers);
}

WString LMouseWheelParam::ToString() const
{
    return LPointWithModifiersParam::ToString() +
           WString(mDirection == kDown ? u"  direction: down" : u"  direction: up");
}

WString LKeyParam::ToString() const
{
    return KeyCode::ToString(mKey);
}

bool LKeyParam::IsKeyPress() const
{
    return (mKey.code & KeyCode::kVirtualKeyMask) != 0 && (mKey.code & KeyCode::kNoKey) == 0 &&
           (mKey.code & KeyCode::kKeyDown) != 0;
}

}  // namespace Tavo
