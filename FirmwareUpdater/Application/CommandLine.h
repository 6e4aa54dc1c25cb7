#pragma once

#include "Utilities/Storage/StringT.h"

// Looks for a switch among the arguments of a command line (split as
// Tavo::SplitCommandLine does; the first, the program, is no switch),
// whatever the case it was typed in. An argument wrapped whole in literal
// double quotes counts without them. Only the first argument that starts
// with `name` counts. A name without "=" matches when that argument is the
// name; a name ending in "=" takes the rest of that argument as the value,
// without one pair of double quotes that encloses it all. `value` (may be
// null) keeps the argument's case.
bool FindSwitch(const Tavo::WString& commandLine, const Tavo::WString& name, Tavo::WString* value);
