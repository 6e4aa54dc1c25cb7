#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Platform/Kernel/TextCoding.h"
#include "Platform/Kernel/WaitReadable.h"
#include "Platform/Kernel/PlatformFolders.h"
#include "Platform/Registry/Registry.h"
#include "Platform/Registry/RegistryNames.h"

// Layout: a key is a folder named by its name; a value is a file named "@"
// followed by its name (the unnamed value is "@"); names are UTF-8 with "%",
// "/" and a leading "." written as %XX. A value file holds one line with the
// type ("REG_SZ", "REG_BINARY", "REG_DWORD" or a decimal number), then the
// raw bytes. Entries starting with "." are scratch files of writers.
namespace Tavo::Platform::Registry {
namespace {

using Tavo::Platform::HexDigitValue;

constexpr size_t kMaxFileName = 255;

std::string Escape(std::u16string_view name)
{
    static const char* hex = "0123456789ABCDEF";
    std::string utf8 = Names::ToUtf8(name);
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '%' || c == '/' || c == 0 || (i == 0 && c == '.')) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::u16string Unescape(std::string_view file)
{
    std::string utf8;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '%' && i + 2 < file.size() && HexDigitValue(file[i + 1]) >= 0 &&
            HexDigitValue(file[i + 2]) >= 0) {
            utf8 += static_cast<char>(HexDigitValue(file[i + 1]) * 16 + HexDigitValue(file[i + 2]));
            i += 2;
        } else {
            utf8 += file[i];
        }
    }
    return Names::FromStoredName(utf8);
}

