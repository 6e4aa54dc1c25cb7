#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "Platform/Driver/DriverServe.h"
#include "Platform/Driver/Framing.h"
#include "Platform/Kernel/WaitReadable.h"

namespace Tavo::Platform::Driver {

namespace {

class ServerSession final : public DriverSession
{
public:
    ServerSession(int fd, std::shared_ptr<DriverHandler> handler, std::function<void(ServerSession*)> release)
        : mFd(fd), mHandler(std::move(handler)), mRelease(std::move(release))
    {
    }

    void MessageTaken(uint64_t token) override { Send(Framing::Taken(token)); }
    void InputPending() override { Send(Framing::Simple(Framing::kInput)); }

    void Detach() override
    {
        {
            std::lock_guard<std::mutex> lock(mSendMutex);
            if (mFd >= 0)
                shutdown(mFd, SHUT_RDWR);
        }
        // The device is free for a new open at once, as with a fake device.
        Release();
    }

    bool IsOpen() const override { return mOpen; }

    // Serves requests until the client closes or the session is detached.
    // The device is released before the socket closes, so the client's close
    // returns only once the device is free again.
    void Run()
    {
        std::vector<uint8_t> buffer(Framing::kMaxFrame);
        for (;;) {
            ssize_t n = recv(mFd, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            uint32_t sequence = 0;
            Request request;
            if (n <= 0 || !Framing::DecodeRequest(buffer.data(), static_cast<size_t>(n), sequence, request))
                break;
            Reply reply = mHandler->OnRequest(*this, request);
            if (reply.output.size() > request.value.size() || reply.readData.size() > kMaxRead) {
                reply = Reply();
                reply.error = kErrorMoreData;
            }
            if (!Send(Framing::EncodeReply(sequence, reply)))
                break;
        }
        mOpen = false;
        mHandler->OnClose(*this);
        Release();
        std::lock_guard<std::mutex> lock(mSendMutex);
        close(mFd);
        mFd = -1;
    }

    std::thread thread;
    std::atomic<bool> finished{false};

private:
    void Release()
    {
        if (!mReleased.exchange(true))
            mRelease(this);
    }

    bool Send(const std::vector<uint8_t>& frame)
    {
        std::lock_guard<std::mutex> lock(mSendMutex);
        return mFd >= 0 && mOpen && Framing::SendFrame(mFd, frame);
    }

    int mFd;
    std::shared_ptr<DriverHandler> mHandler;
    std::mutex mSendMutex;
    std::atomic<bool> mOpen{true};
    std::function<void(ServerSession*)> mRelease;
    std::atomic<bool> mReleased{false};
};

}  // namespace

struct DriverServer::State
{
    int listenFd = -1;
    int wakeFd = -1;
    int lockFd = -1;
    std::thread acceptor;
    std::mutex mutex;
    std::shared_ptr<ServerSession> active;
    std::vector<std::shared_ptr<ServerSession>> sessions;

    // Serves one session at a time: a second client is told the device is
    // busy. Ends when the wake descriptor is signalled.
    void Accept(const std::shared_ptr<DriverHandler>& handler)
    {
        for (;;) {
            if (!Tavo::Platform::WaitReadable(listenFd, wakeFd))
                return;
            int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::shared_ptr<ServerSession> session = Admit(fd, handler);
            if (!session) {
                Framing::SendFrame(fd, Framing::Simple(Framing::kBusy));
                close(fd);
                continue;
            }
            handler->OnOpen(session);
            if (!Framing::SendFrame(fd, Framing::Simple(Framing::kOpened)))
                session->Detach();
            ServerSession* raw = session.get();
            session->thread = std::thread([raw] {
                raw->Run();
                raw->finished = true;
            });
        }
    }

    // The new active session, after joining the ended ones; null while
    // another is active.
    std::shared_ptr<ServerSession> Admit(int fd, const std::shared_ptr<DriverHandler>& handler)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::erase_if(sessions, [](auto& s) {
            if (!s->finished)
                return false;
            s->thread.join();
            return true;
        });
        if (active)
            return nullptr;
        active = std::make_shared<ServerSession>(fd, handler, [this](ServerSession* ended) {
            std::lock_guard<std::mutex> lock(mutex);
            if (active.get() == ended)
                active.reset();
        });
        sessions.push_back(active);
        return active;
    }
};

DriverServer::DriverServer(std::string socketPath, std::shared_ptr<DriverHandler> handler)
    : mPath(std::move(socketPath)), mHandler(std::move(handler))
{
}

DriverServer::~DriverServer()
{
    Stop();
}

bool DriverServer::Start(std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = why + ": " + mPath;
        Stop();
        return false;
    };
    if (mState)
        return fail("already serving");
    mState = std::make_unique<State>();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (mPath.empty() || mPath.size() >= sizeof address.sun_path)
        return fail("bad socket path");
    std::memcpy(address.sun_path, mPath.c_str(), mPath.size() + 1);

    // The lock file tells a live server from a stale socket file.
    std::string lockPath = mPath + ".lock";
    mState->lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (mState->lockFd < 0)
        return fail("cannot create lock file");
    if (flock(mState->lockFd, LOCK_EX | LOCK_NB) != 0)
        return fail("already served by another process");
    unlink(mPath.c_str());

    mState->listenFd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    mState->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (mState->listenFd < 0 || mState->wakeFd < 0)
        return fail("cannot create socket");
    if (bind(mState->listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(mState->listenFd, 4) != 0)
        return fail(std::string("cannot listen (") + std::strerror(errno) + ")");

    State* state = mState.get();
    state->acceptor = std::thread([state, handler = mHandler] { state->Accept(handler); });
    return true;
}

void DriverServer::Stop()
{
    if (!mState)
        return;
    if (mState->acceptor.joinable()) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(mState->wakeFd, &one, sizeof one);
        mState->acceptor.join();
    }
    std::vector<std::shared_ptr<ServerSession>> sessions;
    {
        std::lock_guard<std::mutex> lock(mState->mutex);
        sessions.swap(mState->sessions);
    }
    for (auto& session : sessions) {
        session->Detach();
        if (session->thread.joinable())
            session->thread.join();
    }
    if (mState->listenFd >= 0) {
        close(mState->listenFd);
        unlink(mPath.c_str());
    }
    if (mState->wakeFd >= 0)
        close(mState->wakeFd);
    if (mState->lockFd >= 0)
        close(mState->lockFd);
    mState.reset();
}

}  // namespace Tavo::Platform::Driver
