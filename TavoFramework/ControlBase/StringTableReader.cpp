#include "ControlBase/StringTableReader.h"

#include "Platform/Kernel/TextCoding.h"

namespace Tavo {

namespace {

// A "Locale" LCID: "0x" and at most four hexadecimal digits, else decimal.
int32_t ParseLocaleId(const char* s)
{
    if (s[0] != '0' || s[1] != 'x')
        return XmlAttributes::ParseInt(s);
    int32_t v = 0;
    for (int i = 2; i < 6; ++i) {
        const int d = Platform::HexDigitValue(s[i]);
        if (d < 0)
            break;
        v = v * 16 + d;
    }
    return v;
}

}  // namespace

void LStringTableReader::Begin(int32_t lcid)
{
    mLCID = lcid;
    mMatchCount = 0;
    mCurrentTable = nullptr;
    StopCapture();
}

void LStringTableReader::StopCapture()
{
    mCapturedText = nullptr;
}

void LStringTableReader::StartElement(const char* name, const char** attributes)
{
    if (IsElement(name, "StringTable")) {
        WString id;
        XmlAttributes::GetString(attributes, "ID", id);
        mCurrentTable = &mTables[id];
    } else if (IsElement(name, "String")) {
        mCurrentStringId.Empty();
        XmlAttributes::GetString(attributes, "ID", mCurrentStringId);
    } else if (IsElement(name, "Locale")) {
        const char* lcid = XmlAttributes::Find(attributes, "LCID");
        // A string outside any table has nowhere to go.
        if (!lcid || !mCurrentTable || ParseLocaleId(lcid) != mLCID)
            return;
        ++mMatchCount;
        mCapturedText = &(*mCurrentTable)[mCurrentStringId];
    }
}

void LStringTableReader::EndElement(const char*)
{
    StopCapture();
}

void LStringTableReader::CharacterData(const char* text, int length)
{
    if (length > 0 && mCapturedText)
        AppendUtf8(*mCapturedText, text, length);
}

}  // namespace Tavo
