// MIDI input and output ports by device index over a backend, with the
// callback order and threads of the system the framework was designed for:
// one layer thread for data, errors and "done" callbacks, open and close
// messages inside the calls. Long because both sides share one core and its
// locking.
#include "Platform/Midi/Midi.h"

#include "Platform/Midi/MidiBackend.h"
#include "Platform/Midi/MidiSocket.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Tavo::Platform::Midi {

namespace {

using Clock = std::chrono::steady_clock;

// Handles count up from here in steps that keep them clear of device numbers.
constexpr uintptr_t kFirstHandle = 0x10000;
constexpr uintptr_t kHandleStep = 0x10;

struct Event
{
    bool input;
    uintptr_t handle;
    uint32_t message;
    uintptr_t param1;
    uintptr_t param2;
};

void CopyName(const std::u16string& name, char16_t (&out)[MAXPNAMELEN])
{
    size_t n = std::min(name.size(), MAXPNAMELEN - 1);
    // Never keep half of a surrogate pair.
    if (n > 0 && n < name.size() && name[n - 1] >= 0xD800 && name[n - 1] <= 0xDBFF)
        --n;
    std::fill(std::begin(out), std::end(out), u'\0');
    std::copy_n(name.begin(), n, out);
}

// Bytes of a message by its status byte (system exclusive excluded).
int MessageLength(uint8_t status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 2 : 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1;
    }
}

struct InPort;
struct OutPort;

struct Core
{
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable callbacksDone;
    std::deque<Event> events;
    std::unordered_map<uintptr_t, std::shared_ptr<InPort>> ins;
    std::unordered_map<uintptr_t, std::shared_ptr<OutPort>> outs;
    uintptr_t nextHandle = kFirstHandle;
    uint64_t callbacksStarted = 0;
    uint64_t callbacksFinished = 0;
    std::thread::id dispatcher;

    std::mutex backendLock;
    std::shared_ptr<MidiBackend> backend;

    Core()
    {
        std::thread t([this] { Dispatch(); });
        dispatcher = t.get_id();
        t.detach();
    }

    void Push(const Event& e)
    {
        events.push_back(e);
        wake.notify_one();
    }

    // After a header is unprepared no callback starts that carries it.
    void DropEventsFor(uintptr_t handle, const MIDIHDR* header)
    {
        std::erase_if(events, [&](const Event& e) {
            return e.handle == handle && e.param1 == reinterpret_cast<uintptr_t>(header) &&
                   (e.message == MIM_LONGDATA || e.message == MIM_LONGERROR || e.message == MOM_DONE);
        });
    }

    uintptr_t NewHandle()
    {
        uintptr_t h = nextHandle;
        nextHandle += kHandleStep;
        return h;
    }

    void Dispatch();

    // Runs the callback of the event's port with the lock released; false
    // when the port was closed after the event was queued.
    template <class Handle, class Ports>
    bool Call(std::unique_lock<std::mutex>& l, Ports& ports, const Event& e)
    {
        auto it = ports.find(e.handle);
        if (it == ports.end() || it->second->callback == nullptr)
            return false;
        auto cb = it->second->callback;
        uintptr_t instance = it->second->instance;
        ++callbacksStarted;
        l.unlock();
        cb(reinterpret_cast<Handle>(e.handle), e.message, instance, e.param1, e.param2);
        return true;
    }
};

Core& TheCore()
{
    static Core* core = new Core;
    return *core;
}

struct InPort final : InputSink
{
    uintptr_t handle = 0;
    MidiInCallback callback = nullptr;
    uintptr_t instance = 0;
    std::unique_ptr<InputLink> link;
    std::u16string name;
    bool open = true;
    bool started = false;
    bool gone = false;
    Clock::time_point startTime;
    std::deque<MIDIHDR*> queue;  // front is the buffer being filled

    bool Alive() const { return !gone && link->Alive(); }

