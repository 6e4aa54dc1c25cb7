#include "Renderer/OpenGL/GLRenderer.h"

#include "Platform/Graphics/Graphics.h"
#include "Renderer/Bitmap.h"
#include "Renderer/Font.h"
#include "Renderer/OpenGL/GLImage.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <deque>
#include <stdexcept>

namespace Tavo {

namespace {

constexpr const char* kFile = "Renderer\\OpenGL\\GLRenderer";

// The atlas of one font as a GL alpha texture.
class GLGlyphTexture : public IGlyphTexture
{
public:
    ~GLGlyphTexture() override
    {
        if (mName != 0 && glIsTexture(mName))
            glDeleteTextures(1, &mName);
    }
    void Upload(const uint8_t* alpha, int32_t width, int32_t height) override
    {
        if (mName == 0)
            glGenTextures(1, &mName);
        glBindTexture(GL_TEXTURE_2D, mName);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, width, height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha);
        mWidth = static_cast<float>(width);
        mHeight = static_cast<float>(height);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void Draw(const float source[4], const float target[4]) override
    {
        if (mName == 0)
            return;
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, mName);
        glBegin(GL_QUADS);
        glTexCoord2f(source[0] / mWidth, source[1] / mHeight);
        glVertex2f(target[0], target[1]);
        glTexCoord2f(source[2] / mWidth, source[1] / mHeight);
        glVertex2f(target[2], target[1]);
        glTexCoord2f(source[2] / mWidth, source[3] / mHeight);
        glVertex2f(target[2], target[3]);
        glTexCoord2f(source[0] / mWidth, source[3] / mHeight);
        glVertex2f(target[0], target[3]);
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }

private:
    GLuint mName = 0;
    float mWidth = 1;
    float mHeight = 1;
};

void Colour(const ColorRGBA& c)
{
    glColor4f(c.r, c.g, c.b, c.a);
}

int32_t ClampToInt(double v)
{
    return static_cast<int32_t>(std::clamp(std::floor(v), -1.0e9, 1.0e9));
}

// Vertices the tessellator makes where outlines cross live until the
// polygon ends.
struct Tessellation
{
    std::deque<std::array<GLdouble, 3>> made;
};

void TessBegin(GLenum mode)
{
    glBegin(mode);
}
void TessEnd()
{
    glEnd();
}
void TessVertex(void* vertex)
{
    glVertex3dv(static_cast<const GLdouble*>(vertex));
}
void TessCombine(const GLdouble coords[3], void* [4], const GLfloat[4], void** out, void* data)
{
    auto& made = static_cast<Tessellation*>(data)->made;
    made.push_back({coords[0], coords[1], coords[2]});
    *out = made.back().data();
}

GLint gMaxTextureSize = 0;

}  // namespace

LGLRenderContextInfo::LGLRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, uint8_t flag,
                                           std::unique_ptr<Platform::GL::IGLContext> gl)
    : LRenderContextInfo(viewport, window, flag), mGL(std::move(gl))
{
}

RectT<int32_t> LGLRenderContextInfo::GetMaxViewportSize()
{
    GLint size[2] = {0, 0};
    if (mGL->MakeCurrent())
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, size);
    return {0, 0, size[0], size[1]};
}

LGLRenderer::LGLRenderer()
{
    mGlyphs = LGLGlyphRenderer::Create([] { return std::make_unique<GLGlyphTexture>(); },
                                       gMaxTextureSize > 0 ? gMaxTextureSize : 2048);
    mFonts = RCPtr<LFontRenderer>(new LFreetypeFontRenderer(RCPtr<LGlyphProcessor>(mGlyphs.Get()),
                                                            RCPtr<LGlyphProcessor>(mGlyphs.Get())));
}

LGLRenderer::~LGLRenderer() = default;

int32_t LGLRenderer::GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                                    int32_t& descent)
{
    return mFonts->GetFontMetrics(font, lineHeight, top, descent);
}

RectT<float> LGLRenderer::MeasureString(const WString& text, const RCPtr<LFont>& font)
{
    RectT<float> out{0, 0, 0, 0};
    mFonts->MeasureString(out, text, font);
    return out;
}

