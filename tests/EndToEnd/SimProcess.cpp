#include "SimProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tools/mixer-sim/ControlSocket.h"
#include "tools/mixer-sim/SimOptions.h"

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int WaitExit(pid_t pid, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() > end)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

SimProcess::SimProcess()
{
    char templ[] = "/tmp/tavo-e2e-XXXXXX";
    if (mkdtemp(templ))
        mRoot = templ;
}

SimProcess::~SimProcess()
{
    if (mPid > 0) {
        kill(mPid, SIGTERM);
        if (WaitExit(mPid, 5000) == -2) {
            kill(mPid, SIGKILL);
            WaitExit(mPid, 5000);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(mRoot, ec);
}

std::string SimProcess::BinFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

bool SimProcess::Start(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {BinFolder() + "/mixer-sim", "--root", mRoot, "--log", mRoot + "/sim.log",
                                     "--received", mRoot + "/received.bin"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = Pointers(argv);
    if (posix_spawn(&mPid, argv[0].c_str(), nullptr, nullptr, pointers.data(), environ) != 0) {
        mPid = -1;
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
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
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (Command("status").find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

int SimProcess::Quit()
{
    if (mPid <= 0)
        return -1;
    Command("quit");
    int code = WaitExit(mPid, 10000);
    if (code != -2)
        mPid = -1;
    return code;
}

std::vector<std::string> SimProcess::LogLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(mRoot + "/sim.log");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> SimProcess::Requests() const
{
    std::vector<std::string> out;
    for (const auto& line : LogLines()) {
        if (line.rfind("driver ", 0) != 0 || line == "driver pending-mask" || line == "driver open"
            || line == "driver close-handle")
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

int SimProcess::Run(const std::vector<std::string>& args, const std::vector<std::string>& env, std::string* output)
{
    std::vector<std::string> argv = args;
    // Given variables replace inherited ones of the same name.
    std::vector<std::string> envp = env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& given : env)
            replaced = replaced || given.rfind(name, 0) == 0;
        if (!replaced)
            envp.push_back(entry);
    }
    auto argp = Pointers(argv);
    auto envptr = Pointers(envp);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output && pipe(pipeFds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envptr.data());
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0)
        close(pipeFds[1]);
    if (rc != 0) {
        if (pipeFds[0] >= 0)
            close(pipeFds[0]);
        return -1;
    }
    if (output) {
        output->clear();
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
            output->append(buffer, static_cast<size_t>(n));
        close(pipeFds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
