// A second copy of a program: takes the single-instance lock of the name in
// argv[1] and hands argv[2] over. Exit codes: 10 + the hand-over result,
// 2 when this copy turned out to be the first.
//
// With "-signal NAME READY [-release]" a first copy instead: takes the lock
// (with -release gives it up again and binds a socket where its own was, as
// a later first copy would), makes the file READY and waits for the signal
// that ends it, caught as the program catches it.
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "Platform/App/InterruptSignals.h"
#include "Platform/App/SingleInstance.h"

using namespace Tavo::Platform::App;

namespace {

int WaitForTheSignal(const char* name, const char* ready, bool release)
{
    InterruptCatcher catcher([](int) { InterruptCatcher::EndByCaughtSignal(); });
    SingleInstance copy(name);
    if (!copy.Acquire())
        return 3;
    if (release) {
        copy.Release();
        const int later = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, copy.SocketPath().c_str(), sizeof addr.sun_path - 1);
        if (bind(later, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            return 4;
    }
    const int fd = open(ready, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return 5;
    close(fd);
    for (;;)
        pause();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "-signal") == 0)
        return WaitForTheSignal(argv[2], argv[3], argc > 4 && std::strcmp(argv[4], "-release") == 0);
    if (argc < 3)
        return 1;
    SingleInstance instance(argv[1]);
    if (instance.Acquire())
        return 2;
    return 10 + int(instance.HandOver(argv[2]));
}
