#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "Platform/Driver/DeviceInternal.h"
#include "Platform/Driver/Framing.h"

namespace Tavo::Platform::Driver {

using namespace Internal;

namespace {

// How long a request may wait for its answer, and how long the first frame
// and the server's side of a close may take. Only a hung driver hits these.
constexpr int kReplyTimeoutMs = 10000;
constexpr int kHandshakeTimeoutMs = 5000;
constexpr int kCloseTimeoutMs = 2000;

class SocketTransport final : public Transport
{
public:
    SocketTransport(int fd, std::shared_ptr<HandleState> state) : mFd(fd), mState(std::move(state))
    {
        mWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        mReader = std::thread([this] { Read(); });
    }

    ~SocketTransport() override { Close(); }

    bool Exchange(const Request& request, Reply& reply, uint32_t& error) override
    {
        std::unique_lock<std::mutex> lock(mMutex);
        if (mDead) {
            error = kErrorDeviceNotConnected;
            return false;
        }
        uint32_t sequence = ++mSequence;
        mWaiting[sequence];
        lock.unlock();
        bool sent;
        {
            std::lock_guard<std::mutex> sendLock(mSendMutex);
            sent = Framing::SendFrame(mFd, Framing::EncodeRequest(sequence, request));
        }
        lock.lock();
        bool answered = sent && mAnswered.wait_for(lock, std::chrono::milliseconds(kReplyTimeoutMs),
                                                   [&] { return mDead || mWaiting[sequence].done; });
        auto node = mWaiting.extract(sequence);
        if (node.mapped().done) {
            reply = std::move(node.mapped().reply);
            return true;
        }
        error = answered || mDead || !sent ? kErrorDeviceNotConnected : kErrorGenFailure;
        return false;
    }

    void Close() override
    {
        if (!mReader.joinable())
            return;
        // Half-close and wait for the server to let go of the device, so a
        // new open right after this one finds it free.
        shutdown(mFd, SHUT_WR);
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(mWakeFd, &one, sizeof one);
        mReader.join();
        close(mFd);
        close(mWakeFd);
    }

private:
    void Read()
    {
        std::vector<uint8_t> buffer(Framing::kMaxFrame);
        auto deadline = std::chrono::steady_clock::time_point::max();
        for (;;) {
            int timeout = -1;
            if (deadline != std::chrono::steady_clock::time_point::max()) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0)
                    break;
                timeout = static_cast<int>(left.count());
            }
            pollfd fds[2] = {{mFd, POLLIN, 0}, {mWakeFd, POLLIN, 0}};
            int ready = poll(fds, deadline == std::chrono::steady_clock::time_point::max() ? 2 : 1, timeout);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            if (fds[1].revents != 0) {
                deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseTimeoutMs);
                continue;
            }
            ssize_t n = recv(mFd, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || !Dispatch(buffer.data(), static_cast<size_t>(n)))
                break;
        }
        // The driver is gone (or the handle closed): fail whatever waits.
        mState->Detach();
        std::lock_guard<std::mutex> lock(mMutex);
        mDead = true;
        mAnswered.notify_all();
    }

    bool Dispatch(const uint8_t* data, size_t size)
    {
        switch (Framing::TypeOf(data, size)) {
        case Framing::kReply: {
            uint32_t sequence = 0;
            Reply reply;
            if (!Framing::DecodeReply(data, size, sequence, reply))
                return false;
            std::lock_guard<std::mutex> lock(mMutex);
            auto it = mWaiting.find(sequence);
            if (it != mWaiting.end()) {
                it->second.reply = std::move(reply);
                it->second.done = true;
                mAnswered.notify_all();
            }
            return true;
        }
        case Framing::kTaken: {
            uint64_t token = 0;
            if (!Framing::DecodeTaken(data, size, token))
                return false;
            mState->MessageTaken(token);
            return true;
        }
        case Framing::kInput:
            mState->InputPending();
            return true;
        default:
            return false;
        }
    }

    int mFd;
    int mWakeFd = -1;
    std::shared_ptr<HandleState> mState;
    std::thread mReader;
    std::mutex mSendMutex;
    std::mutex mMutex;
    std::condition_variable mAnswered;
    struct Answer
    {
        bool done = false;
        Reply reply;
    };
    std::map<uint32_t, Answer> mWaiting;
    uint32_t mSequence = 0;
    bool mDead = false;
};

}  // namespace

namespace Internal {

std::unique_ptr<Device> OpenSocketDevice(const std::string& path, uint32_t& error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = kErrorGenFailure;
        return nullptr;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR ? kErrorFileNotFound
                                                                             : kErrorGenFailure;
        close(fd);
        return nullptr;
    }
    // The server's first frame says whether the device is ours.
    pollfd pfd{fd, POLLIN, 0};
    uint8_t frame[16];
    ssize_t n = -1;
    if (poll(&pfd, 1, kHandshakeTimeoutMs) == 1)
        n = recv(fd, frame, sizeof frame, 0);
    uint32_t type = n > 0 ? Framing::TypeOf(frame, static_cast<size_t>(n)) : 0;
    if (type != Framing::kOpened) {
        error = type == Framing::kBusy ? kErrorSharingViolation : kErrorGenFailure;
        close(fd);
        return nullptr;
    }
    auto state = std::make_shared<HandleState>();
    return MakeDevice(state, std::make_unique<SocketTransport>(fd, state));
}

}  // namespace Internal
}  // namespace Tavo::Platform::Driver
