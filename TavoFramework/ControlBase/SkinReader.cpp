#include "ControlBase/SkinReader.h"

#include "ObjectBase/Exception.h"

#include <initializer_list>
#include <stdexcept>

namespace Tavo {

using namespace XmlAttributes;

namespace {

// Deeper control trees are refused: they only come from damaged input and
// would exhaust the stack when the tree is released.
constexpr int32_t kMaxSubControlDepth = 256;
// A look list is a handful of states; larger counts are damaged input.
constexpr int32_t kMaxLookSlots = 4096;

const char* const kBadSubControl =
    "Runtime Error : Bad Subcontrol Element : Tavo::LControlFactory::XMLStartElement : "
    "ControlBase\\ControlFactory : Line 1089";

// Skin integers that are stored as doubles.
bool GetIntAsDouble(const char** attributes, const char* name, double& out)
{
    int32_t v = 0;
    if (!GetInt(attributes, name, v))
        return false;
    out = v;
    return true;
}

// `fixed` lists the names of the fixed references, by number, each with its
// aliases; any other text names a control and takes the next number.
void ReadRef(const char** attributes, const char* name,
             std::initializer_list<std::initializer_list<const char16_t*>> fixed, int32_t& ref,
             WString& refName)
{
    WString text;
    if (!GetString(attributes, name, text))
        return;
    int32_t number = 0;
    for (const auto& aliases : fixed) {
        for (const char16_t* alias : aliases) {
            if (text == alias) {
                ref = number;
                return;
            }
        }
        ++number;
    }
    ref = number;
    refName = text;
}

void ReadPositionRef(const char** attributes, const char* name, int32_t& ref, WString& refName)
{
    ReadRef(attributes, name, {{u"Parent", u"Screen"}, {u"Client", u"Active Window"}}, ref, refName);
}

void ReadSizeRef(const char** attributes, const char* name, int32_t& ref, WString& refName)
{
    ReadRef(attributes, name, {{u"Parent", u"Screen"}, {u"Client", u"Active Window"}, {u"Self"}}, ref,
            refName);
}

void ReadLimitRef(const char** attributes, const char* name, int32_t& ref, WString& refName)
{
    ReadRef(attributes, name, {{u"Self"}}, ref, refName);
}

// The attribute names of one layout axis.
struct AxisNames
{
    const char *anchor, *docked, *posTo, *posRel, *posAbs, *sizeTo, *sizeRel, *sizeAbs, *minTo, *minRel,
        *minAbs, *maxTo, *maxRel, *maxAbs;
};

const AxisNames kXAxis{"XPlacementAnchor",  "XIsDocked",      "XPositionToControl", "XPositionRel",
                       "XPositionAbs",      "XSizeToControl", "XSizeRel",           "XSizeAbs",
                       "XMinSizeToControl", "XMinSizeRel",    "XMinSizeAbs",        "XMaxSizeToControl",
                       "XMaxSizeRel",       "XMaxSizeAbs"};
const AxisNames kYAxis{"YPlacementAnchor",  "YIsDocked",      "YPositionToControl", "YPositionRel",
                       "YPositionAbs",      "YSizeToControl", "YSizeRel",           "YSizeAbs",
                       "YMinSizeToControl", "YMinSizeRel",    "YMinSizeAbs",        "YMaxSizeToControl",
                       "YMaxSizeRel",       "YMaxSizeAbs"};

void ReadAxis(const char** attributes, const AxisNames& n, LLayoutDescriptor::Axis& a)
{
    GetFloat(attributes, n.anchor, a.placementAnchor);
    GetBool(attributes, n.docked, a.docked);
    ReadPositionRef(attributes, n.posTo, a.positionRef, a.positionRefName);
    GetFloat(attributes, n.posRel, a.positionRel);
    GetIntAsDouble(attributes, n.posAbs, a.positionAbs);
    ReadSizeRef(attributes, n.sizeTo, a.sizeRef, a.sizeRefName);
    GetFloat(attributes, n.sizeRel, a.sizeRel);
    GetIntAsDouble(attributes, n.sizeAbs, a.sizeAbs);
    ReadLimitRef(attributes, n.minTo, a.minRef, a.minRefName);
    GetFloat(attributes, n.minRel, a.minRel);
    GetIntAsDouble(attributes, n.minAbs, a.minAbs);
    ReadLimitRef(attributes, n.maxTo, a.maxRef, a.maxRefName);
    GetFloat(attributes, n.maxRel, a.maxRel);
    GetIntAsDouble(attributes, n.maxAbs, a.maxAbs);
}

// Children of the root are placed by the program: their tab stop and
// visibility are not read.
void ReadLayout(const char** attributes, LLayoutDescriptor& l, bool underRoot)
{
    GetBool(attributes, "ClipToParent", l.clipToParent);
    GetInt(attributes, "Z_Order", l.zOrder);
    if (!underRoot) {
        GetInt(attributes, "TabStop", l.tabStop);
        GetBool(attributes, "IsVisible", l.visible);
    }
    GetInt(attributes, "LayoutOrder", l.layoutOrder);
    ReadAxis(attributes, kXAxis, l.x);
    ReadAxis(attributes, kYAxis, l.y);
    GetString(attributes, "TextDecoration", l.textDecoration);
    WString overflow;
    if (GetString(attributes, "TextOverflowXType", overflow)) {
        if (overflow == u"Clip")
            l.textOverflowX = 0;
        else if (overflow == u"Expand")
            l.textOverflowX = 1;
        else if (overflow == u"Wrap")
            l.textOverflowX = 2;
    }
    if (GetString(attributes, "TextOverflowYType", overflow)) {
        if (overflow == u"Clip")
            l.textOverflowY = 0;
        else if (overflow == u"Expand")
            l.textOverflowY = 1;
    }
}

template <class M>
typename M::mapped_type FindIn(const M& map, const WString& name)
{
    const auto it = map.find(name);
    return it == map.end() ? typename M::mapped_type() : it->second;
}

}  // namespace

RCPtr<LControlDescriptor> SkinLibrary::GetRoot(int32_t index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return roots[static_cast<size_t>(index)];
}

LSkinReader::LSkinReader(SkinLibrary& skins, const WString& applicationName, const int32_t& lcid,
                         const WString& resourceBasePath)
    : mSkins(skins), mApplicationName(applicationName), mLCID(lcid), mResourceBasePath(resourceBasePath)
{
}

void LSkinReader::Begin()
{
    End();
    mInLooks = false;
}

void LSkinReader::End()
{
    mCreateParamCapture = false;
    SetCurrentDescriptor(nullptr);
}

void LSkinReader::SetCurrentDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    mDescriptorStack.clear();
    if (descriptor)
        mDescriptorStack.push_back(descriptor);
    mCurrentDescriptor = descriptor;
}

