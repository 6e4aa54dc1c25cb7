#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "ControlBase/XmlReader.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace Tavo {

// The skins read so far and the named colorizers, parts, looks and look
// lists they share; later documents add to it.
struct SkinLibrary
{
    std::vector<RCPtr<LControlDescriptor>> roots;
    int32_t currentIndex = 0;
    std::map<WString, RCPtr<LColorizer>> colorizers;
    std::map<WString, RCPtr<LVisualPartDescriptor>> parts;
    std::map<WString, RCPtr<LLookDescriptor>> looks;
    std::map<WString, RCPtr<LLookList>> lookLists;
    // The locale the font translations apply to, and the translations.
    std::optional<int32_t> fontLocale;
    std::map<WString, WString> fontTranslation;

    int32_t GetCount() const { return static_cast<int32_t>(roots.size()); }
    // Null outside the list.
    RCPtr<LControlDescriptor> GetRoot(int32_t index) const;
};

// Reads skin documents into a SkinLibrary: control descriptor trees with
// their layout, font and create parameters, and the named drawing objects.
class LSkinReader : public IXmlElementHandler
{
public:
    // The application name, locale and resource folder are the owner's and
    // are read as each element is met.
    LSkinReader(SkinLibrary& skins, const WString& applicationName, const int32_t& lcid,
                const WString& resourceBasePath);

    // Before a document read from a source: no section or control open.
    void Begin();
    // After a document: no control open, no create parameter captured.
    void End();

    // Throws a runtime error for a SubControl without class or name, or one
    // nested too deep.
    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void CharacterData(const char* text, int length) override;

private:
    void SetCurrentDescriptor(const RCPtr<LControlDescriptor>& descriptor);
    void StartSkin(const char** attributes);
    void StartFontXLat(const char** attributes);
    void StartSubControl(const char** attributes);
    void ReadPendingFont(const char** attributes);
    void StartColorizer(const char** attributes);
    void StartPart(const char** attributes);
    void StartLook(const char** attributes);
    void StartLookList(const char** attributes);
    void StartClientPart(const char** attributes);
    void StartNonClientPart(const char** attributes);
    void StartTextProperties(const char** attributes);
    // Null when the name is not known.
    RCPtr<LVisualPartDescriptor> FindPart(const WString& name) const;

    SkinLibrary& mSkins;
    const WString& mApplicationName;
    const int32_t& mLCID;
    const WString& mResourceBasePath;

    RCPtr<LControlDescriptor> mCurrentDescriptor;
    // The current descriptor and the open ones above it.
    std::vector<RCPtr<LControlDescriptor>> mDescriptorStack;
    RCPtr<LLookDescriptor> mCurrentLook;
    RCPtr<LLookList> mCurrentLookList;
    RCPtr<LStringTable> mCurrentCreateParams;
    WString mCurrentParamId;
    bool mCreateParamCapture = false;
    bool mCreateParamFresh = false;
    // Inside <Looks>, a Look defines one; elsewhere it fills a look list slot.
    bool mInLooks = false;
    // The font of the SubControl being read, applied by its Skin element.
    struct PendingFont
    {
        WString name;
        float size = 0.0f;
        int32_t style = -1;
        bool inheritsFromParent = false;
        bool sizeIsRelative = false;
    } mPendingFont;
};

}  // namespace Tavo
