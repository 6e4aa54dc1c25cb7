#pragma once

#include <string>

namespace MixerSim {

// Listening Unix stream socket for one-line commands; -1 with `error` set on
// failure. A stale socket file is replaced.
int ListenControl(const std::string& path, std::string& error);

// Reads one command line from an accepted connection (at most 256 bytes,
// 2 s); empty on failure.
std::string ReadCommand(int fd);

// Writes the reply and closes the connection.
void Answer(int fd, const std::string& reply);

// Sends `command` to the simulator and returns its reply; false with
// `reply` holding the reason when it cannot be reached.
bool SendCommand(const std::string& path, const std::string& command, std::string& reply);

}  // namespace MixerSim
