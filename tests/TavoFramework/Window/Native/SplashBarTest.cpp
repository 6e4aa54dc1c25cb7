#include "Window/Native/SplashScreen.h"

#include <gtest/gtest.h>

using Tavo::SplashBar;

TEST(SplashBar, AnimationStepsAQuarterSecondAtATime)
{
    const struct
    {
        int32_t start, end, seconds;
        int32_t ticks, final;
    } cases[] = {
        {0, 100, 8, 32, 96},                       // step 3: the bar ends short of 100 unless set
        {0, 100, 1, 4, 100},  {20, 40, 2, 8, 36},  // (40 - 20) / 8 = 2 per tick
        {50, 10, 1, 4, 10},                        // backwards
        {0, 100, 0, 0, 100},                       // no time: the end at once
        {0, 100, -3, 0, 100},
    };
    for (const auto& c : cases) {
        SplashBar bar;
        bar.Animate(c.start, c.end, c.seconds);
        EXPECT_EQ(bar.Position(), c.seconds > 0 ? c.start : c.end);
        int32_t ticks = 0;
        while (bar.Animating()) {
            bar.Tick();
            ++ticks;
        }
        EXPECT_EQ(ticks, c.ticks) << c.start << ">" << c.end << "/" << c.seconds;
        EXPECT_EQ(bar.Position(), c.final) << c.start << ">" << c.end << "/" << c.seconds;
        EXPECT_FALSE(bar.Tick());
    }
}

TEST(SplashBar, PositionStopsAnAnimationAndColourMakesTheBar)
{
    SplashBar bar;
    EXPECT_FALSE(bar.Exists());
    bar.SetColour(0xFF0000FF);
    EXPECT_TRUE(bar.Exists());
    EXPECT_EQ(bar.Position(), 0);
    bar.Animate(0, 100, 8);
    bar.Tick();
    bar.SetPosition(70);
    EXPECT_FALSE(bar.Animating());
    EXPECT_EQ(bar.Position(), 70);
    bar.SetPosition(140);
    EXPECT_EQ(bar.Position(), 100);
}

TEST(SplashBar, CentringIsSignedForImagesLargerThanTheArea)
{
    EXPECT_EQ(Tavo::CentreIn(0, 1280, 400), 440);
    EXPECT_EQ(Tavo::CentreIn(30, 960, 200), 410);
    EXPECT_EQ(Tavo::CentreIn(0, 800, 1000), -100);
    EXPECT_EQ(Tavo::CentreIn(-200, 800, 1000), -300);
}
