#include "ControlBase/ControlFactory.h"

#include "ObjectBase/Exception.h"
#include "Platform/Kernel/Resources.h"
#include "Utilities/Storage/File.h"

#include <expat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>

namespace Tavo {

namespace {

// Deeper control trees are refused: they only come from damaged input and
// would exhaust the stack when the tree is released.
constexpr int32_t kMaxSubControlDepth = 256;
// A look list is a handful of states; larger counts are damaged input.
constexpr int32_t kMaxLookSlots = 4096;

const char* const kBadSubControl =
    "Runtime Error : Bad Subcontrol Element : Tavo::LControlFactory::XMLStartElement : ControlBase\\ControlFactory : Line 1089";
const char* const kUnknownClass =
    "Runtime Error : Tavo::LControlFactory::GetControlCreateFunction : ControlBase\\ControlFactory : Line 51";

LControlFactory::ResourceLookup& ResourceLookupSlot()
{
    static auto* lookup = new LControlFactory::ResourceLookup();
    return *lookup;
}

WString Wide(const char* s)
{
    return s ? WString(s) : WString();
}

void AppendUtf8(WString& out, const char* text, int length)
{
    WString run;
    AssignFromNarrow(run, text, length);
    out.Append(run);
}

// Attribute access on expat's raw name/value array.
const char* FindAttr(const char** attributes, const char* name)
{
    for (const char** a = attributes; a && a[0]; a += 2)
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    return nullptr;
}

bool GetString(const char** attributes, const char* name, WString& out)
{
    const char* v = FindAttr(attributes, name);
    if (!v)
        return false;
    out = Wide(v);
    return true;
}

// atoi rules, clamped to the 32-bit range instead of overflowing.
int32_t ParseInt(const char* s)
{
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f')
        ++s;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    int64_t v = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
        if ((v = v * 10 + (*s - '0')) > int64_t{INT32_MAX} + 1)
            v = int64_t{INT32_MAX} + 1;
    if (negative)
        v = -v;
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v);
}

bool GetInt(const char** attributes, const char* name, int32_t& out)
{
    const char* v = FindAttr(attributes, name);
    if (!v)
        return false;
    out = ParseInt(v);
    return true;
}

bool GetFloat(const char** attributes, const char* name, float& out)
{
    const char* v = FindAttr(attributes, name);
    if (!v)
        return false;
    out = static_cast<float>(std::strtod(v, nullptr));
    return true;
}

bool GetBool(const char** attributes, const char* name, bool& out)
{
    const char* v = FindAttr(attributes, name);
    if (!v)
        return false;
    out = std::strcmp(v, "True") == 0;
    return true;
}

// Skin integers that are stored as doubles.
bool GetIntAsDouble(const char** attributes, const char* name, double& out)
{
    int32_t v = 0;
    if (!GetInt(attributes, name, v))
        return false;
    out = v;
    return true;
}

bool GetColor(const char** attributes, const char* name, ColorRGBA& out)
{
    const char* v = FindAttr(attributes, name);
    if (!v)
        return false;
    out = ColorRGBA();
    out.FromHexString(v);
    return true;
}

// `fixed` lists the names of the fixed references, by number, each with its
// aliases; any other text names a control and takes the next number.
void ReadRef(const char** attributes, const char* name,
             std::initializer_list<std::initializer_list<const char16_t*>> fixed, int32_t& ref, WString& refName)
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
    ReadRef(attributes, name, {{u"Parent", u"Screen"}, {u"Client", u"Active Window"}, {u"Self"}}, ref, refName);
}

void ReadLimitRef(const char** attributes, const char* name, int32_t& ref, WString& refName)
{
    ReadRef(attributes, name, {{u"Self"}}, ref, refName);
}

// A "Locale" LCID: "0x" and at most four hexadecimal digits, else decimal.
int32_t ParseLocaleId(const char* s)
{
    if (s[0] == '0' && s[1] == 'x')
    {
        int32_t v = 0;
        for (int i = 2; i < 6; ++i)
        {
            const char c = s[i];
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0)
                break;
            v = v * 16 + d;
        }
        return v;
    }
    return ParseInt(s);
}

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

