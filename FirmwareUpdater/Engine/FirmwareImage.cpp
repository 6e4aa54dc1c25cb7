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

TavoResult ReadFirmwareImage(const Tavo::WString& path, Tavo::Array<uint8_t>& image)
{
    image.SetCount(0);
    Tavo::WString folder;
    Tavo::WString name;
    if (!SplitImagePath(path, folder, name))
        return E_FAIL;
    try {
        // Opened without waiting, and only when it is a regular file: what
        // stands at the path now may not be what the start-up check saw.
        Tavo::File file(folder, name, Tavo::File::kModeRead);
        if (file.IsOpen() && ReadWholeFile(file, image))
            return S_OK;
    } catch (const std::exception&) {
        // A file that cannot be opened: the same as a short read.
    }
    image.SetCount(0);
    return E_FAIL;
}

bool IsUsableFirmwareImage(const Tavo::WString& path)
{
    Tavo::WString folder;
    Tavo::WString name;
    if (!SplitImagePath(path, folder, name))
        return false;
    try {
        Tavo::File file(folder, name, Tavo::File::kModeRead);
        if (!file.IsOpen())
            return false;
        const uint64_t size = file.GetSize();
        return size > 0 && size <= UINT32_MAX;
    } catch (...) {
        return false;
    }
}

bool ReadWholeFile(Tavo::File& file, Tavo::Array<uint8_t>& image)
{
    try {
        // The opened file's own size, never the path's: the path may name
        // another file by now. The length is 32-bit; a larger file would be
        // read cut short.
        const uint64_t size = file.GetSize();
        if (size == 0 || size > UINT32_MAX)
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
