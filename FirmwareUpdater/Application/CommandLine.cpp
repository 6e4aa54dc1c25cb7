#include "Application/CommandLine.h"

#include "Application/CommandLineArguments.h"

bool FindSwitch(const Tavo::WString& commandLine, const Tavo::WString& name, Tavo::WString* value)
{
    const uint32_t nameLength = name.GetLength();
    if (nameLength < 2 || name[0] != u'-')
        return false;
    const std::vector<std::u16string> arguments =
        Tavo::SplitCommandLine(std::u16string_view(commandLine.c_str(), commandLine.GetLength()));
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string_view argument = Tavo::WithoutEnclosingQuotes<char16_t>(arguments[i]);
        if (argument.size() < nameLength || Tavo::WString(argument.data(), nameLength).ToUpper() != name)
            continue;
        if (name[nameLength - 1] != u'=')
            return argument.size() == nameLength;
        if (value) {
            const std::u16string rest(Tavo::WithoutEnclosingQuotes(argument.substr(nameLength)));
            *value = Tavo::WString(rest.c_str());
        }
        return true;
    }
    return false;
}
