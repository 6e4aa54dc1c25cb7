#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

class LMeasurementRenderer;

// An interned font request: one shared object per (face, size, style).
class LFont : public virtual LRefCountedObject
{
public:
    // Style bits, handed to the renderer unchanged.
    enum : int32_t { kRegular = 0, kBold = 1, kItalic = 2, kUnderline = 4, kStrikeout = 8 };

    static RCPtr<LFont> FindOrCreate(const WString& face, float size, int32_t style);
    // Index into the font list, nearest the end first; -1 when absent.
    static int32_t Find(const WString& face, float size, int32_t style);
    static uint32_t GetFontListCount();

    const WString& GetFace() const { return mFace; }
    float GetSize() const { return mSize; }
    int32_t GetStyle() const { return mStyle; }
    uint32_t GetId() const { return mId; }

    // Each measures all three metrics on first use, with the application's
    // measurement renderer (Tavo::GetMeasurementRenderer).
    int32_t ComputeMetrics();
    int32_t GetTop();
    int32_t GetDescent();
    // -1 until measured.
    int32_t GetLineHeightIfKnown() const { return mLineHeight; }

    TavoResult ReleaseInternalReferences() override;

private:
    LFont(const WString& face, float size, int32_t style);
    void EnsureMetrics();

    WString mFace;
    float mSize;
    int32_t mStyle;
    int32_t mLineHeight = -1;
    int32_t mTop = 0;
    int32_t mDescent = 0;
    uint32_t mId;
};

}  // namespace Tavo