extern "C" void StartHandler(void* user, const XML_Char* name, const XML_Char** attributes);
extern "C" void EndHandler(void* user, const XML_Char* name);
extern "C" void CharacterHandler(void* user, const XML_Char* text, int length);

struct ParserContext
{
    LControlFactory* factory;
    XML_Parser parser;
    std::exception_ptr* error;
};

// Exceptions must not cross the C parser: keep the first, stop the parse.
template <class F>
void Guarded(void* user, F&& f)
{
    auto* ctx = static_cast<ParserContext*>(user);
    if (*ctx->error)
        return;
    try
    {
        f(ctx->factory);
    }
    catch (...)
    {
        *ctx->error = std::current_exception();
        XML_StopParser(ctx->parser, XML_FALSE);
    }
}

extern "C" void StartHandler(void* user, const XML_Char* name, const XML_Char** attributes)
{
    Guarded(user, [&](LControlFactory* f) { f->XMLStartElement(name, attributes); });
}

extern "C" void EndHandler(void* user, const XML_Char* name)
{
    Guarded(user, [&](LControlFactory* f) { f->XMLEndElement(name); });
}

extern "C" void CharacterHandler(void* user, const XML_Char* text, int length)
{
    Guarded(user, [&](LControlFactory* f) { f->XMLCharacterData(text, length); });
}

}  // namespace

struct LControlFactory::SourceBytes
{
    std::vector<char> buffer;
    std::span<const uint8_t> bytes;
};

RCPtr<LControlFactory> LControlFactory::Create(const WString& applicationName)
{
    return MakeRC<LControlFactory>(applicationName);
}

LControlFactory::LControlFactory(const WString& applicationName) : mApplicationName(applicationName) {}

LControlFactory::~LControlFactory() = default;

void LControlFactory::SetResourceLookup(ResourceLookup lookup)
{
    ResourceLookupSlot() = std::move(lookup);
}

TavoResult LControlFactory::RegisterControlClass(const WString& className, ControlCreateFunction creator)
{
    mClasses.try_emplace(className, creator);
    return S_OK;
}

TavoResult LControlFactory::GetControlCreateFunction(const WString& className,
                                                     ControlCreateFunction& creator) const
{
    const auto it = mClasses.find(className);
    if (it == mClasses.end())
        throw Exception<std::runtime_error>(kUnknownClass);
    creator = it->second;
    return S_OK;
}

RCPtr<IFactoryControl> LControlFactory::CreateControl(const RCPtr<LControlDescriptor>& descriptor,
                                                        const RCPtr<IFactoryControl>& parent)
{
    if (!descriptor)
        return nullptr;
    // Each descriptor resolves its class once.
    if (!descriptor->GetCreateFunction())
    {
        ControlCreateFunction creator = nullptr;
        GetControlCreateFunction(descriptor->GetClassName(), creator);
        descriptor->SetCreateFunction(creator);
    }
    RCPtr<IFactoryControl> control;
    if (auto creator = descriptor->GetCreateFunction())
        creator(control, parent, descriptor);
    return control;
}

RCPtr<IFactoryControl> LControlFactory::CreateControlFromDescriptor(const WString& name,
                                                                      LRootWindow* rootWindow)
{
    auto descriptor = FindDescriptorByName(name);
    if (!descriptor)
        return nullptr;
    if (descriptor->GetLayout())
        descriptor->GetLayout()->visible = true;
    auto control = CreateControl(descriptor, nullptr);
    if (control)
        control->SetRootWindow(rootWindow);
    return control;
}

RCPtr<LControlDescriptor> LControlFactory::FindDescriptorByName(const WString& name) const
{
    const auto root = GetSkinRoot(mCurrentSkinIndex);
    if (!root)
        return nullptr;
    const auto& children = root->GetChildren();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (*it && (*it)->GetName() == name)
            return *it;
    return nullptr;
}

TavoResult LControlFactory::ReapplyDescriptor(const RCPtr<IFactoryControl>& control)
{
    if (!control)
        return E_FAIL;
    auto descriptor = FindDescriptorByName(control->GetName());
    if (!descriptor)
        return E_FAIL;
    return control->SetDescriptor(descriptor);
}

