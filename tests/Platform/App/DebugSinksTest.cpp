#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Platform/App/DebugSinks.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform::App;

namespace {

// A UDP listener on a free loopback port.
class Listener
{
public:
    Listener()
    {
        mFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(mFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&addr), &len);
        mPort = ntohs(addr.sin_port);
    }
    ~Listener() { close(mFd); }

    int32_t Port() const { return mPort; }

    // The next datagram, or nothing within the time-out.
    std::optional<std::string> Next(int timeoutMs = 5000)
    {
        pollfd p{mFd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1)
            return std::nullopt;
        char buffer[65536];
        const ssize_t n = recv(mFd, buffer, sizeof buffer, 0);
        return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, size_t(n)));
    }

private:
    int mFd = -1;
    int32_t mPort = 0;
};

}  // namespace

TEST(UdpLogSink, AnnouncesItselfOnceThenSendsEachTextAsOneDatagram)
{
    Listener listener;
    UdpLogSink sink;
    EXPECT_FALSE(sink.Destination());
    // An empty text makes the socket and the announcement only.
    sink.Send("127.0.0.1", listener.Port(), "");
    EXPECT_EQ(listener.Next(), "*** APPLICATION Launched on ");
    EXPECT_EQ(listener.Next(), "127.0.0.1");
    EXPECT_EQ(listener.Next(), "***\n");
    EXPECT_EQ(sink.Destination(), "127.0.0.1");

    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e\n";
    sink.Send("127.0.0.1", listener.Port(), utf8);
    // The destination is fixed by the first send.
    sink.Send("other.invalid", 1, std::string(1023, 'x'));
    EXPECT_EQ(listener.Next(), utf8);
    EXPECT_EQ(listener.Next(), std::string(1023, 'x'));
    EXPECT_FALSE(listener.Next(50));
}

TEST(UdpLogSink, LocalhostByNameResolvesToItsAddress)
{
    Listener listener;
    UdpLogSink sink;
    sink.Send("localhost", listener.Port(), "line");
    EXPECT_EQ(listener.Next(), "*** APPLICATION Launched on ");
    EXPECT_EQ(listener.Next(), "127.0.0.1");
    EXPECT_EQ(listener.Next(), "***\n");
    EXPECT_EQ(listener.Next(), "line");
}

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
