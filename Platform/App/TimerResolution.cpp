#include "Platform/App/TimerResolution.h"

#include <ctime>
#include <map>
#include <mutex>

namespace Tavo::Platform::App {

namespace {

struct PeriodBook
{
    std::mutex lock;
    std::map<uint32_t, int32_t> open;  // period -> begins not yet ended
    int32_t depth = 0;
};

PeriodBook& Book()
{
    static PeriodBook* book = new PeriodBook();
    return *book;
}

}  // namespace

uint32_t TimeBeginPeriod(uint32_t periodMs)
{
    if (periodMs == 0)
        return TIMERR_NOCANDO;
    PeriodBook& book = Book();
    std::lock_guard guard(book.lock);
    ++book.open[periodMs];
    ++book.depth;
    return TIMERR_NOERROR;
}

uint32_t TimeEndPeriod(uint32_t periodMs)
{
    PeriodBook& book = Book();
    std::lock_guard guard(book.lock);
    auto it = book.open.find(periodMs);
    if (it == book.open.end())
        return TIMERR_NOCANDO;
    if (--it->second == 0)
        book.open.erase(it);
    --book.depth;
    return TIMERR_NOERROR;
}

int32_t TimerPeriodDepth()
{
    PeriodBook& book = Book();
    std::lock_guard guard(book.lock);
    return book.depth;
}

uint32_t TimeGetTime()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

}  // namespace Tavo::Platform::App