TavoResult LControlFactory::GetCurrentSkinFontOverride(WString& fontName, float& fontSize,
                                                       int32_t& fontStyle) const
{
    const auto root = GetSkinRoot(mCurrentSkinIndex);
    if (!root || !root->GetSkin())
        return S_FALSE;
    const auto& skin = *root->GetSkin();
    bool any = false;
    if (!skin.fontName.IsEmpty())
    {
        fontName = skin.fontName;
        any = true;
    }
    if (skin.fontSize >= 1.0f)
    {
        fontSize = skin.fontSize;
        any = true;
    }
    if (skin.fontStyle != -1)
    {
        fontStyle = skin.fontStyle;
        any = true;
    }
    return any ? S_OK : S_FALSE;
}

RCPtr<LControlDescriptor> LControlFactory::GetSkinRoot(int32_t index) const
{
    if (index < 0 || index >= GetSkinCount())
        return nullptr;
    return mSkinRoots[static_cast<size_t>(index)];
}

template <class M>
static typename M::mapped_type FindIn(const M& map, const WString& name)
{
    const auto it = map.find(name);
    return it == map.end() ? typename M::mapped_type() : it->second;
}

RCPtr<LColorizer> LControlFactory::FindColorizer(const WString& name) const { return FindIn(mColorizers, name); }
RCPtr<LVisualPartDescriptor> LControlFactory::FindPart(const WString& name) const { return FindIn(mParts, name); }
RCPtr<LLookDescriptor> LControlFactory::FindLook(const WString& name) const { return FindIn(mLooks, name); }
RCPtr<LLookList> LControlFactory::FindLookList(const WString& name) const { return FindIn(mLookLists, name); }

// ---- sources and parse driver ----

TavoResult LControlFactory::ReadSource(const WString& path, SourceBytes& source, bool& fromResource)
{
    fromResource = path.GetLength() >= 2 && path[0] == u':' && path[1] == u':';
    if (fromResource)
    {
        std::u16string chars = ToStdString(path.Mid(2));
        for (auto& c : chars)
            if (c == u'.')
                c = u'_';
        const WString name = ToWString(chars);
        const auto& lookup = ResourceLookupSlot();
        if (lookup)
            source.bytes = lookup(u"TavoXML", name);
        else
            source.bytes = Platform::FindResource("TavoXML", NString(name).c_str());
        return source.bytes.empty() ? E_FAIL : S_OK;
    }
    // A failure to open or read, or a thrown one, is a missing document.
    try
    {
        File file;
        if (path.IsEmpty() || file.Open(path, WString(), File::kModeRead) != S_OK)
            return E_FAIL;
        const uint32_t length = file.GetLength();
        try
        {
            source.buffer.resize(length);
        }
        catch (const std::bad_alloc&)
        {
            return E_OUTOFMEMORY;
        }
        uint32_t done = 0;
        while (done < length)
        {
            const int32_t n = file.Read(source.buffer.data() + done, length - done, -1);
            if (n <= 0)
                return E_FAIL;
            done += static_cast<uint32_t>(n);
        }
    }
    catch (...)
    {
        return E_FAIL;
    }
    source.bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(source.buffer.data()), source.buffer.size());
    return S_OK;
}

void LControlFactory::ResetReader(bool stringMode)
{
    mStringTableMode = stringMode;
    mCreateParamCapture = false;
    mInColorizers = mInParts = mInLooks = mInSkins = false;
    SetCurrentDescriptor(nullptr);
    mCapture = false;
    mCapturedText = nullptr;
    mCurrentTable = nullptr;
    mMatchCount = 0;
}

void LControlFactory::SetCurrentDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    mDescriptorStack.clear();
    if (descriptor)
        mDescriptorStack.push_back(descriptor);
    mCurrentDescriptor = descriptor;
}

TavoResult LControlFactory::ParseSource(const WString& path, bool stringMode, bool rethrowFromResource)
{
    SourceBytes source;
    bool fromResource = false;
    TavoResult result = ReadSource(path, source, fromResource);
    if (result == E_OUTOFMEMORY)
        return result;
    // An empty document is no document; a length of 0 would mean "count it".
    if (result < 0 || source.bytes.empty())
        return E_FAIL;
    ResetReader(stringMode);
    try
    {
        result = ParseXML(reinterpret_cast<const char*>(source.bytes.data()), source.bytes.size());
    }
    catch (...)
    {
        if (fromResource && rethrowFromResource)
            throw;
        result = E_FAIL;
    }
    // The match count stays readable after the parse.
    mStringTableMode = false;
    mCreateParamCapture = false;
    SetCurrentDescriptor(nullptr);
    return result;
}

