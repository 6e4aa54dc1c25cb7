#include "ControlBase/ControlFactory.h"

#include "Window/RootWindow.h"

#include "ObjectBase/Exception.h"
#include "Platform/Kernel/Resources.h"
#include "Utilities/Storage/File.h"

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace Tavo {

namespace {

const char* const kUnknownClass =
    "Runtime Error : Tavo::LControlFactory::GetControlCreateFunction : ControlBase\\ControlFactory : Line 51";

LControlFactory::ResourceLookup& ResourceLookupSlot()
{
    static auto* lookup = new LControlFactory::ResourceLookup();
    return *lookup;
}

template <class M>
typename M::mapped_type FindIn(const M& map, const WString& name)
{
    const auto it = map.find(name);
    return it == map.end() ? typename M::mapped_type() : it->second;
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

RCPtr<LControl> LControlFactory::CreateControl(const RCPtr<LControlDescriptor>& descriptor,
                                               const RCPtr<LControl>& parent)
{
    if (!descriptor)
        return nullptr;
    // Each descriptor resolves its class once.
    if (!descriptor->GetCreateFunction()) {
        ControlCreateFunction creator = nullptr;
        GetControlCreateFunction(descriptor->GetClassName(), creator);
        descriptor->SetCreateFunction(creator);
    }
    // A class known by name but with nothing to build it would leave a hole
    // in the window where the skin promised a subtree.
    const ControlCreateFunction creator = descriptor->GetCreateFunction();
    if (!creator)
        TAVO_THROW(std::runtime_error,
                   std::string("No Create Function For ") + NString(descriptor->GetClassName()).c_str(),
                   "Tavo::LControlFactory::CreateControl", "ControlBase\\ControlFactory", 88);
    RCPtr<LControl> control;
    creator(control, parent, descriptor);
    return control;
}

RCPtr<LControl> LControlFactory::CreateControlFromDescriptor(const WString& name, LRootWindow* rootWindow)
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
    const auto root = GetSkinRoot(GetCurrentSkinIndex());
    if (!root)
        return nullptr;
    const auto& children = root->GetChildren();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (*it && (*it)->GetName() == name)
            return *it;
    return nullptr;
}

TavoResult LControlFactory::ReapplyDescriptor(const RCPtr<LControl>& control)
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
    const auto root = GetSkinRoot(GetCurrentSkinIndex());
    if (!root || !root->GetSkin())
        return S_FALSE;
    const auto& skin = *root->GetSkin();
    bool any = false;
    if (!skin.fontName.IsEmpty()) {
        fontName = skin.fontName;
        any = true;
    }
    if (skin.fontSize >= 1.0f) {
        fontSize = skin.fontSize;
        any = true;
    }
    if (skin.fontStyle != -1) {
        fontStyle = skin.fontStyle;
        any = true;
    }
    return any ? S_OK : S_FALSE;
}

RCPtr<LColorizer> LControlFactory::FindColorizer(const WString& name) const
{
    return FindIn(mSkins.colorizers, name);
}

RCPtr<LVisualPartDescriptor> LControlFactory::FindPart(const WString& name) const
{
    return FindIn(mSkins.parts, name);
}

RCPtr<LLookDescriptor> LControlFactory::FindLook(const WString& name) const
{
    return FindIn(mSkins.looks, name);
}

RCPtr<LLookList> LControlFactory::FindLookList(const WString& name) const
{
    return FindIn(mSkins.lookLists, name);
}

// ---- sources ----

TavoResult LControlFactory::ReadSource(const WString& path, SourceBytes& source, bool& fromResource)
{
    fromResource = path.GetLength() >= 2 && path[0] == u':' && path[1] == u':';
    if (fromResource) {
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
    try {
        File file;
        if (path.IsEmpty() || file.Open(path, WString(), File::kModeRead) != S_OK)
            return E_FAIL;
        const uint32_t length = file.GetLength();
        try {
            source.buffer.resize(length);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        uint32_t done = 0;
        while (done < length) {
            const int32_t n = file.Read(source.buffer.data() + done, length - done, -1);
            if (n <= 0)
                return E_FAIL;
            done += static_cast<uint32_t>(n);
        }
    } catch (...) {
        return E_FAIL;
    }
    source.bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(source.buffer.data()),
                                            source.buffer.size());
    return S_OK;
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
    mStringTableMode = stringMode;
    mSkinReader.Begin();
    mStringTableReader.Begin(mCurrentLCID);
    try {
        result = ParseXML(reinterpret_cast<const char*>(source.bytes.data()), source.bytes.size());
    } catch (...) {
        if (fromResource && rethrowFromResource)
            throw;
        result = E_FAIL;
    }
    // The match count stays readable after the parse.
    mStringTableMode = false;
    mSkinReader.End();
    return result;
}

TavoResult LControlFactory::LoadResources(const WString& location, int32_t lcid)
{
    const TavoResult result = LoadResourceStrings(location, lcid);
    return result < 0 ? result : LoadResourceSkins();
}

TavoResult LControlFactory::LoadResourceStrings(const WString& location, int32_t lcid)
{
    if (location == u"::") {
        mResourceBasePath = location;
        return LoadStringTables(u"::APP_STRINGS", u"::FRAMEWORK_STRINGS", lcid);
    }
    mResourceBasePath = location + u"/";
    return LoadStringTables(mResourceBasePath + u"StringTables.xml",
                            mResourceBasePath + u"FrameworkStrings.xml", lcid);
}

TavoResult LControlFactory::LoadResourceSkins()
{
    return LoadSkins(mResourceBasePath == u"::" ? WString(u"::APP_SKINS") : mResourceBasePath + u"Skins.xml");
}

TavoResult LControlFactory::LoadSkins(const WString& path)
{
    const TavoResult result = ParseSource(path, false, true);
    mSkins.currentIndex = 0;
    return result;
}

TavoResult LControlFactory::ParseXML(const char* text, size_t length)
{
    if (!text)
        return E_FAIL;
    if (length == 0)
        length = std::strlen(text);
    mSkipNextStart = true;
    struct StopCapture
    {
        LStringTableReader& reader;
        ~StopCapture() { reader.StopCapture(); }
    } stop{mStringTableReader};
    return ParseXmlDocument(text, length, *this, mLastErrorText, mLastErrorLine);
}

// ---- string tables ----

TavoResult LControlFactory::LoadStringTables(const WString& applicationSource, const WString& frameworkSource,
                                             int32_t lcid)
{
    mCurrentLCID = lcid;
    // Matches are counted during one parse; a source is parsed again only
    // when its last pass matched nothing.
    auto run = [this](const WString& source, bool& outOfMemory) {
        outOfMemory = ParseSource(source, true, false) == E_OUTOFMEMORY;
        return mStringTableReader.GetMatchCount();
    };
    bool oom = false;
    if (run(applicationSource, oom) == 0 && !oom) {
        const int32_t l = mCurrentLCID;
        mCurrentLCID = (l == 1028 || l == 3076 || l == 5124) ? 31748 : (l & 0xFF);
        if (run(applicationSource, oom) == 0 && !oom) {
            mCurrentLCID = 9;
            run(applicationSource, oom);
        }
    }
    if (oom)
        return E_OUTOFMEMORY;
    if (run(frameworkSource, oom) == 0 && !oom) {
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

RCPtr<LStringTable> LControlFactory::GetControlStringTable(const LControl* owner, const WString& name) const
{
    const WString ownerClass = owner ? owner->GetDescriptorClassName() : mApplicationName;
    return GetStringTable(ownerClass + u"|" + name);
}

// ---- documents ----

IXmlElementHandler& LControlFactory::CurrentReader()
{
    if (mStringTableMode)
        return mStringTableReader;
    return mSkinReader;
}

void LControlFactory::StartElement(const char* name, const char** attributes)
{
    if (mSkipNextStart) {
        mSkipNextStart = false;
        return;
    }
    if (IsElement(name, "Application")) {
        mApplicationName.Empty();
        XmlAttributes::GetString(attributes, "Name", mApplicationName);
        return;
    }
    CurrentReader().StartElement(name, attributes);
}

void LControlFactory::EndElement(const char* name)
{
    CurrentReader().EndElement(name);
}

void LControlFactory::CharacterData(const char* text, int length)
{
    CurrentReader().CharacterData(text, length);
}

}  // namespace Tavo
