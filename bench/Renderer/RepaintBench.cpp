// A full repaint of an 800 x 600 window picture through the renderer, against
// plain Cairo and Pango drawing the same picture with the same font options.
// Both run interleaved in one benchmark; "ratio" is renderer time over plain time.

#include "Renderer/Font.h"
#include "Renderer/Gdi/GDIRenderer.h"

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <chrono>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;

struct Box
{
    int32_t x, y, w, h;
};

// Panels, framed buttons, labels and a progress bar, as the updater's window has them.
struct Picture
{
    std::vector<Box> panels;
    std::vector<Box> buttons;
    std::vector<std::pair<Box, WString>> labels;
    Box bar{40, 540, 720, 20};
    Picture()
    {
        for (int i = 0; i < 6; ++i)
            panels.push_back({10 + (i % 3) * 260, 10 + (i / 3) * 260, 250, 250});
        for (int i = 0; i < 10; ++i)
            buttons.push_back({20 + (i % 5) * 150, 470 + (i / 5) * 30, 140, 26});
        const char16_t* texts[] = {u"Firmware version",
                                   u"UPDATE FIRMWARE",
                                   u"Device found: k620 Zenta",
                                   u"Connect the device",
                                   u"残り 5 分",
                                   u"Ready",
                                   u"Exit"};
        for (int i = 0; i < 35; ++i)
            labels.push_back({{20 + (i % 5) * 150, 20 + (i / 5) * 60, 140, 20}, WString(texts[i % 7])});
    }
};

ColorRGBA Colour(uint32_t argb)
{
    ColorRGBA c;
    c.FromARGB(argb);
    return c;
}

// Each box drawn the way controls draw: under a pushed clip with its origin moved to it.
void PaintWithRenderer(LGDIRenderer& r, const RCPtr<LRenderContextInfo>& context, const Picture& p,
                       const RCPtr<LFont>& font, float progress)
{
    context->dirtyRegion = RectRegion();
    context->dirtyRegion.AddRect(RectT<int32_t>{0, 0, kWidth, kHeight});
    r.RenderStart(context);
    r.FillRect({0, 0, kWidth, kHeight}, Colour(0xFFECE9D8), true);
    const auto inBox = [&](const Box& b, auto&& draw) {
        r.PushClip({double(b.x), double(b.y), double(b.w), double(b.h)},
                   {double(b.x), double(b.y), double(b.w), double(b.h)}, nullptr, true);
        draw();
        r.PopState();
    };
    for (const Box& b : p.panels)
        inBox(b, [&] {
            r.FillAndFrameRect({0, 0, b.w - 1, b.h - 1}, Colour(0xFFD4D0C8), Colour(0xFF808080), 1);
        });
    for (const Box& b : p.buttons)
        inBox(b, [&] {
            r.FillAndFrameRect({0, 0, b.w - 1, b.h - 1}, Colour(0xFFF0F0F0), Colour(0xFF404040), 1);
        });
    for (const auto& [b, text] : p.labels)
        inBox(b, [&] { r.DrawText(text, font, {2, 15}, Colour(0xFF000000)); });
    inBox(p.bar, [&] {
        r.FillRect({0, 0, p.bar.w, p.bar.h}, Colour(0xFFFFFFFF), true);
        r.FillRect({0, 0, int32_t(p.bar.w * progress), p.bar.h}, Colour(0xFF3060C0), true);
        r.DrawRect({0, 0, p.bar.w - 1, p.bar.h - 1}, Colour(0xFF404040), 1);
    });
    r.RenderFinish(context);
}