TavoResult LControlFactory::LoadResources(const WString& location, int32_t lcid)
{
    if (location == u"::")
    {
        mResourceBasePath = location;
        const TavoResult result = LoadStringTables(u"::APP_STRINGS", u"::FRAMEWORK_STRINGS", lcid);
        return result < 0 ? result : LoadSkins(u"::APP_SKINS");
    }
    mResourceBasePath = location + u"/";
    const TavoResult result =
        LoadStringTables(mResourceBasePath + u"StringTables.xml", mResourceBasePath + u"FrameworkStrings.xml", lcid);
    return result < 0 ? result : LoadSkins(mResourceBasePath + u"Skins.xml");
}

TavoResult LControlFactory::LoadSkins(const WString& path)
{
    const TavoResult result = ParseSource(path, false, true);
    mCurrentSkinIndex = 0;
    return result;
}

TavoResult LControlFactory::ParseXML(const char* text, size_t length)
{
    if (!text)
        return E_FAIL;
    if (length == 0)
        length = std::strlen(text);
    if (length > static_cast<size_t>(INT_MAX))
    {
        mLastErrorText = WString(u"document too large");
        mLastErrorLine = 0;
        return E_FAIL;
    }
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser)
        return E_OUTOFMEMORY;
    std::exception_ptr error;
    ParserContext ctx{this, parser, &error};
    XML_SetUserData(parser, &ctx);
    XML_SetElementHandler(parser, &StartHandler, &EndHandler);
    XML_SetCharacterDataHandler(parser, &CharacterHandler);
    mSkipNextStart = true;
    const XML_Status status = XML_Parse(parser, text, static_cast<int>(length), XML_TRUE);
    TavoResult result = S_OK;
    if (status != XML_STATUS_OK || error)
    {
        mLastErrorLine = static_cast<int32_t>(XML_GetCurrentLineNumber(parser));
        if (error)
        {
            try
            {
                std::rethrow_exception(error);
            }
            catch (const std::exception& e)
            {
                mLastErrorText = Wide(e.what());
            }
            catch (...)
            {
                mLastErrorText.Empty();
            }
        }
        else
            mLastErrorText = Wide(XML_ErrorString(XML_GetErrorCode(parser)));
        result = E_FAIL;
    }
    XML_ParserFree(parser);
    mCapture = false;
    mCapturedText = nullptr;
    if (error)
        std::rethrow_exception(error);
    return result;
}

// ---- string tables ----

TavoResult LControlFactory::LoadStringTables(const WString& applicationSource,
                                             const WString& frameworkSource, int32_t lcid)
{
    mCurrentLCID = lcid;
    // Matches are counted during one parse; a source is parsed again only
    // when its last pass matched nothing.
    auto run = [this](const WString& source, bool& outOfMemory) {
        outOfMemory = ParseSource(source, true, false) == E_OUTOFMEMORY;
        return mMatchCount;
    };
    bool oom = false;
    if (run(applicationSource, oom) == 0 && !oom)
    {
        const int32_t l = mCurrentLCID;
        mCurrentLCID = (l == 1028 || l == 3076 || l == 5124) ? 31748 : (l & 0xFF);
        if (run(applicationSource, oom) == 0 && !oom)
        {
            mCurrentLCID = 9;
            run(applicationSource, oom);
        }
    }
    if (oom)
        return E_OUTOFMEMORY;
    if (run(frameworkSource, oom) == 0 && !oom)
    {
        mCurrentLCID = 9;
        run(frameworkSource, oom);
    }
    return oom ? E_OUTOFMEMORY : S_OK;
}

RCPtr<LStringTable> LControlFactory::GetStringTable(const WString& tableId) const
{
    const auto it = mStringTables.find(tableId);
    if (it == mStringTables.end())
        return nullptr;
    return LStringTable::Create(it->second);
}

RCPtr<LStringTable> LControlFactory::GetFrameworkStringTable() const
{
    return GetStringTable(u"Framework");
}