TavoResult LGLRenderer::InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window,
                                              bool offscreen, RCPtr<LRenderContextInfo>& context)
{
    std::string error;
    // Textures made in one context are seen by all, so the glyph atlases
    // serve every window.
    // Made on first use and kept to the end, like the display it is on.
    static Platform::GL::IGLContext* root = nullptr;
    if (!root)
        root = Platform::GL::CreateOffscreenContext(1, 1, {}, nullptr, error).release();
    auto gl = root ? Platform::GL::CreateOffscreenContext(viewport.width, viewport.height, {}, root, error)
                   : nullptr;
    if (!gl)
        TAVO_THROW(std::runtime_error, "glXCreateNewContext failed: " + error,
                   "Tavo::LGLRenderer::InitRenderContextInfo", kFile, 336);
    if (gMaxTextureSize == 0)
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gMaxTextureSize);
    glClearColor(0, 0, 0, 0);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 1.0f / 255.0f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_SCISSOR_TEST);
    // A new window starts transparent in both buffers.
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    gl->Present();
    glEnable(GL_SCISSOR_TEST);
    context = RCPtr<LRenderContextInfo>(
        new LGLRenderContextInfo(viewport, window, offscreen ? 1 : 0, std::move(gl)));
    return S_OK;
}

LGLRenderContextInfo* LGLRenderer::Current()
{
    auto* current = dynamic_cast<LGLRenderContextInfo*>(GetCurrentContext());
    // The shared state operations move the clip without telling us, so the
    // scissor is brought up to date before each drawing.
    if (current)
        ApplyClip(*current);
    return current;
}

TavoResult LGLRenderer::RenderStart(const RCPtr<LRenderContextInfo>& context)
{
    LRenderer::RenderStart(context);
    LGLRenderContextInfo* current = Current();
    // Every frame draws into its own context, made current here.
    if (!current || !current->GL().MakeCurrent())
        return E_FAIL;
    const int32_t width = current->GL().Width();
    const int32_t height = current->GL().Height();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    Translate({0, 0});
    return S_OK;
}

TavoResult LGLRenderer::RenderFinish(const RCPtr<LRenderContextInfo>& context)
{
    if (LGLRenderContextInfo* current = Current(); current && current == context.Get()) {
        current->GL().Present();
        Platform::Graphics::Surface* surface =
            current->window ? current->window->GetWindowSurface() : nullptr;
        if (surface) {
            const std::vector<uint32_t> pixels = current->GL().ReadFront();
            const int32_t width = std::min(surface->Width(), current->GL().Width());
            const int32_t height = std::min(surface->Height(), current->GL().Height());
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    surface->SetPixel(x, y, pixels[static_cast<size_t>(y) * current->GL().Width() + x]);
            const Platform::Graphics::PixelRect all{0, 0, width, height};
            current->window->SurfaceUpdated(&all, 1);
        }
    }
    return LRenderer::RenderFinish(context);
}

int32_t LGLRenderer::SetClipRect(const RectT<double>& rect)
{
    LRenderer::SetClipRect(rect);
    return 0;
}

int32_t LGLRenderer::Translate(const PointT<double>& offset)
{
    LRenderer::Translate(offset);
    if (LRenderContextInfo* context = GetCurrentContext()) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslated(context->state.translation.x, context->state.translation.y, 0);
    }
    return 0;
}

void LGLRenderer::ApplyClip(LGLRenderContextInfo& current)
{
    const RenderState& state = current.state;
    const double left = state.clip.x + state.translation.x;
    const double top = state.clip.y + state.translation.y;
    const int32_t x = ClampToInt(left);
    const int32_t y = ClampToInt(top);
    const int32_t right = ClampToInt(std::ceil(left + state.clip.width));
    const int32_t bottom = ClampToInt(std::ceil(top + state.clip.height));
    const int32_t height = current.GL().Height();
    // GL counts scissor rows from the bottom.
    glScissor(x, height - bottom, std::max(0, right - x), std::max(0, bottom - y));
}