bool IsDirectory(const std::string& dir, const dirent* entry)
{
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st
    {
    };
    return lstat((dir + "/" + entry->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& dir, const dirent* entry)
{
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st
    {
    };
    return lstat((dir + "/" + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Entry
{
    std::string file;     // name on disk
    std::u16string name;  // registry name
};

// Subkey folders (values == false) or value files of `dir`; false when the
// folder cannot be read.
bool ListEntries(const std::string& dir, bool values, std::vector<Entry>& out)
{
    out.clear();
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return false;
    while (const dirent* entry = readdir(d)) {
        std::string_view file = entry->d_name;
        if (file.empty() || file[0] == '.')
            continue;
        if (values) {
            if (file[0] == '@' && IsRegularFile(dir, entry))
                out.push_back({std::string(file), Unescape(file.substr(1))});
        } else if (IsDirectory(dir, entry)) {
            out.push_back({std::string(file), Unescape(file)});
        }
    }
    closedir(d);
    return true;
}

// Name on disk of the entry matching `name` case-insensitively.
Status FindEntry(const std::string& dir, std::u16string_view name, bool values, std::string& file)
{
    std::vector<Entry> entries;
    if (!ListEntries(dir, values, entries))
        return Status::NotFound;
    std::u16string folded = Names::Fold(name);
    for (const auto& e : entries) {
        if (Names::Fold(e.name) == folded) {
            file = e.file;
            return Status::Ok;
        }
    }
    return Status::NotFound;
}

Status Resolve(std::string dir, std::u16string_view path, std::string& real)
{
    std::vector<std::u16string> parts;
    if (!Names::SplitPath(path, parts))
        return Status::InvalidName;
    struct stat st
    {
    };
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Status::NotFound;
    for (const auto& part : parts) {
        std::string file;
        Status s = FindEntry(dir, part, false, file);
        if (s != Status::Ok)
            return s;
        dir += "/" + file;
    }
    real = dir;
    return Status::Ok;
}

std::string TypeLine(uint32_t type)
{
    switch (type) {
    case kRegSz:
        return "REG_SZ";
    case kRegBinary:
        return "REG_BINARY";
    case kRegDword:
        return "REG_DWORD";
    default:
        return std::to_string(type);
    }
}

bool ParseType(std::string_view line, uint32_t& type)
{
    if (line == "REG_SZ")
        type = kRegSz;
    else if (line == "REG_BINARY")
        type = kRegBinary;
    else if (line == "REG_DWORD")
        type = kRegDword;
    else if (!line.empty() && line.size() <= 10 &&
             std::all_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; }))
        type = static_cast<uint32_t>(std::stoul(std::string(line)));
    else
        return false;
    return true;
}

Status ReadValueFile(const std::string& path, Value& out, size_t maxBytes)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Status::NotFound : Status::IoError;
    std::string content;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<size_t>(n));
    close(fd);
    if (n < 0)
        return Status::IoError;
    size_t eol = content.find('\n');
    Value v;
    if (eol == std::string::npos || !ParseType(std::string_view(content).substr(0, eol), v.type))
        return Status::IoError;
    if (content.size() - eol - 1 > maxBytes)
        return Status::MoreData;
    v.data.assign(content.begin() + static_cast<std::ptrdiff_t>(eol) + 1, content.end());
    out = std::move(v);
    return Status::Ok;
}

std::string ScratchName(const std::string& dir, const char* kind)
{
    static std::atomic<uint64_t> counter{0};
    return dir + "/." + kind + "-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

bool RemoveTree(const std::string& path)
{
    DIR* d = opendir(path.c_str());
    if (d == nullptr)
        return unlink(path.c_str()) == 0;
    bool ok = true;
    while (const dirent* entry = readdir(d)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string child = path + "/" + entry->d_name;
        if (IsDirectory(path, entry))
            ok = RemoveTree(child) && ok;
        else
            ok = unlink(child.c_str()) == 0 && ok;
    }
    closedir(d);
    return rmdir(path.c_str()) == 0 && ok;
}

// Turns inotify events on watched key folders into one-shot event signals.
class Notifier
{
public:
    ~Notifier()
    {
        if (mThread.joinable()) {
            uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(mWakeFd, &one, sizeof one);
            mThread.join();
        }
        if (mInotifyFd >= 0)
            close(mInotifyFd);
        if (mWakeFd >= 0)
            close(mWakeFd);
    }

    Status Arm(const std::string& dir, std::shared_ptr<KernelEvent> event)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mInotifyFd < 0) {
            mInotifyFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
            mWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            if (mInotifyFd < 0 || mWakeFd < 0)
                return Status::IoError;
            mThread = std::thread([this] { Run(); });
        }
        constexpr uint32_t mask = IN_CREATE | IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        int wd = inotify_add_watch(mInotifyFd, dir.c_str(), mask);
        if (wd < 0)
            return errno == ENOENT || errno == ENOTDIR ? Status::NotFound : Status::IoError;
        mArmed[wd].push_back(std::move(event));
        return Status::Ok;
    }

private:
    static bool Relevant(const inotify_event* ev)
    {
        if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
            return true;
        if (ev->len > 0 && ev->name[0] == '.')
            return false;  // writers' scratch files
        if ((ev->mask & IN_CREATE) && !(ev->mask & IN_ISDIR))
            return false;  // a value counts once it is written
        return true;
    }

    void FireLocked(int wd)
    {
        auto it = mArmed.find(wd);
        if (it == mArmed.end())
            return;
        for (auto& event : it->second)
            event->Set();
        mArmed.erase(it);
        inotify_rm_watch(mInotifyFd, wd);
    }

    void Run()
    {
        alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
        for (;;) {
            if (!Tavo::Platform::WaitReadable(mInotifyFd, mWakeFd))
                return;
            ssize_t n = read(mInotifyFd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            std::lock_guard<std::mutex> lock(mMutex);
            for (ssize_t off = 0; off < n;) {
                auto* ev = reinterpret_cast<const inotify_event*>(buffer + off);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_Q_OVERFLOW) {
                    // Changes were lost: wake every waiter.
                    while (!mArmed.empty())
                        FireLocked(mArmed.begin()->first);
                } else if (Relevant(ev)) {
                    FireLocked(ev->wd);
                }
            }
        }
    }

    std::mutex mMutex;
    int mInotifyFd = -1;
    int mWakeFd = -1;
    std::thread mThread;
    std::map<int, std::vector<std::shared_ptr<KernelEvent>>> mArmed;
};

class DirectoryKey final : public Key
{
public:
    DirectoryKey(std::shared_ptr<Notifier> notifier, std::string path)
        : mNotifier(std::move(notifier)), mPath(std::move(path))
    {
    }

    Status OpenSubKey(std::u16string_view path, std::unique_ptr<Key>& out) const override
    {
        std::string real;
        Status s = Resolve(mPath, path, real);
        if (s == Status::Ok)
            out = std::make_unique<DirectoryKey>(mNotifier, real);
        return s;
    }

