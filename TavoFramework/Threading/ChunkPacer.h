#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace Tavo {

// The pause after each chunk or message a sender has handed over. It is
// counted from the moment the send returned, so a device that was slow to
// take the message still gets the whole pause before the next one.
class ChunkPacer
{
public:
    // How a pause is slept: a test may run it on its own clock (null puts the
    // sleep back).
    using SleepStep = void (*)(uint32_t ms);
    static void SetSleepForTesting(SleepStep step) { Hook().store(step); }

    // Right after a send returned; 0 makes no pause.
    static void Pause(uint32_t pauseMs)
    {
        if (pauseMs == 0)
            return;
        if (const SleepStep step = Hook().load()) {
            step(pauseMs);
            return;
        }
        // Never shorter than asked; a late wake-up only lengthens it.
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }

private:
    static std::atomic<SleepStep>& Hook()
    {
        static std::atomic<SleepStep> hook{nullptr};
        return hook;
    }
};

}  // namespace Tavo
