#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A UDP listener on a free port: on loopback, or with `anyAddress` on all
// local addresses, so datagrams sent to this machine's own name arrive too.
class UdpListener
{
public:
    explicit UdpListener(bool anyAddress = false)
    {
        mFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(anyAddress ? INADDR_ANY : INADDR_LOOPBACK);
        bind(mFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&addr), &len);
        mPort = ntohs(addr.sin_port);
    }
    ~UdpListener() { close(mFd); }
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

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

    // Everything that arrives until the line goes quiet.
    std::vector<std::string> Drain()
    {
        std::vector<std::string> got;
        for (int waitMs = 2000; auto datagram = Next(waitMs); waitMs = 200)
            got.push_back(std::move(*datagram));
        return got;
    }

private:
    int mFd = -1;
    int32_t mPort = 0;
};
