#pragma once

// Devices for the MIDI tests, on the in-process bus or served over the socket backend, behind one interface.

#include "Platform/Midi/Midi.h"
#include "Platform/Midi/MidiBus.h"
#include "Platform/Midi/MidiWire.h"
#include "Platform/Midi/MidiServer.h"
#include "tests/Common/TestScope.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace MidiTest {

using namespace Tavo::Platform::Midi;
using Bytes = std::vector<uint8_t>;

// Generous bound for things that happen on other threads or processes.
inline constexpr auto kPatience = std::chrono::seconds(30);

class Rig
{
public:
    virtual ~Rig() = default;
    // A device with an input and/or output port ("" leaves one out); the returned key names it in the calls
    // below.
    virtual std::string Plug(const std::string& input, const std::string& output) = 0;
    virtual void Unplug(const std::string& key) = 0;
    virtual void Inject(const std::string& key, const Bytes& bytes) = 0;
    virtual void Respond(const std::string& key, const Bytes& request, const Bytes& reply) = 0;
    virtual void SetTakes(const std::string& key, bool takes) = 0;
    virtual std::vector<Bytes> Sent(const std::string& key) = 0;
    // True when an injection is parsed before Inject returns.
    virtual bool Synchronous() const = 0;

    std::vector<Bytes> WaitSent(const std::string& key, size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        auto sent = Sent(key);
        for (; sent.size() < count && std::chrono::steady_clock::now() < deadline; sent = Sent(key))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return sent;
    }
};

class BusRig final : public Rig
{
public:
    BusRig() : mBus(MidiBus::Install()) {}
    ~BusRig() override { SetMidiBackend(nullptr); }

    std::string Plug(const std::string& input, const std::string& output) override
    {
        const std::string key = std::to_string(mDevices.size());
        auto& [in, out] = mDevices[key];
        if (!input.empty())
            in = mBus->PlugInput(Wire::FromUtf8(input));
        if (!output.empty())
            out = mBus->PlugOutput(Wire::FromUtf8(output));
        return key;
    }
    void Unplug(const std::string& key) override
    {
        mBus->Unplug(mDevices[key].first);
        mBus->Unplug(mDevices[key].second);
    }
    void Inject(const std::string& key, const Bytes& bytes) override
    {
        mBus->Inject(mDevices[key].first, bytes);
    }
    void Respond(const std::string& key, const Bytes& request, const Bytes& reply) override
    {
        mBus->Respond(mDevices[key].second, request, mDevices[key].first, reply);
    }
    void SetTakes(const std::string& key, bool takes) override
    {
        mBus->SetTakesMessages(mDevices[key].second, takes);
    }
    std::vector<Bytes> Sent(const std::string& key) override { return mBus->Sent(mDevices[key].second); }
    bool Synchronous() const override { return true; }

private:
    std::shared_ptr<MidiBus> mBus;
    std::map<std::string, std::pair<MidiBus::DeviceId, MidiBus::DeviceId>> mDevices;
};

// Devices served by this process over the socket backend, under a private platform root.
class SocketRig final : public Rig
{
private:
    struct Device
    {
        std::pair<std::u16string, std::u16string> names;
        std::mutex lock;
        std::vector<Bytes> sent;
        std::vector<std::pair<Bytes, Bytes>> replies;
        std::unique_ptr<MidiDeviceServer> server;
    };
    std::shared_ptr<Device> Find(const std::string& key)
    {
        std::lock_guard l(mLock);
        return mDevices.at(key);
    }
    auto Locked(const std::string& key, const auto& f)
    {
        auto d = Find(key);
        std::lock_guard l(d->lock);
        return f(*d);
    }

    TestFolder mRoot;  // outlives the servers
    std::recursive_mutex mLock;
    std::map<std::string, std::shared_ptr<Device>> mDevices;

public:
    SocketRig()
    {
        setenv("TAVO_PLATFORM_ROOT", mRoot.Path().c_str(), 1);
        SetMidiBackend(nullptr);
    }

    std::string Plug(const std::string& input, const std::string& output) override
    {
        std::lock_guard l(mLock);
        const std::string key = std::to_string(mDevices.size());
        (mDevices[key] = std::make_shared<Device>())->names = {Wire::FromUtf8(input), Wire::FromUtf8(output)};
        Replug(key);
        return key;
    }
    // Publishes the device again under its names after Unplug.
    void Replug(const std::string& key)
    {
        auto d = Find(key);
        std::string error;
        auto server = MidiDeviceServer::Publish(
            d->names.first, d->names.second,
            [d = d.get()](const Bytes& message) {
                std::lock_guard l(d->lock);
                d->sent.push_back(message);
                for (auto& [request, reply] : d->replies)
                    if (request == message && d->server)
                        d->server->Send(reply);
            },
            &error);
        EXPECT_TRUE(server) << error;
        Locked(key, [&](Device& d) { d.server = std::move(server); });
    }
    // The server stops once the lock is let go: its receiver may be waiting for it.
    void Unplug(const std::string& key) override
    {
        Locked(key, [](Device& d) { return std::move(d.server); });
    }
    void Inject(const std::string& key, const Bytes& bytes) override
    {
        Locked(key, [&](Device& d) { return d.server ? d.server->Send(bytes) : 0u; });
    }
    void Respond(const std::string& key, const Bytes& request, const Bytes& reply) override
    {
        Locked(key, [&](Device& d) { d.replies.emplace_back(request, reply); });
    }
    void SetTakes(const std::string& key, bool takes) override
    {
        Locked(key, [&](Device& d) { d.server->SetTakesMessages(takes); });
    }
    std::vector<Bytes> Sent(const std::string& key) override
    {
        return Locked(key, [](Device& d) { return d.sent; });
    }
    bool Synchronous() const override { return false; }
};

