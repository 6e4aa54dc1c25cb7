#pragma once

#include "Renderer/Font.h"
#include "Utilities/Geometry/Rect.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tavo {

// A block of text laid out in a box with one font; measured through the
// fonts' measurement renderer, so it works before any window paints.
class LFontText
{
public:
    WString text;
    RCPtr<LFont> font;
    float horizontalAlignment = 0;
    float verticalAlignment = 0;
    bool wordWrap = false;
    int32_t boxWidth = 0;
    int32_t boxHeight = 0;

    // The owner calls this after changing any field above.
    void ClearLayout();

    // Lays out the lines when needed.
    uint32_t GetLineCount();
    const std::vector<WString>& GetLines() const { return mLines; }
    const std::vector<RectT<float>>& GetLineRects() const { return mRects; }

    // Line height times the number of lines at that width.
    int32_t GetHeight(int32_t width);
    // The widest line split at line breaks only, rounded up.
    int32_t GetWidth();
    PointT<int32_t> GetExtent();

    // Lines at "\n"; a trailing one adds no empty line and "\r" stays.
    static std::vector<std::u16string> SplitLines(const std::u16string& text);

private:
    std::vector<std::u16string> MakeLines(int32_t width);
    size_t FitCount(const std::u16string& text, int32_t width);
    float RightEdge(const std::u16string& s);

    std::vector<WString> mLines;
    std::vector<RectT<float>> mRects;
};

}  // namespace Tavo
