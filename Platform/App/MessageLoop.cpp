#include "Platform/App/MessageLoop.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Tavo::Platform::App {

namespace {

uint64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

}  // namespace

MessageLoop::MessageLoop() : mWakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (mWakeFd < 0)
        throw std::runtime_error("MessageLoop: eventfd failed");
}

MessageLoop::~MessageLoop()
{
    close(mWakeFd);
}

void MessageLoop::Post(Task task)
{
    Message msg{Message::Kind::Task, std::move(task)};
    {
        std::lock_guard lock(mInboxLock);
        mInbox.push_back(std::move(msg));
    }
    const uint64_t one = 1;
    // A full counter still leaves the descriptor readable, so a failed write
    // loses no wake-up.
    [[maybe_unused]] ssize_t n = write(mWakeFd, &one, sizeof one);
}

void MessageLoop::PostQuit(int32_t exitCode)
{
    Message msg{Message::Kind::Quit, nullptr};
    msg.exitCode = exitCode;
    {
        std::lock_guard lock(mInboxLock);
        mInbox.push_back(std::move(msg));
    }
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(mWakeFd, &one, sizeof one);
}

bool MessageLoop::SetTimer(uint32_t timerId, uint32_t periodMs, TimerHandler handler)
{
    if (!handler)
        return false;
    const uint64_t periodNs = uint64_t(periodMs == 0 ? 1 : periodMs) * 1000000u;
    mTimers[timerId] = Timer{periodNs, NowNs() + periodNs, mNextGeneration++,
                             std::make_shared<TimerHandler>(std::move(handler))};
    return true;
}

bool MessageLoop::KillTimer(uint32_t timerId)
{
    // A tick already queued for it is dropped at dispatch (generation check).
    return mTimers.erase(timerId) != 0;
}

bool MessageLoop::AddFd(int fd, short events, FdHandler handler)
{
    if (fd < 0 || !handler || mWatches.count(fd) != 0)
        return false;
    mWatches[fd] = Watch{events, mNextGeneration++, std::make_shared<FdHandler>(std::move(handler)), nullptr};
    return true;
}

bool MessageLoop::RemoveFd(int fd)
{
    return mWatches.erase(fd) != 0;
}

bool MessageLoop::SetFdBufferedProbe(int fd, std::function<bool()> probe)
{
    auto it = mWatches.find(fd);
    if (it == mWatches.end())
        return false;
    it->second.buffered = std::move(probe);
    return true;
}

void MessageLoop::SetIdleHandler(IdleHandler handler)
{
    mIdle = std::move(handler);
}

void MessageLoop::Gather(bool block)
{
    std::vector<pollfd> fds;
    fds.reserve(1 + mWatches.size());
    fds.push_back(pollfd{mWakeFd, POLLIN, 0});
    std::vector<std::pair<int, uint64_t>> watched;
    std::vector<bool> buffered;
    bool anyBuffered = false;
    for (const auto& [fd, watch] : mWatches) {
        fds.push_back(pollfd{fd, watch.events, 0});
        watched.emplace_back(fd, watch.generation);
        // Input already read into a client-side buffer never wakes poll.
        const bool has = watch.buffered && watch.buffered();
        buffered.push_back(has);
        anyBuffered = anyBuffered || has;
    }
    if (anyBuffered)
        block = false;

    timespec timeout{0, 0};
    timespec* timeoutPtr = &timeout;
    if (block) {
        if (mTimers.empty()) {
            timeoutPtr = nullptr;
        } else {
            uint64_t due = UINT64_MAX;
            for (const auto& [id, timer] : mTimers)
                due = std::min(due, timer.dueNs);
            const uint64_t now = NowNs();
            const uint64_t wait = due > now ? due - now : 0;
            timeout.tv_sec = time_t(wait / 1000000000u);
            timeout.tv_nsec = long(wait % 1000000000u);
        }
    }

    const int ready = ppoll(fds.data(), fds.size(), timeoutPtr, nullptr);
    if (ready < 0) {
        for (pollfd& p : fds)
            p.revents = 0;
    }
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = read(mWakeFd, &count, sizeof count);
    }
    {
        std::lock_guard lock(mInboxLock);
        while (!mInbox.empty()) {
            mPending.push_back(std::move(mInbox.front()));
            mInbox.pop_front();
        }
    }
    if (ready > 0 || anyBuffered) {
        for (size_t i = 1; i < fds.size(); ++i) {
            if (buffered[i - 1])
                fds[i].revents |= POLLIN;
            if (fds[i].revents == 0)
                continue;
            Message msg{Message::Kind::Fd, nullptr};
            msg.fd = watched[i - 1].first;
            msg.fdGeneration = watched[i - 1].second;
            msg.revents = fds[i].revents;
            mPending.push_back(std::move(msg));
        }
    }
    if (!mTimers.empty()) {
        const uint64_t now = NowNs();
        for (auto& [id, timer] : mTimers) {
            if (timer.dueNs > now)
                continue;
            Message msg{Message::Kind::Timer, nullptr};
            msg.timerId = id;
            msg.timerGeneration = timer.generation;
            mPending.push_back(std::move(msg));
            timer.dueNs += timer.periodNs;
            if (timer.dueNs <= now)
                timer.dueNs = now + timer.periodNs;
        }
    }
}

bool MessageLoop::HasMessage()
{
    if (mPending.empty())
        Gather(false);
    return !mPending.empty();
}

void MessageLoop::Dispatch(Message& msg, bool& quit, int32_t& exitCode)
{
    switch (msg.kind) {
    case Message::Kind::Task:
        if (msg.task)
            msg.task();
        break;
    case Message::Kind::Quit:
        quit = true;
        exitCode = msg.exitCode;
        break;
    case Message::Kind::Timer: {
        auto it = mTimers.find(msg.timerId);
        if (it == mTimers.end() || it->second.generation != msg.timerGeneration)
            break;
        // The handler may kill or reset its own timer.
        auto handler = it->second.handler;
        (*handler)(msg.timerId);
        break;
    }
    case Message::Kind::Fd: {
        auto it = mWatches.find(msg.fd);
        if (it == mWatches.end() || it->second.generation != msg.fdGeneration)
            break;
        auto handler = it->second.handler;
        (*handler)(msg.fd, msg.revents);
        break;
    }
    }
}

int32_t MessageLoop::Run()
{
    bool idle = true;
    int32_t idleCount = 0;
    for (;;) {
        while (idle && !HasMessage()) {
            if (!mIdle || !mIdle(idleCount++))
                idle = false;
        }
        do {
            if (mPending.empty())
                Gather(true);
            if (mPending.empty())
                continue;
            Message msg = std::move(mPending.front());
            mPending.pop_front();
            bool quit = false;
            int32_t exitCode = 0;
            Dispatch(msg, quit, exitCode);
            if (quit)
                return exitCode;
            idle = true;
            idleCount = 0;
        } while (HasMessage());
    }
}

IMessageLoop& MainMessageLoop()
{
    static MessageLoop* loop = new MessageLoop();
    return *loop;
}

}  // namespace Tavo::Platform::App
