#include "Renderer/FontRenderer/FontRenderer.h"

#include "ObjectBase/Result.h"
#include "Renderer/FontRenderer/FontFileInfo.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CACHE_H
#include FT_GLYPH_H

#include <algorithm>

namespace Tavo {

namespace {

struct FreetypeState
{
    FT_Library library = nullptr;
    FTC_Manager manager = nullptr;
    FTC_CMapCache cmapCache = nullptr;
    FTC_ImageCache imageCache = nullptr;
};

FreetypeState& State()
{
    static FreetypeState* state = new FreetypeState;
    return *state;
}

// File id 0 is a valid id, but the cache treats its face ids as pointers:
// offset by one so no face id is null.
FTC_FaceID ToFaceId(int32_t fileId)
{
    return reinterpret_cast<FTC_FaceID>(intptr_t(fileId) + 1);
}
int32_t FromFaceId(FTC_FaceID id)
{
    return int32_t(reinterpret_cast<intptr_t>(id) - 1);
}

FT_Error RequestFace(FTC_FaceID faceId, FT_Library library, FT_Pointer, FT_Face* face)
{
    const WString& path = LFontFileInfo::GetFilePath(FromFaceId(faceId));
    const NString narrow(path);
    // Always the first face, also of a collection.
    return FT_New_Face(library, narrow.c_str(), 0, face);
}

FT_Size LookupSize(const RCPtr<LFont>& font)
{
    FreetypeState& s = State();
    if (!s.manager)
        return nullptr;
    FTC_ScalerRec scaler{};
    scaler.face_id = ToFaceId(LFontFileInfo::GetFileID(font));
    scaler.width = 0;
    scaler.height = FT_UInt(font->GetSize() * 64.0f);
    scaler.pixel = 0;
    scaler.x_res = 96;
    scaler.y_res = 96;
    FT_Size size = nullptr;
    if (FTC_Manager_LookupSize(s.manager, &scaler, &size) != 0)
        return nullptr;
    return size;
}

RCPtr<LPixelBuffer<unsigned char>> CopyBitmap(const FT_Bitmap& bitmap)
{
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
        return RCPtr<LPixelBuffer<unsigned char>>(
            new LPixelBuffer<unsigned char>(bitmap.width, bitmap.rows, bitmap.pitch, bitmap.buffer));
    RCPtr<LPixelBuffer<unsigned char>> buffer(
        new LPixelBuffer<unsigned char>(bitmap.width, bitmap.rows, int32_t(bitmap.width)));
    unsigned char* out = buffer->GetPixels();
    for (uint32_t r = 0; r < bitmap.rows; ++r) {
        const unsigned char* row = bitmap.buffer + int64_t(r) * bitmap.pitch;
        for (uint32_t c = 0; c < bitmap.width; ++c)
            out[size_t(r) * bitmap.width + c] = (row[c / 8] & (0x80 >> (c % 8))) ? 255 : 0;
    }
    return buffer;
}

// Fills in what the processor asked for of one glyph: metrics, box, bitmap.
// False when FreeType cannot give it; nothing is left to free then.
bool LoadGlyph(FT_Face face, FT_UInt glyph, uint16_t need, float fontSize,
               LGlyphProcessor::SGlyphRecord& record, FT_Glyph& object)
{
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0 || FT_Get_Glyph(face->glyph, &object) != 0)
        return false;
    record.glyphIndex = glyph;
    record.advanceX = int16_t(face->glyph->advance.x);
    record.advanceY = int16_t(face->glyph->advance.y);
    if (need & (LGlyphProcessor::kNeedBox | LGlyphProcessor::kNeedBitmap)) {
        FT_BBox box;
        FT_Glyph_Get_CBox(object, FT_GLYPH_BBOX_PIXELS, &box);
        record.left = int8_t(box.xMin);
        record.top = int8_t(-box.yMax);
        record.right = int8_t(box.xMax);
        record.bottom = int8_t(-box.yMin);
    }
    if (need & LGlyphProcessor::kNeedBitmap) {
        const FT_Render_Mode mode = fontSize >= 8.0f ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
        const FT_Render_Mode other =
            mode == FT_RENDER_MODE_NORMAL ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
        if (FT_Render_Glyph(face->glyph, mode) != 0 && FT_Render_Glyph(face->glyph, other) != 0) {
            FT_Done_Glyph(object);
            object = nullptr;
            return false;
        }
        record.bitmap = CopyBitmap(face->glyph->bitmap);
    }
    return true;
}

}  // namespace

