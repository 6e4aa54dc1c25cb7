#pragma once

// A small drawing layer on Cairo: image surfaces with pixel access, and a
// graphics object that draws on one with a world translation and a clip.
// Colours are packed 0xAARRGGBB; drawing is aliased.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

namespace Tavo::Platform::Graphics {

class Surface
{
public:
    // Sizes below 1 become 1.
    Surface(int32_t width, int32_t height);
    ~Surface();
    // Null when the data is not a readable PNG image.
    static std::unique_ptr<Surface> FromPng(const uint8_t* data, size_t size);
    static std::unique_ptr<Surface> FromPngFile(const char* path);
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
    void Clear();
    cairo_surface_t* Native() const { return mSurface; }

private:
    explicit Surface(cairo_surface_t* adopted);
    static std::unique_ptr<Surface> Adopt(cairo_surface_t* surface);

    cairo_surface_t* mSurface;
    int32_t mWidth;
    int32_t mHeight;
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

// A font request; fontconfig substitutes a missing family.
struct FontSpec
{
    const char* family;
    double pixelSize;
    // 1 bold, 2 italic; other bits are ignored.
    int32_t style;
};

struct FontExtents
{
    double ascent;
    double descent;
    double height;
};

FontExtents MeasureFont(const FontSpec& font);
// The advance of UTF-8 text, trailing spaces included.
double MeasureTextAdvance(const FontSpec& font, const char* utf8);

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

    void FillRect(uint32_t argb, double x, double y, double width, double height);
    // Pixel-centred outline covering columns x..x+width and rows y..y+height.
    void DrawRect(uint32_t argb, float lineWidth, double x, double y, double width, double height);
    void DrawLine(uint32_t argb, float lineWidth, float x1, float y1, float x2, float y2);
    void DrawPath(uint32_t argb, float lineWidth, const Path& path, float scaleX = 1, float scaleY = 1);
    // Even-odd fill.
    void FillPath(uint32_t argb, const Path& path, float scaleX = 1, float scaleY = 1);
    // Copies a source rectangle at (x, y) in world coordinates, blending over.
    void DrawSurface(const Surface& source, double x, double y, int32_t sx, int32_t sy, int32_t sw, int32_t sh);
    // Scales a source rectangle into a destination rectangle, nearest neighbour.
    void DrawSurfaceScaled(const Surface& source, double dx, double dy, double dw, double dh, double sx, double sy,
                           double sw, double sh);
    // Fills a rectangle by repeating a source rectangle from the world origin.
    void FillTiled(const Surface& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, double x, double y,
                   double width, double height);
    // Text whose cell's top left is at (x, top).
    void DrawText(const FontSpec& font, const char* utf8, uint32_t argb, double x, double top);
    void Flush();
    cairo_t* Native() const { return mCairo; }

private:
    void SetColour(uint32_t argb);
    void ReplayPath(const Path& path, float scaleX, float scaleY, double offset);

    Surface& mTarget;
    cairo_t* mCairo;
    double mWorldX = 0;
    double mWorldY = 0;
};

}  // namespace Tavo::Platform::Graphics
