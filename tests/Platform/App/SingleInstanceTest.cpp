#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "Platform/App/Folders.h"
#include "Platform/App/SingleInstance.h"
#include "tests/Common/CleanEnvironment.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform::App;

namespace {

std::string HelperPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tavo_app_second_copy").string();
}

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    // The runtime folder the test set.
    std::vector<std::string> env = CleanEnvironment({PassOn("TAVO_RUNTIME_DIR")});
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), CStrings(env).data()) != 0)
        return -1;
    return pid;
}

int ExitCode(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Connects to the serving copy and writes raw bytes; returns the reply
// byte, or -1 when the connection closed without one.
int RawExchange(const std::string& socketPath, const std::string& bytes, bool halfClose)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -2;
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    if (halfClose)
        shutdown(fd, SHUT_WR);
    uint8_t reply = 0;
    const ssize_t n = recv(fd, &reply, 1, 0);
    close(fd);
    return n == 1 ? reply : -1;
}

std::string Header(uint32_t code, uint32_t length)
{
    std::string h(8, '\0');
    for (int i = 0; i < 4; ++i) {
        h[i] = char(code >> (8 * i));
        h[4 + i] = char(length >> (8 * i));
    }
    return h;
}

// Runs `work` on another thread while the loop serves it, then ends the loop.
int RunLoopWhile(MessageLoop& loop, const std::function<void()>& work)
{
    std::thread worker([&] {
        work();
        loop.PostQuit(0);
    });
    const int code = loop.Run();
    worker.join();
    return code;
}

class SingleInstanceTest : public ::testing::Test
{
protected:
    TestFolder mFolder;
    ScopedEnv mRuntime{"TAVO_RUNTIME_DIR", mFolder / "run"};
};

}  // namespace

