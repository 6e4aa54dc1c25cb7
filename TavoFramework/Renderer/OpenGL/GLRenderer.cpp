// The OpenGL renderer (type 0): context set-up on GLX, the glyph atlas,
// clipping, rectangles, lines and tessellated polygons, bitmaps and reading
// back. Long because each shape is drawn so its pixels match the GDI+-style
// renderer's, which takes the rules at the top of the file.
#include "Renderer/OpenGL/GLRenderer.h"

#include "Platform/Graphics/Graphics.h"
#include "Renderer/Bitmap.h"
#include "Renderer/Font.h"
#include "Application/AppClock.h"
#include "Platform/App/MessageBox.h"
#include "Platform/Kernel/TextCoding.h"
#include "Renderer/RenderHost.h"
#include "Renderer/OpenGL/GLImage.h"

#include <cairo.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <stdexcept>

namespace Tavo {

namespace {

constexpr const char* kFile = "Renderer\\OpenGL\\GLRenderer";

// The atlas of one font as a GL alpha texture. The quads of one run of
// text go out in one batch: texturing stays on and the texture bound from
// the first glyph to the end of the run.
class GLGlyphTexture : public IGlyphTexture
{
public:
    explicit GLGlyphTexture(bool* texturing) : mTexturing(texturing) {}
    ~GLGlyphTexture() override
    {
        if (mName != 0 && glIsTexture(mName))
            glDeleteTextures(1, &mName);
    }
    void Upload(const uint8_t* alpha, int32_t width, int32_t height) override
    {
        Finish();
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
        DrainGLErrors();
    }
    void Draw(const float source[4], const float target[4]) override
    {
        if (mName == 0)
            return;
        if (!mOpen) {
            if (!*mTexturing) {
                glEnable(GL_TEXTURE_2D);
                *mTexturing = true;
            }
            glBindTexture(GL_TEXTURE_2D, mName);
            glBegin(GL_QUADS);
            mOpen = true;
        }
        glTexCoord2f(source[0] / mWidth, source[1] / mHeight);
        glVertex2f(target[0], target[1]);
        glTexCoord2f(source[2] / mWidth, source[1] / mHeight);
        glVertex2f(target[2], target[1]);
        glTexCoord2f(source[2] / mWidth, source[3] / mHeight);
        glVertex2f(target[2], target[3]);
        glTexCoord2f(source[0] / mWidth, source[3] / mHeight);
        glVertex2f(target[0], target[3]);
    }
    void Finish() override
    {
        if (mOpen)
            glEnd();
        mOpen = false;
    }

private:
    bool* mTexturing;
    GLuint mName = 0;
    float mWidth = 1;
    float mHeight = 1;
    bool mOpen = false;
};

// The render state's opacity, 0 to 1 (not a number counts as 0).
float OpacityOf(const LRenderContextInfo& context)
{
    const float opacity = context.state.opacity;
    return !(opacity >= 0) ? 0.0f : std::min(opacity, 1.0f);
}

ColorRGBA Faded(const ColorRGBA& c, float opacity)
{
    return ColorRGBA(c.r, c.g, c.b, c.a * opacity);
}

void ColourUb(uint32_t argb, float opacity)
{
    glColor4ub(static_cast<GLubyte>(argb >> 16), static_cast<GLubyte>(argb >> 8), static_cast<GLubyte>(argb),
               static_cast<GLubyte>(std::lround(static_cast<float>(argb >> 24) * opacity)));
}

int32_t ClampToInt(double v)
{
    return static_cast<int32_t>(std::clamp(std::floor(v), -1.0e9, 1.0e9));
}

// Where an edge runs through pixel centres, the GDI+ renderer gives such a
// pixel to the shape below or right of a level or upright edge, and to the
// shape left of a slanted one. Shapes are moved by this hair (a few of the
// rasteriser's sub-pixel steps) to decide alike: strokes that are level or
// upright up and left, slanted ones back along themselves, so that they
// keep their first pixel; fills right.
constexpr double kTieBreak = 1.0 / 64;

// Halves away from zero, within the 32-bit range.
int32_t RoundToInt(double v)
{
    const double r = std::round(v);
    if (!(r >= -2147483648.0))
        return std::numeric_limits<int32_t>::min();
    return r > 2147483647.0 ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(r);
}

// Strokes are filled as the GDI+ renderer fills them: the band of the line
// width around each segment through the pixel centres (the points moved by
// half a pixel), cut square at its ends and stretched by half the width
// where segments meet, so that square corners are whole. Lines would leave
// their end pixels to the rasteriser's own rules. The band is worked out
// where the points are scaled by (sx, sy) and given back unscaled, for a
// matrix that scales them.
void StrokeQuad(double x1, double y1, double x2, double y2, double width, bool extendStart, bool extendEnd,
                double sx = 1, double sy = 1)
{
    x1 *= sx, y1 *= sy, x2 *= sx, y2 *= sy;
    // Through the pixel centres; see kTieBreak for the hair.
    const bool slanted = x1 != x2 && y1 != y2;
    const double shiftX = 0.5 - (slanted ? 0 : kTieBreak), shiftY = 0.5 - (slanted ? 0 : kTieBreak);
    x1 += shiftX, x2 += shiftX, y1 += shiftY, y2 += shiftY;
    const double dx = x2 - x1, dy = y2 - y1;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0) || !std::isfinite(length) || !(width > 0) || sx == 0 || sy == 0)
        return;
    const double half = width / 2;
    const double ux = dx / length * half, uy = dy / length * half;
    if (slanted) {
        // Its ends as well: back along the segment, so the start's pixel is
        // in and the end's out.
        const double bx = dx / length * kTieBreak, by = dy / length * kTieBreak;
        x1 -= bx, y1 -= by, x2 -= bx, y2 -= by;
    }
    if (extendStart)
        x1 -= ux, y1 -= uy;
    if (extendEnd)
        x2 += ux, y2 += uy;
    glVertex2d((x1 - uy) / sx, (y1 + ux) / sy);
    glVertex2d((x2 - uy) / sx, (y2 + ux) / sy);
    glVertex2d((x2 + uy) / sx, (y2 - ux) / sy);
    glVertex2d((x1 + uy) / sx, (y1 - ux) / sy);
}

