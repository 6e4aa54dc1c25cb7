// Round trip of a System Exclusive message through the socket backend (sent
// on an output port, echoed by the serving side, received on an input port)
// against a plain Unix stream socket echo of the same bytes. Prints the
// ratio of the two after the runs.

#include "Platform/Midi/Midi.h"
#include "Platform/Midi/MidiBackend.h"
#include "Platform/Midi/MidiServer.h"

#include "bench/Common/SysExEcho.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace Tavo::Platform::Midi;
using namespace SysExEcho;

struct Receiver
{
    std::atomic<int> echoes{0};
    std::atomic<int> done{0};

    static void InProc(HMIDIIN h, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t)
    {
        auto* self = reinterpret_cast<Receiver*>(instance);
        if (message != MIM_LONGDATA)
            return;
        auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
        bool complete = hdr->dwBytesRecorded > 0 && hdr->lpData[hdr->dwBytesRecorded - 1] == 0xF7;
        MidiInAddBuffer(h, hdr);
        if (complete) {
            self->echoes.fetch_add(1);
            self->echoes.notify_one();
        }
    }

    static void OutProc(HMIDIOUT, uint32_t message, uintptr_t instance, uintptr_t, uintptr_t)
    {
        auto* self = reinterpret_cast<Receiver*>(instance);
        if (message == MOM_DONE) {
            self->done.fetch_add(1);
            self->done.notify_one();
        }
    }
};

void WaitAbove(std::atomic<int>& counter, int seen)
{
    for (int v = counter.load(); v <= seen; v = counter.load())
        counter.wait(v);
}

void BM_SocketBackendSysExEcho(benchmark::State& state)
{
    char root[] = "/tmp/midi-bench-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    setenv("TAVO_PLATFORM_ROOT", root, 1);
    SetMidiBackend(nullptr);
    MidiDeviceServer* serverPtr = nullptr;
    auto server =
        MidiDeviceServer::Publish(u"Echo", u"Echo", [&serverPtr](const Bytes& m) { serverPtr->Send(m); });
    serverPtr = server.get();

    Receiver receiver;
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    MidiInOpen(&in, 0, &Receiver::InProc, reinterpret_cast<uintptr_t>(&receiver), CALLBACK_FUNCTION);
    MidiOutOpen(&out, 0, &Receiver::OutProc, reinterpret_cast<uintptr_t>(&receiver), CALLBACK_FUNCTION);
    std::vector<Bytes> data(4, Bytes(256));
    std::vector<MIDIHDR> headers(4);
    for (size_t i = 0; i < headers.size(); ++i) {
        headers[i].lpData = data[i].data();
        headers[i].dwBufferLength = 256;
        MidiInPrepareHeader(in, &headers[i]);
        MidiInAddBuffer(in, &headers[i]);
    }
    MidiInStart(in);

    Bytes message = SysEx(state.range(0));
    MIDIHDR h;
    h.lpData = message.data();
    h.dwBufferLength = static_cast<uint32_t>(message.size());
    MidiOutPrepareHeader(out, &h);

    auto start = Clock::now();
    for (auto _ : state) {
        int echoes = receiver.echoes.load();
        int done = receiver.done.load();
        MidiOutLongMsg(out, &h);
        WaitAbove(receiver.done, done);
        WaitAbove(receiver.echoes, echoes);
    }
    Record(kLayer, start, state);

    MidiOutUnprepareHeader(out, &h);
    MidiOutClose(out);
    MidiInReset(in);
    for (auto& hdr : headers)
        MidiInUnprepareHeader(in, &hdr);
    MidiInClose(in);
    MidiWaitCallbacks();
    server.reset();
    std::filesystem::remove_all(root);
}

BENCHMARK(BM_SocketBackendSysExEcho)->Arg(6)->Arg(256)->Arg(1024)->UseRealTime();
BENCHMARK(BM_PlainSocketEcho)->Arg(6)->Arg(256)->Arg(1024)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunAndCompare(argc, argv, "socket backend", {6, 256, 1024});
}
