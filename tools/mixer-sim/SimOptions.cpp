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
           "  --received FILE            the image the device holds: bytes received on port 0 since the\n"
           "                             update flag last went on\n"
           "  --log FILE                 one line per MIDI message, its take and driver request, after\n"
           "                             the milliseconds since start and a tab\n"
           "  --install-ms MS            install delay after a complete update (default 2000)\n"
           "  --devices N                mixers of this model plugged in, 1 to 8 (default 1); the others\n"
           "                             publish the same port names and only answer the identity\n"
           "                             request\n"
           "faults:\n"
           "  --refuse-update-flag       refuse setting the driver's update flag\n"
           "  --refuse-open-port         refuse opening port 0\n"
           "  --refuse-chunk K           refuse the K-th message on port 0 (from 1)\n"
           "  --never-take               never take send records\n"
           "  --take-delay-ms MS         take each message (driver channel and MIDI port) MS after the\n"
           "                             previous one\n"
           "  --detach-at-chunk K        detach when the K-th message arrives\n"
           "  --reenumerate-after-flag   the first time the update flag goes on, reset and come back at\n"
           "                             once (the handle that set it goes stale, the flag goes off)\n"
           "  --reply-delay-ms MS        answer the identity request late\n"
           "  --reply-length N           answer with a reply of N bytes\n"
           "control: mixer-sim-ctl [--root DIR] attach|detach|update-mode|normal-mode|status|quit\n";
}

namespace {

// Walks the arguments and reads the values that follow a switch, saying in
// `error` what was wrong.
class ArgReader
{
public:
    ArgReader(const std::vector<std::string>& args, std::string& error) : mArgs(args), mError(error) {}

    bool Next() { return ++mAt < mArgs.size(); }
    const std::string& Arg() const { return mArgs[mAt]; }

    bool Fail(const std::string& why)
    {
        mError = why;
        return false;
    }

    bool Value(std::string& out)
    {
        if (mAt + 1 >= mArgs.size())
            return Fail(Arg() + " needs a value");
        out = mArgs[++mAt];
        return true;
    }

    bool Number(uint32_t& out)
    {
        std::string text;
        if (!Value(text))
            return false;
        auto n = ParseNumber(text);
        if (!n)
            return Fail(mArgs[mAt - 1] + ": not a number: " + text);
        out = *n;
        return true;
    }

    bool ReadVersion(Version& out)
    {
        std::string text;
        if (!Value(text))
            return false;
        auto v = ParseVersion(text);
        if (!v)
            return Fail(mArgs[mAt - 1] + ": expected A.B.C.D with parts 0 to 127: " + text);
        out = *v;
        return true;
    }

private:
    const std::vector<std::string>& mArgs;
    std::string& mError;
    size_t mAt = size_t(-1);
};

bool ReadMode(ArgReader& r, Mode& mode)
{
    static const std::pair<const char*, Mode> kModes[] = {
        {"normal", Mode::Normal}, {"update", Mode::Update}, {"absent", Mode::Absent}};
    std::string text;
    if (!r.Value(text))
        return false;
    for (const auto& [name, value] : kModes) {
        if (text == name) {
            mode = value;
            return true;
        }
    }
    return r.Fail("--mode: expected normal, update or absent: " + text);
}

// One switch other than --help; false with `error` set when it is wrong.
bool ReadSwitch(ArgReader& r, Options& options)
{
    static const std::pair<const char*, bool Faults::*> kFlags[] = {
        {"--refuse-update-flag", &Faults::refuseUpdateFlag},
        {"--refuse-open-port", &Faults::refuseOpenPort},
        {"--never-take", &Faults::neverTake},
        {"--reenumerate-after-flag", &Faults::reenumerateAfterFlag}};
    static const std::pair<const char*, uint32_t Faults::*> kNumbers[] = {
        {"--take-delay-ms", &Faults::takeDelayMs}, {"--reply-delay-ms", &Faults::replyDelayMs}};
    static const std::pair<const char*, uint32_t Faults::*> kChunks[] = {
        {"--refuse-chunk", &Faults::refuseChunk}, {"--detach-at-chunk", &Faults::detachAtChunk}};

    const std::string& arg = r.Arg();
    Faults& f = options.faults;
    for (const auto& [name, member] : kFlags) {
        if (arg == name) {
            f.*member = true;
            return true;
        }
    }
    for (const auto& [name, member] : kNumbers) {
        if (arg == name)
            return r.Number(f.*member);
    }
    for (const auto& [name, member] : kChunks) {
        if (arg == name) {
            if (!r.Number(f.*member))
                return false;
            return f.*member != 0 || r.Fail(std::string(name) + ": chunks count from 1");
        }
    }
    if (arg == "--root") {
        if (!r.Value(options.root))
            return false;
        return !options.root.empty() || r.Fail("--root: empty folder");
    }
    if (arg == "--mode")
        return ReadMode(r, options.mode);
    if (arg == "--version")
        return r.ReadVersion(options.version);
    if (arg == "--after-update-version")
        return r.ReadVersion(options.afterUpdateVersion);
    if (arg == "--received")
        return r.Value(options.receivedPath);
    if (arg == "--log")
        return r.Value(options.logPath);
    if (arg == "--install-ms")
        return r.Number(options.installMs);
    if (arg == "--devices") {
        if (!r.Number(options.devices))
            return false;
        return (options.devices >= 1 && options.devices <= 8) || r.Fail("--devices: expected 1 to 8");
    }
    if (arg == "--reply-length") {
        uint32_t n = 0;
        if (!r.Number(n))
            return false;
        if (n < 6 || n > 4096)
            return r.Fail("--reply-length: expected 6 to 4096");
        f.replyLength = n;
        return true;
    }
    return r.Fail("unknown argument: " + arg);
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error, bool& help)
{
    help = false;
    options.root.clear();
    ArgReader reader(args, error);
    while (reader.Next()) {
        if (reader.Arg() == "--help" || reader.Arg() == "-h") {
            help = true;
            return true;
        }
        if (!ReadSwitch(reader, options))
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
