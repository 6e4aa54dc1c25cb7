#include "Platform/App/SingleInstance.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "Platform/App/Folders.h"
#include "Platform/Kernel/LittleEndian.h"

namespace Tavo::Platform::App {

namespace {

constexpr size_t kHeaderSize = 8;  // code, length; both little-endian u32
constexpr size_t kMaxConnections = 4;
constexpr uint64_t kConnectionLifeMs = 5000;
// How long a later copy looks for the socket of a copy that holds the lock:
// the holder makes it right after taking the lock.
constexpr uint64_t kSocketWaitMs = 2000;
constexpr int kBacklog = 64;

uint64_t NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

std::string FileStem(const std::string& applicationName)
{
    std::string stem = applicationName + "Prevent";
    for (char& c : stem) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    }
    if (stem.front() == '.')
        stem.front() = '_';
    return stem;
}

bool PeerIsUs(int fd)
{
    ucred cred{};
    socklen_t len = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == geteuid();
}

bool FillAddress(const std::string& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// The sockets this process made, for the abrupt ways out, where only
// async-signal-safe calls may run: each path in a fixed buffer, claimed and
// given back through a lock-free state.
enum MadeState : int {
    kSlotFree,
    kSlotNoting,     // the owner writes the path
    kSlotArmed,      // a way out may remove it
    kSlotReleasing,  // the owner removes it, still holding the lock
    kSlotRemoving,   // a way out removes it
    kSlotRemoved
};

struct MadeSocket
{
    std::atomic<int> state{kSlotFree};
    char path[PATH_MAX] = {};
};

static_assert(std::atomic<int>::is_always_lock_free);
constexpr size_t kMadeSlots = 4;
constinit MadeSocket gMade[kMadeSlots];

// The slot now holding path, or -1 when it does not fit or all are taken
// (that socket then goes only on the orderly ways out).
int NoteMadeSocket(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (size_t i = 0; i < kMadeSlots; ++i) {
        int free = kSlotFree;
        if (gMade[i].state.compare_exchange_strong(free, kSlotNoting)) {
            std::memcpy(gMade[i].path, path.c_str(), path.size() + 1);
            gMade[i].state.store(kSlotArmed);
            return int(i);
        }
    }
    return -1;
}

// Waits for a way out busy on the slot: once it returns, nothing unlinks
// that path any more, so the lock may go and a later copy bind there.
void WaitForWayOut(MadeSocket& made)
{
    while (made.state.load() == kSlotRemoving)
        sched_yield();
}

// Removes the socket this copy made at path (unless a way out did) and
// frees its slot; before the lock goes.
void RemoveMadeSocket(int slot, const std::string& path)
{
    if (slot < 0) {
        unlink(path.c_str());
        return;
    }
    MadeSocket& made = gMade[slot];
    int armed = kSlotArmed;
    if (made.state.compare_exchange_strong(armed, kSlotReleasing)) {
        unlink(path.c_str());
        int releasing = kSlotReleasing;
        if (!made.state.compare_exchange_strong(releasing, kSlotFree))
            WaitForWayOut(made);
    } else {
        WaitForWayOut(made);
    }
    made.state.store(kSlotFree);
}

// Waits for fd to become ready for events until deadlineMs; false on time-out.
bool WaitReady(int fd, short events, uint64_t deadlineMs)
{
    for (;;) {
        const uint64_t now = NowMs();
        if (now >= deadlineMs)
            return false;
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, int(deadlineMs - now));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
    }
}

}  // namespace

SingleInstance::SingleInstance(std::string applicationName)
{
    RuntimeFolder found = FindUserRuntimeFolder();
    mTrouble = std::move(found.refused);
    const std::string folder = found.path;
    if (folder.empty())
        return;
    const std::string stem = FileStem(applicationName);
    mFolder = folder;
    mSocketName = stem + ".sock";
    mLockPath = folder + "/" + stem + ".lock";
    mSocketPath = folder + "/" + mSocketName;
}

SingleInstance::~SingleInstance()
{
    if (mListenFd >= 0)
        StopServing();
    if (mLockFd >= 0)
        close(mLockFd);
    if (mFolderFd >= 0)
        close(mFolderFd);
}

