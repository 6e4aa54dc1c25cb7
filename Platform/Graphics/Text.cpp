#include "Platform/Graphics/Text.h"

#include "Platform/Graphics/FontConfiguration.h"
#include "Platform/Graphics/Graphics.h"

#include <cairo-ft.h>
#include <pango/pangocairo.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <string_view>
#include <system_error>
#include <thread>

namespace Tavo::Platform::Graphics {

namespace {

struct TextEngine
{
    PangoFontMap* map;
    PangoContext* context;
};

// A private font map and context, made on first use and kept for the process.
TextEngine& Engine()
{
    static TextEngine* engine = [] {
        // Before the font map, whose own loading thread then finds it loaded
        // and so never races our fontconfig calls (the system font, font files).
        WaitForFontConfig();
        auto* e = new TextEngine;
        e->map = pango_cairo_font_map_new();
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(e->map), 96.0);
        e->context = pango_font_map_create_context(e->map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(e->context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(e->context, FALSE);
        return e;
    }();
    return *engine;
}

}  // namespace

void PrepareText()
{
    try {
        std::thread([] { Engine(); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the first text makes it.
    }
}

namespace {

// Pango would start a new line at "\r" and widen "\t".
std::string WithoutControls(const char* utf8)
{
    std::string out;
    for (const char* p = utf8; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != 0x7F)
            out.push_back(*p);
    }
    return out;
}

void ReadMetrics(PangoFontDescription* description, FaceMetrics& metrics)
{
    TextEngine& e = Engine();
    PangoFont* font = pango_font_map_load_font(e.map, e.context, description);
    if (!font)
        return;
    cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    FT_Face face = scaled ? cairo_ft_scaled_font_lock_face(scaled) : nullptr;
    if (face) {
        metrics.family = face->family_name ? face->family_name : "";
        metrics.unitsPerEm = face->units_per_EM;
        metrics.cellAscent = face->ascender;
        metrics.cellDescent = -face->descender;
        metrics.lineSpacing = face->height;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            metrics.cellAscent = os2->usWinAscent;
            metrics.cellDescent = os2->usWinDescent;
        }
        cairo_ft_scaled_font_unlock_face(scaled);
    }
    g_object_unref(font);
}

}  // namespace

TextFont::TextFont(const FontSpec& spec) : mLayout(pango_layout_new(Engine().context))
{
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, spec.family && *spec.family ? spec.family : "sans-serif");
    // Not a number counts as the smallest size; sizes beyond any surface stop at a finite scale.
    double size = std::clamp(spec.pixelSize > 0.01 ? spec.pixelSize : 0.01, 0.01, 1.0e7);
    if (size > kLargestLaidOut) {
        mScale = size / kLargestLaidOut;
        size = kLargestLaidOut;
    }
    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
    pango_font_description_set_weight(description,
                                      (spec.style & 1) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description, (spec.style & 2) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(mLayout, description);
    if (spec.style & (4 | 8)) {
        PangoAttrList* attributes = pango_attr_list_new();
        if (spec.style & 4)
            pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (spec.style & 8)
            pango_attr_list_insert(attributes, pango_attr_strikethrough_new(TRUE));
        pango_layout_set_attributes(mLayout, attributes);
        pango_attr_list_unref(attributes);
    }
    ReadMetrics(description, mMetrics);
    pango_font_description_free(description);
}

TextFont::~TextFont()
{
    for (const Laid& laid : mLaid)
        g_object_unref(laid.layout);
    g_object_unref(mLayout);
}

double TextFont::Prepare(const char* utf8) const
{
    const char* p = utf8;
    while (static_cast<unsigned char>(*p) >= 0x20 && *p != 0x7F)
        ++p;
    std::string cleaned;
    if (*p != 0)
        cleaned = WithoutControls(utf8);
    const std::string_view text =
        *p == 0 ? std::string_view(utf8, size_t(p - utf8)) : std::string_view(cleaned);
    // Labels are drawn again on every repaint that touches them, several
    // with one font: the lines laid out last are kept rather than shaped
    // again.
    ++mUseCount;
    Laid* slot = nullptr;
    for (Laid& laid : mLaid) {
        if (laid.text == text) {
            laid.lastUse = mUseCount;
            mCurrent = laid.layout;
            return laid.baseline;
        }
        if (!slot || laid.lastUse < slot->lastUse)
            slot = &laid;
    }
    if (mLaid.size() < kLaidKept)
        slot = &mLaid.emplace_back(Laid{pango_layout_copy(mLayout), {}, 0, 0});
    slot->text.assign(text);
    slot->lastUse = mUseCount;
    pango_layout_set_text(slot->layout, slot->text.c_str(), static_cast<int>(slot->text.size()));
    slot->baseline = static_cast<double>(pango_layout_get_baseline(slot->layout)) / PANGO_SCALE;
    mCurrent = slot->layout;
    return slot->baseline;
}

double TextFont::MeasureWidth(const char* utf8) const
{
    Prepare(utf8);
    PangoRectangle logical;
    pango_layout_get_extents(mCurrent, nullptr, &logical);
    return static_cast<double>(logical.x + logical.width) / PANGO_SCALE * mScale;
}

int TextFont::CountMissingGlyphs(const char* utf8) const
{
    Prepare(utf8);
    return pango_layout_get_unknown_glyphs_count(mCurrent);
}

void Graphics::DrawText(const TextFont& font, const char* utf8, uint32_t argb, double x, double baseline)
{
    // Far outside the target nothing shows, and Cairo's coordinates would overflow.
    constexpr double kReach = 1 << 22;
    if (std::fabs(x + mWorldX) > kReach || std::fabs(baseline + mWorldY) > kReach)
        return;
    const double ascent = font.Prepare(utf8);
    SetColour(argb);
    cairo_new_path(mCairo);
    if (font.mScale == 1) {
        cairo_move_to(mCairo, x, baseline - ascent);
        pango_cairo_show_layout(mCairo, font.mCurrent);
        return;
    }
    // A font past the laid-out size: the outlines at that size, scaled.
    PangoRectangle logical;
    pango_layout_get_extents(font.mCurrent, nullptr, &logical);
    const double k = font.mScale;
    if ((std::fabs(x + mWorldX) + double(logical.width) / PANGO_SCALE * k) > kReach ||
        (std::fabs(baseline + mWorldY) + double(logical.height) / PANGO_SCALE * k) > kReach)
        return;
    cairo_matrix_t world;
    cairo_get_matrix(mCairo, &world);
    cairo_identity_matrix(mCairo);
    cairo_move_to(mCairo, 0, -ascent);
    pango_cairo_layout_path(mCairo, font.mCurrent);
    cairo_path_t* outlines = cairo_copy_path(mCairo);
    cairo_new_path(mCairo);
    cairo_set_matrix(mCairo, &world);
    cairo_translate(mCairo, x, baseline);
    cairo_scale(mCairo, k, k);
    cairo_append_path(mCairo, outlines);
    cairo_set_matrix(mCairo, &world);
    cairo_path_destroy(outlines);
    cairo_fill(mCairo);
}

}  // namespace Tavo::Platform::Graphics
