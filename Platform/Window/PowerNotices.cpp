#include "Platform/Window/PowerNotices.h"

#include "Platform/App/MessageLoop.h"

#include <poll.h>
#include <systemd/sd-bus.h>

namespace Tavo::Platform::Window {

struct PowerNotices::Bus
{
    sd_bus* bus = nullptr;
    sd_bus_slot* match = nullptr;
    App::IMessageLoop* loop = nullptr;
    int fd = -1;
    std::function<void(bool)> handler;

    ~Bus()
    {
        if (loop && fd >= 0)
            loop->RemoveFd(fd);
        sd_bus_slot_unref(match);
        sd_bus_flush_close_unref(bus);
    }

    static int OnSignal(sd_bus_message* message, void* self, sd_bus_error*)
    {
        int suspending = 0;
        if (sd_bus_message_read(message, "b", &suspending) >= 0) {
            auto* b = static_cast<Bus*>(self);
            if (b->handler)
                b->handler(suspending != 0);
        }
        return 0;
    }

    void Drain()
    {
        // Each call handles at most one message.
        while (sd_bus_process(bus, nullptr) > 0) {
        }
    }
};

PowerNotices::PowerNotices(std::unique_ptr<Bus> bus) : mBus(std::move(bus)) {}

PowerNotices::~PowerNotices() = default;

std::unique_ptr<PowerNotices> PowerNotices::Watch(App::IMessageLoop& loop, std::function<void(bool)> handler)
{
    auto bus = std::make_unique<Bus>();
    bus->handler = std::move(handler);
    if (sd_bus_open_system(&bus->bus) < 0)
        return nullptr;
    // The match is in place when this returns: no signal sent later is missed.
    if (sd_bus_match_signal(bus->bus, &bus->match, "org.freedesktop.login1", "/org/freedesktop/login1",
                            "org.freedesktop.login1.Manager", "PrepareForSleep", &Bus::OnSignal,
                            bus.get()) < 0)
        return nullptr;
    bus->fd = sd_bus_get_fd(bus->bus);
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