RCPtr<LStringTable> LControlFactory::GetApplicationStringTable() const
{
    return GetStringTable(u"|" + mApplicationName);
}

RCPtr<LStringTable> LControlFactory::GetControlStringTable(const IFactoryControl* owner,
                                                             const WString& name) const
{
    const WString ownerClass = owner ? owner->GetDescriptorClassName() : mApplicationName;
    return GetStringTable(ownerClass + u"|" + name);
}

void LControlFactory::StartStringTableElement(const char* name, const char** attributes)
{
    if (Is(name, "StringTable"))
    {
        WString id;
        GetString(attributes, "ID", id);
        mCurrentTable = &mStringTables[id];
    }
    else if (Is(name, "String"))
    {
        mCurrentStringId.Empty();
        GetString(attributes, "ID", mCurrentStringId);
    }
    else if (Is(name, "Locale"))
    {
        const char* lcid = FindAttr(attributes, "LCID");
        // A string outside any table has nowhere to go.
        if (!lcid || !mCurrentTable || ParseLocaleId(lcid) != mCurrentLCID)
            return;
        ++mMatchCount;
        mCapture = true;
        mCapturedText = &(*mCurrentTable)[mCurrentStringId];
    }
}

// ---- element handlers ----

void LControlFactory::XMLStartElement(const char* name, const char** attributes)
{
    if (mSkipNextStart)
    {
        mSkipNextStart = false;
        return;
    }
    if (Is(name, "Application"))
    {
        mApplicationName.Empty();
        GetString(attributes, "Name", mApplicationName);
        return;
    }
    if (mStringTableMode)
    {
        StartStringTableElement(name, attributes);
        return;
    }
    if (Is(name, "Skins"))
        mInSkins = true;
    else if (Is(name, "Skin"))
        StartSkin(attributes);
    else if (Is(name, "FontLocale"))
    {
        int32_t lcid = 0;
        if (GetInt(attributes, "LCID", lcid))
            mFontLocale = lcid;
    }
    else if (Is(name, "FontXLat"))
        StartFontXLat(attributes);
    else if (Is(name, "SubControl"))
        StartSubControl(attributes);
    else if (Is(name, "CreateParamList"))
        mCurrentCreateParams = LStringTable::Create();
    else if (Is(name, "CreateParam"))
    {
        if (GetString(attributes, "ID", mCurrentStringId))
        {
            mCreateParamCapture = true;
            mCreateParamFresh = true;
        }
    }
    else if (Is(name, "LookList"))
        StartLookList(attributes);
    else if (Is(name, "LookLists"))
        SetCurrentDescriptor(nullptr);
    else if (Is(name, "Look"))
        StartLook(attributes);
    else if (Is(name, "Looks"))
        mInLooks = true;
    else if (Is(name, "ClientPart"))
        StartClientPart(attributes);
    else if (Is(name, "TextProperties"))
        StartTextProperties(attributes);
    else if (Is(name, "NonClientParts"))
        mDockedPartCounter = -1;
    else if (Is(name, "NonClientPart"))
        StartNonClientPart(attributes);
    else if (Is(name, "Parts"))
        mInParts = true;
    else if (Is(name, "Part"))
        StartPart(attributes);
    else if (Is(name, "Colorizers"))
        mInColorizers = true;
    else if (Is(name, "Colorizer"))
        StartColorizer(attributes);
}

void LControlFactory::XMLEndElement(const char* name)
{
    if (mStringTableMode)
    {
        mCapture = false;
        mCapturedText = nullptr;
        return;
    }
    if (Is(name, "SubControl"))
    {
        if (!mCurrentDescriptor)
            return;
        mCurrentDescriptor->SortChildrenByLayoutOrder();
        mDescriptorStack.pop_back();
        mCurrentDescriptor = mDescriptorStack.empty() ? nullptr : mDescriptorStack.back();
    }
    else if (Is(name, "Skin"))
    {
        if (mCurrentDescriptor && mCurrentDescriptor == GetSkinRoot(mCurrentSkinIndex))
            SetCurrentDescriptor(nullptr);
    }
    else if (Is(name, "Skins"))
        mInSkins = false;
    else if (Is(name, "Looks"))
        mInLooks = false;
    else if (Is(name, "Parts"))
        mInParts = false;
    else if (Is(name, "Colorizers"))
        mInColorizers = false;
    else if (Is(name, "CreateParamList"))
    {
        if (mCurrentDescriptor)
            mCurrentDescriptor->SetCreateParams(mCurrentCreateParams);
    }
    else if (Is(name, "CreateParam"))
        mCreateParamCapture = false;
}