void LFontRenderer::MeasureString(RectT<float>& out, const WString& text, const RCPtr<LFont>& font)
{
    ProcessGlyphs(text, font, mSecond, 0, 0.0f, 3);
    float left = 0, top = 0, right = 0, bottom = 0;
    GetProcessedBounds(left, top, right, bottom);
    const float t = float(font->GetTop());
    const float d = float(font->GetDescent());
    out.x = left;
    out.y = std::min(top, t);
    out.width = right + 1 - left;
    out.height = std::max(bottom, d) - out.y;
}

void LFontRenderer::GetProcessedBounds(float& left, float& top, float& right, float& bottom)
{
    if (!mSecond) {
        left = top = right = bottom = 0;
        return;
    }
    mSecond->GetBounds(left, top, right, bottom);
}

LFreetypeFontRenderer::LFreetypeFontRenderer(const RCPtr<LGlyphProcessor>& first,
                                             const RCPtr<LGlyphProcessor>& second)
    : LFontRenderer(first, second)
{
    LFontFileInfo::ScanSystemFonts();
    FreetypeState& s = State();
    if (FT_Init_FreeType(&s.library) != 0) {
        s.library = nullptr;
        return;
    }
    if (FTC_Manager_New(s.library, 8, 16, 4194304, &RequestFace, this, &s.manager) != 0) {
        s.manager = nullptr;
        return;
    }
    if (FTC_CMapCache_New(s.manager, &s.cmapCache) != 0) {
        s.cmapCache = nullptr;
        return;
    }
    if (FTC_ImageCache_New(s.manager, &s.imageCache) != 0)
        s.imageCache = nullptr;
}

LFreetypeFontRenderer::~LFreetypeFontRenderer()
{
    FreetypeState& s = State();
    if (s.manager)
        FTC_Manager_Done(s.manager);
    if (s.library)
        FT_Done_FreeType(s.library);
    s = FreetypeState{};
    LFontFileInfo::Clear();
}

TavoResult LFreetypeFontRenderer::GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                                                 int32_t& descent)
{
    FT_Size size = LookupSize(font);
    if (!size)
        return E_FAIL;
    const FT_Size_Metrics& m = size->metrics;
    top = -int32_t(m.ascender >> 6);
    descent = -int32_t(m.descender >> 6);
    lineHeight = std::max(int32_t(m.height >> 6), int32_t(96.0f * font->GetSize() / 72.0f));
    if (lineHeight < descent - top)
        lineHeight = descent - top;
    return S_OK;
}

uint32_t LFreetypeFontRenderer::ProcessGlyphs(const WString& text, const RCPtr<LFont>& font,
                                              const RCPtr<LGlyphProcessor>& processor, uint32_t start,
                                              float maxWidth, uint32_t flags)
{
    FT_Size size = LookupSize(font);
    if (!size)
        return 0;
    FT_Face face = size->face;
    const bool hasKerning = FT_HAS_KERNING(face);

    LGlyphProcessor::SGlyphRecord record;
    record.position = start;
    FT_UInt previous = 0;
    processor->BeginText(font, flags);
    const uint32_t length = text.GetLength();
    const char16_t* units = text.c_str();
    uint32_t walked = length;
    for (uint32_t i = 0; i < length; ++i) {
        record.character = units[i];
        record.glyphIndex = 0;
        record.bitmap = nullptr;
        record.left = record.top = record.right = record.bottom = 0;
        record.advanceX = record.advanceY = 0;

        const uint16_t need = processor->QueryGlyph(record);
        const FT_UInt glyph = need ? FT_Get_Char_Index(face, record.character) : record.glyphIndex;
        if (glyph == 0)
            continue;

        FT_Glyph object = nullptr;
        if (need && !LoadGlyph(face, glyph, need, font->GetSize(), record, object)) {
            record.position = i + 1;
            continue;
        }
        if (hasKerning) {
            if (previous != 0) {
                FT_Vector kerning{};
                if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kerning) == 0)
                    record.penX += float(kerning.x) / 64.0f;
            } else if (record.left < 0) {
                record.penX -= float(record.left);
            }
        }
        // Compared with the limit itself: a walk stopping at any glyph with
        // a right edge would make every limit useless.
        if (maxWidth > 0 && record.penX + float(record.right) > maxWidth) {
            if (object)
                FT_Done_Glyph(object);
            walked = i + 1;
            break;
        }
        processor->AddGlyph(record);
        if (object)
            FT_Done_Glyph(object);
        record.penX += float(record.advanceX) / 64.0f;
        record.penY += float(record.advanceY) / 64.0f;
        previous = glyph;
        record.position = i + 1;
    }
    processor->EndText();
    return walked;
}

}  // namespace Tavo
