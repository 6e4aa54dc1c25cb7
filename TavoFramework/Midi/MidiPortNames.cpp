#include "Midi/MidiPortNames.h"

#include <vector>

namespace Tavo::MidiPortNames {

WStringArray NumberRepeatedNames(const WStringArray& deviceNames)
{
    WStringArray out;
    std::vector<bool> handled(deviceNames.GetCount(), false);
    for (uint32_t i = 0; i < deviceNames.GetCount(); ++i) {
        if (handled[i])
            continue;
        std::vector<uint32_t> copies;
        for (uint32_t j = i + 1; j < deviceNames.GetCount(); ++j) {
            if (!handled[j] && deviceNames[j] == deviceNames[i]) {
                handled[j] = true;
                copies.push_back(j);
            }
        }
        if (copies.empty()) {
            out.Add(deviceNames[i]);
            continue;
        }
        for (size_t n = 1; n <= copies.size() + 1; ++n)
            out.Add(deviceNames[i] + WString::Format(u" (%d)", static_cast<int>(n)));
    }
    return out;
}

void SplitName(const WString& name, WString& base, int32_t& ordinal)
{
    int32_t n = static_cast<int32_t>(name.GetLength());
    if (n >= 4 && name[n - 3] == u'(' && name[n - 1] == u')') {
        ordinal = name.Mid(n - 2, 1).ToInt() - 1;
        base = name.Left(n - 4);
    } else if (n >= 5 && name[n - 4] == u'(' && name[n - 1] == u')') {
        ordinal = name.Mid(n - 3, 2).ToInt() - 1;
        base = name.Left(n - 5);
    } else {
        base = name;
        ordinal = 0;
    }
}

int32_t Match(const WStringArray& directory, const WString& wanted, int32_t& index)
{
    WString lowered = wanted.ToLower();
    int32_t count = 0;
    index = -1;
    for (uint32_t i = 0; i < directory.GetCount(); ++i) {
        WString entry = directory[i].ToLower();
        if (entry.Find(lowered) < 0)
            continue;
        if (entry == lowered) {
            index = static_cast<int32_t>(i);
            return 1;
        }
        if (count++ == 0)
            index = static_cast<int32_t>(i);
    }
    return count;
}

int32_t SelectDevice(const WStringArray& deviceNames, const WString& base, int32_t ordinal)
{
    WString lowered = base.ToLower();
    int32_t seen = 0;
    for (uint32_t i = 0; i < deviceNames.GetCount(); ++i) {
        if (deviceNames[i].ToLower().Find(lowered) < 0)
            continue;
        if (seen++ == ordinal)
            return static_cast<int32_t>(i);
    }
    return -1;
}

}  // namespace Tavo::MidiPortNames
