#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace Tavo::Platform::App {

// Helper programs (the file chooser) that must not outlive the program: a
// chooser left behind shows a choice that goes nowhere. The kernel ends a
// child when the thread that started it ends, so the starting thread waits
// for it (WaitChildProcess or EndChildProcess); that covers a crash or
// SIGKILL. The orderly ways out (the caught signals, a lost display, exit)
// end them first through EndChildProcesses, and a crash kills them. Each
// child leads a process group of its own, and the group is ended: what a
// chooser starts goes with it (except when the program is killed outright,
// where the kernel ends the child alone).

// Starts program (a path) with args (its name first), standard input on
// /dev/null and standard output on outFd. Its process id, or -1 when it
// cannot be started.
pid_t StartChildProcess(const std::string& program, std::vector<std::string> args, int outFd);

// Waits until a child StartChildProcess started ends and reaps it: its wait
// status, or -1 when the way out reaped it meanwhile.
int WaitChildProcess(pid_t pid);

// Asks a child's group to end (SIGTERM), kills it when it has not ended
// after a moment, and reaps the child: its wait status, or -1 as for WaitChildProcess.
int EndChildProcess(pid_t pid);

// Ends every child still running as EndChildProcess does. For the ways out:
// async-signal-safe, so a signal handler may call it.
void EndChildProcesses();

}  // namespace Tavo::Platform::App
