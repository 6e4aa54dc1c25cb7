#include "ControlBase/XmlReader.h"

#include <expat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace Tavo {

namespace {

WString Wide(const char* s)
{
    return s ? WString(s) : WString();
}

struct ParserContext
{
    IXmlElementHandler* handler;
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
    try {
        f(*ctx->handler);
    } catch (...) {
        *ctx->error = std::current_exception();
        XML_StopParser(ctx->parser, XML_FALSE);
    }
}

extern "C" void StartHandler(void* user, const XML_Char* name, const XML_Char** attributes)
{
    Guarded(user, [&](IXmlElementHandler& h) { h.StartElement(name, attributes); });
}

extern "C" void EndHandler(void* user, const XML_Char* name)
{
    Guarded(user, [&](IXmlElementHandler& h) { h.EndElement(name); });
}

extern "C" void CharacterHandler(void* user, const XML_Char* text, int length)
{
    Guarded(user, [&](IXmlElementHandler& h) { h.CharacterData(text, length); });
}

}  // namespace

TavoResult ParseXmlDocument(const char* text, size_t length, IXmlElementHandler& handler, WString& errorText,
                            int32_t& errorLine)
{
    if (length > static_cast<size_t>(INT_MAX)) {
        errorText = WString(u"document too large");
        errorLine = 0;
        return E_FAIL;
    }
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser)
        return E_OUTOFMEMORY;
    std::exception_ptr error;
    ParserContext ctx{&handler, parser, &error};
    XML_SetUserData(parser, &ctx);
    XML_SetElementHandler(parser, &StartHandler, &EndHandler);
    XML_SetCharacterDataHandler(parser, &CharacterHandler);
    const XML_Status status = XML_Parse(parser, text, static_cast<int>(length), XML_TRUE);
    TavoResult result = S_OK;
    if (status != XML_STATUS_OK || error) {
        errorLine = static_cast<int32_t>(XML_GetCurrentLineNumber(parser));
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                errorText = Wide(e.what());
            } catch (...) {
                errorText.Empty();
            }
        } else {
            errorText = Wide(XML_ErrorString(XML_GetErrorCode(parser)));
        }
        result = E_FAIL;
    }
    XML_ParserFree(parser);
    if (error)
        std::rethrow_exception(error);
    return result;
}

namespace XmlAttributes {

const char* Find(const char** attributes, const char* name)
{
    for (const char** a = attributes; a && a[0]; a += 2)
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    return nullptr;
}

bool GetString(const char** attributes, const char* name, WString& out)
{
    const char* v = Find(attributes, name);
    if (!v)
        return false;
    out = Wide(v);
    return true;
}

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
    const char* v = Find(attributes, name);
    if (!v)
        return false;
    out = ParseInt(v);
    return true;
}

bool GetFloat(const char** attributes, const char* name, float& out)
{
    const char* v = Find(attributes, name);
    if (!v)
        return false;
    out = static_cast<float>(std::strtod(v, nullptr));
    return true;
}

bool GetBool(const char** attributes, const char* name, bool& out)
{
    const char* v = Find(attributes, name);
    if (!v)
        return false;
    out = std::strcmp(v, "True") == 0;
    return true;
}

bool GetColor(const char** attributes, const char* name, ColorRGBA& out)
{
    const char* v = Find(attributes, name);
    if (!v)
        return false;
    out = ColorRGBA();
    out.FromHexString(v);
    return true;
}

}  // namespace XmlAttributes

bool IsElement(const char* name, const char* b)
{
    return std::strcmp(name, b) == 0;
}

void AppendUtf8(WString& out, const char* text, int length)
{
    WString run;
    AssignFromNarrow(run, text, length);
    out.Append(run);
}

}  // namespace Tavo