    Status EnumerateSubKeys(std::vector<std::u16string>& names) const override
    {
        names.clear();
        std::vector<Entry> entries;
        if (!ListEntries(mPath, false, entries))
            return Status::NotFound;
        std::vector<std::pair<std::u16string, std::u16string>> sorted;
        for (auto& e : entries)
            sorted.emplace_back(Names::Fold(e.name), std::move(e.name));
        std::sort(sorted.begin(), sorted.end());
        for (auto& [folded, name] : sorted)
            names.push_back(std::move(name));
        return Status::Ok;
    }

    Status QueryValue(std::u16string_view name, Value& out, size_t maxBytes) const override
    {
        out = Value();
        std::string file;
        Status s = FindEntry(mPath, name, true, file);
        if (s != Status::Ok)
            return s;
        return ReadValueFile(mPath + "/" + file, out, maxBytes);
    }

    Status NotifyChange(std::shared_ptr<KernelEvent> event) const override
    {
        return mNotifier->Arm(mPath, std::move(event));
    }

private:
    std::shared_ptr<Notifier> mNotifier;
    std::string mPath;
};

class DirectoryRegistry final : public Store
{
public:
    explicit DirectoryRegistry(std::string root) : mRoot(std::move(root)) {}

    Status OpenKey(std::u16string_view path, std::unique_ptr<Key>& out) const override
    {
        DirectoryKey root(mNotifier, mRoot);
        return root.OpenSubKey(path, out);
    }

    Status CreateKey(std::u16string_view path) override
    {
        std::vector<std::u16string> parts;
        if (!Names::SplitPath(path, parts))
            return Status::InvalidName;
        if (!MakePrivateFolder(mRoot))
            return Status::IoError;
        std::string dir = mRoot;
        for (const auto& part : parts) {
            std::string file;
            if (FindEntry(dir, part, false, file) != Status::Ok) {
                file = Escape(part);
                if (file.size() > kMaxFileName)
                    return Status::InvalidName;
                if (mkdir((dir + "/" + file).c_str(), 0700) != 0 && errno != EEXIST)
                    return Status::IoError;
            }
            dir += "/" + file;
        }
        return Status::Ok;
    }

    Status SetValue(std::u16string_view keyPath, std::u16string_view name, const Value& value) override
    {
        std::string dir;
        Status s = Resolve(mRoot, keyPath, dir);
        if (s != Status::Ok)
            return s;
        std::string file;
        if (FindEntry(dir, name, true, file) != Status::Ok)
            file = "@" + Escape(name);
        if (file.size() > kMaxFileName)
            return Status::InvalidName;
        std::string scratch = ScratchName(dir, "new");
        int fd = open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return Status::IoError;
        std::string content = TypeLine(value.type) + "\n";
        content.append(value.data.begin(), value.data.end());
        bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        ok = close(fd) == 0 && ok;
        // Readers see the old or the new file, never a partial one.
        if (!ok || rename(scratch.c_str(), (dir + "/" + file).c_str()) != 0) {
            unlink(scratch.c_str());
            return Status::IoError;
        }
        return Status::Ok;
    }

    Status DeleteValue(std::u16string_view keyPath, std::u16string_view name) override
    {
        std::string dir;
        Status s = Resolve(mRoot, keyPath, dir);
        if (s != Status::Ok)
            return s;
        std::string file;
        s = FindEntry(dir, name, true, file);
        if (s != Status::Ok)
            return s;
        if (unlink((dir + "/" + file).c_str()) != 0)
            return errno == ENOENT ? Status::NotFound : Status::IoError;
        return Status::Ok;
    }

    Status DeleteKey(std::u16string_view path) override
    {
        std::vector<std::u16string> parts;
        if (!Names::SplitPath(path, parts) || parts.empty())
            return Status::InvalidName;
        std::string real;
        Status s = Resolve(mRoot, path, real);
        if (s != Status::Ok)
            return s;
        // Move the subtree out of sight first so readers never see it half gone.
        std::string parent = real.substr(0, real.rfind('/'));
        std::string doomed = ScratchName(parent, "del");
        if (rename(real.c_str(), doomed.c_str()) != 0)
            return errno == ENOENT ? Status::NotFound : Status::IoError;
        return RemoveTree(doomed) ? Status::Ok : Status::IoError;
    }

private:
    std::string mRoot;
    std::shared_ptr<Notifier> mNotifier = std::make_shared<Notifier>();
};

}  // namespace

std::shared_ptr<Store> CreateDirectoryRegistry(const std::string& rootFolder)
{
    return std::make_shared<DirectoryRegistry>(rootFolder);
}

}  // namespace Tavo::Platform::Registry
