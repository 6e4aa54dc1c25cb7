#pragma once

// A small drawing layer on Cairo: image surfaces with pixel access, and a
// graphics object that draws on one with a world translation and a clip.
// Colours are packed 0xAARRGGBB; shapes are aliased. Every rectangle is cut
// to what the target can hold before it reaches Cairo, whose fixed-point
// coordinates overflow far below the renderer's "no clip" extent.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

namespace Tavo::Platform::Graphics {

// Thrown when Cairo cannot hold a surface of the asked size.
class SurfaceError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Surface
{
public:
    // Sizes below 1 become 1; a size Cairo cannot hold throws SurfaceError.
    Surface(int32_t width, int32_t height);
    ~Surface();
    // Null when the data is not a readable PNG image.
    static std::unique_ptr<Surface> FromPng(const uint8_t* data, size_t size);
    static std::unique_ptr<Surface> FromPngFile(const char* path);
    // Unpremultiplied 0xAARRGGBB rows of width pixels; throws SurfaceError
    // when the size cannot be held.
    static std::unique_ptr<Surface> FromPixels(int32_t width, int32_t height, const uint32_t* argb);
    // Draws into premultiplied ARGB rows the caller owns and keeps alive
    // for the surface's life (stride in pixels, at least width); null when
    // Cairo cannot use them.
    static std::unique_ptr<Surface> OverPixels(uint32_t* pixels, int32_t width, int32_t height,
                                               int32_t stride);
    // A copy of a rectangle; parts outside this surface are transparent.
    std::unique_ptr<Surface> CopyArea(int32_t x, int32_t y, int32_t width, int32_t height) const;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    int32_t Width() const { return mWidth; }
    int32_t Height() const { return mHeight; }
    // Replaces the pixel, alpha included; outside the surface nothing happens.
    void SetPixel(int32_t x, int32_t y, uint32_t argb);
    // Unpremultiplied; 0 outside the surface.
    uint32_t GetPixel(int32_t x, int32_t y) const;
    // Replaces a rectangle of pixels with one colour, alpha included, in
    // surface pixels; the part outside the surface is ignored.
    void Fill(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb);
    void Clear();
    cairo_surface_t* Native() const { return mSurface; }

private:
    explicit Surface(cairo_surface_t* adopted);
    static std::unique_ptr<Surface> Adopt(cairo_surface_t* surface);

    cairo_surface_t* mSurface;
    int32_t mWidth;
    int32_t mHeight;
};

struct PixelRect
{
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// A native window as the renderer presents into it: each window passes its
// own to the render contexts made for it.
class IWindowTarget
{
public:
    virtual ~IWindowTarget() = default;
    // The surface that holds what the window shows; null while it has none.
    virtual Surface* GetWindowSurface() = 0;
    // The rectangles just copied into the window surface, to be shown.
    virtual void SurfaceUpdated(const PixelRect* rects, size_t count) = 0;
};

struct PathPoint
{
    float x;
    float y;
};

// Figures of straight lines; a closed figure returns to its first point.
class Path
{
public:
    void StartFigure() { mFigures.push_back({}); }
    void AddLine(PathPoint from, PathPoint to);
    void AddLines(const PathPoint* points, uint32_t count);
    void AddPolygon(const PathPoint* points, uint32_t count);
    bool IsEmpty() const { return mFigures.empty(); }

private:
    friend class Graphics;
    struct Figure
    {
        std::vector<PathPoint> points;
        bool closed = false;
    };
    Figure& Open();
    std::vector<Figure> mFigures;
};

class TextFont;

enum class Filter { Nearest, Bilinear };

class Graphics
{
public:
    explicit Graphics(Surface& target);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    // Adds to the world translation; the clip stays where it is on the target.
    void TranslateWorld(double dx, double dy);
    double WorldX() const { return mWorldX; }
    double WorldY() const { return mWorldY; }
    // Replaces the clip with a rectangle in world coordinates.
    void SetClip(double x, double y, double width, double height);
    void ResetClip();
    // Back to no translation and no clip.
    void Reset();
    // A factor on the alpha of everything drawn after it (0 to 1; not a
    // number counts as 0).
    void SetOpacity(double opacity);
    double Opacity() const { return mOpacity; }
    // Rectangles in target pixels that every later drawing stays within,
    // whatever clip is set or reset; empty: the whole target.
    void SetBaseClip(const PixelRect* rects, size_t count);

    void FillRect(uint32_t argb, double x, double y, double width, double height);
    // Pixel-centred outline covering columns x..x+width and rows y..y+height.
    void DrawRect(uint32_t argb, float lineWidth, double x, double y, double width, double height);
    void DrawLine(uint32_t argb, float lineWidth, double x1, double y1, double x2, double y2);
    void DrawPath(uint32_t argb, float lineWidth, const Path& path, float scaleX = 1, float scaleY = 1);
    // Even-odd fill.
    void FillPath(uint32_t argb, const Path& path, float scaleX = 1, float scaleY = 1);
    // Copies a source rectangle at (x, y) in world coordinates, blending over.
    void DrawSurface(const Surface& source, double x, double y, int32_t sx, int32_t sy, int32_t sw,
                     int32_t sh);
    // Scales a source rectangle into a destination rectangle.
    void DrawSurfaceScaled(const Surface& source, double dx, double dy, double dw, double dh, double sx,
                           double sy, double sw, double sh, Filter filter = Filter::Nearest);
    // Fills a rectangle by repeating a source rectangle from the world origin.
    void FillTiled(const Surface& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, double x, double y,
                   double width, double height);
    // One line of UTF-8 text whose baseline starts at (x, baseline).
    void DrawText(const TextFont& font, const char* utf8, uint32_t argb, double x, double baseline);
    void Flush();
    cairo_t* Native() const { return mCairo; }

private:
    void SetColour(uint32_t argb);
    // Paints the source set on the context, at the opacity.
    void PaintSource();
    void ReplayPath(const Path& path, float scaleX, float scaleY, double offset);
    // Cuts a world rectangle to the target grown by margin; false when nothing is left.
    bool Fit(double& x, double& y, double& width, double& height, double margin) const;

    void ApplyBaseClip();

    Surface& mTarget;
    cairo_t* mCairo;
    std::vector<PixelRect> mBaseClip;
    double mWorldX = 0;
    double mWorldY = 0;
    double mOpacity = 1;
};

}  // namespace Tavo::Platform::Graphics
