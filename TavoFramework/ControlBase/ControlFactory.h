#pragma once

#include "ControlBase/FactoryControl.h"
#include "ControlBase/SkinDescriptors.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace Tavo {

// Knows every control class by name and every control by its skin
// description; reads the skin and string-table XML.
class LControlFactory
{
public:
    // Finds an embedded resource by (type, name); an empty span when absent.
    using ResourceLookup = std::function<std::span<const uint8_t>(const SkinString& type, const SkinString& name)>;

    static SkinRef<LControlFactory> Create(const SkinString& applicationName);
    explicit LControlFactory(const SkinString& applicationName);
    ~LControlFactory();

    // Where "::" sources come from, for every factory of the process; by
    // default the program's embedded resources.
    static void SetResourceLookup(ResourceLookup lookup);

    // A class registered already keeps its first creator.
    TavoResult RegisterControlClass(const SkinString& className, ControlCreateFunction creator);
    // Throws a runtime error for an unregistered class.
    TavoResult GetControlCreateFunction(const SkinString& className, ControlCreateFunction& creator) const;

    SkinRef<IFactoryControl> CreateControl(const SkinRef<LControlDescriptor>& descriptor,
                                           const SkinRef<IFactoryControl>& parent);
    // Empty when the current skin has no top-level descriptor of that name.
    SkinRef<IFactoryControl> CreateControlFromDescriptor(const SkinString& name, LRootWindow* rootWindow);
    // Searches only the direct children of the current skin root, last first.
    SkinRef<LControlDescriptor> FindDescriptorByName(const SkinString& name) const;
    TavoResult ReapplyDescriptor(const SkinRef<IFactoryControl>& control);
    // S_OK when the current skin overrides at least one value, S_FALSE when none.
    TavoResult GetCurrentSkinFontOverride(SkinString& fontName, float& fontSize, int32_t& fontStyle) const;

    // "::" and a resource name, or a file path.
    TavoResult LoadSkins(const SkinString& path);
    // One document in memory (UTF-8, or as its declaration says); length 0
    // means nul-terminated.
    TavoResult ParseXML(const char* text, size_t length);
    TavoResult LoadStringTables(const SkinString& applicationSource, const SkinString& frameworkSource,
                                int32_t lcid);

    SkinRef<LStringTable> GetFrameworkStringTable() const;
    SkinRef<LStringTable> GetApplicationStringTable() const;
    // Table "<owner's descriptor class>|<name>", the application name as owner
    // when none is given.
    SkinRef<LStringTable> GetControlStringTable(const IFactoryControl* owner, const SkinString& name) const;
    SkinRef<LStringTable> GetStringTable(const SkinString& tableId) const;

    const SkinString& GetApplicationName() const { return mApplicationName; }
    int32_t GetCurrentLCID() const { return mCurrentLCID; }
    const SkinString& GetResourceBasePath() const { return mResourceBasePath; }
    void SetResourceBasePath(const SkinString& path) { mResourceBasePath = path; }

    int32_t GetSkinCount() const { return static_cast<int32_t>(mSkinRoots.size()); }
    SkinRef<LControlDescriptor> GetSkinRoot(int32_t index) const;
    int32_t GetCurrentSkinIndex() const { return mCurrentSkinIndex; }
    void SetCurrentSkinIndex(int32_t index) { mCurrentSkinIndex = index; }

    SkinRef<LColorizer> FindColorizer(const SkinString& name) const;
    SkinRef<LVisualPartDescriptor> FindPart(const SkinString& name) const;
    SkinRef<LLookDescriptor> FindLook(const SkinString& name) const;
    SkinRef<LLookList> FindLookList(const SkinString& name) const;

    const SkinString& GetLastErrorText() const { return mLastErrorText; }
    int32_t GetLastErrorLine() const { return mLastErrorLine; }

    // Reader entry points, called from the XML parser.
    void XMLStartElement(const char* name, const char** attributes);
    void XMLEndElement(const char* name);
    void XMLCharacterData(const char* text, int length);

private:
    struct SourceBytes;
    TavoResult ReadSource(const SkinString& path, SourceBytes& source, bool& fromResource);
    TavoResult ParseSource(const SkinString& path, bool stringMode, bool rethrowFromResource);
    void ResetReader(bool stringMode);
    void SetCurrentDescriptor(const SkinRef<LControlDescriptor>& descriptor);

    void StartStringTableElement(const char* name, const char** attributes);
    void StartSkin(const char** attributes);
    void StartSubControl(const char** attributes);
    void StartColorizer(const char** attributes);
    void StartPart(const char** attributes);
    void StartLook(const char** attributes);
    void StartLookList(const char** attributes);
    void StartClientPart(const char** attributes);
    void StartNonClientPart(const char** attributes);
    void StartTextProperties(const char** attributes);
    void StartFontXLat(const char** attributes);

    SkinString mApplicationName;
    int32_t mCurrentLCID = 0;
    SkinString mResourceBasePath;
    std::vector<SkinRef<LControlDescriptor>> mSkinRoots;
    int32_t mCurrentSkinIndex = 0;
    std::map<SkinString, ControlCreateFunction> mClasses;
    std::map<SkinString, LStringTable::Map> mStringTables;

    // Reader state.
    bool mSkipNextStart = false;
    bool mStringTableMode = false;
    bool mCreateParamCapture = false;
    bool mCreateParamFresh = false;
    LStringTable::Map* mCurrentTable = nullptr;
    SkinString* mCapturedText = nullptr;
    bool mCapture = false;
    SkinString mCurrentStringId;
    int32_t mMatchCount = 0;
    SkinRef<LControlDescriptor> mCurrentDescriptor;
    // The current descriptor and the open ones above it.
    std::vector<SkinRef<LControlDescriptor>> mDescriptorStack;
    SkinRef<LLookDescriptor> mCurrentLook;
    SkinRef<LLookList> mCurrentLookList;
    SkinRef<LStringTable> mCurrentCreateParams;
    int32_t mDockedPartCounter = -1;
    bool mInColorizers = false;
    bool mInParts = false;
    bool mInLooks = false;
    bool mInSkins = false;
    std::map<SkinString, SkinRef<LColorizer>> mColorizers;
    std::map<SkinString, SkinRef<LVisualPartDescriptor>> mParts;
    std::map<SkinString, SkinRef<LLookDescriptor>> mLooks;
    std::map<SkinString, SkinRef<LLookList>> mLookLists;
    struct PendingFont
    {
        SkinString name;
        float size = 0.0f;
        int32_t style = -1;
        bool inheritsFromParent = false;
        bool sizeIsRelative = false;
    } mPendingFont;
    std::optional<int32_t> mFontLocale;
    std::map<SkinString, SkinString> mFontTranslation;

    SkinString mLastErrorText;
    int32_t mLastErrorLine = 0;
    std::exception_ptr mHandlerError;
};

}  // namespace Tavo
