#pragma once

namespace Tavo::Platform {

// Fontconfig's default configuration, loaded once for the process. Pango's
// font map loads it on a thread of its own too, and two loads at once race:
// every fontconfig caller here waits for this one load first, and the text
// engine makes Pango's font map only after it, so Pango's own load finds
// the work done.

// Returns once the configuration is loaded: waits for a load under way on
// another thread, or loads it on this one.
void WaitForFontConfig();

}  // namespace Tavo::Platform
