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

}  // namespace Baseline
