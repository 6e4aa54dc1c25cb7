#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "Platform/Driver/Driver.h"
#include "Platform/Driver/DriverServe.h"
#include "Platform/Registry/Registry.h"

using namespace Tavo::Platform;

namespace {

std::string TempFolder()
{
    char templ[] = "/tmp/tavo-platform-bench-XXXXXX";
    return mkdtemp(templ) ? templ : "";
}

// Takes every message at once and keeps nothing.
class TakingDriver final : public Driver::DriverHandler
{
public:
    Driver::Reply OnRequest(Driver::DriverSession& session, const Driver::Request& request) override
    {
        if (request.sendToken != 0)
            session.MessageTaken(request.sendToken);
        return {};
    }
};

// One firmware-sized message per iteration, taken by the driver at once.
void SendChunk(benchmark::State& state)
{
    using namespace Tavo::Platform::Driver;
    const bool socket = state.range(0) != 0;
    auto driver = std::make_shared<TakingDriver>();
    std::string folder;
    std::unique_ptr<DriverServer> server;
    std::u16string path = u"bench-fake-device";
    if (socket) {
        folder = TempFolder();
        std::string p = folder + "/device.sock";
        server = std::make_unique<DriverServer>(p, driver);
        if (!server->Start()) {
            state.SkipWithError("server did not start");
            return;
        }
        path.assign(p.begin(), p.end());
    } else {
        RegisterFakeDevice(path, driver);
    }
    auto device = OpenDevice(path);
    if (!device) {
        state.SkipWithError("open failed");
        return;
    }
    PropertyHeader header{kMidiChannelSet, kMidiSend, kPropertySet};
    uint8_t message[128] = {0x42};
    uint64_t value[3] = {0, reinterpret_cast<uintptr_t>(message), sizeof message};
    for (auto _ : state) {
        uint32_t returned = 0;
        bool ok = device->Ioctl(kIoctlKsProperty, &header, sizeof header, value, sizeof value, &returned);
        benchmark::DoNotOptimize(ok);
    }
    state.SetItemsProcessed(state.iterations());
    device.reset();
    server.reset();
    if (!socket)
        UnregisterFakeDevice(path);
    if (!folder.empty())
        std::filesystem::remove_all(folder);
}
BENCHMARK(SendChunk)->Arg(0)->Arg(1)->ArgNames({"socket"});

std::shared_ptr<Registry::Store> MakeStore(bool onDisk, std::string& folder)
{
    using namespace Tavo::Platform::Registry;
    if (!onDisk)
        return CreateMemoryRegistry();
    folder = TempFolder();
    return CreateDirectoryRegistry(folder + "/registry");
}

// The device search's read: open the instance key, read "LastPath".
void ReadInstanceValue(benchmark::State& state)
{
    using namespace Tavo::Platform::Registry;
    std::string folder;
    auto store = MakeStore(state.range(0) != 0, folder);
    const std::u16string key =
        u"Software\\Calvio\\Audio\\Drivers\\Drv\\Dev\\Instances\\0123456789ABCDEF0123456789ABCDEF";
    store->CreateKey(key + u"\\Attached");
    for (int i = 0; i < 8; ++i)
        store->SetValue(key, u"Value" + std::u16string(1, char16_t(u'0' + i)), Value::Dword(i));
    store->SetValue(key, u"LastPath", Value::String(u"/run/tavo/device.sock"));
    for (auto _ : state) {
        std::unique_ptr<Key> k;
        Value v;
        if (store->OpenKey(key, k) != Status::Ok || k->QueryValue(u"lastpath", v, 520) != Status::Ok)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(v.data.data());
    }
    if (!folder.empty())
        std::filesystem::remove_all(folder);
}
BENCHMARK(ReadInstanceValue)->Arg(0)->Arg(1)->ArgNames({"disk"});

// From a write to the woken waiter: arm, write, wait.
void ChangeWakesWaiter(benchmark::State& state)
{
    using namespace Tavo::Platform::Registry;
    std::string folder;
    auto store = MakeStore(state.range(0) != 0, folder);
    store->CreateKey(u"Inst\\Attached");
    std::unique_ptr<Key> key;
    store->OpenKey(u"Inst\\Attached", key);
    auto event = std::make_shared<KernelEvent>(true);
    uint8_t n = 0;
    for (auto _ : state) {
        event->Reset();
        key->NotifyChange(event);
        store->SetValue(u"Inst\\Attached", u"", Value::Binary({++n}));
        if (event->Wait(5000) != WAIT_OBJECT_0)
            state.SkipWithError("no wake-up");
    }
    if (!folder.empty())
        std::filesystem::remove_all(folder);
}
BENCHMARK(ChangeWakesWaiter)->Arg(0)->Arg(1)->ArgNames({"disk"});

}  // namespace

BENCHMARK_MAIN();
