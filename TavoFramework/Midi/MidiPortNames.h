#pragma once

// The port directory's naming rules: repeated device names are numbered,
// wanted names split into a base and an ordinal, and matching ignores case.

#include "Utilities/Storage/StringArray.h"

#include <cstdint>

namespace Tavo::MidiPortNames {

// Device names in device order, as listed to clients: every copy of a
// repeated name (exact comparison) becomes "name (1)", "name (2)", ... at the
// place of its first occurrence.
WStringArray NumberRepeatedNames(const WStringArray& deviceNames);

// "MIDI (2)" gives base "MIDI" and ordinal 1; a name without a one- or
// two-digit suffix is its own base with ordinal 0; digits that do not parse
// give -1.
void SplitName(const WString& name, WString& base, int32_t& ordinal);

// How many directory entries contain the wanted name, ignoring case; an
// entry equal to it counts alone. index is the entry to use (-1 for none).
int32_t Match(const WStringArray& directory, const WString& wanted, int32_t& index);

// The device whose name contains the base, ignoring case, the ordinal-th such
// device counting from 0; -1 when there is none.
int32_t SelectDevice(const WStringArray& deviceNames, const WString& base, int32_t ordinal);

}  // namespace Tavo::MidiPortNames
