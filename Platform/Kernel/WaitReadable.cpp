#include "Platform/Kernel/WaitReadable.h"

#include <cerrno>
#include <poll.h>

namespace Tavo::Platform {

bool WaitReadable(int fd, int wakeFd)
{
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        return fds[1].revents == 0;
    }
}

}  // namespace Tavo::Platform
