#include "SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/Common/CleanEnvironment.h"
#include "tools/mixer-sim/ControlSocket.h"
#include "tools/mixer-sim/SimOptions.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Starts argv[0]; the child gets `deathSignal` when this process dies, so a
// crashed or timed-out test leaves no simulator or program behind. Its
// output goes to `outFd` unless that is negative. It writes no core file:
// one would land outside the test's folder.
pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, int outFd, int deathSignal)
{
    auto argp = CStrings(argv);
    auto envp = CStrings(env);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Only async-signal-safe calls from here on.
    prctl(PR_SET_PDEATHSIG, deathSignal);
    if (getppid() != parent)
        _exit(127);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (outFd >= 0) {
        dup2(outFd, 1);
        dup2(outFd, 2);
    }
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
}

// The exit status (128 + the signal on one), or SimProcess::kTimedOut.
int WaitExit(pid_t pid, int ms, long* peakRssKib = nullptr)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        rusage usage{};
        const pid_t r = wait4(pid, &status, WNOHANG, &usage);
        if (r == pid) {
            if (peakRssKib)
                *peakRssKib = usage.ru_maxrss;
            return WIFEXITED(status)     ? WEXITSTATUS(status)
                   : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                         : -1;
        }
        if (r < 0 && errno != EINTR)
            return -1;
        if (Clock::now() > end)
            return SimProcess::kTimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Kill(pid_t pid)
{
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

SimProcess::SimProcess()
{
    // Inside the test's own folder, which its launcher removes however the
    // test ends.
    const char* folder = std::getenv(kTestFolderVariable);
    std::string templ = folder && *folder ? std::string(folder) + "/e-XXXXXX" : "/tmp/tavo-e2e-XXXXXX";
    if (mkdtemp(templ.data()))
        mRoot = templ;
}

SimProcess::~SimProcess()
{
    if (mPid > 0 && Stop(SIGTERM) == -1 && mPid > 0) {
        Kill(mPid);
        mPid = -1;
    }
    std::error_code ec;
    std::filesystem::remove_all(mRoot, ec);
}

std::string SimProcess::BinFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::vector<std::string> SimProcess::ProgramEnvironment() const
{
    return {"TAVO_PLATFORM_ROOT=" + mRoot,
            "TAVO_RUNTIME_DIR=" + mRoot,
            "TAVO_USER_APPDATA_DIR=" + mRoot + "/user",
            "TAVO_COMMON_APPDATA_DIR=" + mRoot + "/common",
            "TAVO_CONFIG_DIR=" + mRoot + "/config",
            "TAVO_DOCUMENTS_DIR=" + mRoot + "/documents",
            "HOME=" + mRoot,
            "XDG_CONFIG_HOME=" + mRoot + "/config",
            "XDG_DATA_HOME=" + mRoot + "/data"};
}

bool SimProcess::Start(const std::vector<std::string>& args)
{
    if (mRoot.empty() || mPid > 0)
        return false;
    std::vector<std::string> argv = {
        BinFolder() + "/mixer-sim", "--root", mRoot, "--log", mRoot + "/sim.log", "--received",
        mRoot + "/received.bin"};
    argv.insert(argv.end(), args.begin(), args.end());
    // SIGTERM lets it remove its keys and sockets on the way out.
    mPid = Spawn(argv, CleanEnvironment(), -1, SIGTERM);
    if (mPid < 0)
        return false;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < end) {
        std::string reply;
        if (MixerSim::SendCommand(MixerSim::ControlSocketPath(mRoot), "status", reply))
            return true;
        int status = 0;
        if (waitpid(mPid, &status, WNOHANG) == mPid) {
            mPid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string SimProcess::Command(const std::string& command)
{
    std::string reply;
    return MixerSim::SendCommand(MixerSim::ControlSocketPath(mRoot), command, reply) ? reply : "unreachable";
}

bool SimProcess::WaitStatus(const std::string& text, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (Command("status").find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return false;
}

int SimProcess::WaitForExit(int ms)
{
    const int code = WaitExit(mPid, ms);
    if (code == kTimedOut)
        return -1;
    mPid = -1;
    return code;
}

int SimProcess::Quit()
{
    if (mPid <= 0)
        return -1;
    Command("quit");
    return WaitForExit(30000);
}

int SimProcess::Stop(int signal)
{
    if (mPid <= 0)
        return -1;
    kill(mPid, signal);
    return WaitForExit(30000);
}

std::vector<SimProcess::LogLine> SimProcess::TimedLogLines() const
{
    std::vector<LogLine> lines;
    std::ifstream in(mRoot + "/sim.log");
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.find('\t');
        LogLine entry;
        entry.ms = tab == std::string::npos ? 0 : std::strtod(line.c_str(), nullptr);
        entry.text = tab == std::string::npos ? line : line.substr(tab + 1);
        lines.push_back(std::move(entry));
    }
    return lines;
}

std::vector<std::string> SimProcess::LogLines() const
{
    std::vector<std::string> lines;
    for (auto& line : TimedLogLines())
        lines.push_back(std::move(line.text));
    return lines;
}

std::vector<std::string> SimProcess::Requests() const
{
    std::vector<std::string> out;
    for (const auto& line : LogLines()) {
        if (line.rfind("driver ", 0) != 0 || line == "driver pending-mask" || line == "driver open" ||
            line == "driver close-handle")
            continue;
        out.push_back(line.substr(7));
    }
    return out;
}

std::vector<uint8_t> SimProcess::Received() const
{
    std::ifstream in(mRoot + "/received.bin", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int SimProcess::Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    std::string* output, int deadlineMs, long* peakRssKib,
                    const std::function<void(pid_t)>& meanwhile)
{
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = Spawn(argv, CleanEnvironment(env), pipeFds[1], SIGKILL);
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return -1;
    }

    std::thread beside;
    if (meanwhile)
        beside = std::thread(meanwhile, pid);
    const auto end = Clock::now() + std::chrono::milliseconds(deadlineMs);
    std::string text;
    bool timedOut = false;
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        const int r = poll(&p, 1, MsLeft(end));
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0)
            timedOut = true;
        if (r <= 0)
            break;
        char buffer[4096];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int code = timedOut ? kTimedOut : WaitExit(pid, MsLeft(end), peakRssKib);
    if (code == kTimedOut) {
        Kill(pid);
        text += "\n[killed after " + std::to_string(deadlineMs) + " ms]\n";
    }
    if (beside.joinable())
        beside.join();
    if (output)
        *output = text;
    return code;
}

std::vector<std::string> SimProcess::LastRequests(size_t n) const
{
    std::vector<std::string> all = Requests();
    if (all.size() > n)
        all.erase(all.begin(), all.end() - std::ptrdiff_t(n));
    return all;
}