RCPtr<LVisualPartDescriptor> LSkinReader::FindPart(const WString& name) const
{
    return FindIn(mSkins.parts, name);
}

void LSkinReader::StartElement(const char* name, const char** attributes)
{
    if (IsElement(name, "Skin")) {
        StartSkin(attributes);
    } else if (IsElement(name, "FontLocale")) {
        int32_t lcid = 0;
        if (GetInt(attributes, "LCID", lcid))
            mSkins.fontLocale = lcid;
    } else if (IsElement(name, "FontXLat")) {
        StartFontXLat(attributes);
    } else if (IsElement(name, "SubControl")) {
        StartSubControl(attributes);
    } else if (IsElement(name, "CreateParamList")) {
        mCurrentCreateParams = LStringTable::Create();
    } else if (IsElement(name, "CreateParam")) {
        if (GetString(attributes, "ID", mCurrentParamId)) {
            mCreateParamCapture = true;
            mCreateParamFresh = true;
        }
    } else if (IsElement(name, "LookList")) {
        StartLookList(attributes);
    } else if (IsElement(name, "LookLists")) {
        SetCurrentDescriptor(nullptr);
    } else if (IsElement(name, "Look")) {
        StartLook(attributes);
    } else if (IsElement(name, "Looks")) {
        mInLooks = true;
    } else if (IsElement(name, "ClientPart")) {
        StartClientPart(attributes);
    } else if (IsElement(name, "TextProperties")) {
        StartTextProperties(attributes);
    } else if (IsElement(name, "NonClientPart")) {
        StartNonClientPart(attributes);
    } else if (IsElement(name, "Part")) {
        StartPart(attributes);
    } else if (IsElement(name, "Colorizer")) {
        StartColorizer(attributes);
    }
}

