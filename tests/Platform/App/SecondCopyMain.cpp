// A second copy of a program: takes the single-instance lock of the name in
// argv[1] and hands argv[2] over. Exit codes: 10 + the hand-over result,
// 2 when this copy turned out to be the first.
#include <cstdio>
#include <string>

#include "Platform/App/SingleInstance.h"

using namespace Tavo::Platform::App;

int main(int argc, char** argv)
{
    if (argc < 3)
        return 1;
    SingleInstance instance(argv[1]);
    if (instance.Acquire())
        return 2;
    std::string text = argv[2];
    // "@N" asks for a text of N bytes, beyond what a command line carries.
    if (text.size() > 1 && text[0] == '@')
        text = std::string(std::stoul(text.substr(1)), 'q');
    return 10 + int(instance.HandOver(text));
}
