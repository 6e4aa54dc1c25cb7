#pragma once

// Turns of the program's loop for window tests whose script runs on it.

#include "Platform/App/MessageLoop.h"
#include "Window/Native/WindowHost.h"

#include <functional>

namespace LoopTurns {

// Delivers the display's events and the loop's posted work (paints) until
// done holds; false when it never does.
inline bool TurnUntil(const std::function<bool()>& done, int turns = 400)
{
    for (int i = 0; i < turns && !done(); ++i) {
        Tavo::Platform::Window::IWindowSystem* system = Tavo::WindowHost::System();
        system->Sync();
        Tavo::Platform::Window::Event e;
        while (system->NextEvent(e))
            Tavo::WindowHost::Dispatch(e);
        // The loop's own posted work runs in a nested turn.
        Tavo::Platform::App::MainMessageLoop().Post(
            [] { Tavo::Platform::App::MainMessageLoop().PostQuit(0); });
        Tavo::Platform::App::MainMessageLoop().Run();
    }
    return done();
}

// A few turns, for what the last input caused.
inline void Settle()
{
    TurnUntil([] { return false; }, 3);
}

}  // namespace LoopTurns
