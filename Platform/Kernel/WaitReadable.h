#pragma once

namespace Tavo::Platform {

// Blocks until `fd` has something to read (or has hung up). False once
// `wakeFd` is signalled, which is how worker threads are told to stop, and
// on poll errors other than interruptions.
bool WaitReadable(int fd, int wakeFd);

}  // namespace Tavo::Platform
