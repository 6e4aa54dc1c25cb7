#pragma once

#include <map>
#include <mutex>

#include "Platform/Driver/DriverServe.h"
#include "Platform/Kernel/KernelEvent.h"
#include "Platform/Kernel/LittleEndian.h"

// Shared by the in-process and the socket backends.
namespace Tavo::Platform::Driver::Internal {

// The program-memory side of one open handle.
class HandleState
{
public:
    struct Call
    {
        bool memorySide = false;  // a channel request this layer takes part in
        uint32_t id = 0;
        uint8_t* readPosition = nullptr;
        uint32_t space = 0;
        uint64_t token = 0;
        KernelEvent* event = nullptr;
    };

    // Checks the caller's buffers and builds the driver's view; an error
    // code when the request must not reach the driver.
    uint32_t Prepare(const void* in, uint32_t inSize, void* out, uint32_t outSize, Request& request,
                     Call& call);
    // Applies an accepted or refused reply; an error code when failed.
    uint32_t Finish(const Call& call, const Reply& reply, void* out, uint32_t outSize, uint32_t& returned);
    // The request never got an answer.
    void Abandon(const Call& call);

    // Usable handle: 0, else the error every request gets.
    uint32_t Status() const;

    void MessageTaken(uint64_t token);
    void InputPending();
    void Detach();
    void Close();
    bool IsOpen() const;

private:
    void DropLocked();

    mutable std::mutex mMutex;
    struct Pending
    {
        uint8_t* buffer;
        uint8_t first;
    };
    std::map<uint64_t, Pending> mPending;
    KernelEvent* mEvent = nullptr;
    uint64_t mNextToken = 1;
    bool mDetached = false;
    bool mClosed = false;
};

class Transport
{
public:
    virtual ~Transport() = default;
    // False when the driver could not be reached; `error` says why.
    virtual bool Exchange(const Request& request, Reply& reply, uint32_t& error) = 0;
    virtual void Close() = 0;
};

std::unique_ptr<Device> MakeDevice(std::shared_ptr<HandleState> state, std::unique_ptr<Transport> transport);

// Backends of OpenDevice.
std::unique_ptr<Device> OpenFakeDevice(const std::u16string& path, bool& found, uint32_t& error);
std::unique_ptr<Device> OpenSocketDevice(const std::string& path, uint32_t& error);

using Platform::Get32;
using Platform::Get64;
using Platform::Put32;
using Platform::Put64;

}  // namespace Tavo::Platform::Driver::Internal
