#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "ControlBase/XmlReader.h"

#include <cstdint>
#include <map>

namespace Tavo {

// Reads string-table documents: the texts of one locale go into the tables,
// keyed by table id, then string id.
class LStringTableReader : public IXmlElementHandler
{
public:
    using Tables = std::map<WString, LStringTable::Map>;

    explicit LStringTableReader(Tables& tables) : mTables(tables) {}

    // Before each document: the locale to take, and a fresh match count.
    void Begin(int32_t lcid);
    // Texts of the wanted locale met since Begin.
    int32_t GetMatchCount() const { return mMatchCount; }
    // Ends the text capture, also when a parse stopped half way.
    void StopCapture();

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void CharacterData(const char* text, int length) override;

private:
    Tables& mTables;
    int32_t mLCID = 0;
    int32_t mMatchCount = 0;
    LStringTable::Map* mCurrentTable = nullptr;
    WString mCurrentStringId;
    WString* mCapturedText = nullptr;
};

}  // namespace Tavo