void LSkinReader::EndElement(const char* name)
{
    if (IsElement(name, "SubControl")) {
        if (!mCurrentDescriptor)
            return;
        mCurrentDescriptor->SortChildrenByLayoutOrder();
        mDescriptorStack.pop_back();
        mCurrentDescriptor = mDescriptorStack.empty() ? nullptr : mDescriptorStack.back();
    } else if (IsElement(name, "Skin")) {
        if (mCurrentDescriptor && mCurrentDescriptor == mSkins.GetRoot(mSkins.currentIndex))
            SetCurrentDescriptor(nullptr);
    } else if (IsElement(name, "Looks")) {
        mInLooks = false;
    } else if (IsElement(name, "CreateParamList")) {
        if (mCurrentDescriptor)
            mCurrentDescriptor->SetCreateParams(mCurrentCreateParams);
    } else if (IsElement(name, "CreateParam")) {
        mCreateParamCapture = false;
    }
}

void LSkinReader::CharacterData(const char* text, int length)
{
    if (length <= 0 || !mCreateParamCapture || !mCurrentCreateParams || mCurrentParamId.IsEmpty())
        return;
    // The parser hands one text over in several runs (at line ends and
    // entities): the runs of one element are joined, a later element replaces.
    WString run;
    AppendUtf8(run, text, length);
    WString value;
    if (!mCreateParamFresh && mCurrentCreateParams->FindString(mCurrentParamId, value))
        run = value + run;
    mCreateParamFresh = false;
    mCurrentCreateParams->SetString(mCurrentParamId, run);
}

void LSkinReader::StartSkin(const char** attributes)
{
    WString name;
    GetString(attributes, "Name", name);
    auto skin = LSkinDescriptor::Create(name);
    if (!mCurrentDescriptor) {
        auto root = LControlDescriptor::Create(u"Application", mApplicationName, nullptr);
        SetCurrentDescriptor(root);
        mSkins.roots.push_back(root);
        mSkins.currentIndex = mSkins.GetCount() - 1;
        GetString(attributes, "FontName", skin->fontName);
        GetFloat(attributes, "FontSize", skin->fontSize);
        GetInt(attributes, "FontStyle", skin->fontStyle);
    } else {
        const auto xlat = mSkins.fontTranslation.find(mPendingFont.name);
        skin->fontName = xlat != mSkins.fontTranslation.end() ? xlat->second : mPendingFont.name;
        skin->fontSize = mPendingFont.size;
        skin->fontStyle = mPendingFont.style;
        skin->fontInheritsFromParent = mPendingFont.inheritsFromParent;
        skin->fontSizeIsRelative = mPendingFont.sizeIsRelative;
        WString listName;
        if (GetString(attributes, "LookList", listName))
            if (auto list = FindIn(mSkins.lookLists, listName))
                skin->lookList = list;
    }
    mCurrentDescriptor->SetSkin(skin);
}

void LSkinReader::StartFontXLat(const char** attributes)
{
    if (!mSkins.fontLocale || *mSkins.fontLocale != mLCID)
        return;
    WString name, xlat;
    if (!GetString(attributes, "Name", name) || !GetString(attributes, "XLat", xlat))
        return;
    mSkins.fontTranslation.try_emplace(name, xlat);
    if (mCurrentDescriptor && mCurrentDescriptor->GetSkin() &&
        mCurrentDescriptor->GetSkin()->fontName == name)
        mCurrentDescriptor->GetSkin()->fontName = xlat;
}