void LControlFactory::XMLCharacterData(const char* text, int length)
{
    if (length <= 0)
        return;
    if (mStringTableMode)
    {
        if (mCapture && mCapturedText)
            AppendUtf8(*mCapturedText, text, length);
        return;
    }
    if (!mCreateParamCapture || !mCurrentCreateParams || mCurrentStringId.IsEmpty())
        return;
    // The parser hands one text over in several runs (at line ends and
    // entities): the runs of one element are joined, a later element replaces.
    WString run;
    AppendUtf8(run, text, length);
    WString value;
    if (!mCreateParamFresh && mCurrentCreateParams->FindString(mCurrentStringId, value))
        run = value + run;
    mCreateParamFresh = false;
    mCurrentCreateParams->SetString(mCurrentStringId, run);
}

void LControlFactory::StartSkin(const char** attributes)
{
    WString name;
    GetString(attributes, "Name", name);
    auto skin = LSkinDescriptor::Create(name);
    if (!mCurrentDescriptor)
    {
        auto root = LControlDescriptor::Create(u"Application", mApplicationName, nullptr);
        SetCurrentDescriptor(root);
        mSkinRoots.push_back(root);
        mCurrentSkinIndex = GetSkinCount() - 1;
        GetString(attributes, "FontName", skin->fontName);
        GetFloat(attributes, "FontSize", skin->fontSize);
        GetInt(attributes, "FontStyle", skin->fontStyle);
    }
    else
    {
        const auto xlat = mFontTranslation.find(mPendingFont.name);
        skin->fontName = xlat != mFontTranslation.end() ? xlat->second : mPendingFont.name;
        skin->fontSize = mPendingFont.size;
        skin->fontStyle = mPendingFont.style;
        skin->fontInheritsFromParent = mPendingFont.inheritsFromParent;
        skin->fontSizeIsRelative = mPendingFont.sizeIsRelative;
        WString listName;
        if (GetString(attributes, "LookList", listName))
            if (auto list = FindLookList(listName))
                skin->lookList = list;
    }
    mCurrentDescriptor->SetSkin(skin);
}

void LControlFactory::StartFontXLat(const char** attributes)
{
    if (!mFontLocale || *mFontLocale != mCurrentLCID)
        return;
    WString name, xlat;
    if (!GetString(attributes, "Name", name) || !GetString(attributes, "XLat", xlat))
        return;
    mFontTranslation.try_emplace(name, xlat);
    if (mCurrentDescriptor && mCurrentDescriptor->GetSkin() && mCurrentDescriptor->GetSkin()->fontName == name)
        mCurrentDescriptor->GetSkin()->fontName = xlat;
}

