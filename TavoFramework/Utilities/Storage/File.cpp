#include "Utilities/Storage/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace Tavo {

namespace {

constexpr const char* kSource = "Utilities\\Storage\\TavoFile";

std::string ToNative(const WString& path)
{
    return std::string(NString(path).c_str());
}

WString FromNative(const std::string& path)
{
    return WString(NString(path.c_str()));
}

// Replaces every character of the set by the replacement; a replacement of 0
// leaves the text unchanged.
WString ReplaceCharacters(const WString& text, std::u16string_view set, char16_t replacement)
{
    if (replacement == 0)
        return text;
    std::u16string copy(text.c_str(), text.GetLength());
    for (char16_t& c : copy) {
        if (set.find(c) != std::u16string_view::npos)
            c = replacement;
    }
    return WString(copy.c_str());
}

}  // namespace

File::File(const WString& path, const WString& name, uint32_t mode) : mMode(mode)
{
    Open(path, name, mode);
}

File::~File()
{
    Close();
}

TavoResult File::Open(const WString& path, const WString& name, uint32_t mode)
{
    if (!mDescriptor.IsNull())
        return S_FALSE;
    if (!name.IsEmpty()) {
        mName = name;
        mPath = path + WString(u"/") + name;
    } else {
        if (path.IsEmpty())
            TAVO_THROW(std::runtime_error, "invalid pathname", "Tavo::File::Open", kSource, 318);
        mPath = path;
    }
    mMode = mode;

    // Only a regular file is opened: opening a FIFO would release a writer
    // waiting on it, and opening a device may act on it.
    const std::string native = ToNative(mPath);
    struct stat before
    {
    };
    if (::stat(native.c_str(), &before) == 0 && !S_ISREG(before.st_mode))
        return E_FAIL;
    // Never waits: what replaced the file since the look is refused below.
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    flags |= (mode & kModeReadWrite) ? O_RDWR : O_RDONLY;
    if (mode & kModeCreate) {
        flags |= O_CREAT;
        if (mode & kModeExclusive)
            flags |= O_EXCL;
    }
    const int fd = ::open(native.c_str(), flags, 0666);
    if (fd < 0)
        return E_FAIL;
    // What was opened is what counts, not what the path named at the look:
    // a folder, device or FIFO swapped in since opens too, and none of them
    // is a file to read to a length.
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return E_FAIL;
    }
    mDescriptor = RCPtr<LHolder<int>>(new LHolder<int>(fd));
    return S_OK;
}

TavoResult File::Close()
{
    if (mDescriptor.IsNull())
        return S_OK;
    // Someone else still holds the descriptor.
    if (mDescriptor->GetRefCount() != 1)
        return S_OK;
    ::close(mDescriptor->Get());
    if (mMode & kModeDeleteOnClose)
        ::unlink(ToNative(mPath).c_str());
    mDescriptor = nullptr;
    return S_OK;
}

int32_t File::Read(void* buffer, uint32_t count, int32_t position)
{
    const int fd = Descriptor();
    if (position != -1 && ::lseek(fd, position, SEEK_SET) != position)
        TAVO_THROW(std::runtime_error, "lseek", "Tavo::File::Read", kSource, 472);
    const ssize_t n = ::read(fd, buffer, count);
    if (n < 0)
        TAVO_THROW(std::runtime_error, "read", "Tavo::File::Read", kSource, 500);
    return static_cast<int32_t>(n);
}

int32_t File::Write(const void* buffer, uint32_t count, int32_t position)
{
    if (!(mMode & kModeReadWrite))
        TAVO_THROW(std::runtime_error, "file is read only", "Tavo::File::Write", kSource, 579);
    const int fd = Descriptor();
    if (position != -1 && ::lseek(fd, position, SEEK_SET) != position)
        TAVO_THROW(std::runtime_error, "lseek", "Tavo::File::Write", kSource, 588);
    const ssize_t n = ::write(fd, buffer, count);
    if (n < 0)
        TAVO_THROW(std::runtime_error, "write", "Tavo::File::Write", kSource, 627);
    return static_cast<int32_t>(n);
}

int32_t File::Seek(int32_t offset, int32_t origin)
{
    const off_t result = ::lseek(Descriptor(), offset, origin);
    // Positions past 2 GiB do not fit the 32-bit result.
    if (result < 0 || result > INT32_MAX)
        return -1;
    return static_cast<int32_t>(result);
}

uint32_t File::GetLength()
{
    return static_cast<uint32_t>(GetSize());
}

uint64_t File::GetSize()
{
    if (mDescriptor.IsNull())
        return 0;
    struct stat st
    {
    };
    if (::fstat(mDescriptor->Get(), &st) != 0)
        TAVO_THROW(std::runtime_error, "fstat", "Tavo::File::GetLength", kSource, 126);
    return static_cast<uint64_t>(st.st_size);
}

bool File::FileExists(const WString& path)
{
    FileStatus status;
    return Platform::GetFileStatus(ToNative(path), status) && !status.isFolder;
}

bool File::IsFolder(const WString& path)
{
    std::string native = ToNative(path);
    // A trailing "/" is dropped, except from the root.
    if (native.size() > 1 && native.back() == '/')
        native.pop_back();
    FileStatus status;
    return Platform::GetFileStatus(native, status) && status.isFolder;
}

bool File::GetStatus(const WString& path, FileStatus& status)
{
    return Platform::GetFileStatus(ToNative(path), status);
}

TavoResult File::CreateFolder(const WString& path)
{
    const std::string native = ToNative(path);
    FileStatus status;
    if (Platform::GetFileStatus(native, status))
        return status.isFolder ? S_FALSE : E_FAIL;
    // Each level in turn; existing ones fail and are passed over. Only "/"
    // separates levels here: "\" is an ordinary character in a name.
    for (size_t i = native.find('/', 1); i != std::string::npos; i = native.find('/', i + 1))
        Platform::CreateDirectory(native.substr(0, i));
    Platform::CreateDirectory(native);
    return Platform::PathExists(native) ? S_OK : E_FAIL;
}

int32_t File::ListFolder(const WString& folder, const WString& pattern, IArray<WString>& list)
{
    list.Clear();
    if (!IsFolder(folder))
        return 0;
    for (const std::string& name : Platform::ListFiles(ToNative(folder), ToNative(pattern)))
        list.Add(folder + WString(u"/") + FromNative(name));
    return static_cast<int32_t>(list.GetCount());
}

WString File::MakeValidFileName(const WString& text)
{
    return ReplaceCharacters(text, u"\\/:*?\"<>|&;,^()", u'_');
}

int32_t File::FindLastSeparator(const WString& path)
{
    return path.ReverseFind(u'/');
}

WString File::GetFolderPart(const WString& path)
{
    const int32_t at = FindLastSeparator(path);
    return at < 0 ? path : path.Left(at);
}

WString File::GetFileNamePart(const WString& path)
{
    const int32_t at = FindLastSeparator(path);
    if (at < 0)
        return path;
    const int32_t start = at + 1;
    const int32_t length = static_cast<int32_t>(path.GetLength());
    return start < length ? path.Mid(start, length - start) : path;
}

WString File::GetLongPathName(const WString& path)
{
    return FromNative(Platform::GetLongPathName(ToNative(path)));
}

}  // namespace Tavo
