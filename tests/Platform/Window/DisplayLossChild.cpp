// A program with a window whose display goes away under it.
#include "Platform/App/MessageLoop.h"
#include "Platform/Window/WindowSystem.h"

#include <cstdio>

using namespace Tavo::Platform;

int main()
{
    auto system = Window::OpenXWindowSystem();
    if (!system)
        return 3;
    Window::AddConnectionLostAction([] { std::fputs("device released\n", stderr); });
    const Window::WindowId window = system->CreateWindow(Window::WindowParams{});
    system->Show(window, true);
    App::MessageLoop loop;
    Window::AttachToLoop(*system, loop, [](const Window::Event&) {});
    system->Sync();
    std::puts("ready");
    std::fflush(stdout);
    return loop.Run();
}
