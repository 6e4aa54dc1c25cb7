#include "tools/mixer-sim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "Platform/Kernel/LittleEndian.h"
#include "Platform/Kernel/TextCoding.h"
#include "Platform/Kernel/PlatformFolders.h"
#include "tools/mixer-sim/ControlSocket.h"

namespace MixerSim {

namespace Driver = Tavo::Platform::Driver;
namespace Registry = Tavo::Platform::Registry;
using Tavo::Platform::Midi::MidiDeviceServer;

namespace {

constexpr char16_t kPortName[] = u"Tessaro DJ K620 ZENTA";
constexpr char16_t kDriverKeyPath[] =
    u"Software\\Calvio\\Audio\\Drivers\\{3f8a6c12-d9e4-4b71-8c25-7e0b19a4d6f3}";
// "01020304", vendor 0x7E52 and product 0x6C3B least significant byte first,
// "DECAFBAD".
constexpr char16_t kDeviceKeyName[] = u"01020304527E00003B6C0000DECAFBAD";
constexpr char16_t kInstanceKeyName[] = u"4B3632305A454E544100000000000001";
constexpr size_t kIdentityReplyLength = 37;

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

uint32_t ReadU32(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 4)
        return 0;
    return Tavo::Platform::Get32(bytes.data());
}

bool IsIdentityRequest(const std::vector<uint8_t>& m)
{
    return m.size() == 6 && m[0] == 0xF0 && m[1] == 0x7E && m[3] == 0x06 && m[4] == 0x01 && m[5] == 0xF7;
}

std::vector<uint8_t> IdentityReply(const Version& version, size_t length)
{
    std::vector<uint8_t> reply(kIdentityReplyLength, 0);
    const uint8_t head[] = {0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x00, 0x7E, 0x52, 0x6C, 0x3B, 0x01};
    std::memcpy(reply.data(), head, sizeof head);
    std::memcpy(reply.data() + 11, version.data(), 4);
    reply.resize(length - 1, 0);
    reply.push_back(0xF7);
    return reply;
}

}  // namespace

class Simulator::DriverSide final : public Driver::DriverHandler
{
public:
    explicit DriverSide(Simulator& sim) : mSim(sim) {}
    void OnOpen(const std::shared_ptr<Driver::DriverSession>& session) override
    {
        {
            std::lock_guard lock(mSessionLock);
            mSession = session;
        }
        mSim.Log("driver open");
    }
    Driver::Reply OnRequest(Driver::DriverSession& session, const Driver::Request& request) override
    {
        return mSim.OnDriver(session, request);
    }
    void OnClose(Driver::DriverSession& session) override
    {
        // Last, so a reader of the log that sees the handle closed has seen
        // all it caused (an install starting).
        mSim.OnDriverClose(session);
        mSim.Log("driver close-handle");
    }
    std::weak_ptr<Driver::DriverSession> Session()
    {
        std::lock_guard lock(mSessionLock);
        return mSession;
    }

private:
    Simulator& mSim;
    std::mutex mSessionLock;
    std::weak_ptr<Driver::DriverSession> mSession;
};

Simulator::Simulator(Options options) : mOptions(std::move(options))
{
    mVersion = mOptions.version;
    mUpdateMode = mOptions.mode == Mode::Update;
    mResetArmed = mOptions.faults.reenumerateAfterFlag;
    mInstancePath =
        std::u16string(kDriverKeyPath) + u"\\" + kDeviceKeyName + u"\\Instances\\" + kInstanceKeyName;
}

Simulator::~Simulator()
{
    Cleanup();
}

