// Ports opened and closed from several threads, under the lock the callbacks take, while devices talk, take
// messages and come and go. Meant for the sanitizers: it passes when nothing deadlocks, races or touches
// freed buffers.

#include "MidiRig.h"

#include <atomic>
#include <numeric>

namespace {

using namespace MidiTest;

constexpr int kDevices = 3;  // the last one is unplugged and plugged back
constexpr int kRounds = 150;

// A program whose callbacks take its lock, as the framework's do, and which opens and closes ports holding
// that lock.
struct Program
{
    struct InPort
    {
        HMIDIIN handle = nullptr;
        std::vector<Bytes> data;
        std::vector<std::unique_ptr<MIDIHDR>> headers;
        bool closing = false;
    };

    std::mutex lock;
    std::map<uintptr_t, std::unique_ptr<InPort>> ins;
    std::map<uintptr_t, int> outs;
    std::atomic<unsigned> checksum{0};  // reads every returned byte

    static void InProc(HMIDIIN h, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t)
    {
        if (message == MIM_OPEN || message == MIM_CLOSE)
            return;  // these come inside open and close, where the lock is held
        auto* self = reinterpret_cast<Program*>(instance);
        std::lock_guard l(self->lock);
        auto it = self->ins.find(reinterpret_cast<uintptr_t>(h));
        if (it == self->ins.end())
            return;  // closed meanwhile: p1 may be gone
        if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
            auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
            self->checksum += std::accumulate(hdr->lpData, hdr->lpData + hdr->dwBytesRecorded, 0u);
            if (!it->second->closing)
                MidiInAddBuffer(h, hdr);
        }
    }

    static void OutProc(HMIDIOUT h, uint32_t message, uintptr_t instance, uintptr_t, uintptr_t)
    {
        if (message != MOM_DONE)
            return;
        auto* self = reinterpret_cast<Program*>(instance);
        std::lock_guard l(self->lock);
        auto it = self->outs.find(reinterpret_cast<uintptr_t>(h));
        if (it != self->outs.end())
            ++it->second;
    }

    bool Done(HMIDIOUT out)
    {
        std::lock_guard l(lock);
        return outs[reinterpret_cast<uintptr_t>(out)] > 0;
    }

    void CycleInput(uint32_t device)
    {
        std::unique_lock l(lock);
        auto port = std::make_unique<InPort>();
        MMRESULT r =
            MidiInOpen(&port->handle, device, &InProc, reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION);
        if (r != MMSYSERR_NOERROR) {
            EXPECT_TRUE(r == MMSYSERR_ALLOCATED || r == MMSYSERR_BADDEVICEID || r == MMSYSERR_NODRIVER) << r;
            return;
        }
        port->data.assign(3, Bytes(128));
        for (auto& d : port->data) {
            auto h = std::make_unique<MIDIHDR>(MIDIHDR{d.data(), uint32_t(d.size())});
            MidiInPrepareHeader(port->handle, h.get());
            MidiInAddBuffer(port->handle, h.get());
            port->headers.push_back(std::move(h));
        }
        MidiInStart(port->handle);
        HMIDIIN handle = port->handle;
        ins[reinterpret_cast<uintptr_t>(handle)] = std::move(port);
        l.unlock();
        std::this_thread::yield();
        l.lock();
        InPort& p = *ins[reinterpret_cast<uintptr_t>(handle)];
        p.closing = true;
        EXPECT_EQ(MidiInReset(handle), MMSYSERR_NOERROR);
        for (auto& h : p.headers)
            EXPECT_EQ(MidiInUnprepareHeader(handle, h.get()), MMSYSERR_NOERROR);
        EXPECT_EQ(MidiInClose(handle), MMSYSERR_NOERROR);
        ins.erase(reinterpret_cast<uintptr_t>(handle));  // frees the buffers at once
    }

    void CycleOutput(uint32_t device, bool waitForDone)
    {
        HMIDIOUT out = nullptr;
        {
            std::lock_guard l(lock);
            MMRESULT r =
                MidiOutOpen(&out, device, &OutProc, reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION);
            if (r != MMSYSERR_NOERROR) {
                EXPECT_TRUE(r == MMSYSERR_BADDEVICEID || r == MMSYSERR_NODRIVER) << r;
                return;
            }
            outs[reinterpret_cast<uintptr_t>(out)] = 0;
        }
        MidiOutShortMsg(out, 0x7F3C90);
        auto data = std::make_unique<Bytes>(Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
        auto h = std::make_unique<MIDIHDR>(MIDIHDR{data->data(), uint32_t(data->size())});
        MidiOutPrepareHeader(out, h.get());
        if (MidiOutLongMsg(out, h.get()) == MMSYSERR_NOERROR && waitForDone) {
            for (int i = 0; i < 1000 && !Done(out); ++i)
                std::this_thread::yield();
        }
        // Given up or done: either way the header is freed right away.
        EXPECT_EQ(MidiOutUnprepareHeader(out, h.get()), MMSYSERR_NOERROR);
        h.reset();
        data.reset();
        std::lock_guard l(lock);
        EXPECT_EQ(MidiOutClose(out), MMSYSERR_NOERROR);
        outs.erase(reinterpret_cast<uintptr_t>(out));
    }
};

TEST(MidiStress, OpenAndCloseWhileCallbacksFire)
{
    auto devices = std::make_unique<SocketRig>();
    std::vector<std::string> keys;
    for (int i = 0; i < kDevices; ++i)
        keys.push_back(devices->Plug("Dev " + std::to_string(i), "Dev " + std::to_string(i)));
    auto program = std::make_unique<Program>();
    std::atomic<bool> stop{false};

    std::thread talker([&] {
        Bytes sysex(300, 0x22);
        sysex.front() = 0xF0;
        sysex.back() = 0xF7;
        sysex[150] = 0xF8;
        for (int i = 0; !stop; ++i) {
            devices->Inject(keys[i % kDevices], {0x90, 0x3C, 0x7F, 0x3E, 0x7F, 0xF8});
            devices->Inject(keys[i % kDevices], sysex);
            if (i % 64 == 0)
                std::this_thread::yield();
        }
    });
    std::thread replugger([&] {
        for (int i = 0; i < kRounds / 10 && !stop; ++i) {
            devices->Unplug(keys.back());
            devices->Replug(keys.back());
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
        users.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                program->CycleInput(static_cast<uint32_t>((i + t) % kDevices));
                program->CycleOutput(static_cast<uint32_t>((i + t) % kDevices), (i + t) % 2 == 0);
                MIDIINCAPS caps;
                MidiInGetDevCaps(static_cast<uint32_t>(i % kDevices), &caps);
            }
        });
    }
    for (auto& u : users)
        u.join();
    stop = true;
    talker.join();
    replugger.join();
    MidiWaitCallbacks();
    EXPECT_TRUE(program->ins.empty());
    program.reset();
    devices.reset();
}

}  // namespace
