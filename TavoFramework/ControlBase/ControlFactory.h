#pragma once

#include "ControlBase/Control.h"
#include "ControlBase/SkinDescriptors.h"
#include "ControlBase/SkinReader.h"
#include "ControlBase/StringTableReader.h"
#include "ControlBase/XmlReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>

namespace Tavo {

// Knows every control class by name and every control by its skin
// description; loads the skin and string-table documents.
class LControlFactory : public virtual LRefCountedObject, private IXmlElementHandler
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

    RCPtr<LControl> CreateControl(const RCPtr<LControlDescriptor>& descriptor, const RCPtr<LControl>& parent);
    // Empty when the current skin has no top-level descriptor of that name.
    RCPtr<LControl> CreateControlFromDescriptor(const WString& name, LRootWindow* rootWindow);
    // Searches only the direct children of the current skin root, last first.
    RCPtr<LControlDescriptor> FindDescriptorByName(const WString& name) const;
    TavoResult ReapplyDescriptor(const RCPtr<LControl>& control);
    // S_OK when the current skin overrides at least one value, S_FALSE when none.
    TavoResult GetCurrentSkinFontOverride(WString& fontName, float& fontSize, int32_t& fontStyle) const;

    // The string tables, then the skin: from the program's resources when
    // the location is "::", else from "StringTables.xml",
    // "FrameworkStrings.xml" and "Skins.xml" in that folder.
    TavoResult LoadResources(const WString& location, int32_t lcid);
    // The two halves of LoadResources, for a run that may never need the
    // skin: the string tables of that location, then its skin.
    TavoResult LoadResourceStrings(const WString& location, int32_t lcid);
    TavoResult LoadResourceSkins();
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
    RCPtr<LStringTable> GetControlStringTable(const LControl* owner, const WString& name) const;
    RCPtr<LStringTable> GetStringTable(const WString& tableId) const;

    const WString& GetApplicationName() const { return mApplicationName; }
    int32_t GetCurrentLCID() const { return mCurrentLCID; }
    const WString& GetResourceBasePath() const { return mResourceBasePath; }
    void SetResourceBasePath(const WString& path) { mResourceBasePath = path; }

    int32_t GetSkinCount() const { return mSkins.GetCount(); }
    RCPtr<LControlDescriptor> GetSkinRoot(int32_t index) const { return mSkins.GetRoot(index); }
    int32_t GetCurrentSkinIndex() const { return mSkins.currentIndex; }
    void SetCurrentSkinIndex(int32_t index) { mSkins.currentIndex = index; }

    RCPtr<LColorizer> FindColorizer(const WString& name) const;
    RCPtr<LVisualPartDescriptor> FindPart(const WString& name) const;
    RCPtr<LLookDescriptor> FindLook(const WString& name) const;
    RCPtr<LLookList> FindLookList(const WString& name) const;

    const WString& GetLastErrorText() const { return mLastErrorText; }
    int32_t GetLastErrorLine() const { return mLastErrorLine; }

private:
    struct SourceBytes;
    TavoResult ReadSource(const WString& path, SourceBytes& source, bool& fromResource);
    TavoResult ParseSource(const WString& path, bool stringMode, bool rethrowFromResource);

    // The document's root element is skipped; "Application" names the
    // application; the rest goes to the reader of the current mode.
    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void CharacterData(const char* text, int length) override;
    IXmlElementHandler& CurrentReader();

    WString mApplicationName;
    int32_t mCurrentLCID = 0;
    WString mResourceBasePath;
    std::map<WString, ControlCreateFunction> mClasses;
    SkinLibrary mSkins;
    LStringTableReader::Tables mStringTables;

    LSkinReader mSkinReader{mSkins, mApplicationName, mCurrentLCID, mResourceBasePath};
    LStringTableReader mStringTableReader{mStringTables};
    bool mStringTableMode = false;
    bool mSkipNextStart = false;

    WString mLastErrorText;
    int32_t mLastErrorLine = 0;
};

}  // namespace Tavo
