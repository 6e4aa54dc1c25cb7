#pragma once

#include "ControlBase/SkinTypes.h"
#include "Utilities/Graphics/ColorRGBA.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace Tavo {

class IFactoryControl;
class LControlDescriptor;

// (out control, parent, descriptor): a control class's static create operation.
using ControlCreateFunction = void (*)(SkinRef<IFactoryControl>& control,
                                       const SkinRef<IFactoryControl>& parent,
                                       const SkinRef<LControlDescriptor>& descriptor);

// One string id -> text map; lookups hand out copies.
class LStringTable
{
public:
    using Map = std::map<SkinString, SkinString>;

    static SkinRef<LStringTable> Create(const Map& strings = Map());

    // E_INVALIDARG for an empty id; S_OK when added, S_FALSE when replaced.
    TavoResult SetString(const SkinString& id, const SkinString& text);
    // False leaves text untouched.
    bool FindString(const SkinString& id, SkinString& text) const;
    // All (id, text) pairs in ascending id order.
    TavoResult GetPairs(std::vector<std::pair<SkinString, SkinString>>& pairs) const;
    const Map& Strings() const { return mStrings; }

private:
    Map mStrings;
};

// Placement record of one control; the reader fills it from "SubControl".
class LLayoutDescriptor
{
public:
    // Position references: 0 parent/screen, 1 client, 2 named control.
    // Size references: 0 parent/screen, 1 client, 2 self, 3 named control.
    // Limit references: 0 self, 1 named control.
    struct Axis
    {
        float placementAnchor = 0.0f;
        bool docked = false;
        int32_t positionRef = 1;
        SkinString positionRefName;
        float positionRel = 0.0f;
        double positionAbs = 0.0;
        int32_t sizeRef = 2;
        SkinString sizeRefName;
        float sizeRel = 0.0f;
        double sizeAbs = 0.0;
        int32_t minRef = 0;
        SkinString minRefName;
        float minRel = 0.0f;
        double minAbs = 0.0;
        int32_t maxRef = 0;
        SkinString maxRefName;
        float maxRel = 0.0f;
        double maxAbs = 0.0;
    };

    static SkinRef<LLayoutDescriptor> Create();
    SkinRef<LLayoutDescriptor> Clone() const { return std::make_shared<LLayoutDescriptor>(*this); }

    bool clipToParent = true;
    int32_t zOrder = 0;
    int32_t tabStop = 0;
    int32_t layoutOrder = 0;
    bool visible = true;
    bool enabled = true;
    bool propagateInvalidation = true;
    Axis x;
    Axis y;
    SkinString textDecoration;
    int32_t textOverflowX = 0;  // 0 clip, 1 expand, 2 wrap
    int32_t textOverflowY = 0;  // 0 clip, 1 expand
};

class LColorizer
{
public:
    enum Type : int32_t { kSolid = 0, kLinearGradient = 1, kRadialGradient = 2 };

    static SkinRef<LColorizer> Create(const SkinString& name, int32_t type, const ColorRGBA& color,
                                      const ColorRGBA& endColor, float startX, float startY,
                                      float endX, float endY);

    SkinString name;
    int32_t type = kSolid;
    ColorRGBA color;
    ColorRGBA endColor;
    float startX = 0, startY = 0, endX = 0, endY = 0;
};

struct SourceRect
{
    int32_t x = 0, y = 0, width = 0, height = 0;
};

class LVisualPartDescriptor
{
public:
    enum ResizeType : int32_t { kStretch = 0, kTile = 1, kCenter = 2 };

    // Empty when the image reference is empty.
    static SkinRef<LVisualPartDescriptor> CreateImagePart(
        const SkinString& name, const SkinString& image, const SourceRect& imageRect, int32_t resizeType,
        const SkinRef<LColorizer>& colorizer, float alphaModifier, const SkinString& mask,
        const SourceRect& maskRect);
    // Empty when there is no colorizer.
    static SkinRef<LVisualPartDescriptor> CreateColorPart(
        const SkinString& name, const SkinRef<LColorizer>& colorizer, int32_t width, int32_t height,
        int32_t resizeType, float alphaModifier, const SkinString& mask, const SourceRect& maskRect);

    SkinString name;
    SkinString image;
    SourceRect imageRect;
    int32_t width = 0;
    int32_t height = 0;
    int32_t resizeType = kStretch;
    SkinRef<LColorizer> colorizer;
    float alphaModifier = 1.0f;
    SkinString mask;
    SourceRect maskRect;
    SkinString further;
};

class LDockedPart
{
public:
    enum OffsetBits : int32_t { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };

