#include "Platform/Driver/FakeDriver.h"

namespace Tavo::Platform::Driver {

FakeDriver::Property FakeDriver::Key(const Guid& set, uint32_t id)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&set);
    return {std::vector<uint8_t>(bytes, bytes + sizeof set), id};
}

void FakeDriver::SetTakeMode(TakeMode mode)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mTakeMode = mode;
}

void FakeDriver::RefuseAll(bool refuse, uint32_t error)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mRefuseAll = refuse;
    mRefuseError = error;
}

void FakeDriver::Refuse(const Guid& set, uint32_t id, bool refuse)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (refuse)
        mRefused.insert(Key(set, id));
    else
        mRefused.erase(Key(set, id));
}

void FakeDriver::SetAnswer(const Guid& set, uint32_t id, std::vector<uint8_t> output,
                           std::vector<uint8_t> readData)
{
    std::lock_guard<std::mutex> lock(mMutex);
    Reply& reply = mAnswers[Key(set, id)];
    reply.output = std::move(output);
    reply.readData = std::move(readData);
}

size_t FakeDriver::TakeHeld(size_t count)
{
    std::deque<std::pair<std::weak_ptr<DriverSession>, uint64_t>> taken;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        while (taken.size() < count && !mHeld.empty()) {
            taken.push_back(std::move(mHeld.front()));
            mHeld.pop_front();
        }
    }
    // Reported outside the lock: a session may call back into this driver.
    // A session already gone has nobody left to tell; it still counts.
    for (auto& [session, token] : taken) {
        if (auto alive = session.lock())
            alive->MessageTaken(token);
    }
    return taken.size();
}

void FakeDriver::SignalInput()
{
    std::shared_ptr<DriverSession> session;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        session = mSession;
    }
    if (session)
        session->InputPending();
}

void FakeDriver::Detach()
{
    std::shared_ptr<DriverSession> session;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        session = mSession;
    }
    if (session)
        session->Detach();
}

std::vector<Request> FakeDriver::Requests() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mRequests;
}

std::vector<std::vector<uint8_t>> FakeDriver::Messages() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<std::vector<uint8_t>> messages;
    for (const auto& r : mRequests) {
        if (r.header.set == kMidiChannelSet && r.header.id == kMidiSend)
            messages.push_back(r.message);
    }
    return messages;
}

int FakeDriver::OpenCount() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mOpenCount;
}

int FakeDriver::CloseCount() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mCloseCount;
}

void FakeDriver::OnOpen(const std::shared_ptr<DriverSession>& session)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSession = session;
    ++mOpenCount;
}

Reply FakeDriver::OnRequest(DriverSession& session, const Request& request)
{
    bool takeNow = false;
    Reply reply;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mRequests.push_back(request);
        Property key = Key(request.header.set, request.header.id);
        if (mRefuseAll || mRefused.count(key) != 0) {
            reply.error = mRefuseAll ? mRefuseError : kErrorGenFailure;
        } else if (auto it = mAnswers.find(key); it != mAnswers.end()) {
            reply = it->second;
        }
        if (request.sendToken != 0) {
            takeNow = mTakeMode == TakeMode::Immediately;
            // Held even when refused: a careless driver may still report it.
            if (!takeNow && mSession)
                mHeld.emplace_back(mSession, request.sendToken);
        }
    }
    if (takeNow && reply.error == kErrorNone)
        session.MessageTaken(request.sendToken);
    return reply;
}

void FakeDriver::OnClose(DriverSession& session)
{
    std::lock_guard<std::mutex> lock(mMutex);
    ++mCloseCount;
    if (mSession.get() == &session)
        mSession.reset();
}

}  // namespace Tavo::Platform::Driver
