#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "DeviceChannel/CalvioMutex.h"
#include "DeviceChannel/DeviceInstance.h"

namespace Tavo::Platform {
class KernelEvent;
namespace Driver {
class Device;
}
namespace Registry {
class Key;
}
}  // namespace Tavo::Platform

namespace Tavo {
class Thread;
}

class DeviceInstanceWatcher;

class CalvioDeviceAttachedStateCallbackReceiver
{
public:
    virtual ~CalvioDeviceAttachedStateCallbackReceiver() = default;
    // Called with the watcher's lock held, on the watch thread or inside
    // SetListener.
    virtual void OnAttachedStateChanged(bool attached, DeviceInstanceWatcher* source) = 0;
};

// Keeps the driver's device interface of one instance open while the
// instance is attached, and reports attach and detach. Every request to the
// driver goes through Ioctl, serialised on the watcher's lock.
class DeviceInstanceWatcher
{
public:
    explicit DeviceInstanceWatcher(const DeviceInstanceRecord& record);
    virtual ~DeviceInstanceWatcher();
    DeviceInstanceWatcher(const DeviceInstanceWatcher&) = delete;
    DeviceInstanceWatcher& operator=(const DeviceInstanceWatcher&) = delete;

    bool IsOpen();
    // Opens the device when the instance is attached; true when open.
    bool OpenDevice();
    // False without reaching the driver when the device is not open.
    bool Ioctl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned);
    // Whether a handle this watcher opened was ever lost: closed on a detach
    // or found stale by the driver (the device went away under it, also when
    // it came back at once). Whatever was done through it since may not have
    // reached the device that is there now.
    bool HandleLost() const { return mLost.load(); }
    // Reports the current attached state to the receiver at once.
    void SetListener(CalvioDeviceAttachedStateCallbackReceiver* receiver);

    // Taken before any lock of the receiver.
    CalvioMutex& Lock() { return mLock; }
    const DeviceInstanceRecord& Record() const { return mRecord; }
    const std::u16string& InstanceKeyPath() const { return mInstancePath; }

private:
    static uint32_t WatchThread(void* self);
    void Watch();
    void Arm();
    bool ReadAttachedLocked();
    void CloseDeviceLocked();

    DeviceInstanceRecord mRecord;
    std::unique_ptr<Tavo::Platform::Driver::Device> mDevice;
    std::unique_ptr<Tavo::Platform::Registry::Key> mAttachedKey;
    std::u16string mInstancePath;
    CalvioDeviceAttachedStateCallbackReceiver* mReceiver = nullptr;
    std::unique_ptr<Tavo::Thread> mThread;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mLost{false};
    std::shared_ptr<Tavo::Platform::KernelEvent> mEvent;
    CalvioMutex mLock;
};
