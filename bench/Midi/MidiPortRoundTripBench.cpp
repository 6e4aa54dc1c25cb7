// A System Exclusive message sent through the port service to a device served
// over the socket backend, echoed there and delivered back as a captured-data
// notification, against a plain Unix stream socket echo of the same bytes.
// Prints the ratio of the two after the runs.

#include "Midi/MidiComm.h"
#include "Notification/NotificationClient.h"
#include "Platform/Midi/MidiBackend.h"
#include "Platform/Midi/MidiServer.h"

#include "bench/Common/SysExEcho.h"

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
using namespace SysExEcho;

// Up to what the three 256-byte capture buffers hold in one burst.
constexpr int64_t kSizes[] = {6, 256, 600};
class Counter : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>&) override
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
            Record(kLayer, start, state);
        }
        counter->UnsubscribeAll();
    }
    server.reset();
    std::filesystem::remove_all(root);
}

BENCHMARK(BM_PortServiceSysExEcho)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->UseRealTime();
BENCHMARK(BM_PlainSocketEcho)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunAndCompare(argc, argv, "port service", {kSizes[0], kSizes[1], kSizes[2]});
}
