#pragma once

// Text through Pango on Cairo. Fonts are resolved by fontconfig, so a face
// that is not installed is replaced by its metric-compatible stand-in, and a
// character the face lacks is drawn from a fallback face.

#include <cstdint>
#include <string>
#include <vector>

typedef struct _PangoLayout PangoLayout;

namespace Tavo::Platform::Graphics {

// Starts making the text engine (the font configuration first, then Pango's
// font map) on a thread of its own, so that the first text measured need not
// wait for all of it.
void PrepareText();

// A font request.
struct FontSpec
{
    const char* family;
    double pixelSize;
    // 1 bold, 2 italic, 4 underline, 8 strikeout.
    int32_t style;
};

// The unhinted design metrics of the face that serves a font, in font units.
struct FaceMetrics
{
    std::string family;
    double unitsPerEm = 0;
    // The cell above and below the baseline the platform's fonts report: the
    // face's Windows ascent and descent, else its horizontal header's.
    double cellAscent = 0;
    double cellDescent = 0;
    // Ascent plus descent plus line gap of the horizontal header.
    double lineSpacing = 0;
};

// One resolved font. Measuring and drawing use the same fixed font options
// (grey anti-aliasing, no hinting, unhinted metrics), never those of the
// target surface or the desktop, so what is measured is what is drawn.
// Control characters neither draw nor take room.
class TextFont
{
public:
    explicit TextFont(const FontSpec& spec);
    ~TextFont();
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // Zero sizes when no face could be loaded.
    const FaceMetrics& GetFaceMetrics() const { return mMetrics; }
    // The logical width of one line of UTF-8 text, trailing spaces included.
    double MeasureWidth(const char* utf8) const;
    // Characters that neither the face nor any fallback face can draw.
    int CountMissingGlyphs(const char* utf8) const;

private:
    friend class Graphics;
    // Lays the line out in mCurrent; returns the baseline's distance below
    // the layout's top, at the laid-out size.
    double Prepare(const char* utf8) const;

    // Fonts larger than this are laid out at this size and scaled: asked
    // for far larger sizes, FreeType fails, and Cairo then marks the face
    // it shares between every size of the file as failed, so that even
    // small text of it draws nothing afterwards.
    static constexpr double kLargestLaidOut = 8192;

    struct Laid
    {
        PangoLayout* layout;
        std::string text;
        double baseline;
        uint64_t lastUse;
    };
    static constexpr size_t kLaidKept = 8;

    PangoLayout* mLayout;  // the font and attributes every laid-out line copies
    FaceMetrics mMetrics;
    mutable std::vector<Laid> mLaid;
    mutable PangoLayout* mCurrent = nullptr;
    // The font's size over the laid-out size: 1 up to kLargestLaidOut.
    double mScale = 1;
    mutable uint64_t mUseCount = 0;
};

}  // namespace Tavo::Platform::Graphics
