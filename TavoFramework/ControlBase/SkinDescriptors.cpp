#include "ControlBase/SkinDescriptors.h"

#include <algorithm>

namespace Tavo {

SkinRef<LStringTable> LStringTable::Create(const Map& strings)
{
    auto table = std::make_shared<LStringTable>();
    table->mStrings = strings;
    return table;
}

TavoResult LStringTable::SetString(const SkinString& id, const SkinString& text)
{
    if (id.empty())
        return E_INVALIDARG;
    auto [it, added] = mStrings.try_emplace(id, text);
    if (added)
        return S_OK;
    it->second = text;
    return S_FALSE;
}

bool LStringTable::FindString(const SkinString& id, SkinString& text) const
{
    const auto it = mStrings.find(id);
    if (it == mStrings.end())
        return false;
    text = it->second;
    return true;
}

TavoResult LStringTable::GetPairs(std::vector<std::pair<SkinString, SkinString>>& pairs) const
{
    pairs.assign(mStrings.begin(), mStrings.end());
    return S_OK;
}

SkinRef<LLayoutDescriptor> LLayoutDescriptor::Create()
{
    auto layout = std::make_shared<LLayoutDescriptor>();
    layout->x.sizeAbs = 16.0;
    layout->y.sizeAbs = 40.0;
    return layout;
}

SkinRef<LColorizer> LColorizer::Create(const SkinString& name, int32_t type, const ColorRGBA& color,
                                       const ColorRGBA& endColor, float startX, float startY, float endX,
                                       float endY)
{
    auto c = std::make_shared<LColorizer>();
    c->name = name;
    c->type = type;
    c->color = color;
    c->endColor = endColor;
    c->startX = startX;
    c->startY = startY;
    c->endX = endX;
    c->endY = endY;
    return c;
}

SkinRef<LVisualPartDescriptor> LVisualPartDescriptor::CreateImagePart(
    const SkinString& name, const SkinString& image, const SourceRect& imageRect, int32_t resizeType,
    const SkinRef<LColorizer>& colorizer, float alphaModifier, const SkinString& mask,
    const SourceRect& maskRect)
{
    if (image.empty())
        return nullptr;
    auto p = std::make_shared<LVisualPartDescriptor>();
    p->name = name;
    p->image = image;
    p->imageRect = imageRect;
    p->width = imageRect.width;
    p->height = imageRect.height;
    p->resizeType = resizeType;
    p->colorizer = colorizer;
    p->alphaModifier = alphaModifier;
    p->mask = mask;
    p->maskRect = maskRect;
    return p;
}

SkinRef<LVisualPartDescriptor> LVisualPartDescriptor::CreateColorPart(
    const SkinString& name, const SkinRef<LColorizer>& colorizer, int32_t width, int32_t height,
    int32_t resizeType, float alphaModifier, const SkinString& mask, const SourceRect& maskRect)
{
    if (!colorizer)
        return nullptr;
    auto p = std::make_shared<LVisualPartDescriptor>();
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

SkinRef<LDockedPart> LDockedPart::Create(const SkinRef<LVisualPartDescriptor>& part, int32_t offsetMask,
                                         int32_t left, int32_t top, int32_t right, int32_t bottom,
                                         bool fixedWidth, int32_t width, bool fixedHeight, int32_t height)
{
    auto d = std::make_shared<LDockedPart>();
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

SkinRef<LLookDescriptor> LLookDescriptor::Create(const SkinString& name)
{
    auto look = std::make_shared<LLookDescriptor>();
    look->name = name;
    return look;
}

TavoResult LLookDescriptor::SetClientPart(const SkinRef<LDockedPart>& part)
{
    clientPart = part;
    return S_OK;
}

TavoResult LLookDescriptor::SetTextProperties(const TextProperties& t,
                                              const SkinRef<LVisualPartDescriptor>& foreground)
{
    text = t;
    textForeground = foreground;
    hasTextProperties = true;
    return S_OK;
}

SkinRef<LLookList> LLookList::Create(int32_t count)
{
    auto list = std::make_shared<LLookList>();
    list->mLooks.resize(static_cast<size_t>(std::max(count, 0)));
    return list;
}

SkinRef<LLookDescriptor> LLookList::GetAt(int32_t index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return mLooks[static_cast<size_t>(index)];
}

TavoResult LLookList::SetAt(int32_t index, const SkinRef<LLookDescriptor>& look)
{
    if (index < 0 || index >= GetCount())
        return E_INVALIDARG;
    mLooks[static_cast<size_t>(index)] = look;
    return S_OK;
}

SkinRef<LSkinDescriptor> LSkinDescriptor::Create(const SkinString& name)
{
    auto skin = std::make_shared<LSkinDescriptor>();
    skin->name = name;
    return skin;
}

SkinRef<LControlDescriptor> LControlDescriptor::Create(const SkinString& className, const SkinString& name,
                                                       LControlDescriptor* parent)
{
    auto d = std::make_shared<LControlDescriptor>();
    d->mClassName = className;
    d->mName = name;
    d->mParent = parent;
    return d;
}

int32_t LControlDescriptor::AddChild(const SkinRef<LControlDescriptor>& child)
{
    mChildren.push_back(child);
    return static_cast<int32_t>(mChildren.size() - 1);
}

TavoResult LControlDescriptor::SetSkin(const SkinRef<LSkinDescriptor>& skin)
{
    mSkin = skin;
    return S_OK;
}

TavoResult LControlDescriptor::SetLayout(const SkinRef<LLayoutDescriptor>& layout)
{
    mLayout = layout;
    return S_OK;
}

TavoResult LControlDescriptor::SetCreateParams(const SkinRef<LStringTable>& params)
{
    mCreateParams = params;
    return S_OK;
}

SkinRef<LControlDescriptor> LControlDescriptor::Clone(const SkinString& newName) const
{
    auto d = std::make_shared<LControlDescriptor>(*this);
    if (!newName.empty())
        d->mName = newName;
    return d;
}

SkinRef<LControlDescriptor> LControlDescriptor::CloneWithLayout(const SkinRef<LControlDescriptor>& templ,
                                                                const SkinRef<LLayoutDescriptor>& layout,
                                                                const SkinString& name)
{
    if (!templ)
        return nullptr;
    auto d = templ->Clone(SkinString());
    d->mName = name;
    d->mLayout = layout;
    return d;
}

bool LControlDescriptor::IsDeferredCreate() const
{
    SkinString text;
    if (!mCreateParams || !mCreateParams->FindString(u"DEFER_CREATE", text))
        return false;
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