// Segments p0-p1, p1-p2, ... (closed: back to p0 as well); pairs: p0-p1,
// p2-p3, ... with nothing between them.
void StrokePoints(const PolylineT<float>& points, double sx, double sy, bool closed, bool pairs)
{
    const uint32_t n = points.GetCount();
    const double width = points.GetLineWidth();
    const auto at = [&](uint32_t i) { return *points.GetItemPtr(i % n); };
    glBegin(GL_QUADS);
    if (pairs) {
        for (uint32_t k = 0; k + 1 < n; k += 2)
            StrokeQuad(at(k).x, at(k).y, at(k + 1).x, at(k + 1).y, width, false, false, sx, sy);
    } else {
        const uint32_t segments = closed && n > 2 ? n : (n > 0 ? n - 1 : 0);
        for (uint32_t k = 0; k < segments; ++k)
            StrokeQuad(at(k).x, at(k).y, at(k + 1).x, at(k + 1).y, width, closed || k > 0,
                       closed || k + 1 < segments, sx, sy);
    }
    glEnd();
}

// One tessellator for the process, made on first use; vertices it makes
// where outlines cross live until the polygon ends.
struct Tessellator
{
    GLUtesselator* tess = nullptr;
    std::vector<std::array<GLdouble, 3>> vertices;
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
    auto& made = static_cast<Tessellator*>(data)->made;
    made.push_back({coords[0], coords[1], coords[2]});
    *out = made.back().data();
}

Tessellator& SharedTessellator()
{
    static Tessellator* const shared = [] {
        auto* t = new Tessellator();
        t->tess = gluNewTess();
        if (t->tess) {
            using Callback = void (*)();
            gluTessCallback(t->tess, GLU_TESS_BEGIN, reinterpret_cast<Callback>(&TessBegin));
            gluTessCallback(t->tess, GLU_TESS_END, reinterpret_cast<Callback>(&TessEnd));
            gluTessCallback(t->tess, GLU_TESS_VERTEX, reinterpret_cast<Callback>(&TessVertex));
            gluTessCallback(t->tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<Callback>(&TessCombine));
            gluTessProperty(t->tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
            gluTessNormal(t->tess, 0, 0, 1);
        }
        return t;
    }();
    return *shared;
}

GLint gMaxTextureSize = 0;

// The failure texts: the framework's table where the application offers
// it, else English.
WString GLText(const char16_t* id)
{
    static constexpr struct
    {
        const char16_t* id;
        const char16_t* text;
    } kEnglish[] = {
        {u"GL_ERROR_CAPTION", u"OpenGL Error"},
        {u"GL_ERROR_UPDATE_DRIVER", u"Updating your video card driver, with the latest driver from the "
                                    u"manufacturer of your video card, may solve this issue."},
        {u"GL_ERROR_MESSAGE_CHOOSE_PIXEL_FORMAT", u"ChoosePixelFormat failed."},
        {u"GL_ERROR_MESSAGE_SET_PIXEL_FORMAT", u"SetPixelFormat failed."},
        {u"GL_ERROR_MESSAGE_CREATE_CONTEXT", u"wglCreateContext failed."},
        {u"GL_ERROR_MESSAGE_GET_PROC_ADDRESS",
         u"wglGetProcAddress(\"wglGetExtensionsStringARB\") failed with error %d: %s."},
    };
    WString text;
    if (IRenderHost* host = GetRenderHost(); host && host->FindFrameworkText(id, text))
        return text;
    for (const auto& entry : kEnglish)
        if (std::u16string_view(entry.id) == id)
            return WString(entry.text);
    return WString(id);
}

void ShowGLMessage(const WString& text, uint32_t style)
{
    Platform::App::ShowMessageBox(0, Platform::ToUtf8(text.c_str()),
                                  Platform::ToUtf8(GLText(u"GL_ERROR_CAPTION").c_str()), style);
}

// Shows the failure with the advice to update the driver, then throws.
[[noreturn]] void FailStartup(const char16_t* messageId, const char* function, int line)
{
    WString text = GLText(messageId);
    text += GLText(u"GL_ERROR_UPDATE_DRIVER");
    ShowGLMessage(text, Platform::App::MB_ICONWARNING);
    TAVO_THROW(std::runtime_error, "", function, kFile, line);
}

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

LGLRenderer::LGLRenderer(Platform::GL::IGLDriver* driver)
    : mDriver(driver ? driver : &Platform::GL::GLXDriver()), mLastPurge(GetAppClock().GetMilliseconds())
{
    Start();
    if (gMaxTextureSize == 0)
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gMaxTextureSize);
    bool* texturing = &mTexturing;
    mGlyphs = LGLGlyphRenderer::Create([texturing] { return std::make_unique<GLGlyphTexture>(texturing); },
                                       gMaxTextureSize > 0 ? gMaxTextureSize : 2048);
    mFonts = RCPtr<LFontRenderer>(new LFreetypeFontRenderer(RCPtr<LGlyphProcessor>(mGlyphs.Get()),
                                                            RCPtr<LGlyphProcessor>(mGlyphs.Get())));
}

