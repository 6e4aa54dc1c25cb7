#pragma once

// Devices for the MIDI tests, on the in-process bus or served by the test
// server process over the socket backend, behind one interface.

#include "Platform/Midi/Midi.h"
#include "Platform/Midi/MidiBus.h"
#include "Platform/Midi/MidiWire.h"
#include "tests/Platform/Midi/HexText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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
    // A device with an input and/or output port ("" leaves one out); the
    // returned key names it in the calls below.
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
        auto deadline = std::chrono::steady_clock::now() + kPatience;
        for (;;) {
            auto sent = Sent(key);
            if (sent.size() >= count || std::chrono::steady_clock::now() > deadline)
                return sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
};

class BusRig final : public Rig
{
public:
    BusRig() : mBus(MidiBus::Install()) {}
    ~BusRig() override { SetMidiBackend(nullptr); }

    std::string Plug(const std::string& input, const std::string& output) override
    {
        std::string key = std::to_string(mDevices.size());
        auto& d = mDevices[key];
        if (!input.empty())
            d.first = mBus->PlugInput(Wire::FromUtf8(input));
        if (!output.empty())
            d.second = mBus->PlugOutput(Wire::FromUtf8(output));
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

// Drives midi_test_server, a separate process, under a private platform root.
class SocketRig final : public Rig
{
public:
    SocketRig()
    {
        char root[] = "/tmp/midi-test-XXXXXX";
        if (mkdtemp(root) == nullptr)
            throw std::runtime_error("no temporary folder");
        mRoot = root;
        setenv("TAVO_PLATFORM_ROOT", root, 1);
        SetMidiBackend(nullptr);
        // A server that died shows as failed commands, not a killed test.
        signal(SIGPIPE, SIG_IGN);

        int toServer[2], fromServer[2];
        if (pipe(toServer) != 0 || pipe(fromServer) != 0)
            throw std::runtime_error("no pipes");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toServer[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromServer[1], 1);
        posix_spawn_file_actions_addclose(&actions, toServer[1]);
        posix_spawn_file_actions_addclose(&actions, fromServer[0]);
        std::string server =
            (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "midi_test_server").string();
        char* argv[] = {server.data(), nullptr};
        if (posix_spawn(&mPid, server.c_str(), &actions, nullptr, argv, environ) != 0)
            throw std::runtime_error("midi_test_server does not start");
        posix_spawn_file_actions_destroy(&actions);
        close(toServer[0]);
        close(fromServer[1]);
        mTo = fdopen(toServer[1], "w");
        mFrom = fdopen(fromServer[0], "r");
    }

    ~SocketRig() override
    {
        std::fputs("quit\n", mTo);
        std::fclose(mTo);
        std::fclose(mFrom);
        int status = 0;
        waitpid(mPid, &status, 0);
        std::filesystem::remove_all(mRoot);
    }

    std::string Command(const std::string& line)
    {
        std::fputs((line + "\n").c_str(), mTo);
        std::fflush(mTo);
        std::string answer;
        for (int c; (c = std::fgetc(mFrom)) != EOF && c != '\n';)
            answer += static_cast<char>(c);
        EXPECT_EQ(answer.substr(0, 2), "ok") << line << " -> " << answer;
        return answer;
    }

    std::string Plug(const std::string& input, const std::string& output) override
    {
        std::string key = std::to_string(mNext++);
        Command("plug\t" + key + "\t" + (input.empty() ? "-" : input) + "\t" +
                (output.empty() ? "-" : output));
        return key;
    }
    void Unplug(const std::string& key) override { Command("unplug\t" + key); }
    void Inject(const std::string& key, const Bytes& bytes) override
    {
        Command("inject\t" + key + "\t" + ToHex(bytes));
    }
    void Respond(const std::string& key, const Bytes& request, const Bytes& reply) override
    {
        Command("respond\t" + key + "\t" + ToHex(request) + "\t" + ToHex(reply));
    }
    void SetTakes(const std::string& key, bool takes) override
    {
        Command("takes\t" + key + "\t" + (takes ? "1" : "0"));
    }
    std::vector<Bytes> Sent(const std::string& key) override
    {
        std::string answer = Command("sent\t" + key);
        std::vector<Bytes> sent;
        size_t pos = 2;
        while (pos < answer.size()) {
            size_t end = answer.find(' ', pos + 1);
            std::string hex =
                answer.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
            sent.push_back(FromHex(hex));
            pos = end == std::string::npos ? answer.size() : end;
        }
        return sent;
    }
    bool Synchronous() const override { return false; }

private:
    std::string mRoot;
    pid_t mPid = 0;
    FILE* mTo = nullptr;
    FILE* mFrom = nullptr;
    int mNext = 0;
};

inline std::unique_ptr<Rig> MakeRig(const std::string& kind)
{
    if (kind == "Bus")
        return std::make_unique<BusRig>();
    return std::make_unique<SocketRig>();
}

struct Event
{
    uint32_t message = 0;
    uintptr_t param1 = 0;
    uintptr_t param2 = 0;
    Bytes data;  // the recorded bytes of a returned buffer
    uint32_t flags = 0;
};

// Records callbacks; as a program would, it puts returned input buffers
// back in the queue unless the port is closing.
class Recorder
{
public:
    static void InProc(HMIDIIN port, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t p2)
    {
        auto* self = reinterpret_cast<Recorder*>(instance);
        // Re-entrant: open and close messages come while the port's owner
        // holds this lock.
        std::lock_guard l(self->mLock);
        Event e{message, p1, p2, {}, 0};
        if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
            auto* h = reinterpret_cast<MIDIHDR*>(p1);
            e.data.assign(h->lpData, h->lpData + h->dwBytesRecorded);
            e.flags = h->dwFlags;
            if (!self->mClosing)
                MidiInAddBuffer(port, h);
        }
        self->Add(e);
    }

    static void OutProc(HMIDIOUT, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t p2)
    {
        auto* self = reinterpret_cast<Recorder*>(instance);
        Event e{message, p1, p2, {}, 0};
        if (message == MOM_DONE)
            e.flags = reinterpret_cast<MIDIHDR*>(p1)->dwFlags;
        self->Add(e);
    }

    void Add(const Event& e)
    {
        std::lock_guard l(mLock);
        mEvents.push_back(e);
        mChanged.notify_all();
    }

    // Events other than open and close.
    std::vector<Event> Traffic()
    {
        std::lock_guard l(mLock);
        std::vector<Event> out;
        for (auto& e : mEvents) {
            if (e.message != MIM_OPEN && e.message != MIM_CLOSE && e.message != MOM_OPEN &&
                e.message != MOM_CLOSE)
                out.push_back(e);
        }
        return out;
    }

    std::vector<Event> WaitTraffic(size_t count)
    {
        {
            std::unique_lock l(mLock);
            mChanged.wait_for(l, kPatience, [&] {
                size_t n = 0;
                for (auto& e : mEvents)
                    n += e.message == MIM_DATA || e.message == MIM_LONGDATA || e.message == MIM_LONGERROR ||
                         e.message == MIM_ERROR || e.message == MOM_DONE;
                return n >= count;
            });
        }
        return Traffic();
    }

    void SetClosing(bool closing)
    {
        std::lock_guard l(mLock);
        mClosing = closing;
    }

    std::recursive_mutex& Lock() { return mLock; }

private:
    std::recursive_mutex mLock;
    std::condition_variable_any mChanged;
    std::vector<Event> mEvents;
    bool mClosing = false;
};

// An open input port with its own buffers, torn down as a program does.
class InputPort
{
public:
    InputPort(uint32_t device, size_t buffers = 3, uint32_t size = 256)
    {
        mResult = MidiInOpen(&mHandle, device, &Recorder::InProc, reinterpret_cast<uintptr_t>(&mRecorder),
                             CALLBACK_FUNCTION | MIDI_IO_STATUS);
        mData.resize(buffers, Bytes(size));
        mHeaders.resize(buffers);
        for (size_t i = 0; i < buffers && mResult == MMSYSERR_NOERROR; ++i) {
            mHeaders[i].lpData = mData[i].data();
            mHeaders[i].dwBufferLength = size;
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
            // As a program does: under the lock its callbacks take, so none
            // looks at a buffer while it is taken back.
            std::lock_guard l(mRecorder.Lock());
            mRecorder.SetClosing(true);
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
