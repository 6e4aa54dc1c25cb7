#include "Platform/Graphics/Graphics.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

namespace Tavo::Platform::Graphics {

namespace {

uint32_t* PixelAt(cairo_surface_t* surface, int32_t x, int32_t y)
{
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    return reinterpret_cast<uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride) + x;
}

}  // namespace

Surface::Surface(int32_t width, int32_t height) : mWidth(std::max(width, 1)), mHeight(std::max(height, 1))
{
    mSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, mWidth, mHeight);
    // A failed surface has no pixel buffer: nothing may write through it.
    if (cairo_surface_status(mSurface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mSurface);
        throw SurfaceError("cannot hold a " + std::to_string(mWidth) + " x " + std::to_string(mHeight) +
                           " surface");
    }
}

Surface::Surface(cairo_surface_t* adopted)
    : mSurface(adopted), mWidth(cairo_image_surface_get_width(adopted)),
      mHeight(cairo_image_surface_get_height(adopted))
{
}

std::unique_ptr<Surface> Surface::OverPixels(uint32_t* pixels, int32_t width, int32_t height, int32_t stride)
{
    if (!pixels || width < 1 || height < 1 || stride < width)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_ARGB32, width, height, stride * 4);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::unique_ptr<Surface>(new Surface(surface));
}

std::unique_ptr<Surface> Surface::Adopt(cairo_surface_t* surface)
{
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    // Everything is drawn and read as 32-bit ARGB, whatever the file held.
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        auto converted = std::unique_ptr<Surface>(
            new Surface(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface)));
        cairo_t* cr = cairo_create(converted->mSurface);
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return converted;
    }
    return std::unique_ptr<Surface>(new Surface(surface));
}

namespace {

struct PngReader
{
    const uint8_t* data;
    size_t left;
};

cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int length)
{
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->left)
        return CAIRO_STATUS_READ_ERROR;
    std::copy(reader->data, reader->data + length, out);
    reader->data += length;
    reader->left -= length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::unique_ptr<Surface> Surface::FromPng(const uint8_t* data, size_t size)
{
    if (!data || size == 0)
        return nullptr;
    PngReader reader{data, size};
    return Adopt(cairo_image_surface_create_from_png_stream(&ReadPng, &reader));
}

std::unique_ptr<Surface> Surface::FromPngFile(const char* path)
{
    return Adopt(cairo_image_surface_create_from_png(path));
}

std::unique_ptr<Surface> Surface::FromPixels(int32_t width, int32_t height, const uint32_t* argb)
{
    auto surface = std::make_unique<Surface>(width, height);
    cairo_surface_flush(surface->mSurface);
    for (int32_t y = 0; y < surface->mHeight; ++y) {
        uint32_t* row = PixelAt(surface->mSurface, 0, y);
        for (int32_t x = 0; x < surface->mWidth; ++x) {
            const uint32_t p = argb[static_cast<size_t>(y) * static_cast<size_t>(surface->mWidth) + x];
            const uint32_t a = p >> 24;
            auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
            row[x] = (a << 24) | (mul((p >> 16) & 0xFF) << 16) | (mul((p >> 8) & 0xFF) << 8) | mul(p & 0xFF);
        }
    }
    cairo_surface_mark_dirty(surface->mSurface);
    return surface;
}

std::unique_ptr<Surface> Surface::CopyArea(int32_t x, int32_t y, int32_t width, int32_t height) const
{
    auto copy = std::make_unique<Surface>(width, height);
    cairo_t* cr = cairo_create(copy->mSurface);
    cairo_set_source_surface(cr, mSurface, -x, -y);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    return copy;
}

Surface::~Surface()
{
    cairo_surface_destroy(mSurface);
}

void Surface::SetPixel(int32_t x, int32_t y, uint32_t argb)
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return;
    cairo_surface_flush(mSurface);
    // Cairo keeps premultiplied pixels.
    const uint32_t a = argb >> 24;
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    const uint32_t premultiplied =
        (a << 24) | (mul((argb >> 16) & 0xFF) << 16) | (mul((argb >> 8) & 0xFF) << 8) | mul(argb & 0xFF);
    *PixelAt(mSurface, x, y) = premultiplied;
    cairo_surface_mark_dirty_rectangle(mSurface, x, y, 1, 1);
}

