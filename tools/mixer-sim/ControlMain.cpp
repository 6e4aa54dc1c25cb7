// mixer-sim-ctl: sends one command to a running simulator.
#include <algorithm>
#include <cstdio>
#include <string>

#include "Platform/Kernel/PlatformFolders.h"
#include "tools/mixer-sim/ControlSocket.h"
#include "tools/mixer-sim/SimOptions.h"

int main(int argc, char** argv)
{
    static constexpr char kUsage[] =
        "usage: mixer-sim-ctl [--root DIR] attach|detach|update-mode|normal-mode|status|quit\n";
    static constexpr const char* kCommands[] = {"attach",      "detach", "update-mode",
                                                "normal-mode", "status", "quit"};
    std::string root;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kUsage);
            return 0;
        }
        if (arg == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (command.empty() && !arg.empty() && arg[0] != '-') {
            command = arg;
        } else {
            command.clear();
            break;
        }
    }
    // A word the simulator does not know is a wrong argument, like a
    // missing one, whether a simulator runs or not.
    if (command.empty() ||
        std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) {
        if (!command.empty())
            std::fprintf(stderr, "mixer-sim-ctl: unknown command: %s\n", command.c_str());
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    if (root.empty())
        root = Tavo::Platform::PlatformRoot();
    std::string reply;
    if (!MixerSim::SendCommand(MixerSim::ControlSocketPath(root), command, reply)) {
        std::fprintf(stderr, "mixer-sim-ctl: %s\n", reply.c_str());
        return 1;
    }
    std::printf("%s\n", reply.c_str());
    return reply.rfind("error", 0) == 0 ? 1 : 0;
}
