#include "Renderer/FontRenderer/FontFileInfo.h"

#include "tests/Common/TempFolder.h"
#include "../TestRenderHost.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

using namespace Tavo;

namespace {

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";

std::string Narrow(const WString& text)
{
    return NString(text).c_str();
}

void Put16(std::string& out, uint32_t v)
{
    out += char(v >> 8);
    out += char(v);
}
void Put32(std::string& out, uint32_t v)
{
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

// A font with only a name table holding platform-3 family and subfamily
// names, its tables placed at base within the file.
std::string NameOnlyFont(uint32_t base, const std::u16string& family, const std::u16string& style)
{
    std::string strings;
    for (char16_t c : family)
        Put16(strings, c);
    for (char16_t c : style)
        Put16(strings, c);
    std::string name;
    for (uint32_t v : {0u, 2u, 6u + 2 * 12})
        Put16(name, v);
    for (uint32_t id : {1u, 2u})
        for (uint32_t v : {3u, 1u, 0x409u, id, uint32_t((id == 1 ? family.size() : style.size()) * 2),
                           id == 1 ? 0 : uint32_t(family.size() * 2)})
            Put16(name, v);
    name += strings;
    std::string font;
    Put32(font, 0x00010000);
    for (uint32_t v : {1u, 0u, 0u, 0u})
        Put16(font, v);
    font += "name";
    Put32(font, 0);
    Put32(font, base + 12 + 16);
    Put32(font, uint32_t(name.size()));
    return font + name;
}

class FontCatalogue : public ::testing::Test
{
protected:
    void SetUp() override { setenv("TAVO_FONTS_DIR", dir.Path().c_str(), 1); }
    void TearDown() override
    {
        LFontFileInfo::Clear();
        unsetenv("TAVO_FONTS_DIR");
    }
    void Copy(const std::string& file) { std::filesystem::copy_file(kDejaVu + file, dir.Join(file)); }
    std::string PathOf(int32_t id) { return Narrow(LFontFileInfo::GetFilePath(id)); }

    TempFolder dir;
    Tavo::Test::TestRenderHost host;
};

TEST_F(FontCatalogue, FamilyFilesByStyleAndFallbackOrder)
{
    for (const char* f :
         {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf", "DejaVuSerif-BoldItalic.ttf"})
        Copy(f);
    Copy("DejaVuSans-Bold.ttf");
    dir.Write("DejaVuSerifCondensed-Italic.ttf", "");  // empty: read fails, skipped
    dir.Write("junk.ttf", std::string(40, '\x7f'));
    ASSERT_EQ(LFontFileInfo::ScanSystemFonts(), S_OK);
    ASSERT_EQ(LFontFileInfo::GetCount(), 2u);

    const WString serif(u"DejaVu Serif");
    const char* expected[4] = {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
                               "DejaVuSerif-BoldItalic.ttf"};
    for (int32_t style = 0; style < 16; ++style) {
        const int32_t id = LFontFileInfo::GetFileID(serif, style);
        EXPECT_EQ(id & 3, style & 3);
        EXPECT_EQ(PathOf(id), dir.Join(expected[style & 3])) << style;
    }

    // Only a bold file: a regular request takes it and completes the entry.
    const WString sans(u"DejaVu Sans");
    const int32_t regular = LFontFileInfo::GetFileID(sans, 0);
    EXPECT_EQ(PathOf(regular), dir.Join("DejaVuSans-Bold.ttf"));
    RCPtr<LFontFileInfo> entry = LFontFileInfo::GetAt(uint32_t(regular >> 2));
    EXPECT_EQ(Narrow(entry->GetPath(0)), dir.Join("DejaVuSans-Bold.ttf"));
    EXPECT_TRUE(entry->GetPath(2).IsEmpty());

    EXPECT_TRUE(LFontFileInfo::GetFilePath(int32_t(LFontFileInfo::GetCount()) << 2).IsEmpty());
}

TEST_F(FontCatalogue, BoldItalicFallsBackToItalicBeforeRegular)
{
    Copy("DejaVuSerif.ttf");
    Copy("DejaVuSerif-Italic.ttf");
    ASSERT_EQ(LFontFileInfo::ScanSystemFonts(), S_OK);
    const int32_t id = LFontFileInfo::GetFileID(WString(u"DejaVu Serif"), 3);
    EXPECT_EQ(id & 3, 3);
    EXPECT_EQ(PathOf(id), dir.Join("DejaVuSerif-Italic.ttf"));
}

TEST_F(FontCatalogue, UnknownFaceUsesFontconfigsMatchThenTheDefaultOrThrows)
{
    Copy("DejaVuSerif.ttf");
    std::filesystem::copy_file("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                               dir.Join("LiberationSans-Regular.ttf"));
    ASSERT_EQ(LFontFileInfo::ScanSystemFonts(), S_OK);
    // Fontconfig serves a metric-compatible stand-in, and ignores letter case.
    EXPECT_EQ(PathOf(LFontFileInfo::GetFileID(WString(u"Arial"), 0)), dir.Join("LiberationSans-Regular.ttf"));
    EXPECT_EQ(PathOf(LFontFileInfo::GetFileID(WString(u"dejavu serif"), 0)), dir.Join("DejaVuSerif.ttf"));
    // Its best match for an unknown face is not in this catalogue, nor is a default face yet.
    EXPECT_EQ(
        ThrownText<std::runtime_error>([] { LFontFileInfo::GetFileID(WString(u"Qwzx Unknown Face"), 0); }),
        "Runtime Error : Tavo::LFontFileInfo::GetFileID : Renderer\\FontRenderer\\FontFileInfo : Line 469");
    host.defaultFace = u"DejaVu Serif";
    EXPECT_EQ(PathOf(LFontFileInfo::GetFileID(WString(u"Qwzx Unknown Face"), 0)),
              dir.Join("DejaVuSerif.ttf"));
}

TEST_F(FontCatalogue, PlainStylesKeepTheirSlotsWhateverTheScanOrder)
{
    // Subfamily and the slot it ends in; -1: none, as a plain regular face is there.
    const std::pair<std::u16string, int> files[] = {{u"Oblique", 2},    {u"Light", -1},       {u"Book", 0},
                                                    {u"Condensed", -1}, {u"Bold Oblique", 3}, {u"Bold", 1}};
    for (bool reversed : {false, true}) {
        // Files are named in scan order; the folder lists them sorted or unsorted alike.
        for (size_t i = 0; i < std::size(files); ++i)
            dir.Write("f" + std::to_string(i) + ".ttf",
                      NameOnlyFont(0, u"Fam", files[reversed ? std::size(files) - 1 - i : i].first));
        ASSERT_EQ(LFontFileInfo::ScanSystemFonts(), S_OK);
        for (uint32_t slot = 0; slot < 4; ++slot) {
            const std::string path = Narrow(LFontFileInfo::GetAt(0)->GetPath(slot));
            const size_t i = std::stoul(path.substr(path.rfind('/') + 2));
            EXPECT_EQ(files[reversed ? std::size(files) - 1 - i : i].second, int(slot)) << reversed;
        }
    }
}

TEST_F(FontCatalogue, CollectionFilesRegisterEveryFace)
{
    std::string ttc = "ttcf";
    Put32(ttc, 0x00010000);
    Put32(ttc, 2);
    const uint32_t first = 20;
    std::string a = NameOnlyFont(first, u"Collected", u"Regular");
    const uint32_t second = first + uint32_t(a.size());
    Put32(ttc, first);
    Put32(ttc, second);
    ttc += a + NameOnlyFont(second, u"Collected", u"Bold");
    dir.Write("pair.TTC", ttc);
    // A collection claiming more fonts than the file can hold is skipped.
    std::string bad = "ttcf";
    Put32(bad, 0x00010000);
    Put32(bad, 0x40000000);
    dir.Write("bad.ttc", bad);

    ASSERT_EQ(LFontFileInfo::ScanSystemFonts(), S_OK);
    ASSERT_EQ(LFontFileInfo::GetCount(), 1u);
    RCPtr<LFontFileInfo> entry = LFontFileInfo::GetAt(0);
    EXPECT_TRUE(entry->GetFamilyName() == u"Collected");
    EXPECT_EQ(Narrow(entry->GetPath(1)), dir.Join("pair.TTC"));
    EXPECT_TRUE(entry->GetPath(2).IsEmpty());
}

TEST_F(FontCatalogue, NoFoldersLeavesCatalogueEmpty)
{
    Copy("DejaVuSerif.ttf");
    ASSERT_EQ(LFontFileInfo::ScanSystemFonts(), S_OK);
    setenv("TAVO_FONTS_DIR", "", 1);
    EXPECT_EQ(LFontFileInfo::ScanSystemFonts(), E_FAIL);
    EXPECT_EQ(LFontFileInfo::GetCount(), 0u);
    EXPECT_THROW(LFontFileInfo::GetFileID(WString(u"DejaVu Serif"), 0), std::runtime_error);
}

}  // namespace
