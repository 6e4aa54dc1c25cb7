#include "Engine/FirmwareImage.h"

#include "Utilities/Storage/File.h"

#include <exception>

TavoResult ReadFirmwareImage(const Tavo::WString& path, Tavo::Array<uint8_t>& image)
{
    image.SetCount(0);
    const Tavo::WString folder = Tavo::File::GetFolderPart(path);
    const Tavo::WString name = Tavo::File::GetFileNamePart(path);
    // Without a separator the folder part is the whole path; with one at the
    // end the name part is. A leading separator names the root folder.
    const bool rooted = !path.IsEmpty() && (path[0] == u'/' || path[0] == u'\\');
    if (folder == path || name == path || name.IsEmpty() || (folder.IsEmpty() && !rooted))
        return E_FAIL;
    try {
        Tavo::File file(folder, name, Tavo::File::kModeRead);
        if (!file.IsOpen())
            return E_FAIL;
        const uint32_t length = file.GetLength();
        if (length == 0)
            return E_FAIL;
        image.SetCount(length);
        uint32_t done = 0;
        while (done < length) {
            const int32_t n = file.Read(image.GetData() + done, length - done, done == 0 ? 0 : -1);
            if (n <= 0)
                break;
            done += static_cast<uint32_t>(n);
        }
        if (done == length)
            return S_OK;
    } catch (const std::exception&) {
        // A failed seek or read: the same as a short read.
    }
    image.SetCount(0);
    return E_FAIL;
}
