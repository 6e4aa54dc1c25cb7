#pragma once

#include <cstdint>

namespace Tavo {

// The clock everything timed on the interface thread reads (drags, flings,
// animations, auto-repeat). The application installs its own; tests install
// a hand-driven one.
class IAppClock
{
public:
    virtual ~IAppClock() = default;
    virtual uint32_t GetMilliseconds() = 0;
    virtual double GetSecondsSinceStart() = 0;
};

// The installed clock, or the system's monotonic clock when none is.
IAppClock& GetAppClock();
// Installs a clock (null: back to the system's); returns the one replaced.
// The caller keeps it alive while installed.
IAppClock* SetAppClock(IAppClock* clock);

// A clock that moves only when told to.
class ManualAppClock final : public IAppClock
{
public:
    uint32_t GetMilliseconds() override { return mMilliseconds; }
    double GetSecondsSinceStart() override { return mMilliseconds / 1000.0; }
    void Advance(uint32_t milliseconds) { mMilliseconds += milliseconds; }
    void Set(uint32_t milliseconds) { mMilliseconds = milliseconds; }

private:
    uint32_t mMilliseconds = 0;
};

// Installs a clock for one scope.
class ScopedAppClock
{
public:
    explicit ScopedAppClock(IAppClock& clock) : mPrevious(SetAppClock(&clock)) {}
    ~ScopedAppClock() { SetAppClock(mPrevious); }
    ScopedAppClock(const ScopedAppClock&) = delete;
    ScopedAppClock& operator=(const ScopedAppClock&) = delete;

private:
    IAppClock* mPrevious;
};

}  // namespace Tavo