TEST_F(SingleInstanceTest, OnlyOneCopyHoldsTheLockAndItLivesInAPrivateFolder)
{
    SingleInstance first("Updater");
    SingleInstance second("Updater");
    SingleInstance other("Other");
    EXPECT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(other.Acquire());
    EXPECT_EQ(first.LockPath(), mFolder / "run/UpdaterPrevent.lock");
    struct stat st
    {
    };
    ASSERT_EQ(stat((mFolder / "run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // The socket exists with the lock: a later copy's text waits for the
    // first copy to serve, and is not taken before it does.
    EXPECT_TRUE(std::filesystem::exists(first.SocketPath()));
    EXPECT_EQ(second.HandOver("x", 100), HandOverResult::Failed);
}

TEST_F(SingleInstanceTest, RuntimeFolderOfAnotherModeIsRefused)
{
    ASSERT_EQ(mkdir((mFolder / "open").c_str(), 0777), 0);
    chmod((mFolder / "open").c_str(), 0777);
    ScopedEnv open("TAVO_RUNTIME_DIR", mFolder / "open");
    EXPECT_EQ(UserRuntimeFolder(), "");
    // Named, and the guard says it guards nothing.
    SingleInstance instance("Updater");
    EXPECT_FALSE(instance.Guarded());
    EXPECT_EQ(instance.Trouble(),
              std::vector<std::string>({mFolder / "open" + ": is open to other users (mode 777)"}));
}

// In the usual folder, and in one whose socket path is longer than a
// socket address holds: the socket keeps its name and place either way.
TEST_F(SingleInstanceTest, ASecondProcessHandsItsCommandLineOverWhole)
{
    const std::string longFolder = mFolder / std::string(119 - mFolder.Path().size(), 'r');
    ASSERT_EQ(longFolder.size(), 120u);
    for (const std::string& folder : {mFolder / "run", longFolder}) {
        SCOPED_TRACE(folder);
        ScopedEnv runtime("TAVO_RUNTIME_DIR", folder);
        SingleInstance first("Updater");
        ASSERT_TRUE(first.Acquire());
        EXPECT_EQ(first.SocketTrouble(), "");
        EXPECT_TRUE(std::filesystem::is_socket(folder + "/UpdaterPrevent.sock"));
        MessageLoop loop;
        std::vector<std::string> received;
        ASSERT_TRUE(first.StartServing(loop, [&](const std::string& text) {
            received.push_back(text);
            return received.size() == 1;  // takes the first, refuses the second
        }));
        const std::string line = "updater \xC3\xA9t\xC3\xA9 -DEBUG_CONSOLE:9000 \"C:\\fw\\image.syx\"";
        std::vector<int> codes;
        // The children connect while this thread runs the loop.
        EXPECT_EQ(RunLoopWhile(loop,
                               [&] {
                                   for (int i = 0; i < 2; ++i) {
                                       const pid_t pid = Spawn({HelperPath(), "Updater", line});
                                       const int code = pid > 0 ? ExitCode(pid) : -1;
                                       loop.Post([&, code] { codes.push_back(code); });
                                   }
                               }),
                  0);
        EXPECT_EQ(received, std::vector<std::string>({line, line}));
        EXPECT_EQ(codes,
                  std::vector<int>({10 + int(HandOverResult::Taken), 10 + int(HandOverResult::Refused)}));
        first.StopServing();
        EXPECT_FALSE(std::filesystem::exists(folder + "/UpdaterPrevent.sock"));
    }
}

TEST_F(SingleInstanceTest, OversizedTextIsNotSent)
{
    SingleInstance first("Updater");
    ASSERT_TRUE(first.Acquire());
    MessageLoop loop;
    int calls = 0;
    ASSERT_TRUE(first.StartServing(loop, [&](const std::string&) { return ++calls > 0; }));
    // The cap counts the terminating zero: one byte less passes.
    SingleInstance second("Updater");
    std::vector<HandOverResult> results;
    RunLoopWhile(loop, [&] {
        for (uint32_t size : {ISingleInstance::kMaxMessage, ISingleInstance::kMaxMessage - 1})
            results.push_back(second.HandOver(std::string(size, 'a')));
    });
    EXPECT_EQ(results, (std::vector<HandOverResult>{HandOverResult::TooLarge, HandOverResult::Taken}));
    EXPECT_EQ(calls, 1);
    first.StopServing();
}

TEST_F(SingleInstanceTest, MalformedMessagesAreDroppedWithoutReachingTheReceiver)
{
    SingleInstance first("Updater");
    ASSERT_TRUE(first.Acquire());
    MessageLoop loop;
    std::vector<std::string> received;
    ASSERT_TRUE(first.StartServing(loop, [&](const std::string& text) {
        received.push_back(text);
        return true;
    }));
    const std::string path = first.SocketPath();
    std::vector<int> replies;
    RunLoopWhile(loop, [&] {
        const uint32_t code = ISingleInstance::kCopyDataCode;
        // Announces more than the cap: refused before anything else is read.
        replies.push_back(RawExchange(path, Header(code, 1u << 30), false));
        // Wrong code.
        replies.push_back(RawExchange(path, Header(1124, 3) + std::string("ab\0", 3), false));
        // No terminating zero.
        replies.push_back(RawExchange(path, Header(code, 3) + "abc", false));
        // Shorter than announced, then the sender gives up.
        replies.push_back(RawExchange(path, Header(code, 100) + "abc", true));
        // Half a header.
        replies.push_back(RawExchange(path, Header(code, 4).substr(0, 5), true));
        // Bytes after the announced length are never read as part of it;
        // an embedded zero ends the text.
        replies.push_back(RawExchange(path, Header(code, 6) + std::string("ok\0zz\0trailing", 14), false));
    });
    EXPECT_EQ(replies, std::vector<int>({0, -1, 0, -1, -1, 1}));
    EXPECT_EQ(received, std::vector<std::string>({"ok"}));
    first.StopServing();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(SingleInstanceTest, SilentSendersCannotHoldEverySlotForEver)
{
    SingleInstance first("Updater");
    ASSERT_TRUE(first.Acquire());
    MessageLoop loop;
    int calls = 0;
    ASSERT_TRUE(first.StartServing(loop, [&](const std::string&) { return ++calls > 0; }));
    SingleInstance later("Updater");
    HandOverResult result{};
    std::vector<int> silent;
    RunLoopWhile(loop, [&] {
        for (int i = 0; i < 4; ++i) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, first.SocketPath().c_str(), sizeof addr.sun_path - 1);
            EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            silent.push_back(fd);
        }
        // Accepted in order, so the four silent ones hold every slot: the
        // later copy is turned away until they are dropped as stale, and
        // gets through on trying again.
        result = later.HandOver("x");
        for (int fd : silent)
            close(fd);
    });
    EXPECT_EQ(result, HandOverResult::Taken);
    EXPECT_EQ(calls, 1);
    first.StopServing();
}

TEST_F(SingleInstanceTest, OnlyTheLockHolderServesAndAStaleSocketIsReplaced)
{
    MessageLoop loop;
    SingleInstance second("Updater");
    SingleInstance first("Updater");
    // A socket file left by a copy that crashed.
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, first.SocketPath().c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(stale);
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.StartServing(loop, [](const std::string&) { return true; }));
    EXPECT_TRUE(first.StartServing(loop, [](const std::string&) { return true; }));
    HandOverResult result{};
    RunLoopWhile(loop, [&] { result = second.HandOver("x"); });
    EXPECT_EQ(result, HandOverResult::Taken);
    first.StopServing();
}

// A first copy that ends without serving (a run without a window) leaves the
// waiting copy its lock: that copy starts as the first one.
TEST_F(SingleInstanceTest, ACopyWaitingOnAFirstCopyThatEndsTakesItsPlace)
{
    auto first = std::make_unique<SingleInstance>("Updater");
    ASSERT_TRUE(first->Acquire());
    SingleInstance later("Updater");
    ASSERT_FALSE(later.Acquire());
    HandOverResult result{};
    std::thread waiting([&] { result = later.HandOver("x"); });
    // Ends once the text waits in its queue: the queued connection is a
    // second socket of that name.
    const std::string path = first->SocketPath();
    while (first) {
        int sockets = 0;
        std::ifstream table("/proc/net/unix");
        for (std::string line; std::getline(table, line);)
            sockets += line.find(path) != std::string::npos;
        if (sockets > 1)
            first.reset();
        else
            std::this_thread::yield();
    }
    waiting.join();
    EXPECT_EQ(result, HandOverResult::NoFirstCopy);
    EXPECT_TRUE(later.Acquire());
}

// Ended by a signal, a copy takes its socket along, but not the one a later
// first copy made after this one gave its lock up.
TEST_F(SingleInstanceTest, ASignalTakesOnlyThisCopysOwnSocketAlong)
{
    const std::string path = SingleInstance("Updater").SocketPath();
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "released" : "held");
        const std::string ready = mFolder / (released ? "ready-released" : "ready-held");
        std::vector<std::string> args = {HelperPath(), "-signal", "Updater", ready};
        if (released)
            args.push_back("-release");
        const pid_t pid = Spawn(args);
        ASSERT_GT(pid, 0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!std::filesystem::exists(ready) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_EQ(std::filesystem::exists(path), released);
        std::filesystem::remove(path);
    }
}
