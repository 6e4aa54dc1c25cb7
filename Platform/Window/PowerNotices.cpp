#include "Platform/Window/PowerNotices.h"

#include "Platform/App/MessageLoop.h"

#include <cstdlib>
#include <dlfcn.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <type_traits>
#include <unistd.h>

namespace Tavo::Platform::Window {

namespace {

// sd-bus, loaded only where there is a system bus to listen to: it brings
// a dozen libraries and over a megabyte with it.
struct SdBus
{
    decltype(&sd_bus_open_system) openSystem = nullptr;
    decltype(&sd_bus_match_signal_async) matchSignal = nullptr;
    decltype(&sd_bus_get_fd) getFd = nullptr;
    decltype(&sd_bus_process) process = nullptr;
    decltype(&sd_bus_message_read) messageRead = nullptr;
    decltype(&sd_bus_message_is_method_error) isMethodError = nullptr;
    decltype(&sd_bus_slot_unref) slotUnref = nullptr;
    decltype(&sd_bus_close_unref) closeUnref = nullptr;
};

// Null when the library or one of its calls cannot be had.
const SdBus* LoadSdBus()
{
    static const SdBus* const loaded = []() -> const SdBus* {
        void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        auto* bus = new SdBus();
        const auto get = [library](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(library, name));
            return fn != nullptr;
        };
        if (get(bus->openSystem, "sd_bus_open_system") &&
            get(bus->matchSignal, "sd_bus_match_signal_async") && get(bus->getFd, "sd_bus_get_fd") &&
            get(bus->process, "sd_bus_process") && get(bus->messageRead, "sd_bus_message_read") &&
            get(bus->isMethodError, "sd_bus_message_is_method_error") &&
            get(bus->slotUnref, "sd_bus_slot_unref") && get(bus->closeUnref, "sd_bus_close_unref"))
            return bus;
        delete bus;
        return nullptr;
    }();
    return loaded;
}

// Where sd-bus would look for the system bus.
bool SystemBusMayExist()
{
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return (address && *address) || access("/run/dbus/system_bus_socket", F_OK) == 0;
}

}  // namespace

struct PowerNotices::Bus
{
    explicit Bus(const SdBus& library) : sd(library) {}
    const SdBus& sd;
    sd_bus* bus = nullptr;
    sd_bus_slot* match = nullptr;
    App::IMessageLoop* loop = nullptr;
    int fd = -1;
    bool listening = false;
    std::function<void(bool)> handler;

    ~Bus()
    {
        if (loop && fd >= 0)
            loop->RemoveFd(fd);
        sd.slotUnref(match);
        // No flush: a bus that never reads would hold the program's end.
        sd.closeUnref(bus);
    }

    static int OnSignal(sd_bus_message* message, void* self, sd_bus_error*)
    {
        int suspending = 0;
        auto* b = static_cast<Bus*>(self);
        if (b->sd.messageRead(message, "b", &suspending) >= 0) {
            if (b->handler)
                b->handler(suspending != 0);
        }
        return 0;
    }

    static int OnMatchAdded(sd_bus_message* reply, void* self, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(self);
        b->listening = b->sd.isMethodError(reply, nullptr) == 0;
        return 0;
    }

    void Drain()
    {
        // Each call handles at most one message.
        while (sd.process(bus, nullptr) > 0) {
        }
    }
};

PowerNotices::PowerNotices(std::unique_ptr<Bus> bus) : mBus(std::move(bus)) {}

PowerNotices::~PowerNotices() = default;

bool PowerNotices::IsListening() const
{
    return mBus->listening;
}

std::unique_ptr<PowerNotices> PowerNotices::Watch(App::IMessageLoop& loop, std::function<void(bool)> handler)
{
    const SdBus* sd = SystemBusMayExist() ? LoadSdBus() : nullptr;
    if (!sd)
        return nullptr;
    auto bus = std::unique_ptr<Bus>(new Bus(*sd));
    bus->handler = std::move(handler);
    if (sd->openSystem(&bus->bus) < 0)
        return nullptr;
    // Asked without waiting for the bus's answer: a bus that takes the
    // connection and never answers must not hold the window back. A signal
    // sent before the bus has set the match up is not seen.
    if (sd->matchSignal(bus->bus, &bus->match, "org.freedesktop.login1", "/org/freedesktop/login1",
                        "org.freedesktop.login1.Manager", "PrepareForSleep", &Bus::OnSignal,
                        &Bus::OnMatchAdded, bus.get()) < 0)
        return nullptr;
    bus->fd = sd->getFd(bus->bus);
    if (bus->fd < 0)
        return nullptr;
    Bus* raw = bus.get();
    if (!loop.AddFd(bus->fd, POLLIN, [raw](int, short) { raw->Drain(); }))
        return nullptr;
    bus->loop = &loop;
    // Messages read while the match was set up wait in the bus's buffer.
    raw->Drain();
    return std::unique_ptr<PowerNotices>(new PowerNotices(std::move(bus)));
}

}  // namespace Tavo::Platform::Window
