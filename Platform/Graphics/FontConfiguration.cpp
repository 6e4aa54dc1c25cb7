#include "Platform/Graphics/FontConfiguration.h"

#include <fontconfig/fontconfig.h>

#include <condition_variable>
#include <mutex>

namespace Tavo::Platform {

namespace {

enum class Step { NotStarted, Loading, Loaded };

struct LoadState
{
    std::mutex mutex;
    std::condition_variable loaded;
    Step step = Step::NotStarted;
};

// Never destroyed: a load may still run while the process ends.
LoadState& State()
{
    static auto* state = new LoadState;
    return *state;
}

void Load(LoadState& state)
{
    FcInit();
    {
        const std::lock_guard lock(state.mutex);
        state.step = Step::Loaded;
    }
    state.loaded.notify_all();
}

}  // namespace

void WaitForFontConfig()
{
    LoadState& state = State();
    std::unique_lock lock(state.mutex);
    if (state.step == Step::NotStarted) {
        state.step = Step::Loading;
        lock.unlock();
        Load(state);
        return;
    }
    state.loaded.wait(lock, [&state] { return state.step == Step::Loaded; });
}

}  // namespace Tavo::Platform
