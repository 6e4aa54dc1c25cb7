#include "Platform/Midi/MidiWire.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include "Platform/Kernel/AtomicFile.h"
#include "Platform/Kernel/PlatformFolders.h"

namespace Tavo::Platform::Midi::Wire {

namespace {

bool ProcessRuns(const std::string& id)
{
    size_t a = id.find('-');
    size_t b = a == std::string::npos ? a : id.find('-', a + 1);
    if (b == std::string::npos)
        return false;
    pid_t pid = static_cast<pid_t>(std::strtol(id.substr(a + 1, b - a - 1).c_str(), nullptr, 10));
    return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH);
}

int WithAddress(const std::string& folder, const std::string& file, int fd, bool bindIt)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = folder + "/" + file;
    int dirFd = -1;
    if (path.size() >= sizeof addr.sun_path) {
        dirFd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0)
            return -1;
        path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + file;
        if (path.size() >= sizeof addr.sun_path) {
            close(dirFd);
            return -1;
        }
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    auto* sa = reinterpret_cast<sockaddr*>(&addr);
    int r = bindIt ? bind(fd, sa, sizeof addr) : connect(fd, sa, sizeof addr);
    if (dirFd >= 0)
        close(dirFd);
    return r;
}

// Repeats partial transfers until all bytes have moved; false when the
// peer is gone or on errors.
template <class Byte, class Io>
bool MoveAll(Byte* data, size_t size, Io io)
{
    while (size > 0) {
        ssize_t n = io(data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size)
{
    return MoveAll(data, size, [fd](const uint8_t* p, size_t n) { return send(fd, p, n, MSG_NOSIGNAL); });
}

bool ReadAll(int fd, uint8_t* data, size_t size)
{
    return MoveAll(data, size, [fd](uint8_t* p, size_t n) { return recv(fd, p, n, 0); });
}

}  // namespace

std::string MidiFolder()
{
    return PlatformFolder("midi");
}

std::string FoundMidiFolder()
{
    return ExistingPlatformFolder("midi");
}

std::vector<DeviceFile> ListDevices(const std::string& folder)
{
    std::vector<DeviceFile> devices;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return devices;
    std::vector<std::string> ids;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dev") == 0)
            ids.push_back(name.substr(0, name.size() - 4));
    }
    closedir(dir);
    // Ids begin with the publishing time in fixed-width hex.
    std::sort(ids.begin(), ids.end());
    for (const std::string& id : ids) {
        if (!ProcessRuns(id))
            continue;
        std::string text;
        if (!ReadWholeFile(folder + "/" + id + ".dev", text, 1 << 16))
            continue;
        std::vector<std::string> names;
        ForEachLine(text, [&](std::string_view line) {
            names.emplace_back(line);
            return names.size() < 2;
        });
        if (names.size() < 2)
            continue;
        const std::string& input = names[0];
        const std::string& output = names[1];
        devices.push_back({id, FromUtf8(input), FromUtf8(output)});
    }
    return devices;
}

int Connect(const std::string& folder, const std::string& file)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (WithAddress(folder, file, fd, false) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int Listen(const std::string& folder, const std::string& file)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (WithAddress(folder, file, fd, true) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteFrame(int fd, uint8_t type, const uint8_t* payload, size_t size)
{
    if (size + 1 > kMaxFrame)
        return false;
    std::vector<uint8_t> head;
    Append32(head, static_cast<uint32_t>(size + 1));
    head.push_back(type);
    if (size <= 256) {
        head.insert(head.end(), payload, payload + size);
        return WriteAll(fd, head.data(), head.size());
    }
    return WriteAll(fd, head.data(), head.size()) && WriteAll(fd, payload, size);
}

bool ReadFrame(int fd, uint8_t& type, std::vector<uint8_t>& payload)
{
    uint8_t head[5];
    if (!ReadAll(fd, head, sizeof head))
        return false;
    uint32_t length = Get32(head);
    if (length == 0 || length > kMaxFrame)
        return false;
    type = head[4];
    payload.resize(length - 1);
    return ReadAll(fd, payload.data(), payload.size());
}

int FrameBuffer::Next(uint8_t& type, std::vector<uint8_t>& payload)
{
    size_t avail = mBytes.size() - mStart;
    if (avail < 5)
        return 0;
    uint32_t length = Get32(mBytes.data() + mStart);
    if (length == 0 || length > kMaxFrame)
        return -1;
    if (avail < 4 + static_cast<size_t>(length))
        return 0;
    type = mBytes[mStart + 4];
    payload.assign(mBytes.begin() + static_cast<ptrdiff_t>(mStart + 5),
                   mBytes.begin() + static_cast<ptrdiff_t>(mStart + 4 + length));
    mStart += 4 + length;
    if (mStart == mBytes.size()) {
        mBytes.clear();
        mStart = 0;
    } else if (mStart > 4096) {
        mBytes.erase(mBytes.begin(), mBytes.begin() + static_cast<ptrdiff_t>(mStart));
        mStart = 0;
    }
    return 1;
}

}  // namespace Tavo::Platform::Midi::Wire