    // Stream parser.
    uint8_t runningStatus = 0;
    uint8_t message[3] = {};
    int have = 0;
    int need = 0;
    bool inSysEx = false;
    bool sysExBroken = false;  // a byte was lost: the rest is skipped

    void Post(uint32_t msg, uintptr_t p1, uintptr_t p2)
    {
        if (callback != nullptr)
            TheCore().Push({true, handle, msg, p1, p2});
    }

    void ResetParser()
    {
        runningStatus = 0;
        have = need = 0;
        inSysEx = sysExBroken = false;
    }

    uint32_t Now() const
    {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startTime).count());
    }

    void ReturnFront(uint32_t msg, uint32_t time)
    {
        MIDIHDR* h = queue.front();
        queue.pop_front();
        h->dwFlags = (h->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        Post(msg, reinterpret_cast<uintptr_t>(h), time);
    }

    void PutSysEx(uint8_t b, uint32_t time)
    {
        if (sysExBroken)
            return;
        if (queue.empty()) {
            sysExBroken = true;
            return;
        }
        MIDIHDR* h = queue.front();
        h->lpData[h->dwBytesRecorded++] = b;
        if (h->dwBytesRecorded >= h->dwBufferLength || b == 0xF7)
            ReturnFront(MIM_LONGDATA, time);
    }

    void EndSysEx(uint32_t time, bool broken)
    {
        if (broken && !queue.empty() && queue.front()->dwBytesRecorded > 0)
            ReturnFront(MIM_LONGERROR, time);
        inSysEx = sysExBroken = false;
    }

    void Emit(uint32_t time)
    {
        uintptr_t packed = message[0] | (have > 1 ? message[1] << 8 : 0) | (have > 2 ? message[2] << 16 : 0);
        Post(MIM_DATA, packed, time);
        have = need = 0;
    }

    void Parse(uint8_t b, uint32_t time)
    {
        if (b >= 0xF8) {  // real-time bytes may come anywhere
            Post(MIM_DATA, b, time);
            return;
        }
        if (inSysEx) {
            if (b < 0x80) {
                PutSysEx(b, time);
                return;
            }
            if (b == 0xF7) {
                bool broken = sysExBroken;
                PutSysEx(b, time);
                EndSysEx(time, broken);
                return;
            }
            EndSysEx(time, true);  // cut short by a new status byte
        }
        if (b == 0xF0) {
            runningStatus = 0;
            have = need = 0;
            inSysEx = true;
            PutSysEx(b, time);
            return;
        }
        if (b >= 0x80) {
            runningStatus = b < 0xF0 ? b : 0;
            if (b == 0xF7) {
                have = need = 0;
                Post(MIM_ERROR, b, time);
                return;
            }
            message[0] = b;
            have = 1;
            need = MessageLength(b) - 1;
            if (need == 0)
                Emit(time);
            return;
        }
        if (need > 0) {
            message[have++] = b;
            if (--need == 0)
                Emit(time);
            return;
        }
        if (runningStatus != 0) {
            message[0] = runningStatus;
            message[1] = b;
            have = 2;
            need = MessageLength(runningStatus) - 2;
            if (need == 0)
                Emit(time);
            return;
        }
        Post(MIM_ERROR, b, time);
    }

    void OnBytes(const uint8_t* data, size_t size) override
    {
        Core& core = TheCore();
        std::lock_guard l(core.lock);
        if (!open || !started || gone)
            return;
        uint32_t time = Now();
        for (size_t i = 0; i < size; ++i)
            Parse(data[i], time);
    }

    void OnGone() override
    {
        Core& core = TheCore();
        std::lock_guard l(core.lock);
        gone = true;
        started = false;
        ResetParser();
    }
};

struct OutPort final : OutputSink
{
    uintptr_t handle = 0;
    MidiOutCallback callback = nullptr;
    uintptr_t instance = 0;
    std::shared_ptr<OutputLink> link;
    std::u16string name;
    bool open = true;
    bool gone = false;
    uint64_t nextToken = 1;
    // Long messages the device has not taken, by token.
    std::map<uint64_t, MIDIHDR*> pending;

