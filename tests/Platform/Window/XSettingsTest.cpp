#include "Platform/Window/XSettings.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Tavo::Platform::Window::FindXSettingString;

// Settings bytes as a manager writes them, in either byte order.
class Settings
{
public:
    explicit Settings(bool bigEndian, uint32_t count) : mBig(bigEndian)
    {
        mBytes = {uint8_t(bigEndian ? 1 : 0), 0, 0, 0};
        Card(7, 4);
        Card(count, 4);
    }
    void Setting(uint8_t type, const std::string& name, const std::vector<uint8_t>& value)
    {
        mBytes.insert(mBytes.end(), {type, 0});
        Card(uint32_t(name.size()), 2);
        Padded(name);
        Card(0, 4);
        mBytes.insert(mBytes.end(), value.begin(), value.end());
    }
    void String(const std::string& name, const std::string& value)
    {
        Settings text(mBig, 0);
        text.mBytes.clear();
        text.Card(uint32_t(value.size()), 4);
        text.Padded(value);
        Setting(1, name, text.mBytes);
    }
    std::vector<uint8_t> mBytes;

private:
    void Card(uint32_t v, int size)
    {
        for (int i = 0; i < size; ++i)
            mBytes.push_back(uint8_t(v >> (8 * (mBig ? size - 1 - i : i))));
    }
    void Padded(const std::string& text)
    {
        mBytes.insert(mBytes.end(), text.begin(), text.end());
        while (mBytes.size() % 4)
            mBytes.push_back(0);
    }
    bool mBig;
};

TEST(XSettingsTest, FindsTheStringPastOtherSettingsInEitherByteOrder)
{
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big);
        Settings s(big, 4);
        s.Setting(0, "Net/DoubleClickTime", {0, 0, 1, 0x90});
        s.Setting(2, "Gtk/Color", {1, 2, 3, 4, 5, 6, 7, 8});
        s.String("Gtk/FontNames", "Wrong 1");
        s.String("Gtk/FontName", "DejaVu Serif Bold 11");
        EXPECT_EQ(FindXSettingString(s.mBytes, "Gtk/FontName"), "DejaVu Serif Bold 11");
        EXPECT_EQ(FindXSettingString(s.mBytes, "Gtk/ThemeName"), std::nullopt);
        // Every cut short of the end loses the string and reads nothing beyond.
        for (size_t size = 0; size < s.mBytes.size() - 3; ++size)
            EXPECT_EQ(FindXSettingString(std::span(s.mBytes.data(), size), "Gtk/FontName"), std::nullopt)
                << size;
    }
}

TEST(XSettingsTest, LengthsBeyondTheBytesAndUnknownTypesEndTheSearch)
{
    Settings huge(false, 1);
    huge.Setting(1, "Gtk/FontName", {0xFF, 0xFF, 0xFF, 0xFF, 'S', 'a', 'n', 's'});
    EXPECT_EQ(FindXSettingString(huge.mBytes, "Gtk/FontName"), std::nullopt);
    Settings unknown(false, 2);
    unknown.Setting(9, "Odd", {1, 2, 3, 4});
    unknown.String("Gtk/FontName", "Sans 9");
    EXPECT_EQ(FindXSettingString(unknown.mBytes, "Gtk/FontName"), std::nullopt);
    // More settings announced than there are.
    Settings many(false, 1000000);
    many.String("Other", "x");
    EXPECT_EQ(FindXSettingString(many.mBytes, "Gtk/FontName"), std::nullopt);
}

}  // namespace
