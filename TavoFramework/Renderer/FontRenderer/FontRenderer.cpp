#include "Renderer/FontRenderer/FontRenderer.h"

#include "ObjectBase/Result.h"
#include "Platform/Graphics/FontFolders.h"
#include "Renderer/FontRenderer/FontFileInfo.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CACHE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tavo {

namespace {

struct FreetypeState
{
    FT_Library library = nullptr;
    FTC_Manager manager = nullptr;
    FTC_CMapCache cmapCache = nullptr;
    FTC_ImageCache imageCache = nullptr;
    // Faces fontconfig chose for characters the requested faces lack, and
    // the choice per style and character (-1: none has it).
    std::vector<Platform::FallbackFace> fallbacks;
    std::unordered_map<uint64_t, int32_t> fallbackFor;
};

FreetypeState& State()
{
    static FreetypeState* state = new FreetypeState;
    return *state;
}

// File id 0 is a valid id, but the cache treats its face ids as pointers:
// offset by one so no face id is null. Fallback faces count down from -1.
FTC_FaceID ToFaceId(int32_t fileId)
{
    return reinterpret_cast<FTC_FaceID>(intptr_t(fileId) + 1);
}
int32_t FromFaceId(FTC_FaceID id)
{
    return int32_t(reinterpret_cast<intptr_t>(id) - 1);
}
FTC_FaceID FallbackFaceId(int32_t index)
{
    return reinterpret_cast<FTC_FaceID>(-intptr_t(index) - 1);
}

FT_Error RequestFace(FTC_FaceID faceId, FT_Library library, FT_Pointer, FT_Face* face)
{
    const intptr_t id = reinterpret_cast<intptr_t>(faceId);
    if (id < 0) {
        const auto& fallbacks = State().fallbacks;
        const size_t index = size_t(-id - 1);
        if (index >= fallbacks.size())
            return FT_Err_Cannot_Open_Resource;
        return FT_New_Face(library, fallbacks[index].path.c_str(), fallbacks[index].index, face);
    }
    const WString& path = LFontFileInfo::GetFilePath(FromFaceId(faceId));
    const NString narrow(path);
    // Always the first face, also of a collection.
    return FT_New_Face(library, narrow.c_str(), 0, face);
}

FT_Size LookupSize(FTC_FaceID faceId, float points)
{
    FreetypeState& s = State();
    if (!s.manager)
        return nullptr;
    FTC_ScalerRec scaler{};
    scaler.face_id = faceId;
    scaler.width = 0;
    scaler.height = FT_UInt(points * 64.0f);
    scaler.pixel = 0;
    scaler.x_res = 96;
    scaler.y_res = 96;
    FT_Size size = nullptr;
    if (FTC_Manager_LookupSize(s.manager, &scaler, &size) != 0)
        return nullptr;
    return size;
}

FT_Size LookupSize(const RCPtr<LFont>& font)
{
    if (!State().manager)
        return nullptr;
    return LookupSize(ToFaceId(LFontFileInfo::GetFileID(font)), font->GetSize());
}

// The face, at the font's size, that fontconfig offers for a character the
// font's own face lacks; null when none has it.
FT_Face FallbackFace(const RCPtr<LFont>& font, uint32_t codePoint)
{
    FreetypeState& s = State();
    const uint64_t key = uint64_t(uint32_t(font->GetStyle() & 3)) << 32 | codePoint;
    auto known = s.fallbackFor.find(key);
    if (known == s.fallbackFor.end()) {
        int32_t chosen = -1;
        Platform::FallbackFace face;
        if (Platform::FindFallbackFace(NString(font->GetFace()).c_str(), font->GetStyle(), codePoint, face)) {
            for (size_t i = 0; i < s.fallbacks.size() && chosen < 0; ++i)
                if (s.fallbacks[i].path == face.path && s.fallbacks[i].index == face.index)
                    chosen = int32_t(i);
            if (chosen < 0) {
                chosen = int32_t(s.fallbacks.size());
                s.fallbacks.push_back(face);
            }
        }
        known = s.fallbackFor.emplace(key, chosen).first;
    }
    if (known->second < 0)
        return nullptr;
    FT_Size size = LookupSize(FallbackFaceId(known->second), font->GetSize());
    return size ? size->face : nullptr;
}

// One character of UTF-16 text from index i: a surrogate pair is one code
// point; last is the index of its final unit.
uint32_t CodePointAt(const char16_t* units, uint32_t length, uint32_t i, uint32_t& last)
{
    last = i;
    const uint32_t unit = units[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < length && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
        last = i + 1;
        return 0x10000 + ((unit - 0xD800) << 10) + (uint32_t(units[i + 1]) - 0xDC00);
    }
    return unit;
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

constexpr FT_Pos kLargestBitmapSide = 4096;

// FreeType takes sizes up to 65535 pixels per em. Larger text is measured
// at a size it takes and scaled, as the GDI+ side scales its laid-out text;
// sizes beyond any surface stop at a finite scale.
constexpr float kLargestPoints = 49151.0f;
constexpr float kMeasuredPoints = 8192.0f;
constexpr float kMostPoints = 7.5e6f;

// The factor from the stand-in font to the font; 0 when the font is taken as it is.
float StandInScale(const LFont& font)
{
    const float size = font.GetSize();
    return size > kLargestPoints ? std::min(size, kMostPoints) / kMeasuredPoints : 0.0f;
}

RCPtr<LFont> StandIn(const LFont& font)
{
    return LFont::FindOrCreate(font.GetFace(), kMeasuredPoints, font.GetStyle());
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
    record.wide = true;
    record.wideAdvanceX = int32_t(face->glyph->advance.x);
    record.wideAdvanceY = int32_t(face->glyph->advance.y);
    FT_BBox box{};
    if (need & (LGlyphProcessor::kNeedBox | LGlyphProcessor::kNeedBitmap)) {
        FT_Glyph_Get_CBox(object, FT_GLYPH_BBOX_PIXELS, &box);
        record.left = int8_t(box.xMin);
        record.top = int8_t(-box.yMax);
        record.right = int8_t(box.xMax);
        record.bottom = int8_t(-box.yMin);
        record.wideLeft = int32_t(box.xMin);
        record.wideTop = int32_t(-box.yMax);
        record.wideRight = int32_t(box.xMax);
        record.wideBottom = int32_t(-box.yMin);
    }
    if (need & LGlyphProcessor::kNeedBitmap) {
        // A glyph thousands of pixels across is rasterised smaller, so that
        // its bitmap stays a few megabytes; the processor stretches it.
        const FT_Pos span = std::max(box.xMax - box.xMin, box.yMax - box.yMin);
        if (span > kLargestBitmapSide && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            const FT_Pos factor = (span + kLargestBitmapSide - 1) / kLargestBitmapSide;
            FT_Matrix shrink{0x10000 / factor, 0, 0, 0x10000 / factor};
            FT_Outline_Transform(&face->glyph->outline, &shrink);
            record.bitmapScale = int32_t(factor);
        }
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
    s.library = nullptr;
    s.manager = nullptr;
    s.cmapCache = nullptr;
    s.imageCache = nullptr;
    s.fallbacks.clear();
    s.fallbackFor.clear();
    LFontFileInfo::Clear();
}

void LFreetypeFontRenderer::MeasureString(RectT<float>& out, const WString& text, const RCPtr<LFont>& font)
{
    const float k = font ? StandInScale(*font) : 0.0f;
    if (k == 0) {
        LFontRenderer::MeasureString(out, text, font);
        return;
    }
    LFontRenderer::MeasureString(out, text, StandIn(*font));
    out = {out.x * k, out.y * k, out.width * k, out.height * k};
}

TavoResult LFreetypeFontRenderer::GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                                                 int32_t& descent)
{
    FT_Size size = LookupSize(font);
    if (!size) {
        const float k = StandInScale(*font);
        if (k > 0 && GetFontMetrics(StandIn(*font), lineHeight, top, descent) == S_OK) {
            lineHeight = int32_t(std::lround(float(lineHeight) * k));
            top = int32_t(std::lround(float(top) * k));
            descent = int32_t(std::lround(float(descent) * k));
            return S_OK;
        }
        return E_FAIL;
    }
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
    bool previousOwn = false;
    processor->BeginText(font, flags);
    const uint32_t length = text.GetLength();
    const char16_t* units = text.c_str();
    uint32_t walked = length;
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t last = i;
        record.character = CodePointAt(units, length, i, last);
        record.glyphIndex = 0;
        record.bitmap = nullptr;
        record.left = record.top = record.right = record.bottom = 0;
        record.advanceX = record.advanceY = 0;
        record.wide = false;
        record.bitmapScale = 1;

        const uint16_t need = processor->QueryGlyph(record);
        // A character the face lacks comes from a face fontconfig offers for it.
        FT_Face glyphFace = face;
        FT_UInt glyph = need ? FT_Get_Char_Index(face, record.character) : record.glyphIndex;
        if (need && glyph == 0) {
            FT_Face other = FallbackFace(font, record.character);
            // Looking the other face up may have pushed this one's size
            // out of the cache.
            size = LookupSize(font);
            if (!size)
                break;
            face = size->face;
            if (other) {
                glyphFace = other;
                glyph = FT_Get_Char_Index(other, record.character);
            }
        }
        if (glyph == 0) {
            i = last;
            continue;
        }
        // Kerning pairs only glyphs of the font's own face.
        const bool own =
            glyphFace == face && (need || !hasKerning || FT_Get_Char_Index(face, record.character) == glyph);

        FT_Glyph object = nullptr;
        if (need && !LoadGlyph(glyphFace, glyph, need, font->GetSize(), record, object)) {
            record.position = last + 1;
            i = last;
            continue;
        }
        const int32_t left = record.wide ? record.wideLeft : record.left;
        if (hasKerning) {
            if (previous != 0) {
                FT_Vector kerning{};
                if (own && previousOwn &&
                    FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kerning) == 0)
                    record.penX += float(kerning.x) / 64.0f;
            } else if (left < 0) {
                record.penX -= float(left);
            }
        }
        // Compared with the limit itself: a walk stopping at any glyph with
        // a right edge would make every limit useless.
        const int32_t right = record.wide ? record.wideRight : record.right;
        if (maxWidth > 0 && record.penX + float(right) > maxWidth) {
            if (object)
                FT_Done_Glyph(object);
            walked = last + 1;
            break;
        }
        processor->AddGlyph(record);
        if (object)
            FT_Done_Glyph(object);
        record.penX += float(record.wide ? record.wideAdvanceX : record.advanceX) / 64.0f;
        record.penY += float(record.wide ? record.wideAdvanceY : record.advanceY) / 64.0f;
        previous = glyph;
        previousOwn = own;
        record.position = last + 1;
        i = last;
    }
    processor->EndText();
    return walked;
}

}  // namespace Tavo
