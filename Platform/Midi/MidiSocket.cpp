#include "Platform/Midi/MidiSocket.h"

#include "Platform/Midi/MidiWire.h"

#include <atomic>
#include <mutex>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace Tavo::Platform::Midi {

namespace {

constexpr int kHandshakeSeconds = 3;

void SetReceiveTimeout(int fd, int seconds)
{
    timeval tv{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

MMRESULT Handshake(int fd, Wire::Direction direction)
{
    uint8_t hello[3] = {direction, static_cast<uint8_t>(Wire::kVersion),
                        static_cast<uint8_t>(Wire::kVersion >> 8)};
    if (!Wire::WriteFrame(fd, Wire::kHello, hello, sizeof hello))
        return MMSYSERR_NODRIVER;
    // A wedged server must not hang the open.
    SetReceiveTimeout(fd, kHandshakeSeconds);
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    bool got = Wire::ReadFrame(fd, type, payload);
    SetReceiveTimeout(fd, 0);
    if (!got)
        return MMSYSERR_NODRIVER;
    if (type == Wire::kAccept)
        return MMSYSERR_NOERROR;
    if (type == Wire::kRefuse && payload.size() >= 4 && Get32(payload.data()) != 0)
        return Get32(payload.data());
    return MMSYSERR_NODRIVER;
}

// One connection with a thread that reads what the server says.
class Connection
{
public:
    Connection(int fd, std::string path, std::u16string name)
        : mFd(fd), mName(std::move(name)), mPath(std::move(path))
    {
    }

    virtual ~Connection() = default;

    void Start()
    {
        mReader = std::thread([this] { Read(); });
    }

    void Stop()
    {
        mClosing = true;
        shutdown(mFd, SHUT_RDWR);
        mReader.join();
        close(mFd);
    }

    // The server removes the socket file before it drops its connections, so
    // a device is gone here as soon as it left the lists.
    bool IsAlive() const { return !mGone && access(mPath.c_str(), F_OK) == 0; }

protected:
    virtual void OnFrame(uint8_t type, const std::vector<uint8_t>& payload) = 0;
    virtual void OnEnd() = 0;

    int mFd;
    std::mutex mWriteLock;
    std::u16string mName;

private:
    void Read()
    {
        uint8_t type = 0;
        std::vector<uint8_t> payload;
        while (Wire::ReadFrame(mFd, type, payload))
            OnFrame(type, payload);
        mGone = true;
        if (!mClosing)
            OnEnd();
    }

    std::string mPath;
    std::atomic<bool> mGone{false};
    std::atomic<bool> mClosing{false};
    std::thread mReader;
};

class SocketInLink final : public InputLink, Connection
{
public:
    SocketInLink(int fd, std::string path, std::u16string name, InputSink& sink)
        : Connection(fd, std::move(path), std::move(name)), mSink(sink)
    {
        Start();
    }
    ~SocketInLink() override { Stop(); }
    std::u16string Name() override { return mName; }
    bool Alive() override { return IsAlive(); }

private:
    void OnFrame(uint8_t type, const std::vector<uint8_t>& payload) override
    {
        if (type == Wire::kData && !payload.empty())
            mSink.OnBytes(payload.data(), payload.size());
    }
    void OnEnd() override { mSink.OnGone(); }

    InputSink& mSink;
};

class SocketOutLink final : public OutputLink, Connection
{
public:
    SocketOutLink(int fd, std::string path, std::u16string name, OutputSink& sink)
        : Connection(fd, std::move(path), std::move(name)), mSink(sink)
    {
        Start();
    }
    ~SocketOutLink() override { Stop(); }
    std::u16string Name() override { return mName; }
    bool Alive() override { return IsAlive(); }

    MMRESULT Send(const uint8_t* data, size_t size, uint64_t token) override
    {
        std::vector<uint8_t> payload;
        payload.reserve(size + 8);
        Append64(payload, token);
        payload.insert(payload.end(), data, data + size);
        std::lock_guard l(mWriteLock);
        return Wire::WriteFrame(mFd, Wire::kMessage, payload.data(), payload.size()) ? MMSYSERR_NOERROR
                                                                                     : MMSYSERR_NODRIVER;
    }

private:
    void OnFrame(uint8_t type, const std::vector<uint8_t>& payload) override
    {
        if (type == Wire::kTaken && payload.size() >= 8)
            mSink.OnTaken(Get64(payload.data()));
    }
    void OnEnd() override { mSink.OnGone(); }

    OutputSink& mSink;
};

class SocketBackend final : public MidiBackend
{
public:
    std::vector<std::u16string> InputNames() override { return Names(true); }
    std::vector<std::u16string> OutputNames() override { return Names(false); }

    MMRESULT OpenInput(uint32_t device, InputSink& sink, std::unique_ptr<InputLink>& link) override
    {
        std::string folder, id;
        std::u16string name;
        int fd = -1;
        if (MMRESULT r = Open(device, true, folder, id, name, fd))
            return r;
        link = std::make_unique<SocketInLink>(fd, folder + "/" + id + ".sock", name, sink);
        return MMSYSERR_NOERROR;
    }

    MMRESULT OpenOutput(uint32_t device, OutputSink& sink, std::unique_ptr<OutputLink>& link) override
    {
        std::string folder, id;
        std::u16string name;
        int fd = -1;
        if (MMRESULT r = Open(device, false, folder, id, name, fd))
            return r;
        link = std::make_unique<SocketOutLink>(fd, folder + "/" + id + ".sock", name, sink);
        return MMSYSERR_NOERROR;
    }

private:
    static std::vector<std::u16string> Names(bool input)
    {
        std::vector<std::u16string> names;
        for (const Wire::DeviceFile& d : Wire::ListDevices(Wire::FoundMidiFolder())) {
            const std::u16string& name = input ? d.inputName : d.outputName;
            if (!name.empty())
                names.push_back(name);
        }
        return names;
    }

    static MMRESULT Open(uint32_t device, bool input, std::string& folder, std::string& id,
                         std::u16string& name, int& fd)
    {
        folder = Wire::FoundMidiFolder();
        uint32_t n = 0;
        for (const Wire::DeviceFile& d : Wire::ListDevices(folder)) {
            const std::u16string& candidate = input ? d.inputName : d.outputName;
            if (candidate.empty() || n++ != device)
                continue;
            id = d.id;
            name = candidate;
            fd = Wire::Connect(folder, id + ".sock");
            if (fd < 0)
                return MMSYSERR_NODRIVER;
            MMRESULT r = Handshake(fd, input ? Wire::kToProgram : Wire::kFromProgram);
            if (r != MMSYSERR_NOERROR)
                close(fd);
            return r;
        }
        return MMSYSERR_BADDEVICEID;
    }
};

}  // namespace

std::shared_ptr<MidiBackend> MakeSocketBackend()
{
    return std::make_shared<SocketBackend>();
}

}  // namespace Tavo::Platform::Midi