bool SingleInstance::Acquire()
{
    if (mOwnsLock)
        return true;
    if (mLockPath.empty())
        return true;
    if (mLockFd < 0)
        mLockFd = open(mLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (mLockFd < 0) {
        mTrouble.push_back(mLockPath + ": the lock cannot be made (" + std::strerror(errno) + ")");
        return true;
    }
    if (flock(mLockFd, LOCK_EX | LOCK_NB) == 0) {
        mOwnsLock = true;
        // At once, so a later copy that sees the lock taken finds the socket;
        // what it sends waits in the queue until serving starts.
        Listen();
        return true;
    }
    return errno != EWOULDBLOCK;
}

bool SingleInstance::SocketAddress(sockaddr_un& addr, std::string& why)
{
    if (FillAddress(mSocketPath, addr))
        return true;
    // A long folder's path does not fit the address; the name of a
    // descriptor of it under /proc is short and reaches the same file.
    if (mFolderFd < 0)
        mFolderFd = open(mFolder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (mFolderFd < 0) {
        why = std::string("its folder cannot be opened: ") + std::strerror(errno);
        return false;
    }
    if (FillAddress("/proc/self/fd/" + std::to_string(mFolderFd) + "/" + mSocketName, addr))
        return true;
    why = "its name is too long for a socket address";
    return false;
}

bool SingleInstance::Listen()
{
    const auto trouble = [this](const std::string& why) {
        mSocketTrouble = mSocketPath + ": the hand-over socket cannot be made (" + why + ")";
        return false;
    };
    sockaddr_un addr{};
    std::string why;
    if (!SocketAddress(addr, why))
        return trouble(why);
    // Holding the lock makes any socket file left here a stale one.
    unlink(mSocketPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return trouble(std::strerror(errno));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        close(fd);
        const bool throughProc = mSocketPath != addr.sun_path;
        return trouble(std::strerror(err) +
                       std::string(throughProc ? ", reached through /proc/self/fd" : ""));
    }
    mMadeSlot = NoteMadeSocket(mSocketPath);
    if (chmod(mSocketPath.c_str(), 0600) != 0 || listen(fd, kBacklog) != 0) {
        const int err = errno;
        close(fd);
        RemoveMadeSocket(mMadeSlot, mSocketPath);
        mMadeSlot = -1;
        return trouble(std::strerror(err));
    }
    mListenFd = fd;
    mSocketTrouble.clear();
    return true;
}

bool SingleInstance::StartServing(IMessageLoop& loop, Receiver receiver, Raiser raiser)
{
    if (!mOwnsLock || mServing || !receiver || (mListenFd < 0 && !Listen()))
        return false;
    mServing = true;
    mLoop = &loop;
    mReceiver = std::move(receiver);
    mRaiser = std::move(raiser);
    loop.AddFd(mListenFd, POLLIN, [this](int, short) { OnAccept(); });
    return true;
}

void SingleInstance::StopServing()
{
    while (!mConnections.empty())
        Drop(mConnections.begin()->first);
    if (mListenFd >= 0) {
        if (mServing)
            mLoop->RemoveFd(mListenFd);
        close(mListenFd);
        mListenFd = -1;
        RemoveMadeSocket(mMadeSlot, mSocketPath);
        mMadeSlot = -1;
    }
    mServing = false;
    mReceiver = nullptr;
    mRaiser = nullptr;
}

void SingleInstance::Release()
{
    StopServing();
    // The socket goes first: a copy that finds the lock free finds no
    // socket of this copy's left to wait on.
    if (mLockFd >= 0)
        close(mLockFd);
    mLockFd = -1;
    mOwnsLock = false;
}

void SingleInstance::OnAccept()
{
    // A sender that stalls must not hold a slot for ever.
    const uint64_t now = NowMs();
    std::vector<int> stale;
    for (const auto& [fd, connection] : mConnections) {
        if (now - connection.acceptedMs > kConnectionLifeMs)
            stale.push_back(fd);
    }
    for (int fd : stale)
        Drop(fd);
    const int fd = accept4(mListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (!PeerIsUs(fd) || mConnections.size() >= kMaxConnections) {
        close(fd);
        return;
    }
    mConnections[fd].acceptedMs = now;
    mLoop->AddFd(fd, POLLIN, [this](int readyFd, short) { OnReadable(readyFd); });
}

void SingleInstance::OnReadable(int fd)
{
    auto it = mConnections.find(fd);
    if (it == mConnections.end())
        return;
    Connection& c = it->second;
    // Never read past what the header announced.
    const size_t wanted = c.data.size() < kHeaderSize ? kHeaderSize : kHeaderSize + c.length;
    const size_t have = c.data.size();
    c.data.resize(wanted);
    const ssize_t n = recv(fd, c.data.data() + have, wanted - have, 0);
    if (n <= 0) {
        c.data.resize(have);
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            Drop(fd);
        return;
    }
    c.data.resize(have + size_t(n));
    if (c.data.size() == kHeaderSize && have < kHeaderSize) {
        const uint32_t code = Get32(c.data.data());
        c.length = Get32(c.data.data() + 4);
        if (code != kCopyDataCode) {
            Drop(fd);
            return;
        }
        if (c.length == 0) {
            // A copy whose command line was too long: only the raise.
            Raiser raiser = mRaiser;
            const bool raised = raiser && raiser();
            if (mConnections.count(fd) != 0)
                Finish(fd, raised);
            return;
        }
        if (c.length > kMaxMessage) {
            Finish(fd, false);
            return;
        }
        c.data.reserve(kHeaderSize + c.length);
    }
    if (c.data.size() < kHeaderSize || c.data.size() < kHeaderSize + c.length)
        return;
    if (c.data.back() != 0) {
        Finish(fd, false);
        return;
    }
    const std::string text(reinterpret_cast<const char*>(c.data.data() + kHeaderSize));
    // Copy: the receiver may stop serving, which clears mReceiver.
    Receiver receiver = mReceiver;
    const bool taken = receiver && receiver(text);
    if (mConnections.count(fd) != 0)
        Finish(fd, taken);
}

void SingleInstance::Finish(int fd, bool taken)
{
    const uint8_t reply = taken ? 1 : 0;
    [[maybe_unused]] ssize_t n = send(fd, &reply, 1, MSG_NOSIGNAL);
    Drop(fd);
}

void SingleInstance::Drop(int fd)
{
    mLoop->RemoveFd(fd);
    close(fd);
    mConnections.erase(fd);
}

HandOverResult SingleInstance::HandOver(std::string_view commandLine, uint32_t timeoutMs)
{
    const bool tooLarge = commandLine.size() + 1 > kMaxMessage;
    // A text too long to send still raises the first copy's window: a
    // message of no text asks for that alone.
    std::vector<uint8_t> message(kHeaderSize + (tooLarge ? 0 : commandLine.size() + 1), 0);
    Put32(message.data(), kCopyDataCode);
    if (!tooLarge) {
        Put32(message.data() + 4, uint32_t(commandLine.size() + 1));
        std::memcpy(message.data() + kHeaderSize, commandLine.data(), commandLine.size());
    }
    const uint64_t lastTry = NowMs() + timeoutMs + kSocketWaitMs;
    uint64_t socketDeadline = NowMs() + kSocketWaitMs;
    for (;;) {
        bool unanswered = false;
        const HandOverResult result = Exchange(message, timeoutMs, unanswered);
        if (result != HandOverResult::NoFirstCopy && !(unanswered && NowMs() < lastTry))
            return tooLarge ? HandOverResult::TooLarge : result;
        // Closed without an answer: the first copy is ending (or never
        // showed a window) and its lock will be free in a moment.
        if (unanswered)
            socketDeadline = NowMs() + kSocketWaitMs;
        // No socket while the lock is held: its holder is making it, or
        // ended a moment ago and the lock is free to take.
        if (Acquire() || mLockFd < 0)
            return HandOverResult::NoFirstCopy;
        // Or it could make none (an older copy in a folder too long for
        // it): running beside it would make two windows.
        if (NowMs() >= socketDeadline) {
            mSocketTrouble = mSocketPath + ": the running copy's hand-over socket cannot be reached (" +
                             mExchangeTrouble + ")";
            return HandOverResult::Unreachable;
        }
        const timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

HandOverResult SingleInstance::Exchange(const std::vector<uint8_t>& message, uint32_t timeoutMs,
                                        bool& unanswered)
{
    sockaddr_un addr{};
    if (!SocketAddress(addr, mExchangeTrouble))
        return HandOverResult::NoFirstCopy;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return HandOverResult::Failed;
    // A full queue makes connect wait: no longer than the whole exchange.
    const timeval limit{time_t(timeoutMs / 1000), suseconds_t(timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        close(fd);
        mExchangeTrouble = err == ENOENT ? "there is none" : std::strerror(err);
        return err == ENOENT || err == ECONNREFUSED ? HandOverResult::NoFirstCopy : HandOverResult::Failed;
    }
    if (!PeerIsUs(fd)) {
        close(fd);
        return HandOverResult::Failed;
    }
    const uint64_t deadline = NowMs() + timeoutMs;
    size_t sent = 0;
    while (sent < message.size()) {
        if (!WaitReady(fd, POLLOUT, deadline)) {
            close(fd);
            return HandOverResult::Failed;
        }
        const ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            unanswered = errno == EPIPE || errno == ECONNRESET;
            close(fd);
            return HandOverResult::Failed;
        }
        if (n > 0)
            sent += size_t(n);
    }
    uint8_t reply = 0;
    ssize_t n = -1;
    int err = 0;
    while (WaitReady(fd, POLLIN, deadline)) {
        n = recv(fd, &reply, 1, MSG_DONTWAIT);
        err = n < 0 ? errno : 0;
        if (n >= 0 || (err != EAGAIN && err != EINTR))
            break;
    }
    unanswered = n == 0 || (n < 0 && err == ECONNRESET);
    close(fd);
    if (n != 1)
        return HandOverResult::Failed;
    return reply == 1 ? HandOverResult::Taken : HandOverResult::Refused;
}

void RemoveHandOverSockets()
{
    const int saved = errno;
    for (MadeSocket& made : gMade) {
        for (int from : {kSlotArmed, kSlotReleasing}) {
            if (made.state.compare_exchange_strong(from, kSlotRemoving)) {
                unlink(made.path);
                made.state.store(kSlotRemoved);
                break;
            }
        }
    }
    errno = saved;
}

namespace {

struct FakeTable
{
    std::mutex lock;
    struct Owner
    {
        IMessageLoop* loop = nullptr;
        ISingleInstance::Receiver receiver;
        ISingleInstance::Raiser raiser;
    };
    std::map<std::string, Owner> owners;
};

FakeTable& Fakes()
{
    static FakeTable* table = new FakeTable();
    return *table;
}

}  // namespace

FakeSingleInstance::FakeSingleInstance(std::string applicationName) : mName(applicationName + "Prevent") {}

FakeSingleInstance::~FakeSingleInstance()
{
    if (mOwns) {
        std::lock_guard guard(Fakes().lock);
        Fakes().owners.erase(mName);
    }
}

bool FakeSingleInstance::Acquire()
{
    std::lock_guard guard(Fakes().lock);
    if (mOwns)
        return true;
    mOwns = Fakes().owners.emplace(mName, FakeTable::Owner{}).second;
    return mOwns;
}

void FakeSingleInstance::Release()
{
    std::lock_guard guard(Fakes().lock);
    if (mOwns)
        Fakes().owners.erase(mName);
    mOwns = false;
}

bool FakeSingleInstance::StartServing(IMessageLoop& loop, Receiver receiver, Raiser raiser)
{
    std::lock_guard guard(Fakes().lock);
    if (!mOwns || !receiver)
        return false;
    Fakes().owners[mName] = {&loop, std::move(receiver), std::move(raiser)};
    return true;
}

HandOverResult FakeSingleInstance::HandOver(std::string_view commandLine, uint32_t)
{
    Receiver receiver;
    Raiser raiser;
    {
        std::lock_guard guard(Fakes().lock);
        auto it = Fakes().owners.find(mName);
        if (it == Fakes().owners.end() || !it->second.receiver)
            return HandOverResult::NoFirstCopy;
        receiver = it->second.receiver;
        raiser = it->second.raiser;
    }
    if (commandLine.size() + 1 > kMaxMessage) {
        if (raiser)
            raiser();
        return HandOverResult::TooLarge;
    }
    // Delivered directly: the fake is for single-threaded framework tests.
    const std::string text(commandLine.data(), commandLine.size());
    return receiver(text.c_str()) ? HandOverResult::Taken : HandOverResult::Refused;
}

}  // namespace Tavo::Platform::App
