#include "DeviceChannel/DeviceInstanceWatcher.h"

#include <mutex>

#include "DeviceChannel/DeviceInstanceInternal.h"
#include "Platform/Driver/Driver.h"
#include "Platform/Kernel/KernelEvent.h"
#include "Platform/Registry/Registry.h"
#include "Threading/Thread.h"

namespace Registry = Tavo::Platform::Registry;

namespace {
constexpr uint32_t kStopWaitMs = 5000;
}

DeviceInstanceWatcher::DeviceInstanceWatcher(const DeviceInstanceRecord& record)
    : mRecord(record), mInstancePath(::InstanceKeyPath(record.DriverKey(), record.vendorId, record.productId,
                                                       record.instanceId)),
      mEvent(std::make_shared<Tavo::Platform::KernelEvent>(true))
{
    // Without the key the instance counts as detached and no change is seen.
    if (Registry::Machine()->OpenKey(mInstancePath + u"\\Attached", mAttachedKey) != Registry::Status::Ok)
        mAttachedKey.reset();
    Arm();
    mThread = std::make_unique<Tavo::Thread>(&DeviceInstanceWatcher::WatchThread, this);
    mThread->Resume();
}

DeviceInstanceWatcher::~DeviceInstanceWatcher()
{
    mStop = true;
    mEvent->Set();
    mThread->Join(kStopWaitMs);
    mThread.reset();
    std::lock_guard<CalvioMutex> lock(mLock);
    CloseDeviceLocked();
    mAttachedKey.reset();
}

uint32_t DeviceInstanceWatcher::WatchThread(void* self)
{
    static_cast<DeviceInstanceWatcher*>(self)->Watch();
    return 0;
}

void DeviceInstanceWatcher::Watch()
{
    // Armed again before every read, so no change slips in between.
    while (!mStop) {
        mEvent->Wait(Tavo::Platform::INFINITE);
        if (mStop)
            return;
        mEvent->Reset();
        Arm();
        std::lock_guard<CalvioMutex> lock(mLock);
        const bool attached = ReadAttachedLocked();
        if (!attached) {
            if (mDevice)
                mLost = true;
            CloseDeviceLocked();
        }
        if (mReceiver != nullptr)
            mReceiver->OnAttachedStateChanged(attached, this);
    }
}

void DeviceInstanceWatcher::Arm()
{
    // A key that can no longer be watched leaves the thread waiting for its
    // stop request only.
    if (mAttachedKey)
        mAttachedKey->NotifyChange(mEvent);
}

bool DeviceInstanceWatcher::ReadAttachedLocked()
{
    return mAttachedKey && DeviceChannelInternal::ReadAttached(*mAttachedKey);
}

void DeviceInstanceWatcher::CloseDeviceLocked()
{
    if (mDevice) {
        mDevice->Close();
        mDevice.reset();
    }
}

bool DeviceInstanceWatcher::IsOpen()
{
    std::lock_guard<CalvioMutex> lock(mLock);
    return mDevice != nullptr;
}

bool DeviceInstanceWatcher::OpenDevice()
{
    std::lock_guard<CalvioMutex> lock(mLock);
    if (mDevice)
        return true;
    if (ReadAttachedLocked())
        mDevice = DeviceChannelInternal::OpenInstanceDevice(mInstancePath);
    return mDevice != nullptr;
}

bool DeviceInstanceWatcher::Ioctl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                  uint32_t* returned)
{
    std::lock_guard<CalvioMutex> lock(mLock);
    if (!mDevice)
        return false;
    uint32_t error = Tavo::Platform::Driver::kErrorNone;
    const bool accepted = mDevice->Ioctl(code, in, inSize, out, outSize, returned, &error);
    // A re-enumeration the "Attached" value never showed (it was back before
    // the watch thread read it) leaves a handle the driver no longer knows.
    if (!accepted && error == Tavo::Platform::Driver::kErrorDeviceNotConnected)
        mLost = true;
    return accepted;
}

void DeviceInstanceWatcher::SetListener(CalvioDeviceAttachedStateCallbackReceiver* receiver)
{
    std::lock_guard<CalvioMutex> lock(mLock);
    mReceiver = receiver;
    if (mReceiver != nullptr)
        mReceiver->OnAttachedStateChanged(ReadAttachedLocked(), this);
}
