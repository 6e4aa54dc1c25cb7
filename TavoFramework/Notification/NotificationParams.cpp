#include "Notification/NotificationParams.h"

#include "Utilities/Storage/Format.h"

namespace Tavo {

WString LPointParam::ToString() const { return WString::Format(u"point(%d, %d)", mX, mY); }

WString LPointWithModifiersParam::ToString() const
{
    return LPointParam::ToString() + WString::Format(u"  modifiers: 0x%08x", mModifiers);
}

WString LValueParam::ToString() const { return WString::Format(u"ValueParam = %lf", mValue); }

WString LConditionsParam::ToString() const { return WString::Format(u"(%g, %g)", mX, mY); }

}  // namespace Tavo
