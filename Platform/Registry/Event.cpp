#include "Platform/Registry/Event.h"

namespace Tavo::Platform {

void Event::Set()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSignalled = true;
    mCondition.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSignalled = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSignalled;
}

bool Event::Wait(int32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mMutex);
    if (timeoutMs < 0) {
        mCondition.wait(lock, [this] { return mSignalled; });
        return true;
    }
    return mCondition.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return mSignalled; });
}

}  // namespace Tavo::Platform