void LControlFactory::StartSubControl(const char** attributes)
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
    const bool underRoot = parent && parent->GetClassName() == u"Application";
    auto& l = *layout;
    GetBool(attributes, "ClipToParent", l.clipToParent);
    GetInt(attributes, "Z_Order", l.zOrder);
    if (!underRoot)
    {
        GetInt(attributes, "TabStop", l.tabStop);
        GetBool(attributes, "IsVisible", l.visible);
    }
    GetInt(attributes, "LayoutOrder", l.layoutOrder);
    struct AxisNames
    {
        const char *anchor, *docked, *posTo, *posRel, *posAbs, *sizeTo, *sizeRel, *sizeAbs, *minTo, *minRel,
            *minAbs, *maxTo, *maxRel, *maxAbs;
    };
    static const AxisNames kX{"XPlacementAnchor", "XIsDocked", "XPositionToControl", "XPositionRel",
                              "XPositionAbs", "XSizeToControl", "XSizeRel", "XSizeAbs",
                              "XMinSizeToControl", "XMinSizeRel", "XMinSizeAbs", "XMaxSizeToControl",
                              "XMaxSizeRel", "XMaxSizeAbs"};
    static const AxisNames kY{"YPlacementAnchor", "YIsDocked", "YPositionToControl", "YPositionRel",
                              "YPositionAbs", "YSizeToControl", "YSizeRel", "YSizeAbs",
                              "YMinSizeToControl", "YMinSizeRel", "YMinSizeAbs", "YMaxSizeToControl",
                              "YMaxSizeRel", "YMaxSizeAbs"};
    auto readAxis = [attributes](const AxisNames& n, LLayoutDescriptor::Axis& a) {
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
    };
    readAxis(kX, l.x);
    readAxis(kY, l.y);
    GetString(attributes, "TextDecoration", l.textDecoration);
    WString overflow;
    if (GetString(attributes, "TextOverflowXType", overflow))
    {
        if (overflow == u"Clip") l.textOverflowX = 0;
        else if (overflow == u"Expand") l.textOverflowX = 1;
        else if (overflow == u"Wrap") l.textOverflowX = 2;
    }
    if (GetString(attributes, "TextOverflowYType", overflow))
    {
        if (overflow == u"Clip") l.textOverflowY = 0;
        else if (overflow == u"Expand") l.textOverflowY = 1;
    }

    mPendingFont = PendingFont();
    GetBool(attributes, "FontInheritsFromParent", mPendingFont.inheritsFromParent);
    GetBool(attributes, "FontSizeIsRelative", mPendingFont.sizeIsRelative);
    GetString(attributes, "FontName", mPendingFont.name);
    if (!GetFloat(attributes, "FontSize", mPendingFont.size))
        mPendingFont.sizeIsRelative = false;
    GetInt(attributes, "FontStyle", mPendingFont.style);
}

void LControlFactory::StartColorizer(const char** attributes)
{
    WString name, typeText;
    ColorRGBA color;
    if (!GetString(attributes, "Name", name) || !GetString(attributes, "ColorType", typeText) ||
        !GetColor(attributes, "Color", color))
        return;
    int32_t type = typeText == u"LinearGradient" ? LColorizer::kLinearGradient
                   : typeText == u"RadialGradient" ? LColorizer::kRadialGradient
                                                    : LColorizer::kSolid;
    ColorRGBA endColor;
    float sx = 0, sy = 0, ex = 0, ey = 0;
    if (type != LColorizer::kSolid)
    {
        if (!(GetColor(attributes, "GradientEndColor", endColor) && GetFloat(attributes, "GradientStartX", sx) &&
              GetFloat(attributes, "GradientStartY", sy) && GetFloat(attributes, "GradientEndX", ex) &&
              GetFloat(attributes, "GradientEndY", ey)))
        {
            type = LColorizer::kSolid;
            endColor = ColorRGBA();
        }
    }
    mColorizers.try_emplace(name, LColorizer::Create(name, type, color, endColor, sx, sy, ex, ey));
}

void LControlFactory::StartPart(const char** attributes)
{
    WString name, resizeText;
    int32_t width = 0, height = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "Width", width) ||
        !GetInt(attributes, "Height", height) || !GetString(attributes, "ResizeType", resizeText))
        return;
    const int32_t resize = resizeText == u"Tile" ? LVisualPartDescriptor::kTile
                           : resizeText == u"Center" ? LVisualPartDescriptor::kCenter
                                                     : LVisualPartDescriptor::kStretch;
    WString image, file;
    SourceRect imageRect;
    if (GetString(attributes, "ImageFile", file) && !file.IsEmpty())
    {
        if (GetInt(attributes, "ImageLocX", imageRect.x) && GetInt(attributes, "ImageLocY", imageRect.y))
        {
            image = mResourceBasePath + file;
            imageRect.width = width;
            imageRect.height = height;
        }
    }
    RCPtr<LColorizer> colorizer;
    WString colorizerName;
    if (GetString(attributes, "ColorizerName", colorizerName))
        colorizer = FindColorizer(colorizerName);
    if (image.IsEmpty() && !colorizer)
        return;
    float alpha = 1.0f;
    GetFloat(attributes, "ColorizerAlphaMod", alpha);
    WString mask;
    SourceRect maskRect;
    if (GetString(attributes, "ColorizerMaskFile", file))
    {
        if (!GetInt(attributes, "MaskLocX", maskRect.x) || !GetInt(attributes, "MaskLocY", maskRect.y))
            return;
        mask = mResourceBasePath + file;
        maskRect.width = width;
        maskRect.height = height;
    }
    auto part = !image.IsEmpty()
                    ? LVisualPartDescriptor::CreateImagePart(name, image, imageRect, resize, colorizer, alpha, mask, maskRect)
                    : LVisualPartDescriptor::CreateColorPart(name, colorizer, width, height, resize, alpha, mask, maskRect);
    if (part)
        mParts.try_emplace(name, part);
}