void LGLRenderer::DrawText(const WString& text, const RCPtr<LFont>& font, const PointT<int32_t>& position,
                           const ColorRGBA& colour)
{
    if (!Current() || !font || text.IsEmpty())
        return;
    Colour(colour);
    glPushMatrix();
    // Same cell as the GDI+ renderer: its top one pixel above y.
    glTranslatef(static_cast<float>(position.x), static_cast<float>(position.y) - 1.0f, 0);
    mFonts->ProcessGlyphs(text, font, RCPtr<LGlyphProcessor>(mGlyphs.Get()), 0, 0,
                          1 | LGLGlyphRenderer::kAccumulateBounds | LGLGlyphRenderer::kKeepTextureCurrent |
                              LGLGlyphRenderer::kDraw);
    glPopMatrix();
}

void LGLRenderer::DrawRect(const RectT<int32_t>& rect, const ColorRGBA& colour, float lineWidth)
{
    if (!Current())
        return;
    Colour(colour);
    glLineWidth(lineWidth);
    const float half = 0.5f;
    glBegin(GL_LINE_LOOP);
    glVertex2f(rect.x + half, rect.y + half);
    glVertex2f(rect.x + rect.width - half, rect.y + half);
    glVertex2f(rect.x + rect.width - half, rect.y + rect.height - half);
    glVertex2f(rect.x + half, rect.y + rect.height - half);
    glEnd();
}

void LGLRenderer::FillRect(const RectT<int32_t>& rect, const ColorRGBA& colour, bool blend)
{
    if (!Current())
        return;
    if (!blend) {
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
    }
    Colour(colour);
    glRecti(rect.x, rect.y, rect.x + rect.width, rect.y + rect.height);
    if (!blend) {
        glEnable(GL_BLEND);
        glEnable(GL_ALPHA_TEST);
    }
}

void LGLRenderer::FillColorRectList(const ColorRectListT<float>& list, const PointT<double>& offset, bool)
{
    if (!Current())
        return;
    glPushMatrix();
    glTranslated(offset.x, offset.y, 0);
    glScalef(list.GetScaleX(), list.GetScaleY(), 1);
    const auto& colours = list.GetColors();
    for (uint32_t i = 0; i < list.GetCount(); ++i) {
        const RectT<float>& r = *list.GetItemPtr(i);
        const uint32_t argb = i < colours.GetCount() ? *colours.GetItemPtr(i) : 0;
        glColor4ub(static_cast<GLubyte>(argb >> 16), static_cast<GLubyte>(argb >> 8),
                   static_cast<GLubyte>(argb), static_cast<GLubyte>(argb >> 24));
        glRectf(r.x, r.y, r.x + r.width, r.y + r.height);
    }
    glPopMatrix();
}

void LGLRenderer::DrawLine(const PointT<float>& from, const PointT<float>& to, const ColorRGBA& colour,
                           float lineWidth)
{
    if (!Current())
        return;
    Colour(colour);
    glLineWidth(lineWidth);
    glBegin(GL_LINES);
    glVertex2f(from.x, from.y);
    glVertex2f(to.x, to.y);
    glEnd();
}

void LGLRenderer::Shape(uint32_t mode, const PolylineT<float>& points, const ColorRGBA& colour,
                        const PointT<float>& offset, const PointT<float>& scale)
{
    if (!Current() || points.GetCount() == 0)
        return;
    Colour(colour);
    glLineWidth(std::max(1.0f, points.GetLineWidth()));
    glPushMatrix();
    glTranslatef(offset.x, offset.y, 0);
    glScalef(scale.x, scale.y, 1);
    glBegin(mode);
    for (uint32_t i = 0; i < points.GetCount(); ++i)
        glVertex2f(points.GetItemPtr(i)->x, points.GetItemPtr(i)->y);
    glEnd();
    glPopMatrix();
}

void LGLRenderer::DrawLines(const PolylineT<float>& lines, const ColorRGBA& colour,
                            const PointT<float>& offset, const PointT<float>& scale, bool)
{
    Shape(GL_LINES, lines, colour, offset, scale);
}

void LGLRenderer::DrawPolyline(const PolylineT<float>& line, const ColorRGBA& colour,
                               const PointT<float>& offset, const PointT<float>& scale, bool)
{
    Shape(GL_LINE_STRIP, line, colour, offset, scale);
}

void LGLRenderer::DrawPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                              const PointT<float>& offset, const PointT<float>& scale, bool)
{
    Shape(GL_LINE_LOOP, polygon, colour, offset, scale);
}

