#include "Midi/MidiComm.h"

#include "Midi/MidiPortNames.h"
#include "Midi/MidiPorts.h"

#include <algorithm>
#include <atomic>

namespace Tavo {

using namespace Platform::Midi;

namespace {

constexpr uint32_t kDefaultSendTimeoutMs = 10000;
std::atomic<uint32_t> gSendTimeoutMs{kDefaultSendTimeoutMs};
std::atomic<LMidiComm::SendWait> gSendWait{nullptr};

WString CapsName(const char16_t (&name)[MAXPNAMELEN])
{
    return WString(name, MAXPNAMELEN);
}

template <class Caps>
WStringArray DeviceNamesRaw(uint32_t (*getCount)(), MMRESULT (*getCaps)(uintptr_t, Caps*))
{
    WStringArray names;
    uint32_t count = getCount();
    for (uint32_t id = 0; id < count; ++id) {
        Caps caps;
        if (getCaps(id, &caps) != MMSYSERR_NOERROR)
            break;
        names.Add(CapsName(caps.szPname));
    }
    return names;
}

WStringArray InputDeviceNamesRaw()
{
    return DeviceNamesRaw(&MidiInGetNumDevs, &MidiInGetDevCaps);
}

WStringArray OutputDeviceNamesRaw()
{
    return DeviceNamesRaw(&MidiOutGetNumDevs, &MidiOutGetDevCaps);
}

// The device a wanted name such as "Name 2" stands for, -1 when none fits.
// `deviceName` is then the last device present, for error texts.
int32_t SelectDevice(const WString& wanted, const WStringArray& names, WString& deviceName)
{
    WString base;
    int32_t ordinal = 0;
    MidiPortNames::SplitName(wanted, base, ordinal);
    int32_t device = MidiPortNames::SelectDevice(names, base, ordinal);
    if (device < 0) {
        if (names.GetCount() > 0)
            deviceName = names[names.GetCount() - 1];
    } else {
        deviceName = names[static_cast<uint32_t>(device)];
    }
    return device;
}

bool SameNameIgnoringCase(const WString& a, const WString& b)
{
    return a.ToLower() == b.ToLower();
}

}  // namespace

// ---- capture ports ----

LMidiCapturePort::LMidiCapturePort(const WString& wantedName, LMidiComm* service)
    : mWantedName(wantedName), mService(service)
{
    for (InputBuffer& buffer : mBuffers) {
        buffer.header.lpData = buffer.data;
        buffer.header.dwBufferLength = kBufferSize;
        buffer.header.dwUser = reinterpret_cast<uintptr_t>(&buffer);
    }
}

LMidiCapturePort::~LMidiCapturePort()
{
    Close();
    UnprepareAll();
    mPending = nullptr;
    mService = nullptr;
}

TavoResult LMidiCapturePort::ReleaseInternalReferences()
{
    if (!mService || !mService->RemoveCapturePort(this))
        return E_FAIL;
    return (GetInternalRefCount() == 0 && GetRefCount() == 1) ? S_OK : E_FAIL;
}

MMRESULT LMidiCapturePort::Open()
{
    Close();
    int32_t device = SelectDevice(mWantedName, InputDeviceNamesRaw(), mDeviceName);
    if (device < 0)
        return MMSYSERR_NODRIVER;
    HMIDIIN handle = nullptr;
    MMRESULT result =
        MidiInOpen(&handle, static_cast<uint32_t>(device), &LMidiComm::MidiInProc,
                   reinterpret_cast<uintptr_t>(mService.Get()), CALLBACK_FUNCTION | MIDI_IO_STATUS);
    if (result == MMSYSERR_NOERROR) {
        mHandle = handle;
        mClosing = false;
        result = QueueAllBuffers();
    }
    if (result != MMSYSERR_NOERROR && mHandle.load())
        Shut();
    return result;
}

void LMidiCapturePort::Close()
{
    if (mHandle.load())
        Shut();
}

void LMidiCapturePort::Shut()
{
    HMIDIIN handle = mHandle.load();
    mClosing = true;
    MidiInStop(handle);
    // Returns every queued buffer; the callbacks find the port closing and
    // keep them.
    MidiInReset(handle);
    UnprepareAll();
    MidiInClose(handle);
    mHandle = nullptr;
}

void LMidiCapturePort::UnprepareAll()
{
    for (InputBuffer& buffer : mBuffers) {
        if (buffer.bound) {
            MidiInUnprepareHeader(buffer.bound, &buffer.header);
            buffer.bound = nullptr;
        }
    }
}

MMRESULT LMidiCapturePort::QueueAllBuffers()
{
    HMIDIIN handle = mHandle.load();
    if (!handle)
        return MMSYSERR_ERROR;
    for (InputBuffer& buffer : mBuffers) {
        buffer.bound = handle;
        MMRESULT result = MidiInPrepareHeader(handle, &buffer.header);
        if (result == MMSYSERR_NOERROR) {
            buffer.header.dwFlags &= ~MHDR_DONE;
            buffer.header.dwBytesRecorded = 0;
            result = MidiInAddBuffer(handle, &buffer.header);
        }
        if (result != MMSYSERR_NOERROR) {
            // Queued ones come back first, or they could not be unprepared.
            MidiInReset(handle);
            UnprepareAll();
            return result;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT LMidiCapturePort::RequeueBuffer(MIDIHDR* header)
{
    if (mClosing || !mHandle.load())
        return MMSYSERR_HANDLEBUSY;
    InputBuffer* record = nullptr;
    for (InputBuffer& buffer : mBuffers)
        if (reinterpret_cast<uintptr_t>(&buffer) == header->dwUser)
            record = &buffer;
    if (!record || !record->bound)
        return MMSYSERR_ERROR;
    record->header.dwFlags &= ~MHDR_DONE;
    record->header.dwBytesRecorded = 0;
    MMRESULT result = MidiInPrepareHeader(record->bound, &record->header);
    if (result != MMSYSERR_NOERROR)
        return result;
    return MidiInAddBuffer(record->bound, &record->header);
}

RCPtr<LMidiCaptureNotificationData> LMidiCapturePort::NewRecord(uint32_t time)
{
    return LMidiCaptureNotificationData::Create(
        LMidiCaptureNotificationData::PortIdentity(static_cast<LRefCountedObject*>(this)), mWantedName, time);
}

void LMidiCapturePort::OnShortMessage(uintptr_t packed, uint32_t time)
{
    uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                        static_cast<uint8_t>(packed >> 16)};
    size_t length = 1;
    switch (bytes[0] >> 4) {
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xE:
        length = 3;
        break;
    case 0xC:
    case 0xD:
        length = 2;
        break;
    default:
        break;
    }
    RCPtr<LMidiCaptureNotificationData> record = NewRecord(time);
    record->Bytes().assign(bytes, bytes + length);
    mService->Deliver(record);
}

void LMidiCapturePort::OnSysExData(const uint8_t* data, int32_t length, bool complete)
{
    if (RCPtr<LMidiCaptureNotificationData> record = AssembleSysEx(data, length, complete))
        mService->Deliver(record);
}

RCPtr<LMidiCaptureNotificationData> LMidiCapturePort::AssembleSysEx(const uint8_t* data, int32_t length,
                                                                    bool complete)
{
    if (length <= 0)
        return nullptr;
    if (mDiscarding) {
        // A status byte never occurs inside a message, so F0 starts the next.
        if (data[0] != 0xF0) {
            if (complete)
                mDiscarding = false;
            return nullptr;
        }
        mDiscarding = false;
    }
    size_t size = static_cast<size_t>(length);
    if (!mPending) {
        if (complete) {
            if (data[0] != 0xF0)
                return nullptr;
            RCPtr<LMidiCaptureNotificationData> record = NewRecord(0);
            record->Bytes().assign(data, data + size);
            return record;
        }
        mPending = NewRecord(0);
    }
    std::vector<uint8_t>& bytes = mPending->Bytes();
    if (bytes.size() + size > LMidiComm::kMaxSysExBytes) {
        // A device streaming without end: drop the message, skip to its end.
        mPending = nullptr;
        mDiscarding = !complete;
        return nullptr;
    }
    bytes.insert(bytes.end(), data, data + size);
    if (!complete)
        return nullptr;
    RCPtr<LMidiCaptureNotificationData> record = std::move(mPending);
    mPending = nullptr;
    return record;
}

// ---- render ports ----

LMidiRenderPort::LMidiRenderPort(const WString& wantedName, LMidiComm* service)
    : mWantedName(wantedName), mService(service)
{
    mIdle.Set();
}

LMidiRenderPort::~LMidiRenderPort()
{
    Close();
    mService = nullptr;
}

void LMidiRenderPort::Close()
{
    if (HMIDIOUT handle = mHandle.exchange(nullptr)) {
        MidiOutReset(handle);
        MidiOutClose(handle);
    }
}

TavoResult LMidiRenderPort::ReleaseInternalReferences()
{
    if (!mService || !mService->RemoveRenderPort(this))
        return E_FAIL;
    return (GetInternalRefCount() == 0 && GetRefCount() == 1) ? S_OK : E_FAIL;
}

MMRESULT LMidiRenderPort::Open()
{
    Close();
    int32_t device = SelectDevice(mWantedName, OutputDeviceNamesRaw(), mDeviceName);
    if (device < 0)
        return MMSYSERR_NODRIVER;
    HMIDIOUT handle = nullptr;
    MMRESULT result = MidiOutOpen(&handle, static_cast<uint32_t>(device), &LMidiComm::MidiOutProc,
                                  reinterpret_cast<uintptr_t>(mService.Get()), CALLBACK_FUNCTION);
    if (result == MMSYSERR_NOERROR)
        mHandle = handle;
    else if (handle)
        MidiOutClose(handle);
    return result;
}

uint32_t LMidiRenderPort::GetMidiMessageLength(uint8_t status)
{
    if (status < 0x80)
        return 1;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
        return 3;
    if (status < 0xE0)
        return 2;
    switch (status) {
    case 0xF0:
    case 0xF7:
        return 0;
    case 0xF1:
    case 0xF3:
    case 0xF4:
    case 0xF5:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1;
    }
}

TavoResult LMidiRenderPort::SendBytes(const uint8_t* data, uint32_t length)
{
    uint32_t timeout = LMidiComm::GetSendTimeout();
    mIdle.Wait(timeout);
    HMIDIOUT handle = mHandle.load();
    uint8_t status = data[0];
    if (status >= 0x80 && status != 0xF0 && status != 0xF7) {
        uint32_t messageLength = GetMidiMessageLength(status);
        uint32_t packed = 0;
        for (uint32_t i = 0; i < messageLength && i < length; ++i)
            packed |= static_cast<uint32_t>(data[i]) << (8 * i);
        if (MidiOutShortMsg(handle, packed) != MMSYSERR_NOERROR)
            return E_FAIL;
        return static_cast<TavoResult>(messageLength);
    }
    // The layer copies the bytes when the message is sent, so neither they nor
    // this header are touched once the unprepare below has returned.
    MIDIHDR header;
    header.lpData = const_cast<uint8_t*>(data);
    header.dwBufferLength = length;
    header.dwBytesRecorded = length;
    MMRESULT result = MidiOutPrepareHeader(handle, &header);
    if (result != MMSYSERR_NOERROR)
        return E_FAIL;
    mIdle.Reset();
    result = MidiOutLongMsg(handle, &header);
    const LMidiComm::SendWait wait = gSendWait.load();
    if (result == MMSYSERR_NOERROR && (wait ? wait(mIdle, timeout) : mIdle.Wait(timeout)) == WAIT_TIMEOUT)
        result = MMSYSERR_ERROR;
    MidiOutUnprepareHeader(handle, &header);
    mIdle.Set();
    if (result != MMSYSERR_NOERROR)
        return E_FAIL;
    return static_cast<TavoResult>(length);
}

// ---- the service ----

RCPtr<LMidiCommInterface> LMidiComm::Create()
{
    return RCPtr<LMidiCommInterface>(new LMidiComm());
}

LMidiComm::LMidiComm() : mThreadPool(LThreadPool::Create(1, 2)) {}

LMidiComm::~LMidiComm()
{
    // A callback may have taken our address before the last port closed.
    MidiWaitCallbacks();
    // May run on the pool's own thread, which the pool then leaves running
    // to its end instead of joining it.
    mThreadPool = nullptr;
}

WStringArray LMidiComm::GetInputDeviceNames()
{
    return MidiPortNames::NumberRepeatedNames(InputDeviceNamesRaw());
}

WStringArray LMidiComm::GetOutputDeviceNames()
{
    return MidiPortNames::NumberRepeatedNames(OutputDeviceNamesRaw());
}

uint32_t LMidiComm::GetSendTimeout()
{
    return gSendTimeoutMs.load();
}

void LMidiComm::SetSendTimeoutForTesting(uint32_t ms)
{
    gSendTimeoutMs = ms;
}

void LMidiComm::SetSendWait(SendWait wait)
{
    gSendWait = wait;
}

TavoResult LMidiComm::OpenCapturePort(const WString& name, RCPtr<LRefCountedObject>& port)
{
    MutexLocker lock(mPortLock);
    port = nullptr;
    int32_t index = -1;
    int32_t count = MidiPortNames::Match(GetInputDeviceNames(), name, index);
    if (count > 1)
        return E_INVALIDARG;
    RCPtr<LMidiCapturePort> existing;
    if (count == 1) {
        for (const RCPtr<LMidiCapturePort>& open : mCapturePorts) {
            if (SameNameIgnoringCase(open->GetWantedName(), name)) {
                existing = open;
                break;
            }
        }
    }
    if (existing) {
        MIDIINCAPS caps;
        HMIDIIN handle = existing->GetHandle();
        if (!handle || MidiInGetDevCaps(reinterpret_cast<uintptr_t>(handle), &caps) != MMSYSERR_NOERROR) {
            // Its device went away and may be back: reopen, and restart input.
            if (existing->Open() != MMSYSERR_NOERROR)
                return E_FAIL;
            if (MidiInStart(existing->GetHandle()) != MMSYSERR_NOERROR) {
                existing->Close();
                return E_FAIL;
            }
        }
        port = RCPtr<LRefCountedObject>(static_cast<LRefCountedObject*>(existing.Get()));
        return S_OK;
    }
    RCPtr<LMidiCapturePort> created(new LMidiCapturePort(name, this));
    if (created->Open() != MMSYSERR_NOERROR)
        return E_FAIL;
    mCapturePorts.push_back(created);
    created->AddInternalReferences(1);
    if (MidiInStart(created->GetHandle()) != MMSYSERR_NOERROR) {
        created->Close();
        created->AddInternalReferences(-1);
        mCapturePorts.pop_back();
        return E_FAIL;
    }
    port = RCPtr<LRefCountedObject>(static_cast<LRefCountedObject*>(created.Get()));
    return S_OK;
}

TavoResult LMidiComm::OpenRenderPort(const WString& name, RCPtr<LRefCountedObject>& port)
{
    MutexLocker lock(mPortLock);
    port = nullptr;
    WStringArray directory = GetOutputDeviceNames();
    int32_t index = -1;
    int32_t count = MidiPortNames::Match(directory, name, index);
    if (count > 1)
        return E_INVALIDARG;
    RCPtr<LMidiRenderPort> existing;
    if (count == 1) {
        const WString& listed = directory[static_cast<uint32_t>(index)];
        for (const RCPtr<LMidiRenderPort>& open : mRenderPorts) {
            if (SameNameIgnoringCase(open->GetDeviceName(), listed)) {
                existing = open;
                break;
            }
        }
    }
    if (existing) {
        MIDIOUTCAPS caps;
        HMIDIOUT handle = existing->GetHandle();
        if (!handle || MidiOutGetDevCaps(reinterpret_cast<uintptr_t>(handle), &caps) != MMSYSERR_NOERROR) {
            if (existing->Open() != MMSYSERR_NOERROR)
                return E_FAIL;
        }
        port = RCPtr<LRefCountedObject>(static_cast<LRefCountedObject*>(existing.Get()));
        return S_OK;
    }
    RCPtr<LMidiRenderPort> created(new LMidiRenderPort(name, this));
    if (created->Open() != MMSYSERR_NOERROR)
        return E_FAIL;
    mRenderPorts.push_back(created);
    created->AddInternalReferences(1);
    port = RCPtr<LRefCountedObject>(static_cast<LRefCountedObject*>(created.Get()));
    return S_OK;
}

TavoResult LMidiComm::Send(const RCPtr<LRefCountedObject>& port, const ConstRCPtr<LIBuffer>& buffer)
{
    if (!buffer)
        return E_INVALIDARG;
    return Send(port, static_cast<const uint8_t*>(buffer->GetData()), buffer->GetSize());
}

TavoResult LMidiComm::Send(const RCPtr<LRefCountedObject>& port, const uint8_t* data, uint32_t length)
{
    LMidiRenderPort* render = port ? dynamic_cast<LMidiRenderPort*>(port.Get()) : nullptr;
    if (!render || !data || length == 0)
        return E_INVALIDARG;
    return render->SendBytes(data, length);
}

WString LMidiComm::ToString() const
{
    static const WString* name = new WString(u"Tavo::LMidiComm");
    return *name;
}

uint32_t LMidiComm::DoWork(RCPtr<LRefCountedObject>& param)
{
    DistributeCapturedData(RCPtrDynamicCast<LMidiCaptureNotificationData>(param));
    return 0;
}

namespace {

template <class Port>
bool RemoveFrom(std::vector<RCPtr<Port>>& ports, Port* port, RCPtr<Port>& taken)
{
    auto it = std::find_if(ports.begin(), ports.end(), [&](const RCPtr<Port>& p) { return p.Get() == port; });
    if (it == ports.end())
        return false;
    // An open call handed it out again while its last holder was letting go.
    if (port->GetRefCount() - port->GetInternalRefCount() > 1)
        return false;
    port->AddInternalReferences(-1);
    taken = std::move(*it);
    ports.erase(it);
    return true;
}

}  // namespace

// A leaving port closes before the lock goes, so an open call that follows
// finds its device free.
bool LMidiComm::RemoveCapturePort(LMidiCapturePort* port)
{
    RCPtr<LMidiCapturePort> taken;
    MutexLocker lock(mPortLock);
    if (!RemoveFrom(mCapturePorts, port, taken))
        return false;
    port->Close();
    return true;
}

bool LMidiComm::RemoveRenderPort(LMidiRenderPort* port)
{
    RCPtr<LMidiRenderPort> taken;
    MutexLocker lock(mPortLock);
    if (!RemoveFrom(mRenderPorts, port, taken))
        return false;
    port->Close();
    return true;
}

void LMidiComm::Deliver(const RCPtr<LMidiCaptureNotificationData>& record)
{
    mThreadPool->QueueWork(RCPtr<LThreadWorker>(static_cast<LThreadWorker*>(this)),
                           RCPtr<LRefCountedObject>(static_cast<LRefCountedObject*>(record.Get())), 0);
}

void LMidiComm::MidiInProc(HMIDIIN handle, uint32_t message, uintptr_t instance, uintptr_t param1,
                           uintptr_t param2)
{
    // Open and close messages come inside our own calls; nothing to do.
    if (instance == 0 || message == MIM_OPEN || message == MIM_CLOSE)
        return;
    auto* service = reinterpret_cast<LMidiComm*>(instance);
    MutexLocker lock(service->mPortLock);
    LMidiCapturePort* port = nullptr;
    for (auto it = service->mCapturePorts.rbegin(); it != service->mCapturePorts.rend(); ++it) {
        if ((*it)->GetHandle() == handle) {
            port = it->Get();
            break;
        }
    }
    if (!port)
        return;
    switch (message) {
    case MIM_DATA:
    case MIM_MOREDATA:
        port->OnShortMessage(param1, static_cast<uint32_t>(param2));
        break;
    case MIM_LONGDATA:
        if (auto* header = reinterpret_cast<MIDIHDR*>(param1)) {
            uint32_t recorded = header->dwBytesRecorded;
            bool complete =
                recorded < header->dwBufferLength || (recorded > 0 && header->lpData[recorded - 1] == 0xF7);
            RCPtr<LMidiCaptureNotificationData> record =
                port->AssembleSysEx(header->lpData, static_cast<int32_t>(recorded), complete);
            // Back to the device before anyone hears of the message, which
            // may well be answered at once.
            port->RequeueBuffer(header);
            if (record)
                service->Deliver(record);
        }
        break;
    case MIM_LONGERROR:
        if (auto* header = reinterpret_cast<MIDIHDR*>(param1))
            port->RequeueBuffer(header);
        break;
    default:
        break;
    }
}

void LMidiComm::MidiOutProc(HMIDIOUT handle, uint32_t message, uintptr_t instance, uintptr_t, uintptr_t)
{
    if (instance == 0 || message != MOM_DONE)
        return;
    auto* service = reinterpret_cast<LMidiComm*>(instance);
    MutexLocker lock(service->mPortLock);
    for (auto it = service->mRenderPorts.rbegin(); it != service->mRenderPorts.rend(); ++it) {
        if ((*it)->GetHandle() == handle) {
            (*it)->OnDone();
            break;
        }
    }
}

}  // namespace Tavo
