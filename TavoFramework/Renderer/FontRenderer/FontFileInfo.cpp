#include "Renderer/FontRenderer/FontFileInfo.h"

#include "ObjectBase/Exception.h"
#include "Platform/Graphics/FontFolders.h"
#include "Renderer/RenderHost.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/File.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace Tavo {

namespace {

struct Catalogue
{
    std::vector<RCPtr<LFontFileInfo>> list;
    // Keyed by face name: the family search depends on nothing else.
    std::unordered_map<std::u16string, RCPtr<LFontFileInfo>> map;
};

Catalogue& TheCatalogue()
{
    static Catalogue* catalogue = new Catalogue;
    return *catalogue;
}

// A truncated file ends its own scan, not the whole catalogue's.
struct Truncated
{
};

void ReadExactly(File& file, void* buffer, uint32_t count, int32_t position)
{
    if (uint32_t(file.Read(buffer, count, position)) != count)
        throw Truncated{};
}

uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

void ReadNameTable(File& file, uint32_t tableOffset, const WString& path,
                   void (*reg)(const WString&, const WString&, const WString&))
{
    uint8_t head[6];
    ReadExactly(file, head, 6, int32_t(tableOffset));
    const uint16_t count = Be16(head + 2);
    const uint32_t strings = tableOffset + Be16(head + 4);
    WString family, style;
    bool familyTaken = false, styleTaken = false;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t rec[12];
        ReadExactly(file, rec, 12, int32_t(tableOffset + 6 + 12 * i));
        const uint16_t platform = Be16(rec), language = Be16(rec + 4), nameId = Be16(rec + 6);
        const uint16_t length = Be16(rec + 8), offset = Be16(rec + 10);
        if (!((platform == 1 && language == 0) || (platform == 3 && language == 0x409)))
            continue;
        if (nameId != 1 && nameId != 2)
            continue;
        std::vector<uint8_t> bytes(length);
        if (length)
            ReadExactly(file, bytes.data(), length, int32_t(strings + offset));
        WString text;
        if (platform == 1) {
            std::string narrow(bytes.begin(), bytes.end());
            text.Assign(narrow.c_str(), uint32_t(narrow.size()));
        } else {
            std::u16string wide;
            for (uint32_t k = 0; k + 1 < length; k += 2)
                wide.push_back(char16_t(bytes[k] << 8 | bytes[k + 1]));
            text = WString(wide.c_str());
        }
        if (text.IsEmpty())
            continue;
        if (nameId == 1 && !familyTaken) {
            family = text;
            familyTaken = true;
        } else if (nameId == 2 && !styleTaken) {
            style = text.ToLower();
            styleTaken = true;
        }
        if (familyTaken && styleTaken) {
            reg(family, style, path);
            familyTaken = styleTaken = false;
        }
    }
}

}  // namespace

void LFontFileInfo::Clear()
{
    TheCatalogue().map.clear();
    TheCatalogue().list.clear();
}

uint32_t LFontFileInfo::GetCount()
{
    return uint32_t(TheCatalogue().list.size());
}

RCPtr<LFontFileInfo> LFontFileInfo::GetAt(uint32_t index)
{
    auto& list = TheCatalogue().list;
    return index < list.size() ? list[index] : RCPtr<LFontFileInfo>();
}

RCPtr<LFontFileInfo> LFontFileInfo::AppendNew()
{
    auto& list = TheCatalogue().list;
    RCPtr<LFontFileInfo> entry(new LFontFileInfo(int32_t(list.size())));
    list.push_back(entry);
    return entry;
}

TavoResult LFontFileInfo::ScanSystemFonts()
{
    Clear();
    Platform::SystemVersion version{};
    if (!Platform::GetSystemVersion(version))
        return E_FAIL;
    const std::vector<std::string> folders = Platform::GetFontFolders();
    if (folders.empty())
        return E_FAIL;
    for (const std::string& folder : folders) {
        WString wideFolder(folder.c_str());
        Array<WString> files, collections;
        File::ListFolder(wideFolder, WString(u"*.ttf"), files);
        File::ListFolder(wideFolder, WString(u"*.ttc"), collections);
        for (uint32_t i = 0; i < files.GetCount(); ++i)
            ScanFile(files[i]);
        for (uint32_t i = 0; i < collections.GetCount(); ++i)
            ScanFile(collections[i]);
    }
    return S_OK;
}

