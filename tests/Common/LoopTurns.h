#pragma once

// Turns of the program's loop for window tests whose script runs on it.

#include "Platform/App/MessageLoop.h"
#include "Window/Native/WindowHost.h"

#include <chrono>
#include <functional>

namespace LoopTurns {

// Delivers the display's events and the loop's posted work (paints) until
// done holds; false when it never does: within `turns` turns when given,
// else within a deadline that a busy machine meets too. What the loop drew
// is on the server when it returns, for the test's own connection to read.
inline bool TurnUntil(const std::function<bool()>& done, int turns = 0)
{
    Tavo::Platform::Window::IWindowSystem* system = Tavo::WindowHost::System();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; !done(); ++i) {
        if (turns > 0 ? i >= turns : std::chrono::steady_clock::now() >= deadline)
            break;
        system->Sync();
        Tavo::Platform::Window::Event e;
        while (system->NextEvent(e))
            Tavo::WindowHost::Dispatch(e);
        // The loop's own posted work runs in a nested turn.
        Tavo::Platform::App::MainMessageLoop().Post(
            [] { Tavo::Platform::App::MainMessageLoop().PostQuit(0); });
        Tavo::Platform::App::MainMessageLoop().Run();
    }
    system->Sync();
    return done();
}

// A few turns, for what the last input caused.
inline void Settle()
{
    TurnUntil([] { return false; }, 3);
}

}  // namespace LoopTurns
