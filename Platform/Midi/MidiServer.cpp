#include "Platform/Midi/MidiServer.h"

#include "Platform/Kernel/AtomicFile.h"
#include "Platform/Midi/Midi.h"
#include "Platform/Midi/MidiWire.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tavo::Platform::Midi {

struct MidiDeviceServer::Client
{
    int fd = -1;
    int direction = -1;                      // -1 until the hello
    MidiDeviceServer::InputMark opened = 0;  // an input port's place in the order of opening
    bool closed = false;
    std::mutex writeLock;
    Wire::FrameBuffer frames;
};

namespace {

std::string NewId()
{
    static std::atomic<unsigned> counter{0};
    auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    char id[64];
    std::snprintf(id, sizeof id, "%016llx-%d-%u", static_cast<unsigned long long>(now),
                  static_cast<int>(getpid()), counter++);
    return id;
}

bool ValidName(const std::u16string& name)
{
    return name.find_first_of(u"\n\r") == std::u16string::npos && name.find(u'\0') == std::u16string::npos;
}

}  // namespace

std::unique_ptr<MidiDeviceServer> MidiDeviceServer::Publish(const std::u16string& inputName,
                                                            const std::u16string& outputName,
                                                            Receiver receiver, std::string* error)
{
    MarkedReceiver marked;
    if (receiver)
        marked = [receiver = std::move(receiver)](const Bytes& message, InputMark) { receiver(message); };
    return Publish(inputName, outputName, std::move(marked), error);
}

std::unique_ptr<MidiDeviceServer> MidiDeviceServer::Publish(const std::u16string& inputName,
                                                            const std::u16string& outputName,
                                                            MarkedReceiver receiver, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error != nullptr)
            *error = why;
        return nullptr;
    };
    if (inputName.empty() && outputName.empty())
        return fail("a device needs an input or an output name");
    if (!ValidName(inputName) || !ValidName(outputName))
        return fail("device names cannot hold line breaks or NUL");
    std::unique_ptr<MidiDeviceServer> s(new MidiDeviceServer);
    s->mFolder = Wire::MidiFolder();
    if (s->mFolder.empty())
        return fail("the MIDI folder cannot be made");
    s->mId = NewId();
    s->mInputName = inputName;
    s->mOutputName = outputName;
    s->mReceiver = std::move(receiver);
    s->mListenFd = Wire::Listen(s->mFolder, s->mId + ".sock");
    if (s->mListenFd < 0)
        return fail("the device socket cannot be made");
    s->mWakeFd = eventfd(0, EFD_CLOEXEC);
    if (s->mWakeFd < 0) {
        close(s->mListenFd);
        unlink((s->mFolder + "/" + s->mId + ".sock").c_str());
        return fail("no event descriptor");
    }
    // The device file appears whole, and only once the socket listens.
    const std::string base = s->mFolder + "/" + s->mId;
    if (!WriteFileAtomically(base + ".dev", Wire::ToUtf8(inputName) + '\n' + Wire::ToUtf8(outputName) + '\n',
                             0644, false)) {
        unlink((base + ".sock").c_str());
        close(s->mListenFd);
        close(s->mWakeFd);
        return fail("the device file cannot be written");
    }
    MidiDeviceServer* raw = s.get();
    s->mThread = std::thread([raw] { raw->Run(); });
    return s;
}

MidiDeviceServer::~MidiDeviceServer()
{
    std::string base = mFolder + "/" + mId;
    unlink((base + ".dev").c_str());
    unlink((base + ".sock").c_str());
    uint64_t one = 1;
    (void)!write(mWakeFd, &one, sizeof one);
    mThread.join();
    std::lock_guard l(mLock);
    for (auto& c : mClients) {
        std::lock_guard w(c->writeLock);
        c->closed = true;
        shutdown(c->fd, SHUT_RDWR);
        close(c->fd);
    }
    mClients.clear();
    close(mListenFd);
    close(mWakeFd);
}

size_t MidiDeviceServer::Send(const Bytes& bytes, InputMark openInputs)
{
    std::vector<std::shared_ptr<Client>> targets;
    {
        std::lock_guard l(mLock);
        for (auto& c : mClients) {
            if (c->direction == Wire::kToProgram && c->opened <= openInputs)
                targets.push_back(c);
        }
    }
    size_t sent = 0;
    for (auto& c : targets) {
        std::lock_guard w(c->writeLock);
        if (!c->closed && Wire::WriteFrame(c->fd, Wire::kData, bytes.data(), bytes.size()))
            ++sent;
    }
    return sent;
}

