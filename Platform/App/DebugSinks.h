#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace Tavo::Platform::App {

// Sends log text as UDP datagrams to a listener. The destination is fixed
// when the socket is first made: the named host when it resolves, else this
// machine's own name, else the IPv4 loopback address. The first datagrams
// announce the program: "*** APPLICATION Launched on ", the address, "***\n".
class UdpLogSink
{
public:
    UdpLogSink() = default;
    ~UdpLogSink();
    UdpLogSink(const UdpLogSink&) = delete;
    UdpLogSink& operator=(const UdpLogSink&) = delete;

    // host may be null; port in host byte order. Empty text sends nothing
    // beyond the announcement; a port outside 1..65535 sends nothing.
    void Send(const char* host, int32_t port, std::string_view text);

    // The dotted address chosen, once the socket exists.
    std::optional<std::string> Destination() const;

private:
    void SendRaw(std::string_view text);

    mutable std::mutex mLock;
    int mSocket = -1;
    std::string mAddressText;
    uint32_t mAddress = 0;  // network byte order
    uint16_t mPort = 0;     // network byte order
};

// The process's UDP sink, made on first use.
UdpLogSink& MainUdpLogSink();

// Writes UTF-8 text to stderr as it stands.
void WriteConsole(std::string_view text);

// The stand-in for the debugger's output: stderr, but only when
// TAVO_DEBUG_OUTPUT=1, so that ordinary runs stay quiet.
void WriteDebugger(std::string_view text);
bool DebuggerOutputEnabled();

}  // namespace Tavo::Platform::App