bool Simulator::Start(std::string& error)
{
    const std::string& root = mOptions.root;
    // What this run makes goes again on exit, when empty: the registry's key
    // folders, the driver's and the MIDI ports' folders, the root.
    std::string keyFolder = Tavo::Platform::ToUtf8(kDriverKeyPath);
    std::replace(keyFolder.begin(), keyFolder.end(), '\\', '/');
    for (const std::string& folder : {root + "/registry/" + keyFolder, root + "/driver", root + "/midi"})
        mMadeFolders.NoteAbsent(folder);
    if (!Tavo::Platform::MakePrivateFolder(root) || !Tavo::Platform::MakePrivateFolder(root + "/registry") ||
        !Tavo::Platform::MakePrivateFolder(root + "/driver")) {
        error = "cannot use the platform root " + root + " (not a folder of this user?)";
        return false;
    }
    if (!mOptions.logPath.empty() && !(mLog = std::fopen(mOptions.logPath.c_str(), "w"))) {
        error = "cannot write the log " + mOptions.logPath + ": " + std::strerror(errno);
        return false;
    }
    if (!mOptions.receivedPath.empty() && !(mReceived = std::fopen(mOptions.receivedPath.c_str(), "wb"))) {
        error = "cannot write " + mOptions.receivedPath + ": " + std::strerror(errno);
        return false;
    }
    mControlPath = ControlSocketPath(root);
    mControlFd = ListenControl(mControlPath, error);
    if (mControlFd < 0)
        return false;
    mWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (mWakeFd < 0) {
        error = "eventfd failed";
        return false;
    }

    mRegistry = Registry::CreateDirectoryRegistry(root + "/registry");
    mDriverPath = root + "/driver/k620-zenta.sock";
    const std::u16string attached = mInstancePath + u"\\Attached";
    if (mRegistry->CreateKey(attached) != Registry::Status::Ok ||
        mRegistry->SetValue(mInstancePath, u"LastPath",
                            Registry::Value::String(Tavo::Platform::FromUtf8(mDriverPath))) !=
            Registry::Status::Ok ||
        mRegistry->SetValue(attached, u"", Registry::Value::Binary({0})) != Registry::Status::Ok) {
        error = "cannot write the registry under " + root + "/registry";
        return false;
    }
    mDriverSide = std::make_shared<DriverSide>(*this);
    if (mOptions.mode != Mode::Absent) {
        Attach(mUpdateMode);
        if (!mAttached) {
            error = "cannot serve the driver or the MIDI ports under " + root;
            return false;
        }
    }
    return true;
}

void Simulator::Attach(bool updateMode)
{
    {
        std::lock_guard lock(mLock);
        if (mAttached)
            return;
        mUpdateMode = updateMode;
        mFlag = false;
    }
    auto driver = std::make_unique<Driver::DriverServer>(mDriverPath, mDriverSide);
    std::string error;
    if (!driver->Start(&error)) {
        Log("error driver: " + error);
        return;
    }
    mDriver = std::move(driver);
    mRegistry->SetValue(mInstancePath + u"\\Attached", u"", Registry::Value::Binary({1}));
    mMidi = MidiDeviceServer::Publish(
        kPortName, kPortName, [this](const Bytes& m, MidiDeviceServer::InputMark open) { OnMidi(m, open); },
        &error);
    if (!mMidi) {
        Log("error midi: " + error);
        Detach();
        return;
    }
    // More mixers of the model: the same port names, listed after this one.
    for (size_t n = 2; n <= mOptions.devices; ++n) {
        auto other = MidiDeviceServer::Publish(
            kPortName, kPortName,
            [this, n](const Bytes& m, MidiDeviceServer::InputMark open) { OnOtherMidi(n, m, open); }, &error);
        if (!other) {
            Log("error midi: " + error);
            Detach();
            return;
        }
        mOtherMidi.push_back(std::move(other));
    }
    Version version;
    {
        std::lock_guard lock(mLock);
        mAttached = true;
        version = mVersion;
    }
    Log(std::string("state attached ") + (updateMode ? "update " : "normal ") + FormatVersion(version));
}

void Simulator::Detach()
{
    // Unplugged: the driver marks the instance gone, the ports vanish, the
    // open handle fails from now on.
    {
        std::lock_guard lock(mLock);
        mResetSession = nullptr;
    }
    mRegistry->SetValue(mInstancePath + u"\\Attached", u"", Registry::Value::Binary({0}));
    mOtherMidi.clear();
    mMidi.reset();
    if (mDriver) {
        mDriver->Stop();
        mDriver.reset();
    }
    bool was;
    {
        std::lock_guard lock(mLock);
        was = mAttached;
        mAttached = false;
        mFlag = false;
        mInstallPending = false;
    }
    if (was)
        Log("state detached");
}

