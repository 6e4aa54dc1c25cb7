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
class LControlFactory : public virtual LRefCountedObject
{
public:
    // Finds an embedded resource by (type, name); an empty span when absent.
    using ResourceLookup = std::function<std::span<const uint8_t>(const WString& type, const WString& name)>;

    static RCPtr<LControlFactory> Create(const WString& applicationName);
    explicit LControlFactory(const WString& applicationName);
    ~LControlFactory();

    // Where "::" sources come from, for every factory of the process; by
    // default the program's embedded resources.
    static void SetResourceLookup(ResourceLookup lookup);

    // A class registered already keeps its first creator.
    TavoResult RegisterControlClass(const WString& className, ControlCreateFunction creator);
    // Throws a runtime error for an unregistered class.
    TavoResult GetControlCreateFunction(const WString& className, ControlCreateFunction& creator) const;

    RCPtr<IFactoryControl> CreateControl(const RCPtr<LControlDescriptor>& descriptor,
                                           const RCPtr<IFactoryControl>& parent);
    // Empty when the current skin has no top-level descriptor of that name.
    RCPtr<IFactoryControl> CreateControlFromDescriptor(const WString& name, LRootWindow* rootWindow);
    // Searches only the direct children of the current skin root, last first.
    RCPtr<LControlDescriptor> FindDescriptorByName(const WString& name) const;
    TavoResult ReapplyDescriptor(const RCPtr<IFactoryControl>& control);
    // S_OK when the current skin overrides at least one value, S_FALSE when none.
    TavoResult GetCurrentSkinFontOverride(WString& fontName, float& fontSize, int32_t& fontStyle) const;

    // The string tables, then the skin: from the program's resources when
    // the location is "::", else from "StringTables.xml",
    // "FrameworkStrings.xml" and "Skins.xml" in that folder.
    TavoResult LoadResources(const WString& location, int32_t lcid);
    // "::" and a resource name, or a file path.
    TavoResult LoadSkins(const WString& path);
    // One document in memory (UTF-8, or as its declaration says); length 0
    // means nul-terminated.
    TavoResult ParseXML(const char* text, size_t length);
    TavoResult LoadStringTables(const WString& applicationSource, const WString& frameworkSource,
                                int32_t lcid);

    RCPtr<LStringTable> GetFrameworkStringTable() const;
    RCPtr<LStringTable> GetApplicationStringTable() const;
    // Table "<owner's descriptor class>|<name>", the application name as owner
    // when none is given.
    RCPtr<LStringTable> GetControlStringTable(const IFactoryControl* owner, const WString& name) const;
    RCPtr<LStringTable> GetStringTable(const WString& tableId) const;

    const WString& GetApplicationName() const { return mApplicationName; }
    int32_t GetCurrentLCID() const { return mCurrentLCID; }
    const WString& GetResourceBasePath() const { return mResourceBasePath; }
    void SetResourceBasePath(const WString& path) { mResourceBasePath = path; }

    int32_t GetSkinCount() const { return static_cast<int32_t>(mSkinRoots.size()); }
    RCPtr<LControlDescriptor> GetSkinRoot(int32_t index) const;
    int32_t GetCurrentSkinIndex() const { return mCurrentSkinIndex; }
    void SetCurrentSkinIndex(int32_t index) { mCurrentSkinIndex = index; }

    RCPtr<LColorizer> FindColorizer(const WString& name) const;
    RCPtr<LVisualPartDescriptor> FindPart(const WString& name) const;
    RCPtr<LLookDescriptor> FindLook(const WString& name) const;
    RCPtr<LLookList> FindLookList(const WString& name) const;

    const WString& GetLastErrorText() const { return mLastErrorText; }
    int32_t GetLastErrorLine() const { return mLastErrorLine; }

    // Reader entry points, called from the XML parser.
    void XMLStartElement(const char* name, const char** attributes);
    void XMLEndElement(const char* name);
    void XMLCharacterData(const char* text, int length);

private:
    struct SourceBytes;
    TavoResult ReadSource(const WString& path, SourceBytes& source, bool& fromResource);
    TavoResult ParseSource(const WString& path, bool stringMode, bool rethrowFromResource);
    void ResetReader(bool stringMode);
    void SetCurrentDescriptor(const RCPtr<LControlDescriptor>& descriptor);

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

    WString mApplicationName;
    int32_t mCurrentLCID = 0;
    WString mResourceBasePath;
    std::vector<RCPtr<LControlDescriptor>> mSkinRoots;
    int32_t mCurrentSkinIndex = 0;
    std::map<WString, ControlCreateFunction> mClasses;
    std::map<WString, LStringTable::Map> mStringTables;

    // Reader state.
    bool mSkipNextStart = false;
    bool mStringTableMode = false;
    bool mCreateParamCapture = false;
    bool mCreateParamFresh = false;
    LStringTable::Map* mCurrentTable = nullptr;
    WString* mCapturedText = nullptr;
    bool mCapture = false;
    WString mCurrentStringId;
    int32_t mMatchCount = 0;
    RCPtr<LControlDescriptor> mCurrentDescriptor;
    // The current descriptor and the open ones above it.
    std::vector<RCPtr<LControlDescriptor>> mDescriptorStack;
    RCPtr<LLookDescriptor> mCurrentLook;
    RCPtr<LLookList> mCurrentLookList;
    RCPtr<LStringTable> mCurrentCreateParams;
    int32_t mDockedPartCounter = -1;
    bool mInColorizers = false;
    bool mInParts = false;
    bool mInLooks = false;
    bool mInSkins = false;
    std::map<WString, RCPtr<LColorizer>> mColorizers;
    std::map<WString, RCPtr<LVisualPartDescriptor>> mParts;
    std::map<WString, RCPtr<LLookDescriptor>> mLooks;
    std::map<WString, RCPtr<LLookList>> mLookLists;
    struct PendingFont
    {
        WString name;
        float size = 0.0f;
        int32_t style = -1;
        bool inheritsFromParent = false;
        bool sizeIsRelative = false;
    } mPendingFont;
    std::optional<int32_t> mFontLocale;
    std::map<WString, WString> mFontTranslation;

    WString mLastErrorText;
    int32_t mLastErrorLine = 0;
    std::exception_ptr mHandlerError;
};

}  // namespace Tavo
