#include "Midi/MidiCommInterface.h"

namespace Tavo {

RCPtr<LMidiCaptureNotificationData> LMidiCaptureNotificationData::Create(uintptr_t sourcePort,
                                                                         const WString& portName,
                                                                         uint32_t time)
{
    return RCPtr<LMidiCaptureNotificationData>(new LMidiCaptureNotificationData(sourcePort, portName, time));
}

bool LMidiCaptureNotificationData::IsFrom(const RCPtr<LRefCountedObject>& port) const
{
    return port && PortIdentity(port.Get()) == mSourcePort;
}

namespace {

RCPtr<LIMidiFilter> CopyFilter(const RCPtr<LIMidiFilter>& filter)
{
    RCPtr<LIMidiFilter> copy = RCPtrDynamicCast<LIMidiFilter>(filter->CreateCopy());
    if (!copy)
        throw Exception<std::logic_error>(
            "Logic Error : CreateCopy() did not return a filter : Tavo::LMidiCommInterface::SetFilter : "
            "Midi\\MidiCommInterface : Line 24");
    return copy;
}

}  // namespace

int32_t LMidiCommInterface::FindFilterIndex(uintptr_t key) const
{
    for (size_t i = 0; i < mFilters.size(); ++i)
        if (mFilters[i].key == key)
            return static_cast<int32_t>(i);
    return -1;
}

RCPtr<LIMidiFilter> LMidiCommInterface::GetFilter(const uintptr_t& key)
{
    MutexLocker lock(mFilterLock);
    int32_t index = FindFilterIndex(key);
    if (index < 0)
        return nullptr;
    return CopyFilter(mFilters[static_cast<size_t>(index)].filter);
}

TavoResult LMidiCommInterface::SetFilter(const uintptr_t& key, const RCPtr<LIMidiFilter>& filter)
{
    // Copied before the lock: a filter's copy may do anything.
    RCPtr<LIMidiFilter> copy = filter ? CopyFilter(filter) : nullptr;
    RCPtr<LIMidiFilter> dropped;
    MutexLocker lock(mFilterLock);
    int32_t index = FindFilterIndex(key);
    if (index < 0) {
        if (copy)
            mFilters.push_back({key, copy});
    } else if (!copy) {
        dropped = std::move(mFilters[static_cast<size_t>(index)].filter);
        mFilters.erase(mFilters.begin() + index);
    } else {
        dropped = std::exchange(mFilters[static_cast<size_t>(index)].filter, copy);
    }
    return S_OK;
}

TavoResult LMidiCommInterface::DistributeCapturedData(const ConstRCPtr<LMidiCaptureNotificationData>& data)
{
    LNotificationId id = GetNotificationID(kMidiDataCapturedName);
    RCPtr<LNotificationClientPool> pool = FindClientPool(id);
    if (!pool)
        return S_FALSE;
    RCPtr<LNotification> notification;
    MutexLocker lock(mFilterLock);
    int32_t i;
    {
        MutexLocker poolLock(pool->GetLock());
        i = pool->GetCount() - 1;
    }
    while (i >= 0) {
        RCPtr<LNotificationClient> client;
        {
            MutexLocker poolLock(pool->GetLock());
            int32_t count = pool->GetCount();
            if (i >= count)
                i = count - 1;  // clients left meanwhile
            if (i < 0)
                break;
            RCPtr<LNotificationRegisteredClientInfo> registration = pool->GetRegistration(i);
            if (registration)
                client = registration->GetClient();
        }
        if (!client) {
            --i;
            continue;
        }
        int32_t filterIndex = FindFilterIndex(FilterKey(client.Get()));
        if (filterIndex >= 0 && data) {
            const std::vector<uint8_t>& bytes = data->GetBytes();
            // Held: the filter may replace itself from inside.
            RCPtr<LIMidiFilter> filter = mFilters[static_cast<size_t>(filterIndex)].filter;
            if (!filter->AcceptsMessage(bytes.data(), static_cast<uint32_t>(bytes.size()))) {
                --i;
                continue;
            }
        }
        if (!notification) {
            notification = LNotification::Create(kMidiDataCapturedName, ConstRCPtr<LRefCountedObject>(data));
            if (!notification)
                return E_FAIL;
        }
        i = SendNotificationToClient(i, notification) - 1;
    }
    return S_OK;
}

}  // namespace Tavo
