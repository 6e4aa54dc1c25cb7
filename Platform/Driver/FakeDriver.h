#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "Platform/Driver/DriverServe.h"

namespace Tavo::Platform::Driver {

// A scriptable driver for tests, served in-process (RegisterFakeDevice) or
// over a socket (DriverServer). Accepts every request with an empty answer
// unless told otherwise; records what it received.
class FakeDriver final : public DriverHandler
{
public:
    enum class TakeMode {
        Immediately,  // a sent message is taken while its request is handled
        Later,        // held until TakeHeld (never taken without it)
    };

    void SetTakeMode(TakeMode mode);
    // Refuses every request, or those of one property, with `error`.
    void RefuseAll(bool refuse, uint32_t error = kErrorGenFailure);
    void Refuse(const Guid& set, uint32_t id, bool refuse = true);
    // The answer to (set, id): value bytes and, for a read, the input bytes.
    void SetAnswer(const Guid& set, uint32_t id, std::vector<uint8_t> output,
                   std::vector<uint8_t> readData = {});

    // Reports up to `count` held messages taken, oldest first; returns how
    // many were reported.
    size_t TakeHeld(size_t count = SIZE_MAX);
    void SignalInput();
    // The device vanishes: the open handle's later requests fail.
    void Detach();

    std::vector<Request> Requests() const;
    std::vector<std::vector<uint8_t>> Messages() const;
    int OpenCount() const;
    // Handles closed so far, a stale one (after Detach) included.
    int CloseCount() const;

    void OnOpen(const std::shared_ptr<DriverSession>& session) override;
    Reply OnRequest(DriverSession& session, const Request& request) override;
    void OnClose(DriverSession& session) override;

private:
    using Property = std::pair<std::vector<uint8_t>, uint32_t>;
    static Property Key(const Guid& set, uint32_t id);

    mutable std::mutex mMutex;
    TakeMode mTakeMode = TakeMode::Immediately;
    bool mRefuseAll = false;
    uint32_t mRefuseError = kErrorGenFailure;
    std::set<Property> mRefused;
    std::map<Property, Reply> mAnswers;
    std::vector<Request> mRequests;
    std::shared_ptr<DriverSession> mSession;
    // Weak: a session holds its handler, so a message never taken must not
    // keep the session alive.
    std::deque<std::pair<std::weak_ptr<DriverSession>, uint64_t>> mHeld;
    int mOpenCount = 0;
    int mCloseCount = 0;
};

}  // namespace Tavo::Platform::Driver