void MidiDeviceServer::SetTakesMessages(bool takes)
{
    std::vector<std::pair<std::shared_ptr<Client>, uint64_t>> held;
    {
        std::lock_guard l(mLock);
        mTakes = takes;
        if (takes)
            held.swap(mHeld);
    }
    for (auto& [client, token] : held)
        Ack(*client, token);
}

void MidiDeviceServer::Ack(Client& client, uint64_t token)
{
    std::vector<uint8_t> ack;
    Append64(ack, token);
    std::lock_guard w(client.writeLock);
    if (!client.closed)
        Wire::WriteFrame(client.fd, Wire::kTaken, ack.data(), ack.size());
}

size_t MidiDeviceServer::Connections(uint8_t direction)
{
    std::lock_guard l(mLock);
    size_t n = 0;
    for (auto& c : mClients)
        n += c->direction == direction;
    return n;
}

size_t MidiDeviceServer::InputConnections()
{
    return Connections(Wire::kToProgram);
}

size_t MidiDeviceServer::OutputConnections()
{
    return Connections(Wire::kFromProgram);
}

void MidiDeviceServer::Run()
{
    for (;;) {
        std::vector<std::shared_ptr<Client>> clients;
        {
            std::lock_guard l(mLock);
            clients = mClients;
        }
        std::vector<pollfd> fds;
        fds.push_back({mWakeFd, POLLIN, 0});
        fds.push_back({mListenFd, POLLIN, 0});
        for (auto& c : clients)
            fds.push_back({c->fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents != 0)
            Accept();
        for (size_t i = 0; i < clients.size(); ++i) {
            if (fds[i + 2].revents != 0 && !Serve(clients[i]))
                Drop(clients[i]);
        }
    }
}

void MidiDeviceServer::Accept()
{
    int fd = accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    auto c = std::make_shared<Client>();
    c->fd = fd;
    std::lock_guard l(mLock);
    mClients.push_back(c);
}

void MidiDeviceServer::Drop(const std::shared_ptr<Client>& client)
{
    std::lock_guard l(mLock);
    std::erase(mClients, client);
    std::lock_guard w(client->writeLock);
    client->closed = true;
    close(client->fd);
}

bool MidiDeviceServer::Serve(const std::shared_ptr<Client>& c)
{
    uint8_t buffer[4096];
    ssize_t n = recv(c->fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    if (n == 0)
        return false;
    c->frames.Append(buffer, static_cast<size_t>(n));
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    for (;;) {
        int got = c->frames.Next(type, payload);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (c->direction < 0) {
            if (type != Wire::kHello || payload.empty())
                return false;
            MMRESULT refusal = MMSYSERR_NOERROR;
            int direction = payload[0];
            std::lock_guard l(mLock);
            if (direction == Wire::kToProgram) {
                if (mInputName.empty())
                    refusal = MMSYSERR_NODRIVER;
                for (auto& other : mClients) {
                    if (other->direction == Wire::kToProgram)
                        refusal = MMSYSERR_ALLOCATED;  // one input port at a time
                }
            } else if (direction != Wire::kFromProgram || mOutputName.empty()) {
                refusal = MMSYSERR_NODRIVER;
            }
            std::vector<uint8_t> reply;
            if (refusal != MMSYSERR_NOERROR)
                Append32(reply, refusal);
            std::lock_guard w(c->writeLock);
            Wire::WriteFrame(c->fd, refusal != MMSYSERR_NOERROR ? Wire::kRefuse : Wire::kAccept, reply.data(),
                             reply.size());
            if (refusal != MMSYSERR_NOERROR)
                return false;
            c->direction = direction;
            if (direction == Wire::kToProgram)
                c->opened = ++mInputsOpened;
            continue;
        }
        if (type != Wire::kMessage || c->direction != Wire::kFromProgram || payload.size() < 8)
            return false;
        uint64_t token = Get64(payload.data());
        Bytes message(payload.begin() + 8, payload.end());
        if (mReceiver) {
            InputMark openInputs = 0;
            {
                std::lock_guard l(mLock);
                openInputs = mInputsOpened;
            }
            mReceiver(message, openInputs);
        }
        if (token == 0)
            continue;
        bool takes = false;
        {
            std::lock_guard l(mLock);
            takes = mTakes;
            if (!takes)
                mHeld.emplace_back(c, token);
        }
        if (takes)
            Ack(*c, token);
    }
}

}  // namespace Tavo::Platform::Midi
