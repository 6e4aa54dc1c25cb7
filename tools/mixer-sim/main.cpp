// mixer-sim: the mixer and its driver on the simulated platform, in the
// foreground until "quit" or a signal.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/signalfd.h>
#include <vector>

#include "tools/mixer-sim/Simulator.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    MixerSim::Options options;
    std::string error;
    bool help = false;
    if (!MixerSim::ParseOptions(args, options, error, help)) {
        std::fprintf(stderr, "mixer-sim: %s\n%s", error.c_str(), MixerSim::Usage());
        return 2;
    }
    if (help) {
        std::printf("%s", MixerSim::Usage());
        return 0;
    }
    // Every platform layer finds its folders through the variable.
    setenv("TAVO_PLATFORM_ROOT", options.root.c_str(), 1);

    // Signals arrive through the main loop, never on a worker thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    MixerSim::Simulator simulator(options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "mixer-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("mixer-sim: ready under %s\n", options.root.c_str());
    std::fflush(stdout);
    simulator.Run(signalFd);
    return 0;
}
