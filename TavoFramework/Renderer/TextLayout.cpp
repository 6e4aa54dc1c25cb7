#include "Renderer/TextLayout.h"

#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

RectT<float> Measure(const std::u16string& s, const RCPtr<LFont>& font)
{
    RCPtr<LMeasurementRenderer> renderer = GetMeasurementRenderer();
    if (!renderer || !font)
        return {};
    RectT<float> r = renderer->MeasureString(WString(s.c_str()), font);
    // A left bearing counts into the width, so width is the ink's right edge.
    r.width += r.x;
    r.x = 0;
    return r;
}

int32_t RoundClamped(float v)
{
    v = std::clamp(v, -8388608.0f, 8388608.0f);
    return static_cast<int32_t>(std::round(v));
}

}  // namespace

void LFontText::ClearLayout()
{
    mLines.clear();
    mRects.clear();
}

std::vector<std::u16string> LFontText::SplitLines(const std::u16string& text)
{
    if (text.find(u'\n') == std::u16string::npos)
        return {text};
    std::vector<std::u16string> lines;
    std::u16string rest = text;
    while (!rest.empty()) {
        const size_t i = rest.find(u'\n');
        lines.push_back(rest.substr(0, i));
        rest = i == std::u16string::npos ? std::u16string() : rest.substr(i + 1);
    }
    return lines;
}

float LFontText::RightEdge(const std::u16string& s)
{
    return Measure(s, font).width;
}

size_t LFontText::FitCount(const std::u16string& text, int32_t width)
{
    const float w = static_cast<float>(width);
    if (RightEdge(text) < w)
        return text.size();
    std::u16string candidate = text;
    for (;;) {
        size_t result;
        const size_t s = candidate.rfind(u' ');
        if (s != std::u16string::npos && s >= 1) {
            if (RightEdge(candidate.substr(0, s)) <= w) {
                const size_t dash = candidate.rfind(u'-');
                const size_t h = dash == std::u16string::npos ? 0 : dash + 1;
                result = (h > s && RightEdge(candidate.substr(0, h)) <= w) ? h : s;
            } else {
                candidate.resize(s);
                continue;
            }
        } else {
            const size_t dash =
                candidate.size() > 1 ? candidate.rfind(u'-', candidate.size() - 2) : std::u16string::npos;
            const size_t h = dash == std::u16string::npos ? 0 : dash + 1;
            if (h < 1)
                return candidate.size();
            if (RightEdge(candidate.substr(0, h)) <= w)
                result = h;
            else {
                candidate.resize(h);
                continue;
            }
        }
        return result < 1 ? candidate.size() : result;
    }
}

std::vector<std::u16string> LFontText::MakeLines(int32_t width)
{
    const std::vector<std::u16string> paragraphs = SplitLines(std::u16string(text.c_str()));
    if (!wordWrap)
        return paragraphs;
    std::vector<std::u16string> lines;
    for (const std::u16string& paragraph : paragraphs) {
        size_t n = FitCount(paragraph, width);
        std::u16string line = paragraph.substr(0, n);
        size_t consumed = n;
        std::u16string rest = paragraph;
        while (consumed < paragraph.size()) {
            rest = rest.substr(std::min(n, rest.size()));
            const size_t start = rest.find_first_not_of(u" \t\r\n");
            if (start != std::u16string::npos)
                rest = rest.substr(start);
            if (!rest.empty()) {
                lines.push_back(line);
                n = FitCount(rest, width);
                line = rest.substr(0, n);
            }
            consumed = (paragraph.size() - rest.size()) + n;
        }
        lines.push_back(line);
    }
    return lines;
}

uint32_t LFontText::GetLineCount()
{
    if (mLines.empty())
        for (const std::u16string& line : MakeLines(boxWidth))
            mLines.emplace_back(line.c_str());
    if (mRects.empty()) {
        if (mLines.empty())
            mLines.emplace_back(u"");
        const float lineHeight = font ? static_cast<float>(font->ComputeMetrics()) : 0.0f;
        const float y0 = (static_cast<float>(boxHeight) - lineHeight * static_cast<float>(mLines.size())) *
                         verticalAlignment;
        for (size_t i = 0; i < mLines.size(); ++i) {
            const RectT<float> r = Measure(std::u16string(mLines[i].c_str()), font);
            const float x = (static_cast<float>(boxWidth) - r.width) * horizontalAlignment;
            mRects.push_back({x, lineHeight * static_cast<float>(i) + y0, r.width, r.height});
        }
    }
    return static_cast<uint32_t>(mRects.size());
}

int32_t LFontText::GetHeight(int32_t width)
{
    const int32_t lineHeight = font ? font->ComputeMetrics() : 0;
    return lineHeight * static_cast<int32_t>(MakeLines(width).size());
}

int32_t LFontText::GetWidth()
{
    const std::vector<std::u16string> lines = SplitLines(std::u16string(text.c_str()));
    float widest = 0;
    for (size_t i = lines.size(); i-- > 0;)
        widest = std::max(widest, RightEdge(lines[i]));
    return static_cast<int32_t>(widest + 0.99f);
}

PointT<int32_t> LFontText::GetExtent()
{
    GetLineCount();
    float left = 0, top = 0, right = 0, bottom = 0;
    for (const RectT<float>& r : mRects) {
        left = std::min(left, r.x);
        top = std::min(top, r.y);
        right = std::max(right, r.x + r.width);
        bottom = std::max(bottom, r.y + r.height);
    }
    return {RoundClamped(right - left), RoundClamped(bottom - top)};
}

}  // namespace Tavo
