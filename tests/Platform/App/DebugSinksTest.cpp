#include <gtest/gtest.h>

#include <unistd.h>

#include "Platform/App/DebugSinks.h"
#include "tests/Common/TestScope.h"
#include <arpa/inet.h>

using namespace Tavo::Platform::App;

TEST(UdpLogSink, AnUnresolvableHostFallsBackWithoutFailing)
{
    UdpLogSink sink;
    // A port that 16 bits cannot hold makes no socket at all.
    sink.Send("127.0.0.1", 65536 + 9, "x");
    EXPECT_FALSE(sink.Destination());
    sink.Send("no-such-host.invalid", 9, "x");
    const auto destination = sink.Destination();
    ASSERT_TRUE(destination);
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, destination->c_str(), &parsed), 1);
}

TEST(ConsoleSinks, ConsoleAlwaysWritesAndTheDebuggerOnlyWhenAsked)
{
    testing::internal::CaptureStderr();
    WriteConsole("caf\xC3\xA9\n");
    {
        ScopedEnv off("TAVO_DEBUG_OUTPUT", "0");
        WriteDebugger("hidden\n");
    }
    {
        ScopedEnv on("TAVO_DEBUG_OUTPUT", "1");
        WriteDebugger("shown\n");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caf\xC3\xA9\nshown\n");
}
