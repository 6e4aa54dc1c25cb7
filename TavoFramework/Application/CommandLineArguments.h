#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Tavo {

// The command line travels as one text (the log, a second copy's hand-over),
// yet each argument must stay exactly one argument: no quote, space or
// backslash inside one may make or change another. Arguments are joined the
// way a command line is quoted on the platform the design comes from, and
// split back by the same rules, so splitting a joined line gives back
// exactly the arguments.
//
// An argument with no space, tab, line break or double quote (and not
// empty) is written as it is; any other is written in double quotes, where
// a quote is written \" and backslashes right before a quote, or before the
// closing quote, are doubled.
std::string JoinCommandLine(int argc, const char* const* argv);
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// Splits a command line: spaces and tabs outside double quotes separate
// arguments; a double quote starts or ends a quoted stretch; 2n backslashes
// before a quote give n backslashes and the quote does its work, 2n+1 give
// n backslashes and a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view line);
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

// An argument wrapped whole in double quotes that reached the program
// literally ("\"-SILENT\""), without them; any other as it is.
template <typename Char>
std::basic_string_view<Char> WithoutEnclosingQuotes(std::basic_string_view<Char> argument)
{
    if (argument.size() >= 2 && argument.front() == Char('"') && argument.back() == Char('"'))
        return argument.substr(1, argument.size() - 2);
    return argument;
}

}  // namespace Tavo
