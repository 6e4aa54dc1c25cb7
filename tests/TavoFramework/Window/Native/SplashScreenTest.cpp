// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Window/Native/SplashScreen.h"
#include "tests/Common/TestScope.h"
#include "tests/Common/XServer.h"

#include <X11/Xlib.h>
#include <chrono>

using Tavo::SplashScreen;

namespace {

class SplashScreenTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(TestXServer().Running()); }
};

TEST_F(SplashScreenTest, ShowsCentredAnimatesAndStopsWithItsThreadJoined)
{
    SplashScreen splash;
    splash.SetImage(300, 200, std::vector<uint32_t>(300 * 200, 0xFF202080));
    ASSERT_TRUE(splash.Start());
    ASSERT_NE(splash.GetWindowId(), 0u);
    Display* d = TestXServer().Connection();
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(d, Window(splash.GetWindowId()), &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_TRUE(attributes.override_redirect);  // no frame, no focus
    EXPECT_EQ(attributes.x, (1280 - 300) / 2);
    EXPECT_EQ(attributes.y, (1024 - 200) / 2);

    splash.PostProgress(0, 100, 0);
    splash.Flush();
    EXPECT_EQ(splash.GetDrawnPosition(), 100);
    const auto bar = TestXServer().ReadPixels(splash.GetWindowId(), {0, 0, 300, 200});
    EXPECT_EQ(bar[size_t(200 - 12) * 300 + 150], 0x3C8C3Cu);  // the filled bar
    EXPECT_EQ(bar[10 * 300 + 150], 0x202080u);                // the picture
    TestXServer().Screenshot("splash");

    splash.PostProgress(0, 100, 8);
    splash.PostPosition(40);  // stops the animation where it is set
    splash.Flush();
    EXPECT_EQ(splash.GetDrawnPosition(), 40);

    const Window window = Window(splash.GetWindowId());
    splash.Stop();
    EXPECT_FALSE(splash.IsRunning());
    EXPECT_EQ(splash.GetWindowId(), 0u);
    XSync(d, False);
    XWindowAttributes gone{};
    EXPECT_FALSE(XGetWindowAttributes(d, window, &gone) && gone.map_state == IsViewable);
    splash.Stop();  // twice is harmless
}

TEST_F(SplashScreenTest, AFailedStartReportsAtOnceInsteadOfWaiting)
{
    const auto began = std::chrono::steady_clock::now();
    {
        SplashScreen noImage;
        EXPECT_FALSE(noImage.Start());
    }
    {
        ScopedEnv display("DISPLAY", ":9999");
        SplashScreen noDisplay;
        noDisplay.SetImage(10, 10, std::vector<uint32_t>(100, 0));
        EXPECT_FALSE(noDisplay.Start());
        noDisplay.PostPosition(50);  // goes nowhere, harmlessly
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4));
}

}  // namespace
