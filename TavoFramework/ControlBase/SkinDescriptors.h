#pragma once

#include "ControlBase/SkinTypes.h"
#include "ObjectBase/RefCountedObject.h"
#include "Renderer/Colorizer.h"
#include "Utilities/Graphics/ColorRGBA.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/LRCPtrArray.h"
#include "Utilities/Storage/Pair.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace Tavo {

class LControl;
class LControlDescriptor;
class LVisualPart;

// (out control, parent, descriptor): a control class's static create operation.
using ControlCreateFunction = void (*)(RCPtr<LControl>& control, const RCPtr<LControl>& parent,
                                       const RCPtr<LControlDescriptor>& descriptor);

// One string id -> text map; lookups hand out copies.
class LStringTable : public virtual LRefCountedObject
{
public:
    using Map = std::map<WString, WString>;

    static RCPtr<LStringTable> Create(const Map& strings = Map());

    // E_INVALIDARG for an empty id; S_OK when added, S_FALSE when replaced.
    TavoResult SetString(const WString& id, const WString& text);
    // False leaves text untouched.
    bool FindString(const WString& id, WString& text) const;
    using Pairs = Array<Pair<WString, WString>>;

    // Empties the array, then all (id, text) pairs in ascending id order.
    TavoResult GetPairs(Pairs& pairs) const;
    const Map& Strings() const { return mStrings; }

private:
    Map mStrings;
};

// Placement record of one control; the reader fills it from "SubControl".
class LLayoutDescriptor : public virtual LRefCountedObject
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
        WString positionRefName;
        float positionRel = 0.0f;
        double positionAbs = 0.0;
        int32_t sizeRef = 2;
        WString sizeRefName;
        float sizeRel = 0.0f;
        double sizeAbs = 0.0;
        int32_t minRef = 0;
        WString minRefName;
        float minRel = 0.0f;
        double minAbs = 0.0;
        int32_t maxRef = 0;
        WString maxRefName;
        float maxRel = 0.0f;
        double maxAbs = 0.0;
    };

    static RCPtr<LLayoutDescriptor> Create();
    RCPtr<LLayoutDescriptor> Clone() const { return MakeRC<LLayoutDescriptor>(*this); }

    bool clipToParent = true;
    int32_t zOrder = 0;
    int32_t tabStop = 0;
    int32_t layoutOrder = 0;
    bool visible = true;
    bool enabled = true;
    bool propagateInvalidation = true;
    Axis x;
    Axis y;
    WString textDecoration;
    int32_t textOverflowX = 0;  // 0 clip, 1 expand, 2 wrap
    int32_t textOverflowY = 0;  // 0 clip, 1 expand
};

struct SourceRect
{
    int32_t x = 0, y = 0, width = 0, height = 0;
};

class LVisualPartDescriptor : public virtual LRefCountedObject
{
public:
    enum ResizeType : int32_t { kStretch = 0, kTile = 1, kCenter = 2 };

    // Empty when the image reference is empty.
    static RCPtr<LVisualPartDescriptor> CreateImagePart(const WString& name, const WString& image,
                                                        const SourceRect& imageRect, int32_t resizeType,
                                                        const RCPtr<LColorizer>& colorizer,
                                                        float alphaModifier, const WString& mask,
                                                        const SourceRect& maskRect);
    // Empty when there is no colorizer.
    static RCPtr<LVisualPartDescriptor> CreateColorPart(const WString& name,
                                                        const RCPtr<LColorizer>& colorizer, int32_t width,
                                                        int32_t height, int32_t resizeType,
                                                        float alphaModifier, const WString& mask,
                                                        const SourceRect& maskRect);

    WString name;
    WString image;
    SourceRect imageRect;
    int32_t width = 0;
    int32_t height = 0;
    int32_t resizeType = kStretch;
    RCPtr<LColorizer> colorizer;
    float alphaModifier = 1.0f;
    WString mask;
    SourceRect maskRect;
    WString further;

