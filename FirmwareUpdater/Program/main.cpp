// The firmware updater's entry.
#include "Application/ProgramMain.h"

#include <malloc.h>

int main(int argc, char** argv)
{
    // One heap for every thread: the threads allocate little, and an arena
    // per thread costs a few hundred kilobytes of start-up memory.
    mallopt(M_ARENA_MAX, 1);
    return RunFirmwareUpdater(argc, argv);
}
