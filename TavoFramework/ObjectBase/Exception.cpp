#include "ObjectBase/Exception.h"

#include <cstdio>

namespace Tavo {

const char* ExceptionBase::What() const
{
    if (auto* e = dynamic_cast<const std::exception*>(this))
        return e->what();
    return "";
}

std::string FormatResultCode(TavoResult result)
{
    char digits[65];
    std::snprintf(digits, sizeof digits, "%X", static_cast<uint32_t>(result));
    return std::string("TAVORESULT = ") + digits;
}

std::string ComposeExceptionMessage(std::string_view kind, std::string_view detail, std::string_view function,
                                    std::string_view file, int line)
{
    std::string text(kind);
    if (!detail.empty()) {
        text += detail;
        text += " : ";
    }
    text += function;
    text += " : ";
    text += file;
    text += " : Line ";
    text += std::to_string(line);
    return text;
}

void ThrowIfFailed(TavoResult result, std::string_view function, std::string_view file, int line)
{
    if (result < 0)
        ThrowException<FailedResultException>(FormatResultCode(result), function, file, line);
}

}  // namespace Tavo
