#include "Platform/App/FileChooser.h"

#include "Platform/App/ChildProcess.h"
#include "Platform/Kernel/TextCoding.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Tavo::Platform::App {

namespace {

std::vector<std::string> SplitPatterns(const std::string& patterns)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(';', start);
        if (end == std::string::npos)
            end = patterns.size();
        std::string one = patterns.substr(start, end - start);
        while (!one.empty() && one.front() == ' ')
            one.erase(0, 1);
        while (!one.empty() && one.back() == ' ')
            one.pop_back();
        if (!one.empty())
            out.push_back(one);
        start = end + 1;
    }
    return out;
}

std::string JoinPatterns(const std::vector<std::string>& patterns)
{
    std::string out;
    for (const auto& p : patterns)
        out += (out.empty() ? "" : " ") + p;
    return out;
}

}  // namespace

std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos)
        return {};
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty())
            continue;  // an empty entry would mean the working folder: never run from there
        std::string candidate = folder + "/" + name;
        struct stat st
        {
        };
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

FileChooserKind FindFileChooser()
{
    if (!FindOnPath("zenity").empty())
        return FileChooserKind::Zenity;
    if (!FindOnPath("kdialog").empty())
        return FileChooserKind::KDialog;
    return FileChooserKind::None;
}

std::vector<std::string> FileChooserArguments(FileChooserKind kind, const FileChooserRequest& request,
                                              const ChooserOptions& options)
{
    std::vector<std::string> args;
    // Both read the window id as a decimal number.
    const std::string parent = std::to_string(request.parent);
    const bool attach = request.parent != 0 && options.attach;
    std::string folder = request.folder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    if (kind == FileChooserKind::Zenity) {
        args = {"zenity", "--file-selection"};
        if (!request.title.empty())
            args.push_back("--title=" + request.title);
        if (request.multiple) {
            args.push_back("--multiple");
            args.push_back("--separator=\n");
        }
        if (!folder.empty())
            args.push_back("--filename=" + folder);
        if (attach)
            args.push_back("--attach=" + parent);
        if (attach && options.modal)
            args.push_back("--modal");
        for (const auto& f : request.filters) {
            auto patterns = SplitPatterns(f.patterns);
            if (!patterns.empty())
                args.push_back("--file-filter=" + f.description + " | " + JoinPatterns(patterns));
        }
    } else if (kind == FileChooserKind::KDialog) {
        args = {"kdialog"};
        if (attach) {
            args.push_back("--attach");
            args.push_back(parent);
        }
        if (!request.title.empty()) {
            args.push_back("--title");
            args.push_back(request.title);
        }
        args.push_back("--getopenfilename");
        args.push_back(folder.empty() ? "." : folder);
        std::string filter;
        for (const auto& f : request.filters) {
            auto patterns = SplitPatterns(f.patterns);
            if (patterns.empty())
                continue;
            // The description may not hold the separator kdialog reads.
            std::string description = f.description;
            for (char& c : description)
                if (c == '|' || c == '\n')
                    c = ' ';
            filter += (filter.empty() ? "" : "\n") + JoinPatterns(patterns) + "|" + description;
        }
        if (!filter.empty())
            args.push_back(filter);
        if (request.multiple) {
            args.push_back("--multiple");
            args.push_back("--separate-output");
        }
    }
    return args;
}

std::vector<std::string> ChooserHelpArguments(FileChooserKind kind)
{
    if (kind == FileChooserKind::Zenity)
        return {"zenity", "--help-all"};
    if (kind == FileChooserKind::KDialog)
        return {"kdialog", "--help"};
    return {};
}

ChooserOptions ReadChooserHelp(const std::string& help)
{
    // The option's name as a whole word: "--attach=WINDOW", "--attach <winid>".
    const auto lists = [&help](const std::string& option) {
        for (size_t at = help.find(option); at != std::string::npos; at = help.find(option, at + 1)) {
            const size_t end = at + option.size();
            const bool starts =
                at == 0 || help[at - 1] == ' ' || help[at - 1] == '\t' || help[at - 1] == '\n';
            const bool ends = end == help.size() || help[end] == '=' || help[end] == ' ' ||
                              help[end] == '\t' || help[end] == '\n';
            if (starts && ends)
                return true;
        }
        return false;
    };
    return ChooserOptions{lists("--attach"), lists("--modal")};
}

