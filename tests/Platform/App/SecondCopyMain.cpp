// A second copy of a program: takes the single-instance lock of the name in
// argv[1] and hands argv[2] over. Exit codes: 10 + the hand-over result,
// 2 when this copy turned out to be the first.
#include "Platform/App/SingleInstance.h"

using namespace Tavo::Platform::App;

int main(int argc, char** argv)
{
    if (argc < 3)
        return 1;
    SingleInstance instance(argv[1]);
    if (instance.Acquire())
        return 2;
    return 10 + int(instance.HandOver(argv[2]));
}
