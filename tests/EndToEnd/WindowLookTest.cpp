// What the updater's window looks like, read back in pixels from a private X
// server while the real program runs against the simulated mixer: the
// progress bar's size, its "%" beside the number, its texts readable over
// the fill and the track, the focus outline and Tab's way round the window,
// and the pressed button's shade.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <string>
#include <vector>

#include "Pace.h"
#include "ProgramWindow.h"
#include "tests/Common/Contrast.h"

#include <X11/keysym.h>

namespace {

int Distance(uint32_t a, uint32_t b)
{
    return ChannelDifference(a, b, 3);
}

// Screen pixels of one rectangle, read at once.
struct Pixels
{
    XRect rect;
    std::vector<uint32_t> px;

    Pixels(XServer& server, XRect r) : rect(r), px(server.ReadPixels(0, r)) {}
    uint32_t At(int x, int y) const
    {
        return px.at(size_t(y - rect.y) * size_t(rect.width) + size_t(x - rect.x));
    }
};

// Ink of a text in `box` over plain backgrounds: the pixels that differ
// from every one of `grounds`, the lowest row they reach and the best
// contrast of one against the first.
struct Ink
{
    int bottom = -1, count = 0;
    double contrast = 1.0;
};

Ink FindInk(const Pixels& p, XRect box, const std::vector<uint32_t>& grounds,
            const std::function<bool(int x)>& columns = {})
{
    Ink ink;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x) {
            const uint32_t c = p.At(x, y);
            if ((columns && !columns(x)) ||
                std::any_of(grounds.begin(), grounds.end(), [&](uint32_t g) { return Distance(c, g) < 40; }))
                continue;
            ink.bottom = std::max(ink.bottom, y);
            ++ink.count;
            ink.contrast = std::max(ink.contrast, Contrast(c, grounds[0]));
        }
    return ink;
}

XRect OnScreen(const Dump& dump, const Control& c)
{
    return {dump.x + c.x, dump.y + c.y, c.width, c.height};
}

class WindowLookTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.Running()); }

    // Runs the updater against a device started with `simArgs`; `steps`
    // runs beside it and leaves it to end it (EXIT), else it is killed.
    void RunUpdater(const std::vector<std::string>& simArgs, const std::function<void(pid_t)>& steps)
    {
        ASSERT_TRUE(sim.Start(simArgs));
        const std::string image = sim.Root() + "/image.syx";
        WriteImage(image, kChunkSize * 150);
        dumpPath = sim.Root() + "/ui.txt";
        std::string output;
        const int code = RunWindowed(sim, dumpPath, "FirmwareUpdater",
                                     {"-ABSOLUTE_FIRMWARE_FILE_PATH=" + image}, &output, [&](pid_t pid) {
                                         steps(pid);
                                         if (::testing::Test::HasFailure())
                                             kill(pid, SIGKILL);
                                     });
        if (!::testing::Test::HasFailure()) {
            EXPECT_EQ(code, 0) << output;
        }
    }

    bool WaitForDump(const std::function<bool(const Dump&)>& ready)
    {
        return ::WaitForDump(dumpPath, dump, [&](Dump& d) { return !d.controls.empty() && ready(d); });
    }

    void MoveToMiddle(const Control& c)
    {
        input.MoveTo(dump.x + c.x + c.width / 2, dump.y + c.y + c.height / 2);
        input.Sync();
    }

    XServer& server = TestXServer();
    XInput input;
    SimProcess sim;
    std::string dumpPath;
    Dump dump;
};