FileChooserResult ParseChooserOutput(const std::string& output, int exitStatus, bool multiple)
{
    FileChooserResult result;
    if (exitStatus != 0)
        return result;
    // The chooser ends its answer with one line feed.
    std::string text = output;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (text.empty())
        return result;
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // Paths come back whole: a line that does not start one, or a second
    // line for a single choice, is the rest of a name with a line break in
    // it. A carriage return at the end may be the name's or a line end's.
    bool exact = multiple || lines.size() == 1;
    for (const auto& line : lines)
        exact = exact && !line.empty() && line.front() == '/' && line.back() != '\r';
    result.chosen = true;
    // Bytes that are not UTF-8 would be read back as U+FFFD, which names
    // another file.
    bool utf8 = true;
    for (const auto& line : lines)
        utf8 = utf8 && IsExactUtf8(line);
    if (!exact)
        result.error = "The chosen file's name holds a line break or ends in a carriage return, which the "
                       "file chooser cannot pass on exactly. Rename the file and choose it again.";
    else if (!utf8)
        result.error = "The chosen file's name is not valid UTF-8 text, so it cannot be opened under exactly "
                       "that name. Rename the file and choose it again.";
    else
        result.paths = std::move(lines);
    return result;
}

namespace {

struct ChildRun
{
    // False when a quit reached the loop first: the child was stopped and
    // the quit passed on to the outer run.
    bool ended = false;
    std::string output;
    int status = -1;  // the exit status; -1 when it did not exit
};

// Runs program with args (its name first), its input empty, and reads its
// standard output inside loop until it closes. Nothing when it cannot start.
// The child ends with this call on every way out of it: a quit, an
// exception, the program's end.
std::optional<ChildRun> RunChild(IMessageLoop& loop, const std::string& program,
                                 std::vector<std::string> args)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t pid = StartChildProcess(program, std::move(args), fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return std::nullopt;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);

    // However this call is left, an exception included, nothing of it stays
    // in the loop and the child is stopped.
    struct Cleanup
    {
        IMessageLoop& loop;
        int fd;
        pid_t pid;
        bool watched = true;
        ~Cleanup()
        {
            if (watched)
                loop.RemoveFd(fd);
            if (fd >= 0)
                close(fd);
            if (pid > 0)
                EndChildProcess(pid);
        }
    } cleanup{loop, fds[0], pid};

    ChildRun run;
    loop.AddFd(fds[0], POLLIN, [&](int fd, short) {
        char buffer[4096];
        for (;;) {
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                run.output.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || errno != EAGAIN) {
                run.ended = true;
                loop.RemoveFd(fd);
                cleanup.watched = false;
                loop.PostQuit(0);
            }
            return;
        }
    });
    const int32_t code = loop.Run();
    if (cleanup.watched)
        loop.RemoveFd(fds[0]);
    cleanup.watched = false;
    close(fds[0]);
    cleanup.fd = -1;
    // Output closed, the child ends by itself; else the program is ending:
    // the child is stopped and the outer run ends too.
    const int status = run.ended ? WaitChildProcess(pid) : EndChildProcess(pid);
    cleanup.pid = -1;
    if (!run.ended)
        loop.PostQuit(code);
    run.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

std::optional<FileChooserResult> RunFileChooser(IMessageLoop& loop, const FileChooserRequest& request)
{
    FileChooserKind kind = FindFileChooser();
    if (kind == FileChooserKind::None)
        return std::nullopt;
    const std::string program = FindOnPath(kind == FileChooserKind::Zenity ? "zenity" : "kdialog");
    ChooserOptions options;
    if (request.parent != 0) {
        // Versions differ in what they offer: an option the chooser does not
        // know would fail the whole choice.
        const std::optional<ChildRun> help = RunChild(loop, program, ChooserHelpArguments(kind));
        if (help && !help->ended)
            return FileChooserResult{};
        if (help && help->status == 0)
            options = ReadChooserHelp(help->output);
    }
    const std::optional<ChildRun> run = RunChild(loop, program, FileChooserArguments(kind, request, options));
    if (!run || !run->ended)
        return FileChooserResult{};
    return ParseChooserOutput(run->output, run->status, request.multiple);
}

}  // namespace Tavo::Platform::App
