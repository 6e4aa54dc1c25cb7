#include "Notification/NotificationParams.h"

#include "Utilities/Storage/Format.h"

namespace Tavo {

WString LValueParam::ToString() const
{
    return WString::Format(u"ValueParam = %lf", mValue);
}

WString LConditionsParam::ToString() const
{
    return WString::Format(u"(%g, %g)", mX, mY);
}

}  // namespace Tavo
