#pragma once

#include "ObjectBase/Result.h"
#include "Utilities/Graphics/ColorRGBA.h"
#include "Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>

namespace Tavo {

// Receives the elements of one document, in order. A handler may throw: the
// parse stops and the exception reaches the caller of ParseXmlDocument.
class IXmlElementHandler
{
public:
    virtual ~IXmlElementHandler() = default;

    // `attributes` is the parser's name/value array, null-terminated.
    virtual void StartElement(const char* name, const char** attributes) = 0;
    virtual void EndElement(const char* name) = 0;
    // One text may arrive in several runs.
    virtual void CharacterData(const char* text, int length) = 0;
};

// Parses `length` bytes (UTF-8, or as the declaration says). On failure the
// parser's message, or the text of a handler's exception, and the line go to
// errorText/errorLine; a handler's exception is then rethrown.
TavoResult ParseXmlDocument(const char* text, size_t length, IXmlElementHandler& handler, WString& errorText,
                            int32_t& errorLine);

// Attribute reading: each Get leaves `out` untouched and returns false when
// the attribute is absent.
namespace XmlAttributes {

const char* Find(const char** attributes, const char* name);
bool GetString(const char** attributes, const char* name, WString& out);
// atoi rules, clamped to the 32-bit range.
bool GetInt(const char** attributes, const char* name, int32_t& out);
bool GetFloat(const char** attributes, const char* name, float& out);
// "True" is true, any other text false.
bool GetBool(const char** attributes, const char* name, bool& out);
// A hexadecimal colour; an absent one leaves `out` untouched.
bool GetColor(const char** attributes, const char* name, ColorRGBA& out);

// atoi rules, clamped to the 32-bit range instead of overflowing.
int32_t ParseInt(const char* text);

}  // namespace XmlAttributes

// Whether an element name is `b`.
bool IsElement(const char* name, const char* b);
// Appends UTF-8 text to a wide string.
void AppendUtf8(WString& out, const char* text, int length);

}  // namespace Tavo
