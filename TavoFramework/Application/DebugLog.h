#pragma once

#include "Platform/App/DebugSinks.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace Tavo {

class DebugLog;

// Collects text per flush and hands it to the log: the debugger stand-in or
// the UDP listener, in pieces of at most 1023 characters. The console buffer
// holds nothing back: each write goes to stderr at once (a wide high
// surrogate waits for its partner).
template <class C>
class basic_debugbuf : public std::basic_streambuf<C>
{
public:
    using int_type = typename std::basic_streambuf<C>::int_type;
    using traits_type = typename std::basic_streambuf<C>::traits_type;
    static constexpr size_t kCapacity = 1023;

    basic_debugbuf(DebugLog& log, bool console) : mLog(log), mConsole(console) {}
    ~basic_debugbuf() override
    {
        if (!mText.empty())
            Emit(mText.size());
    }

    // Hands on what waits without a flush; nothing when nothing waits.
    void EmitPending()
    {
        if (!mText.empty())
            Emit(mText.size());
    }

protected:
    std::streamsize xsputn(const C* text, std::streamsize count) override;
    int_type overflow(int_type ch) override;
    int sync() override
    {
        Emit(mText.size());
        return 0;
    }

private:
    // The first `count` characters of the buffer.
    void Emit(size_t count);

    DebugLog& mLog;
    bool mConsole;
    std::basic_string<C> mText;
};

// An output stream over its own debug buffer. The wide stream has no
// locale facets here: end its lines with u'\n' and std::flush, not endl.
template <class C>
class basic_dostream : public std::basic_ostream<C>
{
public:
    basic_dostream(DebugLog& log, bool console) : std::basic_ostream<C>(nullptr), mBuffer(log, console)
    {
        this->init(&mBuffer);
    }
    ~basic_dostream() override { mBuffer.pubsync(); }

    void EmitPending() { mBuffer.EmitPending(); }

private:
    basic_debugbuf<C> mBuffer;
};

// The process's debug log with a narrow and a wide stream. Flushed text goes
// to the debugger stand-in, or as datagrams to a listener once a port above
// 0 is set, or to stderr once the console is opened.
class DebugLog
{
public:
    DebugLog();
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    // Made on first use, never destroyed; what its streams hold unflushed
    // leaves when the process exits.
    static DebugLog& Get();

    // The streams are made on first use: a log nobody writes to keeps the
    // stream and locale machinery out of the program's memory.
    std::ostream& Narrow();
    std::basic_ostream<char16_t>& Wide();

    // host null keeps the host; an empty host clears it.
    void SetUdpTarget(const char* host, int32_t port);
    void OpenConsole();
    void SendDatagram(const char* host, int32_t port, std::string_view text);

    const std::string& GetHost() const { return mHost; }
    int32_t GetPort() const { return mPort; }
    bool IsConsoleOpen() const { return mConsoleOpen; }
    // The listener's address once the first datagram went out.
    std::optional<std::string> GetDestination() const { return mUdp.Destination(); }

    // UTF-8 text of one flush.
    void Emit(std::string_view text, bool console);

    // Hands on the text that the streams hold without a flush.
    void EmitPending();

private:
    Platform::App::UdpLogSink mUdp;
    std::string mHost;
    int32_t mPort = -1;
    std::atomic<bool> mConsoleOpen{false};
    struct Streams;
    Streams& MadeStreams();
    std::once_flag mStreamsMade;
    std::unique_ptr<Streams> mStreams;
    std::atomic<bool> mStreamsReady{false};
};

// What the "-DEBUG_CONSOLE" switch asks for.
struct DebugConsoleSwitch
{
    enum class Kind { None, Console, Udp };
    Kind kind = Kind::None;
    int32_t port = -1;
    std::string host;  // empty: none given
};

// commandLine upper-cased already; its first argument is the program.
DebugConsoleSwitch ParseDebugConsoleSwitch(std::string_view commandLine);
// Upper-cases the UTF-8 command line byte by byte, parses and applies the
// switch to the log; once a sink is set up, writes the command line to it
// as a first diagnostic line. Returns what it found.
DebugConsoleSwitch ApplyDebugConsoleSwitch(DebugLog& log, std::string_view commandLine);

}  // namespace Tavo