void LGLRenderer::Start()
{
    using Platform::GL::ContextFailure;
    constexpr const char* kFunction = "Tavo::LGLRenderer::LGLRenderer";
    // Double-buffered RGBA with a stencil; one whose swap keeps the back
    // buffer is looked for only when the first does not.
    const Platform::GL::PixelFormat requested;
    mFormat = mDriver->ChooseFormat(requested, false);
    if (mFormat.id == 0)
        FailStartup(u"GL_ERROR_MESSAGE_CHOOSE_PIXEL_FORMAT", kFunction, 146);
    ContextFailure failure = ContextFailure::NoFailure;
    std::string error;
    // The context every window's context shares its textures and lists
    // with, on a drawable of its own.
    mRoot = mDriver->CreateContext(mFormat, 1, 1, nullptr, failure, error);
    if (!mRoot) {
        if (failure == ContextFailure::Drawable)
            TAVO_THROW(std::runtime_error, "", kFunction, kFile, 152);
        if (failure == ContextFailure::SetFormat)
            FailStartup(u"GL_ERROR_MESSAGE_SET_PIXEL_FORMAT", kFunction, 163);
        FailStartup(u"GL_ERROR_MESSAGE_CREATE_CONTEXT", kFunction, 173);
    }
    if (mFormat.doubleBuffered && mFormat.swapKeepsBackBuffer)
        return;
    // Every way out of this route keeps the first choice, but a format
    // that was chosen and cannot be set.
    if (!IsExtensionSupported("GLX_OML_swap_method"))
        return;
    const Platform::GL::FormatInfo keeping = mDriver->ChooseFormat(requested, true);
    if (keeping.id == 0 || keeping.slow)
        return;
    std::unique_ptr<Platform::GL::IGLContext> context =
        mDriver->CreateContext(keeping, 1, 1, nullptr, failure, error);
    if (!context) {
        if (failure == ContextFailure::CreateContext)
            return;
        FailStartup(u"GL_ERROR_MESSAGE_SET_PIXEL_FORMAT", kFunction, 249);
    }
    mRoot = std::move(context);
    mFormat = keeping;
}

bool LGLRenderer::IsExtensionSupported(const char* name)
{
    if (!name || !*name || std::strchr(name, ' '))
        return false;
    std::string list, systemText;
    int32_t code = 0;
    if (!mDriver->GetExtensions(list, code, systemText)) {
        // The system's text may be anything: the message is formatted to
        // its length, with the text cut at a sane bound.
        constexpr size_t kMostSystemText = 256;
        if (systemText.size() > kMostSystemText)
            systemText.resize(kMostSystemText);
        WString pattern = GLText(u"GL_ERROR_MESSAGE_GET_PROC_ADDRESS");
        pattern += GLText(u"GL_ERROR_UPDATE_DRIVER");
        ShowGLMessage(WString::Format(pattern.c_str(), code, systemText.c_str()), Platform::App::MB_OK);
        return false;
    }
    return HasExtensionWord(list, name);
}

LGLRenderer::~LGLRenderer()
{
    // Textures and lists are deleted in a context of their share group.
    if (mRoot)
        mRoot->MakeCurrent();
    // The reverse of the order they were made in.
    mSecondTextures.EmptyAll();
    mTextures.EmptyAll();
    for (size_t kind = kShapeKinds; kind-- > 0;)
        mLists[kind].EmptyAll();
    mScratch = nullptr;
    mFonts = nullptr;
    mGlyphs = nullptr;
    mRoot.reset();
}

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
    Platform::GL::ContextFailure failure = Platform::GL::ContextFailure::NoFailure;
    // Textures and lists made in one context of the share group are seen
    // by all, so the caches serve every window.
    std::unique_ptr<Platform::GL::IGLContext> gl =
        mDriver->CreateContext(mFormat, viewport.width, viewport.height, mRoot.get(), failure, error);
    if (!gl)
        FailStartup(u"GL_ERROR_MESSAGE_SET_PIXEL_FORMAT", "Tavo::LGLRenderer::InitRenderContextInfo", 336);
    glClearColor(0, 0, 0, 0);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    // Colour by the source's alpha; alpha itself adds up, so a translucent
    // fill over an opaque pixel leaves it opaque, as the GDI+ renderer does.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 1.0f / 255.0f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // A new window starts transparent in both buffers.
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    gl->Present();
    glEnable(GL_SCISSOR_TEST);
    context = RCPtr<LRenderContextInfo>(
        new LGLRenderContextInfo(viewport, window, offscreen ? 1 : 0, std::move(gl)));
    return S_OK;
}

void LGLRenderer::Colour(const ColorRGBA& c)
{
    const float opacity = GetCurrentContext() ? OpacityOf(*GetCurrentContext()) : 1.0f;
    glColor4f(c.r, c.g, c.b, c.a * opacity);
}

float LGLRenderer::Opacity()
{
    return GetCurrentContext() ? OpacityOf(*GetCurrentContext()) : 1.0f;
}

LGLRenderContextInfo* LGLRenderer::Current()
{
    auto* current = static_cast<LGLRenderContextInfo*>(GetCurrentContext());
    // The shared state operations move the clip without telling us, so the
    // scissor is brought up to date before each drawing.
    if (current)
        ApplyClip(*current);
    return current;
}

void LGLRenderer::SetTexturing(bool on)
{
    if (mTexturing == on)
        return;
    mTexturing = on;
    if (on)
        glEnable(GL_TEXTURE_2D);
    else
        glDisable(GL_TEXTURE_2D);
}

TavoResult LGLRenderer::RenderStart(const RCPtr<LRenderContextInfo>& context)
{
    LRenderer::RenderStart(context);
    auto* current = dynamic_cast<LGLRenderContextInfo*>(context.Get());
    // Every frame draws into its own context, made current here.
    if (!current || !current->GL().MakeCurrent())
        return E_FAIL;
    glDisable(GL_TEXTURE_2D);
    mTexturing = false;
    // The window may have grown or shrunk since the last frame.
    const TavoResult viewport = SetViewport(context->viewport);
    glLoadIdentity();
    glTranslated(context->state.translation.x, context->state.translation.y, 0);
    return viewport;
}

TavoResult LGLRenderer::SetViewport(const RectT<int32_t>& rect)
{
    auto* current = dynamic_cast<LGLRenderContextInfo*>(GetCurrentContext());
    if (!current)
        return S_OK;
    current->viewport = rect;
    // The drawable follows the viewport's size; one larger than the GL can
    // draw keeps the old size and the frame fails.
    const bool resized = current->GL().Resize(rect.width, rect.height);
    glViewport(rect.x, rect.y, current->GL().Width(), current->GL().Height());
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, box);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, box[2], box[3], 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    current->scissor[0] = -1;
    return resized ? S_OK : E_FAIL;
}

void LGLRenderer::ShowOnSurface(LGLRenderContextInfo& current)
{
    Platform::Graphics::Surface* surface = current.window->GetWindowSurface();
    // Only what this frame drew, straight from the back buffer into the
    // surface's own pixels: no present, which nobody sees.
    RectT<int32_t> area{0, 0, std::min(surface->Width(), current.GL().Width()),
                        std::min(surface->Height(), current.GL().Height())};
    RectT<int32_t> dirty;
    if (current.dirtyRegion.GetRectCount() > 0 && current.dirtyRegion.GetBounds(dirty)) {
        const int32_t right = std::min(area.width, dirty.x + dirty.width);
        const int32_t bottom = std::min(area.height, dirty.y + dirty.height);
        area.x = std::max(0, dirty.x);
        area.y = std::max(0, dirty.y);
        area.width = right - area.x;
        area.height = bottom - area.y;
    }
    if (!ReadRegion(current, area))
        return;
    cairo_surface_t* native = surface->Native();
    cairo_surface_flush(native);
    uint8_t* data = cairo_image_surface_get_data(native);
    const int32_t stride = cairo_image_surface_get_stride(native);
    for (int32_t y = 0; y < area.height; ++y) {
        const uint32_t* in = &mReadBack[static_cast<size_t>(y) * area.width];
        auto* out = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(area.y + y) * stride) + area.x;
        for (int32_t x = 0; x < area.width; ++x) {
            const uint32_t argb = in[x];
            const uint32_t a = argb >> 24;
            // The surface holds premultiplied pixels.
            const auto premultiply = [a](uint32_t c) { return (c * a + 127) / 255; };
            out[x] = a == 255 ? argb
                              : (a << 24) | (premultiply((argb >> 16) & 0xFF) << 16) |
                                    (premultiply((argb >> 8) & 0xFF) << 8) | premultiply(argb & 0xFF);
        }
    }
    cairo_surface_mark_dirty(native);
    const Platform::Graphics::PixelRect updated{area.x, area.y, area.width, area.height};
    current.window->SurfaceUpdated(&updated, 1);
}

TavoResult LGLRenderer::RenderFinish(const RCPtr<LRenderContextInfo>& context)
{
    if (auto* current = dynamic_cast<LGLRenderContextInfo*>(GetCurrentContext());
        current && current == context.Get()) {
        if (current->flag)
            glFlush();
        else if (current->window && current->window->GetWindowSurface())
            ShowOnSurface(*current);
        else
            current->GL().Present();
        mGLErrors += DrainGLErrors();
    }
    const TavoResult result = LRenderer::RenderFinish(context);
    if (auto* outer = dynamic_cast<LGLRenderContextInfo*>(GetCurrentContext())) {
        // Back to the frame this one was nested in.
        outer->GL().MakeCurrent();
        SetViewport(outer->viewport);
        glLoadIdentity();
        glTranslated(outer->state.translation.x, outer->state.translation.y, 0);
        mTexturing = true;
        SetTexturing(false);
    } else if (GetContextDepth() == 0) {
        PurgeWhenDue();
    }
    return result;
}

void LGLRenderer::PurgeWhenDue()
{
    const uint32_t now = GetAppClock().GetMilliseconds();
    if (now - mLastPurge <= kPurgePeriodMs)
        return;
    mLastPurge = now;
    // Textures and lists are deleted in the context they were made in (or
    // one sharing with it), which the last frame left current.
    mTextures.PurgeSinceLastMark();
    mSecondTextures.PurgeSinceLastMark();
    for (ListCache& cache : mLists)
        cache.PurgeSinceLastMark();
}

int32_t LGLRenderer::SetClipRect(const RectT<double>& rect)
{
    LRenderer::SetClipRect(rect);
    return 0;
}

int32_t LGLRenderer::Translate(const PointT<double>& offset)
{
    LRenderer::Translate(offset);
    // Popping a state that kept the translation changes nothing.
    if (LRenderContextInfo* context = GetCurrentContext(); context && (offset.x != 0 || offset.y != 0)) {
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
    const double rightEdge = left + state.clip.width;
    const double bottomEdge = top + state.clip.height;
    int32_t box[4] = {0, 0, 0, 0};
    // An edge that is no number or infinitely far says nowhere to draw: it
    // is refused before it becomes an integer, and nothing shows.
    if (std::isfinite(left) && std::isfinite(top) && std::isfinite(rightEdge) && std::isfinite(bottomEdge)) {
        const int32_t x = ClampToInt(left);
        const int32_t y = ClampToInt(top);
        const int32_t right = ClampToInt(std::ceil(rightEdge));
        const int32_t bottom = ClampToInt(std::ceil(bottomEdge));
        const int32_t height = current.GL().Height();
        // GL counts scissor rows from the bottom; the edges lie within
        // +-1e9, so their differences fit.
        box[0] = x;
        box[1] = height - bottom;
        box[2] = std::max(0, right - x);
        box[3] = std::max(0, bottom - y);
    }
    if (std::equal(std::begin(box), std::end(box), std::begin(current.scissor)))
        return;
    std::copy(std::begin(box), std::end(box), std::begin(current.scissor));
    glScissor(box[0], box[1], box[2], box[3]);
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
    if (!Current() || !(lineWidth > 0))
        return;
    SetTexturing(false);
    Colour(colour);
    double x = rect.x, y = rect.y, w = rect.width, h = rect.height;
    if (w < 0)
        x += w, w = -w;
    if (h < 0)
        y += h, h = -h;
    // The band of the line width around pixel centres x to x + w and y to
    // y + h, as the GDI+ renderer frames it, in four pieces that do not
    // overlap, so that a translucent frame is blended once everywhere.
    // A band of even width has its edges on pixel centres: the GDI+
    // renderer gives the row on its top edge to the band and the one on its
    // bottom edge to what lies below; moved up by a hair, GL does the same.
    const double half = lineWidth / 2.0;
    const double left = x + 0.5 - half, top = y + 0.5 - half - kTieBreak;
    const double right = x + w + 0.5 + half, bottom = y + h + 0.5 + half - kTieBreak;
    const double innerLeft = left + lineWidth, innerTop = top + lineWidth;
    const double innerRight = right - lineWidth, innerBottom = bottom - lineWidth;
    glBegin(GL_QUADS);
    const auto quad = [](double l, double t, double r, double b) {
        glVertex2d(l, t);
        glVertex2d(r, t);
        glVertex2d(r, b);
        glVertex2d(l, b);
    };
    if (innerLeft >= innerRight || innerTop >= innerBottom) {
        quad(left, top, right, bottom);
    } else {
        quad(left, top, right, innerTop);
        quad(left, innerBottom, right, bottom);
        quad(left, innerTop, innerLeft, innerBottom);
        quad(innerRight, innerTop, right, innerBottom);
    }
    glEnd();
}

bool LGLRenderer::ClearRect(LGLRenderContextInfo& current, const RectT<int32_t>& rect,
                            const ColorRGBA& colour)
{
    const PointT<double>& at = current.state.translation;
    if (at.x != std::floor(at.x) || at.y != std::floor(at.y))
        return false;
    // The rectangle in GL's rows, inside the clip's scissor box.
    const int32_t* clip = current.scissor;
    const int32_t height = current.GL().Height();
    const int32_t left = std::max(clip[0], rect.x + static_cast<int32_t>(at.x));
    const int32_t right = std::min(clip[0] + clip[2], rect.x + rect.width + static_cast<int32_t>(at.x));
    const int32_t bottom = std::max(clip[1], height - (rect.y + rect.height + static_cast<int32_t>(at.y)));
    const int32_t top = std::min(clip[1] + clip[3], height - (rect.y + static_cast<int32_t>(at.y)));
    if (left < right && bottom < top) {
        glScissor(left, bottom, right - left, top - bottom);
        glClearColor(colour.r, colour.g, colour.b, colour.a);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
        glScissor(clip[0], clip[1], clip[2], clip[3]);
    }
    return true;
}

void LGLRenderer::FillRect(const RectT<int32_t>& rect, const ColorRGBA& colour, bool blend)
{
    LGLRenderContextInfo* current = Current();
    if (!current)
        return;
    SetTexturing(false);
    // Blending an opaque colour gives the colour: skip the blend. Unblended
    // fills replace the pixels as they are; blended ones fade with the state.
    const ColorRGBA shown = blend ? Faded(colour, OpacityOf(*current)) : colour;
    const bool replace = !blend || shown.a >= 1.0f;
    // Replacing whole pixels is a clear, which a software rasteriser fills
    // far faster than it shades a quad.
    if (replace && rect.width > 0 && rect.height > 0 && ClearRect(*current, rect, shown))
        return;
    if (replace) {
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
    }
    glColor4f(shown.r, shown.g, shown.b, shown.a);
    glRecti(rect.x, rect.y, rect.x + rect.width, rect.y + rect.height);
    if (replace) {
        glEnable(GL_BLEND);
        glEnable(GL_ALPHA_TEST);
    }
}

template <class Draw>
void LGLRenderer::Cached(ShapeKind kind, uint32_t handle, bool changed, bool keepCached, const Draw& draw)
{
    // An outline and a fill of one shape share its handle: a change to the
    // shape drops both.
    const auto sister = kind == kFill ? kOutline : kind == kOutline ? kFill : kShapeKinds;
    if (!keepCached) {
        mLists[kind].Remove(handle);
        if (sister != kShapeKinds)
            mLists[sister].Remove(handle);
        draw();
        return;
    }
    if (changed && sister != kShapeKinds)
        mLists[sister].Remove(handle);
    RCPtr<LGLDisplayList>& list = mLists[kind].FindOrAdd(handle, changed);
    if (list && list->CallLists(0, 1) == S_OK)
        return;
    list = LGLDisplayList::Create(1);
    if (list->BeginList(0) != S_OK) {
        list = nullptr;
        draw();
        return;
    }
    draw();
    list->EndList();
    list->CallLists(0, 1);
}

void LGLRenderer::FillColorRectList(const ColorRectListT<float>& list, const PointT<double>& offset,
                                    bool keepCached)
{
    if (!Current())
        return;
    SetTexturing(false);
    glPushMatrix();
    glTranslated(offset.x, offset.y, 0);
    const bool changed = list.IsChanged();
    const_cast<ColorRectListT<float>&>(list).SetChanged(false);
    const float opacity = Opacity();
    const auto draw = [&] {
        const auto& colours = list.GetColors();
        const double sx = list.GetScaleX(), sy = list.GetScaleY();
        glBegin(GL_QUADS);
        // Last to first: the first rectangle ends on top.
        for (uint32_t i = list.GetCount(); i-- > 0;) {
            const RectT<float>& r = *list.GetItemPtr(i);
            const double x = RoundToInt(r.x * sx), y = RoundToInt(r.y * sy);
            const double right = x + RoundToInt(r.width * sx), bottom = y + RoundToInt(r.height * sy);
            ColourUb(i < colours.GetCount() ? *colours.GetItemPtr(i) : 0, opacity);
            glVertex2d(x, y);
            glVertex2d(right, y);
            glVertex2d(right, bottom);
            glVertex2d(x, bottom);
        }
        glEnd();
    };
    // The list records its colours: faded, it is drawn as it is, and the
    // recorded list is kept for frames at full opacity.
    if (opacity < 1.0f) {
        if (changed)
            mLists[kRectList].Remove(list.GetHandle());
        draw();
    } else {
        Cached(kRectList, list.GetHandle(), changed, keepCached, draw);
    }
    glPopMatrix();
}

void LGLRenderer::DrawLine(const PointT<float>& from, const PointT<float>& to, const ColorRGBA& colour,
                           float lineWidth)
{
    if (!Current())
        return;
    SetTexturing(false);
    Colour(colour);
    glBegin(GL_QUADS);
    StrokeQuad(from.x, from.y, to.x, to.y, lineWidth, false, false);
    glEnd();
}

void LGLRenderer::Shape(ShapeKind kind, PolylineT<float>& points, const ColorRGBA& colour,
                        const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    if (!Current() || points.GetCount() == 0)
        return;
    SetTexturing(false);
    Colour(colour);
    glPushMatrix();
    glTranslatef(offset.x, offset.y, 0);
    glScalef(scale.x, scale.y, 1);
    const bool changed = points.IsChanged();
    points.SetChanged(false);
    // The quads of a stroke overlap where segments meet: a translucent one
    // is blended once per pixel, as the GDI+ renderer strokes a path, by
    // letting only the first fragment of each pixel through the stencil.
    const bool once = colour.a * Opacity() < 1.0f;
    if (once) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_EQUAL, 0, 0xFF);
        glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    }
    Cached(kind, points.GetHandle(), changed, keepCached,
           [&] { StrokePoints(points, scale.x, scale.y, kind == kOutline, kind == kLines); });
    if (once) {
        // Every pixel it marked lies inside the scissor, which the clear keeps to.
        glClear(GL_STENCIL_BUFFER_BIT);
        glDisable(GL_STENCIL_TEST);
    }
    glPopMatrix();
}

void LGLRenderer::DrawLines(const PolylineT<float>& lines, const ColorRGBA& colour,
                            const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    Shape(kLines, const_cast<PolylineT<float>&>(lines), colour, offset, scale, keepCached);
}

void LGLRenderer::DrawPolyline(const PolylineT<float>& line, const ColorRGBA& colour,
                               const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    Shape(kPolyline, const_cast<PolylineT<float>&>(line), colour, offset, scale, keepCached);
}

void LGLRenderer::DrawPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                              const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    Shape(kOutline, const_cast<PolylineT<float>&>(polygon), colour, offset, scale, keepCached);
}

void LGLRenderer::FillPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                              const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    const uint32_t count = polygon.GetCount();
    if (!Current() || count < 3)
        return;
    Tessellator& shared = SharedTessellator();
    if (!shared.tess)
        return;
    SetTexturing(false);
    Colour(colour);
    glPushMatrix();
    glTranslated(offset.x + kTieBreak, offset.y, 0);
    glScalef(scale.x, scale.y, 1);
    const bool changed = polygon.IsChanged();
    const_cast<PolylineT<float>&>(polygon).SetChanged(false);
    Cached(kFill, polygon.GetHandle(), changed, keepCached, [&] {
        // GLU keeps pointers into the vertices until the polygon ends. A
        // point that is not finite would send it astray: such points are
        // left out, and an outline of fewer than three is not filled.
        shared.vertices.clear();
        for (uint32_t i = 0; i < count; ++i) {
            const PointT<float>& p = *polygon.GetItemPtr(i);
            if (std::isfinite(p.x) && std::isfinite(p.y))
                shared.vertices.push_back({static_cast<GLdouble>(p.x), static_cast<GLdouble>(p.y), 0.0});
        }
        if (shared.vertices.size() < 3)
            return;
        gluTessBeginPolygon(shared.tess, &shared);
        gluTessBeginContour(shared.tess);
        for (auto& v : shared.vertices)
            gluTessVertex(shared.tess, v.data(), v.data());
        gluTessEndContour(shared.tess);
        gluTessEndPolygon(shared.tess);
        shared.made.clear();
    });
    glPopMatrix();
}

void LGLRenderer::DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<int32_t>& rect, int32_t resizeType)
{
    constexpr const char* kFunction = "Tavo::LGLRenderer::DrawBitmap";
    if (!bitmap)
        TAVO_THROW_IF_FAILED(E_INVALIDARG, kFunction, kFile, 1104);
    const int32_t w = bitmap->GetWidth();
    const int32_t h = bitmap->GetHeight();
    const int32_t mode = (w == rect.width && h == rect.height) ? 0 : resizeType;
    if (mode < 0 || mode > 2)
        TAVO_THROW(std::logic_error, "Invalid ResizeType passed to DrawBitmap!", kFunction, kFile, 1154);
    if (!Current() || w <= 0 || h <= 0)
        return;
    // Uploaded once; later frames draw from the cached texture.
    RCPtr<LGLTexture>& texture = mTextures.FindOrAdd(reinterpret_cast<uintptr_t>(bitmap.Get()));
    if (!texture || !texture->IsLoaded()) {
        texture = RCPtr<LGLTexture>(new LGLTexture());
        texture->LoadFromBitmap(bitmap);
    }
    if (!texture->IsLoaded())
        return;
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    const float whole[4] = {0, 0, fw, fh};
    // Where the bitmap lands, as source and target rectangles.
    std::vector<std::array<float, 8>>& quads = mQuads;
    quads.clear();
    if (mode == 1) {
        // The last row and column are cut at the destination's edge, as
        // the GDI+ renderer cuts them, not left to whatever clip is set.
        for (int32_t y = rect.y; y < rect.y + rect.height; y += h)
            for (int32_t x = rect.x; x < rect.x + rect.width; x += w) {
                const float tw = static_cast<float>(std::min(w, rect.x + rect.width - x));
                const float th = static_cast<float>(std::min(h, rect.y + rect.height - y));
                quads.push_back({0, 0, tw, th, static_cast<float>(x), static_cast<float>(y), x + tw, y + th});
            }
    } else if (mode == 2) {
        const float left = std::floor(static_cast<float>(rect.x) + static_cast<float>(rect.width - w) * 0.5f);
        const float top = std::floor(static_cast<float>(rect.y) + static_cast<float>(rect.height - h) * 0.5f);
        quads.push_back({0, 0, fw, fh, left, top, left + fw, top + fh});
    } else {
        quads.push_back({whole[0], whole[1], whole[2], whole[3], static_cast<float>(rect.x),
                         static_cast<float>(rect.y), static_cast<float>(rect.x + rect.width),
                         static_cast<float>(rect.y + rect.height)});
    }
    const float opacity = Opacity();
    const bool opaque = texture->IsOpaque() && opacity >= 1.0f;
    if (opaque && texture->IsUniform()) {
        // The tiles cover the destination exactly; the centred image is
        // its one quad.
        const uint32_t argb = texture->GetUniformColour();
        const ColorRGBA colour(static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                               static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                               static_cast<float>(argb & 0xFF) / 255.0f, 1.0f);
        const auto& q = quads.front();
        const RectT<int32_t> area =
            mode == 2 ? RectT<int32_t>{static_cast<int32_t>(q[4]), static_cast<int32_t>(q[5]), w, h} : rect;
        if (ClearRect(*Current(), area, colour))
            return;
    }
    if (opaque)
        glDisable(GL_BLEND);
    if (texture->IsUniform()) {
        // One colour however it is sampled: fill, without texturing.
        const uint32_t argb = texture->GetUniformColour();
        SetTexturing(false);
        ColourUb(argb, opacity);
        glBegin(GL_QUADS);
        for (const auto& q : quads) {
            glVertex2f(q[4], q[5]);
            glVertex2f(q[4], q[7]);
            glVertex2f(q[6], q[7]);
            glVertex2f(q[6], q[5]);
        }
        glEnd();
    } else {
        SetTexturing(true);
        glBindTexture(GL_TEXTURE_2D, texture->GetName());
        // Tiles and centred images are drawn at their own size.
        texture->SetNearest(mode != 0 || (rect.width == w && rect.height == h));
        glColor4f(1, 1, 1, opacity);
        glBegin(GL_QUADS);
        for (const auto& q : quads)
            texture->Quad(&q[0], &q[4]);
        glEnd();
    }
    if (opaque)
        glEnable(GL_BLEND);
}

bool LGLRenderer::ReadRegion(LGLRenderContextInfo& from, const RectT<int32_t>& region)
{
    const int32_t height = from.GL().Height();
    if (region.width <= 0 || region.height <= 0 || !from.GL().MakeCurrent())
        return false;
    mReadBack.resize(static_cast<size_t>(region.width) * static_cast<size_t>(region.height));
    std::vector<uint32_t> rows(mReadBack.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(region.x, height - region.y - region.height, region.width, region.height, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    // GL's rows run bottom up.
    for (int32_t y = 0; y < region.height; ++y)
        std::copy_n(&rows[static_cast<size_t>(region.height - 1 - y) * region.width], region.width,
                    &mReadBack[static_cast<size_t>(y) * region.width]);
    return true;
}

void LGLRenderer::DrawReadBack(int32_t width, int32_t height, const PointT<int32_t>& at, float opacity)
{
    if (!mScratch)
        mScratch = RCPtr<LGLTexture>(new LGLTexture());
    GLImage image;
    image.Wrap(reinterpret_cast<uint8_t*>(mReadBack.data()), width * 4, 4, width, height,
               GLImage::kFormatBGRA, GLImage::kTypeUnsignedByte);
    mScratch->LoadImage(image, GL_RGBA8, LGLTexture::kNearest, 1.0f);
    SetTexturing(true);
    glBindTexture(GL_TEXTURE_2D, mScratch->GetName());
    glColor4f(1, 1, 1, opacity);
    const float source[4] = {0, 0, static_cast<float>(width), static_cast<float>(height)};
    const float target[4] = {static_cast<float>(at.x), static_cast<float>(at.y),
                             static_cast<float>(at.x + width), static_cast<float>(at.y + height)};
    glBegin(GL_QUADS);
    mScratch->Quad(source, target);
    glEnd();
}

TavoResult LGLRenderer::DrawBitmapRegion(const RCPtr<LRenderContextInfo>& source,
                                         const PointT<int32_t>& position, const RectT<int32_t>& region)
{
    // Only an offscreen context keeps what was drawn into it as an image.
    auto* from = dynamic_cast<LGLRenderContextInfo*>(source.Get());
    if (!from || !from->flag)
        return E_INVALIDARG;
    LGLRenderContextInfo* current = Current();
    if (!current)
        return E_FAIL;
    const bool read = ReadRegion(*from, region);
    current->GL().MakeCurrent();
    if (!read)
        return E_FAIL;
    DrawReadBack(region.width, region.height, position, OpacityOf(*current));
    return S_OK;
}

TavoResult LGLRenderer::ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>& context,
                                           const PointT<int32_t>& offset)
{
    auto* target = dynamic_cast<LGLRenderContextInfo*>(context.Get());
    if (!target || !target->flag)
        return E_INVALIDARG;
    const RectT<int32_t> all{0, 0, target->GL().Width(), target->GL().Height()};
    if (RenderStart(context) != S_OK || !ReadRegion(*target, all)) {
        RenderFinish(context);
        return E_FAIL;
    }
    // What the context held moves by the offset onto a cleared image, in
    // its own pixels whatever the state's clip.
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
    glLoadIdentity();
    DrawReadBack(all.width, all.height, offset, 1.0f);
    glEnable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    RenderFinish(context);
    return S_OK;
}

}  // namespace Tavo
