#pragma once

#include "Renderer/FontRenderer/GlyphProcessor.h"
#include "Utilities/Geometry/Rect.h"

namespace Tavo {

// Turns text in a font into positioned glyphs for a glyph processor.
class LFontRenderer : public virtual LRefCountedObject
{
public:
    // The first processor is only held; the second measures.
    LFontRenderer(const RCPtr<LGlyphProcessor>& first, const RCPtr<LGlyphProcessor>& second)
        : mFirst(first), mSecond(second)
    {
    }
    ~LFontRenderer() override { mSecond = nullptr; }

    virtual void MeasureString(RectT<float>& out, const WString& text, const RCPtr<LFont>& font);
    virtual TavoResult GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                                      int32_t& descent) = 0;
    // Walks the text from start; the number of characters walked.
    virtual uint32_t ProcessGlyphs(const WString& text, const RCPtr<LFont>& font,
                                   const RCPtr<LGlyphProcessor>& processor, uint32_t start, float maxWidth,
                                   uint32_t flags) = 0;
    virtual void GetProcessedBounds(float& left, float& top, float& right, float& bottom);

    const RCPtr<LGlyphProcessor>& GetSecondProcessor() const { return mSecond; }

private:
    RCPtr<LGlyphProcessor> mFirst;
    RCPtr<LGlyphProcessor> mSecond;
};

// The font renderer on FreeType with its cache manager. Its FreeType state is
// process-wide: at most one exists at a time.
class LFreetypeFontRenderer : public LFontRenderer
{
public:
    LFreetypeFontRenderer(const RCPtr<LGlyphProcessor>& first, const RCPtr<LGlyphProcessor>& second);
    ~LFreetypeFontRenderer() override;

    // Text larger than FreeType takes is measured at a size it takes, scaled.
    void MeasureString(RectT<float>& out, const WString& text, const RCPtr<LFont>& font) override;
    TavoResult GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                              int32_t& descent) override;
    // A maxWidth above 0 ends the walk before a glyph whose right edge would
    // pass it.
    uint32_t ProcessGlyphs(const WString& text, const RCPtr<LFont>& font,
                           const RCPtr<LGlyphProcessor>& processor, uint32_t start, float maxWidth,
                           uint32_t flags) override;
};

}  // namespace Tavo
