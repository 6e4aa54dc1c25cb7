#pragma once

// The updater's main window as a plain Cairo and Pango program would paint
// it: the yardstick the framework's window benchmarks are measured against.

typedef struct _cairo cairo_t;

namespace Baseline {

constexpr int kWindowWidth = 560;
constexpr int kWindowHeight = 384;
// Where the product skin puts the window on the screen.
constexpr int kWindowX = 200;
constexpr int kWindowY = 150;

// One full frame: background, header, the texts and buttons of the window
// as it first shows a device that can be updated.
void PaintPicture(cairo_t* cr, int width, int height);

// Where the product skin puts the progress bar in the window.
constexpr int kBarX = 100;
constexpr int kBarY = 256;
constexpr int kBarWidth = 360;
constexpr int kBarHeight = 50;

// The progress bar during a transfer with `fraction` done: track, fill,
// the percentage with its sign and the time left; only the bar's area.
void PaintProgress(cairo_t* cr, double fraction, int secondsLeft);

}  // namespace Baseline
