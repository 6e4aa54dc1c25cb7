#include "Platform/Kernel/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Tavo::Platform {

bool WriteFileAtomically(const std::string& path, std::string_view contents, unsigned mode, bool durable)
{
    std::string tmp = path + ".tmp-XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    tmp = name.data();
    bool ok = fchmod(fd, mode) == 0;
    size_t written = 0;
    while (ok && written < contents.size()) {
        const ssize_t n = write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += size_t(n);
    }
    ok = ok && (!durable || fsync(fd) == 0);
    ok = close(fd) == 0 && ok;
    ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(tmp.c_str());
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes)
{
    contents.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (contents.size() + size_t(n) > maxBytes) {
            ok = false;
            break;
        }
        contents.append(buffer, size_t(n));
    }
    close(fd);
    if (!ok)
        contents.clear();
    return ok;
}

}  // namespace Tavo::Platform
