#include "ControlBase/SkinDescriptors.h"

#include "ControlBase/VisualPart.h"

#include <algorithm>

namespace Tavo {

RCPtr<LStringTable> LStringTable::Create(const Map& strings)
{
    auto table = MakeRC<LStringTable>();
    table->mStrings = strings;
    return table;
}

TavoResult LStringTable::SetString(const WString& id, const WString& text)
{
    if (id.IsEmpty())
        return E_INVALIDARG;
    auto [it, added] = mStrings.try_emplace(id, text);
    if (added)
        return S_OK;
    it->second = text;
    return S_FALSE;
}

bool LStringTable::FindString(const WString& id, WString& text) const
{
    const auto it = mStrings.find(id);
    if (it == mStrings.end())
        return false;
    text = it->second;
    return true;
}

TavoResult LStringTable::GetPairs(Pairs& pairs) const
{
    pairs.Clear();
    for (const auto& [id, text] : mStrings)
        pairs.Add(Pair<WString, WString>(id, text));
    return S_OK;
}

RCPtr<LLayoutDescriptor> LLayoutDescriptor::Create()
{
    auto layout = MakeRC<LLayoutDescriptor>();
    layout->x.sizeAbs = 16.0;
    layout->y.sizeAbs = 40.0;
    return layout;
}

namespace {

// What image and color parts have in common.
RCPtr<LVisualPartDescriptor> MakePart(const WString& name, int32_t width, int32_t height, int32_t resizeType,
                                      const RCPtr<LColorizer>& colorizer, float alphaModifier,
                                      const WString& mask, const SourceRect& maskRect)
{
    auto p = MakeRC<LVisualPartDescriptor>();
    p->name = name;
    p->width = width;
    p->height = height;
    p->resizeType = resizeType;
    p->colorizer = colorizer;
    p->alphaModifier = alphaModifier;
    p->mask = mask;
    p->maskRect = maskRect;
    return p;
}

}  // namespace

RCPtr<LVisualPartDescriptor> LVisualPartDescriptor::CreateImagePart(
    const WString& name, const WString& image, const SourceRect& imageRect, int32_t resizeType,
    const RCPtr<LColorizer>& colorizer, float alphaModifier, const WString& mask, const SourceRect& maskRect)
{
    if (image.IsEmpty())
        return nullptr;
    auto p = MakePart(name, imageRect.width, imageRect.height, resizeType, colorizer, alphaModifier, mask,
                      maskRect);
    p->image = image;
    p->imageRect = imageRect;
    return p;
}

RCPtr<LVisualPartDescriptor> LVisualPartDescriptor::CreateColorPart(
    const WString& name, const RCPtr<LColorizer>& colorizer, int32_t width, int32_t height,
    int32_t resizeType, float alphaModifier, const WString& mask, const SourceRect& maskRect)
{
    if (!colorizer)
        return nullptr;
    return MakePart(name, width, height, resizeType, colorizer, alphaModifier, mask, maskRect);
}

RCPtr<LDockedPart> LDockedPart::Create(const RCPtr<LVisualPartDescriptor>& part, int32_t offsetMask,
                                       int32_t left, int32_t top, int32_t right, int32_t bottom,
                                       bool fixedWidth, int32_t width, bool fixedHeight, int32_t height)
{
    auto d = MakeRC<LDockedPart>();
    d->part = part;
    d->offsetMask = offsetMask;
    d->offsetLeft = left;
    d->offsetTop = top;
    d->offsetRight = right;
    d->offsetBottom = bottom;
    d->fixedWidth = fixedWidth;
    d->width = width;
    d->fixedHeight = fixedHeight;
    d->height = height;
    return d;
}

RCPtr<LLookDescriptor> LLookDescriptor::Create(const WString& name)
{
    auto look = MakeRC<LLookDescriptor>();
    look->name = name;
    return look;
}

TavoResult LLookDescriptor::SetClientPart(const RCPtr<LDockedPart>& part)
{
    clientPart = part;
    return S_OK;
}

TavoResult LLookDescriptor::SetTextProperties(const TextProperties& t,
                                              const RCPtr<LVisualPartDescriptor>& foreground)
{
    text = t;
    textForeground = foreground;
    hasTextProperties = true;
    return S_OK;
}

RCPtr<LSkinDescriptor> LSkinDescriptor::Create(const WString& name)
{
    auto skin = MakeRC<LSkinDescriptor>();
    skin->name = name;
    return skin;
}

RCPtr<LControlDescriptor> LControlDescriptor::Create(const WString& className, const WString& name,
                                                     LControlDescriptor* parent)
{
    auto d = MakeRC<LControlDescriptor>();
    d->mClassName = className;
    d->mName = name;
    d->mParent = parent;
    return d;
}

int32_t LControlDescriptor::AddChild(const RCPtr<LControlDescriptor>& child)
{
    mChildren.push_back(child);
    return static_cast<int32_t>(mChildren.size() - 1);
}

TavoResult LControlDescriptor::SetSkin(const RCPtr<LSkinDescriptor>& skin)
{
    mSkin = skin;
    return S_OK;
}

TavoResult LControlDescriptor::SetLayout(const RCPtr<LLayoutDescriptor>& layout)
{
    mLayout = layout;
    return S_OK;
}

TavoResult LControlDescriptor::SetCreateParams(const RCPtr<LStringTable>& params)
{
    mCreateParams = params;
    return S_OK;
}

RCPtr<LControlDescriptor> LControlDescriptor::Clone(const WString& newName) const
{
    RCPtr<LControlDescriptor> d(new LControlDescriptor(*this));
    if (!newName.IsEmpty())
        d->mName = newName;
    return d;
}

RCPtr<LControlDescriptor> LControlDescriptor::CloneWithLayout(const RCPtr<LControlDescriptor>& templ,
                                                              const RCPtr<LLayoutDescriptor>& layout,
                                                              const WString& name)
{
    if (!templ)
        return nullptr;
    auto d = templ->Clone(WString());
    d->mName = name;
    d->mLayout = layout;
    return d;
}

bool LControlDescriptor::IsDeferredCreate() const
{
    WString value;
    if (!mCreateParams || !mCreateParams->FindString(u"DEFER_CREATE", value))
        return false;
    const std::u16string text = ToStdString(value);
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t b = 0, e = text.size();
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    return text.compare(b, e - b, u"true") == 0;
}

void LControlDescriptor::SortChildrenByLayoutOrder()
{
    std::stable_sort(mChildren.begin(), mChildren.end(), [](const auto& a, const auto& b) {
        const int32_t la = a && a->mLayout ? a->mLayout->layoutOrder : 0;
        const int32_t lb = b && b->mLayout ? b->mLayout->layoutOrder : 0;
        return la < lb;
    });
}

}  // namespace Tavo