void LSkinReader::StartSubControl(const char** attributes)
{
    WString className, name;
    if (!GetString(attributes, "Class", className) || !GetString(attributes, "Name", name) ||
        mDescriptorStack.size() > static_cast<size_t>(kMaxSubControlDepth))
        throw Exception<std::runtime_error>(kBadSubControl);

    LControlDescriptor* parent = mCurrentDescriptor.Get();
    auto descriptor = LControlDescriptor::Create(className, name, parent);
    if (parent)
        parent->AddChild(descriptor);
    mCurrentDescriptor = descriptor;
    mDescriptorStack.push_back(descriptor);

    auto layout = LLayoutDescriptor::Create();
    descriptor->SetLayout(layout);
    ReadLayout(attributes, *layout, parent && parent->GetClassName() == u"Application");
    ReadPendingFont(attributes);
}

void LSkinReader::ReadPendingFont(const char** attributes)
{
    mPendingFont = PendingFont();
    GetBool(attributes, "FontInheritsFromParent", mPendingFont.inheritsFromParent);
    GetBool(attributes, "FontSizeIsRelative", mPendingFont.sizeIsRelative);
    GetString(attributes, "FontName", mPendingFont.name);
    if (!GetFloat(attributes, "FontSize", mPendingFont.size))
        mPendingFont.sizeIsRelative = false;
    GetInt(attributes, "FontStyle", mPendingFont.style);
}

void LSkinReader::StartColorizer(const char** attributes)
{
    WString name, typeText;
    ColorRGBA color;
    if (!GetString(attributes, "Name", name) || !GetString(attributes, "ColorType", typeText) ||
        !GetColor(attributes, "Color", color))
        return;
    int32_t type = typeText == u"LinearGradient"   ? LColorizer::kLinearGradient
                   : typeText == u"RadialGradient" ? LColorizer::kRadialGradient
                                                   : LColorizer::kSolid;
    ColorRGBA endColor;
    float sx = 0, sy = 0, ex = 0, ey = 0;
    if (type != LColorizer::kSolid) {
        if (!(GetColor(attributes, "GradientEndColor", endColor) &&
              GetFloat(attributes, "GradientStartX", sx) && GetFloat(attributes, "GradientStartY", sy) &&
              GetFloat(attributes, "GradientEndX", ex) && GetFloat(attributes, "GradientEndY", ey))) {
            type = LColorizer::kSolid;
            endColor = ColorRGBA();
        }
    }
    mSkins.colorizers.try_emplace(name, LColorizer::Create(name, type, color, endColor, sx, sy, ex, ey));
}

void LSkinReader::StartPart(const char** attributes)
{
    WString name, resizeText;
    int32_t width = 0, height = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "Width", width) ||
        !GetInt(attributes, "Height", height) || !GetString(attributes, "ResizeType", resizeText))
        return;
    const int32_t resize = resizeText == u"Tile"     ? LVisualPartDescriptor::kTile
                           : resizeText == u"Center" ? LVisualPartDescriptor::kCenter
                                                     : LVisualPartDescriptor::kStretch;
    WString image, file;
    SourceRect imageRect;
    if (GetString(attributes, "ImageFile", file) && !file.IsEmpty()) {
        if (GetInt(attributes, "ImageLocX", imageRect.x) && GetInt(attributes, "ImageLocY", imageRect.y)) {
            image = mResourceBasePath + file;
            imageRect.width = width;
            imageRect.height = height;
        }
    }
    RCPtr<LColorizer> colorizer;
    WString colorizerName;
    if (GetString(attributes, "ColorizerName", colorizerName))
        colorizer = FindIn(mSkins.colorizers, colorizerName);
    if (image.IsEmpty() && !colorizer)
        return;
    float alpha = 1.0f;
    GetFloat(attributes, "ColorizerAlphaMod", alpha);
    WString mask;
    SourceRect maskRect;
    if (GetString(attributes, "ColorizerMaskFile", file)) {
        if (!GetInt(attributes, "MaskLocX", maskRect.x) || !GetInt(attributes, "MaskLocY", maskRect.y))
            return;
        mask = mResourceBasePath + file;
        maskRect.width = width;
        maskRect.height = height;
    }
    auto part = !image.IsEmpty() ? LVisualPartDescriptor::CreateImagePart(name, image, imageRect, resize,
                                                                          colorizer, alpha, mask, maskRect)
                                 : LVisualPartDescriptor::CreateColorPart(name, colorizer, width, height,
                                                                          resize, alpha, mask, maskRect);
    if (part)
        mSkins.parts.try_emplace(name, part);
}

