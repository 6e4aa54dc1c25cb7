#include "tools/mixer-sim/SimOptions.h"

#include <charconv>

#include "Platform/Kernel/PlatformFolders.h"

namespace MixerSim {

namespace {

std::optional<uint32_t> ParseNumber(const std::string& text)
{
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || p != end)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<Version> ParseVersion(const std::string& text)
{
    Version version{};
    size_t start = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t dot = text.find('.', start);
        const bool last = i == 3;
        if (last != (dot == std::string::npos))
            return std::nullopt;
        auto number = ParseNumber(text.substr(start, last ? std::string::npos : dot - start));
        if (!number || *number > 127)
            return std::nullopt;
        version[i] = static_cast<uint8_t>(*number);
        start = dot + 1;
    }
    return version;
}

std::string FormatVersion(const Version& v)
{
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}

const char* Usage()
{
    return "usage: mixer-sim [options]\n"
           "  --root DIR                 simulated platform root (default: TAVO_PLATFORM_ROOT or the "
           "per-user default)\n"
           "  --mode normal|update|absent  state at start (default normal)\n"
           "  --version A.B.C.D          firmware version the device reports (default 0.0.3.6)\n"
           "  --after-update-version A.B.C.D  version after a complete update (default 0.0.3.7)\n"
           "  --received FILE            bytes received on port 0 while the update flag is on\n"
           "  --log FILE                 one line per MIDI message and driver request\n"
           "  --install-ms MS            install delay after a complete update (default 2000)\n"
           "faults:\n"
           "  --refuse-update-flag       refuse setting the driver's update flag\n"
           "  --refuse-open-port         refuse opening port 0\n"
           "  --refuse-chunk K           refuse the K-th message on port 0 (from 1)\n"
           "  --never-take               never take send records\n"
           "  --take-delay-ms MS         take each message MS after the previous one\n"
           "  --detach-at-chunk K        detach when the K-th message arrives\n"
           "  --reply-delay-ms MS        answer the identity request late\n"
           "  --reply-length N           answer with a reply of N bytes\n"
           "control: mixer-sim-ctl [--root DIR] attach|detach|update-mode|normal-mode|status|quit\n";
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error, bool& help)
{
    help = false;
    options.root.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](uint32_t& out) {
            std::string text;
            if (!value(text))
                return false;
            auto n = ParseNumber(text);
            if (!n) {
                error = arg + ": not a number: " + text;
                return false;
            }
            out = *n;
            return true;
        };
        auto version = [&](Version& out) {
            std::string text;
            if (!value(text))
                return false;
            auto v = ParseVersion(text);
            if (!v) {
                error = arg + ": expected A.B.C.D with parts 0 to 127: " + text;
                return false;
            }
            out = *v;
            return true;
        };
        Faults& f = options.faults;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        } else if (arg == "--root") {
            ok = value(options.root);
            if (ok && options.root.empty()) {
                error = "--root: empty folder";
                ok = false;
            }
        } else if (arg == "--mode") {
            std::string mode;
            ok = value(mode);
            if (!ok)
                ;
            else if (mode == "normal")
                options.mode = Mode::Normal;
            else if (mode == "update")
                options.mode = Mode::Update;
            else if (mode == "absent")
                options.mode = Mode::Absent;
            else {
                error = "--mode: expected normal, update or absent: " + mode;
                ok = false;
            }
        } else if (arg == "--version") {
            ok = version(options.version);
        } else if (arg == "--after-update-version") {
            ok = version(options.afterUpdateVersion);
        } else if (arg == "--received") {
            ok = value(options.receivedPath);
        } else if (arg == "--log") {
            ok = value(options.logPath);
        } else if (arg == "--install-ms") {
            ok = number(options.installMs);
        } else if (arg == "--refuse-update-flag") {
            f.refuseUpdateFlag = true;
        } else if (arg == "--refuse-open-port") {
            f.refuseOpenPort = true;
        } else if (arg == "--refuse-chunk" || arg == "--detach-at-chunk") {
            uint32_t& k = arg == "--refuse-chunk" ? f.refuseChunk : f.detachAtChunk;
            ok = number(k);
            if (ok && k == 0) {
                error = arg + ": chunks count from 1";
                ok = false;
            }
        } else if (arg == "--never-take") {
            f.neverTake = true;
        } else if (arg == "--take-delay-ms") {
            ok = number(f.takeDelayMs);
        } else if (arg == "--reply-delay-ms") {
            ok = number(f.replyDelayMs);
        } else if (arg == "--reply-length") {
            uint32_t n = 0;
            ok = number(n);
            if (ok && (n < 6 || n > 4096)) {
                error = "--reply-length: expected 6 to 4096";
                ok = false;
            }
            if (ok)
                f.replyLength = n;
        } else {
            error = "unknown argument: " + arg;
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (options.root.empty())
        options.root = Tavo::Platform::PlatformRoot();
    return true;
}

std::string ControlSocketPath(const std::string& root)
{
    return root + "/mixer-sim.sock";
}

}  // namespace MixerSim
