#pragma once

#include "Utilities/Geometry/Rect.h"

#include <memory>
#include <string>

namespace Tavo {

class LControl;

// What the window shows, written for programs that watch it from outside
// (the end-to-end tests, the demonstration script) without any switch: with
// TAVO_UI_DUMP naming a file, the control tree is written there whenever it
// changed, through a temporary file renamed over it, so a reader never sees
// half a tree. Tab-separated lines:
//
//   window  <screen x> <screen y> <width> <height>
//   <name> <class> <shown 0|1> <enabled 0|1> <x> <y> <width> <height> <value> <text>
//
// one control a line, depth first; rectangles in window pixels; the text
// last with "\\", "\n", "\r" and "\t" escaped.
class UiDump
{
public:
    explicit UiDump(std::string path) : mPath(std::move(path)) {}

    // Null when TAVO_UI_DUMP is unset or empty.
    static std::unique_ptr<UiDump> FromEnvironment();
    static std::string Describe(LControl& root, const PointT<int32_t>& screenOrigin);

    // True when the file was written (the tree differed from the last one).
    bool Update(LControl& root, const PointT<int32_t>& screenOrigin);

private:
    std::string mPath;
    std::string mLast;
};

}  // namespace Tavo
