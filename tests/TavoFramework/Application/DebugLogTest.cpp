#include <gtest/gtest.h>

#include "Application/DebugLog.h"
#include "tests/Common/UdpListener.h"

#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace {

TEST(DebugConsoleSwitch, FormsParseAsDocumented)
{
    using Kind = DebugConsoleSwitch::Kind;
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -SILENT").kind, Kind::None);
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE -SILENT").kind, Kind::Console);
    // Only a whole argument is the switch, never a part of another one.
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG \"-ABSOLUTE_FIRMWARE_FILE_PATH=/A -DEBUG_CONSOLE:5000\"").kind,
              Kind::None);
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG/-DEBUG_CONSOLE X-DEBUG_CONSOLE").kind, Kind::None);
    // One character of port sets nothing up, not even the console.
    EXPECT_EQ(ParseDebugConsoleSwitch("PROG -DEBUG_CONSOLE:5").kind, Kind::None);

    // Port and host; a colon further on, past the switch's end, is not its host.
    const struct
    {
        const char* line;
        int port;
        const char* host;
    } udp[] = {{"PROG -DEBUG_CONSOLE:5000 -SILENT", 5000, ""},
               {"PROG -DEBUG_CONSOLE:5000:LOGHOST -SILENT", 5000, "LOGHOST"},
               {"PROG -DEBUG_CONSOLE:5000 -A:B", 5000, ""}};
    for (const auto& c : udp) {
        const DebugConsoleSwitch s = ParseDebugConsoleSwitch(c.line);
        EXPECT_EQ(s.kind, Kind::Udp) << c.line;
        EXPECT_EQ(s.port, c.port) << c.line;
        EXPECT_EQ(s.host, c.host) << c.line;
    }
}

TEST(DebugConsoleSwitch, LowerCaseSwitchSetsUpperCaseHost)
{
    DebugLog log;
    const DebugConsoleSwitch s = ApplyDebugConsoleSwitch(log, "prog -debug_console:7000:somehost");
    EXPECT_EQ(s.kind, DebugConsoleSwitch::Kind::Udp);
    EXPECT_EQ(log.GetPort(), 7000);
    EXPECT_EQ(log.GetHost(), "SOMEHOST");
}

TEST(DebugLog, SwitchSendsLaunchDatagramsThenTheCommandLine)
{
    UdpListener listener(true);
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
    UdpListener listener(true);
    DebugLog log;
    log.SetUdpTarget("127.0.0.1", listener.Port());
    log.Narrow() << std::flush;
    EXPECT_EQ(listener.Drain().size(), 3u);  // the announcement only

    log.Narrow() << std::string(2500, 'q') << std::flush;
    std::vector<std::string> got = listener.Drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].size(), 1023u);
    EXPECT_EQ(got[2].size(), 454u);

    log.Wide() << u"Gr\u00fc\u00dfe \u20ac\n" << std::flush;
    got = listener.Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "Gr\xc3\xbc\xc3\x9f"
                      "e \xe2\x82\xac\n");
}

TEST(DebugLog, PortZeroKeepsTheDebuggerAsSink)
{
    UdpListener listener(true);
    DebugLog log;
    ApplyDebugConsoleSwitch(log, "prog -DEBUG_CONSOLE:00");
    log.Narrow() << "quiet" << std::endl;
    EXPECT_FALSE(log.GetDestination().has_value());
}

}  // namespace

namespace {

// stderr into a pipe for the life of the object.
class CapturedStderr
{
public:
    CapturedStderr()
    {
        EXPECT_EQ(pipe(mPipe), 0);
        mSaved = dup(2);
        dup2(mPipe[1], 2);
    }
    ~CapturedStderr()
    {
        dup2(mSaved, 2);
        close(mSaved);
        close(mPipe[0]);
        close(mPipe[1]);
    }
    std::string Take()
    {
        std::string text;
        char chunk[256];
        pollfd p{mPipe[0], POLLIN, 0};
        while (poll(&p, 1, 0) == 1) {
            const ssize_t n = read(mPipe[0], chunk, sizeof chunk);
            if (n <= 0)
                break;
            text.append(chunk, size_t(n));
        }
        return text;
    }

private:
    int mPipe[2] = {-1, -1};
    int mSaved = -1;
};

TEST(DebugLog, ConsoleWritesAtOnceAndKeepsSurrogatePairsWhole)
{
    CapturedStderr captured;
    DebugLog log;
    log.OpenConsole();
    log.Narrow() << "no flush";
    EXPECT_EQ(captured.Take(), "no flush");
    // A pair written one unit at a time leaves as one character.
    log.Wide() << char16_t(0xD83C);
    EXPECT_EQ(captured.Take(), "");
    log.Wide() << char16_t(0xDFB5) << u"!";
    EXPECT_EQ(captured.Take(), "\xf0\x9f\x8e\xb5!");
}

}  // namespace
