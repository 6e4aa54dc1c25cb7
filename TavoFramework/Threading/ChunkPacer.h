#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace Tavo {

// Paces a run of sends with a pause after each. Pauses end on a schedule, so
// late wake-ups do not add up over a long run; a send that took longer than
// its pause starts the schedule afresh, so sends never bunch up to catch up.
class ChunkPacer
{
public:
    using Clock = std::chrono::steady_clock;

    ChunkPacer() : mPauseEnd(Clock::now()) {}

    // After a send: waits until `pauseMs` past the previous pause's end.
    void Pause(uint32_t pauseMs)
    {
        const auto pause = std::chrono::milliseconds(pauseMs);
        mPauseEnd += pause;
        const auto now = Clock::now();
        if (mPauseEnd < now)
            mPauseEnd = now + pause;
        std::this_thread::sleep_until(mPauseEnd);
    }

private:
    Clock::time_point mPauseEnd;
};

}  // namespace Tavo