void LFontFileInfo::ScanFile(const WString& path)
{
    File file;
    if (file.Open(path, WString(), File::kModeRead) != S_OK)
        return;
    try {
        uint8_t header[12];
        ReadExactly(file, header, 12, 0);
        std::vector<uint32_t> offsets;
        if (Be32(header) == 0x74746366) {
            // Bounded by the file so a bad count cannot ask for gigabytes.
            const uint32_t count = Be32(header + 8);
            if (count > file.GetLength() / 4)
                throw Truncated{};
            std::vector<uint8_t> raw(size_t(count) * 4);
            if (count)
                ReadExactly(file, raw.data(), count * 4, 12);
            for (uint32_t i = 0; i < count; ++i)
                offsets.push_back(Be32(raw.data() + 4 * i));
        } else {
            offsets.push_back(0);
        }
        for (uint32_t offset : offsets) {
            uint8_t table[12];
            ReadExactly(file, table, 12, int32_t(offset));
            const uint16_t tables = Be16(table + 4);
            for (uint32_t t = 0; t < tables; ++t) {
                uint8_t rec[16];
                ReadExactly(file, rec, 16, int32_t(offset + 12 + 16 * t));
                WString tag;
                tag.Assign(reinterpret_cast<const char*>(rec), 4);
                if (tag.IsEmpty())
                    break;
                if (tag.ToLower() == u"name") {
                    ReadNameTable(file, Be32(rec + 8), path, &LFontFileInfo::Register);
                    break;
                }
            }
        }
    } catch (const Truncated&) {
    } catch (const std::runtime_error&) {
        // A failed read in one file ends only that file.
    }
    file.Close();
}

void LFontFileInfo::Register(const WString& family, const WString& style, const WString& path)
{
    auto& list = TheCatalogue().list;
    RCPtr<LFontFileInfo> entry;
    for (size_t i = list.size(); i-- > 0;) {
        if (list[i]->mFamily == family) {
            entry = list[i];
            break;
        }
    }
    if (entry.IsNull()) {
        entry = AppendNew();
        entry->mFamily = family;
    }
    // Oblique counts as italic. A true regular face keeps the regular slot;
    // other styles (light, condensed, ...) fill it only until one comes.
    uint32_t slot = 0;
    bool regular = false;
    if (style == u"bold")
        slot = 1;
    else if (style == u"italic" || style == u"oblique")
        slot = 2;
    else if (style == u"bold italic" || style == u"bold oblique")
        slot = 3;
    else
        regular = style == u"regular" || style == u"book" || style == u"normal" || style == u"roman";
    if (slot == 0 && !regular && entry->mTrueRegular)
        return;
    if (slot == 0)
        entry->mTrueRegular = regular;
    entry->mPaths[slot] = path;
}

int32_t LFontFileInfo::GetFileID(const WString& face, int32_t style)
{
    Catalogue& cat = TheCatalogue();
    auto find = [&cat](const WString& name) {
        for (size_t i = cat.list.size(); i-- > 0;)
            if (cat.list[i]->mFamily == name)
                return cat.list[i];
        return RCPtr<LFontFileInfo>();
    };
    const std::u16string key(face.c_str());
    RCPtr<LFontFileInfo> entry;
    auto it = cat.map.find(key);
    if (it != cat.map.end()) {
        entry = it->second;
    } else {
        entry = find(face);
        // A face that is not installed: the family fontconfig serves for it
        // (a metric-compatible stand-in first), then the default face.
        if (entry.IsNull() && !face.IsEmpty()) {
            const std::string matched = Platform::MatchFontFamily(NString(face).c_str(), style);
            if (!matched.empty())
                entry = find(WString(matched.c_str()));
        }
        if (entry.IsNull()) {
            const WString fallback = GetDefaultFontFace();
            if (!fallback.IsEmpty())
                entry = find(fallback);
        }
        if (entry.IsNull())
            TAVO_THROW(std::runtime_error, "", "Tavo::LFontFileInfo::GetFileID",
                       "Renderer\\FontRenderer\\FontFileInfo", 469);
        cat.map.emplace(key, entry);
    }
    static constexpr uint32_t kOrder[4][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}, {2, 3, 0, 1}, {3, 1, 2, 0}};
    const uint32_t s = uint32_t(style) & 3;
    uint32_t chosen = kOrder[s][3];
    for (uint32_t k = 0; k < 3; ++k) {
        if (!entry->mPaths[kOrder[s][k]].IsEmpty()) {
            chosen = kOrder[s][k];
            break;
        }
    }
    if (entry->mPaths[s].IsEmpty())
        entry->mPaths[s] = entry->mPaths[chosen];
    return entry->mId << 2 | int32_t(s);
}

const WString& LFontFileInfo::GetFilePath(int32_t fileId)
{
    static const WString* empty = new WString;
    const int32_t index = fileId >> 2;
    auto& list = TheCatalogue().list;
    if (index < 0 || uint32_t(index) >= list.size())
        return *empty;
    return list[size_t(index)]->mPaths[fileId & 3];
}

}  // namespace Tavo
