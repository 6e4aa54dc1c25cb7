#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/App/MessageLoop.h"

struct sockaddr_un;

namespace Tavo::Platform::App {

// Outcome of handing a command line to the first copy.
enum class HandOverResult {
    Taken,        // the first copy received it and accepted it
    Refused,      // the first copy received it and turned it down
    NoFirstCopy,  // nobody serves yet: run like a first copy
    TooLarge,     // nothing sent: above the size cap
    Failed,       // connection broke or timed out
    Unreachable   // a copy holds the lock but has no socket this one can reach
};

// One running copy per user and application. The lock is named after the
// application with "Prevent" appended; the first copy serves a socket beside
// it on which later copies hand over their command line.
class ISingleInstance
{
public:
    // Receives the UTF-8 command line (up to its terminating zero) on the
    // loop's thread; returns whether it was taken.
    using Receiver = std::function<bool(const std::string& commandLine)>;
    // Brings the first copy's window up for a copy whose command line is
    // too long to hand over; returns whether it did.
    using Raiser = std::function<bool()>;

    static constexpr uint32_t kCopyDataCode = 1125;
    // Bytes of one hand-over, the terminating zero included.
    static constexpr size_t kMaxMessage = 64 * 1024;

    virtual ~ISingleInstance() = default;

    // True for the first copy, also when no lock could be made in a trusted
    // folder (see Trouble). The first copy's socket exists from here on, so
    // a later copy always finds it; what it sends waits until serving starts.
    // Where none can be made, SocketTrouble says why.
    virtual bool Acquire() = 0;
    // First copy only, once its main window exists. Serving ends (on the
    // loop's thread) before the loop is destroyed.
    virtual bool StartServing(IMessageLoop& loop, Receiver receiver, Raiser raiser = nullptr) = 0;
    // A later copy's command line to the first copy. Above the size cap the
    // first copy is only asked to raise its window, and TooLarge comes back.
    // NoFirstCopy when no copy holds the lock any longer (this one may hold
    // it now), or when the first copy ended without taking the text; also
    // for a text too long to send. Unreachable when the holder has had no
    // socket this copy can reach for a while (see SocketTrouble).
    virtual HandOverResult HandOver(std::string_view commandLine, uint32_t timeoutMs = 5000) = 0;
    // Gives the lock and the socket up: a run that shows no window guards
    // nobody, and a copy started beside it runs in full. Waiting copies are
    // turned away and take the lock themselves.
    virtual void Release() = 0;
    // What keeps the guard from its usual folder, one line each; empty when
    // nothing did.
    virtual std::vector<std::string> Trouble() const { return {}; }
    // False when no folder for the lock could be trusted at all.
    virtual bool Guarded() const { return true; }
    // Why this copy could make no socket, or reach none of the copy holding
    // the lock, in one line; empty when nothing kept it.
    virtual std::string SocketTrouble() const { return {}; }
};

class SingleInstance final : public ISingleInstance
{
public:
    explicit SingleInstance(std::string applicationName);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool Acquire() override;
    bool StartServing(IMessageLoop& loop, Receiver receiver, Raiser raiser = nullptr) override;
    // Loop thread only.
    void StopServing();
    HandOverResult HandOver(std::string_view commandLine, uint32_t timeoutMs = 5000) override;
    void Release() override;
    std::vector<std::string> Trouble() const override { return mTrouble; }
    bool Guarded() const override { return !mLockPath.empty(); }
    std::string SocketTrouble() const override { return mSocketTrouble; }

    const std::string& LockPath() const { return mLockPath; }
    const std::string& SocketPath() const { return mSocketPath; }

private:
    struct Connection
    {
        std::vector<uint8_t> data;  // header, then the text
        uint32_t length = 0;        // of the text, once the header is in
        uint64_t acceptedMs = 0;
    };

    bool Listen();
    // Where to bind or connect; false with the reason in `why`.
    bool SocketAddress(sockaddr_un& addr, std::string& why);
    // Connects and sends message; Failed, NoFirstCopy or the reply.
    // unanswered: the first copy closed the connection without a reply.
    HandOverResult Exchange(const std::vector<uint8_t>& message, uint32_t timeoutMs, bool& unanswered);
    void OnAccept();
    void OnReadable(int fd);
    void Drop(int fd);
    void Finish(int fd, bool taken);

    std::string mFolder;
    std::string mSocketName;
    std::string mLockPath;
    std::string mSocketPath;
    // The folder, opened only for a socket path too long to bind directly.
    int mFolderFd = -1;
    // Where the ways out find the socket this copy made; -1 when none.
    int mMadeSlot = -1;
    std::string mSocketTrouble;
    // Why the last exchange found nothing to connect to.
    std::string mExchangeTrouble;
    int mLockFd = -1;
    bool mOwnsLock = false;
    int mListenFd = -1;
    bool mServing = false;
    std::vector<std::string> mTrouble;
    IMessageLoop* mLoop = nullptr;
    Receiver mReceiver;
    Raiser mRaiser;
    std::map<int, Connection> mConnections;
};

// For the abrupt ways out (a signal, a lost display): removes the sockets
// this process made and still serves, none that a later first copy made
// after this one gave its lock up. Async-signal-safe.
void RemoveHandOverSockets();

// In-memory stand-in: copies of the same name in one process share a table.
class FakeSingleInstance final : public ISingleInstance
{
public:
    explicit FakeSingleInstance(std::string applicationName);
    ~FakeSingleInstance() override;

    bool Acquire() override;
    bool StartServing(IMessageLoop& loop, Receiver receiver, Raiser raiser = nullptr) override;
    HandOverResult HandOver(std::string_view commandLine, uint32_t timeoutMs = 5000) override;
    void Release() override;

private:
    std::string mName;
    bool mOwns = false;
};

}  // namespace Tavo::Platform::App
