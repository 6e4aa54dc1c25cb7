// The product's skin in a window on the test X server, read back in pixels:
// the progress bar's fill stays inside its track at every value.
// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "Controls/FrameworkControlClasses.h"
#include "Controls/Label.h"
#include "Controls/ProgressBar.h"
#include "tests/Common/Contrast.h"
#include "tests/Common/TestScope.h"
#include "tests/TavoFramework/Controls/WidgetWindow.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace Tavo;
using WidgetWindow::Settle;
using WidgetWindow::TurnUntil;

namespace {

constexpr uint32_t kBorder = 0x2C2C32, kTrack = 0x141416, kFill = 0x844600;

std::vector<ControlClassRow> Classes()
{
    std::vector<ControlClassRow> rows(FrameworkControlClasses().begin(), FrameworkControlClasses().end());
    rows.push_back({u"FirmwareUpdater.MainControl", &LControl::CreateT<LControl>, 0});
    return rows;
}

// The first and last index in a line of pixels of one colour; -1 when absent.
struct Run
{
    int32_t first = -1, last = -1;
};

Run Span(const std::vector<uint32_t>& line, uint32_t rgb)
{
    Run run;
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == rgb)
            run.first = run.first < 0 ? int32_t(i) : run.first, run.last = int32_t(i);
    return run;
}

}  // namespace

// Empty, half, nearly and wholly full: the border shows on all four sides,
// the fill starts where the track's inside starts and at 100 % ends as far
// from the track's right end as it starts from its left.
TEST(ProductLooksWindow, ProgressFillStaysInsideTheTrackAtEveryValue)
{
    ASSERT_TRUE(TestXServer().Running());
    static const std::vector<ControlClassRow> classes = Classes();
    const int32_t code =
        WidgetWindow::Run(TAVO_PRODUCT_SKIN, classes, [](WidgetWindow::App& app, OSWindow& window) {
            ASSERT_TRUE(TurnUntil([&] { return window.IsActive() && window.GetPaintCount() >= 1; }));
            const RCPtr<LControl> main = GetOSRootWindow(app.GetRootWindows().front())->GetRootControl();
            auto bar = RCPtrDynamicCast<LProgressBar>(main->FindChildByName(u"progressBar"));
            ASSERT_TRUE(bar);
            bar->SetVisible(true);
            const unsigned long id = window.GetWindowId();
            const PointT<double> at = bar->GetAbsolutePosition();
            const int32_t x0 = int32_t(at.x), y0 = int32_t(at.y), w = int32_t(bar->GetWidth()),
                          h = int32_t(bar->GetHeight());
            ASSERT_EQ(w, 360);
            ASSERT_EQ(h, 50);
            // A row and a column clear of the bar's texts.
            const int32_t row = h - 8, column = 40;
            auto line = [&](int32_t x, int32_t y, int32_t width, int32_t height) {
                return TestXServer().ReadPixels(id, {x0 + x, y0 + y, width, height});
            };

            struct Case
            {
                double value;
                const char* name;
            } const cases[] = {{0.0, "0"}, {0.5, "50"}, {0.99, "99"}, {1.0, "100"}};
            int32_t inset = -1, inside = 0;
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string("at ") + c.name + " %");
                bar->SetValue(c.value);
                Settle();
                ASSERT_TRUE(TurnUntil([&] {
                    const auto across = Span(line(0, row, w, 1), kFill);
                    return c.value == 0 ? across.first < 0 : across.first >= 0;
                }));
                Settle();
                TestXServer().Screenshot(std::string("product-progress-") + c.name);
                const std::vector<uint32_t> across = line(0, row, w, 1), down = line(column, 0, 1, h);
                // The border on all four sides.
                for (int32_t i : {0, 1, w - 2, w - 1})
                    EXPECT_EQ(across[size_t(i)], kBorder) << "x " << i;
                for (int32_t i : {0, 1, h - 2, h - 1})
                    EXPECT_EQ(down[size_t(i)], kBorder) << "y " << i;
                const auto track = Span(across, kTrack);
                const auto fill = Span(across, kFill);
                if (c.value == 0) {
                    EXPECT_EQ(fill.first, -1) << "no fill";
                    EXPECT_EQ(track.first, 2);
                    EXPECT_EQ(track.last, w - 3);
                    continue;
                }
                ASSERT_GE(fill.first, 2);
                inset = fill.first;
                // The fill is one run, from the track's left inset on.
                EXPECT_EQ(std::count(across.begin(), across.end(), kFill), fill.last - fill.first + 1);
                EXPECT_LE(fill.last, w - 1 - inset) << "inside the track's right inset";
                if (c.value == 1.0) {
                    EXPECT_EQ(fill.last, w - 1 - inset) << "full to the right inset";
                }
                inside = w - 2 * inset;
                EXPECT_NEAR(fill.last - fill.first + 1, c.value * inside, 1.0);
                // Above and below the fill as much track as to its left.
                const auto fillDown = Span(down, kFill);
                EXPECT_EQ(fillDown.first, inset);
                EXPECT_EQ(fillDown.last, h - 1 - inset);
            }
            EXPECT_GT(inset, 2) << "the fill keeps clear of the border";
            EXPECT_GT(inside, 300);
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        });
    EXPECT_EQ(code, 0);
}