void Simulator::Cleanup()
{
    if (mRegistry) {
        Detach();
        mRegistry->DeleteKey(std::u16string(kDriverKeyPath) + u"\\" + kDeviceKeyName);
        std::unique_ptr<Registry::Key> key;
        std::vector<std::u16string> names;
        if (mRegistry->OpenKey(kDriverKeyPath, key) == Registry::Status::Ok &&
            key->EnumerateSubKeys(names) == Registry::Status::Ok && names.empty())
            mRegistry->DeleteKey(kDriverKeyPath);
        unlink((mDriverPath + ".lock").c_str());
        mRegistry.reset();
    }
    if (mControlFd >= 0) {
        close(mControlFd);
        unlink(mControlPath.c_str());
        mControlFd = -1;
    }
    if (mWakeFd >= 0) {
        close(mWakeFd);
        mWakeFd = -1;
    }
    if (mLog) {
        std::fclose(mLog);
        mLog = nullptr;
    }
    if (mReceived) {
        std::fclose(mReceived);
        mReceived = nullptr;
    }
    mMadeFolders.RemoveEmpty();
}

void Simulator::Run(int signalFd)
{
    bool quit = false;
    while (!quit) {
        int timeout = -1;
        {
            std::lock_guard lock(mTaskLock);
            if (!mTasks.empty()) {
                auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(mTasks.begin()->first - Clock::now());
                timeout = static_cast<int>(std::max<int64_t>(0, wait.count()));
            }
        }
        pollfd fds[3] = {{mControlFd, POLLIN, 0}, {mWakeFd, POLLIN, 0}, {signalFd, POLLIN, 0}};
        int r = poll(fds, signalFd >= 0 ? 3 : 2, timeout);
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0 && (fds[2].revents & POLLIN)) {
            signalfd_siginfo info;
            [[maybe_unused]] ssize_t n = read(signalFd, &info, sizeof info);
            Log("signal " + std::to_string(info.ssi_signo));
            break;
        }
        if (r > 0 && (fds[1].revents & POLLIN)) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = read(mWakeFd, &count, sizeof count);
        }
        if (r > 0 && (fds[0].revents & POLLIN)) {
            int client = accept4(mControlFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const std::string command = ReadCommand(client);
                Answer(client, Execute(command, quit));
            }
        }
        RunDueTasks();
    }
    Cleanup();
}

std::string Simulator::Execute(const std::string& command, bool& quit)
{
    if (command == "status")
        return Status();
    if (command == "attach") {
        bool update;
        {
            std::lock_guard lock(mLock);
            update = mUpdateMode;
        }
        Attach(update);
    } else if (command == "detach") {
        Detach();
    } else if (command == "update-mode" || command == "normal-mode") {
        // By hand: power off, (hold the buttons,) power on.
        Detach();
        Attach(command == "update-mode");
    } else if (command == "quit") {
        quit = true;
        return "ok";
    } else {
        return "error unknown command: " + command;
    }
    std::lock_guard lock(mLock);
    return mAttached || command == "detach" ? "ok" : "error cannot attach";
}

std::string Simulator::Status()
{
    std::lock_guard lock(mLock);
    return std::string("state=") + (mAttached ? "attached" : "detached") +
           " mode=" + (mUpdateMode ? "update" : "normal") + " version=" + FormatVersion(mVersion) +
           " flag=" + (mFlag ? "1" : "0") + " received=" + std::to_string(mReceivedBytes) +
           " installing=" + (mInstalling ? "1" : "0") + " transfer-ms=" + std::to_string(mTransferMs);
}

void Simulator::Post(Clock::duration delay, std::function<void()> task)
{
    {
        std::lock_guard lock(mTaskLock);
        mTasks.emplace(Clock::now() + delay, std::move(task));
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(mWakeFd, &one, sizeof one);
}

void Simulator::RunDueTasks()
{
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mTaskLock);
            if (mTasks.empty() || mTasks.begin()->first > Clock::now())
                return;
            task = std::move(mTasks.begin()->second);
            mTasks.erase(mTasks.begin());
        }
        task();
    }
}

void Simulator::Log(const std::string& line)
{
    // Taken before the lock, so a line's time is when its event happened.
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - mStarted).count();
    std::lock_guard lock(mLogLock);
    if (mLog) {
        std::fprintf(mLog, "%.3f\t%s\n", ms, line.c_str());
        std::fflush(mLog);
    }
}

