#pragma once

// Image files for the transfer tests: each file's bytes are its own, so a
// device that got another file shows it; and what a device receives of one.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "Pace.h"
#include "SimProcess.h"

// Writes `size` bytes made from `seed` at `path`, making its folders; the bytes.
inline std::vector<uint8_t> WriteDistinctImage(const std::string& path, size_t size, uint8_t seed)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 31 + seed + i / 251);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(size));
    return bytes;
}

// The image zero-padded to whole chunks: what the device gets of it.
inline std::vector<uint8_t> Padded(std::vector<uint8_t> image)
{
    image.resize(PaddedSize(image.size()), 0);
    return image;
}

// What can stand at an image's path instead of a regular file.
enum class StandIn { Fifo, Socket, Folder, DevZero };

inline const char* StandInName(StandIn kind)
{
    static const char* const names[] = {"Fifo", "Socket", "Folder", "DevZero"};
    return names[int(kind)];
}

inline void PrintTo(StandIn kind, std::ostream* os)
{
    *os << StandInName(kind);
}

// Replaces the file at `path` by `kind`, made beside it and renamed over it
// (a folder cannot be).
inline bool ReplaceImage(const std::string& path, StandIn kind)
{
    const std::string made = path + ".new";
    if (kind == StandIn::Folder)
        return unlink(path.c_str()) == 0 && mkdir(path.c_str(), 0700) == 0;
    const bool ok = kind == StandIn::DevZero
                        ? symlink("/dev/zero", made.c_str()) == 0
                        : mknod(made.c_str(), (kind == StandIn::Fifo ? S_IFIFO : S_IFSOCK) | 0600, 0) == 0;
    return ok && rename(made.c_str(), path.c_str()) == 0;
}

// A process that opens a FIFO for writing and waits there for a reader,
// then writes one byte.
class WaitingWriter
{
public:
    explicit WaitingWriter(const std::string& fifo) : mFifo(fifo)
    {
        // No death signal: it would come when the forking thread ends. A
        // writer left by a crashed test is ended by the test's launcher.
        mPid = fork();
        if (mPid == 0) {
            const int fd = open(fifo.c_str(), O_WRONLY);
            _exit(fd >= 0 && write(fd, "x", 1) == 1 ? 0 : 3);
        }
    }
    ~WaitingWriter()
    {
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
    }
    WaitingWriter(const WaitingWriter&) = delete;
    WaitingWriter& operator=(const WaitingWriter&) = delete;

    // Blocked in its open: the kernel names the FIFO's wait or, where it
    // names none, the process sleeps (it does nothing else).
    bool Waits() const
    {
        const std::string proc = "/proc/" + std::to_string(mPid);
        return Within(30, [&] {
            std::string where;
            std::ifstream(proc + "/wchan") >> where;
            if (!where.empty() && where != "0")
                return where == "wait_for_partner";
            std::string stat;
            std::getline(std::ifstream(proc + "/stat"), stat);
            const size_t end = stat.rfind(')');
            return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'S';
        });
    }

    // Opens the reading end: a writer still waiting writes its byte, which
    // arrives here. False when nobody writes it: someone else's open let the
    // writer go before (and its byte went nowhere, or SIGPIPE ended it).
    bool StillWaiting()
    {
        const int fd = open(mFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        char byte = 0;
        bool ended = false;
        Within(60, [&] {
            if (read(fd, &byte, 1) == 1)
                return true;
            ended = waitpid(mPid, nullptr, WNOHANG) == mPid;
            return ended;
        });
        // Its byte may have come just before it ended.
        if (ended && byte == 0 && read(fd, &byte, 1) != 1)
            byte = 0;
        close(fd);
        if (ended)
            mPid = -1;
        return byte == 'x';
    }

private:
    std::string mFifo;
    pid_t mPid = -1;
};
