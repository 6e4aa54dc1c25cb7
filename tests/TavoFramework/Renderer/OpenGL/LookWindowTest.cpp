// Looks in a window on the display, through the OpenGL renderer (type 0)
// and the GDI+ renderer (type 1): a look of half weight, and text whose
// size in pixels does not follow the display's DPI.
#include <gtest/gtest.h>

#include "tests/Common/RunShell.h"
#include "tests/Common/TempFolder.h"
#include "tests/TavoFramework/Renderer/OpenGL/PaintedWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

using namespace Tavo;

namespace {

constexpr int32_t kWidth = 300, kHeight = 120;

// White, with a control "half" whose first look is red and its second
// blue, and a label "label" in black 12 pt text.
const char* kSkin = R"(<R>
 <Colorizers>
  <Colorizer Name="white" ColorType="SolidFill" Color="0xFFFFFFFF"/>
  <Colorizer Name="red" ColorType="SolidFill" Color="0xFFFF0000"/>
  <Colorizer Name="blue" ColorType="SolidFill" Color="0xFF0000FF"/>
  <Colorizer Name="ink" ColorType="SolidFill" Color="0xFF000000"/>
 </Colorizers>
 <Parts>
  <Part Name="white" Width="1" Height="1" ResizeType="Stretch" ColorizerName="white"/>
  <Part Name="red" Width="1" Height="1" ResizeType="Stretch" ColorizerName="red"/>
  <Part Name="blue" Width="1" Height="1" ResizeType="Stretch" ColorizerName="blue"/>
  <Part Name="ink" Width="1" Height="1" ResizeType="Stretch" ColorizerName="ink"/>
 </Parts>
 <Looks>
  <Look Name="white"><ClientPart Name="white" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
  <Look Name="red"><ClientPart Name="red" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
  <Look Name="blue"><ClientPart Name="blue" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look>
  <Look Name="label">
   <ClientPart Name="white" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>
   <TextProperties TextLeftRel="0" TextLeftAbs="4" TextRightRel="1" TextRightAbs="-4" TextHAlign="0" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="ink"/>
  </Look>
 </Looks>
 <LookLists>
  <LookList Name="white" NumLooks="1"><Look Name="white" Index="0"/></LookList>
  <LookList Name="two" NumLooks="2"><Look Name="red" Index="0"/><Look Name="blue" Index="1"/></LookList>
  <LookList Name="label" NumLooks="1"><Look Name="label" Index="0"/></LookList>
 </LookLists>
 <Skins>
  <Skin Name="S0" FontName="Sans" FontSize="12" FontStyle="0">
   <SubControl Class="Framework.Panel" Name="mainControl" XSizeAbs="300" YSizeAbs="120">
    <Skin Name="m" LookList="white">
     <SubControl Class="Framework.Panel" Name="half" XPositionAbs="10" YPositionAbs="10" XSizeAbs="60" YSizeAbs="40">
      <Skin Name="h" LookList="two"/>
     </SubControl>
     <SubControl Class="Framework.Label" Name="label" XPositionAbs="10" YPositionAbs="60" XSizeAbs="280" YSizeAbs="40"
                 FontName="Sans" FontSize="12">
      <Skin Name="l" LookList="label"/>
     </SubControl>
    </Skin>
   </SubControl>
  </Skin>
 </Skins>
</R>)";

struct Shown
{
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
    uint32_t At(int32_t x, int32_t y) const { return pixels.at(static_cast<size_t>(y) * kWidth + x); }
};

// Opens a window on the current display, builds the skin in it through the
// renderer type, lets `adjust` change the controls, paints, and reads the
// window back.
Shown Paint(XServer& server, int32_t rendererType, const std::function<void(LControl&)>& adjust,
            const std::string& screenshot)
{
    PaintedWindow::Factory factory(u"LookWindow", u"Sans", 12, {u"Framework.Panel", u"Framework.Label"});
    EXPECT_EQ(factory.factory->ParseXML(kSkin, 0), S_OK);
    return {PaintedWindow::Paint(server, u"LookWindow", rendererType, kWidth, kHeight, adjust, screenshot)};
}