void LControlFactory::StartLook(const char** attributes)
{
    if (mInLooks)
    {
        WString name;
        if (!GetString(attributes, "Name", name))
            return;
        mCurrentLook = LLookDescriptor::Create(name);
        mLooks.try_emplace(name, mCurrentLook);
        return;
    }
    if (!mCurrentLookList)
        return;
    WString name;
    int32_t index = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "Index", index))
        return;
    // A slot outside the list is ignored.
    auto look = FindLook(name);
    if (look && index >= 0 && static_cast<uint32_t>(index) < mCurrentLookList->GetCount())
        mCurrentLookList->SetAt(static_cast<uint32_t>(index), look);
}

void LControlFactory::StartLookList(const char** attributes)
{
    WString name;
    int32_t count = 0;
    if (!GetString(attributes, "Name", name) || !GetInt(attributes, "NumLooks", count))
        return;
    if (auto existing = FindLookList(name))
    {
        if (mCurrentDescriptor && mCurrentDescriptor->GetSkin())
            mCurrentDescriptor->GetSkin()->lookList = existing;
        mCurrentLookList = nullptr;
        return;
    }
    if (count < 0 || count > kMaxLookSlots)
        return;
    mCurrentLookList = MakeRC<LLookList>(static_cast<uint32_t>(count));
    mLookLists.emplace(name, mCurrentLookList);
    if (mCurrentDescriptor && mCurrentDescriptor->GetSkin())
        mCurrentDescriptor->GetSkin()->lookList = mCurrentLookList;
}

void LControlFactory::StartClientPart(const char** attributes)
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

void LControlFactory::StartNonClientPart(const char** attributes)
{
    ++mDockedPartCounter;
    WString name;
    if (!GetString(attributes, "Name", name))
        return;
    auto part = FindPart(name);
    if (!part || !mCurrentLook)
        return;
    int32_t mask = 0, l = 0, t = 0, r = 0, b = 0, w = 0, h = 0;
    if (GetInt(attributes, "OffsetLeft", l)) mask |= LDockedPart::kLeft;
    if (GetInt(attributes, "OffsetTop", t)) mask |= LDockedPart::kTop;
    if (GetInt(attributes, "OffsetRight", r)) mask |= LDockedPart::kRight;
    if (GetInt(attributes, "OffsetBottom", b)) mask |= LDockedPart::kBottom;
    GetInt(attributes, "Width", w);
    GetInt(attributes, "Height", h);
    mCurrentLook->dockedParts.push_back(LDockedPart::Create(part, mask, l, t, r, b, w > 0, w, h > 0, h));
}

void LControlFactory::StartTextProperties(const char** attributes)
{
    TextProperties p;
    WString foreground;
    if (!(GetFloat(attributes, "TextLeftRel", p.leftRel) && GetInt(attributes, "TextLeftAbs", p.leftAbs) &&
          GetFloat(attributes, "TextRightRel", p.rightRel) && GetInt(attributes, "TextRightAbs", p.rightAbs) &&
          GetFloat(attributes, "TextHAlign", p.hAlign) && GetFloat(attributes, "TextTopRel", p.topRel) &&
          GetInt(attributes, "TextTopAbs", p.topAbs) && GetFloat(attributes, "TextBottomRel", p.bottomRel) &&
          GetInt(attributes, "TextBottomAbs", p.bottomAbs) && GetFloat(attributes, "TextVAlign", p.vAlign) &&
          GetString(attributes, "TextForegroundPart", foreground)))
        return;
    auto part = FindPart(foreground);
    if (!part || !mCurrentLook)
        return;
    mCurrentLook->SetTextProperties(p, part);
}

}  // namespace Tavo