void Simulator::OnMidi(const Bytes& message, MidiDeviceServer::InputMark openInputs)
{
    Log("midi-in " + Hex(message));
    // The sender learns that a long message was taken once this returns, and
    // the port's messages come one after another.
    if (mOptions.faults.takeDelayMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(mOptions.faults.takeDelayMs));
    Log("midi-taken");
    if (!IsIdentityRequest(message))
        return;
    Bytes reply;
    {
        std::lock_guard lock(mLock);
        // Update mode runs the boot loader, which does not answer.
        if (!mAttached || mUpdateMode)
            return;
        reply = IdentityReply(mVersion, mOptions.faults.replyLength.value_or(kIdentityReplyLength));
    }
    // The answer goes to the ports that were listening when the question
    // came: one opened since (the next run's, when this one gave up) is not
    // told an answer to a question it never asked.
    Post(std::chrono::milliseconds(mOptions.faults.replyDelayMs), [this, reply, openInputs] {
        if (mMidi) {
            mMidi->Send(reply, openInputs);
            Log("midi-out " + Hex(reply));
        }
    });
}

void Simulator::OnOtherMidi(size_t n, const Bytes& message, MidiDeviceServer::InputMark openInputs)
{
    Log("device " + std::to_string(n) + " midi-in " + Hex(message));
    if (!IsIdentityRequest(message))
        return;
    Bytes reply;
    {
        std::lock_guard lock(mLock);
        if (!mAttached)
            return;
        reply = IdentityReply(mVersion, kIdentityReplyLength);
    }
    Post(std::chrono::milliseconds(0), [this, n, reply, openInputs] {
        if (n - 2 < mOtherMidi.size()) {
            mOtherMidi[n - 2]->Send(reply, openInputs);
            Log("device " + std::to_string(n) + " midi-out " + Hex(reply));
        }
    });
}

namespace {

void Refuse(Driver::Reply& reply, std::string& line, uint32_t error)
{
    reply.error = error;
    line += " refused";
}

}  // namespace

void Simulator::StartImageLocked()
{
    mChunks = 0;
    mOutstanding = 0;
    mFaultFired = false;
    mChannelClosed = false;
    mInstallPending = false;
    mReceivedBytes = 0;
    if (mReceived) {
        std::fflush(mReceived);
        [[maybe_unused]] int r = ftruncate(fileno(mReceived), 0);
        std::rewind(mReceived);
    }
}

void Simulator::OnUpdateFlag(Driver::DriverSession& session, uint32_t value, Driver::Reply& reply,
                             std::string& line)
{
    line += "update-flag " + std::to_string(value);
    std::lock_guard lock(mLock);
    if (value != 0 && mOptions.faults.refuseUpdateFlag) {
        Refuse(reply, line, Driver::kErrorGenFailure);
    } else if (value != 0 && !mFlag) {
        // The boot loader starts a new image only when the flag goes on; set
        // again while on, it goes on collecting after what it holds.
        mFlag = true;
        mFlagOn = Clock::now();
        StartImageLocked();
        if (mResetArmed) {
            mResetArmed = false;
            mResetSession = &session;
        }
    } else if (value == 0 && mFlag) {
        mFlag = false;
        mTransferMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - mFlagOn).count();
        // Installs only what arrived whole: every message taken, the
        // channel closed normally, no fault on the way.
        mInstallPending = mChunks > 0 && mOutstanding == 0 && mChannelClosed && !mFaultFired;
    }
}

void Simulator::OnSend(Driver::DriverSession& session, const Driver::Request& request, Driver::Reply& reply,
                       std::string& line)
{
    const Faults& faults = mOptions.faults;
    const uint32_t port = ReadU32(request.value);
    line += "send " + std::to_string(port) + " " + std::to_string(request.message.size());
    bool detach = false;
    bool take = false;
    Clock::duration takeDelay{};
    {
        std::lock_guard lock(mLock);
        const uint32_t chunk = port == 0 ? ++mChunks : 0;
        if (chunk != 0 && chunk == faults.detachAtChunk) {
            mFaultFired = true;
            detach = true;
            Refuse(reply, line, Driver::kErrorDeviceNotConnected);
        } else if (chunk != 0 && chunk == faults.refuseChunk) {
            mFaultFired = true;
            Refuse(reply, line, Driver::kErrorGenFailure);
        } else {
            if (port == 0 && mFlag && mReceived) {
                std::fwrite(request.message.data(), 1, request.message.size(), mReceived);
                std::fflush(mReceived);
            }
            if (port == 0 && mFlag)
                mReceivedBytes += request.message.size();
            ++mOutstanding;
            if (!faults.neverTake) {
                take = true;
                if (faults.takeDelayMs) {
                    // A slow device takes one message after another.
                    const auto now = Clock::now();
                    mLastTake = std::max(now, mLastTake) + std::chrono::milliseconds(faults.takeDelayMs);
                    takeDelay = mLastTake - now;
                }
            }
        }
    }
    if (detach) {
        Post({}, [this] { Detach(); });
    } else if (take && takeDelay == Clock::duration{}) {
        session.MessageTaken(request.sendToken);
        std::lock_guard lock(mLock);
        --mOutstanding;
    } else if (take) {
        Post(takeDelay, [this, token = request.sendToken, weak = mDriverSide->Session()] {
            if (auto s = weak.lock(); s && s->IsOpen()) {
                s->MessageTaken(token);
                std::lock_guard lock(mLock);
                --mOutstanding;
            }
        });
    }
}