void LGLRenderer::FillPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                              const PointT<float>& offset, const PointT<float>& scale, bool)
{
    const uint32_t count = polygon.GetCount();
    if (!Current() || count < 3)
        return;
    GLUtesselator* tess = gluNewTess();
    if (!tess)
        return;
    using Callback = void (*)();
    gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<Callback>(&TessBegin));
    gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<Callback>(&TessEnd));
    gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<Callback>(&TessVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<Callback>(&TessCombine));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    gluTessNormal(tess, 0, 0, 1);
    std::vector<std::array<GLdouble, 3>> vertices(count);
    for (uint32_t i = 0; i < count; ++i)
        vertices[i] = {static_cast<GLdouble>(polygon.GetItemPtr(i)->x),
                       static_cast<GLdouble>(polygon.GetItemPtr(i)->y), 0.0};
    Tessellation crossings;
    Colour(colour);
    glPushMatrix();
    glTranslatef(offset.x, offset.y, 0);
    glScalef(scale.x, scale.y, 1);
    gluTessBeginPolygon(tess, &crossings);
    gluTessBeginContour(tess);
    for (auto& v : vertices)
        gluTessVertex(tess, v.data(), v.data());
    gluTessEndContour(tess);
    gluTessEndPolygon(tess);
    glPopMatrix();
    gluDeleteTess(tess);
}

void LGLRenderer::DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<int32_t>& rect, int32_t resizeType)
{
    Platform::Graphics::Surface* image = bitmap ? bitmap->GetGdiplusBitmap() : nullptr;
    const int32_t w = bitmap ? bitmap->GetWidth() : 0;
    const int32_t h = bitmap ? bitmap->GetHeight() : 0;
    if (!Current() || !image || w <= 0 || h <= 0)
        return;
    const int32_t tw = NextPowerOfTwo(w);
    const int32_t th = NextPowerOfTwo(h);
    if (tw < w || th < h)
        return;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            pixels[static_cast<size_t>(y) * w + x] = image->GetPixel(bitmap->GetX() + x, bitmap->GetY() + y);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    const float u = static_cast<float>(w) / static_cast<float>(tw);
    const float v = static_cast<float>(h) / static_cast<float>(th);
    // The image sits in the texture's corner; a quad takes part of it.
    const auto quad = [&](float x, float y, float qw, float qh, float su, float sv) {
        glTexCoord2f(0, 0);
        glVertex2f(x, y);
        glTexCoord2f(su, 0);
        glVertex2f(x + qw, y);
        glTexCoord2f(su, sv);
        glVertex2f(x + qw, y + qh);
        glTexCoord2f(0, sv);
        glVertex2f(x, y + qh);
    };
    const int32_t mode = (w == rect.width && h == rect.height) ? 0 : resizeType;
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    if (mode == 1) {
        for (int32_t y = 0; y < rect.height; y += h)
            for (int32_t x = 0; x < rect.width; x += w) {
                const int32_t qw = std::min(w, rect.width - x);
                const int32_t qh = std::min(h, rect.height - y);
                quad(static_cast<float>(rect.x + x), static_cast<float>(rect.y + y), static_cast<float>(qw),
                     static_cast<float>(qh), u * static_cast<float>(qw) / static_cast<float>(w),
                     v * static_cast<float>(qh) / static_cast<float>(h));
            }
    } else if (mode == 2) {
        quad(std::floor(static_cast<float>(rect.x) + static_cast<float>(rect.width - w) * 0.5f),
             std::floor(static_cast<float>(rect.y) + static_cast<float>(rect.height - h) * 0.5f),
             static_cast<float>(w), static_cast<float>(h), u, v);
    } else {
        quad(static_cast<float>(rect.x), static_cast<float>(rect.y), static_cast<float>(rect.width),
             static_cast<float>(rect.height), u, v);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &name);
}

TavoResult LGLRenderer::DrawBitmapRegion(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&,
                                         const RectT<int32_t>&)
{
    // There is no source texture to take the region from: draw nothing.
    return E_FAIL;
}

TavoResult LGLRenderer::ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&)
{
    return E_FAIL;
}

}  // namespace Tavo
