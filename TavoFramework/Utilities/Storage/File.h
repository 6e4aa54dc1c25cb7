#pragma once

#include "ObjectBase/Holder.h"
#include "ObjectBase/RCPtr.h"
#include "Platform/Kernel/KernelFiles.h"
#include "Utilities/Storage/IArray.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

using FileStatus = Platform::FileStatus;

// A regular file opened by path with mode flags, read and written at
// explicit positions (-1: the current one), closed by Close or the
// destructor. Beside it, static operations on paths and folders. Only "/"
// separates the parts of a path: a backslash is a character of a name, as
// everywhere on this system.
class File
{
public:
    static constexpr uint32_t kModeRead = 0x10000;
    static constexpr uint32_t kModeReadWrite = 0x20000;
    // With kModeCreate: fail when the file exists. Ignored without it.
    static constexpr uint32_t kModeExclusive = 0x40000;
    static constexpr uint32_t kModeCreate = 0x80000;
    static constexpr uint32_t kModeDeleteOnClose = 0x100000;

    File() = default;
    // Opens at once; a failure leaves the file closed (IsOpen false).
    File(const WString& path, const WString& name, uint32_t mode = kModeRead);
    virtual ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path/name, or path alone when name is empty. 0 on success,
    // S_FALSE when already open, E_FAIL when the file cannot be opened or is
    // no regular file (a folder, FIFO, socket or device, which is never
    // opened, nor waited for when one is swapped in after the look); an
    // empty path with an empty name throws.
    virtual TavoResult Open(const WString& path, const WString& name, uint32_t mode);
    // Deletes a delete-on-close file. Always 0.
    virtual TavoResult Close();
    // Bytes read (0 at the end); throws when the seek or read fails.
    virtual int32_t Read(void* buffer, uint32_t count, int32_t position);
    // Bytes written; throws on a read-only file or when the seek or write fails.
    virtual int32_t Write(const void* buffer, uint32_t count, int32_t position);
    // Origin 0 from the start, 1 from the current position, 2 from the end;
    // the new position or -1.
    virtual int32_t Seek(int32_t offset, int32_t origin);
    // 0 when not open; throws when the size cannot be read.
    uint32_t GetLength();
    // The same, whole: a length past 4 GiB does not fit GetLength.
    uint64_t GetSize();

    bool IsOpen() const { return !mDescriptor.IsNull(); }
    const WString& GetName() const { return mName; }
    const WString& GetPath() const { return mPath; }
    uint32_t GetMode() const { return mMode; }

    static bool FileExists(const WString& path);
    static bool IsFolder(const WString& path);
    // False when nothing exists at the path; fills the status otherwise.
    static bool GetStatus(const WString& path, FileStatus& status);
    // Creates the folder and its missing parents: S_OK when created, S_FALSE
    // when it exists, E_FAIL when a file is in the way or creation failed.
    static TavoResult CreateFolder(const WString& path);
    // Empties the list, then adds folder/name for each file (not folder) of
    // the folder whose name matches the pattern, ignoring letter case.
    static int32_t ListFolder(const WString& folder, const WString& pattern, IArray<WString>& list);
    // Replaces each of \ / : * ? " < > | & ; , ^ ( ) by an underscore.
    static WString MakeValidFileName(const WString& text);
    // The position of the last "/", -1 when there is none.
    static int32_t FindLastSeparator(const WString& path);
    // The text before the last separator; the whole text when there is none.
    static WString GetFolderPart(const WString& path);
    // The text after the last separator; the whole text when there is none
    // or the separator ends the text.
    static WString GetFileNamePart(const WString& path);
    static WString GetNamePart(const WString& path) { return GetFileNamePart(path); }
    // The canonical absolute form of an existing path; the path unchanged
    // when it cannot be resolved.
    static WString GetLongPathName(const WString& path);

private:
    int Descriptor() const { return mDescriptor.IsNull() ? -1 : mDescriptor->Get(); }

    RCPtr<LHolder<int>> mDescriptor;
    WString mName;
    WString mPath;
    uint32_t mMode = kModeRead;
};

}  // namespace Tavo
