#include "BaselinePicture.h"

#include <cairo.h>
#include <pango/pangocairo.h>
#include <cstdio>

namespace Baseline {

namespace {

void Rgb(cairo_t* cr, unsigned rgb)
{
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

void Gradient(cairo_t* cr, double x, double y, double w, double h, unsigned top, unsigned bottom)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(p, 0, ((top >> 16) & 0xFF) / 255.0, ((top >> 8) & 0xFF) / 255.0,
                                     (top & 0xFF) / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, ((bottom >> 16) & 0xFF) / 255.0, ((bottom >> 8) & 0xFF) / 255.0,
                                     (bottom & 0xFF) / 255.0);
    cairo_set_source(cr, p);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// Text in a box, wrapped to its width; align 0 left, 0.5 centred; valign
// likewise from the top.
void Text(cairo_t* cr, PangoLayout* layout, const char* text, double x, double y, double w, double h,
          double align, double valign, unsigned rgb)
{
    pango_layout_set_text(layout, text, -1);
    pango_layout_set_width(layout, int(w * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    Rgb(cr, rgb);
    cairo_move_to(cr, x + (w - tw) * align, y + (h - th) * valign);
    pango_cairo_show_layout(cr, layout);
}

void Button(cairo_t* cr, PangoLayout* layout, const char* text, double x, double y, double w, double h)
{
    Gradient(cr, x, y, w, h, 0x4A4A52, 0x34343A);
    Text(cr, layout, text, x + 4, y, w - 8, h, 0.5, 0.5, 0xF0F0F0);
}

}  // namespace

void PaintPicture(cairo_t* cr, int width, int height)
{
    Gradient(cr, 0, 0, width, height, 0x24242A, 0x18181C);
    Gradient(cr, 0, 0, width, 42, 0x3A3A44, 0x26262C);
    Rgb(cr, 0xE8A317);
    cairo_rectangle(cr, 0, 42, width, 2);
    cairo_fill(cr);

    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Arial 8.25");
    pango_layout_set_font_description(layout, font);
    pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);

    Text(cr, layout, "K620 ZENTA Firmware Updater", 20, 0, 520, 42, 0, 0.5, 0xE8A317);
    Text(cr, layout, "  ", 20, 54, 520, 32, 0, 0, 0xF0F0F0);
    Text(cr, layout, "Device's current firmware version: 0.0.3.6", 20, 90, 520, 16, 0, 0, 0xF0F0F0);
    Text(cr, layout, "Update to firmware version: 0.0.3.7", 20, 108, 520, 16, 0, 0, 0xF0F0F0);
    Text(cr, layout, "Click the \"UPDATE FIRMWARE\" button to start the update process.", 20, 152, 520, 100,
         0, 0, 0xF0F0F0);
    Button(cr, layout, "UPDATE FIRMWARE", 190, 318, 180, 32);
    Button(cr, layout, "EXIT", 410, 318, 130, 32);
    Text(cr, layout, "Updater: 1.0.6", 20, 360, 520, 16, 0, 0, 0xF0F0F0);

    pango_font_description_free(font);
    g_object_unref(layout);
}

void PaintProgress(cairo_t* cr, double fraction, int secondsLeft)
{
    Rgb(cr, 0x2C2C32);
    cairo_rectangle(cr, kBarX, kBarY, kBarWidth, kBarHeight);
    cairo_fill(cr);
    Rgb(cr, 0x141416);
    cairo_rectangle(cr, kBarX + 2, kBarY + 2, kBarWidth - 4, kBarHeight - 4);
    cairo_fill(cr);
    const int fill = int(kBarWidth * fraction + 0.5);
    if (fill >= 1) {
        Rgb(cr, 0x844600);
        cairo_rectangle(cr, kBarX + 4, kBarY + 4, fill < kBarWidth - 4 ? fill : kBarWidth - 4,
                        kBarHeight - 8);
        cairo_fill(cr);
    }

    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Arial 8.25");
    pango_layout_set_font_description(layout, font);
    char text[64];
    std::snprintf(text, sizeof text, "%d", int(fraction * 100.0 + 0.5));
    Text(cr, layout, text, kBarX + 122, kBarY + 6, 60, 20, 1, 0.5, 0xFFFFFF);
    Text(cr, layout, "%", kBarX + 180, kBarY + 6, 20, 20, 0, 0.5, 0xFFFFFF);
    std::snprintf(text, sizeof text, "%d Seconds Remaining", secondsLeft);
    Text(cr, layout, text, kBarX + 6, kBarY + 26, 348, 20, 0.5, 0.5, 0xFFFFFF);
    pango_font_description_free(font);
    g_object_unref(layout);
}

}  // namespace Baseline
