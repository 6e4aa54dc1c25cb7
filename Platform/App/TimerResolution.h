#pragma once

#include <cstdint>

namespace Tavo::Platform::App {

inline constexpr uint32_t TIMERR_NOERROR = 0;
inline constexpr uint32_t TIMERR_NOCANDO = 97;

// The scheduler's resolution cannot be raised here, so these only count
// requests; an end without a matching begin is refused.
uint32_t TimeBeginPeriod(uint32_t periodMs);
uint32_t TimeEndPeriod(uint32_t periodMs);
// Begins minus ends still open.
int32_t TimerPeriodDepth();

// Milliseconds of the monotonic clock, wrapping at 2^32.
uint32_t TimeGetTime();

}  // namespace Tavo::Platform::App
