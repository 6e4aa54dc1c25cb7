#include "Application/AppClock.h"

#include "Platform/Kernel/KernelSystem.h"

#include <atomic>

namespace Tavo {

namespace {

class SystemClock final : public IAppClock
{
public:
    uint32_t GetMilliseconds() override { return Platform::GetMilliseconds(); }
    // From the first read of the clock; the unsigned difference survives
    // the wrap of the millisecond counter.
    double GetSecondsSinceStart() override { return uint32_t(Platform::GetMilliseconds() - mStart) / 1000.0; }

private:
    const uint32_t mStart = Platform::GetMilliseconds();
};

std::atomic<IAppClock*>& InstalledClock()
{
    static auto* slot = new std::atomic<IAppClock*>(nullptr);
    return *slot;
}

}  // namespace

IAppClock& GetAppClock()
{
    if (IAppClock* clock = InstalledClock().load(std::memory_order_acquire))
        return *clock;
    static auto* system = new SystemClock();
    return *system;
}

IAppClock* SetAppClock(IAppClock* clock)
{
    return InstalledClock().exchange(clock, std::memory_order_acq_rel);
}

}  // namespace Tavo
