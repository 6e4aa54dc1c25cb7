// The firmware updater's entry.
#include "Application/ProgramMain.h"

int main(int argc, char** argv)
{
    return RunFirmwareUpdater(argc, argv);
}
