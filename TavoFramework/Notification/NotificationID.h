#pragma once

#include "Threading/Mutex.h"

#include <cstdint>

namespace Tavo {

// The identity of an interned notification name: the address of the interned
// characters, so an id is itself a valid name. Null means no id.
using LNotificationId = const char16_t*;

// The id of a name, interned on first use; null for a null or empty name.
// Passing an id returns it unchanged. Any thread.
LNotificationId GetNotificationID(const char16_t* name);

// The process-wide re-entrant lock taken by interning and by the notification
// pool; other short framework look-ups share it.
Mutex& GetFrameworkLock();

// The names the system itself sends.
inline constexpr uint32_t kSystemNotificationNameCount = 61;
extern const char16_t* const kSystemNotificationNames[kSystemNotificationNameCount];

}  // namespace Tavo
