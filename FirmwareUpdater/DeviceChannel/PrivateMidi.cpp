#include "DeviceChannel/PrivateMidi.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "DeviceChannel/CalvioMutex.h"
#include "DeviceChannel/DeviceInstanceInternal.h"
#include "DeviceChannel/DeviceInstanceWatcher.h"
#include "Platform/Driver/Driver.h"
#include "Platform/Kernel/KernelEvent.h"
#include "Platform/Kernel/LittleEndian.h"
#include "Threading/Thread.h"

namespace Driver = Tavo::Platform::Driver;

namespace {

constexpr uint32_t kFreeRecordTries = 499;
constexpr uint32_t kDrainStepMs = 10;
std::atomic<PrivateMidi::DrainStep> gDrainStep{nullptr};

void Pause(uint32_t ms)
{
    if (const PrivateMidi::DrainStep step = gDrainStep.load())
        step(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
constexpr int32_t kPollWaitMs = 5000;
constexpr uint32_t kStopWaitMs = 5000;
constexpr uint8_t kSysExEnd = 0xF7;

using Tavo::Platform::Get32;
using Tavo::Platform::Put32;
// An 8-byte slot: numbers with their upper half zero, addresses whole.
constexpr auto PutSlot = &Tavo::Platform::Put64;

struct SendRecord
{
    std::unique_ptr<uint8_t[]> buffer;
    uint32_t capacity = 0;
    uint8_t marker = 0;

    // The driver flips the first byte to the marker once it took the message.
    bool IsFree() const { return buffer && Driver::LoadSendByte(buffer.get()) == marker; }
    bool IsBusy() const { return buffer && Driver::LoadSendByte(buffer.get()) != marker; }
    void Release() { marker = Driver::LoadSendByte(buffer.get()); }
    void Allocate(uint32_t size)
    {
        buffer = std::make_unique<uint8_t[]>(size);
        capacity = size;
        marker = buffer[0];
    }
};

struct PortSlot
{
    bool open = false;
    CalvioMutex lock;
    SendRecord records[PrivateMidi::kRecordCount];

    bool AnyBusy() const
    {
        for (const auto& r : records) {
            if (r.IsBusy())
                return true;
        }
        return false;
    }
};

struct InputSlot
{
    bool open = false;
    CalvioMutex lock;
    PrivateMidiInputReceiver* receiver = nullptr;
    std::vector<uint8_t> buffer;
    uint32_t position = 0;
};

}  // namespace

struct PrivateMidi::MemberData final : CalvioDeviceAttachedStateCallbackReceiver
{
    CalvioMutex lock;
    PortSlot ports[kPortCount];
    InputSlot inputs[kPortCount];
    Tavo::Platform::KernelEvent event{true};
    std::unique_ptr<Tavo::Thread> pollThread;
    std::atomic<bool> stop{false};
    bool shutDown = false;
    std::unique_ptr<DeviceInstanceWatcher> watcher;
    PrivateMidi* owner = nullptr;
    // Where closes add the messages the driver never took; guarded by lock.
    uint32_t* untakenSink = nullptr;

    void OnAttachedStateChanged(bool attached, DeviceInstanceWatcher* source) override;

    bool Request(uint32_t id, uint32_t flags, const void* extra, uint32_t extraSize, void* value,
                 uint32_t valueSize, uint32_t* returned = nullptr);
    bool SetNumber(uint32_t id, uint32_t number);
    bool SetEventSlot(uint32_t id);
    int32_t CloseLocked();

    SendRecord* QueueMessage(PortSlot& slot, const uint8_t* data, uint32_t length);
    static int FindFreeRecord(PortSlot& slot, uint32_t size, int& smallestFree);
    static int AllocateRecord(PortSlot& slot, uint32_t size);
    static int WaitForFreeRecord(PortSlot& slot, uint32_t size);

    static uint32_t PollThread(void* self);
    void Poll();
    bool ReadInput(uint32_t port, uint8_t* position, uint32_t space, uint32_t& value0, uint32_t& value1,
                   uint32_t& bytesRead, uint32_t& endFlag);
};

bool PrivateMidi::MemberData::Request(uint32_t id, uint32_t flags, const void* extra, uint32_t extraSize,
                                      void* value, uint32_t valueSize, uint32_t* returned)
{
    uint8_t in[sizeof(Driver::PropertyHeader) + 24] = {};
    Driver::PropertyHeader header;
    header.set = Driver::kMidiChannelSet;
    header.id = id;
    header.flags = flags;
    std::memcpy(in, &header, sizeof header);
    if (extraSize != 0)
        std::memcpy(in + sizeof header, extra, extraSize);
    uint32_t unused = 0;
    return watcher->Ioctl(Driver::kIoctlKsProperty, in, static_cast<uint32_t>(sizeof header + extraSize),
                          value, valueSize, returned ? returned : &unused);
}

bool PrivateMidi::MemberData::SetNumber(uint32_t id, uint32_t number)
{
    uint8_t value[4];
    Put32(value, number);
    return Request(id, Driver::kPropertySet, nullptr, 0, value, sizeof value);
}

bool PrivateMidi::MemberData::SetEventSlot(uint32_t id)
{
    uint8_t value[8];
    PutSlot(value, reinterpret_cast<uintptr_t>(&event));
    return Request(id, Driver::kPropertySet, nullptr, 0, value, sizeof value);
}

void PrivateMidi::MemberData::OnAttachedStateChanged(bool attached, DeviceInstanceWatcher*)
{
    std::lock_guard<CalvioMutex> guard(lock);
    if (attached) {
        if (!watcher->IsOpen() && watcher->OpenDevice())
            SetEventSlot(Driver::kMidiSetEvent);
    } else {
        CloseLocked();
    }
}

int32_t PrivateMidi::MemberData::CloseLocked()
{
    int32_t result = kPrivateMidiDeviceNotOpen;
    if (watcher->IsOpen()) {
        for (auto& port : ports) {
            bool open;
            {
                std::lock_guard<CalvioMutex> guard(port.lock);
                open = port.open;
            }
            for (uint32_t waited = 0; open; waited += kDrainStepMs) {
                {
                    std::lock_guard<CalvioMutex> guard(port.lock);
                    if (!port.AnyBusy())
                        break;
                }
                if (waited >= kDrainLimitMs)
                    break;
                Pause(kDrainStepMs);
            }
        }
        for (auto& input : inputs) {
            std::lock_guard<CalvioMutex> guard(input.lock);
            input.open = false;
        }
        result = SetNumber(Driver::kMidiClose, 1) ? kPrivateMidiOk : kPrivateMidiCloseRefused;
    }
    for (auto& port : ports) {
        std::lock_guard<CalvioMutex> guard(port.lock);
        port.open = false;
        // The driver layer has dropped every pending take by now (closed,
        // detached or told to close): a record still busy would never come
        // back.
        for (auto& record : port.records) {
            if (record.IsBusy() && untakenSink)
                ++*untakenSink;
            if (record.buffer)
                record.Release();
        }
    }
    for (auto& input : inputs) {
        std::lock_guard<CalvioMutex> guard(input.lock);
        input.open = false;
        input.position = 0;
    }
    return result;
}

int PrivateMidi::MemberData::FindFreeRecord(PortSlot& slot, uint32_t size, int& smallestFree)
{
    int fit = -1;
    smallestFree = -1;
    for (int i = 0; i < int(kRecordCount); ++i) {
        const SendRecord& r = slot.records[i];
        if (!r.IsFree())
            continue;
        if (r.capacity >= size && (fit < 0 || r.capacity < slot.records[fit].capacity))
            fit = i;
        if (smallestFree < 0 || r.capacity < slot.records[smallestFree].capacity)
            smallestFree = i;
    }
    return fit;
}

int PrivateMidi::MemberData::AllocateRecord(PortSlot& slot, uint32_t size)
{
    for (int i = 0; i < int(kRecordCount); ++i) {
        if (!slot.records[i].buffer) {
            slot.records[i].Allocate(size);
            return i;
        }
    }
    return -1;
}

int PrivateMidi::MemberData::WaitForFreeRecord(PortSlot& slot, uint32_t size)
{
    int smallest = -1;
    int fit = FindFreeRecord(slot, size, smallest);
    for (uint32_t tries = 0; fit < 0 && smallest < 0 && tries < kFreeRecordTries; ++tries) {
        Pause(1);
        fit = FindFreeRecord(slot, size, smallest);
    }
    if (fit >= 0)
        return fit;
    if (smallest < 0)
        return -1;
    // Free but too small: grow the smallest free one.
    slot.records[smallest].Allocate(size);
    return smallest;
}

SendRecord* PrivateMidi::MemberData::QueueMessage(PortSlot& slot, const uint8_t* data, uint32_t length)
{
    const uint32_t size = length == 0 ? 1 : length;
    int smallest = -1;
    int index = FindFreeRecord(slot, size, smallest);
    if (index < 0)
        index = AllocateRecord(slot, size);
    if (index < 0)
        index = WaitForFreeRecord(slot, size);
    if (index < 0)
        return nullptr;
    SendRecord& record = slot.records[index];
    if (length != 0)
        std::memcpy(record.buffer.get(), data, length);
    record.marker = static_cast<uint8_t>(~record.buffer[0]);
    return &record;
}

uint32_t PrivateMidi::MemberData::PollThread(void* self)
{
    static_cast<MemberData*>(self)->Poll();
    return 0;
}

bool PrivateMidi::MemberData::ReadInput(uint32_t port, uint8_t* position, uint32_t space, uint32_t& value0,
                                        uint32_t& value1, uint32_t& bytesRead, uint32_t& endFlag)
{
    uint8_t extra[24];
    PutSlot(extra, port);
    PutSlot(extra + 8, reinterpret_cast<uintptr_t>(position));
    PutSlot(extra + 16, space);
    uint8_t value[16] = {};
    if (!Request(Driver::kMidiRead, Driver::kPropertyGet, extra, sizeof extra, value, sizeof value))
        return false;
    value0 = Get32(value);
    value1 = Get32(value + 4);
    bytesRead = std::min(Get32(value + 8), space);
    endFlag = Get32(value + 12);
    return true;
}

void PrivateMidi::MemberData::Poll()
{
    while (!stop) {
        event.Reset();
        // Another pass only while reads bring bytes: a driver that keeps
        // answering empty reads must not spin this thread.
        bool progress = true;
        while (progress && !stop && watcher->IsOpen()) {
            progress = false;
            uint8_t mask[4] = {};
            if (!Request(Driver::kMidiPendingMask, Driver::kPropertyGet, nullptr, 0, mask, sizeof mask))
                break;
            const uint32_t bits = Get32(mask);
            for (uint32_t k = 0; k < kPortCount; ++k) {
                if ((bits & (1u << k)) == 0)
                    continue;
                // The watcher's lock first, as everywhere else.
                std::lock_guard<CalvioMutex> watcherGuard(watcher->Lock());
                InputSlot& slot = inputs[k];
                std::lock_guard<CalvioMutex> guard(slot.lock);
                if (!slot.open || slot.receiver == nullptr)
                    continue;
                uint32_t value0 = 0, value1 = 0, bytesRead = 0, endFlag = 0;
                const uint32_t space = static_cast<uint32_t>(slot.buffer.size()) - slot.position;
                if (!ReadInput(k, slot.buffer.data() + slot.position, space, value0, value1, bytesRead,
                               endFlag)) {
                    slot.position = 0;
                    continue;
                }
                progress = progress || bytesRead != 0;
                slot.position += bytesRead;
                const bool complete =
                    endFlag != 0 || bytesRead == 0 || slot.buffer[slot.position - 1] == kSysExEnd;
                if ((complete || slot.position == slot.buffer.size()) && slot.position != 0) {
                    slot.receiver->OnInput(k, slot.buffer.data(), slot.position, value0, value1, endFlag,
                                           owner);
                    slot.position = 0;
                }
            }
        }
        if (stop)
            break;
        event.Wait(static_cast<uint32_t>(kPollWaitMs));
    }
}

PrivateMidi::PrivateMidi(const DeviceInstanceRecord& record) : mData(std::make_unique<MemberData>())
{
    MemberData& d = *mData;
    d.watcher = std::make_unique<DeviceInstanceWatcher>(record);
    d.owner = this;
    d.pollThread = std::make_unique<Tavo::Thread>(&MemberData::PollThread, &d);
    d.pollThread->Resume();
    d.watcher->SetListener(&d);
}

PrivateMidi::~PrivateMidi()
{
    Shutdown();
    // Closing the device drops every take the driver may still report, so
    // the send buffers are freed only after it.
    mData->watcher.reset();
    mData.reset();
}

void PrivateMidi::Shutdown()
{
    MemberData& d = *mData;
    if (d.shutDown)
        return;
    d.shutDown = true;
    // No attach handling while going away: it would hand the driver an event
    // that is about to go.
    d.watcher->SetListener(nullptr);
    Close();
    d.stop = true;
    d.event.Set();
    d.pollThread->Join(kStopWaitMs);
    d.pollThread.reset();
    std::lock_guard<CalvioMutex> guard(d.watcher->Lock());
    if (d.watcher->IsOpen())
        d.SetEventSlot(Driver::kMidiClearEvent);
}

bool PrivateMidi::SetUpdateFlag(uint32_t value)
{
    MemberData& d = *mData;
    // Checked and sent under the watcher's lock: the watch thread cannot
    // swap the handle in between.
    std::lock_guard<CalvioMutex> guard(d.watcher->Lock());
    if (d.watcher->HandleLost())
        return false;
    DeviceChannelInternal::UpdateFlagRequest request(value);
    uint32_t returned = 0;
    return d.watcher->Ioctl(Driver::kIoctlKsProperty, &request.header, sizeof request.header, &request.value,
                            sizeof request.value, &returned);
}

int32_t PrivateMidi::OpenPort(uint32_t port)
{
    MemberData& d = *mData;
    std::lock_guard<CalvioMutex> watcherGuard(d.watcher->Lock());
    if (!d.watcher->IsOpen())
        return kPrivateMidiDeviceNotOpen;
    if (port >= kPortCount)
        return kPrivateMidiBadPortOrNoRecord;
    PortSlot& slot = d.ports[port];
    {
        std::lock_guard<CalvioMutex> guard(slot.lock);
        if (slot.open)
            return kPrivateMidiPortAlreadyOpen;
    }
    if (!d.SetNumber(Driver::kMidiOpenPort, port))
        return kPrivateMidiOpenRefused;
    std::lock_guard<CalvioMutex> guard(slot.lock);
    slot.open = true;
    return kPrivateMidiOk;
}

int32_t PrivateMidi::Send(uint32_t port, const uint8_t* data, uint32_t length)
{
    MemberData& d = *mData;
    if (!d.watcher->IsOpen())
        return kPrivateMidiDeviceNotOpen;
    if (port >= kPortCount)
        return kPrivateMidiBadPortOrNoRecord;
    PortSlot& slot = d.ports[port];
    SendRecord* record = nullptr;
    {
        std::lock_guard<CalvioMutex> guard(slot.lock);
        if (!slot.open)
            return kPrivateMidiPortNotOpen;
        record = d.QueueMessage(slot, data, length);
    }
    if (record == nullptr)
        return kPrivateMidiBadPortOrNoRecord;
    uint8_t value[24];
    PutSlot(value, port);
    PutSlot(value + 8, reinterpret_cast<uintptr_t>(record->buffer.get()));
    PutSlot(value + 16, length);
    int32_t result = kPrivateMidiOk;
    {
        // A close in between has given up the record already; it must not
        // reach the driver after that.
        std::lock_guard<CalvioMutex> watcherGuard(d.watcher->Lock());
        bool open;
        {
            std::lock_guard<CalvioMutex> guard(slot.lock);
            open = slot.open;
        }
        if (!d.watcher->IsOpen())
            result = kPrivateMidiDeviceNotOpen;
        else if (!open)
            result = kPrivateMidiPortNotOpen;
        else if (!d.Request(Driver::kMidiSend, Driver::kPropertySet, nullptr, 0, value, sizeof value))
            result = kPrivateMidiSendRefused;
    }
    if (result != kPrivateMidiOk) {
        // The driver never owned it.
        std::lock_guard<CalvioMutex> guard(slot.lock);
        record->Release();
    }
    return result;
}

int32_t PrivateMidi::Close()
{
    MemberData& d = *mData;
    std::lock_guard<CalvioMutex> watcherGuard(d.watcher->Lock());
    std::lock_guard<CalvioMutex> guard(d.lock);
    return d.CloseLocked();
}

int32_t PrivateMidi::OpenInput(uint32_t port, PrivateMidiInputReceiver* receiver, uint32_t bufferSize)
{
    MemberData& d = *mData;
    std::lock_guard<CalvioMutex> watcherGuard(d.watcher->Lock());
    if (!d.watcher->IsOpen())
        return kPrivateMidiDeviceNotOpen;
    if (port >= kPortCount || receiver == nullptr || bufferSize == 0)
        return kPrivateMidiBadPortOrNoRecord;
    InputSlot& slot = d.inputs[port];
    std::lock_guard<CalvioMutex> guard(slot.lock);
    if (slot.open)
        return kPrivateMidiPortAlreadyOpen;
    slot.buffer.assign(bufferSize, 0);
    slot.position = 0;
    slot.receiver = receiver;
    slot.open = true;
    return kPrivateMidiOk;
}

PrivateMidi::RecordState PrivateMidi::GetRecordState(uint32_t port, uint32_t index) const
{
    RecordState state;
    if (port >= kPortCount || index >= kRecordCount)
        return state;
    PortSlot& slot = mData->ports[port];
    std::lock_guard<CalvioMutex> guard(slot.lock);
    const SendRecord& record = slot.records[index];
    state.capacity = record.buffer ? record.capacity : 0;
    state.busy = record.IsBusy();
    return state;
}

void PrivateMidi::ReportUntakenTo(uint32_t* counter)
{
    std::lock_guard<CalvioMutex> guard(mData->lock);
    mData->untakenSink = counter;
}

void PrivateMidi::SetDrainStep(DrainStep step)
{
    gDrainStep = step;
}