    ~LVisualPartDescriptor() override;
    // The part made from this record, shared by every look that names it;
    // made on first use, empty when the record yields none.
    RCPtr<LVisualPart> GetVisualPart();
    // Held only while some look holds the part too (see LVisualPart).
    RCPtr<LVisualPart> cachedPart;
};

class LDockedPart : public virtual LRefCountedObject
{
public:
    enum OffsetBits : int32_t { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };

    static RCPtr<LDockedPart> Create(const RCPtr<LVisualPartDescriptor>& part, int32_t offsetMask,
                                     int32_t left, int32_t top, int32_t right, int32_t bottom,
                                     bool fixedWidth, int32_t width, bool fixedHeight, int32_t height);

    RCPtr<LVisualPartDescriptor> part;
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

class LLookDescriptor : public virtual LRefCountedObject
{
public:
    static RCPtr<LLookDescriptor> Create(const WString& name);

    TavoResult SetClientPart(const RCPtr<LDockedPart>& part);
    TavoResult SetTextProperties(const TextProperties& text, const RCPtr<LVisualPartDescriptor>& foreground);

    WString name;
    RCPtr<LDockedPart> clientPart;
    std::vector<RCPtr<LDockedPart>> dockedParts;
    bool hasTextProperties = false;
    TextProperties text;
    RCPtr<LVisualPartDescriptor> textForeground;
};

// A control's looks by index; slots may stay empty and one list may serve
// several skins.
using LLookList = LRCPtrArray<LLookDescriptor, 1, 0>;

class LSkinDescriptor : public virtual LRefCountedObject
{
public:
    static RCPtr<LSkinDescriptor> Create(const WString& name);

    WString name;
    RCPtr<LLookList> lookList;
    bool fontInheritsFromParent = false;
    bool fontSizeIsRelative = false;
    WString fontName;
    float fontSize = 0.0f;   // below 1.0: not set
    int32_t fontStyle = -1;  // -1: not set
};

class LControlDescriptor : public virtual LRefCountedObject
{
public:
    static RCPtr<LControlDescriptor> Create(const WString& className, const WString& name,
                                            LControlDescriptor* parent);

    // Index of the new child.
    int32_t AddChild(const RCPtr<LControlDescriptor>& child);
    TavoResult SetSkin(const RCPtr<LSkinDescriptor>& skin);
    TavoResult SetLayout(const RCPtr<LLayoutDescriptor>& layout);
    TavoResult SetCreateParams(const RCPtr<LStringTable>& params);

    // Shares children, skin, layout and parameters; an empty name keeps the name.
    RCPtr<LControlDescriptor> Clone(const WString& newName) const;
    static RCPtr<LControlDescriptor> CloneWithLayout(const RCPtr<LControlDescriptor>& templ,
                                                     const RCPtr<LLayoutDescriptor>& layout,
                                                     const WString& name);

    // "DEFER_CREATE" equal to "true" after trimming blanks and line ends.
    bool IsDeferredCreate() const;
    void SortChildrenByLayoutOrder();

    const WString& GetClassName() const { return mClassName; }
    const WString& GetName() const { return mName; }
    LControlDescriptor* GetParent() const { return mParent; }
    const std::vector<RCPtr<LControlDescriptor>>& GetChildren() const { return mChildren; }
    const RCPtr<LSkinDescriptor>& GetSkin() const { return mSkin; }
    const RCPtr<LLayoutDescriptor>& GetLayout() const { return mLayout; }
    const RCPtr<LStringTable>& GetCreateParams() const { return mCreateParams; }
    ControlCreateFunction GetCreateFunction() const { return mCreateFunction; }
    void SetCreateFunction(ControlCreateFunction f) { mCreateFunction = f; }

private:
    WString mClassName;
    WString mName;
    LControlDescriptor* mParent = nullptr;
    std::vector<RCPtr<LControlDescriptor>> mChildren;
    RCPtr<LSkinDescriptor> mSkin;
    RCPtr<LLayoutDescriptor> mLayout;
    RCPtr<LStringTable> mCreateParams;
    ControlCreateFunction mCreateFunction = nullptr;
};

}  // namespace Tavo