uint32_t Surface::GetPixel(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return 0;
    cairo_surface_flush(mSurface);
    const uint32_t p = *PixelAt(mSurface, x, y);
    const uint32_t a = p >> 24;
    if (a == 0)
        return 0;
    auto unmul = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return (a << 24) | (unmul((p >> 16) & 0xFF) << 16) | (unmul((p >> 8) & 0xFF) << 8) | unmul(p & 0xFF);
}

void Surface::Fill(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t(x) + width, mWidth);
    const int64_t bottom = std::min<int64_t>(int64_t(y) + height, mHeight);
    if (left >= right || top >= bottom)
        return;
    cairo_t* cr = cairo_create(mSurface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
    cairo_rectangle(cr, double(left), double(top), double(right - left), double(bottom - top));
    cairo_fill(cr);
    cairo_destroy(cr);
}

void Surface::Clear()
{
    cairo_t* cr = cairo_create(mSurface);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_destroy(cr);
}

Path::Figure& Path::Open()
{
    if (mFigures.empty() || mFigures.back().closed)
        mFigures.push_back({});
    return mFigures.back();
}

void Path::AddLine(PathPoint from, PathPoint to)
{
    Figure& figure = Open();
    figure.points.push_back(from);
    figure.points.push_back(to);
}

void Path::AddLines(const PathPoint* points, uint32_t count)
{
    Figure& figure = Open();
    figure.points.insert(figure.points.end(), points, points + count);
}

void Path::AddPolygon(const PathPoint* points, uint32_t count)
{
    Figure figure;
    figure.points.assign(points, points + count);
    figure.closed = true;
    mFigures.push_back(std::move(figure));
}

