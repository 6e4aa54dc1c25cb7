#include "Renderer/Font.h"

#include "Platform/Kernel/TextCoding.h"

#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"
#include "Utilities/Storage/RCPtrArray.h"

namespace Tavo {

namespace {

RCPtrArray<LFont>& FontList()
{
    static RCPtrArray<LFont>* list = new RCPtrArray<LFont>();
    return *list;
}

uint32_t gNextFontId = 0;

bool SameFace(const WString& a, const WString& b)
{
    const char16_t* p = a.c_str();
    const char16_t* q = b.c_str();
    if (p == q)
        return true;
    for (; *p && *q; ++p, ++q)
        if (Platform::FoldCase(*p) != Platform::FoldCase(*q))
            return false;
    return *p == *q;
}

}  // namespace

LFont::LFont(const WString& face, float size, int32_t style)
    : mFace(face), mSize(size), mStyle(style), mId(++gNextFontId)
{
}

int32_t LFont::Find(const WString& face, float size, int32_t style)
{
    const RCPtrArray<LFont>& list = FontList();
    for (uint32_t i = list.GetCount(); i-- > 0;) {
        const LFont* font = list[i].Get();
        if (SameFace(font->mFace, face) && font->mSize == size && font->mStyle == style)
            return static_cast<int32_t>(i);
    }
    return -1;
}

RCPtr<LFont> LFont::FindOrCreate(const WString& face, float size, int32_t style)
{
    const int32_t index = Find(face, size, style);
    if (index >= 0)
        return FontList()[static_cast<uint32_t>(index)];
    RCPtr<LFont> font(new LFont(face, size, style));
    FontList().Add(font);
    font->AddInternalReferences(1);
    return font;
}

uint32_t LFont::GetFontListCount()
{
    return FontList().GetCount();
}

TavoResult LFont::ReleaseInternalReferences()
{
    const int32_t index = Find(mFace, mSize, mStyle);
    if (index < 0 || FontList()[static_cast<uint32_t>(index)].Get() != this)
        return E_FAIL;
    // Uncount the list's reference first so its release is a plain one.
    AddInternalReferences(-1);
    RCPtr<LFont> removed;
    FontList().RemoveItem(static_cast<uint32_t>(index), removed);
    return S_OK;
}

void LFont::EnsureMetrics()
{
    if (mLineHeight != -1)
        return;
    RCPtr<LMeasurementRenderer> renderer = Tavo::GetMeasurementRenderer();
    if (!renderer)
        return;
    int32_t lineHeight = -1;
    int32_t top = 0;
    int32_t descent = 0;
    renderer->GetFontMetrics(RCPtr<LFont>(this), lineHeight, top, descent);
    mTop = top;
    mDescent = descent;
    mLineHeight = lineHeight;
}

int32_t LFont::ComputeMetrics()
{
    EnsureMetrics();
    return mLineHeight;
}

int32_t LFont::GetTop()
{
    EnsureMetrics();
    return mTop;
}

int32_t LFont::GetDescent()
{
    EnsureMetrics();
    return mDescent;
}

}  // namespace Tavo
