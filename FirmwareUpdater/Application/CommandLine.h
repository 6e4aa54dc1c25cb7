#pragma once

#include "Utilities/Storage/StringT.h"

// Looks for a switch in the command line, whatever the case it was typed in.
// Only the first occurrence of `name` counts. A name without "=" matches when
// a space or the end of the line follows it; a name ending in "=" takes the
// value after it: up to the closing double quote when it starts with one,
// else up to the next space. `value` (may be null) keeps the line's case.
bool FindSwitch(const Tavo::WString& commandLine, const Tavo::WString& name, Tavo::WString* value);
