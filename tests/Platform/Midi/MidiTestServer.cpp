// Serves MIDI devices for the socket tests from a separate process. Reads
// tab-separated commands from standard input and answers each with one line
// beginning "ok" (or "error"):
//   plug KEY INPUT-NAME OUTPUT-NAME   ("-" leaves a port out)
//   unplug KEY
//   inject KEY HEX                    answers "ok N", N = ports reached
//   respond KEY HEX-REQUEST HEX-REPLY
//   takes KEY 0|1
//   sent KEY                          answers "ok HEX HEX ..."
//   quit

#include "Platform/Midi/MidiServer.h"
#include "Platform/Midi/MidiWire.h"
#include "tests/Platform/Midi/HexText.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

using namespace Tavo::Platform::Midi;
using Bytes = std::vector<uint8_t>;

namespace {

using MidiTest::FromHex;
using MidiTest::ToHex;

struct Device
{
    std::mutex lock;
    std::vector<Bytes> sent;
    std::vector<std::pair<Bytes, Bytes>> replies;
    MidiDeviceServer* server = nullptr;
};

std::u16string Name(const std::string& field)
{
    return field == "-" ? std::u16string() : Wire::FromUtf8(field);
}

}  // namespace

int main()
{
    std::map<std::string, std::shared_ptr<Device>> devices;
    std::map<std::string, std::unique_ptr<MidiDeviceServer>> servers;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string field; std::getline(ss, field, '\t');)
            f.push_back(field);
        if (f.empty())
            continue;
        const std::string& cmd = f[0];
        std::string answer = "ok";
        if (cmd == "quit") {
            break;
        } else if (cmd == "plug" && f.size() == 4) {
            auto device = std::make_shared<Device>();
            std::string error;
            auto server = MidiDeviceServer::Publish(
                Name(f[2]), Name(f[3]),
                [device](const Bytes& message) {
                    std::lock_guard l(device->lock);
                    device->sent.push_back(message);
                    for (auto& [request, reply] : device->replies) {
                        if (request == message)
                            device->server->Send(reply);
                    }
                },
                &error);
            if (!server) {
                answer = "error " + error;
            } else {
                std::lock_guard l(device->lock);
                device->server = server.get();
                devices[f[1]] = device;
                servers[f[1]] = std::move(server);
            }
        } else if (!servers.count(f.size() > 1 ? f[1] : std::string())) {
            answer = "error unknown device";
        } else if (cmd == "unplug") {
            servers.erase(f[1]);
        } else if (cmd == "inject" && f.size() == 3) {
            answer = "ok " + std::to_string(servers[f[1]]->Send(FromHex(f[2])));
        } else if (cmd == "respond" && f.size() == 4) {
            std::lock_guard l(devices[f[1]]->lock);
            devices[f[1]]->replies.emplace_back(FromHex(f[2]), FromHex(f[3]));
        } else if (cmd == "takes" && f.size() == 3) {
            servers[f[1]]->SetTakesMessages(f[2] == "1");
        } else if (cmd == "sent") {
            std::lock_guard l(devices[f[1]]->lock);
            for (const Bytes& m : devices[f[1]]->sent)
                answer += " " + ToHex(m);
        } else {
            answer = "error bad command";
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