Graphics::Graphics(Surface& target) : mTarget(target), mCairo(cairo_create(target.Native()))
{
    cairo_set_antialias(mCairo, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_cap(mCairo, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(mCairo, CAIRO_LINE_JOIN_MITER);
}

Graphics::~Graphics()
{
    cairo_destroy(mCairo);
}

void Graphics::TranslateWorld(double dx, double dy)
{
    mWorldX += dx;
    mWorldY += dy;
    cairo_translate(mCairo, dx, dy);
}

void Graphics::SetClip(double x, double y, double width, double height)
{
    cairo_reset_clip(mCairo);
    ApplyBaseClip();
    cairo_new_path(mCairo);
    // Cut to the target so that "no clip" stays inside Cairo's coordinate range;
    // one that holds the whole target is no clip at all, which draws faster.
    const double left = x + mWorldX;
    const double top = y + mWorldY;
    // An edge that is no number or infinitely far says nowhere to draw.
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(left + width) ||
        !std::isfinite(top + height)) {
        cairo_rectangle(mCairo, -mWorldX, -mWorldY, 0, 0);
        cairo_clip(mCairo);
        return;
    }
    if (left <= 0 && top <= 0 && left + width >= mTarget.Width() && top + height >= mTarget.Height())
        return;
    if (width > 0 && height > 0 && Fit(x, y, width, height, 1))
        cairo_rectangle(mCairo, x, y, width, height);
    else
        cairo_rectangle(mCairo, -mWorldX, -mWorldY, 0, 0);
    cairo_clip(mCairo);
}

void Graphics::ResetClip()
{
    cairo_reset_clip(mCairo);
    ApplyBaseClip();
}

void Graphics::Reset()
{
    cairo_reset_clip(mCairo);
    cairo_identity_matrix(mCairo);
    mWorldX = 0;
    mWorldY = 0;
    ApplyBaseClip();
}

void Graphics::SetBaseClip(const PixelRect* rects, size_t count)
{
    mBaseClip.assign(rects, rects + count);
    cairo_reset_clip(mCairo);
    ApplyBaseClip();
}

void Graphics::ApplyBaseClip()
{
    if (mBaseClip.empty())
        return;
    // In target pixels, whatever the world translation.
    cairo_matrix_t world;
    cairo_get_matrix(mCairo, &world);
    cairo_identity_matrix(mCairo);
    cairo_new_path(mCairo);
    for (const PixelRect& r : mBaseClip)
        cairo_rectangle(mCairo, r.x, r.y, r.width, r.height);
    cairo_clip(mCairo);
    cairo_set_matrix(mCairo, &world);
}

bool Graphics::Fit(double& x, double& y, double& width, double& height, double margin) const
{
    // In target pixels: the target grown by the margin on every side.
    double left = x + mWorldX;
    double top = y + mWorldY;
    double right = left + width;
    double bottom = top + height;
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    left = std::max(left, -margin);
    top = std::max(top, -margin);
    right = std::min(right, mTarget.Width() + margin);
    bottom = std::min(bottom, mTarget.Height() + margin);
    if (!(left < right) || !(top < bottom))
        return false;
    x = left - mWorldX;
    y = top - mWorldY;
    width = right - left;
    height = bottom - top;
    return true;
}

void Graphics::SetOpacity(double opacity)
{
    mOpacity = !(opacity >= 0) ? 0 : std::min(opacity, 1.0);
}

void Graphics::SetColour(uint32_t argb)
{
    cairo_set_source_rgba(mCairo, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, (argb >> 24) / 255.0 * mOpacity);
}

void Graphics::PaintSource()
{
    if (mOpacity >= 1)
        cairo_paint(mCairo);
    else
        cairo_paint_with_alpha(mCairo, mOpacity);
}

void Graphics::FillRect(uint32_t argb, double x, double y, double width, double height)
{
    if (!Fit(x, y, width, height, 1))
        return;
    SetColour(argb);
    cairo_new_path(mCairo);
    cairo_rectangle(mCairo, x, y, width, height);
    cairo_fill(mCairo);
}

void Graphics::DrawRect(uint32_t argb, float lineWidth, double x, double y, double width, double height)
{
    // An edge moved by the cut stays out of sight beyond the stroke.
    const double margin = std::fabs(double(lineWidth)) + 4;
    if (!Fit(x, y, width, height, margin))
        return;
    SetColour(argb);
    cairo_set_line_width(mCairo, lineWidth);
    cairo_new_path(mCairo);
    cairo_rectangle(mCairo, x + 0.5, y + 0.5, width, height);
    cairo_stroke(mCairo);
}

void Graphics::DrawLine(uint32_t argb, float lineWidth, double x1, double y1, double x2, double y2)
{
    // Cut the segment to the grown target (Liang-Barsky), keeping its slope.
    const double margin = std::fabs(double(lineWidth)) + 4;
    const double bounds[4] = {-margin - mWorldX, -margin - mWorldY, mTarget.Width() + margin - mWorldX,
                              mTarget.Height() + margin - mWorldY};
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    double t0 = 0;
    double t1 = 1;
    const double p[4] = {-dx, -dy, dx, dy};
    const double q[4] = {x1 - bounds[0], y1 - bounds[1], bounds[2] - x1, bounds[3] - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1 || !std::isfinite(t0) || !std::isfinite(t1))
        return;
    const double ax = x1 + t0 * dx;
    const double ay = y1 + t0 * dy;
    x2 = x1 + t1 * dx;
    y2 = y1 + t1 * dy;
    x1 = ax;
    y1 = ay;
    SetColour(argb);
    cairo_set_line_width(mCairo, lineWidth);
    cairo_new_path(mCairo);
    cairo_move_to(mCairo, x1 + 0.5, y1 + 0.5);
    cairo_line_to(mCairo, x2 + 0.5, y2 + 0.5);
    cairo_stroke(mCairo);
}

void Graphics::ReplayPath(const Path& path, float scaleX, float scaleY, double offset)
{
    cairo_new_path(mCairo);
    for (const Path::Figure& figure : path.mFigures) {
        if (figure.points.empty())
            continue;
        bool first = true;
        for (const PathPoint& p : figure.points) {
            const double x = static_cast<double>(p.x) * scaleX + offset;
            const double y = static_cast<double>(p.y) * scaleY + offset;
            if (first)
                cairo_move_to(mCairo, x, y);
            else
                cairo_line_to(mCairo, x, y);
            first = false;
        }
        if (figure.closed)
            cairo_close_path(mCairo);
    }
}

void Graphics::DrawPath(uint32_t argb, float lineWidth, const Path& path, float scaleX, float scaleY)
{
    SetColour(argb);
    cairo_set_line_width(mCairo, lineWidth);
    ReplayPath(path, scaleX, scaleY, 0.5);
    cairo_stroke(mCairo);
}

void Graphics::FillPath(uint32_t argb, const Path& path, float scaleX, float scaleY)
{
    SetColour(argb);
    cairo_set_fill_rule(mCairo, CAIRO_FILL_RULE_EVEN_ODD);
    ReplayPath(path, scaleX, scaleY, 0.0);
    cairo_fill(mCairo);
}

void Graphics::DrawSurface(const Surface& source, double x, double y, int32_t sx, int32_t sy, int32_t sw,
                           int32_t sh)
{
    double cx = x;
    double cy = y;
    double cw = sw;
    double ch = sh;
    if (!Fit(cx, cy, cw, ch, 1))
        return;
    cairo_save(mCairo);
    cairo_new_path(mCairo);
    cairo_rectangle(mCairo, cx, cy, cw, ch);
    cairo_clip(mCairo);
    cairo_set_source_surface(mCairo, source.Native(), x - sx, y - sy);
    cairo_pattern_set_filter(cairo_get_source(mCairo), CAIRO_FILTER_NEAREST);
    PaintSource();
    cairo_restore(mCairo);
}

void Graphics::DrawSurfaceScaled(const Surface& source, double dx, double dy, double dw, double dh, double sx,
                                 double sy, double sw, double sh, Filter filter)
{
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return;
    double cx = dx;
    double cy = dy;
    double cw = dw;
    double ch = dh;
    if (!Fit(cx, cy, cw, ch, 1))
        return;
    // The source rectangle is cut out so that filtering at its edges repeats
    // its own border pixels rather than blending in its neighbours.
    const double left = std::floor(sx);
    const double top = std::floor(sy);
    cairo_surface_t* area = cairo_surface_create_for_rectangle(
        source.Native(), left, top, std::ceil(sx + sw) - left, std::ceil(sy + sh) - top);
    cairo_save(mCairo);
    cairo_new_path(mCairo);
    cairo_rectangle(mCairo, cx, cy, cw, ch);
    cairo_clip(mCairo);
    cairo_translate(mCairo, dx, dy);
    cairo_scale(mCairo, dw / sw, dh / sh);
    cairo_set_source_surface(mCairo, area, left - sx, top - sy);
    cairo_pattern_set_filter(cairo_get_source(mCairo),
                             filter == Filter::Bilinear ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(mCairo), CAIRO_EXTEND_PAD);
    PaintSource();
    cairo_restore(mCairo);
    cairo_surface_destroy(area);
}

void Graphics::FillTiled(const Surface& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, double x,
                         double y, double width, double height)
{
    if (sw <= 0 || sh <= 0 || !Fit(x, y, width, height, 1))
        return;
    // The tile is cut out first so that repeating wraps at its own edges.
    cairo_surface_t* tile = cairo_surface_create_for_rectangle(source.Native(), sx, sy, sw, sh);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_save(mCairo);
    cairo_set_source(mCairo, pattern);
    cairo_new_path(mCairo);
    cairo_rectangle(mCairo, x, y, width, height);
    cairo_clip(mCairo);
    PaintSource();
    cairo_restore(mCairo);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(tile);
}

void Graphics::Flush()
{
    cairo_surface_flush(mTarget.Native());
}

}  // namespace Tavo::Platform::Graphics
