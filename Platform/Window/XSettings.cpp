#include "Platform/Window/XSettings.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <climits>
#include <vector>

namespace Tavo::Platform::Window {

namespace {

// The largest settings property read; managers publish a few kilobytes.
constexpr long kMaxSettingsBytes = 1 << 20;

enum SettingType : uint8_t { kInteger = 0, kString = 1, kColour = 2 };

class Reader
{
public:
    Reader(std::span<const uint8_t> bytes, bool bigEndian) : mBytes(bytes), mBig(bigEndian) {}
    bool Skip(size_t n)
    {
        if (n > mBytes.size() - mAt)
            return false;
        mAt += n;
        return true;
    }
    bool Card8(uint8_t& v)
    {
        if (mAt >= mBytes.size())
            return false;
        v = mBytes[mAt++];
        return true;
    }
    bool Card16(uint32_t& v) { return Number(2, v); }
    bool Card32(uint32_t& v) { return Number(4, v); }
    // A text padded to a multiple of four bytes.
    bool Text(uint32_t length, std::string& text)
    {
        if (length > mBytes.size() - mAt)
            return false;
        text.assign(reinterpret_cast<const char*>(mBytes.data() + mAt), length);
        return Skip(length) && Skip(Padding(length));
    }
    bool SkipPadded(uint32_t length) { return Skip(length) && Skip(Padding(length)); }

private:
    static size_t Padding(uint32_t length) { return (4 - length % 4) % 4; }
    bool Number(size_t size, uint32_t& v)
    {
        if (size > mBytes.size() - mAt)
            return false;
        v = 0;
        for (size_t i = 0; i < size; ++i) {
            const uint32_t byte = mBytes[mAt + (mBig ? i : size - 1 - i)];
            v = (v << 8) | byte;
        }
        mAt += size;
        return true;
    }

    std::span<const uint8_t> mBytes;
    bool mBig;
    size_t mAt = 0;
};

}  // namespace

std::optional<std::string> FindXSettingString(std::span<const uint8_t> settings, const std::string& name)
{
    if (settings.empty())
        return std::nullopt;
    // Byte order as X names it: 0 least significant byte first, 1 most.
    Reader in(settings, settings[0] == 1);
    uint32_t serial = 0, count = 0;
    if (!in.Skip(4) || !in.Card32(serial) || !in.Card32(count))
        return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t type = 0;
        uint32_t nameLength = 0, changed = 0;
        std::string settingName;
        if (!in.Card8(type) || !in.Skip(1) || !in.Card16(nameLength) || !in.Text(nameLength, settingName) ||
            !in.Card32(changed))
            return std::nullopt;
        switch (type) {
        case kInteger:
            if (!in.Skip(4))
                return std::nullopt;
            break;
        case kString: {
            uint32_t length = 0;
            if (!in.Card32(length))
                return std::nullopt;
            if (settingName != name) {
                if (!in.SkipPadded(length))
                    return std::nullopt;
                break;
            }
            std::string value;
            if (!in.Text(length, value))
                return std::nullopt;
            return value;
        }
        case kColour:
            if (!in.Skip(8))
                return std::nullopt;
            break;
        default:
            // The size of an unknown type's value is unknown: nothing after it can be read.
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadXSettingString(Display* display, int screen, const std::string& name)
{
    if (!display)
        return std::nullopt;
    const std::string selection = "_XSETTINGS_S" + std::to_string(screen);
    const ::Window owner = XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False));
    if (owner == None)
        return std::nullopt;
    const Atom property = XInternAtom(display, "_XSETTINGS_SETTINGS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // The owner may go away meanwhile: the request then fails and nothing is read.
    if (XGetWindowProperty(display, owner, property, 0, kMaxSettingsBytes / 4, False, property, &type,
                           &format, &count, &after, &data) != Success ||
        !data) {
        return std::nullopt;
    }
    std::optional<std::string> value;
    if (type == property && format == 8)
        value = FindXSettingString(std::span<const uint8_t>(data, count), name);
    XFree(data);
    return value;
}

}  // namespace Tavo::Platform::Window
