#include "Platform/App/DebugSinks.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tavo::Platform::App {

namespace {

// The dotted form of the first IPv4 address of name, or empty.
std::string ResolveIPv4(const char* name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = inet_ntop(AF_INET, &addr->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(found);
    return ok ? std::string(text) : std::string();
}

void WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        // A closed or full reader (EPIPE, EAGAIN): the rest is not written.
        if (n <= 0)
            return;
        text.remove_prefix(size_t(n));
    }
}

}  // namespace

UdpLogSink::~UdpLogSink()
{
    if (mSocket >= 0)
        close(mSocket);
}

void UdpLogSink::Send(const char* host, int32_t port, std::string_view text)
{
    std::lock_guard guard(mLock);
    if (mSocket < 0) {
        // A port that does not fit 16 bits would be cut to some other port.
        if (port <= 0 || port > 65535)
            return;
        std::string address;
        if (host && *host)
            address = ResolveIPv4(host);
        if (address.empty()) {
            char own[65] = {};
            if (gethostname(own, 64) == 0)
                address = ResolveIPv4(own);
        }
        if (address.empty())
            address = "127.0.0.1";
        in_addr parsed{};
        inet_pton(AF_INET, address.c_str(), &parsed);
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
        // Without a socket the next line tries again.
        if (fd < 0)
            return;
        mSocket = fd;
        mAddressText = address;
        mAddress = parsed.s_addr;
        mPort = htons(uint16_t(port));
        SendRaw("*** APPLICATION Launched on ");
        SendRaw(mAddressText);
        SendRaw("***\n");
    }
    if (!text.empty())
        SendRaw(text);
}

void UdpLogSink::SendRaw(std::string_view text)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = mPort;
    to.sin_addr.s_addr = mAddress;
    // A lost line is not reported.
    [[maybe_unused]] ssize_t n =
        sendto(mSocket, text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::optional<std::string> UdpLogSink::Destination() const
{
    std::lock_guard guard(mLock);
    if (mSocket < 0)
        return std::nullopt;
    return mAddressText;
}

UdpLogSink& MainUdpLogSink()
{
    static UdpLogSink* sink = new UdpLogSink();
    return *sink;
}

void WriteConsole(std::string_view text)
{
    WriteAll(STDERR_FILENO, text);
}

bool DebuggerOutputEnabled()
{
    const char* value = std::getenv("TAVO_DEBUG_OUTPUT");
    return value && std::strcmp(value, "1") == 0;
}

void WriteDebugger(std::string_view text)
{
    if (DebuggerOutputEnabled())
        WriteAll(STDERR_FILENO, text);
}

}  // namespace Tavo::Platform::App