void LSkinReader::StartLook(const char** attributes)
{
    if (mInLooks) {
        WString name;
        if (!GetString(attributes, "Name", name))
            return;
        mCurrentLook = LLookDescriptor::Create(name);
        mSkins.looks.try_emplace(name, mCurrentLook);
        return;
    }
    if (!mCurrentLookList)
        return;
    WString name;
    int32_t index = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "Index", index))
        return;
    // A slot outside the list is ignored.
    auto look = FindIn(mSkins.looks, name);
    if (look && index >= 0 && static_cast<uint32_t>(index) < mCurrentLookList->GetCount())
        mCurrentLookList->SetAt(static_cast<uint32_t>(index), look);
}

void LSkinReader::StartLookList(const char** attributes)
{
    WString name;
    int32_t count = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "NumLooks", count))
        return;
    if (auto existing = FindIn(mSkins.lookLists, name)) {
        if (mCurrentDescriptor && mCurrentDescriptor->GetSkin())
            mCurrentDescriptor->GetSkin()->lookList = existing;
        mCurrentLookList = nullptr;
        return;
    }
    if (count < 0 || count > kMaxLookSlots)
        return;
    mCurrentLookList = MakeRC<LLookList>(static_cast<uint32_t>(count));
    mSkins.lookLists.emplace(name, mCurrentLookList);
    if (mCurrentDescriptor && mCurrentDescriptor->GetSkin())
        mCurrentDescriptor->GetSkin()->lookList = mCurrentLookList;
}

void LSkinReader::StartClientPart(const char** attributes)
{
    WString name;
    int32_t l = 0, t = 0, r = 0, b = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "OffsetLeft", l) ||
        !GetInt(attributes, "OffsetTop", t) || !GetInt(attributes, "OffsetRight", r) ||
        !GetInt(attributes, "OffsetBottom", b))
        return;
    auto part = FindPart(name);
    if (!part || !mCurrentLook)
        return;
    mCurrentLook->SetClientPart(LDockedPart::Create(part, 15, l, t, r, b, false, 0, false, 0));
}

void LSkinReader::StartNonClientPart(const char** attributes)
{
    WString name;
    if (!GetString(attributes, "Name", name))
        return;
    auto part = FindPart(name);
    if (!part || !mCurrentLook)
        return;
    int32_t mask = 0, l = 0, t = 0, r = 0, b = 0, w = 0, h = 0;
    if (GetInt(attributes, "OffsetLeft", l))
        mask |= LDockedPart::kLeft;
    if (GetInt(attributes, "OffsetTop", t))
        mask |= LDockedPart::kTop;
    if (GetInt(attributes, "OffsetRight", r))
        mask |= LDockedPart::kRight;
    if (GetInt(attributes, "OffsetBottom", b))
        mask |= LDockedPart::kBottom;
    GetInt(attributes, "Width", w);
    GetInt(attributes, "Height", h);
    mCurrentLook->dockedParts.push_back(LDockedPart::Create(part, mask, l, t, r, b, w > 0, w, h > 0, h));
}

void LSkinReader::StartTextProperties(const char** attributes)
{
    TextProperties p;
    WString foreground;
    if (!(GetFloat(attributes, "TextLeftRel", p.leftRel) && GetInt(attributes, "TextLeftAbs", p.leftAbs) &&
          GetFloat(attributes, "TextRightRel", p.rightRel) &&
          GetInt(attributes, "TextRightAbs", p.rightAbs) && GetFloat(attributes, "TextHAlign", p.hAlign) &&
          GetFloat(attributes, "TextTopRel", p.topRel) && GetInt(attributes, "TextTopAbs", p.topAbs) &&
          GetFloat(attributes, "TextBottomRel", p.bottomRel) &&
          GetInt(attributes, "TextBottomAbs", p.bottomAbs) && GetFloat(attributes, "TextVAlign", p.vAlign) &&
          GetString(attributes, "TextForegroundPart", foreground)))
        return;
    auto part = FindPart(foreground);
    if (!part || !mCurrentLook)
        return;
    mCurrentLook->SetTextProperties(p, part);
}

}  // namespace Tavo
