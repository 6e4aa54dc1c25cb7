// A System Exclusive message sent through the port service to a device served
// over the socket backend, echoed there and delivered back as a captured-data
// notification, against a plain Unix stream socket echo of the same bytes.
// Prints the ratio of the two after the runs.

#include "Midi/MidiComm.h"
#include "Notification/NotificationClient.h"
#include "Platform/Midi/MidiBackend.h"
#include "Platform/Midi/MidiServer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace Tavo;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Up to what the three 256-byte capture buffers hold in one burst.
const int64_t kSizes[] = {6, 256, 600};
std::map<std::pair<int, int64_t>, double> gNanos;  // (kind, size) -> ns per round trip

Bytes SysEx(int64_t size)
{
    Bytes b(static_cast<size_t>(size), 0x55);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

double NanosPerIteration(Clock::time_point start, const benchmark::State& state)
{
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return static_cast<double>(ns) / static_cast<double>(state.iterations());
}

class Counter : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&) override
    {
        std::lock_guard l(mLock);
        ++mCount;
        mChanged.notify_one();
        return S_OK;
    }
    int Count()
    {
        std::lock_guard l(mLock);
        return mCount;
    }
    // False when no echo came within a generous bound (a lost message).
    bool WaitAbove(int seen)
    {
        std::unique_lock l(mLock);
        return mChanged.wait_for(l, std::chrono::seconds(5), [&] { return mCount > seen; });
    }

private:
    std::mutex mLock;
    std::condition_variable mChanged;
    int mCount = 0;
};

void BM_PortServiceSysExEcho(benchmark::State& state)
{
    char root[] = "/tmp/midi-ports-bench-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    setenv("TAVO_PLATFORM_ROOT", root, 1);
    Platform::Midi::SetMidiBackend(nullptr);
    Platform::Midi::MidiDeviceServer* echo = nullptr;
    auto server = Platform::Midi::MidiDeviceServer::Publish(u"Echo", u"Echo",
                                                            [&echo](const Bytes& m) { echo->Send(m); });
    echo = server.get();
    {
        RCPtr<LMidiCommInterface> service = LMidiComm::Create();
        RCPtr<Counter> counter(new Counter);
        counter->Subscribe(service, kMidiDataCapturedName);
        RCPtr<LRefCountedObject> in;
        RCPtr<LRefCountedObject> out;
        if (!server || service->OpenCapturePort(WString(u"Echo"), in) != S_OK ||
            service->OpenRenderPort(WString(u"Echo"), out) != S_OK) {
            state.SkipWithError("no echo device");
        } else {
            Bytes message = SysEx(state.range(0));
            auto start = Clock::now();
            for (auto _ : state) {
                int seen = counter->Count();
                if (service->Send(out, message) != static_cast<TavoResult>(message.size())) {
                    state.SkipWithError("send failed");
                    break;
                }
                if (!counter->WaitAbove(seen)) {
                    state.SkipWithError("echo lost");
                    break;
                }
            }
            gNanos[{0, state.range(0)}] = NanosPerIteration(start, state);
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
        }
        counter->UnsubscribeAll();
    }
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
        if (write(fds[0], message.data(), message.size()) != static_cast<ssize_t>(message.size())) {
            state.SkipWithError("write failed");
            break;
        }
        for (size_t got = 0; got < back.size();) {
            ssize_t n = read(fds[0], back.data() + got, back.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        benchmark::DoNotOptimize(back.data());
    }
    gNanos[{1, state.range(0)}] = NanosPerIteration(start, state);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    shutdown(fds[0], SHUT_RDWR);
    echo.join();
    close(fds[0]);
    close(fds[1]);
}

BENCHMARK(BM_PortServiceSysExEcho)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->UseRealTime();
BENCHMARK(BM_PlainSocketEcho)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int64_t size : kSizes) {
        auto ports = gNanos.find({0, size});
        auto plain = gNanos.find({1, size});
        if (ports == gNanos.end() || plain == gNanos.end() || plain->second <= 0)
            continue;
        std::printf("SysEx %4lld bytes: port service %.1f us, plain socket echo %.1f us, ratio %.2f\n",
                    static_cast<long long>(size), ports->second / 1000, plain->second / 1000,
                    ports->second / plain->second);
    }
    return 0;
}