// The same picture straight on Cairo and Pango.
struct PlainPainter
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    PangoLayout* layout = nullptr;
    int baseline = 0;

    explicit PlainPainter(double pixelSize)
    {
        PangoFontMap* map = pango_cairo_font_map_new();
        PangoContext* context = pango_font_map_create_context(map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, FALSE);
        layout = pango_layout_new(context);
        PangoFontDescription* d = pango_font_description_from_string("Arial");
        pango_font_description_set_absolute_size(d, pixelSize * PANGO_SCALE);
        pango_layout_set_font_description(layout, d);
        pango_font_description_free(d);
        g_object_unref(context);
        g_object_unref(map);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    }
    ~PlainPainter()
    {
        g_object_unref(layout);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    void Fill(uint32_t argb, double x, double y, double w, double h)
    {
        cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                              (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    }
    void Frame(uint32_t argb, double x, double y, double w, double h)
    {
        cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                              (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, x + 0.5, y + 0.5, w, h);
        cairo_stroke(cr);
    }
    void Paint(const Picture& p, const std::vector<std::string>& texts, float progress)
    {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        Fill(0xFFECE9D8, 0, 0, kWidth, kHeight);
        const auto inBox = [&](const Box& b, auto&& draw) {
            cairo_save(cr);
            cairo_rectangle(cr, b.x, b.y, b.w, b.h);
            cairo_clip(cr);
            cairo_translate(cr, b.x, b.y);
            draw();
            cairo_restore(cr);
        };
        for (const Box& b : p.panels)
            inBox(b, [&] {
                Fill(0xFFD4D0C8, 0, 0, b.w - 1, b.h - 1);
                Frame(0xFF808080, 0, 0, b.w - 1, b.h - 1);
            });
        for (const Box& b : p.buttons)
            inBox(b, [&] {
                Fill(0xFFF0F0F0, 0, 0, b.w - 1, b.h - 1);
                Frame(0xFF404040, 0, 0, b.w - 1, b.h - 1);
            });
        for (size_t i = 0; i < p.labels.size(); ++i)
            inBox(p.labels[i].first, [&] {
                cairo_set_source_rgba(cr, 0, 0, 0, 1);
                pango_layout_set_text(layout, texts[i].c_str(), int(texts[i].size()));
                cairo_move_to(cr, 2,
                              14.0 - baseline - pango_layout_get_baseline(layout) / double(PANGO_SCALE));
                pango_cairo_show_layout(cr, layout);
            });
        inBox(p.bar, [&] {
            Fill(0xFFFFFFFF, 0, 0, p.bar.w, p.bar.h);
            Fill(0xFF3060C0, 0, 0, p.bar.w * progress, p.bar.h);
            Frame(0xFF404040, 0, 0, p.bar.w - 1, p.bar.h - 1);
        });
        cairo_surface_flush(surface);
    }
};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_FullRepaintAgainstPlainCairo(benchmark::State& state)
{
    const Picture picture;
    RCPtr<LFont> font = LFont::FindOrCreate(u"Arial", 9, 0);
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context;
    renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    PlainPainter plain(9 * 96.0 / 72.0);
    std::vector<std::string> texts;
    for (const auto& label : picture.labels)
        texts.push_back(NString(label.second).c_str());
    // Warm both: fonts, glyph caches, surfaces.
    PaintWithRenderer(*renderer, context, picture, font, 0.5f);
    plain.Paint(picture, texts, 0.5f);
    double rendererSeconds = 0;
    double plainSeconds = 0;
    float progress = 0;
    for (auto _ : state) {
        progress = progress >= 1 ? 0 : progress + 0.01f;
        auto start = std::chrono::steady_clock::now();
        PaintWithRenderer(*renderer, context, picture, font, progress);
        rendererSeconds += Seconds(start);
        start = std::chrono::steady_clock::now();
        plain.Paint(picture, texts, progress);
        plainSeconds += Seconds(start);
    }
    state.counters["renderer_ms"] = 1000 * rendererSeconds / double(state.iterations());
    state.counters["plain_ms"] = 1000 * plainSeconds / double(state.iterations());
    state.counters["ratio"] = rendererSeconds / plainSeconds;
}
BENCHMARK(BM_FullRepaintAgainstPlainCairo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_UnblendedFillAgainstCairoSourceFill(benchmark::State& state)
{
    RCPtr<LGDIRenderer> renderer(new LGDIRenderer());
    RCPtr<LRenderContextInfo> context;
    renderer->InitRenderContextInfo({0, 0, kWidth, kHeight}, nullptr, true, context);
    renderer->RenderStart(context);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    double rendererSeconds = 0;
    double plainSeconds = 0;
    uint32_t n = 0;
    for (auto _ : state) {
        const float shade = float(++n % 255) / 255.0f;
        auto start = std::chrono::steady_clock::now();
        renderer->FillRect({0, 0, kWidth, kHeight}, {shade, 0.5f, 0.25f, 0.75f}, false);
        rendererSeconds += Seconds(start);
        start = std::chrono::steady_clock::now();
        cairo_t* cr = cairo_create(surface);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgba(cr, shade, 0.5, 0.25, 0.75);
        cairo_rectangle(cr, 0, 0, kWidth, kHeight);
        cairo_fill(cr);
        cairo_destroy(cr);
        plainSeconds += Seconds(start);
    }
    renderer->RenderFinish(context);
    cairo_surface_destroy(surface);
    state.counters["renderer_us"] = 1e6 * rendererSeconds / double(state.iterations());
    state.counters["plain_us"] = 1e6 * plainSeconds / double(state.iterations());
    state.counters["ratio"] = rendererSeconds / plainSeconds;
}
BENCHMARK(BM_UnblendedFillAgainstCairoSourceFill)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace
