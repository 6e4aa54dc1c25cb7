// A window built from the frozen test skin, painted on the display through
// the renderer type asked for: type 0 (OpenGL) against type 1 (GDI+).
#include <gtest/gtest.h>

#include "Renderer/OpenGL/GLRenderer.h"
#include "tests/TavoFramework/Renderer/OpenGL/PaintedWindow.h"

#include <algorithm>
#include <cstdlib>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 420, kHeight = 360;

struct Painted
{
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, as the display shows them
    uint32_t glErrors = 0;
    std::vector<RectT<double>> textAreas;  // controls with a text, in the window
};

void CollectTextAreas(LControl& c, std::vector<RectT<double>>& areas)
{
    if (!c.GetText().IsEmpty()) {
        const PointT<double> at = c.GetAbsolutePosition();
        areas.push_back({at.x, at.y, c.GetWidth(), c.GetHeight()});
    }
    for (uint32_t i = 0; i < c.GetChildren().Count(); ++i)
        CollectTextAreas(*c.GetChildren().GetAt(i), areas);
}

// Paints the skin's main control once through the renderer type.
Painted PaintSkin(int32_t rendererType)
{
    Painted painted;
    painted.pixels = PaintedWindow::Paint(
        TestXServer(), u"SkinTest", rendererType, kWidth, kHeight,
        [](LControl& main) {
            for (const char16_t* name : {u"labelDeviceInformation", u"buttonExit", u"buttonUpdateFirmware"})
                if (RCPtr<LControl> child = main.FindChildByName(name))
                    child->SetText(u"Firmware 1.02 ready");
        },
        rendererType == 0 ? "skin-opengl" : "skin-gdiplus",
        [&](OSWindow& window, LControl& main) {
            if (auto* gl = dynamic_cast<LGLRenderer*>(window.GetRenderer().Get()))
                painted.glErrors = gl->GetGLErrorCount();
            CollectTextAreas(main, painted.textAreas);
        });
    return painted;
}

int32_t ChannelDifference(uint32_t a, uint32_t b)
{
    int32_t most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(int32_t((a >> shift) & 0xFF) - int32_t((b >> shift) & 0xFF)));
    return most;
}

TEST(GLWindow, SkinPaintsThroughOpenGLAsThroughGdiPlusBarTextAntiAliasing)
{
    ASSERT_TRUE(TestXServer().Running());
    Painted gl, gdi;
    {
        PaintedWindow::Factory factory(u"Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater", u"Arial", 10,
                                       {u"FirmwareUpdater.MainControl", u"Framework.MainMenu",
                                        u"Framework.ComboMenu", u"Framework.PopupMenu", u"Framework.MenuItem",
                                        u"Framework.Button", u"Framework.Label", u"Framework.ProgressBar",
                                        u"Framework.Panel", u"Framework.ToolTip"});
        ASSERT_EQ(factory.factory->LoadSkins(
                      WString(TAVO_SOURCE_DIR "/tests/TavoFramework/ControlBase/ProductTreeSkin.xml")),
                  S_OK);
        gl = PaintSkin(0);
        gdi = PaintSkin(1);
    }
    ASSERT_EQ(gl.pixels.size(), gdi.pixels.size());
    EXPECT_EQ(gl.glErrors, 0u);

    // The budget: fills, images and frames match to rounding (2 levels per
    // channel) everywhere; inside the controls that show a text, the glyphs'
    // anti-aliased edges and advances may differ, on at most 2 % of the
    // window's pixels.
    int32_t differing = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const size_t i = static_cast<size_t>(y) * kWidth + x;
            if (ChannelDifference(gl.pixels[i], gdi.pixels[i]) <= 2)
                continue;
            ++differing;
            const bool inText =
                std::any_of(gl.textAreas.begin(), gl.textAreas.end(), [&](const RectT<double>& r) {
                    return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
                });
            EXPECT_TRUE(inText) << "differs outside any text at " << x << "," << y;
        }
    ::testing::Test::RecordProperty("differing_pixels", differing);
    EXPECT_LE(differing, kWidth * kHeight / 50) << "pixels differing";
}

}  // namespace
