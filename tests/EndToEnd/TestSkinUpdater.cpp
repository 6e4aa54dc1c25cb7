// The updater with a skin whose File menu shows, for the tests that choose
// the firmware file through it (the product's skin keeps the menu hidden),
// and strings that give the EXIT button a tooltip. For the crash tests it
// faults on demand, on the main thread (where the file chooser runs):
// TAVO_TEST_FAULT_FIFO names a FIFO, and a line written to it ("segv",
// "overflow" or "abort") is acted on as the loop's next message.
#include "Application/ProgramMain.h"
#include "ControlBase/ControlFactory.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/Kernel/Resources.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>

namespace {

// A write to address 0, which the sanitizer must not turn into a report of
// its own.
__attribute__((no_sanitize("null"))) void WriteToNull()
{
    volatile int* volatile address = nullptr;
    *address = 1;
}

// Each frame holds a buffer used after the call, so none is reused.
__attribute__((noinline)) size_t Recurse(size_t depth)
{
    volatile char frame[1024];
    frame[0] = char(depth);
    if (depth == std::numeric_limits<size_t>::max())
        return 0;
    return Recurse(depth + 1) + size_t(frame[0]);
}

void FaultOnDemand(const char* fifo)
{
    std::thread([path = std::string(fifo)] {
        FILE* in = std::fopen(path.c_str(), "r");
        char word[32] = {};
        if (!in || !std::fgets(word, sizeof word, in))
            return;
        const std::string kind(word);
        Tavo::Platform::App::MainMessageLoop().Post([kind] {
            if (kind == "segv\n")
                WriteToNull();
            else if (kind == "overflow\n")
                std::printf("%zu\n", Recurse(0));
            else if (kind == "abort\n")
                std::abort();
        });
    }).detach();
}

}  // namespace

int main(int argc, char** argv)
{
    Tavo::LControlFactory::SetResourceLookup([](const Tavo::WString& type, const Tavo::WString& name) {
        const Tavo::NString narrowType(type);
        const Tavo::NString narrowName(name == u"APP_SKINS"     ? Tavo::WString(u"TEST_APP_SKINS")
                                       : name == u"APP_STRINGS" ? Tavo::WString(u"TEST_APP_STRINGS")
                                                                : name);
        return Tavo::Platform::FindResource(narrowType.c_str(), narrowName.c_str());
    });
    if (const char* fifo = std::getenv("TAVO_TEST_FAULT_FIFO"))
        FaultOnDemand(fifo);
    return RunFirmwareUpdater(argc, argv);
}
