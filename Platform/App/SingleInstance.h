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

namespace Tavo::Platform::App {

// Outcome of handing a command line to the first copy.
enum class HandOverResult {
    Taken,        // the first copy received it and accepted it
    Refused,      // the first copy received it and turned it down
    NoFirstCopy,  // nobody serves yet: run like a first copy
    TooLarge,     // nothing sent: above the size cap
    Failed        // connection broke or timed out
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

    static constexpr uint32_t kCopyDataCode = 1125;
    // Bytes of one hand-over, the terminating zero included.
    static constexpr size_t kMaxMessage = 64 * 1024;

    virtual ~ISingleInstance() = default;

    // True for the first copy, also when no lock could be made at all (the
    // program must still start).
    virtual bool Acquire() = 0;
    // First copy only, once its main window exists. Serving ends (on the
    // loop's thread) before the loop is destroyed.
    virtual bool StartServing(IMessageLoop& loop, Receiver receiver) = 0;
    virtual HandOverResult HandOver(std::string_view commandLine, uint32_t timeoutMs = 5000) = 0;
};

class SingleInstance final : public ISingleInstance
{
public:
    explicit SingleInstance(std::string applicationName);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool Acquire() override;
    bool StartServing(IMessageLoop& loop, Receiver receiver) override;
    // Loop thread only.
    void StopServing();
    HandOverResult HandOver(std::string_view commandLine, uint32_t timeoutMs = 5000) override;

    const std::string& LockPath() const { return mLockPath; }
    const std::string& SocketPath() const { return mSocketPath; }

private:
    struct Connection
    {
        std::vector<uint8_t> data;  // header, then the text
        uint32_t length = 0;        // of the text, once the header is in
        uint64_t acceptedMs = 0;
    };

    void OnAccept();
    void OnReadable(int fd);
    void Drop(int fd);
    void Finish(int fd, bool taken);

    std::string mLockPath;
    std::string mSocketPath;
    int mLockFd = -1;
    bool mOwnsLock = false;
    int mListenFd = -1;
    IMessageLoop* mLoop = nullptr;
    Receiver mReceiver;
    std::map<int, Connection> mConnections;
};

// In-memory stand-in: copies of the same name in one process share a table.
class FakeSingleInstance final : public ISingleInstance
{
public:
    explicit FakeSingleInstance(std::string applicationName);
    ~FakeSingleInstance() override;

    bool Acquire() override;
    bool StartServing(IMessageLoop& loop, Receiver receiver) override;
    HandOverResult HandOver(std::string_view commandLine, uint32_t timeoutMs = 5000) override;

private:
    std::string mName;
    bool mOwns = false;
};

}  // namespace Tavo::Platform::App
