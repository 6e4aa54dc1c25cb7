#include "Platform/App/MessageLoop.h"
#include "Platform/Window/PowerNotices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace Tavo::Platform;

// Where no system bus can be reached, nothing is watched and sd-bus with
// the libraries it brings stays out of the process.
TEST(PowerNotices, WithoutASystemBusNothingIsWatchedOrLoaded)
{
    if (access("/run/dbus/system_bus_socket", F_OK) == 0)
        GTEST_SKIP() << "this machine has a system bus";
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    App::MessageLoop loop;
    EXPECT_EQ(Window::PowerNotices::Watch(loop, [](bool) {}), nullptr);
    std::ifstream maps("/proc/self/maps");
    const std::string mapped{std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>()};
    EXPECT_EQ(mapped.find("libsystemd"), std::string::npos);
}
