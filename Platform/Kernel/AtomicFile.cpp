#include "Platform/Kernel/AtomicFile.h"

#include <cerrno>
#include <climits>
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

namespace {

// The end of the chain of symbolic links that starts at path (path itself
// when it is no link, or missing); empty for a loop.
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || size_t(n) >= sizeof target)
            return path;
        std::string next(target, size_t(n));
        const size_t slash = path.rfind('/');
        if (next.front() != '/' && slash != std::string::npos)
            next = path.substr(0, slash + 1) + next;
        path = std::move(next);
    }
    return {};
}

}  // namespace

UserFileWrite WriteUserFile(const std::string& path, std::string_view contents, unsigned mode)
{
    const std::string target = FollowLinks(path);
    if (target.empty())
        return UserFileWrite::Failed;
    struct stat st
    {
    };
    if (lstat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return UserFileWrite::NotRegularFile;
        // The owner's own say, whoever runs the program (root may write anyway).
        if ((st.st_mode & S_IWUSR) == 0)
            return UserFileWrite::ReadOnly;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return UserFileWrite::Failed;
    }
    return WriteFileAtomically(target, contents, mode) ? UserFileWrite::Written : UserFileWrite::Failed;
}

bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes)
{
    contents.clear();
    // Without O_NONBLOCK, opening a FIFO waits for a writer that never comes.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
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
