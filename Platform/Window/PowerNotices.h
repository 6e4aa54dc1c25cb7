#pragma once

// Suspend and resume as the login manager announces them: its
// PrepareForSleep signal on the system bus, true before the machine sleeps
// and false once it woke up. The bus is the one sd-bus finds:
// $DBUS_SYSTEM_BUS_ADDRESS when set, else the system's socket.

#include <functional>
#include <memory>

namespace Tavo::Platform::App {
class IMessageLoop;
}

namespace Tavo::Platform::Window {

class PowerNotices
{
public:
    // Watches the signal on the loop's thread; handler(suspending) per
    // signal. Null when there is no system bus to listen to.
    static std::unique_ptr<PowerNotices> Watch(App::IMessageLoop& loop, std::function<void(bool)> handler);
    ~PowerNotices();
    // True once the bus has set the signal's match up: signals sent before
    // are not seen.
    bool IsListening() const;
    PowerNotices(const PowerNotices&) = delete;
    PowerNotices& operator=(const PowerNotices&) = delete;

private:
    struct Bus;
    explicit PowerNotices(std::unique_ptr<Bus> bus);
    std::unique_ptr<Bus> mBus;
};

}  // namespace Tavo::Platform::Window
