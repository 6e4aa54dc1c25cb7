#include "Application/CommandLineArguments.h"

#include "Platform/Kernel/TextCoding.h"

namespace Tavo {
namespace {

bool NeedsQuotes(std::string_view argument)
{
    return argument.empty() || argument.find_first_of(" \t\n\v\"") != std::string_view::npos;
}

void AppendQuoted(std::string& line, std::string_view argument)
{
    if (!NeedsQuotes(argument)) {
        line += argument;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    // Those before the closing quote are doubled too.
    line.append(backslashes * 2, '\\');
    line += '"';
}

template <typename Char>
std::vector<std::basic_string<Char>> Split(std::basic_string_view<Char> line)
{
    std::vector<std::basic_string<Char>> arguments;
    const auto blank = [](Char c) { return c == Char(' ') || c == Char('\t'); };
    size_t i = 0;
    while (true) {
        while (i < line.size() && blank(line[i]))
            ++i;
        if (i == line.size())
            return arguments;
        std::basic_string<Char> argument;
        bool quoted = false;
        while (i < line.size() && (quoted || !blank(line[i]))) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == Char('\\')) {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == Char('"')) {
                argument.append(backslashes / 2, Char('\\'));
                if (backslashes % 2)
                    argument += Char('"');
                else
                    quoted = !quoted;
                ++i;
            } else {
                argument.append(backslashes, Char('\\'));
                if (i < line.size() && (quoted || !blank(line[i])))
                    argument += line[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
}

}  // namespace

std::string JoinCommandLine(const std::vector<std::string>& arguments)
{
    std::string line;
    for (const std::string& argument : arguments) {
        if (&argument != &arguments.front())
            line += ' ';
        AppendQuoted(line, argument);
    }
    return line;
}

std::string JoinCommandLine(int argc, const char* const* argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        // The joined line is UTF-8 for every reader (the wide command line,
        // the hand-over, the log): bytes that are not become U+FFFD here,
        // once, and the argument stays one argument.
        arguments.push_back(Platform::ToUtf8(Platform::FromUtf8(argv[i])));
    }
    return JoinCommandLine(arguments);
}

std::vector<std::string> SplitCommandLine(std::string_view line)
{
    return Split(line);
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view line)
{
    return Split(line);
}

}  // namespace Tavo
