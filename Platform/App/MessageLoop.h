#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Tavo::Platform::App {

// The user-interface thread's message loop. Messages are posted tasks, timer
// ticks and ready file descriptors; whenever no message is waiting the idle
// handler is called with a count that starts at 0 and grows by one per call,
// until it returns false; the next message starts a new idle period at 0.
class IMessageLoop
{
public:
    using Task = std::function<void()>;
    using TimerHandler = std::function<void(uint32_t timerId)>;
    using FdHandler = std::function<void(int fd, short revents)>;
    using IdleHandler = std::function<bool(int32_t idleCount)>;

    virtual ~IMessageLoop() = default;

    // Thread-safe; the loop must outlive every poster.
    virtual void Post(Task task) = 0;
    // Thread-safe; Run returns exitCode once the messages posted before it ran.
    virtual void PostQuit(int32_t exitCode) = 0;

    // Loop thread only. Setting an existing id restarts it with the new
    // period and handler. Ticks that were missed are coalesced into one.
    virtual bool SetTimer(uint32_t timerId, uint32_t periodMs, TimerHandler handler) = 0;
    virtual bool KillTimer(uint32_t timerId) = 0;

    // Loop thread only. events as for poll(); the handler runs as a message.
    virtual bool AddFd(int fd, short events, FdHandler handler) = 0;
    virtual bool RemoveFd(int fd) = 0;
    // Loop thread only. For a descriptor whose reader buffers input (a
    // display connection): asked before every wait; true makes the
    // descriptor count as readable without waiting.
    virtual bool SetFdBufferedProbe(int fd, std::function<bool()> probe) = 0;

    virtual void SetIdleHandler(IdleHandler handler) = 0;

    // Runs on the calling thread until a quit message; returns its code. A
    // message may run the loop again (a modal loop); each quit ends the
    // innermost run.
    virtual int32_t Run() = 0;
};

class MessageLoop final : public IMessageLoop
{
public:
    MessageLoop();
    ~MessageLoop() override;
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    void Post(Task task) override;
    void PostQuit(int32_t exitCode) override;
    bool SetTimer(uint32_t timerId, uint32_t periodMs, TimerHandler handler) override;
    bool KillTimer(uint32_t timerId) override;
    bool AddFd(int fd, short events, FdHandler handler) override;
    bool RemoveFd(int fd) override;
    bool SetFdBufferedProbe(int fd, std::function<bool()> probe) override;
    void SetIdleHandler(IdleHandler handler) override;
    int32_t Run() override;

private:
    struct Message
    {
        enum class Kind { Task, Quit, Timer, Fd } kind;
        Task task;
        int32_t exitCode = 0;
        uint32_t timerId = 0;
        uint64_t timerGeneration = 0;
        int fd = -1;
        uint64_t fdGeneration = 0;
        short revents = 0;
    };
    struct Timer
    {
        uint64_t periodNs;
        uint64_t dueNs;
        uint64_t generation;
        std::shared_ptr<TimerHandler> handler;
    };
    struct Watch
    {
        short events;
        uint64_t generation;
        std::shared_ptr<FdHandler> handler;
        std::function<bool()> buffered;
    };

    // Fills mPending from the inbox, the descriptors and the timers, waiting
    // up to the next timer (or forever) when block is set.
    void Gather(bool block);
    bool HasMessage();
    void Dispatch(Message& msg, bool& quit, int32_t& exitCode);

    int mWakeFd;
    std::mutex mInboxLock;
    std::deque<Message> mInbox;  // guarded by mInboxLock

    // Loop thread only.
    std::deque<Message> mPending;
    std::map<uint32_t, Timer> mTimers;
    std::map<int, Watch> mWatches;
    uint64_t mNextGeneration = 1;
    IdleHandler mIdle;
};

// The process's one user-interface loop, made on first use.
IMessageLoop& MainMessageLoop();

}  // namespace Tavo::Platform::App
