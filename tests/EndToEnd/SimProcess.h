#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A private platform root with a mixer-sim process serving it.
class SimProcess
{
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts mixer-sim with `args` (plus --root, --log and --received) and
    // waits until its control socket answers. False when it exited first.
    bool Start(const std::vector<std::string>& args);
    // Sends a control command; the reply, or "unreachable".
    std::string Command(const std::string& command);
    // Polls "status" until it contains `text` (at most `ms`).
    bool WaitStatus(const std::string& text, int ms = 10000);
    // "quit" and the exit status; -1 when it did not end in time.
    int Quit();

    const std::string& Root() const { return mRoot; }
    std::vector<std::string> LogLines() const;
    // The log without the poll thread's queries and the handle lines.
    std::vector<std::string> Requests() const;
    std::vector<uint8_t> Received() const;

    // bin/ of the test: the programs live beside it.
    static std::string BinFolder();
    // Runs a program to its end; its exit status (-1 on a signal).
    static int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                   std::string* output = nullptr);

private:
    std::string mRoot;
    pid_t mPid = -1;
};
