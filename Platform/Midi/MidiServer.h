#pragma once

// The serving side of the MIDI sockets: a process publishes a device (an
// input/output port pair) under $TAVO_PLATFORM_ROOT/midi, receives what
// programs send to its output port and says bytes on its input port.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Tavo::Platform::Midi {

class MidiDeviceServer
{
public:
    using Bytes = std::vector<uint8_t>;
    // One message a program sent; called on the server's thread. The program
    // learns that its long message was taken once this returns.
    using Receiver = std::function<void(const Bytes& message)>;
    // The input ports open at a moment, for a Send later: a port opened
    // since takes nothing of it, as a real port takes nothing that was on
    // its way before it opened.
    using InputMark = uint64_t;
    static constexpr InputMark kEveryInput = UINT64_MAX;
    // A receiver that also gets the input ports open as the message came:
    // where its answer goes.
    using MarkedReceiver = std::function<void(const Bytes& message, InputMark openInputs)>;

    // inputName is what programs list among their input devices (the device
    // talks there), outputName among their output devices; an empty name
    // leaves that port out. Null, with a reason in error, on failure.
    static std::unique_ptr<MidiDeviceServer> Publish(const std::u16string& inputName,
                                                     const std::u16string& outputName, Receiver receiver,
                                                     std::string* error = nullptr);
    static std::unique_ptr<MidiDeviceServer> Publish(const std::u16string& inputName,
                                                     const std::u16string& outputName,
                                                     MarkedReceiver receiver, std::string* error = nullptr);

    // Unpublishes: the device leaves the lists, then its connections close.
    ~MidiDeviceServer();

    // Says raw MIDI bytes (any split of the stream) to every program that has
    // the input port open, of those open at `openInputs`; returns how many.
    size_t Send(const Bytes& bytes, InputMark openInputs = kEveryInput);

    // False: long messages are received but not reported as taken until it is
    // set back to true (never, to test time-outs).
    void SetTakesMessages(bool takes);

    size_t InputConnections();
    size_t OutputConnections();

    MidiDeviceServer(const MidiDeviceServer&) = delete;
    MidiDeviceServer& operator=(const MidiDeviceServer&) = delete;

private:
    struct Client;

    MidiDeviceServer() = default;
    void Run();
    void Accept();
    bool Serve(const std::shared_ptr<Client>& client);
    void Drop(const std::shared_ptr<Client>& client);
    static void Ack(Client& client, uint64_t token);
    size_t Connections(uint8_t direction);

    std::string mFolder;
    std::string mId;
    std::u16string mInputName;
    std::u16string mOutputName;
    MarkedReceiver mReceiver;
    int mListenFd = -1;
    int mWakeFd = -1;
    std::thread mThread;

    std::mutex mLock;
    std::vector<std::shared_ptr<Client>> mClients;
    bool mTakes = true;
    InputMark mInputsOpened = 0;
    std::vector<std::pair<std::shared_ptr<Client>, uint64_t>> mHeld;
};

}  // namespace Tavo::Platform::Midi
