#include <gtest/gtest.h>

#include "Application/DebugLog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

// A UDP listener on all local addresses, so datagrams sent to this
// machine's own name arrive as well as those sent to loopback.
class Listener
{
public:
    Listener()
    {
        mFd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        bind(mFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&addr), &len);
        mPort = ntohs(addr.sin_port);
    }
    ~Listener() { close(mFd); }
    int Port() const { return mPort; }

    // Everything that arrives until the line goes quiet.
    std::vector<std::string> Drain()
    {
        std::vector<std::string> got;
        pollfd p{mFd, POLLIN, 0};
        int waitMs = 2000;
        while (poll(&p, 1, waitMs) > 0) {
            waitMs = 200;
            char buffer[4096];
            const ssize_t n = recv(mFd, buffer, sizeof buffer, 0);
            if (n < 0)
                break;
            got.emplace_back(buffer, size_t(n));
            p.revents = 0;
        }
        return got;
    }

private:
    int mFd = -1;
    int mPort = 0;
};

TEST(DebugConsoleSwitch, FormsParseAsDocumented)
{
    using Kind = DebugConsoleSwitch::Kind;
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -SILENT").kind, Kind::None);
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE -SILENT").kind, Kind::Console);
    // One character of port sets nothing up, not even the console.
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:5").kind, Kind::None);
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:5 -X").kind, Kind::None);

    DebugConsoleSwitch s = ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:5000 -SILENT");
    EXPECT_EQ(s.kind, Kind::Udp);
    EXPECT_EQ(s.port, 5000);
    EXPECT_TRUE(s.host.empty());

    s = ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:5000:LOGHOST -SILENT");
    EXPECT_EQ(s.port, 5000);
    EXPECT_EQ(s.host, "LOGHOST");

    // A colon further on, past the switch's end, is not its host.
    s = ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:5000 -A:B");
    EXPECT_EQ(s.port, 5000);
    EXPECT_TRUE(s.host.empty());

    s = ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:00");
    EXPECT_EQ(s.kind, Kind::Udp);
    EXPECT_EQ(s.port, 0);
}

TEST(DebugConsoleSwitch, LowerCaseSwitchSetsUpperCaseHost)
{
    DebugLog log;
    const DebugConsoleSwitch s = ApplyDebugConsoleSwitch(log, "prog -debug_console:7000:somehost");
    EXPECT_EQ(s.kind, DebugConsoleSwitch::Kind::Udp);
    EXPECT_EQ(log.GetPort(), 7000);
    EXPECT_EQ(log.GetHost(), "SOMEHOST");
    EXPECT_FALSE(log.IsConsoleOpen());
}

TEST(DebugLog, SwitchSendsLaunchDatagramsThenTheCommandLine)
{
    Listener listener;
    DebugLog log;
    const std::string command = "prog -debug_console:" + std::to_string(listener.Port());
    ApplyDebugConsoleSwitch(log, command);
    const std::vector<std::string> got = listener.Drain();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "*** APPLICATION Launched on ");
    ASSERT_TRUE(log.GetDestination().has_value());
    EXPECT_EQ(got[1], *log.GetDestination());
    EXPECT_EQ(got[2], "***\n");
    EXPECT_EQ(got[3], "Command line: " + command + "\n");
}

TEST(DebugLog, LongLinesLeaveInPiecesAndEmptyFlushesSendNothing)
{
    Listener listener;
    DebugLog log;
    log.SetUdpTarget("127.0.0.1", listener.Port());
    log.Narrow() << std::flush;
    EXPECT_EQ(listener.Drain().size(), 3u);  // the announcement only

    log.Narrow() << std::string(2500, 'q') << std::flush;
    std::vector<std::string> got = listener.Drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].size(), 1023u);
    EXPECT_EQ(got[1].size(), 1023u);
    EXPECT_EQ(got[2].size(), 454u);

    log.Wide() << u"Gr\u00fc\u00dfe \u20ac\n" << std::flush;
    got = listener.Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac\n");
}

TEST(DebugLog, PortZeroKeepsTheDebuggerAsSink)
{
    Listener listener;
    DebugLog log;
    ApplyDebugConsoleSwitch(log, "prog -DEBUG_CONSOLE:00");
    log.Narrow() << "quiet" << std::endl;
    EXPECT_FALSE(log.GetDestination().has_value());
}

}  // namespace