inline std::unique_ptr<Rig> MakeRig(const std::string& kind)
{
    return kind == "Bus" ? std::unique_ptr<Rig>(new BusRig()) : std::unique_ptr<Rig>(new SocketRig());
}

struct Event
{
    uint32_t message = 0;
    uintptr_t param1 = 0, param2 = 0;
    Bytes data;  // the recorded bytes of a returned buffer
    uint32_t flags = 0;
};

// Records callbacks; as a program would, it puts returned input buffers back in the queue unless the port is
// closing.
class Recorder
{
public:
    static void InProc(HMIDIIN port, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t p2)
    {
        auto* self = reinterpret_cast<Recorder*>(instance);
        // Re-entrant: open and close messages come while the port's owner holds this lock.
        std::lock_guard l(self->mLock);
        Event e{message, p1, p2, {}, 0};
        if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
            auto* h = reinterpret_cast<MIDIHDR*>(p1);
            e.data.assign(h->lpData, h->lpData + h->dwBytesRecorded);
            e.flags = h->dwFlags;
            if (!self->closing)
                MidiInAddBuffer(port, h);
        }
        self->Add(e);
    }

    static void OutProc(HMIDIOUT, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t p2)
    {
        const uint32_t flags = message == MOM_DONE ? reinterpret_cast<MIDIHDR*>(p1)->dwFlags : 0;
        reinterpret_cast<Recorder*>(instance)->Add({message, p1, p2, {}, flags});
    }

    // Keeps events other than open and close.
    void Add(const Event& e)
    {
        std::lock_guard l(mLock);
        if (e.message != MIM_OPEN && e.message != MIM_CLOSE && e.message != MOM_OPEN &&
            e.message != MOM_CLOSE)
            mEvents.push_back(e);
        mChanged.notify_all();
    }

    std::vector<Event> Traffic()
    {
        std::lock_guard l(mLock);
        return mEvents;
    }

    std::vector<Event> WaitTraffic(size_t count)
    {
        std::unique_lock l(mLock);
        mChanged.wait_for(l, kPatience, [&] { return mEvents.size() >= count; });
        return mEvents;
    }

    std::recursive_mutex& Lock() { return mLock; }
    std::atomic<bool> closing{false};  // returned buffers stay out of the queue

private:
    std::recursive_mutex mLock;
    std::condition_variable_any mChanged;
    std::vector<Event> mEvents;
};

// An open input port with its own buffers, torn down as a program does.
class InputPort
{
public:
    InputPort(uint32_t device, size_t buffers = 3, uint32_t size = 256)
        : mData(buffers, Bytes(size)), mHeaders(buffers)
    {
        mResult = MidiInOpen(&mHandle, device, &Recorder::InProc, reinterpret_cast<uintptr_t>(&mRecorder),
                             CALLBACK_FUNCTION | MIDI_IO_STATUS);
        for (size_t i = 0; i < buffers && mResult == MMSYSERR_NOERROR; ++i) {
            mHeaders[i] = MIDIHDR{mData[i].data(), size};
            EXPECT_EQ(MidiInPrepareHeader(mHandle, &mHeaders[i]), MMSYSERR_NOERROR);
            EXPECT_EQ(MidiInAddBuffer(mHandle, &mHeaders[i]), MMSYSERR_NOERROR);
        }
    }

    ~InputPort() { Close(); }

    void Close()
    {
        if (mHandle == nullptr)
            return;
        {
            // As a program does: under the lock its callbacks take, so none looks at a buffer while it is
            // taken back.
            std::lock_guard l(mRecorder.Lock());
            mRecorder.closing = true;
            EXPECT_EQ(MidiInReset(mHandle), MMSYSERR_NOERROR);
            for (auto& h : mHeaders)
                EXPECT_EQ(MidiInUnprepareHeader(mHandle, &h), MMSYSERR_NOERROR);
            EXPECT_EQ(MidiInClose(mHandle), MMSYSERR_NOERROR);
        }
        MidiWaitCallbacks();
        mHandle = nullptr;
    }

    MMRESULT Result() const { return mResult; }
    HMIDIIN Handle() const { return mHandle; }
    Recorder& Events() { return mRecorder; }

private:
    MMRESULT mResult = MMSYSERR_ERROR;
    HMIDIIN mHandle = nullptr;
    Recorder mRecorder;
    std::vector<Bytes> mData;
    std::vector<MIDIHDR> mHeaders;
};

}  // namespace MidiTest
