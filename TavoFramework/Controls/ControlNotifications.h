#pragma once

#include "Notification/Notification.h"
#include "Notification/NotificationParams.h"

#include <cstdint>

namespace Tavo {

// The data a notification carries, as the type its handler expects; null
// when it carries none or another type.
template <class T>
T* DataOf(const RCPtr<LNotification>& notification)
{
    return notification ? dynamic_cast<T*>(const_cast<LRefCountedObject*>(notification->GetData().Get()))
                        : nullptr;
}

// Whether a condition bit came on, or went off, with this change.
inline bool TurnedOn(const LConditionsParam& c, uint32_t bit)
{
    return (c.mConditions & bit) && !(c.mPreviousConditions & bit);
}

inline bool TurnedOff(const LConditionsParam& c, uint32_t bit)
{
    return !(c.mConditions & bit) && (c.mPreviousConditions & bit);
}

}  // namespace Tavo
