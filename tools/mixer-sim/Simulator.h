#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Driver/DriverServe.h"
#include "Platform/Midi/MidiServer.h"
#include "Platform/Registry/Registry.h"
#include "tools/mixer-sim/MadeFolders.h"
#include "tools/mixer-sim/SimOptions.h"

namespace MixerSim {

// The mixer and its driver on the simulated platform. The main thread owns
// the registry keys, the published ports and the driver's socket; the MIDI
// and driver threads only change the state under mLock and post work to the
// main thread. Only a reset of the device's own (a fault) writes its
// "Attached" value from a driver thread, so that it is over before the
// handle it cut short learns of it.
class Simulator
{
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Writes the registry keys, attaches unless absent, opens the control
    // socket. False with `error` set on failure.
    bool Start(std::string& error);
    // Serves until "quit" or a signal on `signalFd`; then cleans up.
    void Run(int signalFd);

private:
    class DriverSide;
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<uint8_t>;

    void Attach(bool updateMode);
    void Detach();
    void Cleanup();
    std::string Execute(const std::string& command, bool& quit);
    std::string Status();
    void Post(Clock::duration delay, std::function<void()> task);
    void RunDueTasks();

    // `openInputs`: the input ports open as the message came, which its
    // answer goes to.
    void OnMidi(const Bytes& message, Tavo::Platform::Midi::MidiDeviceServer::InputMark openInputs);
    // The identity request to the n-th mixer (from 2) of the same model.
    void OnOtherMidi(size_t n, const Bytes& message,
                     Tavo::Platform::Midi::MidiDeviceServer::InputMark openInputs);
    Tavo::Platform::Driver::Reply OnDriver(Tavo::Platform::Driver::DriverSession& session,
                                           const Tavo::Platform::Driver::Request& request);
    void OnDriverClose(Tavo::Platform::Driver::DriverSession& session);
    // The driver requests OnDriver hands on; each says in `line` what it did
    // and refuses by setting the reply's error.
    void OnUpdateFlag(Tavo::Platform::Driver::DriverSession& session, uint32_t value,
                      Tavo::Platform::Driver::Reply& reply, std::string& line);
    // The device resets and comes back at once: `session` (when given) goes
    // stale, the flag goes off and the image is dropped. On a driver thread.
    void Reenumerate(Tavo::Platform::Driver::DriverSession* session);
    // The image the device collects starts over.
    void StartImageLocked();
    void OnSend(Tavo::Platform::Driver::DriverSession& session,
                const Tavo::Platform::Driver::Request& request, Tavo::Platform::Driver::Reply& reply,
                std::string& line);
    void Log(const std::string& line);

    Options mOptions;
    MadeFolders mMadeFolders;
    std::shared_ptr<Tavo::Platform::Registry::Store> mRegistry;
    std::u16string mInstancePath;
    std::string mDriverPath;
    std::string mControlPath;
    int mControlFd = -1;
    int mWakeFd = -1;
    std::unique_ptr<Tavo::Platform::Midi::MidiDeviceServer> mMidi;
    std::vector<std::unique_ptr<Tavo::Platform::Midi::MidiDeviceServer>> mOtherMidi;
    std::unique_ptr<Tavo::Platform::Driver::DriverServer> mDriver;
    std::shared_ptr<DriverSide> mDriverSide;

    std::mutex mLogLock;
    FILE* mLog = nullptr;
    // Log lines carry the milliseconds since then.
    const Clock::time_point mStarted = Clock::now();
    FILE* mReceived = nullptr;

    std::mutex mTaskLock;
    std::multimap<Clock::time_point, std::function<void()>> mTasks;

    // Device and transfer state, under mLock.
    std::mutex mLock;
    bool mAttached = false;
    bool mUpdateMode = false;
    Version mVersion{};
    bool mFlag = false;
    uint32_t mChunks = 0;         // port-0 messages since the flag went on
    uint64_t mReceivedBytes = 0;  // the image's, since the flag went on
    uint64_t mOutstanding = 0;    // messages not taken yet
    bool mFaultFired = false;
    bool mChannelClosed = false;
    bool mInstallPending = false;
    bool mInstalling = false;
    Clock::time_point mLastTake{};
    Clock::time_point mFlagOn{};
    int64_t mTransferMs = -1;  // flag on to flag off, last time
    bool mResetArmed = false;
    // The handle that set the flag while the reset was armed: its next
    // request or its close finds the device reset.
    const Tavo::Platform::Driver::DriverSession* mResetSession = nullptr;
};

}  // namespace MixerSim
