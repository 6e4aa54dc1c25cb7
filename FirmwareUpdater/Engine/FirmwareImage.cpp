#include "Engine/FirmwareImage.h"

#include "Utilities/Storage/File.h"

#include <algorithm>
#include <exception>

bool SplitImagePath(const Tavo::WString& path, Tavo::WString& folder, Tavo::WString& name)
{
    const int32_t slash = Tavo::File::FindLastSeparator(path);
    if (slash < 0 || slash + 1 == int32_t(path.GetLength()))
        return false;
    folder = path.Left(slash);
    name = path.Mid(slash + 1);
    return true;
}

namespace {

// A length the transfer takes: something to send, counted in 32 bits.
bool IsImageSize(uint64_t size)
{
    return size > 0 && size <= UINT32_MAX;
}

// Hands `use` the image at `path` opened for reading; false when the path
// has no folder or name, or the file cannot be opened (only a regular file
// is, never waited for: what stands at the path now may not be what the
// start-up check saw).
template <typename Use>
bool WithOpenedImage(const Tavo::WString& path, Use use)
{
    Tavo::WString folder;
    Tavo::WString name;
    if (!SplitImagePath(path, folder, name))
        return false;
    try {
        Tavo::File file(folder, name, Tavo::File::kModeRead);
        return file.IsOpen() && use(file);
    } catch (const std::exception&) {
        // A file that cannot be opened: the same as a short read.
        return false;
    }
}

}  // namespace

TavoResult ReadFirmwareImage(const Tavo::WString& path, Tavo::Array<uint8_t>& image)
{
    image.SetCount(0);
    if (WithOpenedImage(path, [&](Tavo::File& file) { return ReadWholeFile(file, image); }))
        return S_OK;
    image.SetCount(0);
    return E_FAIL;
}

ImageVerdict JudgeFirmwareImage(const Tavo::WString& path)
{
    // The opened file's size: the path may name another file by now.
    uint64_t size = 0;
    if (WithOpenedImage(path, [&](Tavo::File& file) {
            size = file.GetSize();
            return true;
        }))
        return size > UINT32_MAX   ? ImageVerdict::kTooLarge
               : IsImageSize(size) ? ImageVerdict::kUsable
                                   : ImageVerdict::kOther;
    // Only looked at once it would not open, to say why.
    Tavo::FileStatus status;
    Tavo::WString folder;
    Tavo::WString name;
    if (SplitImagePath(path, folder, name) && Tavo::File::GetStatus(path, status) && !status.isRegular)
        return ImageVerdict::kNotAFile;
    return ImageVerdict::kOther;
}

bool IsUsableFirmwareImage(const Tavo::WString& path)
{
    return JudgeFirmwareImage(path) == ImageVerdict::kUsable;
}

bool ReadWholeFile(Tavo::File& file, Tavo::Array<uint8_t>& image)
{
    try {
        // The opened file's own size, never the path's: the path may name
        // another file by now. The length is 32-bit; a larger file would be
        // read cut short.
        const uint64_t size = file.GetSize();
        if (!IsImageSize(size))
            return false;
        const uint32_t length = static_cast<uint32_t>(size);
        image.SetCount(length);
        uint32_t done = 0;
        while (done < length) {
            const uint32_t want = std::min<uint32_t>(length - done, 1u << 30);
            const int32_t n = file.Read(image.GetData() + done, want, done == 0 ? 0 : -1);
            if (n <= 0)
                return false;
            done += static_cast<uint32_t>(n);
        }
        return true;
    } catch (...) {
        return false;
    }
}