Driver::Reply Simulator::OnDriver(Driver::DriverSession& session, const Driver::Request& request)
{
    const auto& header = request.header;
    Driver::Reply reply;
    const bool set = header.flags & Driver::kPropertySet;
    std::string line = "driver ";

    bool reset;
    {
        std::lock_guard lock(mLock);
        reset = mResetSession == &session;
    }
    if (reset) {
        // The device is gone from under this handle: the request never reaches it.
        Reenumerate(&session);
        reply.error = Driver::kErrorDeviceNotConnected;
        return reply;
    }

    if (header.set == Driver::kDriverControlSet && header.id == Driver::kDriverUpdateFlag && set) {
        OnUpdateFlag(session, ReadU32(request.value), reply, line);
    } else if (header.set == Driver::kMidiChannelSet) {
        switch (header.id) {
        case Driver::kMidiSetEvent:
            line += "set-event";
            break;
        case Driver::kMidiClearEvent:
            line += "clear-event";
            break;
        case Driver::kMidiOpenPort: {
            const uint32_t port = ReadU32(request.value);
            line += "open-port " + std::to_string(port);
            if (port == 0 && mOptions.faults.refuseOpenPort)
                Refuse(reply, line, Driver::kErrorGenFailure);
            break;
        }
        case Driver::kMidiClose: {
            line += "close";
            std::lock_guard lock(mLock);
            mChannelClosed = true;
            break;
        }
        case Driver::kMidiPendingMask:
            line += "pending-mask";
            reply.output.assign(4, 0);
            break;
        case Driver::kMidiRead:
            line += "read";
            reply.output.assign(16, 0);
            break;
        case Driver::kMidiSend:
            OnSend(session, request, reply, line);
            break;
        default:
            line += "unknown " + std::to_string(header.id);
            Refuse(reply, line, Driver::kErrorInvalidFunction);
            break;
        }
    } else {
        line += "unknown-set " + std::to_string(header.id);
        Refuse(reply, line, Driver::kErrorInvalidFunction);
    }
    Log(line);
    return reply;
}

void Simulator::Reenumerate(Driver::DriverSession* session)
{
    bool update;
    Version version;
    {
        std::lock_guard lock(mLock);
        mResetSession = nullptr;
        mFlag = false;
        mInstallPending = false;
        update = mUpdateMode;
        version = mVersion;
    }
    const std::u16string attached = mInstancePath + u"\\Attached";
    mRegistry->SetValue(attached, u"", Registry::Value::Binary({0}));
    Log("state detached");
    if (session)
        session->Detach();
    mRegistry->SetValue(attached, u"", Registry::Value::Binary({1}));
    Log(std::string("state attached ") + (update ? "update " : "normal ") + FormatVersion(version));
}

void Simulator::OnDriverClose(Driver::DriverSession& session)
{
    bool reset;
    {
        std::lock_guard lock(mLock);
        reset = mResetSession == &session;
    }
    if (reset)
        Reenumerate(nullptr);
    bool install;
    {
        std::lock_guard lock(mLock);
        install = mInstallPending;
        mInstallPending = false;
        mInstalling = mInstalling || install;
    }
    if (!install)
        return;
    Log("state installing");
    Post({}, [this] {
        Detach();
        Post(std::chrono::milliseconds(mOptions.installMs), [this] {
            {
                std::lock_guard lock(mLock);
                mVersion = mOptions.afterUpdateVersion;
                mInstalling = false;
            }
            Attach(false);
        });
    });
}

}  // namespace MixerSim
