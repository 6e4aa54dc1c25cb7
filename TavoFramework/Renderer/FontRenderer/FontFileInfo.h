#pragma once

#include "ObjectBase/RCPtr.h"
#include "ObjectBase/Result.h"
#include "Renderer/Font.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

// One font family of the installed font files: the file of each face style
// (0 regular, 1 bold, 2 italic, 3 bold italic). The process-wide catalogue of
// these turns a face name and style into a file id, (entry id << 2) | style,
// which the FreeType font renderer uses as its face id.
class LFontFileInfo : public virtual LRefCountedObject
{
public:
    explicit LFontFileInfo(int32_t id) : mId(id) {}

    const WString& GetFamilyName() const { return mFamily; }
    const WString& GetPath(uint32_t style) const { return mPaths[style & 3]; }
    int32_t GetId() const { return mId; }

    // Empties and rebuilds the catalogue from the font folders: S_OK once
    // the folders were read, E_FAIL when there are none.
    static TavoResult ScanSystemFonts();
    // Reads the families of one .ttf or .ttc file into the catalogue; a file
    // that does not open is skipped. Throws when a read inside it fails.
    static void ScanFile(const WString& path);
    // The file id for a face name and style; a face not in the catalogue
    // is looked up as the family fontconfig serves for it, then as the
    // application's default face. Throws when none is found.
    static int32_t GetFileID(const WString& face, int32_t style);
    static int32_t GetFileID(const RCPtr<LFont>& font)
    {
        return GetFileID(font->GetFace(), font->GetStyle());
    }
    // The path for a file id; the shared empty string when out of range.
    static const WString& GetFilePath(int32_t fileId);
    // Empties the font-to-file map, then the list.
    static void Clear();
    static uint32_t GetCount();
    static RCPtr<LFontFileInfo> GetAt(uint32_t index);
    static RCPtr<LFontFileInfo> AppendNew();

private:
    static void Register(const WString& family, const WString& style, const WString& path);

    WString mFamily;
    WString mPaths[4];
    int32_t mId;
    // The regular slot holds a face whose style is plainly regular.
    bool mTrueRegular = false;
};

}  // namespace Tavo
