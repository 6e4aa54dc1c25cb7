#pragma once

// The firmware updater's whole run: the framework's run with the user's
// default language on the desktop's windows; returns the exit code the
// update processor set.
int RunFirmwareUpdater(int argc, char** argv);