// The bar as the user sees it during a transfer: measured early (texts over
// the track) and late (texts over the fill).
TEST_F(WindowLookTest, ProgressBarSizeTextsAndTheirContrast)
{
    RunUpdater({"--mode", "update", "--install-ms", "100", "--take-delay-ms", "60"}, [&](pid_t) {
        ASSERT_TRUE(WaitForDump([](const Dump& d) { return d.controls.at("buttonUpdateFirmware").shown; }));
        MoveToMiddle(dump.controls.at("buttonUpdateFirmware"));
        input.Click(1);
        input.Sync();
        // Out of the way of the bar, whose texts a hover would not change.
        input.MoveTo(dump.x + 5, dump.y + 5);

        struct Moment
        {
            const char* name;
            double from, to;
        } const moments[] = {{"early", 0.05, 0.3}, {"late", 0.7, 0.9}};
        bool sawOverFill = false, sawOverTrack = false;
        for (const Moment& m : moments) {
            ASSERT_TRUE(WaitForDump([&](const Dump& d) {
                const Control& bar = d.controls.at("progressBar");
                return bar.shown && bar.value >= m.from && bar.value <= m.to &&
                       d.controls.at("timeRemainingLabel").shown;
            })) << m.name;
            const Control& bar = dump.controls.at("progressBar");
            const XRect barRect = OnScreen(dump, bar);
            const Pixels p(server, {barRect.x - 10, barRect.y - 10, barRect.width + 20, barRect.height + 20});
            server.Screenshot(std::string("window-look-bar-") + m.name);

            // The drawn bar's width across its middle and height near its
            // end: the pixels that differ from the ground left on their row.
            const auto extent = [&](int count, auto inked) {
                int first = -1, last = -1;
                for (int i = 0; i < count; ++i)
                    if (inked(i))
                        first = first < 0 ? i : first, last = i;
                return last - first + 1;
            };
            const auto drawn = [&](int x, int y) { return Distance(p.At(x, y), p.At(p.rect.x, y)) > 4; };
            const int midY = barRect.y + barRect.height / 2, midX = barRect.x + barRect.width - 6;
            EXPECT_EQ(extent(p.rect.width, [&](int i) { return drawn(p.rect.x + i, midY); }), 360) << m.name;
            EXPECT_EQ(extent(p.rect.height, [&](int i) { return drawn(midX, p.rect.y + i); }), 50) << m.name;

            // The fill ends where a row above the texts stops being the
            // fill's colour; the track is what lies after it.
            const int row = barRect.y + 5;
            const uint32_t fill = p.At(barRect.x + 6, row);
            const uint32_t track = p.At(barRect.x + barRect.width - 4, row);
            int fillEnd = barRect.x + 6;
            while (fillEnd < barRect.x + barRect.width && Distance(p.At(fillEnd, row), fill) <= 4)
                ++fillEnd;
            ASSERT_GT(Distance(fill, track), 40) << m.name;

            for (const char* name : {"percentCompleteLabel", "percentSymbolLabel", "timeRemainingLabel"}) {
                const XRect box = OnScreen(dump, dump.controls.at(name));
                const Ink overFill = FindInk(p, box, {fill}, [&](int x) { return x < fillEnd - 1; });
                const Ink overTrack = FindInk(p, box, {track}, [&](int x) { return x > fillEnd + 1; });
                sawOverFill |= overFill.count > 20;
                sawOverTrack |= overTrack.count > 20;
                EXPECT_TRUE(overFill.count <= 20 || overFill.contrast >= 4.5)
                    << name << " over the fill, " << m.name;
                EXPECT_TRUE(overTrack.count <= 20 || overTrack.contrast >= 4.5)
                    << name << " over the track, " << m.name;
            }

            // "%" right after the number, on its baseline: the last run of
            // inked columns across both labels is the sign, the one before
            // it the number's last digit; neither has a descender, so their
            // ink ends on the same row.
            const Control& signLabel = dump.controls.at("percentSymbolLabel");
            const XRect both = OnScreen(dump, dump.controls.at("percentCompleteLabel"));
            struct Run
            {
                int first, last, bottom;
            };
            std::vector<Run> runs;
            for (int x = both.x; x < dump.x + signLabel.x + signLabel.width; ++x) {
                const Ink column = FindInk(p, {x, both.y, 1, both.height}, {fill, track});
                if (column.count == 0)
                    continue;
                if (runs.empty() || runs.back().last != x - 1)
                    runs.push_back({x, x, column.bottom});
                runs.back().last = x;
                runs.back().bottom = std::max(runs.back().bottom, column.bottom);
            }
            ASSERT_GE(runs.size(), 2u) << m.name;
            const Run &sign = runs.back(), &digit = runs[runs.size() - 2];
            EXPECT_GE(sign.first, dump.x + signLabel.x) << m.name;
            EXPECT_LE(sign.first - digit.last, 4) << m.name;
            EXPECT_EQ(sign.bottom, digit.bottom) << m.name;
        }
        EXPECT_TRUE(sawOverFill);
        EXPECT_TRUE(sawOverTrack);
        // The transfer ends and the window asks for the rescan; EXIT ends
        // the program once the rescan found the device back.
        ASSERT_TRUE(WaitForDump(
            [](const Dump& d) { return d.controls.at("buttonManualDeviceHasUpdatedRescanButton").shown; }));
        ASSERT_TRUE(sim.WaitStatus("state=attached mode=normal"));
        MoveToMiddle(dump.controls.at("buttonManualDeviceHasUpdatedRescanButton"));
        input.Click(1);
        ASSERT_TRUE(WaitForDump([](const Dump& d) {
            return d.controls.at("buttonExit").shown &&
                   !d.controls.at("buttonManualDeviceHasUpdatedRescanButton").shown;
        }));
        MoveToMiddle(dump.controls.at("buttonExit"));
        input.Click(1);
    });
}