    static SkinRef<LDockedPart> Create(const SkinRef<LVisualPartDescriptor>& part, int32_t offsetMask,
                                       int32_t left, int32_t top, int32_t right, int32_t bottom,
                                       bool fixedWidth, int32_t width, bool fixedHeight, int32_t height);

    SkinRef<LVisualPartDescriptor> part;
    int32_t offsetMask = 0;
    int32_t offsetLeft = 0, offsetTop = 0, offsetRight = 0, offsetBottom = 0;
    bool fixedWidth = false;
    int32_t width = 0;
    bool fixedHeight = false;
    int32_t height = 0;
};

struct TextProperties
{
    float leftRel = 0;
    int32_t leftAbs = 0;
    float rightRel = 0;
    int32_t rightAbs = 0;
    float hAlign = 0;
    float topRel = 0;
    int32_t topAbs = 0;
    float bottomRel = 0;
    int32_t bottomAbs = 0;
    float vAlign = 0;
};

class LLookDescriptor
{
public:
    static SkinRef<LLookDescriptor> Create(const SkinString& name);

    TavoResult SetClientPart(const SkinRef<LDockedPart>& part);
    TavoResult SetTextProperties(const TextProperties& text, const SkinRef<LVisualPartDescriptor>& foreground);

    SkinString name;
    SkinRef<LDockedPart> clientPart;
    std::vector<SkinRef<LDockedPart>> dockedParts;
    bool hasTextProperties = false;
    TextProperties text;
    SkinRef<LVisualPartDescriptor> textForeground;
};

// Slots may stay empty; one list may serve several skins.
class LLookList
{
public:
    static SkinRef<LLookList> Create(int32_t count);

    int32_t GetCount() const { return static_cast<int32_t>(mLooks.size()); }
    SkinRef<LLookDescriptor> GetAt(int32_t index) const;
    // E_INVALIDARG for an index outside the list.
    TavoResult SetAt(int32_t index, const SkinRef<LLookDescriptor>& look);

private:
    std::vector<SkinRef<LLookDescriptor>> mLooks;
};

class LSkinDescriptor
{
public:
    static SkinRef<LSkinDescriptor> Create(const SkinString& name);

    SkinString name;
    SkinRef<LLookList> lookList;
    bool fontInheritsFromParent = false;
    bool fontSizeIsRelative = false;
    SkinString fontName;
    float fontSize = 0.0f;   // below 1.0: not set
    int32_t fontStyle = -1;  // -1: not set
};

class LControlDescriptor
{
public:
    static SkinRef<LControlDescriptor> Create(const SkinString& className, const SkinString& name,
                                              LControlDescriptor* parent);

    // Index of the new child.
    int32_t AddChild(const SkinRef<LControlDescriptor>& child);
    TavoResult SetSkin(const SkinRef<LSkinDescriptor>& skin);
    TavoResult SetLayout(const SkinRef<LLayoutDescriptor>& layout);
    TavoResult SetCreateParams(const SkinRef<LStringTable>& params);

    // Shares children, skin, layout and parameters; an empty name keeps the name.
    SkinRef<LControlDescriptor> Clone(const SkinString& newName) const;
    static SkinRef<LControlDescriptor> CloneWithLayout(const SkinRef<LControlDescriptor>& templ,
                                                       const SkinRef<LLayoutDescriptor>& layout,
                                                       const SkinString& name);

    // "DEFER_CREATE" equal to "true" after trimming blanks and line ends.
    bool IsDeferredCreate() const;
    void SortChildrenByLayoutOrder();

    const SkinString& GetClassName() const { return mClassName; }
    const SkinString& GetName() const { return mName; }
    LControlDescriptor* GetParent() const { return mParent; }
    const std::vector<SkinRef<LControlDescriptor>>& GetChildren() const { return mChildren; }
    const SkinRef<LSkinDescriptor>& GetSkin() const { return mSkin; }
    const SkinRef<LLayoutDescriptor>& GetLayout() const { return mLayout; }
    const SkinRef<LStringTable>& GetCreateParams() const { return mCreateParams; }
    ControlCreateFunction GetCreateFunction() const { return mCreateFunction; }
    void SetCreateFunction(ControlCreateFunction f) { mCreateFunction = f; }

private:
    SkinString mClassName;
    SkinString mName;
    LControlDescriptor* mParent = nullptr;
    std::vector<SkinRef<LControlDescriptor>> mChildren;
    SkinRef<LSkinDescriptor> mSkin;
    SkinRef<LLayoutDescriptor> mLayout;
    SkinRef<LStringTable> mCreateParams;
    ControlCreateFunction mCreateFunction = nullptr;
};

}  // namespace Tavo