int32_t Channel(uint32_t rgb, int shift)
{
    return static_cast<int32_t>((rgb >> shift) & 0xFF);
}

// Columns of the label's area with ink in them: first to last.
int32_t InkWidth(const Shown& shown)
{
    int32_t left = kWidth, right = -1;
    for (int32_t y = 60; y < 100; ++y)
        for (int32_t x = 10; x < 290; ++x)
            if (shown.At(x, y) != 0xFFFFFF)
                left = std::min(left, x), right = std::max(right, x);
    return right - left + 1;
}

}  // namespace

TEST(LookWindow, ALookOfHalfWeightDrawsAtHalfAlpha)
{
    ASSERT_TRUE(TestXServer().Running());
    for (const int32_t type : {1, 0}) {
        const Shown shown = Paint(
            TestXServer(), type,
            [](LControl& main) {
                RCPtr<LControl> half = main.FindChildByName(u"half");
                ASSERT_TRUE(half);
                ASSERT_EQ(half->SetLookWeight(0, 0.5f, true), S_OK);
            },
            type == 0 ? "look-half-weight-opengl" : "look-half-weight-gdiplus");
        // Red at half alpha over the white panel; the blue look has no weight.
        for (const auto& [x, y] : {std::pair{10, 10}, {40, 30}, {69, 49}}) {
            const uint32_t p = shown.At(x, y);
            EXPECT_EQ(Channel(p, 16), 255) << type << " at " << x << "," << y;
            EXPECT_NEAR(Channel(p, 8), 128, 2) << type << " at " << x << "," << y;
            EXPECT_NEAR(Channel(p, 0), 128, 2) << type << " at " << x << "," << y;
        }
        EXPECT_EQ(shown.At(70, 30), 0xFFFFFFu) << type;
    }
}

// Run by the test below in a process of its own, against an X server of
// the DPI it names: writes the label's ink width through each renderer.
TEST(LookWindow, TextWidthAtTheDpiOfItsOwnServer)
{
    const char* dpi = std::getenv("TAVO_TEXT_DPI");
    const char* out = std::getenv("TAVO_TEXT_DPI_OUT");
    if (!dpi || !out)
        GTEST_SKIP() << "run by TextIsAsWideAt120DpiAsAt96";
    XServer server({"-dpi", dpi});
    ASSERT_TRUE(server.Running());
    // The desktop's font resolution says the same.
    Display* d = server.Connection();
    const std::string resources = std::string("Xft.dpi:\t") + dpi + "\n";
    XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()), int(resources.size()));
    XSync(d, False);
    ASSERT_NEAR(DisplayWidth(d, 0) * 25.4 / DisplayWidthMM(d, 0), std::atof(dpi), 1.0);
    std::ofstream file(out);
    for (const int32_t type : {1, 0}) {
        const Shown shown = Paint(
            server, type,
            [](LControl& main) { main.FindChildByName(u"label")->SetText(u"Firmware 1.04 WWW"); },
            std::string("text-dpi-") + dpi + (type == 0 ? "-opengl" : "-gdiplus"));
        file << InkWidth(shown) << "\n";
    }
}

TEST(LookWindow, TextIsAsWideAt120DpiAsAt96)
{
    TempFolder dir;
    std::vector<std::string> widths;
    for (const char* dpi : {"96", "120"}) {
        const std::string out = dir.Join(std::string("width-") + dpi);
        const std::string command = std::string("TAVO_TEXT_DPI=") + dpi + " TAVO_TEXT_DPI_OUT='" + out +
                                    "' /proc/" + std::to_string(getpid()) +
                                    "/exe --gtest_filter=LookWindow.TextWidthAtTheDpiOfItsOwnServer";
        ASSERT_EQ(RunShell(command), 0) << dpi;
        widths.push_back(dir.Read(std::string("width-") + dpi));
    }
    EXPECT_EQ(widths[0], widths[1]) << "ink widths (GDI+, OpenGL) at 96 and at 120 DPI";
    // Both renderers drew the text, some hundred pixels wide.
    std::istringstream first(widths[0]);
    for (int32_t w = 0; first >> w;)
        EXPECT_GT(w, 80);
}