// Which of the shown buttons draws a focus outline on all four sides of its
// edge, in a colour that stands out from its face; -1 for none, -2 for a
// partial outline or more than one.
int FocusedButton(XServer& server, const Dump& dump, const std::vector<std::string>& names)
{
    int found = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        const XRect r = OnScreen(dump, dump.controls.at(names[i]));
        const Pixels p(server, r);
        const uint32_t face = p.At(r.x + 4, r.y + r.height / 2);
        const uint32_t sides[] = {p.At(r.x + r.width / 2, r.y), p.At(r.x + r.width / 2, r.y + r.height - 1),
                                  p.At(r.x, r.y + r.height / 2), p.At(r.x + r.width - 1, r.y + r.height / 2)};
        int outlined = 0;
        for (const uint32_t side : sides)
            outlined += Distance(side, sides[0]) <= 4 && Contrast(side, face) >= 3.0;
        if (outlined == 4)
            found = found == -1 ? int(i) : -2;
        else if (outlined > 0 && Contrast(sides[0], face) >= 3.0)
            return -2;
    }
    return found;
}

// Tab goes round the shown buttons and back to the first after the last,
// with always exactly one outlined; a held press shades a button apart
// from its normal and hover looks.
TEST_F(WindowLookTest, TabGoesRoundTheButtonsAndAPressShowsItsOwnShade)
{
    RunUpdater({"--mode", "normal", "--version", "0.0.3.6"}, [&](pid_t) {
        ASSERT_TRUE(WaitForDump([](const Dump& d) {
            return d.controls.at("buttonUpdateFirmware").shown && d.controls.at("buttonExit").shown;
        }));
        const std::vector<std::string> buttons = {"buttonUpdateFirmware", "buttonExit"};
        // Keys go to the window under the pointer; the header has no hover look.
        input.MoveTo(dump.x + 10, dump.y + 10);
        input.Sync();

        // The window taking the keyboard focus gives it to its first
        // button; every Tab moves it to the other one, Shift+Tab back.
        const auto focusMovesTo = [&](int expected) {
            return Within(10, [&] { return FocusedButton(server, dump, buttons) == expected; });
        };
        ASSERT_TRUE(focusMovesTo(0)) << "UPDATE FIRMWARE not focused at first: "
                                     << FocusedButton(server, dump, buttons);
        server.Screenshot("window-look-focus-0");
        for (int press = 1; press <= 4; ++press) {
            input.Key(XK_Tab);
            const bool moved = focusMovesTo(press % 2);
            server.Screenshot("window-look-focus-" + std::to_string(press));
            ASSERT_TRUE(moved) << "Tab " << press << ": " << FocusedButton(server, dump, buttons);
        }
        input.Key(XK_Tab, {XK_Shift_L});
        EXPECT_TRUE(focusMovesTo(1));

        // Normal, hover and pressed shades of EXIT's face, away from its text.
        const Control& exitButton = dump.controls.at("buttonExit");
        const XRect r = OnScreen(dump, exitButton);
        const auto face = [&] { return Pixels(server, {r.x + 5, r.y + r.height / 2, 1, 1}).px.at(0); };
        input.Key(XK_Tab);  // the focus outline off EXIT's edge changes nothing of its face
        const uint32_t normal = face();
        MoveToMiddle(exitButton);
        uint32_t hover = normal;
        ASSERT_TRUE(Within(10, [&] { return Distance(hover = face(), normal) > 8; })) << "no hover look";
        // Held and moved a little within it, so that the press counts as
        // held however soon the look follows a plain press.
        input.Press(1);
        input.MoveTo(r.x + r.width / 2 + 6, r.y + r.height / 2 + 2);
        input.Sync();
        uint32_t pressed = hover;
        const bool shaded = Within(10, [&] { return Distance(pressed = face(), hover) > 8; });
        server.Screenshot("window-look-pressed");
        EXPECT_TRUE(shaded) << "no pressed look";
        const uint32_t ground = Pixels(server, {r.x - 3, r.y + r.height / 2, 1, 1}).px.at(0);
        for (const uint32_t other : {normal, hover, ground})
            EXPECT_GE(Distance(pressed, other), 24) << std::hex << pressed << " beside " << other;
        // Its text stays readable.
        const Ink text = FindInk(Pixels(server, r), {r.x + 4, r.y + 4, r.width - 8, r.height - 8}, {pressed});
        EXPECT_GE(text.contrast, 4.5);
        // Released over it: EXIT's click ends the program.
        input.Release(1);
        input.Sync();
    });
}

}  // namespace
