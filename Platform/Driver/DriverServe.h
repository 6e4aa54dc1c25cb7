#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Driver/Driver.h"

// The driver's side: a DriverHandler answers the requests of one open handle
// at a time, either in-process (RegisterFakeDevice) or over a Unix socket
// (DriverServer, see Platform/Driver/README.md for the framing).
namespace Tavo::Platform::Driver {

// One request as the driver sees it: program addresses never reach it.
struct Request
{
    PropertyHeader header;
    std::vector<uint8_t> input;    // bytes after the header; a read's address slot is zeroed
    std::vector<uint8_t> value;    // the value buffer on entry; address slots zeroed
    std::vector<uint8_t> message;  // kMidiSend: the message bytes
    uint64_t sendToken = 0;        // kMidiSend: hand to DriverSession::MessageTaken
};

struct Reply
{
    uint32_t error = kErrorNone;    // non-zero refuses the request
    std::vector<uint8_t> output;    // copied to the value buffer; at most its size
    std::vector<uint8_t> readData;  // kMidiRead: bytes for the read position; the
                                    // bytes-read field is filled in from its size
};

// One open handle, from the driver's side. Calls after the handle closed are
// ignored.
class DriverSession
{
public:
    virtual ~DriverSession() = default;
    virtual void MessageTaken(uint64_t sendToken) = 0;
    virtual void InputPending() = 0;
    // The device is gone: this handle's later requests fail.
    virtual void Detach() = 0;
    virtual bool IsOpen() const = 0;
};

class DriverHandler
{
public:
    virtual ~DriverHandler() = default;
    virtual void OnOpen(const std::shared_ptr<DriverSession>& session) { (void)session; }
    // May be called on any thread; may call the session back.
    virtual Reply OnRequest(DriverSession& session, const Request& request) = 0;
    virtual void OnClose(DriverSession& session) { (void)session; }
};

// In-process devices for tests; false when `path` is taken.
bool RegisterFakeDevice(const std::u16string& path, std::shared_ptr<DriverHandler> handler);
void UnregisterFakeDevice(const std::u16string& path);

// Serves `handler` on a Unix socket; one client at a time.
class DriverServer
{
public:
    DriverServer(std::string socketPath, std::shared_ptr<DriverHandler> handler);
    ~DriverServer();
    DriverServer(const DriverServer&) = delete;
    DriverServer& operator=(const DriverServer&) = delete;

    // Fails when the path is served by someone else or cannot be bound.
    bool Start(std::string* error = nullptr);
    // Closes the client's handle and the socket.
    void Stop();
    const std::string& Path() const { return mPath; }

private:
    struct State;
    std::string mPath;
    std::shared_ptr<DriverHandler> mHandler;
    std::unique_ptr<State> mState;
};

}  // namespace Tavo::Platform::Driver
