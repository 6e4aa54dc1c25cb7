// Round trip of a System Exclusive message through the socket backend (sent
// on an output port, echoed by the serving side, received on an input port)
// against a plain Unix stream socket echo of the same bytes. Prints the
// ratio of the two after the runs.

#include "Platform/Midi/Midi.h"
#include "Platform/Midi/MidiBackend.h"
#include "Platform/Midi/MidiServer.h"

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
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

std::map<std::pair<int, int64_t>, double> gNanos;  // (kind, size) -> ns per round trip

Bytes SysEx(int64_t size)
{
    Bytes b(static_cast<size_t>(size), 0x55);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

struct Receiver
{
    std::atomic<int> echoes {0};
    std::atomic<int> done {0};

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
    auto server = MidiDeviceServer::Publish(u"Echo", u"Echo", [&serverPtr](const Bytes& m) { serverPtr->Send(m); });
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
    gNanos[{0, state.range(0)}] =
        static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
        static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));

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

void BM_PlainSocketEcho(benchmark::State& state)
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        state.SkipWithError("no socket pair");
        return;
    }
    std::thread echo([fd = fds[1]] {
        uint8_t buf[4096];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
            if (write(fd, buf, static_cast<size_t>(n)) != n)
                return;
        }
    });
    Bytes message = SysEx(state.range(0));
    Bytes back(message.size());
    auto start = Clock::now();
    for (auto _ : state) {
        if (write(fds[0], message.data(), message.size()) != static_cast<ssize_t>(message.size()))
            state.SkipWithError("write failed");
        size_t got = 0;
        while (got < back.size()) {
            ssize_t n = read(fds[0], back.data() + got, back.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        benchmark::DoNotOptimize(back.data());
    }
    gNanos[{1, state.range(0)}] =
        static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
        static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    shutdown(fds[0], SHUT_RDWR);
    echo.join();
    close(fds[0]);
    close(fds[1]);
}

BENCHMARK(BM_SocketBackendSysExEcho)->Arg(6)->Arg(256)->Arg(1024)->UseRealTime();
BENCHMARK(BM_PlainSocketEcho)->Arg(6)->Arg(256)->Arg(1024)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int64_t size : {6, 256, 1024}) {
        auto layer = gNanos.find({0, size});
        auto plain = gNanos.find({1, size});
        if (layer == gNanos.end() || plain == gNanos.end() || plain->second <= 0)
            continue;
        std::printf("SysEx %4lld bytes: socket backend %.1f us, plain socket echo %.1f us, ratio %.2f\n",
                    static_cast<long long>(size), layer->second / 1000, plain->second / 1000,
                    layer->second / plain->second);
    }
    return 0;
}
