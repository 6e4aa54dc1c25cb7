#include "Platform/Kernel/Resources.h"

// Nothing in the program refers to the embedded table by name; it must be
// found all the same.
bool HasTestStrings()
{
    return !Tavo::Platform::FindResource("TavoXML", "TEST_STRINGS").empty();
}
