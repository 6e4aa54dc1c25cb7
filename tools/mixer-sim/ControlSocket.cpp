#include "tools/mixer-sim/ControlSocket.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace MixerSim {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool WaitReadable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

void WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

int ListenControl(const std::string& path, std::string& error)
{
    sockaddr_un address;
    if (!MakeAddress(path, address)) {
        error = "control socket path too long: " + path;
        return -1;
    }
    // A live simulator answers; only a dead one's file may be replaced.
    std::string reply;
    if (SendCommand(path, "status", reply)) {
        error = "another simulator serves " + path;
        return -1;
    }
    unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

std::string ReadCommand(int fd)
{
    std::string line;
    char buffer[256];
    while (line.find('\n') == std::string::npos && line.size() < sizeof buffer) {
        if (!WaitReadable(fd, 2000))
            return {};
        ssize_t n = recv(fd, buffer, sizeof buffer - line.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

void Answer(int fd, const std::string& reply)
{
    WriteAll(fd, reply + "\n");
    close(fd);
}

bool SendCommand(const std::string& path, const std::string& command, std::string& reply)
{
    sockaddr_un address;
    if (!MakeAddress(path, address)) {
        reply = "control socket path too long: " + path;
        return false;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        reply = "no simulator at " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    WriteAll(fd, command + "\n");
    reply.clear();
    char buffer[512];
    // Attach and detach can take a moment: the driver's handle drains first.
    while (WaitReadable(fd, 10000)) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    while (!reply.empty() && reply.back() == '\n')
        reply.pop_back();
    return true;
}

}  // namespace MixerSim
