#include "Platform/Midi/MidiWire.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace Tavo::Platform::Midi::Wire {

namespace {

std::string PlatformRoot()
{
    const char* root = std::getenv("TAVO_PLATFORM_ROOT");
    if (root != nullptr && root[0] != '\0')
        return root;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/tavo-platform";
    return "/tmp/tavo-platform-" + std::to_string(getuid());
}

bool MakePrivateFolder(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        if (mkdir(path.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    // A folder someone else planted (shared /tmp) is not used.
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

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
    sockaddr_un addr {};
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

bool WriteAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string MidiFolder()
{
    std::string root = PlatformRoot();
    std::string folder = root + "/midi";
    return MakePrivateFolder(root) && MakePrivateFolder(folder) ? folder : std::string();
}

std::string ToUtf8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(const std::string& text)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<uint8_t>(text[i]);
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            auto n = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            ok = (n & 0xC0) == 0x80;
            c = (c << 6) | (n & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
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
        std::ifstream in(folder + "/" + id + ".dev");
        std::string input, output;
        if (!std::getline(in, input) || !std::getline(in, output))
            continue;
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

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutU64(std::vector<uint8_t>& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t GetU64(const uint8_t* p)
{
    return GetU32(p) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}

bool WriteFrame(int fd, uint8_t type, const uint8_t* payload, size_t size)
{
    if (size + 1 > kMaxFrame)
        return false;
    std::vector<uint8_t> head;
    PutU32(head, static_cast<uint32_t>(size + 1));
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
    uint32_t length = GetU32(head);
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
    uint32_t length = GetU32(mBytes.data() + mStart);
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