    bool Alive() const { return !gone && link->Alive(); }

    uint64_t FindPending(const MIDIHDR* h) const
    {
        for (auto& [token, header] : pending) {
            if (header == h)
                return token;
        }
        return 0;
    }

    void OnTaken(uint64_t token) override
    {
        Core& core = TheCore();
        std::lock_guard l(core.lock);
        auto it = pending.find(token);
        if (!open || it == pending.end())
            return;
        MIDIHDR* h = it->second;
        pending.erase(it);
        h->dwFlags = (h->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        if (callback != nullptr)
            core.Push({false, handle, MOM_DONE, reinterpret_cast<uintptr_t>(h), 0});
    }

    void OnGone() override
    {
        Core& core = TheCore();
        std::lock_guard l(core.lock);
        gone = true;
    }
};

void Core::Dispatch()
{
    std::unique_lock l(lock);
    for (;;) {
        wake.wait(l, [this] { return !events.empty(); });
        Event e = events.front();
        events.pop_front();
        if (!(e.input ? Call<HMIDIIN>(l, ins, e) : Call<HMIDIOUT>(l, outs, e)))
            continue;
        l.lock();
        ++callbacksFinished;
        callbacksDone.notify_all();
    }
}

MMRESULT CheckFlags(uint32_t flags, bool hasCallback)
{
    uint32_t kind = flags & 0x70000;
    if ((flags & ~(0x70000u | MIDI_IO_STATUS)) != 0 || (kind != CALLBACK_NULL && kind != CALLBACK_FUNCTION))
        return MMSYSERR_INVALFLAG;
    if (kind == CALLBACK_FUNCTION && !hasCallback)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

std::shared_ptr<InPort> Find(Core& core, HMIDIIN port)
{
    auto it = core.ins.find(reinterpret_cast<uintptr_t>(port));
    return it == core.ins.end() ? nullptr : it->second;
}

std::shared_ptr<OutPort> Find(Core& core, HMIDIOUT port)
{
    auto it = core.outs.find(reinterpret_cast<uintptr_t>(port));
    return it == core.outs.end() ? nullptr : it->second;
}

bool ValidHeader(const MIDIHDR* h)
{
    return h != nullptr && h->lpData != nullptr && h->dwBufferLength != 0;
}

// What differs between the input and the output side.
template <class Handle>
struct Side;

template <>
struct Side<HMIDIIN>
{
    using Port = InPort;
    using Link = InputLink;
    using Callback = MidiInCallback;
    static constexpr uint32_t kOpen = MIM_OPEN;
    static constexpr uint32_t kClose = MIM_CLOSE;
    static auto& Ports(Core& core) { return core.ins; }
    static bool Busy(const Port& p) { return !p.queue.empty(); }
    static void Closing(Port& p) { p.started = false; }
    // A header still queued for input cannot go back.
    static MMRESULT Release(Port& p, MIDIHDR* header)
    {
        bool queued = std::find(p.queue.begin(), p.queue.end(), header) != p.queue.end();
        return queued ? MIDIERR_STILLPLAYING : MMSYSERR_NOERROR;
    }
    static std::vector<std::u16string> Names() { return CurrentMidiBackend()->InputNames(); }
    static MMRESULT OpenLink(uint32_t device, Port& p, std::unique_ptr<Link>& link)
    {
        return CurrentMidiBackend()->OpenInput(device, p, link);
    }
};

template <>
struct Side<HMIDIOUT>
{
    using Port = OutPort;
    using Link = OutputLink;
    using Callback = MidiOutCallback;
    static constexpr uint32_t kOpen = MOM_OPEN;
    static constexpr uint32_t kClose = MOM_CLOSE;
    static auto& Ports(Core& core) { return core.outs; }
    static bool Busy(const Port& p) { return !p.pending.empty(); }
    static void Closing(Port&) {}
    // The device works from a copy, so the header can go back even now.
    static MMRESULT Release(Port& p, MIDIHDR* header)
    {
        if (uint64_t token = p.FindPending(header)) {
            p.pending.erase(token);
            header->dwFlags &= ~MHDR_INQUEUE;
        }
        return MMSYSERR_NOERROR;
    }
    static std::vector<std::u16string> Names() { return CurrentMidiBackend()->OutputNames(); }
    static MMRESULT OpenLink(uint32_t device, Port& p, std::unique_ptr<Link>& link)
    {
        return CurrentMidiBackend()->OpenOutput(device, p, link);
    }
};

template <class Handle, class Caps>
MMRESULT GetDevCaps(uintptr_t deviceOrHandle, Caps* caps)
{
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;
    Core& core = TheCore();
    if (deviceOrHandle >= kFirstHandle) {
        std::lock_guard l(core.lock);
        auto p = Find(core, reinterpret_cast<Handle>(deviceOrHandle));
        if (!p)
            return MMSYSERR_INVALHANDLE;
        if (!p->Alive())
            return MMSYSERR_NODRIVER;
        CopyName(p->name, caps->szPname);
        return MMSYSERR_NOERROR;
    }
    auto names = Side<Handle>::Names();
    if (deviceOrHandle >= names.size())
        return MMSYSERR_BADDEVICEID;
    CopyName(names[deviceOrHandle], caps->szPname);
    return MMSYSERR_NOERROR;
}

template <class Handle>
MMRESULT Open(Handle* port, uint32_t device, typename Side<Handle>::Callback callback, uintptr_t instance,
              uint32_t flags)
{
    if (port == nullptr)
        return MMSYSERR_INVALPARAM;
    *port = nullptr;
    if (MMRESULT r = CheckFlags(flags, callback != nullptr))
        return r;
    auto p = std::make_shared<typename Side<Handle>::Port>();
    if ((flags & 0x70000) == CALLBACK_FUNCTION) {
        p->callback = callback;
        p->instance = instance;
    }
    std::unique_ptr<typename Side<Handle>::Link> link;
    if (MMRESULT r = Side<Handle>::OpenLink(device, *p, link))
        return r;
    Core& core = TheCore();
    {
        std::lock_guard l(core.lock);
        p->link = std::move(link);
        p->name = p->link->Name();
        p->handle = core.NewHandle();
        Side<Handle>::Ports(core)[p->handle] = p;
        *port = reinterpret_cast<Handle>(p->handle);
    }
    if (p->callback != nullptr)
        p->callback(*port, Side<Handle>::kOpen, p->instance, 0, 0);
    return MMSYSERR_NOERROR;
}

// Runs `fn(core, port)` on an open port under the core's lock.
template <class Handle, class Fn>
MMRESULT WithPort(Handle port, Fn&& fn)
{
    Core& core = TheCore();
    std::lock_guard l(core.lock);
    auto p = Find(core, port);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    return fn(core, *p);
}

template <class Handle>
MMRESULT PrepareHeader(Handle port, MIDIHDR* header)
{
    return WithPort(port, [&](Core&, auto&) {
        if (!ValidHeader(header))
            return MMSYSERR_INVALPARAM;
        header->dwFlags |= MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

template <class Handle>
MMRESULT UnprepareHeader(Handle port, MIDIHDR* header)
{
    return WithPort(port, [&](Core& core, auto& p) {
        if (header == nullptr)
            return MMSYSERR_INVALPARAM;
        if (MMRESULT r = Side<Handle>::Release(p, header))
            return r;
        core.DropEventsFor(p.handle, header);
        header->dwFlags &= ~MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

template <class Handle>
MMRESULT Close(Handle port)
{
    Core& core = TheCore();
    std::shared_ptr<typename Side<Handle>::Port> p;
    decltype(p->link) link;
    {
        std::lock_guard l(core.lock);
        p = Find(core, port);
        if (!p)
            return MMSYSERR_INVALHANDLE;
        if (Side<Handle>::Busy(*p))
            return MIDIERR_STILLPLAYING;
        p->open = false;
        Side<Handle>::Closing(*p);
        Side<Handle>::Ports(core).erase(p->handle);
        link = std::move(p->link);
    }
    // Outside the lock: an input link waits for its reader, which may be
    // waiting for the lock to deliver bytes.
    link.reset();
    if (p->callback != nullptr)
        p->callback(port, Side<Handle>::kClose, p->instance, 0, 0);
    return MMSYSERR_NOERROR;
}

}  // namespace

void SetMidiBackend(std::shared_ptr<MidiBackend> backend)
{
    Core& core = TheCore();
    std::lock_guard l(core.backendLock);
    core.backend = std::move(backend);
}

std::shared_ptr<MidiBackend> CurrentMidiBackend()
{
    Core& core = TheCore();
    std::lock_guard l(core.backendLock);
    if (!core.backend)
        core.backend = MakeSocketBackend();
    return core.backend;
}

// ---- input ----

uint32_t MidiInGetNumDevs()
{
    return static_cast<uint32_t>(CurrentMidiBackend()->InputNames().size());
}

MMRESULT MidiInGetDevCaps(uintptr_t deviceOrHandle, MIDIINCAPS* caps)
{
    return GetDevCaps<HMIDIIN>(deviceOrHandle, caps);
}

MMRESULT MidiInOpen(HMIDIIN* port, uint32_t device, MidiInCallback callback, uintptr_t instance,
                    uint32_t flags)
{
    return Open(port, device, callback, instance, flags);
}

MMRESULT MidiInPrepareHeader(HMIDIIN port, MIDIHDR* header)
{
    return PrepareHeader(port, header);
}

MMRESULT MidiInUnprepareHeader(HMIDIIN port, MIDIHDR* header)
{
    return UnprepareHeader(port, header);
}

MMRESULT MidiInAddBuffer(HMIDIIN port, MIDIHDR* header)
{
    return WithPort(port, [&](Core&, InPort& p) {
        if (!ValidHeader(header))
            return MMSYSERR_INVALPARAM;
        if ((header->dwFlags & MHDR_PREPARED) == 0)
            return MIDIERR_UNPREPARED;
        if (std::find(p.queue.begin(), p.queue.end(), header) != p.queue.end())
            return MIDIERR_STILLPLAYING;
        if (p.gone)
            return MMSYSERR_NODRIVER;
        header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
        header->dwBytesRecorded = 0;
        p.queue.push_back(header);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT MidiInStart(HMIDIIN port)
{
    return WithPort(port, [](Core&, InPort& p) {
        if (!p.Alive())
            return MMSYSERR_NODRIVER;
        if (!p.started) {
            p.started = true;
            p.startTime = Clock::now();
            p.ResetParser();
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT MidiInStop(HMIDIIN port)
{
    return WithPort(port, [](Core&, InPort& p) {
        if (!p.queue.empty() && p.queue.front()->dwBytesRecorded > 0)
            p.ReturnFront(MIM_LONGDATA, p.started ? p.Now() : 0);
        p.started = false;
        p.ResetParser();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT MidiInReset(HMIDIIN port)
{
    return WithPort(port, [](Core&, InPort& p) {
        uint32_t time = p.started ? p.Now() : 0;
        while (!p.queue.empty())
            p.ReturnFront(MIM_LONGDATA, time);
        p.started = false;
        p.ResetParser();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT MidiInClose(HMIDIIN port)
{
    return Close(port);
}

// ---- output ----

uint32_t MidiOutGetNumDevs()
{
    return static_cast<uint32_t>(CurrentMidiBackend()->OutputNames().size());
}

MMRESULT MidiOutGetDevCaps(uintptr_t deviceOrHandle, MIDIOUTCAPS* caps)
{
    return GetDevCaps<HMIDIOUT>(deviceOrHandle, caps);
}

MMRESULT MidiOutOpen(HMIDIOUT* port, uint32_t device, MidiOutCallback callback, uintptr_t instance,
                     uint32_t flags)
{
    return Open(port, device, callback, instance, flags);
}

MMRESULT MidiOutShortMsg(HMIDIOUT port, uint32_t message)
{
    uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                        static_cast<uint8_t>(message >> 16)};
    if (bytes[0] < 0x80 || bytes[0] == 0xF0 || bytes[0] == 0xF7)
        return MMSYSERR_INVALPARAM;
    Core& core = TheCore();
    std::shared_ptr<OutPort> p;
    std::shared_ptr<OutputLink> link;
    {
        std::lock_guard l(core.lock);
        p = Find(core, port);
        if (!p)
            return MMSYSERR_INVALHANDLE;
        if (!p->Alive())
            return MMSYSERR_NODRIVER;
        link = p->link;
    }
    return link->Send(bytes, static_cast<size_t>(MessageLength(bytes[0])), 0);
}

MMRESULT MidiOutPrepareHeader(HMIDIOUT port, MIDIHDR* header)
{
    return PrepareHeader(port, header);
}

MMRESULT MidiOutUnprepareHeader(HMIDIOUT port, MIDIHDR* header)
{
    return UnprepareHeader(port, header);
}

MMRESULT MidiOutLongMsg(HMIDIOUT port, MIDIHDR* header)
{
    Core& core = TheCore();
    std::shared_ptr<OutPort> p;
    std::shared_ptr<OutputLink> link;
    std::vector<uint8_t> bytes;
    uint64_t token = 0;
    {
        std::lock_guard l(core.lock);
        p = Find(core, port);
        if (!p)
            return MMSYSERR_INVALHANDLE;
        if (!ValidHeader(header))
            return MMSYSERR_INVALPARAM;
        if ((header->dwFlags & MHDR_PREPARED) == 0)
            return MIDIERR_UNPREPARED;
        if (p->FindPending(header) != 0)
            return MIDIERR_STILLPLAYING;
        if (!p->Alive())
            return MMSYSERR_NODRIVER;
        bytes.assign(header->lpData, header->lpData + header->dwBufferLength);
        token = p->nextToken++;
        p->pending[token] = header;
        header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
        link = p->link;
    }
    MMRESULT r = link->Send(bytes.data(), bytes.size(), token);
    if (r != MMSYSERR_NOERROR) {
        std::lock_guard l(core.lock);
        auto it = p->pending.find(token);
        if (it != p->pending.end()) {
            p->pending.erase(it);
            header->dwFlags &= ~MHDR_INQUEUE;
        }
    }
    return r;
}

MMRESULT MidiOutReset(HMIDIOUT port)
{
    return WithPort(port, [](Core& core, OutPort& p) {
        for (auto& [token, header] : p.pending) {
            header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
            if (p.callback != nullptr)
                core.Push({false, p.handle, MOM_DONE, reinterpret_cast<uintptr_t>(header), 0});
        }
        p.pending.clear();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT MidiOutClose(HMIDIOUT port)
{
    return Close(port);
}

void MidiWaitCallbacks()
{
    Core& core = TheCore();
    std::unique_lock l(core.lock);
    if (std::this_thread::get_id() == core.dispatcher)
        return;
    uint64_t target = core.callbacksStarted;
    core.callbacksDone.wait(l, [&] { return core.callbacksFinished >= target; });
}

uint32_t TimeGetTime()
{
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

uint32_t TimeBeginPeriod(uint32_t periodMs)
{
    return periodMs == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

uint32_t TimeEndPeriod(uint32_t periodMs)
{
    return periodMs == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

}  // namespace Tavo::Platform::Midi
